#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "search/search_limits.h"
#include "search/time_manager.h"

namespace {

constexpr int64_t kUnlimited = SearchLimits::kUnlimitedTime;

// Clocks whose time the test sets, so no test waits or reads the real clock.
class FakeLimits : public SearchLimits {
 public:
  explicit FakeLimits(int maxDepth) : SearchLimits(maxDepth) {}
  int64_t clock = 0;

 protected:
  int64_t now() const override { return clock; }
};

class FakeTimeManager : public TimeManager {
 public:
  int64_t clock = 1000000;
  // Starts the watch at the current fake time and moves the clock on by el.
  void startThenAdvance(int64_t el) {
    start();
    clock += el;
  }

 protected:
  int64_t now() const override { return clock; }
};

TEST(TimeManagerTest, UnlimitedConstantsAreTheDocumentedValues) {
  EXPECT_EQ(SearchLimits::kUnlimitedTime, 35747326337155072LL);
  EXPECT_EQ(SearchLimits::kUnlimitedNodes, 9223090566172966912LL);
}

TEST(TimeManagerTest, TanhScaleFollowsTanhAndSaturates) {
  EXPECT_DOUBLE_EQ(tanhScale(0, 40.0, 1.0), 0.0);
  EXPECT_NEAR(tanhScale(1, 40.0, 1.0), 40.0 * std::tanh(1.0 / 40.0), 1e-12);
  EXPECT_NEAR(tanhScale(80, 27.5, 0.8), 27.5 * std::tanh(0.8 * 80 / 27.5), 1e-12);
  EXPECT_NEAR(tanhScale(-10, 40.0, 1.0), -tanhScale(10, 40.0, 1.0), 1e-12);
  EXPECT_DOUBLE_EQ(tanhScale(std::numeric_limits<int>::max(), 40.0, 1.0), 40.0);
  EXPECT_EQ(tanhScale(5, 0.0, 1.0), 0.0);  // no division by zero
}

TEST(TimeManagerTest, ConstructorLeavesEveryFieldDefined) {
  FakeTimeManager tm;
  EXPECT_EQ(tm.maxDepth(), 6);
  EXPECT_EQ(tm.targetTime(), kUnlimited);
  EXPECT_EQ(tm.softLimit(), kUnlimited);
  EXPECT_EQ(tm.hardLimit(), kUnlimited);
  EXPECT_EQ(tm.nodeLimit(), SearchLimits::kUnlimitedNodes);
  EXPECT_DOUBLE_EQ(tm.factor(), 10.0);
  EXPECT_TRUE(tm.ponder());  // the advertised default of the option
  EXPECT_FALSE(tm.running());
  EXPECT_EQ(tm.elapsed(), 0);
  tm.setPonder(false);
  EXPECT_FALSE(tm.ponder());
}

// The stopwatch: intervals add up, a second stop adds nothing, reset clears,
// and a clock set back never gives negative time.
TEST(SearchLimitsTest, StopwatchAccumulatesIntervals) {
  FakeLimits watch(32767);
  watch.clock = 1000;
  watch.start();
  watch.clock = 1500;
  EXPECT_TRUE(watch.running());
  EXPECT_EQ(watch.elapsed(), 500);
  watch.stop();
  EXPECT_FALSE(watch.running());
  watch.clock = 9000;
  EXPECT_EQ(watch.elapsed(), 500);
  watch.stop();
  EXPECT_EQ(watch.elapsed(), 500);

  watch.clock = 10000;
  watch.start();
  watch.clock = 10100;
  EXPECT_EQ(watch.elapsed(), 600);
  EXPECT_EQ(watch.sinceStart(), 100);
  watch.clock = 9000;  // the wall clock was set back
  EXPECT_EQ(watch.sinceStart(), 0);
  EXPECT_EQ(watch.elapsed(), 500);

  watch.reset();
  EXPECT_FALSE(watch.running());
  EXPECT_EQ(watch.elapsed(), 0);
}

TEST(SearchLimitsTest, BaseLimitsOnlyTheDepth) {
  FakeLimits limits(5);
  limits.start();
  limits.clock = kUnlimited;
  EXPECT_TRUE(limits.alwaysTrue());
  EXPECT_FALSE(limits.mustStop(true));
  EXPECT_FALSE(limits.stopIteration());
  EXPECT_FALSE(limits.softLimitReached());
  EXPECT_TRUE(limits.mayStartIteration(~uint64_t(0), 5, 0.0));
  EXPECT_FALSE(limits.mayStartIteration(0, 6, 75.0));
}

// The non-clock cases of allocate, including which one wins.
struct FixedCase {
  const char* name;
  bool ponder;
  int64_t time, increment;
  int movesToGo, depth;
  int64_t nodes;
  int mate;
  int64_t moveTime;
  bool infinite;
  int maxDepth;
  int64_t soft, hard, nodeLimit;
};

TEST(TimeManagerTest, FixedLimitsAndTheirPrecedence) {
  constexpr int64_t N = SearchLimits::kUnlimitedNodes;
  const FixedCase cases[] = {
      {"infinite beats all", false, 60000, 1000, 0, 5, 100, 3, 1000, true, 100, kUnlimited,
       kUnlimited, N},
      {"go infinite", true, 0, 0, 0, 0, 0, 0, 0, true, 100, kUnlimited, kUnlimited, N},
      {"mate 3 beats depth 5", false, 0, 0, 0, 5, 0, 3, 0, false, 6, kUnlimited, kUnlimited, N},
      {"mate beats movetime", false, 0, 0, 0, 0, 0, 2, 1000, false, 4, kUnlimited, kUnlimited, N},
      {"huge mate capped", false, 0, 0, 0, 0, 0, 20000, 0, false, 32767, kUnlimited, kUnlimited,
       N},
      {"depth 5", false, 0, 0, 0, 5, 0, 0, 0, false, 4, kUnlimited, kUnlimited, N},
      {"depth 1", false, 60000, 0, 0, 1, 0, 0, 0, false, 0, kUnlimited, kUnlimited, N},
      {"depth beats movetime", false, 0, 0, 0, 3, 0, 0, 1000, false, 2, kUnlimited, kUnlimited,
       N},
      {"movetime 1000 less its reserve", false, 0, 0, 0, 0, 0, 0, 1000, false, 100, 950, 950, N},
      {"movetime beats nodes and clock", false, 60000, 1000, 10, 0, 100, 0, 1, false, 100, 1, 1,
       N},
      {"nodes 100 raised to 500", false, 0, 0, 0, 0, 100, 0, 0, false, 100, kUnlimited,
       kUnlimited, 500},
      {"nodes 2000", false, 0, 0, 0, 0, 2000, 0, 0, false, 100, kUnlimited, kUnlimited, 2000},
      {"nodes beat the clock", false, 60000, 0, 0, 0, 5000, 0, 0, false, 100, kUnlimited,
       kUnlimited, 5000},
      {"negative depth, mate, nodes, movetime mean the clock is used", false, 60000, 0, 0, -4,
       -1, -2, -3, false, 100, 6650, 9975, N},
  };
  for (const FixedCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTimeManager tm;
    tm.setPonder(false);
    // Earlier limits must not survive into the next allocation.
    tm.allocate(false, 1000, 0, 1, 0, 0, 0, 0, false);
    tm.allocate(c.ponder, c.time, c.increment, c.movesToGo, c.depth, c.nodes, c.mate, c.moveTime,
                c.infinite);
    EXPECT_EQ(tm.maxDepth(), c.maxDepth);
    EXPECT_EQ(tm.softLimit(), c.soft);
    EXPECT_EQ(tm.hardLimit(), c.hard);
    EXPECT_EQ(tm.nodeLimit(), c.nodeLimit);
    if (c.soft == kUnlimited || c.moveTime > 0) {
      EXPECT_EQ(tm.targetTime(), kUnlimited);
      EXPECT_DOUBLE_EQ(tm.factor(), 10.0);
    }
  }
}

// A fixed time per move is answered within it: the search stops a tenth
// of the time (1 ms at least, 50 ms at most) before it, whatever the
// iteration found, and a clock with less time still cuts it.
TEST(TimeManagerTest, MoveTimeKeepsAReserveForTheAnswer) {
  const struct {
    int64_t moveTime, time;
    int64_t limit;
  } cases[] = {
      {1, TimeManager::kNoClock, 1},         {2, TimeManager::kNoClock, 1},
      {9, TimeManager::kNoClock, 8},         {10, TimeManager::kNoClock, 9},
      {100, TimeManager::kNoClock, 90},      {499, TimeManager::kNoClock, 450},
      {500, TimeManager::kNoClock, 450},     {1000, TimeManager::kNoClock, 950},
      {60000, TimeManager::kNoClock, 59950}, {1000, 0, 950},
      {1000, 500, 350},                      {1000, 100000, 950},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moveTime);
    SCOPED_TRACE(c.time);
    FakeTimeManager tm;
    tm.allocate(false, c.time, 0, 0, 0, 0, 0, c.moveTime, false);
    EXPECT_EQ(tm.softLimit(), c.limit);
    EXPECT_EQ(tm.hardLimit(), c.limit);
    EXPECT_EQ(tm.maxDepth(), 100);
    tm.startThenAdvance(c.limit - 1);
    EXPECT_FALSE(tm.mustStop(true));
    tm.startThenAdvance(c.limit);
    EXPECT_TRUE(tm.mustStop(false));
  }
}

