// Masked one-step shifts, fills and dilations of square sets. Every
// sideways step masks the file it would wrap into, and a step past rank 1
// or rank 8 simply falls off the 64-bit word, so none of these can run off
// the board or wrap across files.
#pragma once

#include "board/attack_tables.h"
#include "board/types.h"

namespace evalbits {

// One rank toward rank 8 (white's "ahead").
inline constexpr Bitboard north(Bitboard b) { return b >> 8; }
// One rank toward rank 1 (black's "ahead").
inline constexpr Bitboard south(Bitboard b) { return b << 8; }
// One file toward the h-file.
inline constexpr Bitboard east(Bitboard b) { return (b << 1) & ~FileA; }
// One file toward the a-file.
inline constexpr Bitboard west(Bitboard b) { return (b >> 1) & ~FileH; }

// The squares one file to either side.
inline constexpr Bitboard sideways(Bitboard b) { return east(b) | west(b); }

// The set with its four orthogonal neighbours.
inline constexpr Bitboard orthogonalDilation(Bitboard b) {
  return b | north(b) | south(b) | east(b) | west(b);
}

// The four orthogonal neighbours of the set (the set itself not added).
inline constexpr Bitboard orthogonalNeighbours(Bitboard b) {
  return north(b) | south(b) | east(b) | west(b);
}

// The four diagonal neighbours of the set (the set itself not added).
inline constexpr Bitboard diagonalNeighbours(Bitboard b) {
  const Bitboard h = east(b) | west(b);
  return north(h) | south(h);
}

// The set with every square one king step away.
inline constexpr Bitboard kingDilation(Bitboard b) {
  const Bitboard row = b | east(b) | west(b);
  return row | north(row) | south(row);
}

// The set and every square north of it on the same files.
inline constexpr Bitboard northFill(Bitboard b) {
  b |= b >> 8;
  b |= b >> 16;
  b |= b >> 32;
  return b;
}

// The set and every square south of it on the same files.
inline constexpr Bitboard southFill(Bitboard b) {
  b |= b << 8;
  b |= b << 16;
  b |= b << 32;
  return b;
}

// Every square of each file that holds a square of the set.
inline constexpr Bitboard fileFill(Bitboard b) { return northFill(b) | southFill(b); }

// Rank n (1..8) as a square set.
inline constexpr Bitboard rankMask(int rank) { return rowMask(8 - rank); }

// Ranks from..to (1..8, from <= to).
inline constexpr Bitboard rankRange(int from, int to) {
  Bitboard b = 0;
  for (int r = from; r <= to; ++r) b |= rankMask(r);
  return b;
}

inline constexpr int fileDistance(int a, int b) { return fileOf(a) > fileOf(b) ? fileOf(a) - fileOf(b) : fileOf(b) - fileOf(a); }
inline constexpr int rowDistance(int a, int b) { return rowOf(a) > rowOf(b) ? rowOf(a) - rowOf(b) : rowOf(b) - rowOf(a); }
inline constexpr int chebyshevDistance(int a, int b) {
  return fileDistance(a, b) > rowDistance(a, b) ? fileDistance(a, b) : rowDistance(a, b);
}
inline constexpr int manhattanDistance(int a, int b) { return fileDistance(a, b) + rowDistance(a, b); }

// Distance of a file or row index to the central pair 3..4.
inline constexpr int centreLineDistance(int x) { return x < 3 ? 3 - x : x > 4 ? x - 4 : 0; }
// Manhattan distance of a square to the nearest of d4, e4, d5, e5.
inline constexpr int centreManhattan(int s) { return centreLineDistance(fileOf(s)) + centreLineDistance(rowOf(s)); }
// Chebyshev distance of a square to the nearest of d4, e4, d5, e5.
inline constexpr int centreChebyshev(int s) {
  return centreLineDistance(fileOf(s)) > centreLineDistance(rowOf(s)) ? centreLineDistance(fileOf(s))
                                                                      : centreLineDistance(rowOf(s));
}

}  // namespace evalbits
