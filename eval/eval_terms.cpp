// Evaluation terms worked out on the bitboards, attack maps and piece lists
// of the position and on its pawn entry: the piece terms, the endgame king
// terms, the mop-up score of pawnless endings and the flood counter.
#include <algorithm>

#include "board/attack_tables.h"
#include "board/keys.h"
#include "board/position.h"
#include "eval/bitboard_shifts.h"
#include "eval/eval_tables.h"
#include "eval/evaluator.h"

using namespace evalbits;
using namespace evaltables;

namespace {

inline int popCount(Bitboard b) { return AttackTables::popCount(b); }

constexpr Bitboard bit(int file, int rank) { return squareBit(makeSquare(file, rank)); }

constexpr Bitboard Rank1Mask = rankMask(1), Rank2Mask = rankMask(2), Rank7Mask = rankMask(7), Rank8Mask = rankMask(8);
constexpr Bitboard RookFiles = FileA | FileH;

// The square colour class of a square.
inline Bitboard colourOf(int s) { return (LightSquares & squareBit(s)) ? LightSquares : DarkSquares; }

// Outposts of one side's minor pieces: on a square an own pawn attacks that
// no enemy pawn can ever attack (not beside the enemy front span). Adds the
// table values (read at tableSquare(s)) with the distance bonus to mid and
// end, in the side's view.
template <typename TableSquare>
void outposts(const int8_t* list, int count, Bitboard ownPawnCover, Bitboard enemyFrontSpan, int enemyKing,
              const SquareTable& mgTable, const SquareTable& egTable, const int (&distance)[8],
              TableSquare tableSquare, int* mid, int* end) {
  const Bitboard safe = ownPawnCover & ~sideways(enemyFrontSpan);
  for (int i = 0; i < count; ++i) {
    const int s = list[i];
    if (!(safe & squareBit(s))) continue;
    const int t = tableSquare(s);
    *mid += mgTable[t] + distance[chebyshevDistance(s, enemyKing)];
    *end += egTable[t];
  }
}

// The larger count of target squares that a bishop sees along one of its
// two diagonals.
inline int diagonalPathCount(int s, Bitboard occupied, Bitboard targets) {
  return std::max(popCount(targets & AttackTables::diagA1H8Attacks(s, occupied)),
                  popCount(targets & AttackTables::diagA8H1Attacks(s, occupied)));
}

}  // namespace

