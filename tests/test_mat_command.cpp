#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "book/material_stats.h"
#include "board/random_generator.h"
#include "eval/evaluator.h"
#include "eval/material_net.h"
#include "support/engine_process.h"
#include "support/engine_fixture.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::tempPath;
using testsupport::readFile;
using testsupport::dataFile;
using testsupport::EngineObjects;
using testsupport::TempTextFile;

bool exists(const std::string& path) { return std::ifstream(path).good(); }

class MatCommandTest : public ::testing::Test {
 protected:
  EngineObjects engine;
  std::vector<std::string> files;

  void SetUp() override { RandomGenerator::instance().seed(555); }
  void TearDown() override {
    for (const std::string& f : files) std::remove(f.c_str());
  }
  std::string temp(const std::string& name) {
    files.push_back(tempPath(name));
    return files.back();
  }
  void line(const std::string& text) { engine.line(text); }
  const MaterialStatistics* stats() { return engine.protocol.mat().current(); }
};

// add, writemem, write (which ends the statistics), readmem and write again
// give the same table.
TEST_F(MatCommandTest, WriteAfterReadmemGivesTheSameTable) {
  const std::string mem = temp("stats.mem"), first = temp("first.txt"), second = temp("second.txt");
  line("mat add " + dataFile("material_rated.pgn"));
  ASSERT_NE(stats(), nullptr);
  EXPECT_EQ(stats()->positions().size(), 2u);
  line("mat writemem " + mem);
  line("mat write " + first);
  EXPECT_EQ(stats(), nullptr);
  line("mat readmem  " + mem);
  ASSERT_NE(stats(), nullptr);
  line("mat write " + second);
  EXPECT_EQ(stats(), nullptr);
  const std::string table = readFile(first);
  EXPECT_FALSE(table.empty());
  EXPECT_EQ(readFile(second), table);
  EXPECT_TRUE(engine.output.lines().empty());
}

// A table that cannot be written must not cost the collected statistics,
// and writing again afterwards counts every position once.
TEST_F(MatCommandTest, FailedWriteKeepsTheStatistics) {
  const std::string once = temp("once.txt"), retried = temp("retried.txt");
  line("mat add " + dataFile("material_rated.pgn"));
  line("mat write " + once);
  line("mat add " + dataFile("material_rated.pgn"));
  testing::internal::CaptureStderr();
  line("mat write /nonexistent/brakken/table.txt");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("error opening the output file"), std::string::npos);
  ASSERT_NE(stats(), nullptr);
  line("mat write " + retried);
  EXPECT_EQ(stats(), nullptr);
  EXPECT_FALSE(readFile(once).empty());
  EXPECT_EQ(readFile(retried), readFile(once));
}

// The memory image keeps position records only: read back after random
// games alone it holds nothing, and its write must not put an empty table
// in the place of a good one.
TEST_F(MatCommandTest, NothingToWriteLeavesTheTableAlone) {
  const std::string good = temp("good.txt"), mem = temp("random.mem");
  line("mat add " + dataFile("material_rated.pgn"));
  line("mat write " + good);
  const std::string table = readFile(good);
  ASSERT_FALSE(table.empty());
  line("mat rnd 3");
  line("mat writemem " + mem);
  line("mat delete");
  line("mat readmem " + mem);
  ASSERT_NE(stats(), nullptr);
  EXPECT_TRUE(stats()->positions().empty());
  EXPECT_TRUE(stats()->balances().empty());
  testing::internal::CaptureStderr();
  line("mat write " + good);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "info string no material statistics to write\n");
  EXPECT_EQ(readFile(good), table);
  EXPECT_TRUE(engine.output.lines().empty());
}

TEST_F(MatCommandTest, AddReadsValueEloAndCalcElo) {
  const std::string pgn = dataFile("material_rated.pgn");
  line("mat add " + pgn + " value 500");
  ASSERT_NE(stats(), nullptr);
  ASSERT_EQ(stats()->positions().size(), 2u);
  EXPECT_EQ(stats()->positions().begin()->second.weightSum, 500);
  line("mat delete");
  EXPECT_EQ(stats(), nullptr);

  line("mat add " + pgn + " ELO 2450");
  ASSERT_NE(stats(), nullptr);
  EXPECT_TRUE(stats()->positions().empty());
  line("mat delete");

  // The name ends before a trailing CalcELO, and the flag is seen.
  MaterialStatistics plain, rated;
  plain.addPgn(pgn.c_str(), 1000, false, -1);
  rated.addPgn(pgn.c_str(), 1000, true, -1);
  line("mat add " + pgn + " CalcELO");
  ASSERT_NE(stats(), nullptr);
  ASSERT_EQ(stats()->positions().size(), 2u);
  EXPECT_EQ(stats()->positions().begin()->second.valueSum, rated.positions().begin()->second.valueSum);
  EXPECT_NE(stats()->positions().begin()->second.valueSum, plain.positions().begin()->second.valueSum);
}

