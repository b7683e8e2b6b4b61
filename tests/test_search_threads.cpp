// The search thread, the helper threads and the commands that reach them
// while they run. These tests are also the ThreadSanitizer workload.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "support/engine_fixture.h"
#include "support/temp_text_file.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineObjects;
using testsupport::positionOf;
using testsupport::startsWith;
using testsupport::TempDirectory;

// A position with one legal move (the king must go to h7) and one with a
// mate in one: a search of either ends at once unless held back.
const char* const OnlyMove = "position fen 7k/8/8/8/8/8/8/K5R1 b - - 0 1";
const char* const MateInOne = "position fen 6k1/5ppp/8/8/8/8/8/K3R3 w - - 0 1";

class SearchThreadsTest : public ::testing::Test {
 protected:
  EngineObjects engine;

  int bestMoves() { return engine.output.countStartingWith("bestmove"); }

  // Every line written so far is well formed for the root of line.
  void checkLines(const std::string& positionLine) {
    const Position root = positionOf(positionLine);
    for (const std::string& l : engine.output.lines()) {
      if (startsWith(l, "bestmove")) {
        EXPECT_TRUE(testsupport::checkBestMove(l, root, false)) << l;
      } else if (startsWith(l, "info")) {
        EXPECT_TRUE(testsupport::checkInfoLine(l, root)) << l;
      }
    }
  }
};

TEST_F(SearchThreadsTest, StopPrintsTheBestMoveBeforeItReturns) {
  engine.line("position startpos");
  engine.line("go infinite");
  EXPECT_TRUE(engine.controller.isRunning());
  usleep(50000);
  EXPECT_EQ(bestMoves(), 0);
  engine.line("stop");
  EXPECT_EQ(bestMoves(), 1);
  EXPECT_FALSE(engine.controller.isRunning());
  checkLines("position startpos");
}

TEST_F(SearchThreadsTest, InfiniteAndPonderSearchesHoldTheirAnswer) {
  for (const char* position : {OnlyMove, MateInOne}) {
    for (const char* go : {"go infinite", "go ponder wtime 1000 btime 1000"}) {
      engine.output.take();
      engine.line(position);
      engine.line(go);
      usleep(100000);
      EXPECT_EQ(bestMoves(), 0) << position << " / " << go;
      EXPECT_TRUE(engine.controller.isRunning()) << position << " / " << go;
      engine.line("isready");
      EXPECT_TRUE(engine.output.waitFor("readyok"));
      engine.line("stop");
      EXPECT_EQ(bestMoves(), 1) << position << " / " << go;
      checkLines(position);
    }
  }
}

TEST_F(SearchThreadsTest, PonderhitLetsAHeldAnswerGo) {
  engine.line(OnlyMove);
  engine.line("go ponder wtime 1000 btime 1000");
  usleep(50000);
  EXPECT_EQ(bestMoves(), 0);
  engine.line("ponderhit");
  EXPECT_TRUE(engine.output.waitFor("bestmove h8h7"));
  EXPECT_TRUE(engine.waitIdle());
  engine.line("stop");
  EXPECT_EQ(bestMoves(), 1);
}

TEST_F(SearchThreadsTest, PonderhitContinuesUnderTheTimeLimits) {
  engine.line("position startpos moves e2e4");
  engine.line("go ponder wtime 2000 btime 2000 winc 10 binc 10");
  usleep(30000);
  engine.line("ponderhit");
  EXPECT_TRUE(engine.output.waitFor("bestmove"));
  EXPECT_TRUE(engine.waitIdle());
  EXPECT_EQ(bestMoves(), 1);
  checkLines("position startpos moves e2e4");
}