void Evaluator::pieceTerms(int* mg, int* eg, bool middlegameUsed, bool endgameUsed) const {
  const Position& p = *position_;
  const SideState& W = p.white;
  const SideState& B = p.black;
  const PawnHashEntry& e = *currentPawn_;
  const Bitboard wp = W.pieces[Pawn], bp = B.pieces[Pawn];
  const int wk = W.kingSquare(), bk = B.kingSquare();
  // W.attacked holds black's attacks, B.attacked white's; B.pawnAttacked the
  // squares white pawns attack, W.pawnAttacked those black pawns attack.
  int both = 0, mid = 0, end = 0;

  // 1. Pinned pieces.
  if (p.pinned) {
    const int d = popCount(p.pinned & W.pieces[0] & ~wp) - popCount(p.pinned & B.pieces[0] & ~bp);
    mid -= 114 * d;
    end -= 123 * d;
  }

  // 2. Hanging men, kings included.
  both += 68 * (popCount(B.pieces[0] & B.attacked & ~W.attacked) - popCount(W.pieces[0] & W.attacked & ~B.attacked));

  // 3. Weak pawns: two or more attacked and not covered by an own pawn.
  if (popCount(wp & W.attacked & ~B.pawnAttacked) >= 2) {
    mid -= 36;
    end -= 77;
  }
  if (popCount(bp & B.attacked & ~W.pawnAttacked) >= 2) {
    mid += 36;
    end += 77;
  }

  if (e.passedPawns) {
    // 4. White passed pawns, by the squares in front of them.
    const Bitboard wf = north(e.passedPawns & wp);
    if (wf) {
      const Bitboard blocked = wf & (B.pieces[0] | W.pieces[Rook]);
      both -= 69 * popCount(blocked);
      if (blocked & Rank7Mask) both -= 45;
      const Bitboard freeSquares = wf & (Rank7Mask | Rank8Mask) & ~B.pieces[0] & ~W.attacked;
      both += 134 * popCount(freeSquares & Rank7Mask) + 254 * popCount(freeSquares & Rank8Mask);
      const Bitboard covered = wf & (Rank7Mask | Rank8Mask) & B.attacked;
      both += 146 * popCount(covered & Rank7Mask) + 500 * popCount(covered & Rank8Mask);
    }
    // 5. Black passed pawns, mirrored.
    const Bitboard bf = south(e.passedPawns & bp);
    if (bf) {
      const Bitboard blocked = bf & (W.pieces[0] | B.pieces[Rook]);
      both += 69 * popCount(blocked);
      if (blocked & Rank2Mask) both += 45;
      const Bitboard freeSquares = bf & (Rank2Mask | Rank1Mask) & ~W.pieces[0] & ~B.attacked;
      both -= 134 * popCount(freeSquares & Rank2Mask) + 254 * popCount(freeSquares & Rank1Mask);
      const Bitboard covered = bf & (Rank2Mask | Rank1Mask) & W.attacked;
      both -= 146 * popCount(covered & Rank2Mask) + 500 * popCount(covered & Rank1Mask);
    }
  }

  // 6. Development (middlegame only).
  if (middlegameUsed) {
    // Men blocking the d- and e-pawns.
    mid -= 35 * popCount(W.pieces[0] & (bit(3, 3) | bit(4, 3)) & e.whiteFrontSpan);
    mid += 35 * popCount(B.pieces[0] & (bit(3, 6) | bit(4, 6)) & e.blackFrontSpan);
    // Minor pieces still at home.
    int n = popCount(W.pieces[Knight] & Rank1Mask) + popCount(W.pieces[Bishop] & Rank1Mask & ~RookFiles);
    if ((W.pieces[Bishop] & bit(0, 1)) && (wp & bit(1, 2))) ++n;
    if ((W.pieces[Bishop] & bit(7, 1)) && (wp & bit(6, 2))) ++n;
    if (n > 0) {
      mid -= 72 * n;
      if (W.pieces[Queen] & rankRange(3, 8)) mid -= 14 * n;
      if (W.pieces[Rook] & rankRange(4, 8)) mid -= 8 * n;
    }
    n = popCount(B.pieces[Knight] & Rank8Mask) + popCount(B.pieces[Bishop] & Rank8Mask & ~RookFiles);
    if ((B.pieces[Bishop] & bit(0, 8)) && (bp & bit(1, 7))) ++n;
    if ((B.pieces[Bishop] & bit(7, 8)) && (bp & bit(6, 7))) ++n;
    if (n > 0) {
      mid += 72 * n;
      if (B.pieces[Queen] & rankRange(1, 6)) mid += 14 * n;
      if (B.pieces[Rook] & rankRange(1, 5)) mid += 8 * n;
    }
  }

  // 7. White bishops.
  if (W.pieces[Bishop]) {
    outposts(W.lists[Bishop], W.counts[Bishop], B.pawnAttacked, e.blackFrontSpan, bk, BishopOutpostMg,
             BishopOutpostEg, BishopOutpostDistance, [](int s) { return s; }, &mid, &end);
    // Trapped on a7/h7 behind a defended pawn, or shut in on a1/h1.
    const Bitboard bishops = W.pieces[Bishop];
    if ((bishops & bit(0, 7)) && (bp & bit(1, 6)) && (W.attacked & bit(1, 6))) both -= 980;
    if ((bishops & bit(7, 7)) && (bp & bit(6, 6)) && (W.attacked & bit(6, 6))) both -= 980;
    if ((bishops & bit(0, 1)) && (wp & bit(1, 2))) {
      both -= 77;
      if ((p.occupied & bit(1, 3)) || (wp & bit(2, 3))) both -= 575;
    }
    if ((bishops & bit(7, 1)) && (wp & bit(6, 2))) {
      both -= 77;
      if ((p.occupied & bit(6, 3)) || (wp & bit(5, 3))) both -= 575;
    }
    if (endgameUsed) {
      // Bad bishop: fixed or backward own pawns on its colour.
      if (W.counts[Bishop] == 1 && wp) {
        const Bitboard fixed = wp & ~RookFiles & (e.backwardPawns | south(wp | bp));
        end -= 25 * popCount(fixed & colourOf(W.lists[Bishop][0]));
      }
      // Watching the paths of black passed pawns.
      if (e.blackPassedFiles) {
        const Bitboard paths = e.blackPassedFiles & e.blackFrontSpan;
        for (int i = 0; i < W.counts[Bishop]; ++i) end -= 25 * diagonalPathCount(W.lists[Bishop][i], p.occupied, paths);
      }
    }
  }

  // 8. Black bishops, mirrored.
  if (B.pieces[Bishop]) {
    int bMid = 0, bEnd = 0;
    outposts(B.lists[Bishop], B.counts[Bishop], W.pawnAttacked, e.whiteFrontSpan, wk, BishopOutpostMg,
             BishopOutpostEg, BishopOutpostDistance, [](int s) { return 63 - s; }, &bMid, &bEnd);
    mid -= bMid;
    end -= bEnd;
    const Bitboard bishops = B.pieces[Bishop];
    if ((bishops & bit(0, 2)) && (wp & bit(1, 3)) && (B.attacked & bit(1, 3))) both += 980;
    if ((bishops & bit(7, 2)) && (wp & bit(6, 3)) && (B.attacked & bit(6, 3))) both += 980;
    if ((bishops & bit(0, 8)) && (bp & bit(1, 7))) {
      both += 77;
      if ((p.occupied & bit(1, 6)) || (bp & bit(2, 6))) both += 575;
    }
    if ((bishops & bit(7, 8)) && (bp & bit(6, 7))) {
      both += 77;
      if ((p.occupied & bit(6, 6)) || (bp & bit(5, 6))) both += 575;
    }
    if (endgameUsed) {
      if (B.counts[Bishop] == 1 && bp) {
        const Bitboard fixed = bp & ~RookFiles & (e.backwardPawns | north(wp | bp));
        end += 25 * popCount(fixed & colourOf(B.lists[Bishop][0]));
      }
      if (e.whitePassedFiles) {
        const Bitboard paths = e.whitePassedFiles & e.whiteFrontSpan;
        for (int i = 0; i < B.counts[Bishop]; ++i) end += 25 * diagonalPathCount(B.lists[Bishop][i], p.occupied, paths);
      }
    }
  }

  // 9. Knight outposts.
  if (W.pieces[Knight])
    outposts(W.lists[Knight], W.counts[Knight], B.pawnAttacked, e.blackFrontSpan, bk, KnightOutpostMg,
             KnightOutpostEg, KnightOutpostDistance, [](int s) { return s; }, &mid, &end);
  if (B.pieces[Knight]) {
    int bMid = 0, bEnd = 0;
    outposts(B.lists[Knight], B.counts[Knight], W.pawnAttacked, e.whiteFrontSpan, wk, KnightOutpostMg,
             KnightOutpostEg, KnightOutpostDistance, [](int s) { return 63 - s; }, &bMid, &bEnd);
    mid -= bMid;
    end -= bEnd;
  }

  // 10. Backward pawns under attack.
  if (e.backwardPawns) {
    const int b = popCount(e.backwardPawns & wp & W.attacked) - popCount(e.backwardPawns & bp & B.attacked);
    mid -= 29 * b;
    end -= 50 * b;
  }

  // 11. White rooks.
  if (W.pieces[Rook]) {
    const Bitboard rooks = W.pieces[Rook];
    const int open = popCount(rooks & e.openFiles);
    mid += open * RookOpenMg[e.openFileCount];
    end += open * RookOpenEg[e.openFileCount];
    both += 123 * popCount(rooks & e.whitePassedFiles & ~e.whiteFrontSpan);
    if (rooks & Rank7Mask) {
      both += 91;
      if (popCount(bp & Rank7Mask & B.attacked) >= 2) {
        mid += 30;
        end += 100;
      }
    }
    if ((rooks & (bit(6, 1) | bit(7, 1) | bit(6, 2))) && (W.pieces[King] & (bit(5, 1) | bit(6, 1))) &&
        !(p.castlingRights & WhiteShort)) {
      mid -= 74;
      end -= 74;
    }
  }

  // 12. Black rooks, mirrored.
  if (B.pieces[Rook]) {
    const Bitboard rooks = B.pieces[Rook];
    const int open = popCount(rooks & e.openFiles);
    mid -= open * RookOpenMg[e.openFileCount];
    end -= open * RookOpenEg[e.openFileCount];
    both -= 123 * popCount(rooks & e.blackPassedFiles & ~e.blackFrontSpan);
    if (rooks & Rank2Mask) {
      both -= 91;
      if (popCount(wp & Rank2Mask & W.attacked) >= 2) {
        mid -= 30;
        end -= 100;
      }
    }
    if ((rooks & (bit(6, 8) | bit(7, 8) | bit(6, 7))) && (B.pieces[King] & (bit(5, 8) | bit(6, 8))) &&
        !(p.castlingRights & BlackShort)) {
      mid += 74;
      end += 74;
    }
  }

  // 13. Into the two sums.
  *mg += both + mid;
  *eg += both + end;
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

int Evaluator::endgameKingTerms() const {
  const Position& p = *position_;
  const SideState& W = p.white;
  const SideState& B = p.black;
  const Bitboard wp = W.pieces[Pawn], bp = B.pieces[Pawn];
  const int wk = W.kingSquare(), bk = B.kingSquare();
  const Bitboard kw = attackTables.kingAttacks[wk], kb = attackTables.kingAttacks[bk];

  // 1. Centralisation.
  int score = 22 * (centreManhattan(bk) - centreManhattan(wk));

  // 2.-3. Cover around the king against an enemy queen.
  if (B.pieces[Queen]) {
    const Bitboard z = W.pieces[0] & kw;
    score += 19 * std::min(2, popCount(z)) + 7 * std::min(2, popCount(z & wp));
  }
  if (W.pieces[Queen]) {
    const Bitboard z = B.pieces[0] & kb;
    score -= 19 * std::min(2, popCount(z)) + 7 * std::min(2, popCount(z & bp));
  }

  // 4. Which king gets to the squares in front of the passed pawns first.
  const Bitboard passed = currentPawn_->passedPawns;
  if (passed) {
    const Bitboard whiteWay = ~wp & ~W.attacked;
    const Bitboard blackWay = ~bp & ~B.attacked;
    const Bitboard fw = north(passed & wp);
    if (fw)
      score += 44 * (floodDistance(B.pieces[King], fw, blackWay) - floodDistance(W.pieces[King], fw, whiteWay));
    const Bitboard fb = south(passed & bp);
    if (fb)
      score += 44 * (floodDistance(B.pieces[King], fb, blackWay) - floodDistance(W.pieces[King], fb, whiteWay));
  }

  // 5. King activity: pawns near each king and the room it has.
  const Bitboard pawns = wp | bp;
  const Bitboard ew = ~W.pieces[0] & ~W.attacked;
  const Bitboard r1w = kw & ew;
  const Bitboard d1w = kingDilation(r1w);
  const Bitboard r2w = d1w & ew;
  const Bitboard d2w = kingDilation(r2w);
  const Bitboard eb = ~B.pieces[0] & ~B.attacked;
  const Bitboard r1b = kb & eb;
  const Bitboard d1b = kingDilation(r1b);
  const Bitboard r2b = d1b & eb;
  const Bitboard d2b = kingDilation(r2b);
  // Pawns not covered by a pawn of their own colour.
  const Bitboard loose = (bp & ~W.pawnAttacked) | (wp & ~B.pawnAttacked);
  score += 24 * (popCount(pawns & kw) - popCount(pawns & kb));
  score += 24 * (popCount(pawns & d1w) - popCount(pawns & d1b));
  score += 3 * (popCount(r2w) - popCount(r2b));
  score -= 17 * (int(!(loose & kw)) - int(!(loose & kb)) + int(!(loose & d1w)) - int(!(loose & d1b)) +
                 int(!(loose & d2w)) - int(!(loose & d2b)));

  // 6. The sum.
  return score;
}

int mopUpScore(int base, const SideState& strong, const SideState& weak) {
  const int k = weak.kingSquare();
  const int K = strong.kingSquare();
  // 1. The weak king's distance from the centre box (0 inside it).
  const int m1 = centreManhattan(k), c1 = centreChebyshev(k);
  // 2. The distance between the kings.
  const int m2 = manhattanDistance(K, k), c2 = chebyshevDistance(K, k);
  // 3. The sum.
  return base + 62 * m1 + 21 * c1 - 42 * m2 - 16 * c2;
}
