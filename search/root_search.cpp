// Iterative deepening, the root node and principal-variation extraction.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "board/legality.h"
#include "eval/endgame_table.h"
#include "search/searcher.h"

void Searcher::clearSearchState() {
  history_[0].reset();
  history_[1].reset();
  for (int p = 0; p <= MaxPly + 1; ++p) {
    SearchStackEntry& e = entry(p);
    e.move = e.bestMove = 0;
    e.key = 0;
    e.staticEval = 0;
    e.movesSearched = 0;
    e.extension = 0;
    e.reduced = 0;
    for (KillerSlot& k : e.killers) k = {0, EmptyKillerScore};
    e.undo.captured = 0;
  }
}

void Searcher::sortResults(ScoredMove* records, int count) const {
  const Move best = bestMove_;
  std::sort(records, records + count, [best](const ScoredMove& a, const ScoredMove& b) {
    if ((a.move == best) != (b.move == best)) return a.move == best;
    return a.score > b.score;
  });
}

bool Searcher::think(SearchLimits* limits) {
  if (limits) limits_.store(limits, std::memory_order_relaxed);
  SearchLimits* clock = limits_.load(std::memory_order_relaxed);
  if (!clock) clock = &unlimited_;

  // Reset the results of the previous search.
  firstIteration_ = 1;
  alphaRaised_ = 0;
  iteration_ = 0;
  selectiveDepth_ = 0;
  nodes_.store(0, std::memory_order_relaxed);
  setBestMove(0);
  ponderMove_ = 0;

  // Only the master plays opening moves and ages the table.
  if (threadIndex_ == 0) {
    if (probeOpeningSources()) {
      rootAlpha_ = OpeningMoveScore - 1;
      score_ = OpeningMoveScore;
      rootBeta_ = OpeningMoveScore + 1;
      searchesSinceBook_ = 0;
    }
    tt_->age();
  }

  // Search unless an opening move was played or the search is already stopped.
  if (!moveKey(bestMove_) && !stopped()) {
    clearSearchState();
    if (alwaysClearHash_) {
      // The table clear does not count against the clock.
      if (threadIndex_ == 0) {
        clock->stop();
        tt_->clear();
        clock->start();
      }
      evaluator_.clearHashes();
    }
    if (rootMoveCount_ == 0) {
      setBestMove(0);
      score_ = 0;
    } else {
      ply_ = -1;
      lastNullPly_ = NoLastNullPly;
      previousNullPly_ = NoPreviousNullPly;
      setInitialRootScore();
      if (rootMoveCount_ == 1) {
        // A single legal move needs no search.
        if (!moveKey(bestMove_)) setBestMove(rootMoves_[0].move);
        listener_->printPv(*this, score_, score_ - 1, score_ + 1);
        iteration_ = 1;
        if (!moveKey(ponderMove_)) findPonderMove();
      } else {
        iterativeDeepening(clock);
      }
    }
  }

  // A search stopped before its first iteration found anything still
  // answers with the best-ordered legal move.
  if (!moveKey(bestMove_) && rootMoveCount_ > 0) setBestMove(rootMoves_[0].move);

  // A ponder search keeps its answer until "ponderhit" or "stop".
  while (pondering()) usleep(PonderPollMicroseconds);
  return !stopped();
}

// The score before the first iteration: the table's, whose move then
// becomes the best move and goes first, or else the quiescence search's.
void Searcher::setInitialRootScore() {
  const Position& root = game_.position;
  TTProbe probe;
  if (tt_->probe(root.hashKey, 0, probe) && probe.bound() != TTUpperBound) {
    int highest = rootMoves_[0].score;
    for (int i = 1; i < rootMoveCount_; ++i) highest = std::max(highest, rootMoves_[i].score);
    for (int i = rootMoveCount_ - 1; i >= 0; --i)
      if (rootMoves_[i].move == probe.move) {
        rootMoves_[i].score = highest + 1;
        setBestMove(probe.move);
        score_ = probe.score;
        return;
      }
  }
  Position& p = game_.position;
  score_ = quiesce(p.toMove(), p.notToMove(), -WindowBound, WindowBound, QsCaptureDepth);
}

