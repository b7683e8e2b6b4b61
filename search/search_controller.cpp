#include "search/search_controller.h"

#include <unistd.h>

#include "search/search_output.h"
#include "search/searcher.h"

namespace {

void* searchThreadMain(void* controller) {
  static_cast<SearchController*>(controller)->run();
  return nullptr;
}

constexpr useconds_t PollMicroseconds = 20000;

// A search whose hard limit is nearer than this runs without helpers.
constexpr int64_t HelperMinimumMs = 20;

}  // namespace

SearchController::SearchController(Searcher* master, SearchOutput* output, TimeManager* clock)
    : master_(master), output_(output), clock_(clock) {
  helperClock_.allocate(false, 0, 0, 0, 0, 0, 0, 0, true);
  pthread_mutex_init(&mutex_, nullptr);
  pthread_mutex_init(&helperMutex_, nullptr);
  pthread_cond_init(&helperWake_, nullptr);
  pthread_cond_init(&helperDone_, nullptr);
  for (int j = 0; j < MaxHelpers; ++j) helperSlots_[j] = {this, j, 0};
}

SearchController::~SearchController() {
  endHelperThreads();
  for (Searcher*& h : helpers_) {
    delete h;
    h = nullptr;
  }
  pthread_cond_destroy(&helperDone_);
  pthread_cond_destroy(&helperWake_);
  pthread_mutex_destroy(&helperMutex_);
  pthread_mutex_destroy(&mutex_);
}

void* SearchController::helperThreadMain(void* slot) {
  HelperSlot* s = static_cast<HelperSlot*>(slot);
  s->controller->helperLoop(s->index);
  return nullptr;
}

// A helper thread waits for the next search, searches without limits of
// its own until the search thread stops it, counts itself off and waits
// again.
void SearchController::helperLoop(int index) {
  uint32_t seen = helperSlots_[index].startGeneration;
  pthread_mutex_lock(&helperMutex_);
  for (;;) {
    while (generation_ == seen && !helpersEnd_) pthread_cond_wait(&helperWake_, &helperMutex_);
    if (helpersEnd_) break;
    seen = generation_;
    if (index >= helpersTakingPart_) continue;
    pthread_mutex_unlock(&helperMutex_);
    helpers_[index]->think(&helperClock_);
    pthread_mutex_lock(&helperMutex_);
    if (--helpersBusy_ == 0) pthread_cond_signal(&helperDone_);
  }
  pthread_mutex_unlock(&helperMutex_);
}

void SearchController::startHelperThreads(int helpers) {
  // Threads are made once. Only this thread raises the generation, so a
  // new thread knows the one before the search it is made for, however
  // late it first runs.
  pthread_mutex_lock(&helperMutex_);
  const uint32_t generation = generation_;
  pthread_mutex_unlock(&helperMutex_);
  for (int j = 0; j < helpers; ++j)
    if (!helperStarted_[j] && helpers_[j]) {
      helperSlots_[j].startGeneration = generation;
      helperStarted_[j] = pthread_create(&helperThreads_[j], nullptr, helperThreadMain, &helperSlots_[j]) == 0;
    }
}

void SearchController::waitForHelpers() {
  pthread_mutex_lock(&helperMutex_);
  while (helpersBusy_ > 0) pthread_cond_wait(&helperDone_, &helperMutex_);
  pthread_mutex_unlock(&helperMutex_);
}

void SearchController::endHelperThreads() {
  pthread_mutex_lock(&helperMutex_);
  helpersEnd_ = true;
  pthread_cond_broadcast(&helperWake_);
  pthread_mutex_unlock(&helperMutex_);
  for (int j = 0; j < MaxHelpers; ++j)
    if (helperStarted_[j]) {
      pthread_join(helperThreads_[j], nullptr);
      helperStarted_[j] = 0;
    }
  pthread_mutex_lock(&helperMutex_);
  helpersEnd_ = false;
  pthread_mutex_unlock(&helperMutex_);
}

void SearchController::setThreadCount(int n) {
  if (n < 1) n = 1;
  if (n > MaxThreads) n = MaxThreads;
  // The helper threads wait on the searchers that change here.
  endHelperThreads();
  threadCount_ = n;
  master_->setThreadCount(n);
  clock_->setThreads(n);
  for (int j = 0; j < MaxHelpers; ++j) {
    if (j + 1 < n) {
      if (helpers_[j]) helpers_[j]->setThreadCount(n);
      else helpers_[j] = new Searcher(master_, j + 1);
    } else if (helpers_[j]) {
      delete helpers_[j];
      helpers_[j] = nullptr;
    }
  }
}

