// The positional evaluation: mobility, space, pawn structure, tempo, piece
// terms, king safety with shelter, and the blend of the middlegame and
// endgame sums by the game phase.
#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/bitboard_shifts.h"
#include "eval/eval_tables.h"
#include "eval/evaluator.h"

using namespace evalbits;
using namespace evaltables;

namespace {

inline int popCount(Bitboard b) { return AttackTables::popCount(b); }

// 1 for a single square, 2 for more (the set must not be empty).
inline int oneOrTwo(Bitboard b) { return (b & (b - 1)) ? 2 : 1; }

constexpr Bitboard boxMask(int fileFrom, int fileTo, int rankFrom, int rankTo) {
  Bitboard b = 0;
  for (int f = fileFrom; f <= fileTo; ++f)
    for (int r = rankFrom; r <= rankTo; ++r) b |= squareBit(makeSquare(f, r));
  return b;
}

// Space: the enemy half plus a central box in front of the own half.
constexpr Bitboard WhiteSpace = rankRange(5, 8) | boxMask(2, 5, 3, 4);  // c3-f4
constexpr Bitboard BlackSpace = rankRange(1, 4) | boxMask(2, 5, 5, 6);  // c5-f6

constexpr Bitboard bit(int file, int rank) { return squareBit(makeSquare(file, rank)); }

// The shelter scale of one key square: 0 with an own pawn on it, -2 with a
// defended own pawn one square further, else -17; 7 less when neither side
// square holds an own pawn.
inline int shelterScale(Bitboard key, Bitboard further, Bitboard sides, Bitboard pawns, Bitboard pawnDefended) {
  int v;
  if (key & pawns)
    v = 0;
  else if (further & pawns & pawnDefended)
    v = -2;
  else
    v = -17;
  if (!(sides & pawns)) v -= 7;
  return v;
}

// The castled shelter blended with the present one; the weights depend on
// whether the castling path is clear (empty and not attacked).
inline int blendShort(int castled, int present, bool clear) {
  if (castled <= present) return present;
  return clear ? (37 * castled - 5 * present) / 32 : (36 * castled - 4 * present) / 32;
}
inline int blendLong(int castled, int present, bool clear) {
  if (castled <= present) return present;
  return clear ? (28 * castled + 4 * present) / 32 : (22 * castled + 10 * present) / 32;
}
inline int blendBoth(int shortValue, int longValue, int present, bool shortClear, bool longClear) {
  if (shortValue < longValue) {
    if (longValue <= present) return present;
    return longClear ? (25 * longValue + 7 * present) / 32 : (19 * longValue + 13 * present) / 32;
  }
  if (shortValue <= present) return present;
  return shortClear ? (41 * shortValue - 9 * present) / 32 : (39 * shortValue - 7 * present) / 32;
}

inline bool castlingPathClear(Bitboard squares, const Position& p, const SideState& side) {
  return !(squares & p.occupied) && !(squares & side.attacked);
}

// One king's safety value before shelter, in its own side's view.
int kingDanger(const Position& p, const SideState& own, const SideState& enemy, int tableSquare) {
  const int king = own.kingSquare();
  // 1. King square.
  int d = KingSquare[tableSquare];
  // 2. Zone squares the enemy attacks and own pawns do not cover.
  d -= KingZone[popCount(KingZone5x5[king] & own.attacked & ~enemy.pawnAttacked)];

  // 3. Only when the enemy attacks a square next to the king.
  const Bitboard steps = attackTables.kingAttacks[king];
  const Bitboard hit = steps & own.attacked;
  if (!hit) return d;
  // 3.1 No flight square at all.
  if (!(steps & ~(own.pieces[0] | own.attacked))) d -= NoFlight[popCount(steps & own.pieces[Pawn])];
  // 3.2 Squares the enemy attacks twice and the own side does not.
  const Bitboard doubly = steps & own.attackedTwice & ~enemy.attackedTwice;
  const int level = doubly ? oneOrTwo(doubly) : 0;
  if (doubly & east(doubly)) d -= 71;
  if (doubly & north(doubly)) d -= 26;
  // 3.3 Attacked steps.
  d -= oneOrTwo(hit) * AttackedStepsWeight[level];
  // 3.4 Own men attacked and not defended.
  const Bitboard hanging = own.pieces[0] & own.attacked & ~enemy.attacked;
  if (hanging) d -= oneOrTwo(hanging) * HangingWeight[level];
  // 3.5 Pinned own men.
  const Bitboard pinned = p.pinned & own.pieces[0];
  if (pinned) d -= oneOrTwo(pinned) * PinnedWeight[level];
  // 3.6 Safe squares from which an enemy queen would reach the king's steps.
  if (enemy.pieces[Queen]) {
    const Bitboard targets = steps & own.attacked & ~enemy.attackedTwice;
    d -= safeQueenChecks(enemy, p.occupied, targets) * QueenApproachWeight[level];
  }
  return d;
}

}  // namespace

