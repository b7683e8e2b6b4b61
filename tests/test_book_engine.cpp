// The opening book and the forced lines through the engine binary, driven
// over pipes as a chess interface drives it: a book or forced move is
// answered at once without a search, and a held search ("infinite",
// "ponder") holds such an answer just as it holds a searched one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/engine_process.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::EngineProcess;
using testsupport::TempTextFile;

const std::string DataDir = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/";

class BookSession : public ::testing::Test {
 protected:
  std::unique_ptr<EngineProcess> engine;

  void start(const std::vector<std::string>& arguments = {}) {
    engine = std::make_unique<EngineProcess>(arguments);
    ASSERT_TRUE(engine->started());
    engine->send("uci");
    bool found = false;
    engine->readUntil("uciok", found);
    ASSERT_TRUE(found);
  }

  void TearDown() override {
    if (!engine) return;
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(10000), 0);
  }

  std::vector<std::string> sync() {
    engine->send("isready");
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("readyok", found);
    EXPECT_TRUE(found);
    if (found) lines.pop_back();
    return lines;
  }

  // Everything up to and including the bestmove line.
  std::vector<std::string> go(const std::string& position, const std::string& go = "go wtime 10000 btime 10000") {
    engine->send(position);
    engine->send(go);
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("bestmove", found, 20000);
    EXPECT_TRUE(found) << position;
    return lines;
  }

  // The answer when it came at once, without a single search line.
  std::string answerWithoutSearch(const std::string& position) {
    const std::vector<std::string> lines = go(position);
    EXPECT_EQ(lines.size(), 1u) << position << ": " << (lines.empty() ? "" : lines.front());
    return lines.empty() ? "" : lines.back();
  }

  static bool searched(const std::vector<std::string>& lines) {
    for (const std::string& l : lines)
      if (l.compare(0, 11, "info depth ") == 0) return true;
    return false;
  }
};

TEST_F(BookSession, BookMovesComeAtOnceWithTheExpectedReply) {
  start();
  engine->send("setoption name BookFile value " + DataDir + "sample.opn");
  engine->send("ucinewgame");
  const std::string first = answerWithoutSearch("position startpos");
  EXPECT_TRUE(first == "bestmove e2e4 ponder e7e5" || first == "bestmove d2d4") << first;
  // Two moves played: the book is not reloaded, but still there.
  EXPECT_EQ(answerWithoutSearch("position startpos moves e2e4 e7e5"), "bestmove g1f3");
  // Below a move the book never plays.
  EXPECT_EQ(answerWithoutSearch("position startpos moves g1f3"), "bestmove d7d5");
  // Out of the book, and with the root moves restricted: a search.
  EXPECT_TRUE(searched(go("position startpos moves h2h3", "go depth 3")));
  const std::vector<std::string> restricted = go("position startpos", "go depth 3 searchmoves h2h4");
  EXPECT_TRUE(searched(restricted));
  EXPECT_EQ(restricted.back().substr(0, 13), "bestmove h2h4");
}

TEST_F(BookSession, OwnBookFalseSearches) {
  start();
  engine->send("setoption name BookFile value " + DataDir + "sample.opn");
  engine->send("setoption name OwnBook value false");
  engine->send("ucinewgame");
  EXPECT_TRUE(searched(go("position startpos", "go depth 3")));
  // Turned on again, the book is read at the next new game.
  engine->send("setoption name OwnBook value true");
  engine->send("ucinewgame");
  EXPECT_EQ(go("position startpos").size(), 1u);
}

TEST_F(BookSession, HeldSearchesHoldABookAnswer) {
  start();
  engine->send("setoption name BookFile value " + DataDir + "sample.opn");
  engine->send("ucinewgame");
  engine->send("position startpos moves e2e4 e7e5");
  engine->send("go infinite");
  EXPECT_EQ(engine->drain(300), std::vector<std::string>{});
  engine->send("stop");
  EXPECT_EQ(engine->readLine(5000).value_or(""), "bestmove g1f3");

  engine->send("go ponder wtime 10000 btime 10000");
  EXPECT_EQ(engine->drain(300), std::vector<std::string>{});
  engine->send("ponderhit");
  EXPECT_EQ(engine->readLine(5000).value_or(""), "bestmove g1f3");
}

TEST_F(BookSession, BookFileFaultsAreDiagnosedAndTheEngineSearches) {
  TempTextFile bad("bad.opn", "e2e4 1 e7e5 1 *");
  start();
  engine->send("debug on");
  engine->send("setoption name BookFile value " + bad.path());
  // A malformed book is reported at every load; a missing one only once.
  for (int i = 0; i < 2; ++i) {
    engine->send("position startpos");
    EXPECT_EQ(sync(), std::vector<std::string>{"info string Opening book read error"});
  }
  EXPECT_TRUE(searched(go("position startpos", "go depth 2")));
  engine->send("setoption name BookFile value /nonexistent/brakken/book.opn");
  engine->send("ucinewgame");
  EXPECT_EQ(sync(), std::vector<std::string>{"info string Opening book read error"});
  engine->send("ucinewgame");
  engine->send("position startpos");
  EXPECT_EQ(sync(), std::vector<std::string>{});
}

