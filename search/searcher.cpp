// The searcher object: construction, the refresh of helpers, options,
// flags, root moves and the ponder move.
#include "search/searcher.h"

#include <unistd.h>

#include <cstring>

#include "board/legality.h"
#include "board/notation.h"

void SearchStackEntry::clear() {
  move = 0;
  bestMove = 0;
  key = 0;
  staticEval = 0;
  movesSearched = 0;
  extension = 0;
  reduced = 0;
  for (KillerSlot& k : killers) k = {0, EmptyKillerScore};
  undo.captured = 0;
}

Searcher::Searcher(size_t ttBytes)
    : moveStackEntries_(new MoveListEntry[MoveStackSize]), tt_(new TranspositionTable(ttBytes)) {
  initStack();
  resetOptions();
}

Searcher::Searcher(Searcher* master, int index)
    : moveStackEntries_(new MoveListEntry[MoveStackSize]), tt_(master->tt_) {
  initStack();
  threadIndex_ = index;
  copyFrom(*master);
  resetOptions();
}

Searcher::~Searcher() {
  if (threadIndex_ == 0) delete tt_;
}

void Searcher::initStack() {
  for (SearchStackEntry& e : stack_) e.clear();
  moveStack_.top = moveStackEntries_.get();
  moveStack_.limit = moveStackEntries_.get() + MoveStackSize;
}

void Searcher::resetOptions() {
  stop_.store(0, std::memory_order_relaxed);
  timeLogfile_[0] = 0;
  ownBook_ = 1;
  alwaysClearHash_ = 0;
  rootRestricted_ = 0;
  resignThreshold_ = DefaultResignThreshold;
  pondering_.store(0, std::memory_order_relaxed);
  rootMoveCount_ = 0;
  threadCount_ = 1;
  multiPv_ = 1;
  resultCount_ = 0;
  searchesSinceBook_ = 0;
  listener_ = &nullListener_;
  forcedLines_ = nullptr;
}

void Searcher::copyFrom(const Searcher& master) {
  std::memcpy(static_cast<void*>(&game_), &master.game_, sizeof game_);
  stop_.store(0, std::memory_order_relaxed);
  alwaysClearHash_ = 0;
  pondering_.store(0, std::memory_order_relaxed);
  ownBook_ = master.ownBook_;
  rootRestricted_ = master.rootRestricted_;
  rootMoveCount_ = master.rootMoveCount_;
  resignThreshold_ = master.resignThreshold_;
  threadCount_ = master.threadCount_;
  multiPv_ = master.multiPv_;
  resultCount_ = master.resultCount_;
  forcedLines_ = nullptr;  // only the master plays book and forced moves
  listener_ = &nullListener_;
  std::memcpy(timeLogfile_, master.timeLogfile_, sizeof timeLogfile_);
  for (int i = 0; i < rootMoveCount_; ++i) rootMoves_[i] = master.rootMoves_[i];
  evaluator_.setNeuroMaterial(master.evaluator_.neuroMaterial());
  evaluator_.setNeuroWidth(master.evaluator_.neuroWidth());
  evaluator_.takeMaterialNetworkOf(master.evaluator_);
}

bool Searcher::setOwnBook(bool on) {
  ownBook_ = on;
  return true;
}

bool Searcher::setMultiPv(int lines) {
  multiPv_ = lines;
  return true;
}

void Searcher::setTimeLogfile(const char* name) {
  std::strncpy(timeLogfile_, name ? name : "", sizeof timeLogfile_ - 1);
  timeLogfile_[sizeof timeLogfile_ - 1] = 0;
}

bool Searcher::resizeHash(size_t bytes) { return tt_->resize(bytes); }

void Searcher::startSearch(bool ponder) {
  mayContinue_.store(1, std::memory_order_relaxed);
  pondering_.store(ponder ? 1 : 0, std::memory_order_relaxed);
  stop_.store(0, std::memory_order_relaxed);
}

void Searcher::requestStop() {
  mayContinue_.store(0, std::memory_order_relaxed);
  pondering_.store(0, std::memory_order_relaxed);
  stop_.store(1, std::memory_order_relaxed);
}

void Searcher::ponderHit() {
  pondering_.store(0, std::memory_order_relaxed);
  // The best move is written by the search thread; a relaxed read of a
  // word-sized value is enough to know whether one exists.
  const Move best = __atomic_load_n(&bestMove_, __ATOMIC_RELAXED);
  if (!moveKey(best)) return;
  if (!mayContinue_.load(std::memory_order_relaxed) || (limits() && limits()->softLimitReached()))
    stop_.store(1, std::memory_order_relaxed);
}

void Searcher::waitWhilePondering() const {
  while (pondering()) usleep(PonderPollMicroseconds);
}

void Searcher::setupRootMoves(const char* filter, bool exclude) {
  rootRestricted_ = filter != nullptr;
  rootMoveCount_ = 0;
  Position& p = game_.position;
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), AllMoves);
  UndoRecord undo;
  undo.save(p);
  while (const MoveListEntry* e = list.next()) {
    const Move m = e->move;
    if (!p.makeMove(m, undo)) continue;
    TTProbe probe;
    const bool stored = tt_->probe(p.hashKey, 0, probe);
    undo.restore();
    if (filter) {
      char text[16];
      formatMove(p, m, Coordinate, text);
      const bool found = std::strstr(filter, text) != nullptr;
      if (found == exclude) continue;
    }
    if (rootMoveCount_ >= MaxRootMoves) break;
    RootMove& r = rootMoves_[rootMoveCount_++];
    r.move = m;
    r.score = stored ? probe.score : UnknownRootMoveScore;
    r.nodeShare = stored ? StoredRootMoveShare : UnknownRootMoveShare;
    r.raised = 0;
  }
}

void Searcher::findPonderMove() {
  Position& p = game_.position;
  // The best move is checked before it touches the board: a stale word
  // must never reach makeMove.
  if (!moveKey(bestMove_) || !isLegalMove(p, bestMove_)) return;
  UndoRecord undo;
  undo.save(p);
  if (!p.makeMove(bestMove_, undo)) return;
  TTProbe probe;
  if (tt_->probe(p.hashKey, 0, probe) && (!moveKey(probe.move) || isLegalMove(p, probe.move)))
    ponderMove_ = probe.move;
  undo.restore();
  dropPonderMovePastGameEnd();
}
