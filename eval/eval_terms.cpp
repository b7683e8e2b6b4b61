// Evaluation terms worked out on the bitboards, attack maps and piece lists
// of the position and on its pawn entry: the piece terms, the endgame king
// terms, the mop-up score of pawnless endings and the flood counter.
#include <algorithm>

#include "board/attack_tables.h"
#include "board/keys.h"
#include "board/position.h"
#include "eval/bitboard_shifts.h"
#include "eval/eval_tables.h"
#include "eval/eval_weights.h"
#include "eval/evaluator.h"
#include "eval/side_view.h"

using namespace evalbits;
using namespace evaltables;
using namespace evalweights;

namespace {

inline int popCount(Bitboard b) { return AttackTables::popCount(b); }

constexpr Bitboard RookFiles = FileA | FileH;

// The square colour class of a square.
inline Bitboard colourOf(int s) { return (LightSquares & squareBit(s)) ? LightSquares : DarkSquares; }

// The pawn-entry sets of one side.
template <bool White>
inline Bitboard frontSpan(const PawnHashEntry& e) { return White ? e.whiteFrontSpan : e.blackFrontSpan; }
template <bool White>
inline Bitboard passedFiles(const PawnHashEntry& e) { return White ? e.whitePassedFiles : e.blackPassedFiles; }

// The three sums of the piece terms: both phases, middlegame only, endgame
// only.
struct PieceSums {
  int both = 0, mid = 0, end = 0;
};

// Outposts of one side's bishops or knights: on a square an own pawn
// attacks that no enemy pawn can ever attack (not beside the enemy front
// span). Adds the piece's table values (read at the side's table square)
// with its bonus for the distance to the enemy king to mid and end, in the
// side's view.
template <bool White, int Piece>
void outposts(const SideState& own, const SideState& enemy, Bitboard enemyFrontSpan, PieceSums* s) {
  static_assert(Piece == Bishop || Piece == Knight, "outposts are for minor pieces");
  const SquareTable& mgTable = Piece == Bishop ? BishopOutpostMg : KnightOutpostMg;
  const SquareTable& egTable = Piece == Bishop ? BishopOutpostEg : KnightOutpostEg;
  const int(&distance)[8] = Piece == Bishop ? BishopOutpostDistance : KnightOutpostDistance;
  const Bitboard safe = enemy.pawnAttacked & ~sideways(enemyFrontSpan);
  const int enemyKing = enemy.kingSquare();
  for (Bitboard b = own.pieces[Piece] & safe; b; b &= b - 1) {
    const int sq = AttackTables::lowestSquare(b);
    const int t = SideView<White>::tableSquare(sq);
    s->mid += mgTable[t] + distance[chebyshevDistance(sq, enemyKing)];
    s->end += egTable[t];
  }
}

// The larger count of target squares that a bishop sees along one of its
// two diagonals.
inline int diagonalPathCount(int s, Bitboard occupied, Bitboard targets) {
  return std::max(popCount(targets & AttackTables::diagA1H8Attacks(s, occupied)),
                  popCount(targets & AttackTables::diagA8H1Attacks(s, occupied)));
}

// Each side's terms below are in that side's own view (a bonus is positive
// for the side whose men earn it); own.attacked holds the enemy's attacks,
// enemy.attacked the own side's, enemy.pawnAttacked the squares own pawns
// attack.

// Two or more own pawns attacked by the enemy and not covered by an own pawn.
inline void weakPawns(const SideState& own, const SideState& enemy, PieceSums* s) {
  if (popCount(own.pieces[Pawn] & own.attacked & ~enemy.pawnAttacked) >= 2) {
    s->mid -= WeakPawnsMg;
    s->end -= WeakPawnsEg;
  }
}

// The squares in front of the own passed pawns: blocked by an enemy man or
// an own rook, free on the last two ranks, or covered there by the own side.
template <bool White>
void passedPawnPaths(const SideState& own, const SideState& enemy, Bitboard passedPawns, PieceSums* s) {
  using V = SideView<White>;
  const Bitboard front = V::ahead(passedPawns & own.pieces[Pawn]);
  if (!front) return;
  const Bitboard seventh = V::rank(7), eighth = V::rank(8);
  const Bitboard blocked = front & (enemy.pieces[0] | own.pieces[Rook]);
  s->both -= PassedPawnBlocked * popCount(blocked);
  if (blocked & seventh) s->both -= PassedPawnBlockedOnSeventh;
  const Bitboard freeSquares = front & (seventh | eighth) & ~enemy.pieces[0] & ~own.attacked;
  s->both += PassedPawnFreeSeventh * popCount(freeSquares & seventh) +
             PassedPawnFreeEighth * popCount(freeSquares & eighth);
  const Bitboard covered = front & (seventh | eighth) & enemy.attacked;
  s->both += PassedPawnCoveredSeventh * popCount(covered & seventh) +
             PassedPawnCoveredEighth * popCount(covered & eighth);
}

// Development (middlegame only): men blocking the own d- and e-pawns on the
// third rank, and minor pieces still at home, more so once the queen or a
// rook has gone forward.
template <bool White>
void development(const SideState& own, Bitboard ownFrontSpan, PieceSums* s) {
  using V = SideView<White>;
  s->mid -= CentrePawnBlockerMg * popCount(own.pieces[0] & (V::square(3, 3) | V::square(4, 3)) & ownFrontSpan);
  const Bitboard home = V::rank(1);
  const Bitboard bishops = own.pieces[Bishop], pawns = own.pieces[Pawn];
  int n = popCount(own.pieces[Knight] & home) + popCount(bishops & home & ~RookFiles);
  if ((bishops & V::square(0, 1)) && (pawns & V::square(1, 2))) ++n;
  if ((bishops & V::square(7, 1)) && (pawns & V::square(6, 2))) ++n;
  if (n > 0) {
    s->mid -= UndevelopedMinorMg * n;
    if (own.pieces[Queen] & V::ranks(3, 8)) s->mid -= UndevelopedMinorQueenOutMg * n;
    if (own.pieces[Rook] & V::ranks(4, 8)) s->mid -= UndevelopedMinorRookOutMg * n;
  }
}

// Bishops: outposts; trapped on a7/h7 behind an enemy pawn the enemy
// defends, or shut in on a1/h1 behind the own b2/g2 pawn; and in the
// endgame a lone bishop's fixed own pawns on its colour and the squares of
// enemy passed-pawn paths it watches.
template <bool White>
void bishopTerms(const Position& p, const SideState& own, const SideState& enemy, const PawnHashEntry& e,
                 bool endgameUsed, PieceSums* s) {
  using V = SideView<White>;
  const Bitboard bishops = own.pieces[Bishop];
  if (!bishops) return;
  outposts<White, Bishop>(own, enemy, frontSpan<!White>(e), s);
  const Bitboard ownPawns = own.pieces[Pawn], enemyPawns = enemy.pieces[Pawn];
  if ((bishops & V::square(0, 7)) && (enemyPawns & V::square(1, 6)) && (own.attacked & V::square(1, 6)))
    s->both -= TrappedBishop;
  if ((bishops & V::square(7, 7)) && (enemyPawns & V::square(6, 6)) && (own.attacked & V::square(6, 6)))
    s->both -= TrappedBishop;
  if ((bishops & V::square(0, 1)) && (ownPawns & V::square(1, 2))) {
    s->both -= ShutInBishop;
    if ((p.occupied & V::square(1, 3)) || (ownPawns & V::square(2, 3))) s->both -= ShutInBishopBlocked;
  }
  if ((bishops & V::square(7, 1)) && (ownPawns & V::square(6, 2))) {
    s->both -= ShutInBishop;
    if ((p.occupied & V::square(6, 3)) || (ownPawns & V::square(5, 3))) s->both -= ShutInBishopBlocked;
  }
  if (!endgameUsed) return;
  // Bad bishop: own pawns off the rook files that are backward or have a
  // pawn of either colour right in front, on the bishop's colour.
  if (own.counts[Bishop] == 1 && ownPawns) {
    const Bitboard fixed = ownPawns & ~RookFiles & (e.backwardPawns | V::behind(ownPawns | enemyPawns));
    s->end -= BadBishopPawnEg * popCount(fixed & colourOf(own.lists[Bishop][0]));
  }
  // Watching the paths of the enemy passed pawns.
  if (passedFiles<!White>(e)) {
    const Bitboard paths = passedFiles<!White>(e) & frontSpan<!White>(e);
    for (int i = 0; i < own.counts[Bishop]; ++i)
      s->end -= BishopPassedPathEg * diagonalPathCount(own.lists[Bishop][i], p.occupied, paths);
  }
}

template <bool White>
void knightOutposts(const SideState& own, const SideState& enemy, const PawnHashEntry& e, PieceSums* s) {
  if (!own.pieces[Knight]) return;
  outposts<White, Knight>(own, enemy, frontSpan<!White>(e), s);
}

// Rooks: on open files, behind own passed pawns, on the seventh rank (more
// with enemy pawns there under attack), and shut in by an uncastled king.
template <bool White>
void rookTerms(const Position& p, const SideState& own, const SideState& enemy, const PawnHashEntry& e,
               PieceSums* s) {
  using V = SideView<White>;
  const Bitboard rooks = own.pieces[Rook];
  if (!rooks) return;
  const int open = popCount(rooks & e.openFiles);
  s->mid += open * RookOpenMg[e.openFileCount];
  s->end += open * RookOpenEg[e.openFileCount];
  s->both += RookBehindPassedPawn * popCount(rooks & passedFiles<White>(e) & ~frontSpan<White>(e));
  if (rooks & V::rank(7)) {
    s->both += RookOnSeventh;
    if (popCount(enemy.pieces[Pawn] & V::rank(7) & enemy.attacked) >= 2) {
      s->mid += RookOnSeventhPawnsMg;
      s->end += RookOnSeventhPawnsEg;
    }
  }
  if ((rooks & (V::square(6, 1) | V::square(7, 1) | V::square(6, 2))) &&
      (own.pieces[King] & (V::square(5, 1) | V::square(6, 1))) && !(p.castlingRights & V::shortCastling)) {
    s->mid -= TrappedRookMg;
    s->end -= TrappedRookEg;
  }
}

// Every piece term of one side that is not already a difference of both.
template <bool White>
void sidePieceTerms(const Position& p, const SideState& own, const SideState& enemy, const PawnHashEntry& e,
                    bool middlegameUsed, bool endgameUsed, PieceSums* s) {
  weakPawns(own, enemy, s);
  if (e.passedPawns) passedPawnPaths<White>(own, enemy, e.passedPawns, s);
  if (middlegameUsed) development<White>(own, frontSpan<White>(e), s);
  bishopTerms<White>(p, own, enemy, e, endgameUsed, s);
  knightOutposts<White>(own, enemy, e, s);
  rookTerms<White>(p, own, enemy, e, s);
}

}  // namespace

