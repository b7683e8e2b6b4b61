#include "board/random_generator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

namespace {

using State = RandomGenerator::State;

bool sameState(const State& a, const State& b) {
  return a.r0 == b.r0 && a.r1 == b.r1 && a.r2 == b.r2;
}

RandomGenerator generatorAt(const State& s) {
  RandomGenerator g(1);
  g.setState(s);
  return g;
}

struct StepCase {
  const char* what;
  State before;
  State after;
};

// Worked by hand from the register rules: r0's feedback bit (bit 0 XOR bit
// 27) picks which of r1 and r2 moves.
const StepCase kStepCases[] = {
    {"all zero stays zero", {0, 0, 0}, {0, 0, 0}},
    {"feedback 1 sets r0's top bit and shifts r1", {0x00000001, 0x00000008, 5},
     {0x80000000, 0x00000001, 5}},
    {"r1 tap 17^0 feeds bit 29", {0x00000001, 0x00020000, 0}, {0x80000000, 0x20004000, 0}},
    {"r1 tap 18^1 feeds bit 30", {0x00000001, 0x00000002, 0}, {0x80000000, 0x40000000, 0}},
    {"r1 tap 19^2 feeds bit 31", {0x00000001, 0x00080000, 0}, {0x80000000, 0x80010000, 0}},
    {"bits 0 and 27 cancel, r2 moves", {0x08000001, 7, 0x80000000}, {0x04000000, 7, 0x00000002}},
    {"r2 tap 30^19 feeds bit 0", {0, 0, 0x40000000}, {0, 0, 0x00000001}},
    {"r2 taps in pairs cancel", {0, 0, 0x80100000}, {0, 0, 0x00400000}},
};

TEST(RandomGeneratorStep, FollowsTheRegisterRules) {
  for (const StepCase& c : kStepCases) {
    RandomGenerator g = generatorAt(c.before);
    const uint32_t out = g.next();
    EXPECT_TRUE(sameState(g.state(), c.after)) << c.what;
    EXPECT_EQ(out, c.after.r0 ^ c.after.r1 ^ c.after.r2) << c.what;
  }
}

TEST(RandomGeneratorSeed, SetsRegistersThenDiscardsTwentySteps) {
  RandomGenerator seeded(1);
  RandomGenerator manual = generatorAt({0x01234567, 0x89ABCDEF, 1});
  manual.skip(20);
  EXPECT_TRUE(sameState(seeded.state(), manual.state()));
}

TEST(RandomGeneratorSeed, SequenceAfterSeedOneIsFixed) {
  RandomGenerator g(1);
  const State s = g.state();
  EXPECT_EQ(s.r0, 0xDF587012u);
  EXPECT_EQ(s.r1, 0x439A6D12u);
  EXPECT_EQ(s.r2, 0x00004000u);
  const uint32_t expected[] = {0x07DF35ABu, 0x9FA451A6u, 0xD39C43A0u,
                               0xE0FFEEB5u, 0x33E4AA34u, 0xC8CCACF6u};
  for (uint32_t e : expected) EXPECT_EQ(g.next(), e);
}

TEST(RandomGeneratorSeed, EqualSeedsGiveEqualSequencesAndReseedRestarts) {
  RandomGenerator a(0xDEADBEEF);
  RandomGenerator b(0xDEADBEEF);
  RandomGenerator other(0xDEADBEEE);
  std::vector<uint32_t> first;
  bool differs = false;
  for (int i = 0; i < 100; ++i) {
    const uint32_t x = a.next();
    first.push_back(x);
    EXPECT_EQ(x, b.next());
    differs = differs || x != other.next();
  }
  EXPECT_TRUE(differs);
  a.seed(0xDEADBEEF);
  for (uint32_t x : first) EXPECT_EQ(a.next(), x);
}

TEST(RandomGeneratorSeed, ZeroTakesTheClock) {
  // The third register comes from the clock, which is never 0 here; the
  // other two start fixed, so the state after seeding is never all zero.
  RandomGenerator g(0);
  const State s = g.state();
  EXPECT_FALSE(s.r0 == 0 && s.r1 == 0 && s.r2 == 0);
}

// Seedings from the clock in quick succession, far more than one per
// clock tick of a second's resolution, all start different sequences.
// Seedings from the clock within one tick (the same nanoseconds) differ by
// their count alone; the bits they are cut from are then never equal.
// Whole 32-bit seeds may meet by chance and are not compared.
TEST(RandomGeneratorSeed, ClockSeedingsInOneTickGetDistinctBits) {
  const uint64_t clocks[] = {0, 1765400000123456789ull, ~0ull};
  std::set<uint64_t> all;
  for (const uint64_t nanoseconds : clocks) {
    std::set<uint64_t> bits;
    for (uint64_t count = 1; count <= 1000; ++count) bits.insert(RandomGenerator::clockSeedBits(nanoseconds, count));
    EXPECT_EQ(bits.size(), 1000u) << nanoseconds;
    all.insert(bits.begin(), bits.end());
  }
  // Counts that follow one another a nanosecond apart neither.
  for (uint64_t count = 1; count <= 1000; ++count) all.insert(RandomGenerator::clockSeedBits(count, count));
  EXPECT_EQ(all.size(), 4000u);
}

TEST(RandomGeneratorInstance, IsOneObject) {
  RandomGenerator& a = RandomGenerator::instance();
  RandomGenerator& b = RandomGenerator::instance();
  EXPECT_EQ(&a, &b);
}

TEST(RandomGeneratorDraws, SkipAndNext64AdvanceByTheirSteps) {
  RandomGenerator stepped(42);
  RandomGenerator skipped(42);
  for (int i = 0; i < 37; ++i) stepped.next();
  skipped.skip(37);
  EXPECT_TRUE(sameState(stepped.state(), skipped.state()));
  skipped.skip(0);
  skipped.skip(-3);
  EXPECT_TRUE(sameState(stepped.state(), skipped.state()));

  RandomGenerator wide(42);
  RandomGenerator reference(42);
  uint64_t x[32] = {};
  for (int i = 1; i <= 31; ++i) x[i] = reference.next();
  EXPECT_EQ(wide.next64(), x[1] ^ (x[17] << 22) ^ (x[31] << 43));
  EXPECT_TRUE(sameState(wide.state(), reference.state()));

  RandomGenerator fixed(1);
  EXPECT_EQ(fixed.next64(), 0x4608BE0E3C5F35ABull);
}

struct RangeCase {
  const char* what;
  uint32_t a;
  uint32_t b;
};

const RangeCase kRangeCases[] = {
    {"single value", 5, 5},
    {"digit", 0, 9},
    {"offset span", 1000, 1999},
    {"top of the range", 0xFFFFFFF0u, 0xFFFFFFFFu},
    {"whole range", 0, 0xFFFFFFFFu},
    {"all but zero", 1, 0xFFFFFFFFu},
    {"empty range", 9, 3},
};

// The value range() must give for step output x.
uint32_t expectedRange(uint32_t a, uint32_t b, uint32_t x) {
  if (a > b) return a;
  if (a == 0 && b == 0xFFFFFFFFu) return x;
  return a + x % (b - a + 1);
}

TEST(RandomGeneratorRange, TakesOneStepAndStaysInBounds) {
  for (const RangeCase& c : kRangeCases) {
    RandomGenerator g(77);
    RandomGenerator twin(77);
    for (int i = 0; i < 200; ++i) {
      const uint32_t x = twin.next();
      const uint32_t r = g.range(c.a, c.b);
      EXPECT_EQ(r, expectedRange(c.a, c.b, x)) << c.what;
      if (c.a <= c.b) {
        EXPECT_GE(r, c.a) << c.what;
        EXPECT_LE(r, c.b) << c.what;
      }
      ASSERT_TRUE(sameState(g.state(), twin.state())) << c.what;
    }
  }
}

TEST(RandomGeneratorRange, DigitsAllOccur) {
  RandomGenerator g(3);
  bool seen[10] = {};
  for (int i = 0; i < 500; ++i) seen[g.range(0, 9)] = true;
  for (bool s : seen) EXPECT_TRUE(s);
}

TEST(RandomGeneratorUniform, ReachesBothEnds) {
  // From all-zero registers the next output is 0; with r1 all ones and the
  // others zero it is 0xFFFFFFFF.
  RandomGenerator low = generatorAt({0, 0, 0});
  EXPECT_EQ(low.uniform(0.0, 1.0), 0.0);
  RandomGenerator high = generatorAt({0, 0xFFFFFFFFu, 0});
  EXPECT_EQ(high.uniform(0.0, 1.0), 1.0);
  RandomGenerator highSpan = generatorAt({0, 0xFFFFFFFFu, 0});
  EXPECT_EQ(highSpan.uniform(0.48, 0.52), 0.52);
}

TEST(RandomGeneratorUniform, ScalesTheStepOutput) {
  RandomGenerator g(5);
  RandomGenerator twin(5);
  for (int i = 0; i < 200; ++i) {
    const double x = twin.next();
    const double u = g.uniform(1.18, 1.22);
    EXPECT_NEAR(u, 1.18 + x / 4294967295.0 * 0.04, 1e-15);
    EXPECT_GE(u, 1.18);
    EXPECT_LE(u, 1.22);
  }
}

}  // namespace
