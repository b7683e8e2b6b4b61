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
    {0, 0, 0, 0},
    {OnePly, OnePly, 0, 0},
    {OnePly, OnePly, OnePly, 0},
    {OnePly, OnePly, OnePly, 0},
    {OnePly, OnePly, OnePly, OnePly},
    {0, 0, OnePly, 2 * OnePly},
};

// Piece values for recognising recaptures: knight and bishop count alike.
constexpr int RecaptureValue[7] = {
    0, PieceValues[Pawn], PieceValues[Bishop], PieceValues[Bishop], PieceValues[Rook], PieceValues[Queen], 0};

inline int16_t clampKillerScore(int v) { return int16_t(std::clamp(v, EmptyKillerScore, MaxKillerScore)); }

// Opponent men that the side to move attacks unanswered, or with a cheaper
// piece, after a move; compared with the same set before it.
inline Bitboard targetsOf(Bitboard enemyMen, Bitboard ourAttacks, Bitboard theirDefence, Bitboard threatened) {
  return enemyMen & ((ourAttacks & ~theirDefence) | threatened);
}

inline const Bitboard* savedMaps(const UndoRecord& undo, bool white) {
  return white ? undo.whiteMaps : undo.blackMaps;
}

// Whether the move just made creates a new target: a man of theirs we now
// attack unanswered or with a cheaper piece, that was not so before. The
// maps before the move: ourBefore the attacks on us, theirBefore ours on them.
inline bool createsTarget(const SideState& us, const SideState& them, const Bitboard* ourBefore,
                          const Bitboard* theirBefore) {
  const Bitboard now = targetsOf(them.pieces[0], them.attacked, us.attacked, them.threatened);
  const Bitboard before = targetsOf(them.pieces[0], theirBefore[0], ourBefore[0], theirBefore[3]);
  return (now & ~before) != 0;
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
    e.extension = int16_t(e.extension + SeventhRankPawnExtension);
  } else if (rank == (white ? 6 : 3)) {
    // After the move: no enemy pawn attacks the square or blocks it.
    const int ahead = to + us.push;
    if (!(us.pawnAttacked & squareBit(to)) && !(them.pieces[Pawn] & squareBit(ahead)))
      e.extension = int16_t(e.extension + SixthRankPawnExtension);
  }
}

// The steps of the interior node below are functions of their own for the
// reader; each is called from one place and forced inline so the node costs
// what it did as one function.
#define NODE_STEP __attribute__((always_inline)) inline

// A reduced move whose static balance is clearly bad for the mover fails
// high in the parent anyway: its gain exceeds two pawns, or the last two
// plies changed no material and both sides' balances stay negative.
NODE_STEP bool Searcher::reducedMoveFailsHigh(int eval) {
  const SearchStackEntry& parent = entry(ply_ - 1);
  if (!parent.reduced || !moveKey(parent.move)) return false;
  if (eval + parent.staticEval < ReducedMoveGainMargin) return true;
  const Position& p = game_.position;
  return ply_ > 2 && ply_ > lastNullPly_ + 3 && eval + parent.staticEval < 0 &&
         entry(ply_ - 3).staticEval + entry(ply_ - 2).staticEval < 0 &&
         p.white.materialKey == entry(ply_ - 2).undo.whiteMaterialKey &&
         p.black.materialKey == entry(ply_ - 2).undo.blackMaterialKey;
}

// The transposition-table probe: a cutoff at a null-window node ends the
// node with *score; otherwise the entry may carry a mate threat, restrict
// the null move and supply the hash move.
NODE_STEP bool Searcher::probeTable(NodeState& n, uint64_t key, int alpha, int beta, int depth, int* score) {
  TTProbe probe;
  if (!tt_->probe(key, ply_, probe)) return false;
  if (alpha + 1 == beta && TTEntry::allowsCutoff(probe, alpha, beta, depth)) {
    if (probe.score > alpha) entry(ply_).bestMove = probe.move;
    *score = probe.score;
    return true;
  }
  if (probe.mateThreat()) {
    n.extension += MateThreatExtension;
    n.mateThreat = true;
    n.nullAllowed = false;
  }
  if (moveKey(probe.move) && probe.bound() != TTUpperBound) {
    n.nullAllowed = n.nullAllowed && (probe.score >= beta || ply_ == lastNullPly_ + 1);
    const int stored = probe.depth();
    if (stored >= 0 ? stored + HashMoveDepthGap >= depth : stored + QsHashMoveDepthGap >= depth)
      n.hashMove = probe.move;
  }
  return false;
}

