// Constant key tables: Zobrist keys for the position and pawn keys,
// material keys per piece count, piece values and the bishop-colour table.
#pragma once

#include <cstdint>

namespace keys_detail {

// A fixed splitmix64 sequence: the keys are the same in every run and build.
constexpr uint64_t splitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

struct KeyTables {
  uint64_t zobrist[2][7][64] = {};
  uint32_t material[2][5][16] = {};
  uint32_t steps[2][5][15] = {};
};

constexpr KeyTables makeKeyTables() {
  KeyTables k;
  uint64_t state = 0x42524B4B454E5A4FULL;
  for (int c = 0; c < 2; ++c)
    for (int t = 0; t < 7; ++t)
      for (int s = 0; s < 64; ++s) k.zobrist[c][t][s] = splitMix(state);
  for (int c = 0; c < 2; ++c)
    for (int t = 0; t < 5; ++t)
      for (int n = 0; n < 16; ++n) {
        uint32_t v = 0;
        while (v == 0) v = uint32_t(splitMix(state) >> 32);
        k.material[c][t][n] = v;
      }
  for (int c = 0; c < 2; ++c)
    for (int t = 0; t < 5; ++t)
      for (int n = 0; n < 15; ++n) k.steps[c][t][n] = k.material[c][t][n] ^ k.material[c][t][n + 1];
  return k;
}

inline constexpr KeyTables keyTables = makeKeyTables();

}  // namespace keys_detail

// Per colour (0 white, 1 black): rows 1-6 key a man of that type on a
// square. Row 0 of the white table holds the castling key of each rights
// value (entries 0-15) and the en-passant keys (entries 16-23 and 40-47);
// the black row 0 is never read.
using ZobristTable = uint64_t[7][64];
inline constexpr const ZobristTable (&ZobristKeys)[2] = keys_detail::keyTables.zobrist;

// Per colour: key of n men (0-15) of each type pawn..queen, row = type - 1.
using MaterialKeyTable = uint32_t[5][16];
inline constexpr const MaterialKeyTable (&MaterialKeys)[2] = keys_detail::keyTables.material;

// Step table: entry [type - 1][n] = key(type, n) ^ key(type, n + 1), so a
// count change between n and n + 1 in either direction is one XOR.
using MaterialKeyStepTable = uint32_t[5][15];
inline constexpr const MaterialKeyStepTable (&MaterialKeySteps)[2] = keys_detail::keyTables.steps;

// XORed into the low half of the position key when white is to move.
constexpr uint64_t SideToMoveKey = 0x4AFC4AFCULL;

// Milli-pawns, indexed by piece type; the king counts 0.
constexpr int PieceValues[7] = {0, 1000, 3400, 3500, 5150, 10450, 0};

// Index: 1 white bishop on light, 2 white on dark, 4 black on light,
// 8 black on dark. 0 when a side has no bishop, 3 when someone has both
// colours, 1 for opposite colours, 2 for the same colour.
constexpr int BishopColourTable[16] = {0, 0, 0, 0, 0, 2, 1, 3, 0, 1, 2, 3, 0, 3, 3, 3};

// Light squares: the colour of a8 and h1 (file + row even).
constexpr uint64_t LightSquares = 0xAA55AA55AA55AA55ULL;
constexpr uint64_t DarkSquares = ~LightSquares;

inline constexpr uint64_t castlingKey(int rights) { return ZobristKeys[0][0][rights]; }
inline constexpr uint64_t enPassantKey(int square) { return ZobristKeys[0][0][square]; }