void Evaluator::pieceTerms(int* mg, int* eg, bool middlegameUsed, bool endgameUsed) const {
  const Position& p = *position_;
  const SideState& W = p.white;
  const SideState& B = p.black;
  const PawnHashEntry& e = *currentPawn_;
  const Bitboard wp = W.pieces[Pawn], bp = B.pieces[Pawn];
  // W.attacked holds black's attacks, B.attacked white's.

  // Weak pawns, passed-pawn paths, development, bishops, knights, rooks:
  // black's own terms first, turned to white's view, white's own added
  // last. One set of sums for both keeps them in registers.
  PieceSums s;
  sidePieceTerms<false>(p, B, W, e, middlegameUsed, endgameUsed, &s);
  s.both = -s.both;
  s.mid = -s.mid;
  s.end = -s.end;

  // Pinned men other than pawns.
  if (p.pinned) {
    const int d = popCount(p.pinned & W.pieces[0] & ~wp) - popCount(p.pinned & B.pieces[0] & ~bp);
    s.mid -= PinnedPieceMg * d;
    s.end -= PinnedPieceEg * d;
  }

  // Hanging men, kings included: attacked and not defended.
  s.both += HangingMan *
            (popCount(B.pieces[0] & B.attacked & ~W.attacked) - popCount(W.pieces[0] & W.attacked & ~B.attacked));

  // Backward pawns under attack.
  if (e.backwardPawns) {
    const int b = popCount(e.backwardPawns & wp & W.attacked) - popCount(e.backwardPawns & bp & B.attacked);
    s.mid -= AttackedBackwardPawnMg * b;
    s.end -= AttackedBackwardPawnEg * b;
  }

  sidePieceTerms<true>(p, W, B, e, middlegameUsed, endgameUsed, &s);
  *mg += s.both + s.mid;
  *eg += s.both + s.end;
}

