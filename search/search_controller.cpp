#include "search/search_controller.h"

#include <unistd.h>

#include "search/search_output.h"
#include "search/searcher.h"

namespace {

void* searchThreadMain(void* controller) {
  static_cast<SearchController*>(controller)->run();
  return nullptr;
}

struct HelperStart {
  Searcher* helper;
  SearchLimits* limits;
};

// A helper searches without limits of its own until the search thread
// stops it.
void* helperThreadMain(void* argument) {
  HelperStart* start = static_cast<HelperStart*>(argument);
  start->helper->think(start->limits);
  return nullptr;
}

constexpr useconds_t PollMicroseconds = 20000;

}  // namespace

SearchController::SearchController(Searcher* master, SearchOutput* output, TimeManager* clock)
    : master_(master), output_(output), clock_(clock) {
  helperClock_.allocate(false, 0, 0, 0, 0, 0, 0, 0, true);
  pthread_mutex_init(&mutex_, nullptr);
}

SearchController::~SearchController() {
  for (Searcher*& h : helpers_) {
    delete h;
    h = nullptr;
  }
  pthread_mutex_destroy(&mutex_);
}

void SearchController::setThreadCount(int n) {
  if (n < 1) n = 1;
  if (n > MaxThreads) n = MaxThreads;
  threadCount_ = n;
  master_->setThreadCount(n);
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
  // A depth given together with a clock or a move time caps the depth on
  // top of the time limits; alone it would ignore the clock.
  const bool timed = time != 0 || increment > 0 || moveTime > 0;
  const bool cappedDepth = depth > 0 && timed && !infinite && mate <= 0;
  clock_->allocate(ponder, time, increment, movesToGo, cappedDepth ? 0 : depth, nodes, mate, moveTime, infinite);
  if (cappedDepth && depth - 1 < clock_->maxDepth()) clock_->setMaxDepth(depth - 1);
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

void SearchController::run() {
  const int helpers = threadCount_ - 1;
  HelperStart starts[MaxHelpers];
  if (helpers > 0) {
    helperClock_.start();
    for (int j = 0; j < helpers; ++j) {
      helperStarted_[j] = 0;
      Searcher* h = helpers_[j];
      if (!h) continue;
      h->copyFrom(*master_);
      starts[j] = {h, &helperClock_};
      helperStarted_[j] = pthread_create(&helperThreads_[j], nullptr, helperThreadMain, &starts[j]) == 0;
    }
  }

  master_->think(clock_);

  if (helpers > 0) {
    for (int j = 0; j < helpers; ++j)
      if (helpers_[j]) helpers_[j]->requestStop();
    for (int j = 0; j < helpers; ++j)
      if (helperStarted_[j]) pthread_join(helperThreads_[j], nullptr);
    helperClock_.stop();
  }

  // An infinite search answers only when told to stop, whatever ended it.
  if (infinite_)
    while (!master_->stopped() && !quitRequested()) usleep(PollMicroseconds);

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

  pthread_mutex_lock(&mutex_);
  if (running_.load(std::memory_order_relaxed) && pthread_equal(searchThread_, pthread_self())) {
    pthread_detach(pthread_self());
    running_.store(0, std::memory_order_relaxed);
  }
  pthread_mutex_unlock(&mutex_);
}
