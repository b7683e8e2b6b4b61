// Iterative deepening, the root node and principal-variation extraction.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "board/legality.h"
#include "eval/endgame_table.h"
#include "search/searcher.h"

void Searcher::clearSearchState() {
  history_[0].reset();
  history_[1].reset();
  for (int p = 0; p <= 100; ++p) {
    SearchStackEntry& e = entry(p);
    e.move = e.bestMove = 0;
    e.key = 0;
    e.staticEval = 0;
    e.movesSearched = 0;
    e.extension = 0;
    e.reduced = 0;
    for (KillerSlot& k : e.killers) k = {0, -9999};
    e.undo.captured = 0;
  }
}

void Searcher::sortResults(ScoredMove* records, int count) const {
  const Move best = bestMove;
  std::sort(records, records + count, [best](const ScoredMove& a, const ScoredMove& b) {
    if ((a.move == best) != (b.move == best)) return a.move == best;
    return a.score > b.score;
  });
}

bool Searcher::think(SearchLimits* limits) {
  if (limits) limits_.store(limits, std::memory_order_relaxed);
  SearchLimits* clock = limits_.load(std::memory_order_relaxed);
  if (!clock) clock = &unlimited_;
  Position& root = game.position;

  // 1.
  firstIteration = 1;
  alphaRaised = 0;
  iteration = 0;
  selectiveDepth = 0;
  nodes_.store(0, std::memory_order_relaxed);
  setBestMove(0);
  ponderMove = 0;

  // 2. Only the master plays opening moves and ages the table.
  if (threadIndex == 0) {
    if (probeOpeningSources()) {
      rootAlpha = 9;
      score = 10;
      rootBeta = 11;
      searchesSinceBook = 0;
    }
    tt_->age();
  }

  // 3-6.
  if (!moveKey(bestMove) && !stopped()) {
    clearSearchState();
    if (alwaysClearHash) {
      if (threadIndex == 0) {
        clock->stop();
        tt_->clear();
        clock->start();
      }
      evaluator_.clearHashes();
    }
    if (rootMoveCount_ == 0) {
      setBestMove(0);
      score = 0;
    } else {
      // 7.
      SideState& us = root.toMove();
      SideState& them = root.notToMove();
      ply = -1;
      lastNullPly = -1;
      previousNullPly = -10;
      const int bonus = searchesSinceBook == 0 ? 25 : 0;
      TTProbe probe;
      bool known = false;
      if (tt_->probe(root.hashKey, 0, probe) && probe.bound() != TTUpperBound) {
        int highest = rootMoves_[0].score;
        for (int i = 1; i < rootMoveCount_; ++i) highest = std::max(highest, rootMoves_[i].score);
        for (int i = rootMoveCount_ - 1; i >= 0; --i)
          if (rootMoves_[i].move == probe.move) {
            rootMoves_[i].score = highest + 1;
            setBestMove(probe.move);
            score = probe.score;
            known = true;
            break;
          }
      }
      if (!known) score = quiesce(us, them, -500001, 500001, -4);
      int prevScore = score;

      if (rootMoveCount_ == 1) {
        // 8. A single legal move needs no search.
        if (!moveKey(bestMove)) setBestMove(rootMoves_[0].move);
        listener_->printPv(*this, score, score - 1, score + 1);
        iteration = 1;
        if (!moveKey(ponderMove)) findPonderMove();
      } else {
        // 9. Iterative deepening.
        ++searchesSinceBook;
        rootAlpha = -500001;
        rootBeta = 500001;
        Move pvBuffers[2][MaxPvLength];
        int pvLengths[2] = {0, 0};
        int current = 0;  // the buffer this iteration fills
        double changePercent = 0;
        bool previousRootFail = false, previousChange = false;
        char featureText[128] = {};
        bool haveFeatures = false;
        Move previousBest = bestMove;
        for (int i = 0; !stopped(); ++i) {
          // 9.1 A mate found two iterations ago needs no deeper search.
          if (prevScore >= MateThreshold && MateScore - prevScore <= i - 2) break;
          if (prevScore <= -MateThreshold && prevScore + 499999 < i - 2) break;
          // 9.2
          if (i >= 1) {
            const bool may = clock->mayStartIteration(nodes(), i, changePercent + bonus);
            mayContinue_.store(may ? 1 : 0, std::memory_order_relaxed);
            if (!may && !pondering()) break;
          }
          // 9.3
          orderRootMoves();
          alphaRaised = 0;
          rootFail = 0;
          resultCount_ = 0;
          const int v = searchRoot(us, them, OnePly * i);
          // 9.4
          if (multiPv > 1 && resultCount_ > 1 && !stopped()) {
            sortResults(results_, resultCount_);
            const int lines = std::min(multiPv, resultCount_);
            for (int n = 1; n <= lines; ++n)
              listener_->printMultiPv(*this, n, results_[n - 1].move, results_[n - 1].score, -500001, 500001);
          } else if (i == 0 && !stopped()) {
            listener_->printPv(*this, v, -500001, 500001);
          }
          // 9.5
          iteration = int16_t(i + 1);
          firstIteration = 0;
          rootAlpha = -500001;
          rootBeta = 500001;
          if (!stopped()) score = v;
          // 9.6 Training line for the predictor, master only.
          {
            TimeLogCheck check;
            check.masterThread = threadIndex == 0;
            check.fileName = timeLogfile;
            check.stopped = stopped();
            check.score = v;
            check.endgameKnowledge = hasEndgameKnowledge(evaluator_.endgameTable(), root);
            check.positionsSinceIrreversible = game.count;
            check.nodes = nodes();
            check.featureText = haveFeatures ? featureText : nullptr;
            check.previousLength = pvLengths[current ^ 1];
            check.currentLength = pvLengths[current];
            if (timeLogLineDue(check)) appendTimeLogLine(timeLogfile, featureText, bestMove != previousBest);
          }
          // 9.7 Did the best move change between the two previous iterations?
          const int older = current, previous = current ^ 1;
          const bool changed = pvLengths[0] > 0 && pvLengths[1] > 0 && pvBuffers[0][0] != pvBuffers[1][0];
          pvLengths[older] = moveKey(bestMove) ? walkPv(bestMove, pvBuffers[older], true) : 0;
          // 9.8
          if (multiPv <= 1) {
            const double p = predictor_.predict(root, pvLengths[previous], pvBuffers[previous], prevScore,
                                                pvLengths[older], pvBuffers[older], v, rootFail,
                                                previousRootFail, changed, previousChange, rootMoveCount_,
                                                featureText, sizeof featureText);
            haveFeatures = true;
            changePercent = MoveChangeNet::toPercent(p);
            if (timeLogActive(timeLogfile)) {
              char text[100];
              std::snprintf(text, sizeof text, "Best move will change with %5.1f%% probability", changePercent);
              listener_->infoString(text, nullptr);
            }
          } else {
            changePercent = 15;
          }
          // 9.9
          if (stopped() || iteration > MaxPly) break;
          previousBest = bestMove;
          prevScore = v;
          previousChange = changed;
          previousRootFail = rootFail;
          current ^= 1;
        }
      }
    }
  }

  // A search stopped before its first iteration found anything still
  // answers with the best-ordered legal move.
  if (!moveKey(bestMove) && rootMoveCount_ > 0) setBestMove(rootMoves_[0].move);

  // 10.
  while (pondering()) usleep(20000);
  return !stopped();
}