// One iteration per ply until a limit, a found mate or the stop flag ends
// the deepening. Between iterations the best-move-change predictor tells
// the clock how likely the best move is still to change.
void Searcher::iterativeDeepening(SearchLimits* clock) {
  Position& root = game_.position;
  SideState& us = root.toMove();
  SideState& them = root.notToMove();
  const int bonus = searchesSinceBook_ == 0 ? AfterBookChangeBonus : 0;
  int prevScore = score_;
  ++searchesSinceBook_;
  rootAlpha_ = -WindowBound;
  rootBeta_ = WindowBound;
  Move pvBuffers[2][MaxPvLength];
  int pvLengths[2] = {0, 0};
  int current = 0;  // the buffer this iteration fills
  double changePercent = 0;
  bool previousRootFail = false, previousChange = false;
  char featureText[128] = {};
  bool haveFeatures = false;
  Move previousBest = bestMove_;
  for (int i = 0; !stopped(); ++i) {
    // A mate found two iterations ago needs no deeper search.
    if (std::abs(prevScore) >= MateThreshold && MateScore - std::abs(prevScore) <= i - 2) break;
    // Ask the clock whether another iteration may start.
    if (i >= 1) {
      const bool may = clock->mayStartIteration(nodes(), i, changePercent + bonus);
      mayContinue_.store(may ? 1 : 0, std::memory_order_relaxed);
      if (!may && !pondering()) break;
    }
    // Search the root one ply deeper.
    orderRootMoves();
    alphaRaised_ = 0;
    rootFail_ = 0;
    resultCount_ = 0;
    const int v = searchRoot(us, them, OnePly * i);
    reportIteration(i, v);
    // The iteration is finished.
    iteration_ = int16_t(i + 1);
    firstIteration_ = 0;
    rootAlpha_ = -WindowBound;
    rootBeta_ = WindowBound;
    if (!stopped()) score_ = v;
    // Training line for the predictor, master only.
    {
      TimeLogCheck check;
      check.masterThread = threadIndex_ == 0;
      check.fileName = timeLogfile_;
      check.stopped = stopped();
      check.score = v;
      check.endgameKnowledge = hasEndgameKnowledge(evaluator_.endgameTable(), root);
      check.positionsSinceIrreversible = game_.count;
      check.nodes = nodes();
      check.featureText = haveFeatures ? featureText : nullptr;
      check.previousLength = pvLengths[current ^ 1];
      check.currentLength = pvLengths[current];
      if (timeLogLineDue(check)) appendTimeLogLine(timeLogfile_, featureText, bestMove_ != previousBest);
    }
    // Did the best move change between the two previous iterations? Then
    // this iteration's variation replaces the older one.
    const int older = current, previous = current ^ 1;
    const bool changed = pvLengths[0] > 0 && pvLengths[1] > 0 && pvBuffers[0][0] != pvBuffers[1][0];
    pvLengths[older] = moveKey(bestMove_) ? walkPv(bestMove_, pvBuffers[older], true) : 0;
    // Predict whether the best move will still change.
    if (multiPv_ <= 1) {
      const double p = predictor_.predict(root, pvLengths[previous], pvBuffers[previous], prevScore,
                                          pvLengths[older], pvBuffers[older], v, rootFail_, previousRootFail,
                                          changed, previousChange, rootMoveCount_, featureText, sizeof featureText);
      haveFeatures = true;
      changePercent = MoveChangeNet::toPercent(p);
      if (timeLogActive(timeLogfile_)) {
        char text[100];
        std::snprintf(text, sizeof text, "Best move will change with %5.1f%% probability", changePercent);
        listener_->infoString(text, nullptr);
      }
    } else {
      changePercent = MultiPvChangePercent;
    }
    // Move on to the next iteration.
    if (stopped() || iteration_ > MaxPly) break;
    previousBest = bestMove_;
    prevScore = v;
    previousChange = changed;
    previousRootFail = rootFail_;
    current ^= 1;
  }
}

// The listener hears of an iteration's result: every MultiPV line, or the
// first iteration's variation (later ones were reported by the root search
// as they were found).
void Searcher::reportIteration(int i, int v) {
  if (multiPv_ > 1 && resultCount_ > 1 && !stopped()) {
    sortResults(results_, resultCount_);
    const int lines = std::min(multiPv_, resultCount_);
    for (int n = 1; n <= lines; ++n)
      listener_->printMultiPv(*this, n, results_[n - 1].move, results_[n - 1].score, -WindowBound, WindowBound);
  } else if (i == 0 && !stopped()) {
    listener_->printPv(*this, v, -WindowBound, WindowBound);
  }
}