bool SearchController::start(bool ponder, int64_t time, int64_t increment, int movesToGo, int depth, int64_t nodes,
                             int mate, int64_t moveTime, bool infinite) {
  // A mate, a depth or a node count given together with a clock or a move
  // time caps the search on top of the time limits; alone it would ignore
  // the clock, and a mate that is not there would lose on time.
  const bool timed = time != TimeManager::kNoClock || increment > 0 || moveTime > 0;
  const bool capped = timed && !infinite;
  const bool cappedMate = mate > 0 && capped;
  const bool cappedDepth = depth > 0 && capped;
  const bool cappedNodes = nodes > 0 && capped;
  clock_->allocate(ponder, time, increment, movesToGo, cappedDepth ? 0 : depth, cappedNodes ? 0 : nodes,
                   cappedMate ? 0 : mate, moveTime, infinite);
  // A mate in n moves is found within 2n plies (iterations 0 to 2n).
  if (cappedMate && 2 * int64_t(mate) < clock_->maxDepth()) clock_->setMaxDepth(int(2 * int64_t(mate)));
  if (cappedDepth && depth - 1 < clock_->maxDepth()) clock_->setMaxDepth(depth - 1);
  if (cappedNodes) clock_->setNodeLimit(nodes);
  clock_->start();
  master_->startSearch(ponder);
  infinite_ = infinite ? 1 : 0;
  if (blocking() && !ponder) {
    // Nothing could stop a search that runs in the command thread, so it
    // ends at its own limits even when infinite.
    infinite_ = 0;
    run();
    return true;
  }
  pthread_mutex_lock(&mutex_);
  const bool created = pthread_create(&searchThread_, nullptr, searchThreadMain, this) == 0;
  running_.store(created ? 1 : 0, std::memory_order_relaxed);
  pthread_mutex_unlock(&mutex_);
  if (created) return true;
  // Without a thread the search runs here, so that the "go" still gets its
  // answer; nothing could end a wait for "stop" or "ponderhit" now.
  infinite_ = 0;
  master_->startSearch(false);
  run();
  return true;
}

bool SearchController::stop() {
  master_->requestStop();
  pthread_mutex_lock(&mutex_);
  const bool joinIt = running_.load(std::memory_order_relaxed) != 0;
  const pthread_t thread = searchThread_;
  running_.store(0, std::memory_order_relaxed);
  pthread_mutex_unlock(&mutex_);
  if (!joinIt) return false;
  return pthread_join(thread, nullptr) != 0;
}

void SearchController::ponderHit() {
  // Taking the mutex orders this after a search thread that has already
  // finished; a running one is told without waiting.
  if (isRunning()) master_->ponderHit();
}

bool SearchController::isRunning() {
  pthread_mutex_lock(&mutex_);
  const bool running = running_.load(std::memory_order_relaxed) != 0;
  pthread_mutex_unlock(&mutex_);
  return running;
}

int SearchController::startHelpers() {
  searchHelpers_ = 0;
  if (threadCount_ <= 1) return 0;
  // Waking and stopping helpers costs more than they find in a search
  // that must end within a few milliseconds; the master then searches alone.
  const bool shortSearch = clock_->hardLimit() < HelperMinimumMs;
  helperClock_.start();
  if (!shortSearch) startHelperThreads(threadCount_ - 1);
  // Helpers take part in order; one whose thread could not be made ends
  // the row.
  int helpers = 0;
  while (!shortSearch && helpers < threadCount_ - 1 && helperStarted_[helpers]) {
    helpers_[helpers]->copyFrom(*master_);
    ++helpers;
  }
  pthread_mutex_lock(&helperMutex_);
  helpersTakingPart_ = helpers;
  helpersBusy_ = helpers;
  ++generation_;
  pthread_cond_broadcast(&helperWake_);
  pthread_mutex_unlock(&helperMutex_);
  searchHelpers_ = helpers;
  return helpers;
}

void SearchController::requestHelpersStop() {
  for (int j = 0; j < searchHelpers_; ++j) helpers_[j]->requestStop();
}

void SearchController::stopHelpers() {
  if (threadCount_ <= 1) return;
  requestHelpersStop();
  waitForHelpers();
  helperClock_.stop();
  searchHelpers_ = 0;
}

void SearchController::run() {
  const int helpers = startHelpers();

  // The node counts shown are the master's times the threads searching.
  master_->setThreadCount(helpers + 1);
  master_->think(clock_);

  // Told now, waited for below: the helpers stop at their next node while
  // the answer goes out.
  requestHelpersStop();

  // An infinite search answers only when told to stop, whatever ended it.
  if (infinite_)
    while (!master_->stopped() && !quitRequested()) usleep(PollMicroseconds);

  // The answer goes out before the helpers are waited for: they stop at
  // their next node, but on a busy machine that may take them a while.
  if (!quitRequested()) {
    if (!master_->stopped() && master_->nodes() != 0) output_->printStatus();
    clock_->stop();
    Move best = master_->bestMove();
    Move ponder = master_->ponderMove();
    // A search stopped before it settled on a move still plays one.
    if (!moveKey(best) && master_->rootMoveCount() > 0) {
      best = master_->rootMove(0).move;
      ponder = 0;
    }
    output_->printBestMove(moveKey(best) ? &best : nullptr, moveKey(best) && moveKey(ponder) ? &ponder : nullptr);
  }

  stopHelpers();
  master_->setThreadCount(threadCount_);

  pthread_mutex_lock(&mutex_);
  if (running_.load(std::memory_order_relaxed) && pthread_equal(searchThread_, pthread_self())) {
    pthread_detach(pthread_self());
    running_.store(0, std::memory_order_relaxed);
  }
  pthread_mutex_unlock(&mutex_);
}
