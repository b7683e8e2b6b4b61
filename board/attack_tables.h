// Precomputed square sets: magic slider attacks, step tables, between and
// line masks, occupancy-indexed line attacks, bit counts and bit scans.
// One object, attackTables, built by static initialisation before main and
// read-only afterwards, so every thread may read it without a lock.
#pragma once

#include <cstdint>

#include "board/types.h"

struct MagicEntry {
  Bitboard mask;            // relevant occupancy: rays without border squares
  uint32_t mulHi;           // multiplier of the mask's high half
  uint32_t mulLo;           // multiplier of the mask's low half
  const Bitboard* attacks;  // the square's slice of its slider's table
  uint32_t shift;           // 32 minus the index bits
};

struct MagicConstant {
  uint32_t mulLo;
  uint32_t mulHi;
  int32_t bits;
  int32_t entries;  // slots for the square: largest index plus one
};

extern const MagicConstant rookMagicConstants[64];
extern const MagicConstant bishopMagicConstants[64];

class AttackTables {
 public:
  AttackTables();
  ~AttackTables();
  AttackTables(const AttackTables&) = delete;
  AttackTables& operator=(const AttackTables&) = delete;

  Bitboard* bishopAttackTable = nullptr;
  Bitboard* rookAttackTable = nullptr;
  MagicEntry bishopMagics[64];
  MagicEntry rookMagics[64];
  uint8_t popcount16[65536];
  Bitboard fromToMask[4096];
  Bitboard betweenMask[4096];
  Bitboard kingAttacks[64];
  Bitboard knightAttacks[64];
  Bitboard knightTwoSteps[64];
  Bitboard fileAttackTable[64][64];
  Bitboard rankAttackTable[64][64];
  Bitboard diagA1H8AttackTable[64][64];
  Bitboard diagA8H1AttackTable[64][64];
  Bitboard fileLine[64];
  Bitboard rankLine[64];
  Bitboard diagA1H8Line[64];
  Bitboard diagA8H1Line[64];
  int8_t bitScan[256];
  // King and pawn against king, squares seen from the pawn's side (the
  // pawn moving toward rank 8); pawns on files a-d only. kpkIndex holds the
  // start of each pawn square's block of 8192 entries (-1 for squares off
  // files a-d or ranks 2-7); a block holds 4096 entries with the weak side
  // to move and then 4096 with the strong side to move, each 64 x weak
  // king + strong king. Entries: 127 impossible, 126 draw, 1-125 plies to
  // a safe promotion as the build counts them.
  int32_t kpkIndex[64];
  uint8_t kpkTable[24 * 8192];

  static inline Bitboard bishopAttacks(int s, Bitboard occ);
  static inline Bitboard rookAttacks(int s, Bitboard occ);
  static inline Bitboard queenAttacks(int s, Bitboard occ);
  static inline int popCount(Bitboard b);
  static inline int lowestSquare(Bitboard b);
  static inline Bitboard fileAttacks(int s, Bitboard occ);
  static inline Bitboard rankAttacks(int s, Bitboard occ);
  static inline Bitboard diagA1H8Attacks(int s, Bitboard occ);
  static inline Bitboard diagA8H1Attacks(int s, Bitboard occ);

  // Magic entries and tables from the constant rows; exposed so that a
  // different set of multipliers can be checked.
  void initMagics();

  // Total slots the constant rows give each slider.
  static int rookTableSize();
  static int bishopTableSize();

 private:
  void buildSteps();
  void buildBitScan();
  void buildLineTables();
  void buildKpk();
};

extern AttackTables attackTables;

// Look-up of the king and pawn against king bitbase.
struct KpkBitbase {
  static constexpr int Impossible = 127;
  static constexpr int Draw = -1;

  // The squares as seen from the pawn's owner (the strong side), its pawn
  // moving toward rank 8; a caller with a black pawn passes 63 - square for
  // all three and swaps the side-to-move flag. Gives back -1 for a draw,
  // 127 for an impossible placement or a pawn off ranks 2-7, otherwise the
  // plies to a safe promotion (1-125).
  static int probe(const AttackTables& tables, uint8_t strongSideToMove, int strongKing, int weakKing, int pawn) {
    int index = tables.kpkIndex[pawn];
    if (index < 0) {
      // Files e-h answer as their mirror images on files d-a.
      strongKing ^= 7;
      weakKing ^= 7;
      index = tables.kpkIndex[pawn ^ 7];
      if (index < 0) return Impossible;
    }
    const int value = tables.kpkTable[index + (strongSideToMove ? 4096 : 0) + 64 * weakKing + strongKing];
    return value == 126 ? Draw : value;
  }