int Searcher::searchRoot(SideState& us, SideState& them, int depth) {
  Position& p = game_.position;
  // Enter the root node.
  ++ply_;
  SearchStackEntry& e = entry(ply_);
  e.key = p.hashKey;
  countNode();
  e.bestMove = 0;
  e.staticEval = evaluator_.evaluate(p);
  const int a = rootAlpha_;
  e.movesSearched = 0;
  int best = WorstScore;
  const bool inCheck = p.inCheck();

  for (int k = 0; k < rootMoveCount_; ++k) {
    // Make the move and find its depth.
    RootMove& r = rootMoves_[k];
    const Move m = r.move;
    const uint64_t nodesBefore = nodes();
    e.move = m;
    e.undo.save(p);
    if (!p.makeMove(m, e.undo)) continue;  // root moves are legal; kept for safety
    e.extension = 0;
    if (movePiece(m) == Pawn) advancedPawnBonus(e, us, them);
    listener_->printCurrentMove(m, k + 1);
    const int u = childDepth(depth, e);
    // A reversible move after a hundred reversible plies leaves a draw
    // that can be claimed, whatever the depth.
    const bool fiftyMoveDraw = game_.repetitionStatus() == DrawByFiftyMoves;
    // Search it in the current window.
    int v = fiftyMoveDraw ? 0 : -search(them, us, -rootBeta_, -rootAlpha_, u);
    // Fail high: widen the window step by step.
    if (v >= rootBeta_ && !stopped() && !fiftyMoveDraw) {
      const Move remembered = bestMove_;
      if (iteration_ >= 1) {
        e.undo.restore();
        setBestMove(m);
        e.bestMove = m;
        listener_->printPv(*this, v, rootAlpha_, rootBeta_);
        p.makeMove(m, e.undo);
      }
      if (rootBeta_ < MateScore) {
        int widened = v + FailHighWindow;
        if (v > rootBeta_ + FailHighJump) widened += FailHighExtraWindow;
        v = -search(them, us, -widened, -rootAlpha_, u);
        if (v >= widened && widened < WindowBound && !stopped()) {
          if (iteration_ >= 1) {
            e.undo.restore();
            listener_->printPv(*this, v, rootAlpha_, widened);
            p.makeMove(m, e.undo);
          }
          v = -search(them, us, -WindowBound, -rootAlpha_, u);
        }
      } else {
        v = -search(them, us, -WindowBound, -rootAlpha_, u);
      }
      if (v <= rootAlpha_ && bestMove_ != remembered && moveKey(remembered) && !stopped()) {
        setBestMove(remembered);
        rootFail_ = 1;
        e.bestMove = remembered;
        if (iteration_ >= 1) {
          e.undo.restore();
          listener_->printPv(*this, best, best - 1, rootBeta_);
          p.makeMove(m, e.undo);
        }
      }
    }
    // Unmake it; a stopped search ends here.
    e.undo.restore();
    e.movesSearched = k + 1;
    if (stopped()) {
      --ply_;
      return best;
    }
    // What the move's record keeps for the next ordering.
    r.score = v;
    r.nodeShare = double(nodes() - nodesBefore);
    r.raised = v > rootAlpha_;
    // A new best move is reported at once.
    if (v > best) {
      e.bestMove = m;
      best = v;
      if (v > rootAlpha_) {
        setBestMove(m);
        rootBeta_ = v + 1;
        alphaRaised_ = 1;
        if (iteration_ >= 1) listener_->printPv(*this, v, rootAlpha_, v + 1);
      }
    }
    // MultiPV: the window's alpha follows the score of the last line kept.
    if (resultCount_ < MaxMultiPv) results_[resultCount_++] = {m, v};
    if (resultCount_ >= multiPv_) {
      ScoredMove copy[MaxMultiPv];
      std::copy(results_, results_ + resultCount_, copy);
      sortResults(copy, resultCount_);
      const int s = copy[multiPv_ < 1 ? 0 : std::min(multiPv_, resultCount_) - 1].score;
      if (rootAlpha_ < s) rootAlpha_ = s - 1;
      if (multiPv_ < 2 && best > rootAlpha_) rootAlpha_ = best;
    }
    // From the fifth move on, with a move above the window, the clock may
    // end the iteration.
    if (k >= 4 && best > a && !pondering()) {
      SearchLimits* clock = limits();
      if (clock && clock->stopIteration()) {
        --ply_;
        return best;
      }
    }
  }
  // Without root moves: mated or stalemated.
  const int result = rootMoveCount_ == 0 ? (inCheck ? ply_ - MateScore : 0) : best;
  --ply_;
  return result;
}

