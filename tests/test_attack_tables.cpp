#include <gtest/gtest.h>

#include <random>

#include "board/attack_tables.h"

namespace {

Bitboard randomOccupancy(std::mt19937_64& rng) {
  // Mix sparse and dense boards: sliders behave differently on each.
  switch (rng() % 3) {
    case 0: return rng() & rng() & rng();
    case 1: return rng() & rng();
    default: return rng() | rng();
  }
}

Bitboard traceLine(int s, Bitboard occ, int df, int dr) {
  Bitboard result = 0;
  for (int d : {1, -1}) {
    int f = fileOf(s) + d * df, r = rowOf(s) + d * dr;
    while (f >= 0 && f < 8 && r >= 0 && r < 8) {
      result |= squareBit(f + 8 * r);
      if (occ & squareBit(f + 8 * r)) break;
      f += d * df;
      r += d * dr;
    }
  }
  return result;
}

TEST(AttackTables, SlidersMatchRayTracingOnEverySquare) {
  std::mt19937_64 rng(12345);
  for (int s = 0; s < 64; ++s) {
    for (int i = 0; i < 3000; ++i) {
      Bitboard occ = randomOccupancy(rng);
      ASSERT_EQ(AttackTables::rookAttacks(s, occ), traceRookAttacks(s, occ)) << "rook square " << s;
      ASSERT_EQ(AttackTables::bishopAttacks(s, occ), traceBishopAttacks(s, occ)) << "bishop square " << s;
    }
    ASSERT_EQ(AttackTables::rookAttacks(s, 0), traceRookAttacks(s, 0));
    ASSERT_EQ(AttackTables::rookAttacks(s, ~0ULL), traceRookAttacks(s, ~0ULL));
    ASSERT_EQ(AttackTables::bishopAttacks(s, ~0ULL), traceBishopAttacks(s, ~0ULL));
  }
}

TEST(AttackTables, SingleLineLookupsMatchRayTracing) {
  std::mt19937_64 rng(99);
  for (int s = 0; s < 64; ++s)
    for (int i = 0; i < 500; ++i) {
      Bitboard occ = randomOccupancy(rng);
      ASSERT_EQ(AttackTables::fileAttacks(s, occ), traceLine(s, occ, 0, 1)) << s;
      ASSERT_EQ(AttackTables::rankAttacks(s, occ), traceLine(s, occ, 1, 0)) << s;
      ASSERT_EQ(AttackTables::diagA1H8Attacks(s, occ), traceLine(s, occ, 1, -1)) << s;
      ASSERT_EQ(AttackTables::diagA8H1Attacks(s, occ), traceLine(s, occ, 1, 1)) << s;
    }
}

TEST(AttackTables, MagicTablesAreSizedByTheirEntries) {
  for (const MagicConstant* rows : {rookMagicConstants, bishopMagicConstants})
    for (int s = 0; s < 64; ++s) {
      EXPECT_GT(rows[s].entries, 0);
      EXPECT_LE(rows[s].entries, 1 << rows[s].bits);
    }
  // Slices follow each other in square order without gaps or overlap.
  const Bitboard* next = attackTables.rookAttackTable;
  for (int s = 0; s < 64; ++s) {
    EXPECT_EQ(attackTables.rookMagics[s].attacks, next);
    next += rookMagicConstants[s].entries;
  }
  EXPECT_EQ(next, attackTables.rookAttackTable + AttackTables::rookTableSize());
  EXPECT_EQ(AttackTables::popCount(attackTables.rookMagics[0].mask), 12);
  EXPECT_EQ(AttackTables::popCount(attackTables.rookMagics[makeSquare(3, 5)].mask), 10);
}

TEST(AttackTables, PopCountAndLowestSquare) {
  EXPECT_EQ(AttackTables::popCount(~0ULL), 64);
  EXPECT_EQ(AttackTables::popCount(0), 0);
  std::mt19937_64 rng(7);
  for (int i = 0; i < 10000; ++i) {
    Bitboard b = rng();
    ASSERT_EQ(AttackTables::popCount(b), __builtin_popcountll(b));
    if (b) {
      ASSERT_EQ(AttackTables::lowestSquare(b), __builtin_ctzll(b));
    }
  }
  for (int s = 0; s < 64; ++s) EXPECT_EQ(AttackTables::lowestSquare(squareBit(s)), s);
  Bitboard c3h1 = squareBit(42) | squareBit(63);
  EXPECT_EQ(AttackTables::lowestSquare(c3h1), 42);
  EXPECT_EQ(AttackTables::lowestSquare(c3h1 & (c3h1 - 1)), 63);
  int unused = 0;
  for (int i = 0; i < 256; ++i) unused += attackTables.bitScan[i] == -1;
  EXPECT_EQ(unused, 192);
}

TEST(AttackTables, BetweenMasks) {
  const int a1 = 56, h8 = 7, b3 = squareFromText("b3");
  EXPECT_EQ(attackTables.betweenMask[a1 | squareFromText("a2") << 6], 0u);
  EXPECT_EQ(attackTables.betweenMask[a1 | b3 << 6], 0u);
  EXPECT_EQ(attackTables.betweenMask[a1 | h8 << 6], squaresToBitboard("b2c3d4e5f6g7"));
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      ASSERT_EQ(attackTables.betweenMask[a | b << 6], attackTables.betweenMask[b | a << 6]);
      ASSERT_EQ(attackTables.fromToMask[a | b << 6], squareBit(a) | squareBit(b));
    }
}

TEST(AttackTables, StepTablesAndEdgeCases) {
  const int a8 = 0, d4 = squareFromText("d4"), e1 = squareFromText("e1");
  EXPECT_TRUE(attackTables.knightTwoSteps[a8] & squareBit(a8));
  EXPECT_EQ(attackTables.knightAttacks[a8], squaresToBitboard("b6c7"));
  EXPECT_EQ(attackTables.kingAttacks[63], squaresToBitboard("g1g2h2"));
  EXPECT_EQ(AttackTables::rookAttacks(a8, ~0ULL), squaresToBitboard("b8a7"));
  EXPECT_EQ(AttackTables::popCount(AttackTables::rookAttacks(a8, 0)), 14);
  EXPECT_EQ(AttackTables::popCount(AttackTables::bishopAttacks(d4, 0)), 13);
  EXPECT_EQ(AttackTables::bishopAttacks(d4, BoardEdge | squaresToBitboard("d5e4d3c4")),
            AttackTables::bishopAttacks(d4, 0));
  EXPECT_EQ(AttackTables::fileAttacks(e1, squaresToBitboard("e4e8")), squaresToBitboard("e2e3e4"));
  EXPECT_EQ(AttackTables::fileAttacks(e1, squaresToBitboard("e2e5e7")), squaresToBitboard("e2"));
}

TEST(AttackTables, SquareTextHelpers) {
  EXPECT_EQ(squaresToBitboard(""), 0u);
  EXPECT_EQ(squareFromText("a1"), 56);
  EXPECT_EQ(squareFromText("H8"), 7);
  EXPECT_EQ(squareToBitboard("c3"), squareBit(42));
  EXPECT_EQ(fileRankToBitboard('h', '1'), squareBit(63));
  Bitboard full, inner;
  lineMasks(0, 1 | 2, full, inner);
  EXPECT_EQ(inner, attackTables.rookMagics[0].mask);
  EXPECT_EQ(AttackTables::popCount(full), 14);
  lineMasks(squareFromText("d5"), 4 | 8, full, inner);
  EXPECT_EQ(inner, attackTables.bishopMagics[squareFromText("d5")].mask);
}

}  // namespace
