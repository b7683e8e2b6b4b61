// The positional evaluation: mobility, space, pawn structure, tempo, piece
// terms, king safety with shelter, and the blend of the middlegame and
// endgame sums by the game phase.
#include "board/attack_tables.h"
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

// The shelter scale of one key square: none lost with an own pawn on it,
// a little with a defended own pawn one square further, much with neither;
// more again when neither side square holds an own pawn.
inline int shelterScale(Bitboard key, Bitboard further, Bitboard sides, Bitboard pawns, Bitboard pawnDefended) {
  int v;
  if (key & pawns)
    v = ShelterPawnOnKey;
  else if (further & pawns & pawnDefended)
    v = ShelterDefendedPawnFurther;
  else
    v = ShelterNoPawn;
  if (!(sides & pawns)) v -= ShelterNoSidePawn;
  return v;
}

// The castled shelter blended with the present one where castling would
// improve it; the weights depend on the rights held and on whether the
// castling path is clear.
inline int blendCastled(int castled, int present, const ShelterBlend& weights) {
  if (castled <= present) return present;
  return (weights.castled * castled + weights.present * present) / ShelterBlendScale;
}

inline bool castlingPathClear(Bitboard squares, const Position& p, const SideState& side) {
  return !(squares & p.occupied) && !(squares & side.attacked);
}

// The shelter of one side's king on its present square, in its own view:
// the key square right ahead of the king.
template <bool White>
int presentShelter(Bitboard pawns, Bitboard king) {
  using V = SideView<White>;
  const Bitboard key = V::ahead(king);
  return shelterScale(key, V::ahead(key), sideways(key), pawns, V::pawnAttacks(pawns));
}

// The shelter the king would have after castling, by the castled king's key
// square on the file (g for short, c for long) on its second rank.
template <bool White>
int castledShelter(int file, Bitboard pawns, Bitboard defended) {
  using V = SideView<White>;
  const Bitboard key = V::square(file, 2);
  return shelterScale(key, V::square(file, 3), sideways(key), pawns, defended);
}

constexpr int ShortCastledFile = 6;  // g
constexpr int LongCastledFile = 2;   // c

// The shelter value of a side that still holds only its short (Short) or
// only its long castling right.
template <bool White, bool Short>
int shelterOneRight(const Position& p) {
  const SideState& own = p.side(White);
  const Bitboard pawns = own.pieces[Pawn];
  const int present = presentShelter<White>(pawns, own.pieces[King]);
  const int castled =
      castledShelter<White>(Short ? ShortCastledFile : LongCastledFile, pawns, SideView<White>::pawnAttacks(pawns));
  const bool clear = castlingPathClear(Short ? own.shortEmpty : own.longEmpty, p, own);
  if (Short) return blendCastled(castled, present, clear ? ShortClearBlend : ShortBlockedBlend);
  return blendCastled(castled, present, clear ? LongClearBlend : LongBlockedBlend);
}

// The shelter value of a side that holds both castling rights: the better
// castled shelter counts, the short one on a tie.
template <bool White>
int shelterBoth(const Position& p) {
  const SideState& own = p.side(White);
  const Bitboard pawns = own.pieces[Pawn];
  const Bitboard defended = SideView<White>::pawnAttacks(pawns);
  const int present = presentShelter<White>(pawns, own.pieces[King]);
  const int shortValue = castledShelter<White>(ShortCastledFile, pawns, defended);
  const int longValue = castledShelter<White>(LongCastledFile, pawns, defended);
  if (shortValue < longValue)
    return blendCastled(longValue, present,
                        castlingPathClear(own.longEmpty, p, own) ? BothLongClearBlend : BothLongBlockedBlend);
  return blendCastled(shortValue, present,
                      castlingPathClear(own.shortEmpty, p, own) ? BothShortClearBlend : BothShortBlockedBlend);
}

// One side's shelter value, chosen by the castling rights it still holds.
template <bool White>
int shelterByRights(const Position& p) {
  using V = SideView<White>;
  switch (p.castlingRights & (V::shortCastling | V::longCastling)) {
    case 0: {
      const SideState& own = p.side(White);
      return presentShelter<White>(own.pieces[Pawn], own.pieces[King]);
    }
    case V::shortCastling: return shelterOneRight<White, true>(p);
    case V::longCastling: return shelterOneRight<White, false>(p);
    default: return shelterBoth<White>(p);
  }
}

// The material with which the attacking side weighs on the enemy king
// whose safety value is defenderValue: its pieces beyond a base, more when
// its passed pawn is close to promoting while that king is in danger.
template <bool AttackerWhite>
int attackingMaterial(const SideState& attacker, Bitboard passedPawns, int defenderValue) {
  using V = SideView<AttackerWhite>;
  int f = attacker.material - AttackerPawnValue * attacker.counts[Pawn] - AttackerMaterialBase;
  if (defenderValue < 0 && (passedPawns & attacker.pieces[Pawn] & (V::rank(6) | V::rank(7))))
    f += PromotingPasserBonus;
  return f;
}

// A king-safety value scaled by the attacking material; none without it.
inline int scaledByAttackers(int value, int attackers) {
  return attackers >= 1 ? value * attackers / AttackScale : 0;
}