// Clock allocations. t is the clock less its reserve (at least 50), f the
// factor, k = 1.6^(1 - f); raw target inc + t/f, raw soft 3 inc +
// t (k + (1 - k)/9), raw hard 5 inc + t (k + (1 - k)/6) (at most t), then
// soft <= hard/1.2, target <= soft/2 and soft <= 6 target.
struct ClockCase {
  const char* name;
  bool ponderOption;
  int64_t time, increment;
  int movesToGo;
  int64_t target, soft, hard;
};

TEST(TimeManagerTest, ClockAllocationTable) {
  const ClockCase cases[] = {
      // t = 59850, f = 40 tanh(2) + 0.1 = 38.6611, k = 2.05e-8: target 1548,
      // soft 59850/9 = 6650, hard 59850/6 = 9975; no correction applies.
      {"sudden death", false, 60000, 0, 0, 1548, 6650, 9975},
      // Three and five increments on soft and hard, one on the target.
      {"increment", false, 60000, 1000, 0, 2548, 9650, 14975},
      {"negative increment counts as 0", false, 60000, -500, 0, 1548, 6650, 9975},
      {"movestogo above 80 is 80", false, 60000, 0, 81, 1548, 6650, 9975},
      {"negative movestogo is 80", false, 60000, 0, -3, 1548, 6650, 9975},
      // f = 40 tanh(1) + 0.1 = 30.5638: target 59850/f = 1958.
      {"40 moves to go", false, 60000, 0, 40, 1958, 6650, 9975},
      // Ponder: f = 27.5 tanh(0.8 * 40 / 27.5) + 0.3 = 22.9111, k = 3.37e-5:
      // target 2612, soft 6651.79 -> 6651, hard 9976.68 -> 9976.
      {"40 moves to go with ponder", true, 60000, 0, 40, 2612, 6651, 9976},
      {"20 moves with increment and ponder", true, 300000, 2000, 20, 19870, 39740, 60372},
      // t = 3000 - 1100 = 1900, f = 2.0983, k = 0.59677: raw 905 / 1218 / 1261;
      // 1.2 * 1218 > 1261 gives soft 1050, then target 525.
      {"2 moves to go", false, 3000, 0, 2, 525, 1050, 1261},
      {"3 moves to go", false, 3000, 0, 3, 318, 636, 764},
      {"4 moves to go", false, 3000, 0, 4, 210, 421, 506},
      // t = 50 (100 - 700 raised), f = 1.0998, k = 0.95418: raw 45 / 47 / 48;
      // soft 48 / 1.2 = 40, target 20; hard stays within t.
      {"100 ms, 1 move to go", false, 100, 0, 1, 20, 40, 48},
      {"1000 ms, 1 move to go, ponder", true, 1000, 0, 1, 120, 240, 288},
      // t = 50, f = 38.66: target 50 / f = 1, soft 5, hard 8.
      {"100 ms sudden death: target 1", false, 100, 0, 0, 1, 5, 8},
      {"no clock named: planned as 100 ms", false, TimeManager::kNoClock, 0, 0, 1, 5, 8},
      {"movestogo 0 is 80", false, 100, 0, 0, 1, 5, 8},
      // An empty clock leaves nothing to plan with: answer at once.
      {"empty clock", false, 0, 0, 0, 0, 0, 0},
      {"negative clock plans like an empty one", false, -50, 0, 0, 0, 0, 0},
      {"empty clock with increment", false, 0, 1000, 0, 0, 0, 0},
      // 40 ms keeps a quarter back (10 ms): t = 30. The increment counts
      // half on a short clock: raw 5 / 15 + 3 / 25 + 5; then the soft limit
      // within the increment less the 5 ms lag allowance, the target half
      // of it, the hard limit three times the soft one.
      {"40 ms + 10 ms", false, 40, 10, 0, 2, 5, 15},
      // t = 30 - 7 = 23 (a quarter of 30 is more than the 5 ms lag).
      {"30 ms + 1000 ms", false, 30, 1000, 0, 9, 19, 23},
      // t = 50, the minimum time, still fits a 150 ms clock with 1 s
      // increment; the increment cannot lift the hard limit past it.
      {"150 ms + 1000 ms", false, 150, 1000, 0, 20, 41, 50},
      // A comfortable clock keeps the full increment: t = 850.
      {"1 s + 10 ms", false, 1000, 10, 0, 31, 124, 191},
      // Raw soft 3 * 5000 + 1094 = 16094 and hard 25000 + 1641 capped at
      // t = 9850; soft 9850 / 1.2 = 8208, target 4104.
      {"increment larger than the clock", false, 10000, 5000, 0, 4104, 8208, 9850},
  };
  for (const ClockCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTimeManager tm;
    tm.setPonder(c.ponderOption);
    tm.allocate(false, c.time, c.increment, c.movesToGo, 0, 0, 0, 0, false);
    EXPECT_EQ(tm.targetTime(), c.target);
    EXPECT_EQ(tm.softLimit(), c.soft);
    EXPECT_EQ(tm.hardLimit(), c.hard);
    EXPECT_EQ(tm.maxDepth(), 100);
    EXPECT_EQ(tm.nodeLimit(), SearchLimits::kUnlimitedNodes);
    EXPECT_GT(tm.factor(), 1.0);
  }
}