void Searcher::orderRootMoves() {
  double sum = 0;
  for (int i = 0; i < rootMoveCount_; ++i) sum += rootMoves_[i].nodeShare;
  for (int i = 0; i < rootMoveCount_; ++i) rootMoves_[i].nodeShare /= 0.1 + sum;

  // The comparison keys are computed before sorting: the shared table may
  // change while we sort, and the comparison must stay consistent.
  struct Keyed {
    RootMove move;
    double sum;
    int word;  // stored depth/bound word after the move; INT32_MIN when not stored
  };
  Keyed keyed[MaxRootMoves];
  const double w = double(threadIndex_) * HelperShareWeight / double(threadCount_) + RootShareWeight;
  Position copy = game_.position;
  UndoRecord undo;
  undo.save(copy);
  for (int i = 0; i < rootMoveCount_; ++i) {
    const RootMove& r = rootMoves_[i];
    double share = r.nodeShare;
    if (share < CheapShare && r.score >= -1 && r.score <= 1) share = CheapDrawShare;
    keyed[i].move = r;
    keyed[i].sum = r.score + share * w;
    keyed[i].word = INT32_MIN;
    if (copy.makeMoveFast(r.move, undo)) {
      TTProbe probe;
      if (tt_->probe(copy.hashKey, 0, probe)) keyed[i].word = probe.word;
      undo.restore();
    }
  }
  std::sort(keyed, keyed + rootMoveCount_, [](const Keyed& x, const Keyed& y) {
    if (x.move.raised != y.move.raised) return x.move.raised > y.move.raised;
    if (x.move.raised && x.move.score != y.move.score) return x.move.score > y.move.score;
    if (x.sum != y.sum) return x.sum > y.sum;
    return x.word > y.word;
  });
  for (int i = 0; i < rootMoveCount_; ++i) rootMoves_[i] = keyed[i].move;
}

// Follows the table from the root: the first move, then each stored best
// move while it is legal, its score fits and no position repeats. Gives
// back the length; with setPonder the second move becomes the ponder move.
int Searcher::walkPv(Move first, Move* pv, bool setPonder) {
  Position copy = game_.position;
  uint64_t keys[MaxPvLength + 1];
  int keyCount = 0;
  keys[keyCount++] = copy.hashKey;
  UndoRecord undos[MaxPvLength];
  pv[0] = first;
  int length = 1;
  bool haveExpectation = false;
  int expected = 0;
  if (setPonder) ponderMove_ = 0;
  while (length < MaxPvLength) {
    const Move last = pv[length - 1];
    UndoRecord& undo = undos[length - 1];
    undo.save(copy);
    if (!isLegalMove(copy, last) || !copy.makeMove(last, undo)) {
      --length;
      break;
    }
    keys[keyCount++] = copy.hashKey;
    TTProbe probe;
    if (!tt_->probe(copy.hashKey, 0, probe) || !moveKey(probe.move)) break;
    if (haveExpectation && probe.score != expected && probe.bound() != TTExact) break;
    int next = -probe.score;
    if (next > MateThreshold) next += 1;
    else if (next < -MateThreshold) next -= 1;
    expected = next;
    haveExpectation = true;
    pv[length] = probe.move;
    if (setPonder && length == 1 && first == bestMove_) ponderMove_ = probe.move;
    ++length;
    bool repeated = false;
    for (int back = 2; back < keyCount && !repeated; back += 2)
      repeated = keys[keyCount - 1 - back] == keys[keyCount - 1];
    if (repeated) break;
  }
  if (setPonder) dropPonderMovePastGameEnd();
  return length;
}

void Searcher::dropPonderMovePastGameEnd() {
  if (!moveKey(ponderMove_) || !moveKey(bestMove_)) return;
  const Move line[2] = {bestMove_, ponderMove_};
  if (game_.movesBeforeGameEnd(line, 2) < 2) ponderMove_ = 0;
}

void Searcher::extractPv(int* length, Move* pv, const Move* first) {
  if (!moveKey(bestMove_)) {
    ponderMove_ = 0;
    *length = 0;
    return;
  }
  const Move start = first ? *first : bestMove_;
  // The walk itself stays as the search's own variation (the best-move
  // change predictor reads it); clients, which check every line against
  // the game, get it cut where the game would end.
  *length = game_.movesBeforeGameEnd(pv, walkPv(start, pv, start == bestMove_));
}
