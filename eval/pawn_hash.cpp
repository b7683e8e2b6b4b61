#include "eval/pawn_hash.h"

#include <cstring>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/bitboard_shifts.h"
#include "eval/eval_tables.h"
#include "eval/eval_weights.h"

using namespace evalbits;
using namespace evaltables;
using namespace evalweights;

void clearPawnHashEntry(PawnHashEntry& entry) { std::memset(&entry, 0, sizeof entry); }

namespace {

// Directions and tables of one pawn colour, so that one body scores both.
template <Color Us>
struct PawnGeometry {
  static constexpr Color Them = Us == White ? Black : White;
  static Bitboard ahead(Bitboard b) { return Us == White ? north(b) : south(b); }
  static Bitboard behind(Bitboard b) { return Us == White ? south(b) : north(b); }
  static Bitboard aheadFill(Bitboard b) { return Us == White ? northFill(b) : southFill(b); }
  static Bitboard behindFill(Bitboard b) { return Us == White ? southFill(b) : northFill(b); }
  static Bitboard attacks(Bitboard b) { return Us == White ? whitePawnAttacks(b) : blackPawnAttacks(b); }
  // The squares that have an own pawn two squares behind them.
  static Bitboard twoAheadOf(Bitboard b) { return Us == White ? b >> 16 : b << 16; }
  // The squares level with or behind row r.
  static Bitboard levelOrBehind(int row) { return Us == White ? ~Bitboard(0) << (8 * row) : ~Bitboard(0) >> (8 * (7 - row)); }
  static int tableSquare(int s) { return Us == White ? s : 63 - s; }
};

int popCount(Bitboard b) { return AttackTables::popCount(b); }

// What one side's pawns give: the scores in that side's view and its sets.
struct SideStructure {
  int mg = 0, eg = 0;
  Bitboard frontSpan = 0;
  Bitboard passedFiles = 0;
  Bitboard passed = 0;    // foremost passed pawn of each file
  Bitboard backward = 0;
};

// Scores the pawns `own` against the enemy pawns `enemy`: every per-side
// term of the pawn structure except the centre pawns.
template <Color Us>
SideStructure scoreSide(Bitboard own, Bitboard enemy) {
  using G = PawnGeometry<Us>;
  using E = PawnGeometry<G::Them>;
  SideStructure out;
  out.frontSpan = G::aheadFill(G::ahead(own));
  if (!own) return out;

  const Bitboard ownAttacks = G::attacks(own);
  const Bitboard enemyFront = E::aheadFill(E::ahead(enemy));
  const Bitboard isolated = own & ~sideways(fileFill(own));
  const Bitboard doubled = own & out.frontSpan;
  const Bitboard beyondSecond = own & G::aheadFill(G::ahead(doubled));
  const Bitboard rookFiles = FileA | FileH;

  // Square tables.
  for (Bitboard b = own; b; b &= b - 1) {
    const int s = G::tableSquare(AttackTables::lowestSquare(b));
    out.mg += PawnSquareMg[s];
    out.eg += PawnSquareEg[s];
  }

  // Isolated pawns.
  const int isolatedCost =
      IsolatedRookPawn * popCount(isolated & rookFiles) + IsolatedPawn * popCount(isolated & ~rookFiles);
  out.mg -= isolatedCost;
  out.eg -= isolatedCost;

  // Doubled pawns, every pawn beyond the second of a file, doubled and isolated.
  out.mg -= DoubledPawnMg * popCount(doubled) + PawnBeyondSecondOnFile * popCount(beyondSecond) +
            DoubledIsolatedPawnMg * popCount(doubled & isolated);
  out.eg -= DoubledPawnEg * popCount(doubled) + PawnBeyondSecondOnFile * popCount(beyondSecond) +
            DoubledIsolatedPawnEg * popCount(doubled & isolated);

  // Defended pawns with an own pawn two squares behind.
  if (doubled) {
    const int n = popCount(own & ownAttacks & G::twoAheadOf(own));
    out.mg += DefendedPawnWithPawnTwoBehindMg * n;
    out.eg += DefendedPawnWithPawnTwoBehindEg * n;
  }

  // Backward pawns: no own pawn beside or behind on the adjacent files,
  // and the square ahead attacked by enemy pawns (counted per attacker).
  for (Bitboard b = own; b; b &= b - 1) {
    const int s = AttackTables::lowestSquare(b);
    const Bitboard adjacent = sideways(fileMask(fileOf(s))) & G::levelOrBehind(rowOf(s));
    if (own & adjacent) continue;
    const int attackers = popCount(enemy & G::attacks(G::ahead(squareBit(s))));
    if (!attackers) continue;
    out.mg -= BackwardPawnMg * attackers;
    out.eg -= BackwardPawnEg * attackers;
    out.backward |= squareBit(s);
  }

  // Defended and undefended counts. The rearmost pawn is never defended
  // and set-up allows 8 pawns; the limits only guard hand-built positions.
  const int defended = popCount(own & ownAttacks);
  const int undefended = popCount(own) - defended;
  out.mg += DefendedPawnMg[defended < 7 ? defended : 7];
  out.eg += UndefendedPawnEg[undefended < 8 ? undefended : 8];

  // Passed pawns: the foremost of each file scores the passed tables.
  const Bitboard passed = own & ~(enemyFront | sideways(enemyFront));
  out.passedFiles = fileFill(passed);
  out.passed = passed & ~G::behindFill(G::behind(passed));
  for (Bitboard b = out.passed; b; b &= b - 1) {
    const int s = G::tableSquare(AttackTables::lowestSquare(b));
    out.mg += PassedSquareMg[s];
    out.eg += PassedSquareEg[s];
  }

  // Doubled pawns on a file that also holds an enemy pawn.
  const int contested = popCount(doubled & fileFill(enemy));
  out.mg -= ContestedDoubledPawn * contested;
  out.eg -= ContestedDoubledPawn * contested;
  return out;
}

// Majorities: in each island of files holding pawns outside the passed set,
// the side with more such pawns, none with an own pawn behind it on its
// file, scores the majority table for each of them (endgame only).
int majorityScore(Bitboard white, Bitboard black, Bitboard passed, Bitboard whiteFront, Bitboard blackFront) {
  const Bitboard w = white & ~passed, b = black & ~passed;
  const unsigned files = unsigned(fileFill(w | b) & Rank8);
  int eg = 0;
  int f = 0;
  while (f < 8) {
    if (!(files & (1u << f))) {
      ++f;
      continue;
    }
    Bitboard island = 0;
    while (f < 8 && (files & (1u << f))) island |= fileMask(f++);
    const Bitboard wi = w & island, bi = b & island;
    const int wc = popCount(wi), bc = popCount(bi);
    if (wc > bc && !(wi & whiteFront)) {
      for (Bitboard x = wi; x; x &= x - 1) eg += MajorityEg[AttackTables::lowestSquare(x)];
    } else if (bc > wc && !(bi & blackFront)) {
      for (Bitboard x = bi; x; x &= x - 1) eg -= MajorityEg[63 - AttackTables::lowestSquare(x)];
    }
  }
  return eg;
}

// Grows the start set through the allowed squares, orthogonal steps then
// diagonal steps, until it stops changing.
Bitboard flood(Bitboard start, Bitboard allowed) {
  Bitboard reached = start;
  for (;;) {
    Bitboard next = reached | (orthogonalNeighbours(reached) & allowed);
    next |= diagonalNeighbours(next) & allowed;
    if (next == reached) return reached;
    reached = next;
  }
}

}  // namespace

