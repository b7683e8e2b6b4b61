#include "board/history_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace {

const Move E2E4 = encodeMove(makeSquare(4, 2), makeSquare(4, 4), Pawn);
const Move G1F3 = encodeMove(makeSquare(6, 1), makeSquare(5, 3), Knight);

class HistoryTableTest : public ::testing::Test {
 protected:
  HistoryTable table;
};

void expectStartState(const HistoryTable& t) {
  EXPECT_EQ(t.increment(), 0x10000u);
  EXPECT_EQ(t.bound(), 0x10000u);
  EXPECT_EQ(t.shift(), 0);
  EXPECT_EQ(t.updateCount(), 0u);
  for (Move m = 0; m < HistoryTable::Size; ++m) {
    ASSERT_EQ(t.counter(m), 0u) << "index " << m;
    ASSERT_EQ(t.term(m), 0u) << "index " << m;
  }
}

TEST_F(HistoryTableTest, StartsAndResetsToZeroTerms) {
  expectStartState(table);
  for (int i = 0; i < 50; ++i) table.reward(E2E4, 40);
  table.noteNoCutoff();
  table.penalise(G1F3, 4);
  table.reset();
  expectStartState(table);
}

TEST(LegalityHistoryTableTest, IsOneProcessWideTableInStartState) {
  const HistoryTable& t = legalityHistoryTable();
  EXPECT_EQ(&t, &legalityHistoryTable());
  expectStartState(t);
}

// From a zero counter: depth -> counter, bound, shift and update steps after
// one reward. Depth 0 and 8 make one step; each further ply widens the budget
// quadratically while the step grows.
TEST_F(HistoryTableTest, RewardFromZeroCounter) {
  struct Case {
    int depth;
    uint32_t counter, bound;
    int shift;
    uint32_t steps;
  };
  const Case cases[] = {
      {0, 65536, 65536, 0, 1},   {7, 65536, 65536, 0, 1},   {8, 65536, 65536, 0, 1},
      {-8, 65536, 65536, 0, 1},  {16, 131072, 131072, 1, 2}, {24, 196608, 262144, 2, 3},
      {32, 262144, 262144, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    HistoryTable t;
    t.reward(E2E4, c.depth);
    EXPECT_EQ(t.counter(E2E4), c.counter);
    EXPECT_EQ(t.bound(), c.bound);
    EXPECT_EQ(t.shift(), c.shift);
    EXPECT_EQ(t.updateCount(), c.steps);
    EXPECT_EQ(t.term(E2E4), c.counter >> c.shift);
    EXPECT_EQ(t.counter(G1F3), 0u);
  }
}

TEST_F(HistoryTableTest, CountersAreKeyedByFromAndToOnly) {
  const Move queenPromotion = encodeMove(makeSquare(0, 7), makeSquare(0, 8), Pawn, Queen);
  const Move knightPromotion = encodeMove(makeSquare(0, 7), makeSquare(0, 8), Pawn, Knight);
  table.reward(queenPromotion, 8);
  EXPECT_EQ(table.term(knightPromotion), 65536u);
  const Move reversed = encodeMove(makeSquare(0, 8), makeSquare(0, 7), Queen);
  EXPECT_EQ(table.term(reversed), 0u);
}

TEST_F(HistoryTableTest, PenaliseTakesIntegerShare) {
  struct Case {
    int divisor;
    uint32_t expected;
  };
  // 65536 / 3 shows the share rounded down; divisors below 1 are ignored.
  const Case cases[] = {{4, 49152}, {8, 57344}, {3, 43691}, {1, 0}, {0, 65536}, {-4, 65536}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.divisor);
    HistoryTable t;
    t.reward(E2E4, 8);
    t.penalise(E2E4, c.divisor);
    EXPECT_EQ(t.counter(E2E4), c.expected);
  }
}

