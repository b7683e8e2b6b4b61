// Games of the engine against itself through the binary, at a fast clock
// that the test keeps: every move must be legal, no move may take longer
// than the engine's own hard limit for it, and no side may run out of time.
//
// The time of a move is measured here, from writing "go" to reading
// "bestmove", so it holds more than the engine's search: the pipe both
// ways, the engine reading the line, starting and stopping its threads,
// and whatever the scheduler adds. Both checks allow for that by a stated
// margin. Clock and margin grow with the build's slowdown and with the
// thread count, and the margin with the machine's load as well; ctest runs
// these games alone (RUN_SERIAL), so that the other tests add none.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/game.h"
#include "search/time_manager.h"
#include "support/build_speed.h"
#include "support/engine_process.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineProcess;

// What an optimised single-threaded build on an idle machine may take
// beyond the engine's own limit: the pipe both ways, reading the go line,
// starting and stopping the search thread, writing bestmove.
constexpr int64_t kTransmissionMarginMs = 50;

// More threads cost more to start and stop for every move, and wait longer
// for a free core.
int threadFactor(int threads) { return 1 + threads / 4; }

// Runnable threads per core over the last minute, at least 1: a machine
// busy with other work gives every thread of the engine, and of this test,
// only that share of a core, so answers come that much later.
double loadFactor() {
  double load = 0;
  if (getloadavg(&load, 1) != 1) return 1.0;
  return std::max(1.0, load / std::max(1u, std::thread::hardware_concurrency()));
}

struct Clock {
  int64_t white, black, increment;
};

// The engine's hard limit for the go command the test sends, worked out by
// the engine's own time manager.
int64_t hardLimitFor(int64_t time, int64_t increment, bool ponderOption) {
  TimeManager clock;
  clock.setPonder(ponderOption);
  clock.allocate(false, time, increment, 0, 0, 0, 0, 0, false);
  return clock.hardLimit();
}

// The time the engine itself reports in its last info line, for messages.
std::string reportedTime(const std::vector<std::string>& lines) {
  for (size_t i = lines.size(); i-- > 0;) {
    const std::vector<std::string> w = testsupport::splitWords(lines[i]);
    for (size_t k = 0; k + 1 < w.size(); ++k)
      if (w[0] == "info" && w[k] == "time") return w[k + 1] + " ms";
  }
  return "nothing";
}

// Plays up to plies half-moves from a clock given for an optimised build;
// the game may end earlier by mate, stalemate or a draw rule.
void playGame(int threads, int plies, Clock clock, bool ponderOption) {
  const int64_t scale = testsupport::kBuildSlowdown * threadFactor(threads);
  clock.white *= scale;
  clock.black *= scale;
  clock.increment *= scale;
  const int64_t baseMargin = kTransmissionMarginMs * scale;

  EngineProcess engine;
  ASSERT_TRUE(engine.started());
  bool found = false;
  engine.send("uci");
  engine.readUntil("uciok", found);
  ASSERT_TRUE(found);
  engine.send("setoption name NumberOfProcessors value " + std::to_string(threads));
  engine.send(std::string("setoption name Ponder value ") + (ponderOption ? "true" : "false"));
  engine.send("ucinewgame");
  engine.send("isready");
  engine.readUntil("readyok", found);
  ASSERT_TRUE(found);

  Game game;
  std::string moves;
  for (int ply = 0; ply < plies; ++ply) {
    Position& p = game.position;
    if (p.noLegalMove() || game.drawStatus() != NoDraw) break;
    int64_t& mine = p.whiteToMove ? clock.white : clock.black;
    const int64_t limit = hardLimitFor(mine, clock.increment, ponderOption);
    const double load = loadFactor();
    const int64_t margin = int64_t(double(baseMargin) * load);
    const std::string position = "position startpos" + (moves.empty() ? "" : " moves" + moves);
    engine.send(position);
    const auto start = std::chrono::steady_clock::now();
    engine.send("go wtime " + std::to_string(clock.white) + " btime " + std::to_string(clock.black) + " winc " +
                std::to_string(clock.increment) + " binc " + std::to_string(clock.increment));
    const std::vector<std::string> lines = engine.readUntil("bestmove", found, int(mine + margin) + 5000);
    ASSERT_TRUE(found) << threads << " threads, ply " << ply << ": no answer";
    const int64_t used =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    for (size_t i = 0; i + 1 < lines.size(); ++i)
      ASSERT_TRUE(testsupport::checkInfoLine(lines[i], p)) << lines[i];
    Move move = 0;
    ASSERT_TRUE(testsupport::checkBestMove(lines.back(), p, false, &move)) << position;
    ASSERT_NE(move, 0u) << position;
    std::ostringstream where;
    where << threads << " threads, ply " << ply << ", clock " << mine << " ms, the engine's hard limit " << limit
          << " ms, the engine reported " << reportedTime(lines) << ", load factor " << std::setprecision(2) << load
          << ": ";
    EXPECT_LE(used, limit + margin) << where.str() << "took " << used << " ms, more than its limit and the margin of "
                                    << margin << " ms";
    ASSERT_LE(used, mine + margin) << where.str() << "lost on time: took " << used
                                   << " ms, more than its clock and the margin of " << margin << " ms";
    // A move that ends within the margin past the clock leaves it empty.
    mine = std::max<int64_t>(mine - used, 0) + clock.increment;
    moves += " " + testsupport::splitWords(lines.back())[1];
    game.playMove(move);
  }
  engine.send("quit");
  EXPECT_EQ(engine.waitExit(), 0);
  EXPECT_EQ(engine.errorText().find("ThreadSanitizer"), std::string::npos) << engine.errorText();
}

class SelfPlayTest : public ::testing::TestWithParam<int> {};

TEST_P(SelfPlayTest, AShortFastGameHasOnlyLegalMovesInTime) { playGame(GetParam(), 30, {500, 500, 5}, true); }

TEST_P(SelfPlayTest, DeepALongerGameHasOnlyLegalMovesInTime) { playGame(GetParam(), 160, {6000, 6000, 60}, false); }

INSTANTIATE_TEST_SUITE_P(Threads, SelfPlayTest, ::testing::Values(1, 2, 4, 8));

}  // namespace
