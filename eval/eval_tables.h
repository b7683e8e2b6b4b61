// The constant weights of the positional evaluation, in milli-pawns, all
// built at compile time. Square tables are given for white; black reads
// them at the mirrored square 63 - s. Every square table here is symmetric
// between the a-d and h-e halves, so 63 - s and the vertical mirror s ^ 56
// read the same value.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "eval/bitboard_shifts.h"

namespace evaltables {

struct SquareTable {
  int v[64];
  constexpr int operator[](int s) const { return v[s]; }
};

// A square table from the values of files a-d, one row per rank from rank
// 8 (row 0) to rank 1 (row 7); files e-h mirror files d-a.
constexpr SquareTable foldedTable(const int (&rows)[8][4]) {
  SquareTable t{};
  for (int s = 0; s < 64; ++s) {
    const int f = fileOf(s) < 4 ? fileOf(s) : 7 - fileOf(s);
    t.v[s] = rows[rowOf(s)][f];
  }
  return t;
}

// --- mobility, indexed by the number of counted squares ---
constexpr int QueenMobilityMg[28] = {-21, -1,  13,  25,  35,  45,  54,  63,  72,  80,  87,  95,  102, 109,
                                     116, 123, 129, 136, 142, 148, 155, 161, 166, 172, 178, 184, 189, 195};
constexpr int QueenMobilityEg[28] = {-83, 109, 185, 222, 243, 255, 261, 264, 265, 265, 264, 262, 259, 256,
                                     253, 249, 246, 242, 238, 234, 230, 226, 222, 218, 214, 210, 206, 202};
constexpr int RookMobilityMg[15] = {-44, -43, -40, -37, -34, -30, -27, -23, -20, -17, -14, -11, -8, -5, -3};
constexpr int RookMobilityEg[15] = {-42, 116, 183, 219, 241, 255, 265, 272, 277, 281, 284, 287, 289, 290, 291};
constexpr int BishopMobilityMg[14] = {15, 30, 43, 55, 66, 76, 86, 95, 104, 113, 121, 130, 138, 146};
constexpr int BishopMobilityEg[14] = {-238, -93, -31, 4, 27, 43, 55, 64, 72, 78, 83, 88, 91, 95};
constexpr int KnightMobilityMg[9] = {-89, -44, -19, -1, 14, 27, 39, 51, 61};
constexpr int KnightMobilityEg[9] = {-356, -153, -64, -11, 25, 53, 75, 94, 109};

// --- pawn square tables: one rule, four parameter sets ---

// A second-rank bonus, then (a, b, c) for the folded files a, b, c, d.
struct PstParams {
  int p[13];
};

constexpr PstParams PawnMgParams = {{-51, -178, -31, 37, -134, -19, 23, -81, 26, 21, -57, 30, 45}};
constexpr PstParams PawnEgParams = {{-14, -228, 8, 32, -152, 7, 12, -107, -14, 30, -103, -25, 16}};
constexpr PstParams PassedMgParams = {{14, 23, 32, 39, 32, 33, 42, 1, 18, 45, 11, 11, 22}};
constexpr PstParams PassedEgParams = {{1, 26, 39, 65, 18, 53, 76, 11, 35, 52, 6, 27, 58}};

// The rule on any square: with r = rank - 3 and the folded file's (a, b, c),
// (a + b r) + c r^2 / 2, plus the bonus on rank 2, truncated toward zero.
constexpr int pstValue(const PstParams& params, int square) {
  const int f = fileOf(square) < 4 ? fileOf(square) : 7 - fileOf(square);
  const int r = rankOf(square) - 3;
  const double a = params.p[1 + 3 * f], b = params.p[2 + 3 * f], c = params.p[3 + 3 * f];
  const double bonus = rankOf(square) == 2 ? params.p[0] : 0;
  return static_cast<int>(a + b * r + r * (r * (c * 0.5)) + bonus);
}

// The generated table: the rule on ranks 2 to 7, 0 on ranks 1 and 8.
constexpr SquareTable pstTable(const PstParams& params) {
  SquareTable t{};
  for (int s = 0; s < 64; ++s) t.v[s] = (rowOf(s) == 0 || rowOf(s) == 7) ? 0 : pstValue(params, s);
  return t;
}

constexpr SquareTable PawnSquareMg = pstTable(PawnMgParams);
constexpr SquareTable PawnSquareEg = pstTable(PawnEgParams);
constexpr SquareTable PassedSquareMg = pstTable(PassedMgParams);
constexpr SquareTable PassedSquareEg = pstTable(PassedEgParams);

// --- pawn structure ---
// By the number of a side's pawns standing on squares its own pawns attack.
constexpr int DefendedPawnMg[8] = {-12, -4, -3, 6, 15, 20, -13, 0};
// By the number of the side's other pawns.
constexpr int UndefendedPawnEg[9] = {0, 61, 50, 25, 0, -23, -35, -41, -41};

constexpr int MajorityRows[8][4] = {
    {0, 0, 0, 0},       // rank 8
    {0, 0, 0, 0},       // rank 7
    {42, 32, 39, -9},   // rank 6
    {25, 16, 21, 14},   // rank 5
    {5, 6, 25, 15},     // rank 4
    {-5, -4, 16, 7},    // rank 3
    {-6, -12, 12, 0},   // rank 2
    {0, 0, 0, 0},       // rank 1
};
constexpr SquareTable MajorityEg = foldedTable(MajorityRows);

// --- king safety ---
constexpr int KingSquareRows[8][4] = {
    {-9, -9, -9, -9}, {-9, -9, -9, -9}, {-9, -9, -9, -9}, {-9, -9, -9, -9},
    {-9, -9, -9, -9}, {-9, -9, -9, -9}, {4, 11, -1, -16}, {5, 14, 6, -10},
};
constexpr SquareTable KingSquare = foldedTable(KingSquareRows);

// By the number of zone squares the enemy attacks and own pawns do not;
// an unattacked zone costs 4.
constexpr int KingZone[26] = {4,  0,  0,   1,   4,   9,   14,  20,  28,  36,  46,  57,  69,
                              82, 95, 111, 125, 135, 143, 150, 155, 155, 155, 155, 155, 155};
// By the number of own pawns next to a king without a flight square.
constexpr int NoFlight[9] = {31, 11, 1, -8, -15, -22, -28, -35, -41};
// By the double-attack level 0, 1, 2.
constexpr int AttackedStepsWeight[3] = {1, 9, 19};
constexpr int HangingWeight[3] = {3, 81, 121};
constexpr int PinnedWeight[3] = {2, 20, 81};
constexpr int QueenApproachWeight[3] = {2, 19, 101};

// The box of up to 5 x 5 squares around each square (two files and two
// ranks away at most, clipped at the edges).
struct SquareSets {
  Bitboard v[64];
  constexpr Bitboard operator[](int s) const { return v[s]; }
};
constexpr SquareSets makeKingZones() {
  SquareSets z{};
  for (int s = 0; s < 64; ++s) z.v[s] = evalbits::kingDilation(evalbits::kingDilation(squareBit(s)));
  return z;
}
constexpr SquareSets KingZone5x5 = makeKingZones();

// --- piece terms ---
constexpr int BishopOutpostMgRows[8][4] = {
    {-3, 33, 60, 75}, {3, 36, 59, 70}, {6, 35, 54, 61}, {5, 31, 45, 49},
    {-3, 22, 36, 40}, {-20, 8, 27, 34}, {0, 0, 0, 0}, {0, 0, 0, 0},
};
constexpr int BishopOutpostEgRows[8][4] = {
    {122, 108, 92, 75}, {81, 74, 66, 55}, {47, 48, 46, 42}, {21, 28, 33, 37},
    {21, 28, 33, 37},   {47, 48, 46, 42}, {0, 0, 0, 0},     {0, 0, 0, 0},
};
constexpr int KnightOutpostMgRows[8][4] = {
    {65, 97, 118, 130}, {54, 84, 105, 115}, {42, 71, 89, 98}, {29, 56, 73, 80},
    {12, 39, 56, 63},   {-8, 20, 38, 47},   {0, 0, 0, 0},     {0, 0, 0, 0},
};
constexpr int KnightOutpostEgRows[8][4] = {
    {88, 91, 94, 95}, {57, 65, 72, 78}, {31, 43, 55, 66}, {9, 26, 42, 58},
    {-8, 8, 24, 40},  {-22, -10, 1, 12}, {0, 0, 0, 0},     {0, 0, 0, 0},
};
constexpr SquareTable BishopOutpostMg = foldedTable(BishopOutpostMgRows);
constexpr SquareTable BishopOutpostEg = foldedTable(BishopOutpostEgRows);
constexpr SquareTable KnightOutpostMg = foldedTable(KnightOutpostMgRows);
constexpr SquareTable KnightOutpostEg = foldedTable(KnightOutpostEgRows);

// By the Chebyshev distance to the enemy king.
constexpr int BishopOutpostDistance[8] = {0, 12, 10, 7, 4, 0, -4, -9};
constexpr int KnightOutpostDistance[8] = {0, 32, 27, 18, 5, -12, -33, -58};

// By the number of open files.
constexpr int RookOpenMg[9] = {0, 83, 130, 146, 149, 146, 140, 131, 120};
constexpr int RookOpenEg[9] = {0, 47, 38, 24, 9, -6, -22, -37, -52};

}  // namespace evaltables