// Frontier pruning, for a node whose children are quiescence nodes: far
// enough above beta, with enough pieces and enough squares under our
// control, the evaluation less what hangs still fails high.
NODE_STEP bool Searcher::frontierPrune(const NodeState& n, const SideState& us, const SideState& them, int eval,
                                       int alpha, int beta, int* score) {
  if (!(n.nullAllowed && eval > beta + FrontierMargin && beta >= -MaxPlainScore && n.extension <= 0 &&
        alpha + 1 == beta && us.counts[Bishop] + us.counts[Rook] + us.counts[Queen] >= 2))
    return false;
  const Bitboard controlled = them.attacked & ~us.pawnAttacked & ~us.pieces[0] & ~them.pawnAttacked &
                              ~attackTables.kingAttacks[us.kingSquare()];
  if (AttackTables::popCount(controlled) <= 2) return false;
  const int v = eval - hangingValue(us, them) - FrontierSafetyMargin;
  if (v < beta) return false;
  *score = v;
  return true;
}

// The null move: the side to move passes and a reduced search shows
// whether the position still fails high. A failing null move leaves the
// opponent's threat (square and path) for the move loop, and may reveal a
// mate threat. Gives back true when the node ends with *score.
NODE_STEP bool Searcher::tryNullMove(NodeState& n, SideState& us, SideState& them, int alpha, int beta, int depth,
                                     int eval, int* score) {
  Position& p = game_.position;
  const int ourKing = us.kingSquare();
  const int freePieces =
      AttackTables::popCount((us.pieces[Bishop] | us.pieces[Rook] | us.pieces[Queen]) & ~p.pinned);
  const Bitboard controlled = (them.attacked & ~them.pawnAttacked & ~us.pieces[0] & ~us.pawnAttacked &
                               ~(attackTables.kingAttacks[ourKing] & ~them.attackedTwice)) |
                              (them.pieces[0] & them.pawnAttacked);
  if (freePieces <= 0 || AttackTables::popCount(controlled) <= 2) return false;

  // Make the null move.
  SearchStackEntry& e = entry(ply_);
  const uint64_t key = p.hashKey;
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
  const bool deep = depth >= DeepNullMoveDepth && savedLast < ply_ - 1 &&
                    (freePieces >= 2 || depth >= VeryDeepNullMoveDepth);
  const int R = deep ? DeepNullMoveReduction : NullMoveReduction;
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

  if (stopped()) {
    *score = eval;
    return true;
  }
  if (v >= beta) {
    // Only a null-window node may end on it.
    *score = v;
    return alpha + 1 == beta;
  }
  const Move threat = entry(ply_ + 1).bestMove;
  if (!moveKey(threat)) return false;
  const int from = moveFrom(threat);
  n.threatSquare = moveTo(threat);
  n.threatPath = attackTables.betweenMask[threat & 0xFFF];
  // A reduced parent move that created the threat, or that the threat
  // passes through, fails high in the parent anyway.
  const SearchStackEntry& parent = entry(ply_ - 1);
  if (parent.reduced && moveKey(parent.move) &&
      (from == moveTo(parent.move) ||
       (moveKey(parent.bestMove) && (n.threatPath & squareBit(moveFrom(parent.bestMove)))))) {
    *score = alpha;
    return true;
  }
  // Being mated after a pass, by a piece we cannot simply take, is a mate threat.
  if (v < -MaxPlainScore && beta >= -MaxPlainScore &&
      (!(them.attacked & squareBit(from)) || (us.attacked & squareBit(from)))) {
    n.extension += MateThreatExtension;
    n.mateThreat = true;
  }
  return false;
}

// The extensions of the move just made in e, on top of the node's own:
// pawn advances, a shortened quiet promotion, checks that follow a king
// move or repeat the checking piece, and recaptures.
NODE_STEP void Searcher::extendMove(SearchStackEntry& e, const SideState& us, const SideState& them, int depth,
                                    int nodeExtension, bool givesCheck) {
  const Move m = e.move;
  const int from = moveFrom(m), to = moveTo(m), piece = movePiece(m);
  const SearchStackEntry& parent = entry(ply_ - 1);
  const SearchStackEntry& twoBack = entry(ply_ - 2);
  e.extension = int16_t(nodeExtension);
  if (piece == Pawn) {
    advancedPawnBonus(e, us, them);
    if (movePromotion(m) && depth >= PromotionReductionDepth && !(us.attacked & squareBit(to)))
      e.extension = int16_t(e.extension - (depth < DeepPromotionDepth ? OnePly : 2 * OnePly));
  }
  if (givesCheck && ply_ > lastNullPly_ + 1) {
    if (movePiece(parent.move) == King) {
      e.extension = int16_t(e.extension + CheckAfterKingMoveExtension);
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
      if (extend) e.extension = int16_t(e.extension + RepeatedCheckerExtension);
    }
  }
  const int captured = e.undo.captured;
  if (captured && ply_ > lastNullPly_ + 1 && moveKey(parent.move) && to == moveTo(parent.move) &&
      RecaptureValue[captured] == RecaptureValue[std::clamp<int>(parent.undo.captured, 0, 6)])
    e.extension = int16_t(e.extension + RecaptureExtension);
}