void sideMobility(const SideState& own, const SideState& other, Bitboard occupancy, int* mg, int* eg) {
  const Bitboard occ = occupancy & ~own.pieces[Queen];
  // Queens: safe empty squares and enemy queens.
  const Bitboard queenTargets = (~own.pieces[0] & ~own.attacked) | other.pieces[Queen];
  for (int i = 0; i < own.counts[Queen]; ++i) {
    const int n = popCount(AttackTables::queenAttacks(own.lists[Queen][i], occ) & queenTargets);
    *mg += QueenMobilityMg[n];
    *eg += QueenMobilityEg[n];
  }
  // Minor pieces and rooks: squares not own, not covered by enemy pawns,
  // not attacked by the enemy unless the own side attacks them twice; and
  // enemy men other than pawns.
  const Bitboard targets =
      (~own.pieces[0] & ~own.pawnAttacked & (~own.attacked | other.attackedTwice)) |
      (other.pieces[0] & ~other.pieces[Pawn]);
  for (int i = 0; i < own.counts[Rook]; ++i) {
    const int n = popCount(AttackTables::rookAttacks(own.lists[Rook][i], occ) & targets);
    *mg += RookMobilityMg[n];
    *eg += RookMobilityEg[n];
  }
  for (int i = 0; i < own.counts[Bishop]; ++i) {
    const int n = popCount(AttackTables::bishopAttacks(own.lists[Bishop][i], occ) & targets);
    *mg += BishopMobilityMg[n];
    *eg += BishopMobilityEg[n];
  }
  for (int i = 0; i < own.counts[Knight]; ++i) {
    const int n = popCount(attackTables.knightAttacks[own.lists[Knight][i]] & targets);
    *mg += KnightMobilityMg[n];
    *eg += KnightMobilityEg[n];
  }
}

int safeQueenChecks(const SideState& own, Bitboard occupancy, Bitboard squares) {
  if (!own.pieces[Queen] || !squares) return 0;
  Bitboard reach = 0;
  for (int i = 0; i < own.counts[Queen]; ++i) reach |= AttackTables::queenAttacks(own.lists[Queen][i], occupancy);
  // own.attacked holds the enemy's attacks.
  const Bitboard safe = reach & ~own.pieces[0] & ~own.attacked;
  if (!safe) return 0;
  Bitboard from = 0;
  for (Bitboard b = squares; b; b &= b - 1)
    from |= AttackTables::queenAttacks(AttackTables::lowestSquare(b), occupancy);
  const Bitboard checks = safe & from;
  return checks ? oneOrTwo(checks) : 0;
}

void Evaluator::mobilityAndSpace(int* mg, int* eg) const {
  const Position& p = *position_;
  // 2. Mobility: white's added, black's subtracted.
  int whiteMg = 0, whiteEg = 0, blackMg = 0, blackEg = 0;
  sideMobility(p.white, p.black, p.occupied, &whiteMg, &whiteEg);
  sideMobility(p.black, p.white, p.occupied, &blackMg, &blackEg);
  *mg += whiteMg - blackMg;
  *eg += whiteEg - blackEg;
  // 3. Space: black.attacked holds white's attacks and the other way round.
  const int space = popCount(p.black.attacked & WhiteSpace) - popCount(p.white.attacked & BlackSpace);
  *mg += 4 * space;
  *eg += 10 * space;
}

int Evaluator::positional(int materialScore) {
  const Position& p = *position_;
  // 1. Both sums start at the material score.
  int mg = materialScore, eg = materialScore;
  // 2.-3. Mobility and space.
  mobilityAndSpace(&mg, &eg);
  // 4. Pawn structure.
  const PawnHashEntry* entry = pawnStructure();
  mg += entry->mg;
  eg += entry->eg;
  // 5. Tempo.
  if (p.whiteToMove) {
    mg += 33;
    eg += 3;
  } else {
    mg -= 33;
    eg -= 3;
  }
  // 6. Phase: 0 up to a total of 28063, 256 from 44384 on.
  const int phase = (p.white.material + p.black.material - 28000) / 64;
  // 7. Piece terms.
  pieceTerms(&mg, &eg, phase > 0, phase < 256);
  // 8. Blend, each king term only where it has weight.
  if (phase <= 0) return eg + endgameKingTerms();
  if (phase >= 256) return mg + kingSafety();
  mg += kingSafety();
  eg += endgameKingTerms();
  return (eg * (256 - phase) + mg * phase) / 256;
}

