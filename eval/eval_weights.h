// The single weights of the positional evaluation, in milli-pawns, grouped
// by the term that uses them; the tables indexed by a count or a square are
// in eval_tables.h. A weight named Mg enters only the middlegame sum, Eg
// only the endgame sum; a weight without either enters both. Each is given
// as a size: the code that reads it adds it as a bonus or takes it off as a
// penalty, in the view of the side it concerns.
#pragma once

namespace evalweights {

// --- game phase and the split between the evaluation paths ---
// Total material (both sides, kings not counted) from which on the
// evaluation takes only the positional path, without the exact endgame
// knowledge and the mop-up of pawnless endings.
constexpr int PositionalOnlyMaterial = 28000;
// The phase is (total material - PhaseBaseMaterial) / PhaseMaterialStep:
// 0 or less is a pure endgame, PhaseFull or more a pure middlegame.
constexpr int PhaseBaseMaterial = 28000;
constexpr int PhaseMaterialStep = 64;
constexpr int PhaseFull = 256;

// --- evaluation entry ---
// A side to move with king and pawns only whose king has no free step.
constexpr int KingWithoutStepPenalty = 150;
// Added for the side to move to a pawnless mop-up score.
constexpr int MopUpTempo = 3;
// With equal material and no pawns only this share of the mop-up measures
// is kept.
constexpr int EqualMopUpDivisor = 3;

// --- mobility and space ---
constexpr int SpaceMg = 4;
constexpr int SpaceEg = 10;

// --- tempo, for the side to move ---
constexpr int TempoMg = 33;
constexpr int TempoEg = 3;

// --- pawn structure, per pawn unless said otherwise ---
// White pawns on d4 and e4 facing no black pawn on d5 or e5 (and mirrored).
constexpr int CentrePawnsMg = 23;
// An isolated pawn, on a rook file and elsewhere.
constexpr int IsolatedRookPawn = 86;
constexpr int IsolatedPawn = 123;
// A pawn with an own pawn behind it on its file; once more for every pawn
// beyond the second of a file; more again when it is also isolated.
constexpr int DoubledPawnMg = 98;
constexpr int DoubledPawnEg = 93;
constexpr int PawnBeyondSecondOnFile = 300;
constexpr int DoubledIsolatedPawnMg = 33;
constexpr int DoubledIsolatedPawnEg = 22;
// Only for a side with a doubled pawn: a pawn defended by an own pawn and
// with an own pawn two squares behind it.
constexpr int DefendedPawnWithPawnTwoBehindMg = 36;
constexpr int DefendedPawnWithPawnTwoBehindEg = 30;
// A backward pawn, once per enemy pawn attacking the square ahead of it.
constexpr int BackwardPawnMg = 38;
constexpr int BackwardPawnEg = 4;
// A doubled pawn on a file that also holds an enemy pawn.
constexpr int ContestedDoubledPawn = 80;

// --- piece terms ---
// Each pinned man other than a pawn.
constexpr int PinnedPieceMg = 114;
constexpr int PinnedPieceEg = 123;
// Each man, king included, attacked by the enemy and not defended.
constexpr int HangingMan = 68;
// Two or more own pawns attacked and not covered by an own pawn.
constexpr int WeakPawnsMg = 36;
constexpr int WeakPawnsEg = 77;
// The squares in front of passed pawns: each one blocked by an enemy man
// or an own rook, once more when that block is on the seventh rank; free
// (not enemy men, not attacked by the enemy) and covered (attacked by the
// own side) squares on the seventh and eighth ranks.
constexpr int PassedPawnBlocked = 69;
constexpr int PassedPawnBlockedOnSeventh = 45;
constexpr int PassedPawnFreeSeventh = 134;
constexpr int PassedPawnFreeEighth = 254;
constexpr int PassedPawnCoveredSeventh = 146;
constexpr int PassedPawnCoveredEighth = 500;
// Development: each man standing on d3/e3 in front of its own d- or
// e-pawn; each minor piece still at home, with more when the queen or a
// rook has already gone forward.
constexpr int CentrePawnBlockerMg = 35;
constexpr int UndevelopedMinorMg = 72;
constexpr int UndevelopedMinorQueenOutMg = 14;
constexpr int UndevelopedMinorRookOutMg = 8;
// A bishop trapped on a7/h7 behind a defended enemy pawn.
constexpr int TrappedBishop = 980;
// A bishop on a1/h1 behind its own b2/g2 pawn, and more when that pawn
// cannot step forward or is held by its own pawn on c3/f3.
constexpr int ShutInBishop = 77;
constexpr int ShutInBishopBlocked = 575;
// Each fixed or backward own pawn on the colour of a lone bishop.
constexpr int BadBishopPawnEg = 25;
// Each square of an enemy passed pawn's path that a bishop watches along
// its better diagonal.
constexpr int BishopPassedPathEg = 25;
// Each backward pawn that the enemy attacks.
constexpr int AttackedBackwardPawnMg = 29;
constexpr int AttackedBackwardPawnEg = 50;
// Each rook behind an own passed pawn on its file.
constexpr int RookBehindPassedPawn = 123;
// A rook on the seventh rank, and more with two or more enemy pawns there
// under attack.
constexpr int RookOnSeventh = 91;
constexpr int RookOnSeventhPawnsMg = 30;
constexpr int RookOnSeventhPawnsEg = 100;
// A rook shut in on g1/h1/g2 by its king on f1/g1 without the short
// castling right.
constexpr int TrappedRookMg = 74;
constexpr int TrappedRookEg = 74;

// --- endgame king terms ---
// Each step of the king's Manhattan distance from the centre.
constexpr int KingCentralisation = 22;
// Own men (at most two counted) and, of them, own pawns (at most two) next
// to a king facing an enemy queen.
constexpr int KingCoverAgainstQueen = 19;
constexpr int KingPawnCoverAgainstQueen = 7;
constexpr int KingCoverCountCap = 2;
// Each king step by which the own king beats the enemy king to the
// squares in front of the passed pawns.
constexpr int PassedPawnKingRace = 44;
// King activity: pawns next to the king and within two of its safe steps,
// the squares it reaches in two safe steps, and each of its three rings
// without a loose pawn.
constexpr int KingNearPawn = 24;
constexpr int KingRingPawn = 24;
constexpr int KingRoomSquare = 3;
constexpr int KingRingWithoutLoosePawn = 17;

// --- mop-up of pawnless endings ---
// The weak king's distance from the centre (bonus) and the distance
// between the kings (penalty), each in Manhattan and Chebyshev measure.
constexpr int MopUpWeakKingCentreManhattan = 62;
constexpr int MopUpWeakKingCentreChebyshev = 21;
constexpr int MopUpKingsManhattan = 42;
constexpr int MopUpKingsChebyshev = 16;

// --- king safety ---
// Two squares next to the king that the enemy attacks twice and the own
// side does not, neighbours on a rank or on a file.
constexpr int DoublyAttackedPairOnRank = 71;
constexpr int DoublyAttackedPairOnFile = 26;
// A side's king-safety value is scaled by the enemy's attacking material:
// its material less AttackerPawnValue per pawn and less AttackerMaterialBase,
// plus PromotingPasserBonus with a passed pawn on its sixth or seventh rank
// while the value is negative, over AttackScale.
constexpr int AttackerPawnValue = 1000;
constexpr int AttackerMaterialBase = 6150;
constexpr int PromotingPasserBonus = 4000;
constexpr int AttackScale = 4096;

// --- pawn shelter ---
// Of a key square in front of the king: an own pawn on it, a defended own
// pawn one square further, neither; less when no own pawn stands on a side
// square.
constexpr int ShelterPawnOnKey = 0;
constexpr int ShelterDefendedPawnFurther = -2;
constexpr int ShelterNoPawn = -17;
constexpr int ShelterNoSidePawn = 7;
// The castled shelter C blended with the present one P where C is the
// better: (Castled * C + Present * P) / ShelterBlendScale, with one weight
// pair when the castling path is clear (empty and not attacked) and one when
// it is not. Short: only the short right; Long: only the long right; Both:
// both rights, with the better castled shelter.
struct ShelterBlend {
  int castled, present;
};
constexpr int ShelterBlendScale = 32;
constexpr ShelterBlend ShortClearBlend = {37, -5};
constexpr ShelterBlend ShortBlockedBlend = {36, -4};
constexpr ShelterBlend LongClearBlend = {28, 4};
constexpr ShelterBlend LongBlockedBlend = {22, 10};
constexpr ShelterBlend BothShortClearBlend = {41, -9};
constexpr ShelterBlend BothShortBlockedBlend = {39, -7};
constexpr ShelterBlend BothLongClearBlend = {25, 7};
constexpr ShelterBlend BothLongBlockedBlend = {19, 13};

}  // namespace evalweights