// Whether a quiet, unextended later move may be searched one ply less: it
// must not move a passed pawn, flee from or block the threat the null move
// revealed, newly attack the threat's square, create a target, or leave
// behind a square the opponent then holds.
NODE_STEP bool Searcher::lateMoveReducible(const NodeState& n, const SideState& us, const SideState& them, int from,
                                           int to, Bitboard ownPassed, const Bitboard* ourBefore,
                                           const Bitboard* theirBefore) {
  if ((ownPassed & squareBit(from)) || from == n.threatSquare || (n.threatPath & squareBit(to))) return false;
  if (n.threatSquare >= 0) {
    const Bitboard T = squareBit(n.threatSquare);
    // Our attacks on their side are in their maps.
    const bool newlyAttacks = (them.attacked & T) && !(theirBefore[0] & T);
    const bool newlyTwice = (them.attackedTwice & T) && !(theirBefore[1] & T);
    const bool newlyByPawn = (them.pawnAttacked & T) && !(theirBefore[2] & T);
    if (newlyAttacks || newlyTwice || newlyByPawn) return false;
  }
  if (createsTarget(us, them, ourBefore, theirBefore)) return false;
  return !((us.attacked & squareBit(from)) && !(them.attacked & squareBit(from)));
}

// A cutoff teaches the killers and the history, unless the cutting move
// merely answers the opponent's last move (onto a square it vacated or
// stopped covering).
NODE_STEP void Searcher::rewardCutoff(SearchStackEntry& e, const SideState& us, Move cutMove, int best, int depth,
                                      bool inCheck, Move firstLegal, Move secondLegal) {
  Position& p = game_.position;
  const bool white = p.whiteToMove != 0;
  Bitboard answered = p.lastMoveMask;
  if (ply_ > lastNullPly_ + 1) {
    const Bitboard before = savedMaps(entry(ply_ - 1).undo, white)[0];
    answered |= before & ~us.attacked;
  }
  const Bitboard destination = attackTables.fromToMask[cutMove & 0xFFF] & ~us.pieces[0];
  if (destination & answered) return;
  // Killers: slots 0 and 1 out of check, 2 and 3 in check.
  if (ply_ > previousNullPly_ + 3) {
    const int k = inCheck ? 2 : 0;
    KillerSlot* killers = e.killers;
    const SearchStackEntry& twoBack = entry(ply_ - 2);
    if (cutMove != killers[k].move && cutMove != twoBack.killers[k].move && cutMove != twoBack.killers[k + 1].move) {
      int y = 3 * depth;
      if (lastNullPly_ == ply_ - 1) y += NullMoveRefutationBonus;
      if (best == MateScore - (ply_ + 1)) y += 2 * depth;  // it mates at once
      if (cutMove == killers[k + 1].move || killers[k].score < 0 || killers[k + 1].score < 0) {
        killers[k + 1] = {killers[k].move, clampKillerScore(depth + killers[k + 1].score - killers[k].score)};
        killers[k] = {cutMove, clampKillerScore(y)};
      } else if (y > killers[k + 1].score) {
        killers[k + 1] = {cutMove, clampKillerScore(y)};
      }
    }
  }
  // History: the cutting move gains, the first two moves tried before it lose.
  HistoryTable& history = history_[p.whiteToMove];
  history.reward(cutMove, depth);
  if (firstLegal && firstLegal != cutMove) history.penalise(firstLegal, 4);
  if (secondLegal && secondLegal != cutMove) history.penalise(secondLegal, 8);
}

