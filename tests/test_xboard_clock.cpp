#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/xboard_clock.h"
#include "support/uci_lines.h"

namespace {

struct LevelCase {
  const char* text;  // after the word "level"
  bool accepted;
  TimePeriod periods[3];
  int64_t engineMs;
};

TEST(XboardClockTest, LevelReadsUpToThreePeriods) {
  const TimePeriod unused{-1, 0, 0};
  const LevelCase cases[] = {
      {" 40 5 0", true, {{40, 300000, 0}, unused, unused}, 300000},
      {" 0 2:30 12", true, {{0, 150000, 12000}, unused, unused}, 150000},
      {" 0 4:57 3.0", true, {{0, 297000, 3000}, unused, unused}, 297000},
      {" 0 0.5 0.05", true, {{0, 30000, 50}, unused, unused}, 30000},
      {" 40 120 0 20 60 0 0 30 10", true, {{40, 7200000, 0}, {20, 3600000, 0}, {0, 1800000, 10000}}, 7200000},
      {" 40 5", false, {unused, unused, unused}, 300000},
      {" 40 5 0 20", false, {unused, unused, unused}, 300000},
      {"", false, {unused, unused, unused}, 300000},
      {" x 5 0", false, {unused, unused, unused}, 300000},
      // Absurd numbers are bounded, never overflowed.
      {" 99999999999999 1e300 1e300", true,
       {{XboardClock::MaxMoves, double(XboardClock::MaxMs), double(XboardClock::MaxMs)}, unused, unused},
       XboardClock::MaxMs},
      {" 0 99999999999:99999999999 0", true, {{0, double(XboardClock::MaxMs), 0}, unused, unused}, XboardClock::MaxMs},
      {" 0 nan inf", true, {{0, 0, 0}, unused, unused}, 0},
  };
  for (const LevelCase& c : cases) {
    XboardClock clock;
    EXPECT_EQ(clock.setLevel(c.text), c.accepted) << c.text;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(clock.period(i).moves, c.periods[i].moves) << c.text << " period " << i;
      EXPECT_DOUBLE_EQ(clock.period(i).baseMs, c.periods[i].baseMs) << c.text << " period " << i;
      EXPECT_DOUBLE_EQ(clock.period(i).incrementMs, c.periods[i].incrementMs) << c.text << " period " << i;
    }
    EXPECT_EQ(clock.engineMs(), c.engineMs) << c.text;
  }
}

// Moves to go count down per full move and start again; the time of the
// next period is added with the last move of a period.
TEST(XboardClockTest, FortyMovesInFiveMinutesRepeats) {
  XboardClock clock;
  ASSERT_TRUE(clock.setLevel(" 40 5 0"));
  int movesToGo = 0;
  EXPECT_EQ(clock.currentPeriod(0, 0, movesToGo), 0);
  EXPECT_EQ(movesToGo, 40);
  clock.currentPeriod(1, 0, movesToGo);  // black to move after white's first
  EXPECT_EQ(movesToGo, 40);
  clock.currentPeriod(2, 0, movesToGo);
  EXPECT_EQ(movesToGo, 39);
  clock.currentPeriod(1, 1, movesToGo);  // a ponder move counted as played
  EXPECT_EQ(movesToGo, 39);
  clock.currentPeriod(78, 0, movesToGo);
  EXPECT_EQ(movesToGo, 1);
  clock.currentPeriod(80, 0, movesToGo);
  EXPECT_EQ(movesToGo, 40);
  // White's 40th move is played after 78 plies, black's after 79.
  EXPECT_EQ(clock.timeToAdd(76), 0);
  EXPECT_EQ(clock.timeToAdd(78), 300000);
  EXPECT_EQ(clock.timeToAdd(79), 300000);
  EXPECT_EQ(clock.timeToAdd(80), 0);
  EXPECT_EQ(clock.timeToAdd(158), 300000);
}

