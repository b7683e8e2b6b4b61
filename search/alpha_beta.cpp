// The interior node of the principal-variation search.
#include <algorithm>

#include "board/attack_tables.h"
#include "board/legality.h"
#include "eval/endgame_evaluators.h"
#include "eval/endgame_table.h"
#include "search/ply_scope.h"
#include "search/searcher.h"

namespace {

// Extension of a capture that leaves a pawn ending, by what the opponent's
// previous move captured (none, pawn, knight, bishop, rook, queen) and what
// this move captures (knight, bishop, rook, queen).
constexpr int PawnEndingExtension[6][4] = {
    {0, 0, 0, 0}, {8, 8, 0, 0}, {8, 8, 8, 0}, {8, 8, 8, 0}, {8, 8, 8, 8}, {0, 0, 8, 16},
};

// Piece values for recognising recaptures: knight and bishop count alike.
constexpr int RecaptureValue[7] = {0, 1000, 3500, 3500, 5150, 10450, 0};

inline int16_t clampKillerScore(int v) { return int16_t(std::clamp(v, -9999, 32767)); }

// Opponent men that the side to move attacks unanswered, or with a cheaper
// piece, after a move; compared with the same set before it.
inline Bitboard targetsOf(Bitboard enemyMen, Bitboard ourAttacks, Bitboard theirDefence, Bitboard threatened) {
  return enemyMen & ((ourAttacks & ~theirDefence) | threatened);
}

inline const Bitboard* savedMaps(const UndoRecord& undo, bool white) {
  return white ? undo.whiteMaps : undo.blackMaps;
}

}  // namespace

int Searcher::childDepth(int depth, SearchStackEntry& e) {
  const Position& p = game_.position;
  const int x = e.undo.captured;
  const int ext = e.extension;
  const SearchStackEntry& parent = entry(ply_ - 1);
  // A capture of a piece that leaves a pawn ending.
  if (x >= Knight && x <= Queen && p.white.counts[0] == p.white.counts[Pawn] + 1 &&
      p.black.counts[0] == p.black.counts[Pawn] + 1 && moveKey(parent.move) && !movePromotion(parent.move) &&
      p.white.counts[Pawn] && p.black.counts[Pawn] && std::abs(p.white.counts[Pawn] - p.black.counts[Pawn]) <= 2) {
    const int t = PawnEndingExtension[std::clamp<int>(parent.undo.captured, 0, 5)][x - Knight];
    if (t >= ext) {
      e.extension = int16_t(t);
      return depth - OnePly + t;
    }
  }
  if (ext >= OnePly) return depth - 1;
  const SearchStackEntry& grandparent = entry(ply_ - 2);
  auto quiet = [](const SearchStackEntry& s) { return s.undo.captured == 0 && (s.extension == 0 || s.reduced); };
  if (x == 0 && (ext == 0 || e.reduced) && quiet(parent) && quiet(grandparent))
    return depth - OnePly - (depth % OnePly) + ext;  // whole plies along quiet chains
  return depth - OnePly + ext;
}

void Searcher::advancedPawnBonus(SearchStackEntry& e, const SideState& us, const SideState& them) {
  (void)them;
  const int to = moveTo(e.move);
  const bool white = us.push < 0;
  const int rank = rankOf(to);
  if (rank == (white ? 7 : 2)) {
    e.extension = int16_t(e.extension + 6);
  } else if (rank == (white ? 6 : 3)) {
    // After the move: no enemy pawn attacks the square or blocks it.
    const int ahead = to + us.push;
    if (!(us.pawnAttacked & squareBit(to)) && !(them.pieces[Pawn] & squareBit(ahead)))
      e.extension = int16_t(e.extension + 5);
  }
}