TEST_F(HistoryTableTest, IncrementGrowsOnlyAfterTwoUpdateSteps) {
  table.noteNoCutoff();
  EXPECT_EQ(table.increment(), 0x10000u);
  table.reward(E2E4, 8);  // one step
  table.noteNoCutoff();
  EXPECT_EQ(table.increment(), 0x10000u);
  EXPECT_EQ(table.updateCount(), 1u);
  table.reward(E2E4, 8);  // two steps in all
  table.noteNoCutoff();
  EXPECT_EQ(table.increment(), 0x10000u + 0x1000u);
  EXPECT_EQ(table.updateCount(), 0u);
  table.noteNoCutoff();  // count restarted: no growth
  EXPECT_EQ(table.increment(), 0x11000u);
  table.reward(G1F3, 8);
  EXPECT_EQ(table.counter(G1F3), 0x11000u);
}

// Once the counter exceeds the increment the step no longer grows, so the
// budget of depth 8 (one) pays for two steps.
TEST_F(HistoryTableTest, RewardOnRaisedCounterTakesMoreSteps) {
  table.reward(E2E4, 0);
  table.reward(E2E4, 0);
  ASSERT_EQ(table.counter(E2E4), 131072u);
  ASSERT_EQ(table.updateCount(), 2u);
  table.reward(E2E4, 8);
  EXPECT_EQ(table.counter(E2E4), 262144u);
  EXPECT_EQ(table.updateCount(), 4u);
  EXPECT_EQ(table.bound(), 262144u);
  EXPECT_EQ(table.shift(), 2);
}

// Depth 0 makes one step per reward; with the increment fixed at 65536 the
// counter passes 0x3c000000 on the 15361st reward, and everything is divided
// by 2048 at once.
TEST_F(HistoryTableTest, RescalesEveryCounterWhenOnePassesTheLimit) {
  table.reward(G1F3, 8);
  for (int i = 1; i <= 15360; ++i) {
    table.reward(E2E4, 0);
    ASSERT_LE(table.counter(E2E4), HistoryTable::CounterLimit);
  }
  EXPECT_EQ(table.counter(E2E4), 65536u * 15360u);
  EXPECT_EQ(table.bound(), 1u << 30);
  EXPECT_EQ(table.shift(), 14);

  table.reward(E2E4, 0);
  EXPECT_EQ(table.counter(E2E4), 65536u * 15361u >> 11);
  EXPECT_EQ(table.counter(G1F3), 65536u >> 11);
  EXPECT_EQ(table.increment(), 256u);  // 65536 >> 11 = 32, raised to the floor
  EXPECT_EQ(table.bound(), 1u << 19);
  EXPECT_EQ(table.shift(), 3);
  EXPECT_EQ(table.term(E2E4), (65536u * 15361u >> 11) >> 3);
  EXPECT_EQ(table.term(G1F3), 4u);
}

// Random rewards, penalties and no-cutoff notes at all depths: the counters
// never exceed the limit, the shift never goes negative, the bound stays a
// power of two above every counter and the increment never drops below 256
// once a rescale has happened.
TEST_F(HistoryTableTest, BoundsHoldUnderRandomUpdates) {
  std::mt19937 rng(12345);
  bool rescaled = false;
  for (int i = 0; i < 200000; ++i) {
    const Move m = rng() & 4095;
    switch (rng() % 4) {
      case 0:
      case 1: {
        const int before = table.shift();
        table.reward(m, int(rng() % 800) - 8);
        if (table.shift() < before) rescaled = true;
        break;
      }
      case 2:
        table.penalise(m, (rng() & 1) ? 4 : 8);
        break;
      default:
        table.noteNoCutoff();
    }
    ASSERT_GE(table.shift(), 0);
    ASSERT_LE(table.counter(m), HistoryTable::CounterLimit);
    ASSERT_LE(table.counter(m), table.bound());
    ASSERT_EQ(table.bound() & (table.bound() - 1), 0u);
    if (rescaled) {
      ASSERT_GE(table.increment(), HistoryTable::MinIncrement);
    }
  }
  EXPECT_TRUE(rescaled);
  for (Move m = 0; m < HistoryTable::Size; ++m) ASSERT_LE(table.counter(m), HistoryTable::CounterLimit);
}

}  // namespace