TEST(XboardClockTest, ThreePeriodsFollowEachOther) {
  XboardClock clock;
  ASSERT_TRUE(clock.setLevel(" 40 120 0 20 60 0 0 30 10"));
  int movesToGo = 0;
  EXPECT_EQ(clock.currentPeriod(78, 0, movesToGo), 0);
  EXPECT_EQ(movesToGo, 1);
  EXPECT_EQ(clock.currentPeriod(80, 0, movesToGo), 1);
  EXPECT_EQ(movesToGo, 20);
  EXPECT_EQ(clock.currentPeriod(118, 0, movesToGo), 1);
  EXPECT_EQ(movesToGo, 1);
  EXPECT_EQ(clock.currentPeriod(120, 0, movesToGo), 2);
  EXPECT_EQ(movesToGo, 0);
  EXPECT_EQ(clock.currentPeriod(400, 0, movesToGo), 2);
  EXPECT_EQ(movesToGo, 0);
  EXPECT_EQ(clock.timeToAdd(78), 3600000);   // the second period's base
  EXPECT_EQ(clock.timeToAdd(118), 1800000);  // the third period's base
  EXPECT_EQ(clock.timeToAdd(120), 10000);    // then the increment only
  // With the third period out of use the second one repeats.
  ASSERT_TRUE(clock.setLevel(" 40 120 0 20 60 0"));
  EXPECT_EQ(clock.currentPeriod(120, 0, movesToGo), 1);
  EXPECT_EQ(movesToGo, 20);
  EXPECT_EQ(clock.timeToAdd(118), 3600000);
}

TEST(XboardClockTest, EngineMovesChargeAndCredit) {
  XboardClock clock;
  ASSERT_TRUE(clock.setLevel(" 0 0:10 2"));
  clock.afterEngineMove(3000, 0);
  EXPECT_EQ(clock.engineMs(), 9000);
  // A clock that would fall to 100 ms is raised to 150 ms; one that is
  // already negative stays.
  clock.setClock(" 310");  // centiseconds
  EXPECT_EQ(clock.engineMs(), 3100);
  clock.afterEngineMove(5000, 10);
  EXPECT_EQ(clock.engineMs(), 150);
  clock.setClock(" 10");
  clock.afterEngineMove(3000, 10);
  EXPECT_EQ(clock.engineMs(), -900);
  clock.setClock(" 99999999999999999999");
  EXPECT_EQ(clock.engineMs(), XboardClock::MaxMs);
}

// Applies one xboard time-control command ("new" stands for the reset that
// "new" makes).
void apply(XboardClock& clock, const std::string& command) {
  const std::string word = command.substr(0, command.find(' '));
  const std::string rest = command.substr(word.size());
  if (word == "st") clock.setSearchTime(rest.c_str());
  else if (word == "sd") clock.setSearchDepth(rest.c_str());
  else if (word == "level") ASSERT_TRUE(clock.setLevel(rest.c_str())) << command;
  else if (word == "time") clock.setClock(rest.c_str());
  else if (word == "new") clock.reset();
  else FAIL() << command;
}

// st and sd hold together: a fixed time with a depth cap, in either order;
// "level" and "new" end both.
TEST(XboardClockTest, StAndSdMakeTheGoTextTogether) {
  const struct {
    std::vector<std::string> commands;
    bool ponder;
    std::vector<std::string> go;
  } cases[] = {
      {{"st 1", "sd 40"}, false, {"go", "movetime", "1000", "depth", "40"}},
      {{"sd 40", "st 1"}, false, {"go", "movetime", "1000", "depth", "40"}},
      {{"st 2.5"}, false, {"go", "movetime", "2500"}},
      {{"sd 7"}, false, {"go", "wtime", "300000", "btime", "300000", "winc", "0", "binc", "0", "depth", "7"}},
      {{"sd 7", "st 0"}, false, {"go", "wtime", "300000", "btime", "300000", "winc", "0", "binc", "0", "depth", "7"}},
      {{"st 1", "sd 40", "level 40 5 0"},
       false,
       {"go", "wtime", "300000", "btime", "300000", "winc", "0", "binc", "0", "movestogo", "40"}},
      {{"st 1", "sd 40", "new"}, false, {"go", "wtime", "300000", "btime", "300000", "winc", "0", "binc", "0"}},
      {{"level 0 1 2", "time 5000"}, true, {"go", "wtime", "50000", "btime", "50000", "winc", "2000", "binc", "2000",
                                            "ponder"}},
      // Absurd numbers are bounded.
      {{"sd 99999", "st 1e99"}, false, {"go", "movetime", std::to_string(XboardClock::MaxMs), "depth", "999"}},
  };
  for (const auto& c : cases) {
    XboardClock clock;
    for (const std::string& command : c.commands) apply(clock, command);
    char go[XboardClock::GoTextSize];
    clock.goText(0, c.ponder, 0, go);
    EXPECT_EQ(testsupport::splitWords(go), c.go) << c.commands.front() << " ... " << c.commands.back();
  }
}

}  // namespace
