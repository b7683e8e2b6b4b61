// The test-position extractor on short collections of random games with
// known results, with tiny searches: the control file, the two position
// files in their fixed layout, resuming after the games already processed,
// and positions never written twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/history_table.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/test_positions.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::tempPath;
using testsupport::readFile;
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// A random legal game in SAN; quiet moves are preferred, so that the game
// keeps its men long enough to be walked.
std::string randomGame(uint32_t seed, int plies, const char* result, const char* fen = nullptr) {
  RandomGenerator random(seed);
  Position p;
  p.setStartPosition();
  std::string text = std::string("[White \"w\"]\n[Black \"b\"]\n[Result \"") + result + "\"]\n";
  if (fen) {
    p.setFen(fen);
    text += std::string("[FEN \"") + fen + "\"]\n";
  }
  text += "\n";
  for (int i = 0; i < plies; ++i) {
    std::vector<Move> quiet, all;
    LocalMoveStack stack;
    MoveList list(stack, p, legalityHistoryTable(), AllMoves);
    UndoRecord undo;
    undo.save(p);
    while (const MoveListEntry* e = list.next()) {
      const bool capture = (p.occupied >> moveTo(e->move)) & 1;
      if (p.makeMove(e->move, undo)) {
        all.push_back(e->move);
        if (!capture) quiet.push_back(e->move);
        undo.restore();
      }
    }
    if (all.empty()) break;
    const std::vector<Move>& from = quiet.empty() || random.next() % 8 == 0 ? all : quiet;
    const Move m = from[random.next() % from.size()];
    char san[16];
    formatMove(p, m, SanEnglish, san);
    if (i % 2 == 0) text += std::to_string(i / 2 + 1) + ". ";
    text += std::string(san) + " ";
    UndoRecord u;
    u.save(p);
    p.makeMove(m, u);
  }
  return text + result + "\n\n";
}

class TestPositions : public ::testing::Test {
 protected:
  std::string control = tempPath("control.txt");
  std::string middlegame = tempPath("middle.fen");
  std::string endgame = tempPath("end.fen");
  std::string pgn = tempPath("walk.pgn");
  TestPositionSettings tiny;