int Searcher::search(SideState& us, SideState& them, int alpha, int beta, int depth) {
  Position& p = game_.position;
  // 1.1
  if (depth < 0) return quiesce(us, them, alpha, beta, -1);
  // 1.2
  if (depth > 8 && !pondering()) {
    SearchLimits* clock = limits();
    if (clock && clock->mustStop(alphaRaised_)) stop_.store(1, std::memory_order_relaxed);
  }
  // 1.3
  const int eval = evaluator_.evaluate(p);
  countNode();
  PlyScope scope(ply_);
  SearchStackEntry& e = entry(ply_);
  e.bestMove = 0;
  e.movesSearched = 0;
  // 1.4
  if (ply_ > MaxPly || stopped()) return eval;
  // 1.5
  const bool inCheck = (us.attacked & us.pieces[King]) != 0;
  // 1.6 Mates in one found from the attack maps alone.
  if (!inCheck) {
    const Bitboard theirKing = them.pieces[King];
    if ((us.counts[Queen] && findQueenMate(us, them, &e.bestMove)) ||
        ((theirKing & BoardEdge) && findMateInOne(us, them, &e.bestMove)))
      return 499999 - ply_;
    e.bestMove = 0;
  }
  // 1.7 Repetition along the search path.
  const uint64_t key = p.hashKey;
  for (int back = ply_ - 4; back >= 0; back -= 2)
    if (entry(back).key == key) return 0;
  // 1.8
  if (depth > 15 && game_.repetitionStatus()) return 0;
  // 1.9
  e.staticEval = eval;
  e.key = key;

  // 2. A reduced move whose static balance is clearly bad for the mover
  // fails high in the parent anyway.
  SearchStackEntry& parent = entry(ply_ - 1);
  if (parent.reduced && moveKey(parent.move)) {
    if (eval + parent.staticEval < -200) return alpha;
    if (ply_ > 2 && ply_ > lastNullPly_ + 3 && eval + parent.staticEval < 0 &&
        entry(ply_ - 3).staticEval + entry(ply_ - 2).staticEval < 0 &&
        p.white.materialKey == entry(ply_ - 2).undo.whiteMaterialKey &&
        p.black.materialKey == entry(ply_ - 2).undo.blackMaterialKey)
      return alpha;
  }

  // 3.
  const EndgameTable& table = evaluator_.endgameTable();
  const EndgameEvaluator* endgame = evaluator_.endgameEvaluator();
  bool nullAllowed = (eval > beta || ply_ == lastNullPly_ + 1) && !inCheck && !isKnowledgeEvaluator(table, endgame);

  // 4. Transposition table.
  int extension = 0;
  bool mateThreat = false;
  Move hashMove = 0;
  TTProbe probe;
  if (tt_->probe(key, ply_, probe)) {
    if (alpha + 1 == beta && TTEntry::allowsCutoff(probe, alpha, beta, depth)) {
      if (probe.score > alpha) e.bestMove = probe.move;
      return probe.score;
    }
    if (probe.mateThreat()) {
      extension += 7;
      mateThreat = true;
      nullAllowed = false;
    }
    if (moveKey(probe.move) && probe.bound() != TTUpperBound) {
      nullAllowed = nullAllowed && (probe.score >= beta || ply_ == lastNullPly_ + 1);
      const int stored = probe.depth();
      if (stored >= 0 ? stored + 24 >= depth : stored + 16 >= depth) hashMove = probe.move;
    }
  }
  {
    int endgameScore = 0;
    short change = short(extension);
    if (endgame && endgame->probe(p, &endgameScore, alpha, beta, depth, &change)) return endgameScore;
    extension = change;
  }
  const Bitboard ownPassed = us.pieces[Pawn] & evaluator_.passedPawns();

  // 5. Frontier pruning and the null move.
  int threatSquare = -1;
  Bitboard threatPath = 0;
  const int ourKing = us.kingSquare();
  if (depth + extension < OnePly) {
    if (nullAllowed && eval > beta + 124 && beta >= -399999 && extension <= 0 && alpha + 1 == beta &&
        us.counts[Bishop] + us.counts[Rook] + us.counts[Queen] >= 2) {
      const Bitboard s1 = them.attacked & ~us.pawnAttacked & ~us.pieces[0] & ~them.pawnAttacked &
                          ~attackTables.kingAttacks[ourKing];
      if (AttackTables::popCount(s1) > 2) {
        const int v = eval - hangingValue(us, them) - 125;
        if (v >= beta) return v;
      }
    }
  } else if (nullAllowed && previousNullPly_ < ply_ - 2) {
    const int n = AttackTables::popCount((us.pieces[Bishop] | us.pieces[Rook] | us.pieces[Queen]) & ~p.pinned);
    const Bitboard s2 = (them.attacked & ~them.pawnAttacked & ~us.pieces[0] & ~us.pawnAttacked &
                         ~(attackTables.kingAttacks[ourKing] & ~them.attackedTwice)) |
                        (them.pieces[0] & them.pawnAttacked);
    if (n > 0 && AttackTables::popCount(s2) > 2) {
      // Make the null move.
      const Bitboard savedLastMove = p.lastMoveMask;
      const int8_t savedEp = p.epSquare;
      const int16_t savedPrevious = previousNullPly_, savedLast = lastNullPly_;
      previousNullPly_ = lastNullPly_;
      lastNullPly_ = ply_;
      p.whiteToMove ^= 1;
      p.lastMoveMask = 0;
      p.hashKey ^= SideToMoveKey;
      if (p.epSquare >= 0) {
        p.hashKey ^= enPassantKey(p.epSquare);
        p.epSquare = NoSquare;
      }
      e.movesSearched = -1;
      e.move = 0;
      e.key = p.hashKey;
      e.extension = 0;
      e.undo.captured = 0;
      const int R = (depth >= 48 && savedLast < ply_ - 1 && (n >= 2 || depth >= 64)) ? 24 : 16;
      const int v = -search(them, us, -beta, 1 - beta, depth - OnePly - R);
      // Undo it; the node's entry gets its own key and count back.
      p.whiteToMove ^= 1;
      p.lastMoveMask = savedLastMove;
      p.hashKey = key;
      p.epSquare = savedEp;
      previousNullPly_ = savedPrevious;
      lastNullPly_ = savedLast;
      e.key = key;
      e.movesSearched = 0;
      if (stopped()) return eval;
      if (v >= beta) {
        if (alpha + 1 == beta) return v;
      } else {
        const Move threat = entry(ply_ + 1).bestMove;
        if (moveKey(threat)) {
          const int from = moveFrom(threat);
          threatSquare = moveTo(threat);
          threatPath = attackTables.betweenMask[threat & 0xFFF];
          if (parent.reduced && moveKey(parent.move) &&
              (from == moveTo(parent.move) ||
               (moveKey(parent.bestMove) && (threatPath & squareBit(moveFrom(parent.bestMove))))))
            return alpha;
          if (v < -399999 && beta >= -399999 &&
              (!(them.attacked & squareBit(from)) || (us.attacked & squareBit(from)))) {
            extension += 7;
            mateThreat = true;
          }
        }
      }
    }
  }

  // 6. Move list.
  InProgressSet* inProgress = depth <= 31 ? &tt_->inProgress() : nullptr;
  MoveList list(moveStack_, p, history_[p.whiteToMove], AllMoves, &hashMove, e.killers, inProgress);
  if (list.size() == 0) return inCheck ? ply_ - MateScore : 0;
  if (list.size() == 1) extension += 7;
  if (inCheck) extension += 4;
  bool cutoffFound = false;
  if (depth + extension > 31)
    cutoffFound = tryTranspositionCutoff(us, them, beta, list, inProgress, depth + extension - OnePly);
  const bool reductionsAllowed = depth > 15 && !inCheck && alpha >= -399999;
  const bool onlyPawnsAndKings =
      p.white.counts[0] == p.white.counts[Pawn] + 1 && p.black.counts[0] == p.black.counts[Pawn] + 1;

  // 7. Move loop.
  const bool white = p.whiteToMove != 0;
  int best = -500000;
  int alphaNow = alpha;
  Move firstLegal = 0, secondLegal = 0;
  bool pruned = false;
  const uint32_t keyLow = uint32_t(key);
  const SearchStackEntry& twoBack = entry(ply_ - 2);
  e.undo.save(p);  // one save serves every move: restore brings this position back
  while (alphaNow < beta) {
    const MoveListEntry* picked = list.next();
    if (!picked) break;
    const Move m = picked->move;
    const int from = moveFrom(m), to = moveTo(m), piece = movePiece(m);
    const unsigned mark = InProgressSet::bitFor(m, keyLow);
    // 7.1
    e.move = m;
    if (!p.makeMove(m, e.undo)) {
      if (inProgress) inProgress->reset(mark);
      continue;
    }
    if (!firstLegal) firstLegal = m;
    else if (!secondLegal) secondLegal = m;
    const uint64_t nodesBefore = nodes();
    // 7.2 Extensions of this move.
    e.extension = int16_t(extension);
    const int captured = e.undo.captured;
    const bool givesCheck = (them.attacked & them.pieces[King]) != 0;
    if (piece == Pawn) {
      advancedPawnBonus(e, us, them);
      if (movePromotion(m) && depth > 23 && !(us.attacked & squareBit(to)))
        e.extension = int16_t(e.extension - (depth <= 31 ? 8 : 16));
    }
    if (givesCheck && ply_ > lastNullPly_ + 1) {
      if (movePiece(parent.move) == King) {
        e.extension = int16_t(e.extension + 3);
      } else if (ply_ > lastNullPly_ + 2 && moveKey(twoBack.move) && from == moveTo(twoBack.move)) {
        const int origin = moveFrom(twoBack.move);
        const Bitboard diagonals = attackTables.diagA1H8Line[origin] | attackTables.diagA8H1Line[origin];
        const Bitboard straights = attackTables.fileLine[origin] | attackTables.rankLine[origin];
        const Bitboard T = squareBit(to);
        bool extend = false;
        switch (piece) {
          case Pawn: case Knight: extend = true; break;
          case Bishop: extend = !(diagonals & T); break;
          case Rook: extend = !(straights & T); break;
          case Queen: extend = !((diagonals | straights) & T); break;
          default: break;
        }
        if (extend) e.extension = int16_t(e.extension + 2);
      }
    }
    if (captured && ply_ > lastNullPly_ + 1 && moveKey(parent.move) && to == moveTo(parent.move) &&
        RecaptureValue[captured] == RecaptureValue[std::clamp<int>(parent.undo.captured, 0, 6)])
      e.extension = int16_t(e.extension + 4);
    // 7.3
    const int u = childDepth(depth, e);
    // New targets: men of theirs we now attack unanswered or with a cheaper
    // piece, that were not so before.
    const Bitboard* ourBefore = savedMaps(e.undo, white);    // attacks on us, before
    const Bitboard* theirBefore = savedMaps(e.undo, !white);  // our attacks on them, before
    auto createsTarget = [&]() {
      const Bitboard now = targetsOf(them.pieces[0], them.attacked, us.attacked, them.threatened);
      const Bitboard before = targetsOf(them.pieces[0], theirBefore[0], ourBefore[0], theirBefore[3]);
      return (now & ~before) != 0;
    };
    int v;
    if (u < 0) {
      // 7.4 Futility at the horizon.
      if (alpha > eval + 1200 && !captured && e.extension <= 0 && e.movesSearched > 0 && !movePromotion(m) &&
          !inCheck && !givesCheck && alpha + 1 == beta && !onlyPawnsAndKings && !createsTarget()) {
        e.undo.restore();
        if (inProgress) inProgress->reset(mark);
        pruned = true;
        continue;
      }
      v = -quiesce(them, us, -beta, -alphaNow, -1);
    } else if (e.movesSearched == 0) {
      // 7.5 The first move gets the full window.
      v = -search(them, us, -beta, -alphaNow, u);
    } else {
      bool reduce = false;
      if (reductionsAllowed && !captured && !givesCheck && e.extension == 0 && !(ownPassed & squareBit(from)) &&
          from != threatSquare && !(threatPath & squareBit(to))) {
        reduce = true;
        if (threatSquare >= 0) {
          const Bitboard T = squareBit(threatSquare);
          // Our attacks on their side are in their maps.
          const bool newlyAttacks = (them.attacked & T) && !(theirBefore[0] & T);
          const bool newlyTwice = (them.attackedTwice & T) && !(theirBefore[1] & T);
          const bool newlyByPawn = (them.pawnAttacked & T) && !(theirBefore[2] & T);
          if (newlyAttacks || newlyTwice || newlyByPawn) reduce = false;
        }
        if (reduce && createsTarget()) reduce = false;
        // The square left behind must not become a hole the opponent uses.
        if (reduce && (us.attacked & squareBit(from)) && !(them.attacked & squareBit(from))) reduce = false;
      }
      if (reduce) {
        e.reduced = 1;
        e.extension = -OnePly;
        const int reducedDepth = childDepth(depth, e);
        e.extension = 0;
        v = -search(them, us, -alphaNow - 1, -alphaNow, reducedDepth);
        e.reduced = 0;
      } else {
        v = -search(them, us, -alphaNow - 1, -alphaNow, u);
      }
      if (v > alphaNow && (reduce || alphaNow + 1 < beta) && !stopped()) v = -search(them, us, -beta, -alphaNow, u);
    }
    // 7.6
    e.undo.restore();
    ++e.movesSearched;
    if (inProgress) inProgress->reset(mark);
    // 7.7 A stopped search leaves no half-searched result behind.
    if (stopped()) {
      if (ply_ > 3) tt_->remove(key);
      return best;
    }
    // 7.8
    if (v > best) {
      e.bestMove = m;
      if (v > alphaNow) {
        alphaNow = v;
        best = v;
      } else {
        best = v;
        if (list.size() <= 2 && inCheck && v >= -1 && v <= 1 && alphaNow > 500 && u >= 0 &&
            nodes() - nodesBefore == 1 && captured) {
          mateThreat = true;
          if (extension < 7) extension = 7;
        }
      }
    }
  }

  // 9.
  if (e.movesSearched == 0) return inCheck ? ply_ - MateScore : 0;
  const Move cutMove = e.bestMove;
  if (best >= beta) {
    const bool quickCut = cutoffFound && e.movesSearched == 1 && eval >= beta && best <= beta + 1;
    if (!quickCut) {
      // Moves that merely answer the opponent's last move (onto a square it
      // vacated or stopped covering) teach the history nothing.
      Bitboard H = p.lastMoveMask;
      if (ply_ > lastNullPly_ + 1) {
        const Bitboard before = savedMaps(parent.undo, white)[0];
        H |= before & ~us.attacked;
      }
      const Bitboard destination = attackTables.fromToMask[cutMove & 0xFFF] & ~us.pieces[0];
      if (!(destination & H)) {
        if (ply_ > previousNullPly_ + 3) {
          const int k = inCheck ? 2 : 0;
          KillerSlot* killers = e.killers;
          if (cutMove != killers[k].move && cutMove != twoBack.killers[k].move &&
              cutMove != twoBack.killers[k + 1].move) {
            int y = 3 * depth;
            if (lastNullPly_ == ply_ - 1) y += 184;
            if (best == 499999 - ply_) y += 2 * depth;
            if (cutMove == killers[k + 1].move || killers[k].score < 0 || killers[k + 1].score < 0) {
              killers[k + 1] = {killers[k].move, clampKillerScore(depth + killers[k + 1].score - killers[k].score)};
              killers[k] = {cutMove, clampKillerScore(y)};
            } else if (y > killers[k + 1].score) {
              killers[k + 1] = {cutMove, clampKillerScore(y)};
            }
          }
        }
        HistoryTable& history = history_[p.whiteToMove];
        history.reward(cutMove, depth);
        if (firstLegal && firstLegal != cutMove) history.penalise(firstLegal, 4);
        if (secondLegal && secondLegal != cutMove) history.penalise(secondLegal, 8);
      }
    }
    tt_->store(key, cutMove, best, ttWord(depth, TTLowerBound, mateThreat), ply_);
    return best;
  }
  history_[p.whiteToMove].noteNoCutoff();
  const int result = (pruned && best < eval) ? eval + 1200 : best;
  tt_->store(key, e.bestMove, result, ttWord(depth, result > alpha ? TTExact : TTUpperBound, mateThreat), ply_);
  return result;
}

