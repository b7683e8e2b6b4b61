#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/engine_output.h"
#include "protocol/uci_output.h"
#include "search/time_manager.h"
#include "support/engine_fixture.h"

namespace {

using testsupport::Capturing;

// The base with the search-facing operations stubbed out, so that the
// writer and the repeat filter can be tested alone.
class PlainOutput : public EngineOutput {
 public:
  void printPv(Searcher&, int, int, int) override {}
  void printCurrentMove(Move, int) override {}
  void printBestMove(const Move*, const Move*) override {}
  void printStatus() override {}
  void snapshotPosition() override {}
};

std::string collapsed(std::string s) {
  std::vector<char> buffer(s.begin(), s.end());
  buffer.push_back(0);
  collapseSpaces(buffer.data());
  return buffer.data();
}

TEST(CollapseSpacesTest, SqueezesEveryRunOfBlanksOnly) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"time             3", "time 3"},
      {"info depth 1 time 5", "info depth 1 time 5"},
      {"   leading", " leading"},
      {"trailing    ", "trailing "},
      {"a \t  b", "a \t b"},
      {"", ""},
      {"     ", " "},
      {"x  y  z", "x y z"},
  };
  for (const auto& c : cases) EXPECT_EQ(collapsed(c.in), c.out) << '"' << c.in << '"';
}

class RepeatFilterTest : public ::testing::Test {
 protected:
  PlainOutput out;
  std::vector<Move> pv(int n, Move salt = 0) {
    std::vector<Move> moves;
    for (int i = 0; i < n; ++i) moves.push_back(encodeMove(i % 64, (i + 8) % 64, Knight) + salt * (i >= 20));
    return moves;
  }
};

TEST_F(RepeatFilterTest, NothingRepeatsBeforeTheFirstVariation) {
  EXPECT_FALSE(out.isRepeatedPv(nullptr, 0, 0));
  EXPECT_FALSE(out.isRepeatedPv(pv(3).data(), 3, 0));
}

TEST_F(RepeatFilterTest, ScoresWithinFifteenRepeat) {
  const std::vector<Move> moves = pv(4);
  out.rememberPv(moves.data(), 4, 100);
  EXPECT_TRUE(out.isRepeatedPv(moves.data(), 4, 100));
  EXPECT_TRUE(out.isRepeatedPv(moves.data(), 4, 115));
  EXPECT_TRUE(out.isRepeatedPv(moves.data(), 4, 85));
  EXPECT_FALSE(out.isRepeatedPv(moves.data(), 4, 116));
  EXPECT_FALSE(out.isRepeatedPv(moves.data(), 4, 84));
  EXPECT_FALSE(out.isRepeatedPv(moves.data(), 3, 100));  // another length
  std::vector<Move> other = moves;
  other[2] ^= 1;
  EXPECT_FALSE(out.isRepeatedPv(other.data(), 4, 100));
}

TEST_F(RepeatFilterTest, MateScoresMustBeEqual) {
  const std::vector<Move> moves = pv(2);
  out.rememberPv(moves.data(), 2, MateScore - 5);
  EXPECT_TRUE(out.isRepeatedPv(moves.data(), 2, MateScore - 5));
  EXPECT_FALSE(out.isRepeatedPv(moves.data(), 2, MateScore - 4));
  out.rememberPv(moves.data(), 2, -MateScore + 6);
  EXPECT_FALSE(out.isRepeatedPv(moves.data(), 2, -MateScore + 7));
}

TEST_F(RepeatFilterTest, OnlyTheFirstTwentyMovesCount) {
  const std::vector<Move> a = pv(25, 0), b = pv(25, 7);
  out.rememberPv(a.data(), 25, 0);
  EXPECT_TRUE(out.isRepeatedPv(b.data(), 25, 0));
  EXPECT_FALSE(out.isRepeatedPv(b.data(), 24, 0));
}

TEST_F(RepeatFilterTest, EmptyVariationsRepeatWhenScoresAgree) {
  out.rememberPv(nullptr, 0, 40);
  EXPECT_TRUE(out.isRepeatedPv(nullptr, 0, 50));
  EXPECT_FALSE(out.isRepeatedPv(nullptr, 0, 60));
}

TEST(EngineOutputTest, SilentOutputWritesNothingFromAnyThread) {
  Capturing<PlainOutput> out;
  out.writeLine("one");
  out.setSilent(true);
  EXPECT_TRUE(out.isSilent());
  out.writeLine("muted");
  std::thread other([&out] { out.writeLine("muted too"); });
  other.join();
  out.setSilent(false);
  out.writeLine("two");
  EXPECT_EQ(out.lines(), (std::vector<std::string>{"one", "two"}));
}

TEST(EngineOutputTest, LinesOfManyThreadsStayWhole) {
  Capturing<PlainOutput> out;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&out, t] {
      for (int i = 0; i < 200; ++i) out.writeLine(("thread " + std::to_string(t)).c_str());
    });
  for (std::thread& t : threads) t.join();
  const std::vector<std::string> lines = out.lines();
  EXPECT_EQ(lines.size(), 800u);
  for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, std::regex("thread [0-3]"))) << l;
}

TEST(UciScoreTest, ScoreTextsFollowTheirRules) {
  const struct {
    int score, alpha, beta;
    const char* text;
  } cases[] = {
      {1, -500001, 500001, " score cp 0"},
      {-1, -500001, 500001, " score cp 0"},
      {0, -500001, 500001, " score cp 0"},
      {10, -500001, 500001, " score cp 1"},
      {11, -500001, 500001, " score cp 2"},
      {-11, -500001, 500001, " score cp -2"},
      {1234, -500001, 500001, " score cp 124"},
      {MateScore - 1, -500001, 500001, " score mate 1"},
      {MateScore - 3, -500001, 500001, " score mate 2"},
      {-MateScore + 2, -500001, 500001, " score mate -1"},
      {-MateScore + 5, -500001, 500001, " score mate -3"},
      {50, 0, 50, " score cp 5 lowerbound"},
      {50, 50, 60, " score cp 5 upperbound"},
      {50, 49, 51, " score cp 5"},
  };
  for (const auto& c : cases) {
    char buffer[100] = "";
    appendUciScore(buffer, sizeof buffer, c.score, c.alpha, c.beta);
    EXPECT_STREQ(buffer, c.text) << c.score;
  }
}

TEST(UciScoreTest, NeverWritesPastTheBuffer) {
  char buffer[12] = "info";
  appendUciScore(buffer, sizeof buffer, 123456, -500001, 0);
  EXPECT_EQ(std::strlen(buffer), 11u);
}

TEST(UciTestOutputTest, WritesOnlyItsTimingLines) {
  TimeManager clock;
  Capturing<UciTestOutput> out(nullptr, &clock);
  out.writeLine("uciok");
  out.writeLine("bestmove e2e4");
  clock.start();
  out.printStatus();
  out.printStatus();
  const std::vector<std::string> lines = out.lines();
  ASSERT_EQ(lines.size(), 2u);
  const std::regex timing(R"(   [12] +\d+\.\d{8} +\d+\.\d{10} +\d+\.\d{8})");
  EXPECT_TRUE(std::regex_match(lines[0], timing)) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], timing)) << lines[1];
  EXPECT_EQ(lines[0].substr(0, 4), "   1");
  EXPECT_EQ(lines[1].substr(0, 4), "   2");
}

}  // namespace