int floodDistance(Bitboard start, Bitboard target, Bitboard mask) {
  if (start & target) return 0;
  Bitboard reached = start;
  for (int step = 1; step <= 8; ++step) {
    reached = kingDilation(reached) & mask;
    if (reached & target) return step;
  }
  return 8;
}

namespace {

// Own men next to a king that faces an enemy queen, and own pawns among
// them, each count capped.
inline int kingCoverAgainstQueen(const SideState& own, Bitboard kingSteps) {
  const Bitboard cover = own.pieces[0] & kingSteps;
  return KingCoverAgainstQueen * std::min(KingCoverCountCap, popCount(cover)) +
         KingPawnCoverAgainstQueen * std::min(KingCoverCountCap, popCount(cover & own.pieces[Pawn]));
}

// One king's activity in the endgame, in its own side's view: pawns of
// either colour next to it and within reach of its safe steps, the room it
// has in two safe steps, and its rings that hold no loose pawn.
inline int kingActivity(const SideState& own, Bitboard kingSteps, Bitboard pawns, Bitboard loose) {
  const Bitboard safe = ~own.pieces[0] & ~own.attacked;
  const Bitboard firstSteps = kingSteps & safe;
  const Bitboard firstRing = kingDilation(firstSteps);
  const Bitboard secondSteps = firstRing & safe;
  const Bitboard secondRing = kingDilation(secondSteps);
  const int ringsWithoutLoosePawn = int(!(loose & kingSteps)) + int(!(loose & firstRing)) + int(!(loose & secondRing));
  return KingNearPawn * popCount(pawns & kingSteps) + KingRingPawn * popCount(pawns & firstRing) +
         KingRoomSquare * popCount(secondSteps) - KingRingWithoutLoosePawn * ringsWithoutLoosePawn;
}

}  // namespace