bool Searcher::tryTranspositionCutoff(SideState& us, SideState& them, int beta, MoveList& list,
                                      InProgressSet* inProgress, int depthOfChildren) {
  (void)us;
  (void)them;
  if (list.size() < 2) return false;
  Position& p = game_.position;
  const uint32_t keyLow = uint32_t(p.hashKey);
  int c = -beta, b = -beta;
  Move refutation = 0, candidate = 0;
  UndoRecord undo;
  undo.save(p);
  for (const MoveListEntry* it = list.begin(); it < list.end(); ++it) {
    const Move m = it->move;
    if (inProgress) inProgress->reset(InProgressSet::bitFor(m, keyLow));
    if (!p.makeMove(m, undo)) continue;
    // A mate ends the node at once.
    if (p.inCheck() && p.noLegalMove()) {
      undo.restore();
      list.rewindWithHashMove(m);
      return true;
    }
    // A draw by repetition is as good as any score at or above beta.
    bool repeats = game_.repetitionStatus() != 0;
    for (int back = ply_ - 3; back >= 0 && !repeats; back -= 2) repeats = entry(back).key == p.hashKey;
    if (repeats) {
      if (c >= 0) {
        undo.restore();
        list.rewindWithHashMove(m);
        return true;
      }
      undo.restore();
      continue;
    }
    if (undo.captured) {
      const EndgameEvaluator* known = selectEndgameEvaluator(evaluator_.endgameTable(), p);
      int s = 0;
      short change = 0;
      if (known->probe(p, &s, -beta, 500000, depthOfChildren, &change) && s <= c) {
        refutation = m;
        c = s;
        undo.restore();
        continue;
      }
    }
    TTProbe probe;
    if (tt_->probe(p.hashKey, ply_, probe) && probe.score <= c && probe.bound() != TTLowerBound) {
      const int stored = probe.depth();
      if (probe.score < -399999 || (stored >= depthOfChildren && (!p.inCheck() || stored > depthOfChildren + 2))) {
        refutation = m;
        c = probe.score;
      } else if (probe.score < b && depthOfChildren <= stored + 8 && !refutation) {
        candidate = m;
        b = probe.score;
      }
    }
    undo.restore();
  }
  if (refutation) {
    list.rewindWithHashMove(refutation);
    return true;
  }
  if (candidate) {
    list.rewindWithHashMove(candidate);
    return true;
  }
  list.rewind();
  return false;
}

void Searcher::searchMoveList(SideState& us, SideState& them, MoveList& list, int alpha, int beta, int depth) {
  Position& p = game_.position;
  SearchStackEntry& e = entry(ply_);
  const Move kept = e.bestMove;
  int best = -500001;
  Move bestFound = 0;
  UndoRecord undo;
  undo.save(p);
  for (const MoveListEntry* it = list.begin(); it < list.end(); ++it) {
    if (!p.makeMove(it->move, undo)) continue;
    const int v = -search(them, us, -beta, -alpha, depth);
    undo.restore();
    if (v > best) {
      best = v;
      bestFound = it->move;
    }
  }
  if (bestFound) list.rewindWithHashMove(bestFound);
  e.bestMove = kept;
}
