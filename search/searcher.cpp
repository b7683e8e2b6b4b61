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
  for (KillerSlot& k : killers) k = {0, -9999};
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
  threadIndex = index;
  copyFrom(*master);
  resetOptions();
}

Searcher::~Searcher() {
  if (threadIndex == 0) delete tt_;
}

void Searcher::initStack() {
  for (SearchStackEntry& e : stack_) e.clear();
  moveStack_.top = moveStackEntries_.get();
  moveStack_.limit = moveStackEntries_.get() + MoveStackSize;
}

void Searcher::resetOptions() {
  stop_.store(0, std::memory_order_relaxed);
  timeLogfile[0] = 0;
  ownBook = 1;
  alwaysClearHash = 0;
  rootRestricted = 0;
  resignThreshold = -7000;
  pondering_.store(0, std::memory_order_relaxed);
  rootMoveCount_ = 0;
  threadCount = 1;
  multiPv = 1;
  resultCount_ = 0;
  searchesSinceBook = 0;
  listener_ = &nullListener_;
  forcedLines = nullptr;
}

void Searcher::copyFrom(const Searcher& master) {
  std::memcpy(static_cast<void*>(&game), &master.game, sizeof game);
  stop_.store(0, std::memory_order_relaxed);
  alwaysClearHash = 0;
  pondering_.store(0, std::memory_order_relaxed);
  ownBook = master.ownBook;
  rootRestricted = master.rootRestricted;
  rootMoveCount_ = master.rootMoveCount_;
  resignThreshold = master.resignThreshold;
  threadCount = master.threadCount;
  multiPv = master.multiPv;
  resultCount_ = master.resultCount_;
  forcedLines = nullptr;  // only the master plays book and forced moves
  listener_ = &nullListener_;
  std::memcpy(timeLogfile, master.timeLogfile, sizeof timeLogfile);
  for (int i = 0; i < rootMoveCount_; ++i) rootMoves_[i] = master.rootMoves_[i];
  evaluator_.setNeuroMaterial(master.evaluator_.neuroMaterial());
  evaluator_.setNeuroWidth(master.evaluator_.neuroWidth());
  const std::string& file = master.evaluator_.materialFile();
  evaluator_.setMaterialFile(file.empty() ? nullptr : file.c_str());
}

bool Searcher::setOwnBook(bool on) {
  ownBook = on;
  return true;
}

bool Searcher::setMultiPv(int lines) {
  multiPv = lines;
  return true;
}

void Searcher::setTimeLogfile(const char* name) {
  std::strncpy(timeLogfile, name ? name : "", sizeof timeLogfile - 1);
  timeLogfile[sizeof timeLogfile - 1] = 0;
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
  const Move best = __atomic_load_n(&bestMove, __ATOMIC_RELAXED);
  if (!moveKey(best)) return;
  if (!mayContinue_.load(std::memory_order_relaxed) || (limits() && limits()->softLimitReached()))
    stop_.store(1, std::memory_order_relaxed);
}

void Searcher::waitWhilePondering() const {
  while (pondering()) usleep(20000);
}

void Searcher::setupRootMoves(const char* filter, bool exclude) {
  rootRestricted = filter != nullptr;
  rootMoveCount_ = 0;
  Position& p = game.position;
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
    r.score = stored ? probe.score : -999999;
    r.nodeShare = stored ? 0.1 : 0.01;
    r.raised = 0;
  }
}

void Searcher::findPonderMove() {
  Position& p = game.position;
  // The best move is checked before it touches the board: a stale word
  // must never reach makeMove.
  if (!moveKey(bestMove) || !isLegalMove(p, bestMove)) return;
  UndoRecord undo;
  undo.save(p);
  if (!p.makeMove(bestMove, undo)) return;
  TTProbe probe;
  if (tt_->probe(p.hashKey, 0, probe) && (!moveKey(probe.move) || isLegalMove(p, probe.move)))
    ponderMove = probe.move;
  undo.restore();
}