int Searcher::search(SideState& us, SideState& them, int alpha, int beta, int depth) {
  Position& p = game_.position;
  // Below the horizon the quiescence search takes over.
  if (depth < 0) return quiesce(us, them, alpha, beta, QsFirstDepth);
  // Ask the clock whether the search must stop.
  if (depth > StopCheckDepth && !pondering()) {
    SearchLimits* clock = limits();
    if (clock && clock->mustStop(alphaRaised_)) stop_.store(1, std::memory_order_relaxed);
  }
  // Enter the node.
  const int eval = evaluator_.evaluate(p);
  countNode();
  PlyScope scope(ply_);
  SearchStackEntry& e = entry(ply_);
  e.bestMove = 0;
  e.movesSearched = 0;
  if (ply_ > MaxPly || stopped()) return eval;
  const bool inCheck = (us.attacked & us.pieces[King]) != 0;
  // Mates in one found from the attack maps alone.
  if (!inCheck) {
    const Bitboard theirKing = them.pieces[King];
    if ((us.counts[Queen] && findQueenMate(us, them, &e.bestMove)) ||
        ((theirKing & BoardEdge) && findMateInOne(us, them, &e.bestMove)))
      return MateScore - (ply_ + 1);
    e.bestMove = 0;
  }
  // Repetition along the search path, then (deep enough) with the game.
  const uint64_t key = p.hashKey;
  for (int back = ply_ - 4; back >= 0; back -= 2)
    if (entry(back).key == key) return 0;
  if (depth >= GameDrawCheckDepth && game_.repetitionStatus()) return 0;
  e.staticEval = eval;
  e.key = key;

  if (reducedMoveFailsHigh(eval)) return alpha;

  // Whether the null move may be tried: not in check, not where endgame
  // knowledge rules, and only above beta or right after the opponent's pass.
  const EndgameTable& table = evaluator_.endgameTable();
  const EndgameEvaluator* endgame = evaluator_.endgameEvaluator();
  NodeState n;
  n.nullAllowed = (eval > beta || ply_ == lastNullPly_ + 1) && !inCheck && !isKnowledgeEvaluator(table, endgame);

  int score = 0;
  if (probeTable(n, key, alpha, beta, depth, &score)) return score;
  // Endgame knowledge may settle the node or change its extension.
  {
    int endgameScore = 0;
    short change = short(n.extension);
    if (endgame && endgame->probe(p, &endgameScore, alpha, beta, depth, &change)) return endgameScore;
    n.extension = change;
  }
  const Bitboard ownPassed = us.pieces[Pawn] & evaluator_.passedPawns();

  // Frontier pruning where the children are quiescence nodes, the null
  // move elsewhere.
  if (depth + n.extension < OnePly) {
    if (frontierPrune(n, us, them, eval, alpha, beta, &score)) return score;
  } else if (n.nullAllowed && previousNullPly_ < ply_ - 2) {  // at most two passes in a row
    if (tryNullMove(n, us, them, alpha, beta, depth, eval, &score)) return score;
  }

  // The move list, and the extensions and reductions that depend on it.
  InProgressSet* inProgress = depth < InProgressDepth ? &tt_->inProgress() : nullptr;
  MoveList list(moveStack_, p, history_[p.whiteToMove], AllMoves, &n.hashMove, e.killers, inProgress);
  if (list.size() == 0) return inCheck ? ply_ - MateScore : 0;
  if (list.size() == 1) n.extension += SingleReplyExtension;
  if (inCheck) n.extension += CheckEvasionExtension;
  bool cutoffFound = false;
  if (depth + n.extension >= TranspositionCutoffDepth)
    cutoffFound = tryTranspositionCutoff(us, them, beta, list, inProgress, depth + n.extension - OnePly);
  const bool reductionsAllowed = depth >= ReductionDepth && !inCheck && alpha >= -MaxPlainScore;
  const bool onlyPawnsAndKings =
      p.white.counts[0] == p.white.counts[Pawn] + 1 && p.black.counts[0] == p.black.counts[Pawn] + 1;

  // The move loop.
  const bool white = p.whiteToMove != 0;
  int best = WorstScore;
  int alphaNow = alpha;
  Move firstLegal = 0, secondLegal = 0;
  bool pruned = false;
  const uint32_t keyLow = uint32_t(key);
  e.undo.save(p);  // one save serves every move: restore brings this position back
  while (alphaNow < beta) {
    const MoveListEntry* picked = list.next();
    if (!picked) break;
    const Move m = picked->move;
    const int from = moveFrom(m), to = moveTo(m);
    const unsigned mark = InProgressSet::bitFor(m, keyLow);
    // Make the move; an illegal one only loses its in-progress mark.
    e.move = m;
    if (!p.makeMove(m, e.undo)) {
      if (inProgress) inProgress->reset(mark);
      continue;
    }
    if (!firstLegal) firstLegal = m;
    else if (!secondLegal) secondLegal = m;
    const uint64_t nodesBefore = nodes();
    const int captured = e.undo.captured;
    const bool givesCheck = (them.attacked & them.pieces[King]) != 0;
    extendMove(e, us, them, depth, n.extension, givesCheck);
    const int u = childDepth(depth, e);
    const Bitboard* ourBefore = savedMaps(e.undo, white);    // attacks on us, before
    const Bitboard* theirBefore = savedMaps(e.undo, !white);  // our attacks on them, before
    int v;
    if (u < 0) {
      // Futility at the horizon: a quiet move far below alpha that
      // threatens nothing is skipped.
      if (alpha > eval + FutilityMargin && !captured && e.extension <= 0 && e.movesSearched > 0 &&
          !movePromotion(m) && !inCheck && !givesCheck && alpha + 1 == beta && !onlyPawnsAndKings &&
          !createsTarget(us, them, ourBefore, theirBefore)) {
        e.undo.restore();
        if (inProgress) inProgress->reset(mark);
        pruned = true;
        continue;
      }
      v = -quiesce(them, us, -beta, -alphaNow, QsFirstDepth);
    } else if (e.movesSearched == 0) {
      // The first move gets the full window.
      v = -search(them, us, -beta, -alphaNow, u);
    } else {
      // Later moves get a null window, quiet harmless ones one ply less.
      const bool reduce = reductionsAllowed && !captured && !givesCheck && e.extension == 0 &&
                          lateMoveReducible(n, us, them, from, to, ownPassed, ourBefore, theirBefore);
      if (reduce) {
        e.reduced = 1;
        e.extension = -LateMoveReduction;
        const int reducedDepth = childDepth(depth, e);
        e.extension = 0;
        v = -search(them, us, -alphaNow - 1, -alphaNow, reducedDepth);
        e.reduced = 0;
      } else {
        v = -search(them, us, -alphaNow - 1, -alphaNow, u);
      }
      // A reduced or null-window result above alpha is searched again in full.
      if (v > alphaNow && (reduce || alphaNow + 1 < beta) && !stopped()) v = -search(them, us, -beta, -alphaNow, u);
    }
    // Unmake the move.
    e.undo.restore();
    ++e.movesSearched;
    if (inProgress) inProgress->reset(mark);
    // A stopped search leaves no half-searched result behind.
    if (stopped()) {
      if (ply_ > 3) tt_->remove(key);
      return best;
    }
    // Keep the best move; a capture that answers check and ends its child
    // at once with a draw, while the node hopes for more, marks a mate threat.
    if (v > best) {
      e.bestMove = m;
      if (v > alphaNow) {
        alphaNow = v;
        best = v;
      } else {
        best = v;
        if (list.size() <= 2 && inCheck && v >= -1 && v <= 1 && alphaNow > DrawnEvasionAlpha && u >= 0 &&
            nodes() - nodesBefore == 1 && captured) {
          n.mateThreat = true;
          if (n.extension < MateThreatExtension) n.extension = MateThreatExtension;
        }
      }
    }
  }

  // After the loop: mate or stalemate, a cutoff, or the node's result.
  if (e.movesSearched == 0) return inCheck ? ply_ - MateScore : 0;
  const Move cutMove = e.bestMove;
  if (best >= beta) {
    // A cutoff the enhanced transposition cutoff found at once teaches nothing.
    const bool quickCut = cutoffFound && e.movesSearched == 1 && eval >= beta && best <= beta + 1;
    if (!quickCut) rewardCutoff(e, us, cutMove, best, depth, inCheck, firstLegal, secondLegal);
    tt_->store(key, cutMove, best, ttWord(depth, TTLowerBound, n.mateThreat), ply_);
    return best;
  }
  history_[p.whiteToMove].noteNoCutoff();
  // With moves pruned by futility the node is worth at least about the margin.
  const int result = (pruned && best < eval) ? eval + FutilityMargin : best;
  tt_->store(key, e.bestMove, result, ttWord(depth, result > alpha ? TTExact : TTUpperBound, n.mateThreat), ply_);
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
      if (known->probe(p, &s, -beta, MateScore, depthOfChildren, &change) && s <= c) {
        refutation = m;
        c = s;
        undo.restore();
        continue;
      }
    }
    TTProbe probe;
    if (tt_->probe(p.hashKey, ply_, probe) && probe.score <= c && probe.bound() != TTLowerBound) {
      const int stored = probe.depth();
      if (probe.score < -MaxPlainScore ||
          (stored >= depthOfChildren && (!p.inCheck() || stored > depthOfChildren + CheckedCutoffDepthMargin))) {
        refutation = m;
        c = probe.score;
      } else if (probe.score < b && depthOfChildren <= stored + OnePly && !refutation) {
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
  int best = -WindowBound;
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