  void SetUp() override {
    tiny.nodes = 1000;
    tiny.hashBytes = 1 << 20;
    std::string games;
    const char* results[] = {"1-0", "0-1", "1/2-1/2"};
    for (int g = 1; g <= 12; ++g) {
      // Game 6 is one ply too short; game 9 has no result.
      const int plies = g == 6 ? 29 : 80;
      games += randomGame(100 + g, plies, g == 9 ? "*" : results[g % 3]);
    }
    // Two pawn endings, whose positions are all of the endgame class.
    for (int g = 13; g <= 14; ++g)
      games += randomGame(100 + g, 40, results[g % 3], "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
    std::ofstream(pgn) << games;
  }

  void TearDown() override {
    for (const std::string& f : {control, middlegame, endgame, pgn}) std::remove(f.c_str());
  }

  void writeControl(const std::string& m, const std::string& e, int skip) {
    std::ofstream(control) << m << "  \n" << e << "\t\n" << skip << "\n" << pgn << " \n";
  }

  std::string run() {
    RandomGenerator::instance().seed(12345);
    testing::internal::CaptureStdout();
    extractTestPositions(control.c_str(), tiny);
    return testing::internal::GetCapturedStdout();
  }
};

// The keys of all positions written, checked for the fixed layout.
std::vector<std::string> positionsOf(const std::string& path) {
  std::vector<std::string> fens;
  for (const std::string& l : lines(readFile(path))) {
    EXPECT_GT(l.size(), 18u) << l;
    long q = 0, x = 0;
    char fen[128];
    EXPECT_EQ(std::sscanf(l.c_str(), "%8ld%8ld %127[^\n]", &q, &x, fen), 3) << l;
    EXPECT_EQ(l[16], ' ') << l;
    EXPECT_NE(l[17], ' ') << l;
    EXPECT_LE(std::labs(x), 400000) << l;
    EXPECT_GT(std::labs(x), 1) << l;
    fens.push_back(l.substr(17));
  }
  return fens;
}

TEST_F(TestPositions, SkipsProcessedGamesAndRecordsProgress) {
  writeControl(middlegame, endgame, 5);
  const std::string progress = run();
  const std::vector<std::string> progressLines = lines(progress);
  ASSERT_FALSE(progressLines.empty());
  // The run starts at game 7: 6 is too short, 9 has no result.
  char first[512];
  std::snprintf(first, sizeof first, "M:<%s> E:<%s>: Partie      7", middlegame.c_str(), endgame.c_str());
  EXPECT_EQ(progressLines.front(), first);
  EXPECT_EQ(progress.find("Partie      9"), std::string::npos);
  EXPECT_EQ(progressLines.size(), 7u);

  const std::vector<std::string> kept = positionsOf(middlegame);
  const std::vector<std::string> keptEnd = positionsOf(endgame);
  ASSERT_GT(kept.size() + keptEnd.size(), 0u) << "no position kept: the test walks too little";
  // The control file names the game of the last kept position, and the
  // names without the trailing white space they were given with.
  const std::vector<std::string> c = lines(readFile(control));
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0], middlegame);
  EXPECT_EQ(c[1], endgame);
  EXPECT_EQ(c[3], pgn);
  const int last = std::atoi(c[2].c_str());
  EXPECT_GE(last, 7);
  EXPECT_LE(last, 14);

  // A new run passes over the games up to that one and writes no position
  // twice, also when told to start from the beginning.
  const std::string again = run();
  if (last < 14) {
    EXPECT_NE(again.find("Partie " + std::string(6 - std::to_string(last + 1).size(), ' ') + std::to_string(last + 1)),
              std::string::npos)
        << again;
  }
  EXPECT_EQ(again.find("Partie " + std::string(6 - std::to_string(last).size(), ' ') + std::to_string(last)),
            std::string::npos);
  writeControl(middlegame, endgame, 0);
  run();
  std::vector<std::string> all = positionsOf(middlegame);
  const std::vector<std::string> end = positionsOf(endgame);
  all.insert(all.end(), end.begin(), end.end());
  std::set<std::string> boards;
  for (const std::string& fen : all) boards.insert(fen.substr(0, fen.rfind(' ', fen.rfind(' ') - 1)));
  EXPECT_EQ(boards.size(), all.size());
}

TEST_F(TestPositions, AShortMiddlegameNameWritesOnlyEndgamePositions) {
  writeControl("m", endgame, 0);
  run();
  EXPECT_NE(access("m", F_OK), 0);
  const std::vector<std::string> end = positionsOf(endgame);
  ASSERT_FALSE(end.empty());
  for (const std::string& fen : end) {
    // 3 x men + 6 x queens + 2 x rooks - 2 x pawns stays below 29 only
    // with few men and little heavy material.
    int men = 0, heavy = 0, pawns = 0;
    for (char ch : fen.substr(0, fen.find(' '))) {
      men += std::isalpha(static_cast<unsigned char>(ch)) != 0;
      heavy += ch == 'q' || ch == 'Q' ? 6 : ch == 'r' || ch == 'R' ? 2 : 0;
      pawns += ch == 'p' || ch == 'P';
    }
    EXPECT_LT(3 * men + heavy - 2 * pawns, 42) << fen;
  }
}

TEST_F(TestPositions, ALineCutOffByAKillIsClosedFirst) {
  std::ofstream(endgame) << "     -12      40 8/8/4k3/8/8/4K3/4P3/8 w - - 0 1\n     -12      40 8/8/4k";
  writeControl("m", endgame, 0);
  run();
  const std::vector<std::string> written = lines(readFile(endgame));
  ASSERT_GT(written.size(), 2u);
  EXPECT_EQ(written[1], "     -12      40 8/8/4k");
  for (size_t i = 2; i < written.size(); ++i) EXPECT_EQ(written[i].substr(16, 1), " ") << written[i];
}

TEST_F(TestPositions, AMissingControlFileDoesNothing) {
  const std::string output = run();
  EXPECT_EQ(output, "");
  EXPECT_NE(access(control.c_str(), F_OK), 0);
}

}  // namespace
