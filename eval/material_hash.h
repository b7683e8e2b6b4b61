// The material score: a classical formula over the piece counts and
// material values of both sides, blended with the material network's
// estimate, cached per material signature in the evaluator's material hash
// together with the endgame object chosen for that material.
#pragma once

#include <cstdint>

class EndgameEvaluator;
class MaterialNet;
class Position;
struct SideState;

struct MaterialHashEntry {
  uint32_t key;                        // material signature
  int32_t score;                       // white's view, milli-pawns
  const EndgameEvaluator* evaluator;   // null marks an empty slot
};

// By the number of pawns of one side.
constexpr int PawnCountTable[9] = {0, 56, 62, 8, -62, -139, -197, -225, -175};

// XORed into the signature, by bishop relation -1, 0, +1.
constexpr uint32_t BishopRelationKeys[3] = {0x8af732daU, 0xbf753d1dU, 0xf339e5f6U};

// The bishop relation from Position::bishopColours (0 none, 1 opposite,
// 2 same, 3 both colours): -1 opposite colours, +1 one same colour, else 0.
inline int bishopRelation(int bishopColours) { return (bishopColours >> 1) - (bishopColours & 1); }

// Gives back the position's material signature: both material keys and the
// key of the bishop relation.
uint32_t materialSignature(const Position& position, int relation);

// Gives back whether both sides have the same number of men of every type
// from pawn to queen.
bool equalMaterialCounts(const SideState& white, const SideState& black);

// Gives back the classical material score in white's view from the counts
// and material values: the difference with its trade-down bonus, the bishop
// pairs and, up to a total of 44383, the pawn-count term. (Equal counts are
// the caller's case.)
int classicalMaterial(const SideState& white, const SideState& black);

// Gives back the network's material value for white, in milli-pawns: the
// two sides' expected results turned into rating-scale values and halved.
int neuralMaterial(MaterialNet& net, const SideState& white, const SideState& black, int relation);

// Gives back the blend of the classical score m and the network value v:
// the network's share is neuroMaterial percent near a balance of 0 and
// falls as the average of the two grows against neuroWidth (hundredths of
// a pawn). Computed in floating point, the share limited to [0, 1].
int blendMaterial(int m, int v, int neuroMaterial, int neuroWidth);

// Gives back the milli-pawn value of one expected result p: the odds
// limited to those of 0.02 and 0.98 (a NaN counts as 0.5), on the rating
// scale of 400 points per factor of ten at 110 points per pawn, truncated.
int expectedResultToMilliPawns(double p);
