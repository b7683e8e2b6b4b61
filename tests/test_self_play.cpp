// Games of the engine against itself through the binary, at a fast clock
// that the test keeps: every move must be legal and come in time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "board/game.h"
#include "support/engine_process.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineProcess;

struct Clock {
  int64_t white, black, increment;
};

// Plays up to plies half-moves; the game may end earlier by mate,
// stalemate or a draw rule.
void playGame(int threads, int plies, Clock clock, bool ponderOption) {
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
    const std::string position = "position startpos" + (moves.empty() ? "" : " moves" + moves);
    engine.send(position);
    const auto start = std::chrono::steady_clock::now();
    engine.send("go wtime " + std::to_string(clock.white) + " btime " + std::to_string(clock.black) + " winc " +
                std::to_string(clock.increment) + " binc " + std::to_string(clock.increment));
    const int64_t& left = p.whiteToMove ? clock.white : clock.black;
    const std::vector<std::string> lines = engine.readUntil("bestmove", found, int(left) + 5000);
    ASSERT_TRUE(found) << threads << " threads, ply " << ply << ": no answer";
    const int64_t used =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    for (size_t i = 0; i + 1 < lines.size(); ++i)
      ASSERT_TRUE(testsupport::checkInfoLine(lines[i], p)) << lines[i];
    Move move = 0;
    ASSERT_TRUE(testsupport::checkBestMove(lines.back(), p, false, &move)) << position;
    ASSERT_NE(move, 0u) << position;
    int64_t& mine = p.whiteToMove ? clock.white : clock.black;
    mine -= used;
    ASSERT_GT(mine, 0) << threads << " threads, ply " << ply << ": lost on time";
    mine += clock.increment;
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
