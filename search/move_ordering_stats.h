// A tuning aid for the square values of the move-ordering table: two
// counters per piece type and square (how often a move of that piece onto
// that square was tried, and how often it succeeded), and a writer that
// ranks all 384 piece-square pairs by their success ratio and writes the
// ranks as six blocks of 64 even values, in the layout of the square-value
// table's source text. Nothing in the engine counts into it or calls it: a
// developer experiment fills the counters and writes the table.
#pragma once

#include <cstdint>

class MoveOrderingStats {
 public:
  // Indexed [piece type 0..6][square]; type 0 is never ranked.
  int32_t tries[7][64] = {};
  int32_t successes[7][64] = {};

  void reset();

  // One more try of the piece type on the square, and a success if it was one.
  void count(int pieceType, int square, bool success) {
    ++tries[pieceType][square];
    if (success) ++successes[pieceType][square];
  }

  // (successes + 1) / (tries + 10): defined for untried squares, and small
  // for squares with few tries.
  long double successRatio(int pieceType, int square) const {
    return (static_cast<long double>(successes[pieceType][square]) + 1) /
           (static_cast<long double>(tries[pieceType][square]) + 10);
  }

  // 2 plus the number of pairs (types 1-6, every square) whose ratio is
  // strictly smaller than the given one.
  int rankOf(long double ratio) const;

  // Writes the table to a new file of that name; when it cannot be opened
  // nothing happens.
  void writeTable(const char* fileName) const;
};