int Searcher::searchRoot(SideState& us, SideState& them, int depth) {
  Position& p = game.position;
  // 1.
  ++ply;
  SearchStackEntry& e = entry(ply);
  e.key = p.hashKey;
  countNode();
  e.bestMove = 0;
  e.staticEval = evaluator_.evaluate(p);
  const int a = rootAlpha;
  e.movesSearched = 0;
  int best = -500000;
  const bool inCheck = p.inCheck();

  for (int k = 0; k < rootMoveCount_; ++k) {
    // 2.
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
    // 3. A reversible move after a hundred reversible plies leaves a draw
    // that can be claimed, whatever the depth.
    const bool fiftyMoveDraw = game.repetitionStatus() == DrawByFiftyMoves;
    int v = fiftyMoveDraw ? 0 : -search(them, us, -rootBeta, -rootAlpha, u);
    // 4. Fail high: widen the window step by step.
    if (v >= rootBeta && !stopped() && !fiftyMoveDraw) {
      const Move remembered = bestMove;
      if (iteration >= 1) {
        e.undo.restore();
        setBestMove(m);
        e.bestMove = m;
        listener_->printPv(*this, v, rootAlpha, rootBeta);
        p.makeMove(m, e.undo);
      }
      if (rootBeta < 500000) {
        int widened = v + 500;
        if (v > rootBeta + 250) widened += 400;
        v = -search(them, us, -widened, -rootAlpha, u);
        if (v >= widened && widened < 500001 && !stopped()) {
          if (iteration >= 1) {
            e.undo.restore();
            listener_->printPv(*this, v, rootAlpha, widened);
            p.makeMove(m, e.undo);
          }
          v = -search(them, us, -500001, -rootAlpha, u);
        }
      } else {
        v = -search(them, us, -500001, -rootAlpha, u);
      }
      if (v <= rootAlpha && bestMove != remembered && moveKey(remembered) && !stopped()) {
        setBestMove(remembered);
        rootFail = 1;
        e.bestMove = remembered;
        if (iteration >= 1) {
          e.undo.restore();
          listener_->printPv(*this, best, best - 1, rootBeta);
          p.makeMove(m, e.undo);
        }
      }
    }
    // 5.
    e.undo.restore();
    e.movesSearched = k + 1;
    if (stopped()) {
      --ply;
      return best;
    }
    // 6.
    r.score = v;
    r.nodeShare = double(nodes() - nodesBefore);
    r.raised = v > rootAlpha;
    // 7.
    if (v > best) {
      e.bestMove = m;
      best = v;
      if (v > rootAlpha) {
        setBestMove(m);
        rootBeta = v + 1;
        alphaRaised = 1;
        if (iteration >= 1) listener_->printPv(*this, v, rootAlpha, v + 1);
      }
    }
    // 8. MultiPV: the window's alpha follows the score of the last line kept.
    if (resultCount_ < MaxMultiPv) results_[resultCount_++] = {m, v};
    if (resultCount_ >= multiPv) {
      ScoredMove copy[MaxMultiPv];
      std::copy(results_, results_ + resultCount_, copy);
      sortResults(copy, resultCount_);
      const int s = copy[multiPv < 1 ? 0 : std::min(multiPv, resultCount_) - 1].score;
      if (rootAlpha < s) rootAlpha = s - 1;
      if (multiPv < 2 && best > rootAlpha) rootAlpha = best;
    }
    // 9.
    if (k >= 4 && best > a && !pondering()) {
      SearchLimits* clock = limits();
      if (clock && clock->stopIteration()) {
        --ply;
        return best;
      }
    }
  }
  // 10.
  const int result = rootMoveCount_ == 0 ? (inCheck ? ply - MateScore : 0) : best;
  --ply;
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
  const double w = double(threadIndex) * 3000.0 / double(threadCount) + 1000.0;
  Position copy = game.position;
  UndoRecord undo;
  undo.save(copy);
  for (int i = 0; i < rootMoveCount_; ++i) {
    const RootMove& r = rootMoves_[i];
    double share = r.nodeShare;
    if (share < 0.005 && r.score >= -1 && r.score <= 1) share = 0.99;
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
  Position copy = game.position;
  uint64_t keys[MaxPvLength + 1];
  int keyCount = 0;
  keys[keyCount++] = copy.hashKey;
  UndoRecord undos[MaxPvLength];
  pv[0] = first;
  int length = 1;
  bool haveExpectation = false;
  int expected = 0;
  if (setPonder) ponderMove = 0;
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
    if (setPonder && length == 1 && first == bestMove) ponderMove = probe.move;
    ++length;
    bool repeated = false;
    for (int back = 2; back < keyCount && !repeated; back += 2)
      repeated = keys[keyCount - 1 - back] == keys[keyCount - 1];
    if (repeated) break;
  }
  return length;
}

void Searcher::extractPv(int* length, Move* pv, const Move* first) {
  if (!moveKey(bestMove)) {
    ponderMove = 0;
    *length = 0;
    return;
  }
  const Move start = first ? *first : bestMove;
  *length = walkPv(start, pv, start == bestMove);
}