TEST(TimeManagerTest, PonderArgumentDoesNotChangeTheLimits) {
  FakeTimeManager tm;
  tm.setPonder(false);
  tm.allocate(true, 60000, 0, 40, 0, 0, 0, 0, false);
  EXPECT_EQ(tm.targetTime(), 1958);
  EXPECT_EQ(tm.softLimit(), 6650);
  EXPECT_EQ(tm.hardLimit(), 9975);
}

TEST(TimeManagerTest, ExtremeClockValuesDoNotOverflow) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const int64_t clocks[][2] = {{kMax, kMax}, {kMax, 0},        {0, kMax},        {kMin, kMin},
                               {kMin, kMax}, {kMin + 1, kMax}, {kMax, kMin + 1}};
  for (const auto& clock : clocks) {
    SCOPED_TRACE(testing::Message() << clock[0] << " + " << clock[1]);
    FakeTimeManager tm;
    tm.allocate(false, clock[0], clock[1], 0, 0, 0, 0, 0, false);
    EXPECT_GE(tm.targetTime(), 0);
    EXPECT_LE(2 * tm.targetTime(), tm.softLimit());
    EXPECT_LE(tm.softLimit(), tm.hardLimit());
    EXPECT_LE(tm.hardLimit(), clock[0] > 0 ? clock[0] : TimeManager::kMinimumTime);
    EXPECT_LE(tm.hardLimit(), TimeManager::kMaxClock);
  }
}