  // Whether a probe's answer says the strong side wins.
  static bool isWin(int answer) { return answer >= 0 && answer < 126; }
};

// Slider attack set from s under occ, traced square by square: the reference
// the tables are built from.
Bitboard slidingAttacks(int s, Bitboard occ, const int (*directions)[2], int count);
Bitboard traceRookAttacks(int s, Bitboard occ);
Bitboard traceBishopAttacks(int s, Bitboard occ);

// Square-text helpers; the file letter may be either case; none validates.
Bitboard squareToBitboard(const char* text);
Bitboard fileRankToBitboard(char fileChar, char rankChar);
int squareFromText(const char* text);
Bitboard squaresToBitboard(const char* text);

// Lines through s (s excluded) in the chosen directions: bit 1 rank, 2 file,
// 4 a1-h8 diagonal, 8 a8-h1 diagonal; inner leaves out each line's border square.
void lineMasks(int s, int directions, Bitboard& full, Bitboard& inner);

constexpr Bitboard FileA = 0x0101010101010101ULL;
constexpr Bitboard FileH = FileA << 7;
constexpr Bitboard Rank8 = 0xFFULL;
constexpr Bitboard Rank1 = Rank8 << 56;
constexpr Bitboard BoardEdge = FileA | FileH | Rank1 | Rank8;
inline constexpr Bitboard fileMask(int file) { return FileA << file; }
inline constexpr Bitboard rowMask(int row) { return Rank8 << (8 * row); }

// Capture squares of a set of white pawns (moving toward lower indexes)
// and of black pawns (toward higher indexes).
inline constexpr Bitboard whitePawnAttacks(Bitboard pawns) {
  return ((pawns >> 7) & ~FileA) | ((pawns >> 9) & ~FileH);
}
inline constexpr Bitboard blackPawnAttacks(Bitboard pawns) {
  return ((pawns << 7) & ~FileH) | ((pawns << 9) & ~FileA);
}

inline Bitboard AttackTables::bishopAttacks(int s, Bitboard occ) {
  const MagicEntry& e = attackTables.bishopMagics[s];
  Bitboard x = occ & e.mask;
  uint32_t index = (uint32_t(x) * e.mulLo ^ uint32_t(x >> 32) * e.mulHi) >> e.shift;
  return e.attacks[index];
}

inline Bitboard AttackTables::rookAttacks(int s, Bitboard occ) {
  const MagicEntry& e = attackTables.rookMagics[s];
  Bitboard x = occ & e.mask;
  uint32_t index = (uint32_t(x) * e.mulLo ^ uint32_t(x >> 32) * e.mulHi) >> e.shift;
  return e.attacks[index];
}

inline Bitboard AttackTables::queenAttacks(int s, Bitboard occ) {
  return bishopAttacks(s, occ) | rookAttacks(s, occ);
}

inline int AttackTables::popCount(Bitboard b) {
  const uint8_t* t = attackTables.popcount16;
  return t[b & 0xFFFF] + t[(b >> 16) & 0xFFFF] + t[(b >> 32) & 0xFFFF] + t[b >> 48];
}

inline int AttackTables::lowestSquare(Bitboard b) {
  Bitboard m = (b - 1) & ~b;
  uint32_t f = uint32_t(m) ^ uint32_t(m >> 32) ^ 0x01040426U;
  f += f >> 16;
  f += f >> 8;
  return attackTables.bitScan[f & 0xFF];
}

inline Bitboard AttackTables::fileAttacks(int s, Bitboard occ) {
  Bitboard x = (occ & attackTables.fileLine[s]) >> fileOf(s);
  unsigned pattern = unsigned((x * 0x0080402010080402ULL) >> 58);
  return attackTables.fileAttackTable[s][pattern];
}

inline Bitboard AttackTables::rankAttacks(int s, Bitboard occ) {
  Bitboard x = occ & attackTables.rankLine[s];
  return attackTables.rankAttackTable[s][unsigned((x * 0x0202020202020202ULL) >> 58)];
}

inline Bitboard AttackTables::diagA1H8Attacks(int s, Bitboard occ) {
  Bitboard x = occ & attackTables.diagA1H8Line[s];
  return attackTables.diagA1H8AttackTable[s][unsigned((x * 0x0202020202020202ULL) >> 58)];
}

inline Bitboard AttackTables::diagA8H1Attacks(int s, Bitboard occ) {
  Bitboard x = occ & attackTables.diagA8H1Line[s];
  return attackTables.diagA8H1AttackTable[s][unsigned((x * 0x0202020202020202ULL) >> 58)];
}
