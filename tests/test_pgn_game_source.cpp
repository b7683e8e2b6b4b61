// Forced lines: the engine replays the games of a PGN file every second
// ply while the game on the board follows them, and stops for good at the
// first deviation.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board/notation.h"
#include "book/pgn_game_source.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::TempTextFile;

const std::string Tags = "[White \"a\"]\n[Black \"b\"]\n[Result \"*\"]\n";

class ForcedLines : public ::testing::Test {
 protected:
  std::unique_ptr<TempTextFile> file;
  std::unique_ptr<PgnGameSource> source;
  Position board;

  void open(const std::string& text) {
    source.reset();
    file.reset();  // before the new file of the same name is written
    file = std::make_unique<TempTextFile>("forced.pgn", text);
    source = std::make_unique<PgnGameSource>(file->c_str(), errors());
    board.setStartPosition();
  }
  // The lexer's messages are not under test here.
  static std::FILE* errors() {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    return sink;
  }
  void play(const char* move) {
    Move m;
    ASSERT_TRUE(parseMove(board, move, m, CoordinateText)) << move;
    UndoRecord undo;
    undo.save(board);
    board.makeMove(m, undo);
  }
  // The source's answer in coordinate text, or "-".
  std::string ask() {
    Move m = 0, reply = 1;
    if (!source->probe(board, &m, &reply)) return "-";
    EXPECT_EQ(reply, 0u);
    char text[16];
    return formatMove(board, m, Coordinate, text);
  }
};

TEST_F(ForcedLines, EnginePlaysWhiteThenTheNextGameMustFit) {
  open(Tags + "1. e4 e5 2. Nf3 *\n" + Tags + "1. d4 d5 *\n");
  EXPECT_EQ(ask(), "e2e4");
  play("e2e4");
  play("e7e5");
  EXPECT_EQ(ask(), "g1f3");
  play("g1f3");
  play("b8c6");
  // The first game is used up; the second does not start here.
  EXPECT_EQ(ask(), "-");
  EXPECT_TRUE(source->done());
  board.setStartPosition();
  EXPECT_EQ(ask(), "-");  // finished for good
}

TEST_F(ForcedLines, EnginePlaysBlackAndTheNextGameContinues) {
  open(Tags + "1. e4 e5 *\n" + Tags + "1. d4 d5 2. c4 e6 *\n");
  play("e2e4");
  EXPECT_EQ(ask(), "e7e5");
  // A new game on the board: the next game of the file, engine as black.
  board.setStartPosition();
  play("d2d4");
  EXPECT_EQ(ask(), "d7d5");
  play("d7d5");
  play("c2c4");
  EXPECT_EQ(ask(), "e7e6");
}

TEST_F(ForcedLines, DeviationEndsTheSourceEvenIfALaterGameFits) {
  open(Tags + "1. e4 e5 *\n" + Tags + "1. d4 d5 *\n");
  play("c2c4");
  EXPECT_EQ(ask(), "-");
  EXPECT_TRUE(source->done());
  board.setStartPosition();
  play("d2d4");
  EXPECT_EQ(ask(), "-");
}

TEST_F(ForcedLines, EmptyGamesArePassedOverAndFenGamesStartAtTheirFen) {
  const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
  open(Tags + "*\n" + Tags + "[FEN \"" + fen + "\"]\n1. e4 Kd7 2. Kd2 *\n");
  EXPECT_EQ(ask(), "-");  // the FEN game does not start at the standard start
  open(Tags + "*\n" + Tags + "[FEN \"" + fen + "\"]\n1. e4 Kd7 2. Kd2 *\n");
  ASSERT_TRUE(board.setFen(fen.c_str()));
  EXPECT_EQ(ask(), "e2e4");
  play("e2e4");
  play("e8d7");
  EXPECT_EQ(ask(), "e1d2");
}

TEST_F(ForcedLines, MovesBeforeALateFenTagAreNeverHandedOut) {
  // A FEN tag after moves: the moves before it do not belong to its
  // position, and replaying them there must not forge a line.
  const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
  open(Tags + "1. d4 [FEN \"" + fen + "\"]\n1. e4 Kd7 2. Kd2 *\n");
  ASSERT_TRUE(board.setFen(fen.c_str()));
  EXPECT_EQ(ask(), "-");
}

// A FEN tag is read the way the interface reads the same FEN for the game
// on the board: in standard chess the rights that the standard castlings
// cannot use are dropped (kept, the line's keys would never match the
// board's), in Chess960 they count.
TEST_F(ForcedLines, FenTagsAreReadAsTheGameOnTheBoardReadsThem) {
  const std::string fen = "r3k3/8/8/8/8/8/8/R3K1R1 w KQq - 0 1";
  const struct {
    bool chess960;
    const char* moves;
    const char* first;   // the answer in the FEN's position
    const char* second;  // the answer after a8a7, "" when none is asked
  } cases[] = {
      {false, "1. Ra2 Ra7 2. Ra3 *", "a1a2", "a2a3"},
      {true, "1. Ra2 Ra7 2. Ra3 *", "a1a2", "a2a3"},
      // The castle with the rook on g1 exists only in the Chess960 reading.
      {true, "1. O-O Ra7 2. Ra2 *", "e1g1", "a1a2"},
      {false, "1. O-O Ra7 2. Ra2 *", "-", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.moves) + (c.chess960 ? " in Chess960" : " in standard chess"));
    open(Tags + "[FEN \"" + fen + "\"]\n[SetUp \"1\"]\n" + c.moves + "\n");
    // Set up as the interface sets up the FEN.
    ASSERT_TRUE(board.setFen(fen.c_str(), c.chess960 ? FenCastling::Detect : FenCastling::StandardChess));
    board.chess960 = c.chess960;
    board.castlingAsFiles = c.chess960;
    const std::string first = ask();
    EXPECT_EQ(first, c.first);
    if (!*c.second) {
      EXPECT_TRUE(source->done());
      continue;
    }
    play(first.c_str());
    play("a8a7");
    EXPECT_EQ(ask(), c.second);
  }
}

TEST_F(ForcedLines, BrokenOrMissingFilesGiveNoMove) {
  open(Tags + "1. e4 e5 2. Qxf7 *\n");  // the first game has an error
  EXPECT_EQ(ask(), "-");
  EXPECT_TRUE(source->done());
  open(Tags + "1. e4 e5");  // no termination marker
  EXPECT_EQ(ask(), "-");

  PgnGameSource missing("/nonexistent/brakken/forced.pgn", errors());
  EXPECT_FALSE(missing.isOpen());
  EXPECT_TRUE(missing.done());
  Move m;
  EXPECT_FALSE(missing.probe(board, &m, nullptr));
}

}  // namespace