// Answers at chosen elapsed times: the search's questions under one
// allocation.
struct Question {
  int64_t elapsed;
  bool alphaRaised;
  bool mustStop, stopIteration;
};

TEST(TimeManagerTest, MustStopAndStopIterationAtChosenTimes) {
  FakeTimeManager tm;
  tm.allocate(false, 0, 0, 0, 0, 0, 0, 1000, false);  // movetime 1000: stops at 950
  const Question movetime[] = {
      {0, false, false, false},   {949, true, false, false},  {950, false, true, true},
      {950, true, true, true},    {5000, false, true, true},
  };
  for (const Question& q : movetime) {
    SCOPED_TRACE(q.elapsed);
    tm.startThenAdvance(q.elapsed);
    EXPECT_EQ(tm.mustStop(q.alphaRaised), q.mustStop);
    EXPECT_EQ(tm.stopIteration(), q.stopIteration);
    EXPECT_EQ(tm.softLimitReached(), q.stopIteration);
  }

  tm.allocate(false, 60000, 0, 0, 0, 0, 0, 0, false);  // soft 6650, hard 9975
  const Question clock[] = {
      {6649, true, false, false},  {6650, false, false, true}, {6650, true, true, true},
      {9974, false, false, true},  {9975, false, true, true},
  };
  for (const Question& q : clock) {
    SCOPED_TRACE(q.elapsed);
    tm.startThenAdvance(q.elapsed);
    EXPECT_EQ(tm.mustStop(q.alphaRaised), q.mustStop);
    EXPECT_EQ(tm.stopIteration(), q.stopIteration);
    EXPECT_EQ(tm.softLimitReached(), q.stopIteration);
  }
}