TEST_F(SearchThreadsTest, ASearchThatEndsByItselfReportsItsStatusOnce) {
  engine.line("position startpos");
  engine.line("go depth 4");
  ASSERT_TRUE(engine.output.waitFor("bestmove"));
  ASSERT_TRUE(engine.waitIdle());
  engine.line("stop");  // finds nothing to join
  const std::vector<std::string> lines = engine.output.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(bestMoves(), 1);
  EXPECT_TRUE(startsWith(lines.back(), "bestmove"));
  // Variations and the status have their fields in a fixed order, the
  // moves of a variation last (interfaces read the rest of the line after
  // "pv" as moves); the status gives the finished iterations without the
  // one added to PVs.
  const std::regex pvLine(
      R"(info depth \d+ seldepth \d+ time \d+ nodes \d+ score (cp|mate) -?\d+( lowerbound| upperbound)? )"
      R"(hashfull \d+ nps \d+ pv( [a-h][1-8][a-h][1-8][qrbn]?)+)");
  const std::regex statusLine(
      R"(info depth 4 seldepth \d+ time \d+ nodes \d+ hashfull \d+ nps \d+ score (cp|mate) -?\d+( lowerbound| upperbound)?)");
  for (size_t i = 0; i + 2 < lines.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], pvLine)) << lines[i];
  EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], statusLine)) << lines[lines.size() - 2];
  checkLines("position startpos");
}

TEST_F(SearchThreadsTest, CurrentMovesShowEarlyOnlyInDebugMode) {
  engine.line("position startpos");
  engine.line("go depth 4");
  ASSERT_TRUE(engine.output.waitFor("bestmove"));
  ASSERT_TRUE(engine.waitIdle());
  EXPECT_EQ(engine.output.countStartingWith("info currmove"), 0);
  engine.line("debug on");
  engine.line("go depth 4");
  ASSERT_TRUE(engine.output.waitFor("bestmove"));
  ASSERT_TRUE(engine.waitIdle());
  EXPECT_GT(engine.output.countStartingWith("info currmove"), 0);
  checkLines("position startpos");
}

TEST_F(SearchThreadsTest, AStoppedSearchAnswersWithoutStatus) {
  engine.line("position startpos");
  engine.line("go infinite");
  usleep(20000);
  engine.line("stop");
  const std::vector<std::string> lines = engine.output.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(startsWith(lines.back(), "bestmove")) << lines.back();
  for (const std::string& l : lines) EXPECT_FALSE(startsWith(l, "info") && l.find(" pv ") == std::string::npos) << l;
}

TEST_F(SearchThreadsTest, ASearchStoppedBeforeItBeganStillPlaysARootMove) {
  engine.line("position startpos moves e2e4");
  engine.searcher.setupRootMoves();
  engine.clock.allocate(false, 0, 0, 0, 0, 0, 0, 0, true);
  engine.clock.start();
  engine.searcher.startSearch(false);
  engine.searcher.requestStop();
  engine.controller.run();
  const std::vector<std::string> lines = engine.output.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0], "bestmove 0000");
  EXPECT_TRUE(testsupport::checkBestMove(lines[0], positionOf("position startpos moves e2e4"), false)) << lines[0];
}

// The earlier search answers before the new one starts, so each "go" has
// its bestmove.
TEST_F(SearchThreadsTest, GoDuringASearchAnswersItFirst) {
  engine.line("setoption name NumberOfProcessors value 3");
  engine.line("position startpos");
  engine.line("go infinite");
  usleep(20000);
  engine.line("go depth 3");
  EXPECT_GE(bestMoves(), 1);  // the first answer came before "go" returned
  ASSERT_TRUE(engine.waitIdle());
  EXPECT_EQ(bestMoves(), 2);
}

TEST_F(SearchThreadsTest, EveryGoStopPairAnswersOnceWithAnyThreadCount) {
  int expected = 0;
  for (int threads : {1, 3, 8, 2}) {
    engine.line("setoption name NumberOfProcessors value " + std::to_string(threads));
    for (int i = 0; i < 12; ++i) {
      engine.line(i % 2 ? "position startpos moves e2e4" : "position startpos");
      engine.line(i % 3 ? "go infinite" : "go wtime 60000 btime 60000");
      if (i % 4) usleep(1000 * (i % 5));
      engine.line("stop");
      ++expected;
      EXPECT_EQ(bestMoves(), expected) << threads << " threads, round " << i;
    }
  }
  EXPECT_FALSE(engine.controller.isRunning());
  // Even a search stopped at once plays one of its moves.
  EXPECT_EQ(engine.output.countStartingWith("bestmove 0000"), 0);
}