int Evaluator::endgameKingTerms() const {
  const Position& p = *position_;
  const SideState& W = p.white;
  const SideState& B = p.black;
  const Bitboard wp = W.pieces[Pawn], bp = B.pieces[Pawn];
  const int wk = W.kingSquare(), bk = B.kingSquare();
  const Bitboard kw = attackTables.kingAttacks[wk], kb = attackTables.kingAttacks[bk];

  // Centralisation.
  int score = KingCentralisation * (centreManhattan(bk) - centreManhattan(wk));

  // Cover around the king against an enemy queen.
  if (B.pieces[Queen]) score += kingCoverAgainstQueen(W, kw);
  if (W.pieces[Queen]) score -= kingCoverAgainstQueen(B, kb);

  // Which king gets to the squares in front of the passed pawns first, each
  // through squares free of its own pawns and of enemy attacks.
  const Bitboard passed = currentPawn_->passedPawns;
  if (passed) {
    const Bitboard whiteWay = ~wp & ~W.attacked;
    const Bitboard blackWay = ~bp & ~B.attacked;
    const auto race = [&](Bitboard front) {
      return PassedPawnKingRace *
             (floodDistance(B.pieces[King], front, blackWay) - floodDistance(W.pieces[King], front, whiteWay));
    };
    const Bitboard fw = north(passed & wp);
    if (fw) score += race(fw);
    const Bitboard fb = south(passed & bp);
    if (fb) score += race(fb);
  }

  // King activity; loose pawns are those not covered by a pawn of their
  // own colour.
  const Bitboard pawns = wp | bp;
  const Bitboard loose = (bp & ~W.pawnAttacked) | (wp & ~B.pawnAttacked);
  score += kingActivity(W, kw, pawns, loose) - kingActivity(B, kb, pawns, loose);
  return score;
}

int mopUpScore(int base, const SideState& strong, const SideState& weak) {
  const int k = weak.kingSquare();
  const int K = strong.kingSquare();
  // The weak king's distance from the centre box (0 inside it), and the
  // distance between the kings.
  return base + MopUpWeakKingCentreManhattan * centreManhattan(k) + MopUpWeakKingCentreChebyshev * centreChebyshev(k) -
         MopUpKingsManhattan * manhattanDistance(K, k) - MopUpKingsChebyshev * chebyshevDistance(K, k);
}