TEST(TimeManagerTest, TimeQuestionsMeasureFromTheLastStart) {
  FakeTimeManager tm;
  tm.allocate(false, 0, 0, 0, 0, 0, 0, 1000, false);
  tm.startThenAdvance(900);
  tm.stop();
  tm.startThenAdvance(900);  // 1800 in total, 900 since the start
  EXPECT_EQ(tm.elapsed(), 1800);
  EXPECT_FALSE(tm.mustStop(false));
  EXPECT_FALSE(tm.softLimitReached());
}

struct StartCase {
  int64_t elapsed;
  double changePercent;
  int iteration;
  uint64_t nodes;
  bool expected;
};

// Clock 60000, sudden death: target 1548, soft 6650. Another iteration
// starts while (x + 15) / (1.2 el + 0.001) > 26 / (1548 * 6 / 11) = 0.030792,
// that is el < 405.9 for x = 0 and el < 2435.7 for x = 75, and never once
// 2.2 el exceeds 6650 (el above 3022).
TEST(TimeManagerTest, MayStartIterationUnderTheClock) {
  const StartCase cases[] = {
      {0, 0.0, 1, 0, true},        {400, 0.0, 1, 0, true},       {410, 0.0, 1, 0, false},
      {2400, 75.0, 5, 0, true},    {2440, 75.0, 5, 0, false},    {3000, 100.0, 9, 0, true},
      {3030, 100.0, 9, 0, false},  {6650, 1000.0, 9, 0, false},  {0, -20.0, 1, 0, false},
      {0, 0.0, 100, 0, true},      {0, 0.0, 101, 0, false},
      {0, 0.0, 1, ~uint64_t(0), false},
      {0, std::numeric_limits<double>::quiet_NaN(), 1, 0, false},
  };
  FakeTimeManager tm;
  tm.setPonder(false);
  tm.allocate(false, 60000, 0, 0, 0, 0, 0, 0, false);
  for (const StartCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "el " << c.elapsed << " x " << c.changePercent << " i "
                                    << c.iteration);
    tm.startThenAdvance(c.elapsed);
    EXPECT_EQ(tm.mayStartIteration(c.nodes, c.iteration, c.changePercent), c.expected);
  }
}