TEST_F(SearchThreadsTest, PonderhitRacesWithTheSearchItHits) {
  engine.line("setoption name NumberOfProcessors value 2");
  for (int i = 0; i < 16; ++i) {
    engine.line(i % 2 ? OnlyMove : "position startpos moves d2d4");
    engine.line("go ponder wtime 300 btime 300");
    if (i % 3) usleep(500 * i);
    engine.line("ponderhit");
    ASSERT_TRUE(engine.output.waitFor("bestmove"));
    ASSERT_TRUE(engine.waitIdle());
    EXPECT_EQ(bestMoves(), 1) << i;
    engine.output.take();
  }
}

TEST_F(SearchThreadsTest, CommandsDuringASearchLeaveItRunningOrStopIt) {
  engine.line("setoption name NumberOfProcessors value 3");
  engine.line("position startpos");
  engine.line("go infinite");
  // These leave the search running.
  for (const char* line : {"isready", "setoption name Clear Hash", "setoption name TimeLogfile value /dev/null",
                           "setoption name Resign value 800", "setoption name AlwaysClearHash value false",
                           "setoption name Ponder value false", "setoption name UCI_Chess960 value false",
                           "setoption name NoOutput value false", "setoption name Opponent value Someone",
                           "setoption name blocking value false", "debug on", "debug off", "ponderhit", "foo"}) {
    engine.line(line);
    EXPECT_TRUE(engine.controller.isRunning()) << line;
  }
  EXPECT_EQ(engine.searcher.resignThreshold(), -7000);  // reaches the searcher once it is idle
  EXPECT_TRUE(engine.output.waitFor("readyok"));
  engine.line("stop");
  EXPECT_EQ(bestMoves(), 1);
  // These stop it without an answer.
  for (const char* line : {"position startpos moves e2e4", "ucinewgame", "perft depth 2"}) {
    engine.line("go infinite");
    usleep(2000);
    engine.line(line);
    EXPECT_FALSE(engine.controller.isRunning()) << line;
  }
  EXPECT_EQ(bestMoves(), 1);
  // These stop it the way "stop" does, with its answer.
  const char* stoppers[] = {"setoption name Hash value 2", "setoption name MultiPV value 2",
                            "setoption name NumberOfProcessors value 2", "setoption name NeuroMaterial value 30",
                            "setoption name NeuroWidth value 400", "setoption name MaterialFile value (internal)",
                            "setoption name OwnBook value false", "setoption name BookFile value x.opn"};
  int answers = 1;
  for (const char* line : stoppers) {
    engine.line("go infinite");
    usleep(2000);
    engine.line(line);
    EXPECT_FALSE(engine.controller.isRunning()) << line;
    EXPECT_EQ(bestMoves(), ++answers) << line;
  }
  EXPECT_EQ(engine.searcher.resignThreshold(), -8000);
  EXPECT_EQ(engine.output.countStartingWith("readyok"), 1);
}

TEST_F(SearchThreadsTest, OptionsTheSearchReadsWaitUntilItEnds) {
  // The option opens the log at once, so it lies in a directory of the
  // test's own.
  TempDirectory logDirectory;
  ASSERT_TRUE(logDirectory.ok());
  const std::string log = logDirectory.path("deferred.log");
  engine.line("position startpos");
  engine.line("go infinite");
  engine.line("setoption name TimeLogfile value " + log);
  engine.line("setoption name AlwaysClearHash value true");
  EXPECT_STREQ(engine.searcher.timeLogfile(), "");
  EXPECT_EQ(engine.searcher.alwaysClearHash(), 0);
  engine.line("stop");
  EXPECT_EQ(engine.searcher.timeLogfile(), log);
  EXPECT_EQ(engine.searcher.alwaysClearHash(), 1);
}

TEST_F(SearchThreadsTest, QuitDuringASearchEndsItWithoutAnswer) {
  engine.line("setoption name NumberOfProcessors value 4");
  engine.line("position startpos");
  engine.line("go infinite");
  usleep(20000);
  engine.line("quit");
  EXPECT_TRUE(engine.controller.quitRequested());
  EXPECT_FALSE(engine.controller.isRunning());
  EXPECT_EQ(bestMoves(), 0);
  engine.line("isready");  // the output stays muted
  EXPECT_EQ(engine.output.countStartingWith("readyok"), 0);
}

