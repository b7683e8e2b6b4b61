// The board as one side sees it, for terms written once for both colours:
// "ahead" is toward the enemy's back rank, ranks count from the side's own
// back rank (rank 1 for white, rank 8 for black), and square tables given
// for white are read at the mirrored square 63 - s for black. With the
// side fixed at compile time every member folds to what a hand-written
// copy for that colour would use.
#pragma once

#include "board/attack_tables.h"
#include "board/position.h"
#include "board/types.h"
#include "eval/bitboard_shifts.h"

template <bool White>
struct SideView {
  static constexpr Bitboard ahead(Bitboard b) { return White ? evalbits::north(b) : evalbits::south(b); }
  static constexpr Bitboard behind(Bitboard b) { return White ? evalbits::south(b) : evalbits::north(b); }
  // The squares the side's pawns of the set attack.
  static constexpr Bitboard pawnAttacks(Bitboard pawns) {
    return White ? whitePawnAttacks(pawns) : blackPawnAttacks(pawns);
  }
  // Rank 1..8 counted from the side's own back rank.
  static constexpr Bitboard rank(int r) { return evalbits::rankMask(White ? r : 9 - r); }
  // Ranks from..to (1..8, from <= to) counted from the own back rank.
  static constexpr Bitboard ranks(int from, int to) {
    return White ? evalbits::rankRange(from, to) : evalbits::rankRange(9 - to, 9 - from);
  }
  // The square on a file (0 = a) and a rank counted from the own back rank.
  static constexpr Bitboard square(int file, int r) { return squareBit(makeSquare(file, White ? r : 9 - r)); }
  static constexpr int tableSquare(int s) { return White ? s : 63 - s; }
  static constexpr int shortCastling = White ? WhiteShort : BlackShort;
  static constexpr int longCastling = White ? WhiteLong : BlackLong;
};