int Evaluator::kingSafety() const {
  const Position& p = *position_;
  const SideState& w = p.white;
  const SideState& b = p.black;
  // 1.-4. Each king's value in its own side's view.
  int d = kingDanger(p, w, b, w.kingSquare());
  int u = kingDanger(p, b, w, 63 - b.kingSquare());

  // 5. Shelter by the castling rights.
  switch (p.castlingRights & (WhiteShort | WhiteLong)) {
    case 0: d += whiteShelter(w.pieces[King]); break;
    case WhiteShort: d += whiteShelterShort(); break;
    case WhiteLong: d += whiteShelterLong(); break;
    default: d += whiteShelterBoth(); break;
  }
  switch (p.castlingRights & (BlackShort | BlackLong)) {
    case 0: u += blackShelter(b.pieces[King]); break;
    case BlackShort: u += blackShelterShort(); break;
    case BlackLong: u += blackShelterLong(); break;
    default: u += blackShelterBoth(); break;
  }

  // 6. Attacking material, more when a passed pawn is close to promoting.
  const Bitboard passed = currentPawn_->passedPawns;
  int fb = b.material - 1000 * b.counts[Pawn] - 6150;
  if (d < 0 && (passed & b.pieces[Pawn] & (rankMask(3) | rankMask(2)))) fb += 4000;
  int fw = w.material - 1000 * w.counts[Pawn] - 6150;
  if (u < 0 && (passed & w.pieces[Pawn] & (rankMask(6) | rankMask(7)))) fw += 4000;

  // 7. Scale each value by the material that attacks it.
  return (fb >= 1 ? d * fb / 4096 : 0) - (fw >= 1 ? u * fw / 4096 : 0);
}

int Evaluator::whiteShelter(Bitboard king) const {
  const Bitboard pawns = position_->white.pieces[Pawn];
  const Bitboard f1 = north(king);
  return shelterScale(f1, north(f1), sideways(f1), pawns, whitePawnAttacks(pawns));
}

int Evaluator::blackShelter(Bitboard king) const {
  const Bitboard pawns = position_->black.pieces[Pawn];
  const Bitboard f1 = south(king);
  return shelterScale(f1, south(f1), sideways(f1), pawns, blackPawnAttacks(pawns));
}

namespace {

// The shelter a king would have after castling, by the castled king's key
// square (g2, c2 for white; g7, c7 for black).
inline int castledShelter(Bitboard key, Bitboard further, Bitboard pawns, Bitboard defended) {
  return shelterScale(key, further, sideways(key), pawns, defended);
}

}  // namespace

int Evaluator::whiteShelterShort() const {
  const Position& p = *position_;
  const Bitboard pawns = p.white.pieces[Pawn];
  const int present = whiteShelter(p.white.pieces[King]);
  const int castled = castledShelter(bit(6, 2), bit(6, 3), pawns, whitePawnAttacks(pawns));
  return blendShort(castled, present, castlingPathClear(p.white.shortEmpty, p, p.white));
}

int Evaluator::whiteShelterLong() const {
  const Position& p = *position_;
  const Bitboard pawns = p.white.pieces[Pawn];
  const int present = whiteShelter(p.white.pieces[King]);
  const int castled = castledShelter(bit(2, 2), bit(2, 3), pawns, whitePawnAttacks(pawns));
  return blendLong(castled, present, castlingPathClear(p.white.longEmpty, p, p.white));
}

int Evaluator::whiteShelterBoth() const {
  const Position& p = *position_;
  const Bitboard pawns = p.white.pieces[Pawn];
  const Bitboard defended = whitePawnAttacks(pawns);
  const int present = whiteShelter(p.white.pieces[King]);
  return blendBoth(castledShelter(bit(6, 2), bit(6, 3), pawns, defended),
                   castledShelter(bit(2, 2), bit(2, 3), pawns, defended), present,
                   castlingPathClear(p.white.shortEmpty, p, p.white), castlingPathClear(p.white.longEmpty, p, p.white));
}

int Evaluator::blackShelterShort() const {
  const Position& p = *position_;
  const Bitboard pawns = p.black.pieces[Pawn];
  const int present = blackShelter(p.black.pieces[King]);
  const int castled = castledShelter(bit(6, 7), bit(6, 6), pawns, blackPawnAttacks(pawns));
  return blendShort(castled, present, castlingPathClear(p.black.shortEmpty, p, p.black));
}

int Evaluator::blackShelterLong() const {
  const Position& p = *position_;
  const Bitboard pawns = p.black.pieces[Pawn];
  const int present = blackShelter(p.black.pieces[King]);
  const int castled = castledShelter(bit(2, 7), bit(2, 6), pawns, blackPawnAttacks(pawns));
  return blendLong(castled, present, castlingPathClear(p.black.longEmpty, p, p.black));
}

int Evaluator::blackShelterBoth() const {
  const Position& p = *position_;
  const Bitboard pawns = p.black.pieces[Pawn];
  const Bitboard defended = blackPawnAttacks(pawns);
  const int present = blackShelter(p.black.pieces[King]);
  return blendBoth(castledShelter(bit(6, 7), bit(6, 6), pawns, defended),
                   castledShelter(bit(2, 7), bit(2, 6), pawns, defended), present,
                   castlingPathClear(p.black.shortEmpty, p, p.black), castlingPathClear(p.black.longEmpty, p, p.black));
}