TEST_F(MatCommandTest, RndCollectsBalancesAndDeleteEndsThem) {
  // The games come from the clock; about one in 25 ends without a balance,
  // so enough of them are played that all of them doing so is out of the
  // question (about 1 in 10^28).
  line("mat rnd 20");
  ASSERT_NE(stats(), nullptr);
  EXPECT_FALSE(stats()->balances().empty());
  EXPECT_TRUE(stats()->positions().empty());
  line("mat delete");
  EXPECT_EQ(stats(), nullptr);
}

TEST_F(MatCommandTest, FormsWithoutStatisticsOrUnknownDoNothing) {
  const std::string table = temp("never.txt");
  for (const std::string& l : std::vector<std::string>{"mat", "mat foo", "mat write", "mat writemem " + table, "mat write " + table,
                               "mat delete", "matt add x"})
    line(l);
  EXPECT_EQ(stats(), nullptr);
  EXPECT_FALSE(exists(table));
  EXPECT_TRUE(engine.output.lines().empty());
}

TEST_F(MatCommandTest, ProblemsGoToStandardError) {
  testing::internal::CaptureStderr();
  line("mat add /nonexistent/x.pgn");
  line("mat readmem /nonexistent/x.mem");
  line("mat learn /nonexistent/table.txt");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Cannot open file"), std::string::npos) << err;
  EXPECT_NE(err.find("info string error opening the input file /nonexistent/x.mem\n"), std::string::npos);
  EXPECT_NE(err.find("info string error opening the input file /nonexistent/table.txt\n"), std::string::npos);
  EXPECT_TRUE(engine.output.lines().empty());

  // A table without a single usable line is refused as well.
  TempTextFile empty("empty_table.txt", "");
  testing::internal::CaptureStderr();
  line(std::string("mat learn ") + empty.c_str());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no training records"), std::string::npos);
}

// "mat learn" trains (here for a bounded number of epochs), and the network
// it saves, chosen with MaterialFile, changes the "eval" figures exactly as
// an evaluator with that network computes them.
TEST_F(MatCommandTest, LearnedNetworkChangesEvalThroughMaterialFile) {
  std::string text;
  char buffer[200];
  const struct {
    unsigned larger, smaller;
    double score;
  } rows[] = {{0x12228, 0x12227, 0.75}, {0x12228, 0x12218, 0.95}, {0x12228, 0x11228, 0.97}, {0x1001, 0x1000, 0.7}};
  for (const auto& r : rows) {
    std::snprintf(buffer, sizeof buffer, "%05x %05x %2d %3d %8.6f %10ld %10.3f %6.1f\n", r.larger, r.smaller, 0,
                  materialSignatureValue(r.larger) - materialSignatureValue(r.smaller), r.score, 600000L, 0.0, 40.0);
    text += buffer;
  }
  TempTextFile table("learn_table.txt", text);
  const std::string network = temp("materialwerte.txt"), log = temp("NeuroLrn.txt");
  TrainerSettings& settings = engine.protocol.mat().trainerSettings();
  settings.networkFile = network.c_str();
  settings.logFile = log.c_str();
  settings.stop = [](long epoch) { return epoch >= 300; };
  line(std::string("mat learn ") + table.c_str());
  ASSERT_TRUE(exists(network));
  EXPECT_EQ(readFile(log).substr(0, 8), "*   100 ");

  const std::string fen = "rnbqkbnr/pppp1ppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
  line("position fen " + fen);
  engine.output.take();
  line("eval");
  const std::vector<std::string> builtIn = engine.output.take();
  line("setoption name MaterialFile value " + network);
  line("eval");
  const std::vector<std::string> trained = engine.output.take();
  ASSERT_EQ(trained.size(), 2u);
  EXPECT_NE(trained, builtIn);

  Evaluator oracle;
  ASSERT_TRUE(oracle.setMaterialFile(network.c_str()));
  Position p;
  ASSERT_NE(p.setFen(fen.c_str()), nullptr);
  ASSERT_TRUE(p.finishSetup());
  long v = oracle.evaluate(p);
  if (v > 0) v += 9;
  else if (v < 0) v -= 9;
  EXPECT_EQ(trained[0], "info score cp " + std::to_string(v / 10));

  line("setoption name MaterialFile value (internal)");
  line("eval");
  EXPECT_EQ(engine.output.take(), builtIn);
}

// "rnd" draws from the random generator that the book probe of a search
// uses, so it stops a running search first, the way "stop" does: the
// search still gives its one best move. "write" only touches the
// statistics and leaves the search running.
// (A search thread runs: the suite name puts it with the threaded sessions.)
using UciSessionMatTest = MatCommandTest;