TEST_F(SearchThreadsTest, HelpersSearchTheSameRootAsTheMaster) {
  engine.line("setoption name NumberOfProcessors value 4");
  engine.line("position startpos moves g1f3 d7d5");
  engine.line("go depth 5");
  ASSERT_TRUE(engine.output.waitFor("bestmove"));
  ASSERT_TRUE(engine.waitIdle());
  for (int j = 0; j < 3; ++j) EXPECT_EQ(engine.controller.helper(j)->position().hashKey, engine.searcher.position().hashKey);
  checkLines("position startpos moves g1f3 d7d5");
}

// The clock keeps back more for more threads; a search that must end within
// a few milliseconds leaves the helpers waiting (they are not even given the
// new root), and a longer one wakes them again (the same helper threads,
// search after search).
TEST_F(SearchThreadsTest, HelpersSitOutASearchThatMustEndAtOnce) {
  engine.line("setoption name NumberOfProcessors value 8");
  EXPECT_EQ(engine.clock.threads(), 8);
  engine.line("position startpos moves e2e4");
  engine.line("go wtime 30 btime 30 winc 5 binc 5");
  ASSERT_TRUE(engine.output.waitFor("bestmove"));
  ASSERT_TRUE(engine.waitIdle());
  EXPECT_LT(engine.clock.hardLimit(), 20);
  for (int j = 0; j < 7; ++j) EXPECT_NE(engine.controller.helper(j)->position().hashKey, engine.searcher.position().hashKey);
  for (const char* position : {"position startpos moves e2e4", "position startpos moves d2d4", "position startpos"}) {
    engine.output.take();
    engine.line(position);
    engine.line("go depth 4");
    ASSERT_TRUE(engine.output.waitFor("bestmove"));
    ASSERT_TRUE(engine.waitIdle());
    for (int j = 0; j < 7; ++j)
      EXPECT_EQ(engine.controller.helper(j)->position().hashKey, engine.searcher.position().hashKey) << position;
    checkLines(position);
  }
  engine.line("setoption name NumberOfProcessors value 1");
  EXPECT_EQ(engine.clock.threads(), 1);
}

// The helper half of a search on its own: the helpers search the master's
// root on the helper clock until they are told to stop, and stopHelpers
// returns only after every one of them has ended its search.
TEST_F(SearchThreadsTest, HelpersStartAndStopAsAnOperationOfTheirOwn) {
  for (const char* position : {"position startpos moves e2e4", "position startpos moves d2d4 g8f6"}) {
    // New helpers, which have searched nothing: the search that sets the
    // master's root list is too short for them.
    engine.line("setoption name NumberOfProcessors value 4");
    engine.line(position);
    engine.line("go depth 1 wtime 20 btime 20");
    ASSERT_TRUE(engine.output.waitFor("bestmove"));
    ASSERT_TRUE(engine.waitIdle());
    for (int j = 0; j < 3; ++j) ASSERT_EQ(engine.controller.helper(j)->nodes(), 0u);

    engine.clock.allocate(false, TimeManager::kNoClock, 0, 0, 0, 0, 0, 0, true);
    ASSERT_EQ(engine.controller.startHelpers(), 3) << position;
    EXPECT_TRUE(engine.controller.helperClock().running());
    for (int j = 0; j < 3; ++j) {
      Searcher* helper = engine.controller.helper(j);
      for (int wait = 0; wait < 5000 && helper->nodes() == 0; ++wait) usleep(2000);
      EXPECT_GT(helper->nodes(), 0u) << position << " helper " << j;
    }
    engine.controller.stopHelpers();
    EXPECT_FALSE(engine.controller.helperClock().running());
    uint64_t nodes[3];
    for (int j = 0; j < 3; ++j) nodes[j] = engine.controller.helper(j)->nodes();
    usleep(20000);
    for (int j = 0; j < 3; ++j) {
      Searcher* helper = engine.controller.helper(j);
      EXPECT_TRUE(helper->stopped());
      EXPECT_EQ(helper->nodes(), nodes[j]) << "helper " << j << " still searches";
      EXPECT_EQ(helper->position().hashKey, engine.searcher.position().hashKey) << position;
    }
    engine.line("setoption name NumberOfProcessors value 1");
    engine.output.take();
  }
  // A helperless search has nothing to start or stop.
  EXPECT_EQ(engine.controller.startHelpers(), 0);
  engine.controller.stopHelpers();
  EXPECT_FALSE(engine.controller.helperClock().running());
}

}  // namespace