// A target of 1 ms (clock 100, sudden death: soft 5) must give a defined
// answer: 15 / 0.001 beats 26 / (6 / 11) at once, 15 / 2.401 does not.
TEST(TimeManagerTest, MayStartIterationWithOneMillisecondTarget) {
  FakeTimeManager tm;
  tm.setPonder(false);
  tm.allocate(false, 100, 0, 0, 0, 0, 0, 0, false);
  ASSERT_EQ(tm.targetTime(), 1);
  tm.startThenAdvance(0);
  EXPECT_TRUE(tm.mayStartIteration(0, 1, 0.0));
  tm.startThenAdvance(2);
  EXPECT_FALSE(tm.mayStartIteration(0, 1, 75.0));
  tm.startThenAdvance(3);  // 2.2 * 3 > 5
  EXPECT_FALSE(tm.mayStartIteration(0, 1, 1e9));
}

TEST(TimeManagerTest, MayStartIterationUnderFixedLimits) {
  FakeTimeManager tm;
  tm.allocate(false, 0, 0, 0, 0, 100, 0, 0, false);  // nodes 100 -> 500
  tm.startThenAdvance(1000000000);
  EXPECT_TRUE(tm.mayStartIteration(499, 50, 0.0));
  EXPECT_FALSE(tm.mayStartIteration(500, 50, 0.0));

  tm.allocate(false, 0, 0, 0, 5, 0, 0, 0, false);  // depth 5 -> iterations 0 to 4
  tm.startThenAdvance(1000000);
  EXPECT_TRUE(tm.mayStartIteration(1000000000, 4, 0.0));
  EXPECT_FALSE(tm.mayStartIteration(0, 5, 75.0));

  // movetime 1000 (soft 950): no target, so only soft limit and the 2.2
  // rule decide.
  tm.allocate(false, 0, 0, 0, 0, 0, 0, 1000, false);
  tm.startThenAdvance(431);
  EXPECT_TRUE(tm.mayStartIteration(0, 3, 0.0));
  tm.startThenAdvance(432);
  EXPECT_FALSE(tm.mayStartIteration(0, 3, 0.0));
}

}  // namespace