// A missing book counts as said only once the user was shown it: loads
// before "debug on" say nothing, the first load after it says it once.
TEST_F(BookSession, AMissingBookIsToldAtTheFirstLoadInDebugMode) {
  start();
  engine->send("setoption name BookFile value /nonexistent/brakken/book.opn");
  engine->send("ucinewgame");
  engine->send("position startpos");
  EXPECT_EQ(sync(), std::vector<std::string>{});
  engine->send("debug on");
  engine->send("position startpos");
  EXPECT_EQ(sync(), std::vector<std::string>{"info string Opening book read error"});
  engine->send("position startpos moves e2e4");
  engine->send("ucinewgame");
  EXPECT_EQ(sync(), std::vector<std::string>{});
}

TEST_F(BookSession, ForcedLinesAsWhiteThenASearch) {
  start({DataDir + "forced_lines.pgn"});
  EXPECT_EQ(answerWithoutSearch("position startpos"), "bestmove e2e4");
  EXPECT_EQ(answerWithoutSearch("position startpos moves e2e4 e7e5"), "bestmove g1f3");
  // The game is used up and the next one does not start here: a search,
  // and the forced lines stay finished.
  EXPECT_TRUE(searched(go("position startpos moves e2e4 e7e5 g1f3 b8c6", "go depth 3")));
  EXPECT_TRUE(searched(go("position startpos", "go depth 3")));
  EXPECT_EQ(engine->errorText(), "");
}

TEST_F(BookSession, ForcedLinesAsBlack) {
  start({DataDir + "forced_lines.pgn"});
  EXPECT_EQ(answerWithoutSearch("position startpos moves e2e4"), "bestmove e7e5");
  // White's Nf3 ends the first game; the second does not fit: a search.
  EXPECT_TRUE(searched(go("position startpos moves e2e4 e7e5 g1f3", "go depth 3")));
}

TEST_F(BookSession, ForcedLinesComeBeforeTheBook) {
  TempTextFile lines("caro.pgn", "[White \"a\"]\n[Black \"b\"]\n[Result \"*\"]\n1. e4 c6 *\n");
  start({lines.path()});
  engine->send("setoption name BookFile value " + DataDir + "sample.opn");
  engine->send("ucinewgame");
  // The book knows only e7e5 and c7c5 here.
  EXPECT_EQ(answerWithoutSearch("position startpos moves e2e4"), "bestmove c7c6");
}

TEST_F(BookSession, ForcedLinesEndAtTheFirstDeviation) {
  start({DataDir + "forced_lines.pgn"});
  EXPECT_TRUE(searched(go("position startpos moves c2c4", "go depth 3")));
  EXPECT_TRUE(searched(go("position startpos", "go depth 3")));
}

// A line's FEN tag is read as the interface reads the same FEN: in
// standard chess with the rights the board cannot use dropped (the line
// from a set-up dialog's stale KQkq is played), with UCI_Chess960 on as
// Chess960 (the castle with the g-file rook is played).
TEST_F(BookSession, ForcedLinesFromAFenTagAreReadAsThePositionCommandReadsTheFen) {
  const std::string tags =
      "[Event \"?\"]\n[Site \"?\"]\n[Date \"????.??.??\"]\n[Round \"?\"]\n[White \"a\"]\n[Black \"b\"]\n"
      "[Result \"*\"]\n";
  const struct {
    bool chess960;
    const char* fen;
    const char* moves;
    const char* first;   // the answer in the FEN's position
    const char* reply;   // black's move
    const char* second;  // the answer after first and reply
  } cases[] = {
      {false, "r3k1r1/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", "1. Ra2 Ra7 2. Ra3 *", "a1a2", "a8a7", "a2a3"},
      {true, "r3k3/8/8/8/8/8/8/R3K1R1 w KQq - 0 1", "1. O-O Ra7 2. Ra2 *", "e1g1", "a8a7", "a1a2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    TempTextFile lines("fen_line.pgn", tags + "[FEN \"" + c.fen + "\"]\n[SetUp \"1\"]\n\n" + c.moves + "\n");
    start({lines.path()});
    engine->send("setoption name OwnBook value false");
    if (c.chess960) engine->send("setoption name UCI_Chess960 value true");
    const std::string position = std::string("position fen ") + c.fen;
    EXPECT_EQ(answerWithoutSearch(position), std::string("bestmove ") + c.first);
    EXPECT_EQ(answerWithoutSearch(position + " moves " + c.first + " " + c.reply),
              std::string("bestmove ") + c.second);
    EXPECT_EQ(engine->errorText(), "");
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(10000), 0);
    engine.reset();
  }
}

TEST_F(BookSession, MissingForcedLineFileIsReportedAndTheEnginePlays) {
  start({"/nonexistent/brakken/lines.pgn"});
  EXPECT_TRUE(searched(go("position startpos", "go depth 3")));
  EXPECT_EQ(engine->errorText(),
            "info string PGN-Parser: file /nonexistent/brakken/lines.pgn line 1 char 0: Cannot open file\n");
}

}  // namespace