// One king's safety value before shelter, in its own side's view.
template <bool White>
int kingDanger(const Position& p) {
  const SideState& own = p.side(White);
  const SideState& enemy = p.side(!White);
  const int king = own.kingSquare();
  // King square.
  int d = KingSquare[SideView<White>::tableSquare(king)];
  // Zone squares the enemy attacks and own pawns do not cover.
  d -= KingZone[popCount(KingZone5x5[king] & own.attacked & ~enemy.pawnAttacked)];

  // The rest only when the enemy attacks a square next to the king.
  const Bitboard steps = attackTables.kingAttacks[king];
  const Bitboard hit = steps & own.attacked;
  if (!hit) return d;
  // No flight square at all.
  if (!(steps & ~(own.pieces[0] | own.attacked))) d -= NoFlight[popCount(steps & own.pieces[Pawn])];
  // Squares the enemy attacks twice and the own side does not set the
  // double-attack level of the weights below.
  const Bitboard doubly = steps & own.attackedTwice & ~enemy.attackedTwice;
  const int level = doubly ? oneOrTwo(doubly) : 0;
  if (doubly & east(doubly)) d -= DoublyAttackedPairOnRank;
  if (doubly & north(doubly)) d -= DoublyAttackedPairOnFile;
  // Attacked steps.
  d -= oneOrTwo(hit) * AttackedStepsWeight[level];
  // Own men attacked and not defended.
  const Bitboard hanging = own.pieces[0] & own.attacked & ~enemy.attacked;
  if (hanging) d -= oneOrTwo(hanging) * HangingWeight[level];
  // Pinned own men.
  const Bitboard pinned = p.pinned & own.pieces[0];
  if (pinned) d -= oneOrTwo(pinned) * PinnedWeight[level];
  // Safe squares from which an enemy queen would reach the king's steps.
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
  // Mobility: white's added, black's subtracted.
  int whiteMg = 0, whiteEg = 0, blackMg = 0, blackEg = 0;
  sideMobility(p.white, p.black, p.occupied, &whiteMg, &whiteEg);
  sideMobility(p.black, p.white, p.occupied, &blackMg, &blackEg);
  *mg += whiteMg - blackMg;
  *eg += whiteEg - blackEg;
  // Space: black.attacked holds white's attacks and the other way round.
  const int space = popCount(p.black.attacked & WhiteSpace) - popCount(p.white.attacked & BlackSpace);
  *mg += SpaceMg * space;
  *eg += SpaceEg * space;
}

int Evaluator::positional(int materialScore) {
  const Position& p = *position_;
  // Both sums start at the material score.
  int mg = materialScore, eg = materialScore;
  mobilityAndSpace(&mg, &eg);
  const PawnHashEntry* entry = pawnStructure();
  mg += entry->mg;
  eg += entry->eg;
  // Tempo for the side to move.
  if (p.whiteToMove) {
    mg += TempoMg;
    eg += TempoEg;
  } else {
    mg -= TempoMg;
    eg -= TempoEg;
  }
  // Game phase, truncated toward zero: 0 up to a total of 28063, full from
  // 44384 on.
  const int phase = (p.white.material + p.black.material - PhaseBaseMaterial) / PhaseMaterialStep;
  pieceTerms(&mg, &eg, phase > 0, phase < PhaseFull);
  // Blend, each king term only where it has weight.
  if (phase <= 0) return eg + endgameKingTerms();
  if (phase >= PhaseFull) return mg + kingSafety();
  mg += kingSafety();
  eg += endgameKingTerms();
  return (eg * (PhaseFull - phase) + mg * phase) / PhaseFull;
}

int Evaluator::kingSafety() const {
  const Position& p = *position_;
  const SideState& w = p.white;
  const SideState& b = p.black;
  // Each king's value in its own side's view, with its shelter.
  const int d = kingDanger<true>(p) + shelterByRights<true>(p);
  const int u = kingDanger<false>(p) + shelterByRights<false>(p);
  // Each scaled by the material that attacks it.
  const Bitboard passed = currentPawn_->passedPawns;
  const int fb = attackingMaterial<false>(b, passed, d);
  const int fw = attackingMaterial<true>(w, passed, u);
  return scaledByAttackers(d, fb) - scaledByAttackers(u, fw);
}

int Evaluator::whiteShelter(Bitboard king) const { return presentShelter<true>(position_->white.pieces[Pawn], king); }
int Evaluator::blackShelter(Bitboard king) const { return presentShelter<false>(position_->black.pieces[Pawn], king); }
int Evaluator::whiteShelterShort() const { return shelterOneRight<true, true>(*position_); }
int Evaluator::whiteShelterLong() const { return shelterOneRight<true, false>(*position_); }
int Evaluator::whiteShelterBoth() const { return shelterBoth<true>(*position_); }
int Evaluator::blackShelterShort() const { return shelterOneRight<false, true>(*position_); }
int Evaluator::blackShelterLong() const { return shelterOneRight<false, false>(*position_); }
int Evaluator::blackShelterBoth() const { return shelterBoth<false>(*position_); }