namespace {

// Every clock from 0 to 300 ms, with and without increments and moves to
// go, with one and with eight threads, with and without the Ponder option:
// no limit reaches past the clock less the part kept back for lag, and a
// move time beside the clock is cut to the same bound.
TEST(TimeManagerTest, NoLimitReachesPastTheClockLessItsReserve) {
  for (int threads : {1, 8}) {
    for (bool ponderOption : {false, true}) {
      for (int64_t increment : {0, 1, 5, 10, 100, 1000}) {
        for (int movesToGo : {0, 1, 2, 5, 40}) {
          for (int64_t clock = 0; clock <= 300; ++clock) {
            SCOPED_TRACE(testing::Message() << clock << " + " << increment << ", " << movesToGo
                                            << " to go, " << threads << " threads");
            FakeTimeManager tm;
            tm.setThreads(threads);
            tm.setPonder(ponderOption);
            const int64_t reserve = tm.lagReserve(clock);
            EXPECT_GE(reserve, std::min<int64_t>(clock, TimeManager::kLagMs + threads - 1));
            EXPECT_GE(reserve, clock / 4);
            tm.allocate(false, clock, increment, movesToGo, 0, 0, 0, 0, false);
            EXPECT_GE(tm.targetTime(), 0);
            EXPECT_LE(tm.targetTime(), tm.softLimit());
            EXPECT_LE(tm.softLimit(), tm.hardLimit());
            EXPECT_LE(tm.hardLimit(), clock - reserve);
            tm.allocate(false, clock, increment, movesToGo, 0, 0, 0, 1000, false);
            EXPECT_LE(tm.hardLimit(), clock > 0 ? clock - reserve : 1000);
            EXPECT_EQ(tm.softLimit(), tm.hardLimit());
          }
        }
      }
    }
  }
}

// While the clock is short, the search plans with less than the increment
// (target and soft limit within it) so that the clock grows again; a
// comfortable clock keeps the full increment in its plan.
TEST(TimeManagerTest, AShortClockPlansWithinTheIncrement) {
  for (int64_t increment : {2, 5, 10, 30}) {
    for (int64_t clock = 0; clock < 400; ++clock) {
      SCOPED_TRACE(testing::Message() << clock << " + " << increment);
      FakeTimeManager tm;
      tm.setPonder(false);
      tm.allocate(false, clock, increment, 0, 0, 0, 0, 0, false);
      const int64_t budget = std::max(increment - tm.lagAllowance(), increment / 4);
      EXPECT_LE(tm.softLimit(), budget);
      EXPECT_LE(2 * tm.targetTime(), budget);
      EXPECT_LE(tm.hardLimit(), 3 * budget);
    }
  }
  FakeTimeManager tm;
  tm.setPonder(false);
  tm.allocate(false, 400, 10, 0, 0, 0, 0, 0, false);  // t = 250: comfortable
  EXPECT_GT(tm.targetTime(), 10);
  EXPECT_GT(tm.softLimit(), 10);
}

// More threads keep more back on a short clock; a long clock keeps its
// fixed reserve whatever the thread count.
TEST(TimeManagerTest, TheLagReserveGrowsWithTheThreads) {
  FakeTimeManager tm;
  EXPECT_EQ(tm.lagReserve(0), 0);
  EXPECT_EQ(tm.lagReserve(3), 3);
  EXPECT_EQ(tm.lagReserve(20), 5);
  EXPECT_EQ(tm.lagReserve(40), 10);
  tm.setThreads(8);
  EXPECT_EQ(tm.lagReserve(20), 12);
  EXPECT_EQ(tm.lagReserve(40), 12);
  EXPECT_EQ(tm.lagReserve(100), 25);
  tm.allocate(false, 20, 0, 0, 0, 0, 0, 0, false);
  EXPECT_LE(tm.hardLimit(), 8);
  tm.allocate(false, 60000, 0, 0, 0, 0, 0, 0, false);
  EXPECT_EQ(tm.hardLimit(), 9975);
}

}  // namespace

namespace {

// Time that passed on the interface's clock before the search could start
// counts against the limits of that one search.
TEST(TimeManagerTest, ChargedTimeCountsAgainstTheNextSearchOnly) {
  FakeTimeManager tm;
  tm.allocate(false, 0, 0, 0, 0, 0, 0, 100, false);  // movetime 100: stops at 90
  tm.chargeBeforeStart(30);
  tm.chargeBeforeStart(-5);  // nothing to take back
  tm.chargeBeforeStart(40);
  tm.startThenAdvance(19);
  EXPECT_EQ(tm.sinceStart(), 89);
  EXPECT_FALSE(tm.mustStop(false));
  tm.clock += 1;
  EXPECT_TRUE(tm.mustStop(false));
  tm.stop();
  tm.startThenAdvance(29);
  EXPECT_EQ(tm.sinceStart(), 29);
}

}  // namespace