TEST_F(UciSessionMatTest, RunningSearchEndsWithItsBestMoveOrGoesOn) {
  line("position startpos moves e2e4");
  line("go infinite");
  ASSERT_TRUE(engine.controller.isRunning());
  line("mat rnd 1");
  EXPECT_FALSE(engine.controller.isRunning());
  EXPECT_EQ(engine.output.countStartingWith("bestmove"), 1);
  ASSERT_NE(stats(), nullptr);
  // One random game may end without a balance, and a collection with
  // nothing to write is kept by "write"; games of a file make sure there
  // is something, whatever the clock-seeded game did.
  line("mat add " + dataFile("material_rated.pgn"));
  EXPECT_EQ(engine.output.countStartingWith("bestmove"), 1);

  line("go infinite");
  ASSERT_TRUE(engine.controller.isRunning());
  line("mat write " + temp("beside.txt"));
  EXPECT_TRUE(engine.controller.isRunning());
  EXPECT_EQ(stats(), nullptr);
  line("stop");
  EXPECT_EQ(engine.output.countStartingWith("bestmove"), 2);
}

}  // namespace

namespace {

// "mat learn" never returns; the engine is stopped from outside. Killed at
// any moment, it leaves either no network or a complete one, never a
// truncated file that MaterialFile would load.
TEST(MatLearnProcess, KilledTrainerLeavesACompleteNetwork) {
  char pattern[] = "/tmp/brakken_learn_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  {
    std::ofstream table(dir + "/table.txt");
    table << "12228 12227  0   1 0.750000     600000      0.000   40.0\n"
             "12228 12218  0   3 0.950000     600000      0.000   40.0\n"
             "12228 11228  0   5 0.970000     600000      0.000   40.0\n"
             "01001 01000  0   1 0.700000     600000      0.000   40.0\n";
  }
  const std::string network = dir + "/materialwerte.txt", log = dir + "/NeuroLrn.txt";
  for (int round = 0; round < 4; ++round) {
    {
      testsupport::EngineProcess engine({}, BRAKKEN_BINARY, dir.c_str());
      ASSERT_TRUE(engine.send("uci"));
      bool found = false;
      engine.readUntil("uciok", found);
      ASSERT_TRUE(found);
      ASSERT_TRUE(engine.send("mat learn table.txt"));
      ASSERT_TRUE(engine.send("isready"));
      // Wait for the first save, then a little more, then kill.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (readFile(log).find('*') == std::string::npos && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
      usleep(useconds_t(round * 7000));
      // The command never returned, so "isready" is still unanswered.
      EXPECT_FALSE(engine.readLine(10).has_value());
      engine.killNow();
    }
    ASSERT_TRUE(exists(network)) << round;
    MaterialNet net;
    EXPECT_TRUE(net.load(network.c_str())) << round;
  }
  for (const char* f : {"/table.txt", "/materialwerte.txt", "/NeuroLrn.txt"}) std::remove((dir + f).c_str());
  // Temporary files of a killed save may remain; they never carry the name.
  std::system(("rm -f " + dir + "/materialwerte.txt.tmp*").c_str());
  rmdir(dir.c_str());
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Where neither the network nor the log can be written (here folders of
// their names stand in the way, which stops root too), "mat learn" says so
// on standard error, once for each file, instead of training for nothing
// without a word; and it trains on.
TEST(MatLearnProcess, UnwritableNetworkAndLogAreToldOnceEach) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  std::ofstream(dir.path("table.txt")) << "12228 12227  0   1 0.750000     600000      0.000   40.0\n"
                                          "12228 12218  0   3 0.950000     600000      0.000   40.0\n"
                                          "01001 01000  0   1 0.700000     600000      0.000   40.0\n";
  ASSERT_EQ(mkdir(dir.path("materialwerte.txt").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.path("NeuroLrn.txt").c_str(), 0755), 0);
  const std::string logTold = "info string error opening the output file NeuroLrn.txt\n";
  const std::string networkTold = "info string error opening the output file materialwerte.txt\n";

  testsupport::EngineProcess engine({}, BRAKKEN_BINARY, dir.path().c_str());
  ASSERT_TRUE(engine.send("uci"));
  bool found = false;
  engine.readUntil("uciok", found);
  ASSERT_TRUE(found);
  ASSERT_TRUE(engine.send("mat learn table.txt"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((engine.errorText().find(logTold) == std::string::npos ||
          engine.errorText().find(networkTold) == std::string::npos) &&
         std::chrono::steady_clock::now() < deadline)
    usleep(1000);
  // Many more saves are tried meanwhile; none of them is told again.
  usleep(500000);
  const std::string told = engine.errorText();
  engine.killNow();
  EXPECT_EQ(occurrences(told, logTold), 1u) << told;
  EXPECT_EQ(occurrences(told, networkTold), 1u) << told;
  EXPECT_EQ(occurrences(told, "info string"), 2u) << told;
}

}  // namespace