Bitboard barrierRegion(Bitboard barrier, int rowToReach) {
  // Without a barrier the first flood always crosses the board.
  if (!barrier) return 0;
  const Bitboard zone = orthogonalDilation(barrier);
  const Bitboard mask = ~(zone | ((FileA | FileH) & orthogonalNeighbours(zone))) | Rank1 | Rank8;
  const Bitboard target = rowMask(rowToReach);
  const Bitboard start = rowMask(7 - rowToReach);
  const Bitboard first = flood(start, mask);
  if (first & target) return 0;
  const Bitboard second = flood(target, ~barrier);
  return orthogonalDilation(first & second);
}

void computePawnStructure(const Position& position, PawnHashEntry& entry) {
  const Bitboard wp = position.white.pieces[Pawn];
  const Bitboard bp = position.black.pieces[Pawn];

  // Per-side terms; white's are added, black's subtracted.
  const SideStructure w = scoreSide<White>(wp, bp);
  const SideStructure b = scoreSide<Black>(bp, wp);
  entry.mg = w.mg - b.mg;
  entry.eg = w.eg - b.eg;
  entry.whiteFrontSpan = w.frontSpan;
  entry.blackFrontSpan = b.frontSpan;
  entry.whitePassedFiles = w.passedFiles;
  entry.blackPassedFiles = b.passedFiles;
  entry.passedPawns = w.passed | b.passed;
  entry.backwardPawns = w.backward | b.backward;

  // Centre pawns (middlegame only).
  const Bitboard d4e4 = squareBit(makeSquare(3, 4)) | squareBit(makeSquare(4, 4));
  const Bitboard d5e5 = squareBit(makeSquare(3, 5)) | squareBit(makeSquare(4, 5));
  if ((wp & d4e4) == d4e4 && !(bp & d5e5)) entry.mg += CentrePawnsMg;
  if ((bp & d5e5) == d5e5 && !(wp & d4e4)) entry.mg -= CentrePawnsMg;

  // Open files.
  entry.openFiles = ~fileFill(wp | bp);
  entry.openFileCount = popCount(entry.openFiles & Rank8);

  // Majorities.
  entry.eg += majorityScore(wp, bp, entry.passedPawns, w.frontSpan, b.frontSpan);

  // Barriers. Rams: white pawns blocked by a black pawn, not attacked by
  // black pawns; kept when that black pawn is not attacked by white pawns.
  const Bitboard rams = wp & south(bp) & ~blackPawnAttacks(bp);
  const Bitboard blockers = north(rams) & bp & ~whitePawnAttacks(wp);
  const Bitboard keptRams = rams & south(blockers);
  const Bitboard whiteBase = keptRams | (w.backward & wp);
  const Bitboard whiteBarrier = whiteBase | (south(whiteBase) & wp) | blackPawnAttacks(blockers);
  const Bitboard blackBase = blockers | (b.backward & bp);
  const Bitboard blackBarrier = blackBase | (north(blackBase) & bp) | whitePawnAttacks(keptRams);
  entry.whiteBarrierRegion = barrierRegion(whiteBarrier, 7);
  entry.blackBarrierRegion = barrierRegion(blackBarrier, 0);
}
