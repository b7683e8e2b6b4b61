// The engine in xboard mode, driven through pipes the way an xboard
// interface drives it: exact answers, legal moves, whole games, analysis,
// Chess960 castling, and commands racing the search threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "board/game.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "support/build_speed.h"
#include "support/engine_process.h"
#include "support/temp_text_file.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineProcess;
using testsupport::TempDirectory;
using testsupport::splitWords;

const std::vector<std::string> FeatureLines = {
    "feature done=0",
    "feature myname=\"Brakken 2.5\"",
    "feature ping=1",
    "feature setboard=1",
    "feature playother=1",
    "feature usermove=1",
    "feature sigint=0",
    "feature variants=\"normal,fischerandom\"",
    "feature colors=0",
    "feature ics=0",
    "feature name=1",
};

bool isThinkingLine(const std::string& line) {
  static const std::regex pattern(R"(^\d+ -?\d+ \d+ \d+ .*)");
  return std::regex_match(line, pattern);
}

class XboardSession : public ::testing::Test {
 protected:
  void SetUp() override { start(); }

  // An empty default book keeps the once-only note about a missing book
  // out of the exact answers; BookMissing tests that note on its own.
  // Each engine gets a fresh empty working directory of its own, so no
  // "Brakken.ini" or book of the test's own directory is read. A test that
  // starts a second engine ends the first one before its directory goes,
  // so nothing of the first is left behind.
  void start(const std::string& ini = "", bool withIni = false, bool withBook = true,
             const std::vector<std::string>& arguments = {}) {
    engine.reset();
    if (directory) {
      const std::string previous = directory->path();
      directory.reset();
      EXPECT_FALSE(std::filesystem::exists(previous)) << previous;
    }
    directory = std::make_unique<TempDirectory>();
    ASSERT_TRUE(directory->ok());
    if (withIni) std::ofstream(directory->path("Brakken.ini"), std::ios::binary) << ini;
    if (withBook) std::ofstream(directory->path("Brakken.opn"), std::ios::binary) << "* -1\n";
    engine = std::make_unique<EngineProcess>(arguments, BRAKKEN_BINARY, directory->path().c_str());
    ASSERT_TRUE(engine->started());
  }

  void TearDown() override {
    if (engine) {
      engine->send("quit");
      EXPECT_EQ(engine->waitExit(10000), 0);
      EXPECT_EQ(engine->errorText().find("ThreadSanitizer"), std::string::npos) << engine->errorText();
    }
    // The engine has ended before its directory goes, whatever it wrote there.
    engine.reset();
    directory.reset();
  }

  // The answer to "xboard" and "protover 2" without an initialisation file:
  // a missing one is the usual set-up and says nothing, for an interface
  // takes an error line naming protover for an engine without protocol 2.
  void handshake() {
    engine->send("xboard");
    engine->send("protover 2");
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("feature done=1", found);
    ASSERT_TRUE(found);
    std::vector<std::string> expected = {""};
    expected.insert(expected.end(), FeatureLines.begin(), FeatureLines.end());
    expected.push_back("feature done=1");
    EXPECT_EQ(lines, expected);
  }

  // Every line before the answer to a new ping.
  std::vector<std::string> sync(int timeoutMs = 10000) {
    const std::string pong = "pong " + std::to_string(++pings);
    engine->send("ping " + std::to_string(pings));
    bool found = false;
    std::vector<std::string> lines = engine->readUntil(pong, found, timeoutMs);
    EXPECT_TRUE(found) << pong;
    if (found) lines.pop_back();
    return lines;
  }

  // Lines up to the engine's next "move" line; the move is checked legal
  // in game and played there. Thinking lines must have the xboard shape.
  std::string readEngineMove(Game& game, int timeoutMs = 10000, std::vector<std::string>* other = nullptr) {
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("move ", found, timeoutMs);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (isThinkingLine(lines[i])) continue;
      if (other) other->push_back(lines[i]);
      else ADD_FAILURE() << "unexpected line: " << lines[i];
    }
    if (!found) {
      ADD_FAILURE() << "no move";
      return "";
    }
    const std::string text = splitWords(lines.back()).at(1);
    Move move;
    if (!parseMove(game.position, text.c_str(), move, CoordinateText)) {
      ADD_FAILURE() << "illegal engine move " << text;
      return "";
    }
    game.playMove(move);
    return text;
  }

  std::unique_ptr<TempDirectory> directory;
  std::unique_ptr<EngineProcess> engine;
  int pings = 0;
};

TEST_F(XboardSession, CommandsGetTheirExactAnswers) {
  handshake();
  const struct {
    std::vector<std::string> commands;
    std::vector<std::string> answers;
  } cases[] = {
      {{"foo bar"}, {"Error (unknown command): foo bar"}},
      {{"rejected ics"}, {"Error (not implemented): rejected ics"}},
      {{"level 40 5"}, {"Error (bad parameters): level 40 5"}},
      {{"level 0 2:30 12", "level 40 5 0", "level 0 4:57 3.0", "st 2.5", "sd 4", "time 3000", "otim 3000"}, {}},
      {{"level 99999999999999999999 1e999 5", "st 1e400", "time 99999999999999999999999"}, {}},
      {{"level 0 5 -1"}, {"Error (bad parameters): level 0 5 -1"}},
      {{"new", "force", "usermove e2e5"}, {"Illegal move: e2e5  "}},
      {{"usermove"}, {"Illegal move:       "}},
      {{"usermove e2e4e5e6e7"}, {"Illegal move: e2e4e5"}},
      {{"bk"}, {""}},
      {{"hint", "exit", ".", "undo"}, {}},
      {{"setboard not a fen"}, {"Error (Illegal position): not a fen"}},
      {{"setboard " + std::string(3000, 'x')}, {"Error (Illegal position): " + std::string(255, 'x')}},
      {{"accepted usermove", "random", "rating 2000 1900", "computer", "hard", "easy", "post", "nopost", "draw",
        "result 1-0 {White mates}", "variant normal", "name " + std::string(5000, 'n'), "xboard"},
       {""}},
      // A set-up whose castling field is stale for a king that has moved
      // is taken with that king's rights dropped; the other side castles.
      {{"new", "force", "setboard 4k2r/8/8/8/8/8/8/R4K2 b KQk - 0 1", "usermove e8g8", "usermove f1e2"}, {}},
      // Game ends on the adapter's board, after the opponent's move.
      {{"new", "force", "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "usermove a1a8"}, {"1-0 {White mates}"}},
      {{"setboard r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", "usermove a8a1"}, {"0-1 {Black mates}"}},
      {{"setboard 7k/8/8/6Q1/8/8/8/6K1 w - - 0 1", "usermove g5g6"}, {"1/2-1/2 {Stalemate}"}},
      {{"setboard 7k/8/8/8/8/8/5r2/4N1K1 w - - 0 1", "usermove g1f2"}, {"1/2-1/2 {Insufficient material}"}},
      {{"setboard 7k/8/8/8/8/8/2b2r2/5BK1 w - - 0 1", "usermove g1f2"}, {"1/2-1/2 {Insufficient material}"}},
      // Not claimed: bishops on both colours, and a blocked-pawn position
      // that the rules do not end.
      {{"setboard 7k/8/8/8/8/8/3b1r2/5BK1 w - - 0 1", "usermove g1f2"}, {}},
      {{"setboard k7/8/8/1p1p1p1p/pPpPpPpP/P1P1P1P1/8/7K w - - 0 1", "usermove h1g1"}, {}},
      {{"new", "force", "usermove g1f3", "usermove g8f6", "usermove f3g1", "usermove f6g8", "usermove g1f3",
        "usermove g8f6", "usermove f3g1"},
       {}},
      {{"usermove f6g8"}, {"1/2-1/2 {Draw by repetition}"}},
      // "remove" after a single move empties the list; "undo" outside force
      // and analyse mode changes nothing.
      {{"new", "force", "usermove e2e4", "remove", "usermove e2e4", "usermove e7e5"}, {}},
      {{"new", "force", "usermove e2e4", "playother", "undo", "usermove e2e4"}, {"Illegal move: e2e4  "}},
  };
  for (const auto& c : cases) {
    for (const std::string& command : c.commands) engine->send(command);
    EXPECT_EQ(sync(), c.answers) << c.commands.front() << " ... " << c.commands.back();
  }
}

TEST(XboardSessionStart, ProtocolVersionTwoIsRequired) {
  for (const std::vector<std::string>& commands :
       {std::vector<std::string>{"xboard", "new"}, std::vector<std::string>{"xboard", "protover 1", "new"}}) {
    EngineProcess engine;
    for (const std::string& command : commands) engine.send(command);
    EXPECT_EQ(engine.waitExit(5000), 0);
    const std::vector<std::string> lines = engine.drain(100);
    const std::string argument = commands[1] == "new" ? "new" : "1";
    EXPECT_EQ(lines, (std::vector<std::string>{"", "Error (protocol version 2 required): " + argument}));
  }
}

// Without the default book the engine plays on and says so once, as
// information, not as an error on every game.
TEST_F(XboardSession, AMissingDefaultBookIsNotedOnce) {
  engine->send("quit");
  engine->waitExit();
  start("", false, false);
  handshake();
  engine->send("new");
  EXPECT_EQ(sync(), (std::vector<std::string>{"Info: no opening book Brakken.opn"}));
  engine->send("new");
  engine->send("new");
  EXPECT_EQ(sync(), (std::vector<std::string>{}));
}

// The "setoption " lines of the initialisation file reach the UCI side
// whole and without their line ends; pieces of overlong lines do not.
TEST_F(XboardSession, InitialisationFileLinesArePassedOn) {
  engine->closeInput();
  engine->waitExit();
  const std::string ini = "setoption name Bogus1 value 1\r\n# setoption name NotOne\r\nname x\n" +
                          std::string("setoption name Bogus2 value ") + std::string(3000, '2') +
                          "\nsetoption name Bogus3 value 3";
  start(ini, true);
  engine->send("xboard");
  engine->send("protover 2");
  // The UCI side answers the passed lines on the queue's worker, so its
  // answers may come before or after "feature done=1": the feature lines
  // and the answers are each checked in their own order.
  std::vector<std::string> features, answers;
  for (const std::string& line : sync()) (line.rfind("Error (", 0) == 0 ? answers : features).push_back(line);
  std::vector<std::string> expected = {""};
  expected.insert(expected.end(), FeatureLines.begin(), FeatureLines.end());
  expected.push_back("feature done=1");
  EXPECT_EQ(features, expected);
  EXPECT_EQ(answers, (std::vector<std::string>{
                         "Error ('setoption': unbekannte Option): setoption name Bogus1 value 1",
                         "Error ('setoption': unbekannte Option): setoption name Bogus3 value 3"}));
}

// An initialisation file that is there but cannot be read is told on a
// comment line, never on an error line; the handshake still ends.
TEST_F(XboardSession, AnUnreadableInitialisationFileIsToldOnACommentLine) {
  engine->closeInput();
  engine->waitExit();
  start();
  std::filesystem::create_directory(directory->path("Brakken.ini"));
  engine->send("xboard");
  engine->send("protover 2");
  bool found = false;
  const std::vector<std::string> lines = engine->readUntil("feature done=1", found);
  ASSERT_TRUE(found);
  std::vector<std::string> expected = {""};
  expected.insert(expected.end(), FeatureLines.begin(), FeatureLines.end());
  expected.push_back("# file 'Brakken.ini' cannot be read: Is a directory");
  expected.push_back("feature done=1");
  EXPECT_EQ(lines, expected);
  engine->send("new");
  EXPECT_EQ(sync(), std::vector<std::string>{});
}

// An initialisation file longer than the command queue: every line waits
// for room, none is dropped, and the last one reaches the UCI side too.
TEST_F(XboardSession, EveryLineOfALongInitialisationFileIsPassedOn) {
  engine->closeInput();
  engine->waitExit();
  std::string ini;
  std::vector<std::string> expected;
  for (int i = 1; i <= 300; ++i) {
    const std::string line = "setoption name Bogus" + std::to_string(i) + " value " + std::to_string(i);
    ini += line + "\n";
    expected.push_back("Error ('setoption': unbekannte Option): " + line);
  }
  start(ini, true);
  engine->send("xboard");
  engine->send("protover 2");
  std::vector<std::string> answers;
  for (const std::string& line : sync(30000))
    if (line.rfind("Error (", 0) == 0) answers.push_back(line);
  EXPECT_EQ(answers, expected);
}

TEST_F(XboardSession, AWholeGameWithPonderingHasOnlyLegalMoves) {
  handshake();
  for (const char* command : {"new", "hard", "post", "level 0 0:01 0.02"}) engine->send(command);
  std::mt19937 random(7);
  Game game;
  bool over = false;
  int ponderHits = 0;
  for (int ply = 0; ply < 60 && !over; ply += 2) {
    // The interface's side: a random legal move, sometimes the one the
    // engine ponders on.
    std::vector<Move> moves;
    {
      LocalMoveStack stack;
      MoveList list(stack, game.position, legalityHistoryTable(), AllMoves);
      while (const MoveListEntry* e = list.next()) {
        UndoRecord undo;
        undo.save(game.position);
        if (game.position.makeMove(e->move, undo)) {
          undo.restore();
          moves.push_back(e->move);
        }
      }
    }
    ASSERT_FALSE(moves.empty());
    Move move = moves[random() % moves.size()];
    char text[16];
    std::vector<std::string> before = sync();
    for (const std::string& line : before)
      if (line.rfind("Hint: ", 0) == 0 && random() % 2) {
        Move hinted;
        if (parseMove(game.position, line.c_str() + 6, hinted, CoordinateText)) {
          move = hinted;
          ++ponderHits;
        }
      }
    formatMove(game.position, move, Coordinate, text);
    game.playMove(move);
    engine->send("time 100");
    engine->send("otim 100");
    engine->send(std::string("usermove ") + text);
    if (game.position.noLegalMove() || game.drawStatus() == DrawByRepetition || game.drawStatus() == DrawByMaterial ||
        game.drawStatus() == DrawByFiftyMoves) {
      const std::vector<std::string> end = sync();
      ASSERT_FALSE(end.empty());
      EXPECT_TRUE(end.back().find('{') != std::string::npos) << end.back();
      break;
    }
    std::vector<std::string> other;
    ASSERT_FALSE(readEngineMove(game, 5000, &other).empty()) << "ply " << ply;
    for (const std::string& line : other) EXPECT_TRUE(line == "offer draw") << line;
    engine->send("hint");
    for (const std::string& line : sync()) {
      if (line.rfind("Hint: ", 0) == 0 || isThinkingLine(line)) continue;
      if (line == "resign" || line.find('{') != std::string::npos) over = true;
      else ADD_FAILURE() << line;
    }
    // Keep the hint for the next round.
    engine->send("hint");
  }
  engine->send("result *");
  sync();
  (void)ponderHits;
}

TEST_F(XboardSession, AnAnalysisSessionNeverMoves) {
  handshake();
  for (const char* command : {"new", "force", "post", "analyze"}) engine->send(command);
  usleep(300000);
  std::vector<std::string> lines = sync();
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) EXPECT_TRUE(isThinkingLine(line)) << line;
  engine->send(".");
  lines = sync();
  ASSERT_EQ(lines.size() >= 1, true);
  // Fields of 13, 16, 6, 3 and 3 characters, then the current move.
  static const std::regex status(R"(^stat01: *\d+ +\d+ +\d+ +\d+ +20 (\S+)$)");
  bool sawStatus = false;
  for (const std::string& line : lines) {
    std::smatch m;
    if (std::regex_match(line, m, status)) sawStatus = line.size() == 53 + m[1].str().size();
  }
  EXPECT_TRUE(sawStatus) << lines.back();
  engine->send("hint");
  lines = sync();
  std::string lastFirstMove, hint;
  for (const std::string& line : lines) {
    if (line.rfind("Hint: ", 0) == 0) {
      hint = line.substr(6);
      break;
    }
    if (isThinkingLine(line)) lastFirstMove = splitWords(line).at(4);
  }
  if (!lastFirstMove.empty()) {
    EXPECT_EQ(hint, lastFirstMove);
  }
  EXPECT_FALSE(hint.empty());

  // A move restarts the analysis on the new position.
  engine->send("usermove e2e4");
  usleep(300000);
  Game game;
  Move e4;
  ASSERT_TRUE(parseMove(game.position, "e2e4", e4, CoordinateText));
  game.playMove(e4);
  for (const std::string& line : sync()) {
    ASSERT_TRUE(isThinkingLine(line)) << line;
    Move reply;
    EXPECT_TRUE(parseMove(game.position, splitWords(line).at(4).c_str(), reply, CoordinateText)) << line;
  }
  engine->send("undo");
  engine->send("exit");
  sync();
  usleep(100000);
  for (const std::string& line : sync()) ADD_FAILURE() << "after exit: " << line;
}

// Chess960 castling reaches the engine as "O-O" or as the king taking its
// rook, and the engine writes its own castling as "O-O-O".
TEST_F(XboardSession, Chess960CastlingBothWays) {
  handshake();
  const std::string fen = "setboard 2rkr3/2p1p3/8/8/8/8/8/RK6 w Q - 0 1";
  for (const char* move : {"O-O-O", "b1a1"}) {
    for (const std::string& command : {std::string("new"), std::string("variant fischerandom"), std::string("force"),
                                       fen, std::string("usermove ") + move})
      engine->send(command);
    EXPECT_EQ(sync(), (std::vector<std::string>{"1-0 {White mates}"})) << move;
  }
  for (const std::string& command :
       {std::string("new"), std::string("variant fischerandom"), std::string("force"), fen, std::string("nopost"),
        std::string("sd 3"), std::string("go")})
    engine->send(command);
  bool found = false;
  std::vector<std::string> lines = engine->readUntil("move ", found);
  ASSERT_TRUE(found);
  EXPECT_EQ(lines.back(), "move O-O-O");
  EXPECT_EQ(sync(), (std::vector<std::string>{"1-0 {White mates}"}));

  // The engine's castling is played on the UCI side too: black's answer
  // after a castling of white's is legal in the castled position.
  const std::string start = "setboard rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R w KQkq - 0 1";
  for (const std::string& command : {std::string("new"), std::string("variant fischerandom"), std::string("force"),
                                     start, std::string("sd 2"), std::string("usermove O-O")})
    engine->send(command);
  engine->send("go");
  Game game;
  ASSERT_TRUE(game.setFen(start.c_str() + 9));
  Move castle;
  ASSERT_TRUE(parseMove(game.position, "O-O", castle, CoordinateText));
  game.playMove(castle);
  EXPECT_FALSE(readEngineMove(game).empty());
}

// In variant normal a setboard keeps only the castling rights standard
// chess can use (king on e1/e8, rook in the corner): the other castles are
// illegal for the opponent and never played by the engine, the legal one
// is the king's step; in fischerandom the same FEN castles as Chess960.
TEST_F(XboardSession, StandardChessSetboardKeepsOnlyUsableRights) {
  handshake();
  const struct {
    const char* fen;
    const char* usable;
    std::vector<std::string> illegal;
    std::vector<std::string> legal;
  } cases[] = {
      {"4k3/8/8/8/8/P6Q/8/R4K1R w KQ - 0 1", "4k3/8/8/8/8/P6Q/8/R4K1R w - - 0 1", {"f1a1", "f1h1", "O-O-O", "O-O"}, {}},
      {"4k3/8/8/8/6b1/7p/PPP5/1R2K2R w KQ - 0 1", "4k3/8/8/8/6b1/7p/PPP5/1R2K2R w K - 0 1",
       {"e1b1", "e1c1"}, {"e1g1"}},
      {"r3k1r1/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", "r3k1r1/8/8/8/8/8/8/R3K1R1 w Qq - 0 1", {"e1g1", "e1h1"},
       {"e1c1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    for (const std::string& move : c.illegal) {
      for (const std::string& command : {std::string("new"), std::string("force"), std::string("setboard ") + c.fen,
                                         "usermove " + move})
        engine->send(command);
      std::string padded = move;
      padded.resize(6, ' ');
      EXPECT_EQ(sync(), std::vector<std::string>{"Illegal move: " + padded});
    }
    for (const std::string& move : c.legal) {
      for (const std::string& command : {std::string("new"), std::string("force"), std::string("setboard ") + c.fen,
                                         "usermove " + move})
        engine->send(command);
      EXPECT_EQ(sync(), std::vector<std::string>{}) << move;
    }
    for (const std::string& command : {std::string("new"), std::string("force"), std::string("setboard ") + c.fen,
                                       std::string("nopost"),
                                       std::string(testsupport::kBuildSlowdown == 1 ? "sd 7" : "sd 4"),
                                       std::string("go")})
      engine->send(command);
    Game game;
    ASSERT_TRUE(game.setFen(c.usable));
    EXPECT_FALSE(readEngineMove(game, 20000).empty());
  }
  // The Chess960 reading, as before.
  for (const std::string& command : {std::string("new"), std::string("variant fischerandom"), std::string("force"),
                                     std::string("setboard 4k3/8/8/8/8/8/8/R4K1R w KQ - 0 1"),
                                     std::string("usermove O-O-O")})
    engine->send(command);
  EXPECT_EQ(sync(), std::vector<std::string>{});
}

// Forced lines from a FEN tag follow the variant's reading of the FEN, as
// setboard does: in normal the rights standard chess cannot use are
// dropped and the line is played; in fischerandom the castle with the
// g-file rook is played from the line.
TEST_F(XboardSession, ForcedLinesFromAFenTagFollowTheVariant) {
  const struct {
    const char* variant;
    const char* fen;
    const char* moves;
    const char* first;
    const char* second;  // the answer after black's a8a7
  } cases[] = {
      {"normal", "r3k1r1/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", "1. Ra2 Ra7 2. Ra3 *", "a1a2", "a2a3"},
      {"fischerandom", "r3k3/8/8/8/8/8/8/R3K1R1 w KQq - 0 1", "1. O-O Ra7 2. Ra2 *", "O-O", "a1a2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variant);
    testsupport::TempTextFile lines(
        "xboard_fen_line.pgn", std::string("[White \"a\"]\n[Black \"b\"]\n[Result \"*\"]\n[FEN \"") + c.fen +
                                   "\"]\n[SetUp \"1\"]\n\n" + c.moves + "\n");
    start("", false, true, {lines.path()});
    handshake();
    for (const std::string& command : {std::string("new"), std::string("variant ") + c.variant,
                                       std::string("force"), std::string("setboard ") + c.fen, std::string("go")})
      engine->send(command);
    bool found = false;
    std::vector<std::string> answer = engine->readUntil("move ", found);
    ASSERT_TRUE(found);
    // A forced move comes without a search, so without thinking lines.
    EXPECT_EQ(answer, std::vector<std::string>{std::string("move ") + c.first});
    engine->send("usermove a8a7");
    answer = engine->readUntil("move ", found);
    ASSERT_TRUE(found);
    EXPECT_EQ(answer, std::vector<std::string>{std::string("move ") + c.second});
    EXPECT_EQ(engine->errorText(), "");
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(10000), 0);
    engine.reset();
  }
}

// "sd" caps the depth on top of the clock: a deep limit with a tiny clock
// still answers in time.
TEST_F(XboardSession, ADepthLimitKeepsTheClock) {
  handshake();
  for (const char* command : {"new", "nopost", "level 0 0:01 0", "sd 60", "time 40", "otim 40", "go"})
    engine->send(command);
  Game game;
  EXPECT_FALSE(readEngineMove(game, 3000).empty());
  for (const char* command : {"force", "st 0.2", "sd 60", "go"}) engine->send(command);
  EXPECT_FALSE(readEngineMove(game, 3000).empty());
}

// "st" and "sd" hold together, in either order: the fixed time with the
// depth as a cap. With a long clock either alone would think far longer
// than the bound here.
TEST_F(XboardSession, AFixedTimeAndADepthCapHoldTogether) {
  handshake();
  for (const std::vector<std::string>& limits :
       {std::vector<std::string>{"st 1", "sd 40"}, std::vector<std::string>{"sd 2", "st 60"}}) {
    for (const char* command : {"new", "nopost", "level 0 60 0"}) engine->send(command);
    for (const std::string& command : limits) engine->send(command);
    engine->send("go");
    Game game;
    EXPECT_FALSE(readEngineMove(game, 10000).empty()) << limits[0] << ", " << limits[1];
  }
}

// --- commands racing the search threads (run under ThreadSanitizer) ---

class XboardThreads : public XboardSession {};

TEST_F(XboardThreads, QuestionMarkThenQuitEndsAtOnce) {
  handshake();
  for (const char* command : {"new", "level 40 5 0", "time 30000", "otim 30000", "go"}) engine->send(command);
  usleep(50000);
  engine->sendRaw("?\nquit\n");
  EXPECT_EQ(engine->waitExit(5000), 0);
  engine.reset();
}

// A ping sent just before "quit" is still answered; nothing else follows.
// Also when the ping waits for the engine's move, which "quit" ends
// without one.
TEST_F(XboardThreads, PingJustBeforeQuitIsAnswered) {
  for (const char* commands : {"new\nping 7\nquit\n", "new\nnopost\nst 5\ngo\nping 7\nquit\n"}) {
    if (!engine) start();
    handshake();
    engine->sendRaw(commands);
    EXPECT_EQ(engine->waitExit(5000), 0) << commands;
    EXPECT_EQ(engine->drain(100), (std::vector<std::string>{"pong 7"})) << commands;
    engine.reset();
  }
}

// While the engine thinks on its own move, a ping is answered after that
// move and the result line that follows it; a search stopped without a
// move answers it once the stop is done. Every pong comes exactly once,
// in order, and none waits for a later search.
TEST_F(XboardThreads, APingDuringTheEnginesOwnSearchWaitsForItsMove) {
  handshake();
  const std::string mateInOne = "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
  const struct {
    std::vector<std::string> setup;  // after "new" and "nopost"
    std::vector<std::string> during;  // sent at once after the setup
    bool moves;                       // the search ends with its move
    std::vector<std::string> after;   // what follows the move, if any
  } cases[] = {
      {{"st 1", "go"}, {"ping 701"}, true, {"pong 701"}},
      {{"level 0 0:06 0", "go"}, {"ping 711", "ping 712", "ping 713"}, true, {"pong 711", "pong 712", "pong 713"}},
      {{"force", mateInOne, "st 1", "go"}, {"ping 721"}, true, {"1-0 {White mates}", "pong 721"}},
      // The pong comes before the ponder search that follows the move.
      {{"hard", "level 0 0:20 0", "usermove e2e4"}, {"ping 731"}, true, {"pong 731"}},
      {{"st 5", "go"}, {"ping 741", "?", "ping 742"}, true, {"pong 741", "pong 742"}},
      // "undo" outside force mode changes nothing: the search goes on.
      {{"st 1", "go"}, {"ping 751", "undo"}, true, {"pong 751"}},
      {{"st 5", "go"}, {"ping 761", "ping 762", "force"}, false, {"pong 761", "pong 762"}},
      {{"st 5", "go"}, {"ping 771", "new"}, false, {"pong 771"}},
      {{"st 5", "go"}, {"ping 781", "result 1-0"}, false, {"pong 781"}},
      {{"st 5", "go"}, {"ping 791", mateInOne}, false, {"pong 791"}},
      {{"st 5", "go"}, {"ping 801", "remove"}, false, {"pong 801"}},
      {{"st 5", "go"}, {"ping 811", "analyze", "ping 812", "exit"}, false, {"pong 811", "pong 812"}},
  };
  for (const auto& c : cases) {
    const std::string name = c.during.back();
    for (const char* command : {"new", "nopost"}) engine->send(command);
    for (const std::string& command : c.setup) engine->send(command);
    std::string during;
    for (const std::string& command : c.during) during += command + "\n";
    engine->sendRaw(during);
    bool found = false;
    std::vector<std::string> lines = engine->readUntil(c.after.back(), found, 20000);
    EXPECT_TRUE(found) << name;
    // A search stopped without its move may still have moved just before
    // the stop arrived; the move is then the first line.
    const bool moved = !lines.empty() && lines[0].rfind("move ", 0) == 0;
    if (c.moves) {
      EXPECT_TRUE(moved) << name << ": " << (lines.empty() ? "" : lines[0]);
    }
    if (moved) lines.erase(lines.begin());
    EXPECT_EQ(lines, c.after) << name;
    // Nothing more: no pong twice, no move of the stopped search.
    EXPECT_EQ(sync(), (std::vector<std::string>{})) << name;
  }
}

// While pondering and while analysing a ping is answered at once, since no
// move is owed; after a ponder hit the search is the engine's own again.
TEST_F(XboardThreads, PingsDuringPonderingAndAnalysisAreAnsweredAtOnce) {
  handshake();
  for (const char* command : {"new", "hard", "nopost", "level 0 0:20 0", "go"}) engine->send(command);
  Game game;
  ASSERT_FALSE(readEngineMove(game, 10000).empty());
  engine->send("hint");
  std::vector<std::string> lines = sync();
  ASSERT_EQ(lines.size(), 1u) << "no move to ponder on";
  ASSERT_EQ(lines[0].rfind("Hint: ", 0), 0u) << lines[0];
  // The ponder search never moves by itself: a held pong would never come.
  EXPECT_EQ(sync(), (std::vector<std::string>{}));
  engine->sendRaw("usermove " + lines[0].substr(6) + "\nping 900\n");
  bool found = false;
  lines = engine->readUntil("pong 900", found, 20000);
  ASSERT_TRUE(found);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("move ", 0), 0u) << lines[0];

  for (const char* command : {"force", "post", "analyze"}) engine->send(command);
  for (const std::string& line : sync()) EXPECT_TRUE(isThinkingLine(line)) << line;
  engine->send("exit");
}

// The move that "?" asks for comes before the answer to a later ping, and
// "?" after a ponder hit moves at once.
TEST_F(XboardThreads, MoveNowComesBeforePong) {
  handshake();
  for (const char* command : {"new", "hard", "nopost", "level 40 5 0", "time 30000", "otim 30000", "go"})
    engine->send(command);
  usleep(50000);
  // While the engine thinks on its own move, a ping waits for that move,
  // here the one that "?" asks for.
  engine->sendRaw("ping 99\n?\nping 100\n");
  bool found = false;
  std::vector<std::string> lines = engine->readUntil("pong 100", found, 10000);
  ASSERT_TRUE(found);
  ASSERT_EQ(lines.size(), 3u);
  Game game;
  Move move;
  ASSERT_EQ(lines[0].rfind("move ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "pong 99");
  ASSERT_TRUE(parseMove(game.position, lines[0].c_str() + 5, move, CoordinateText));
  game.playMove(move);
  // Pondering now: a ping is answered, "?" does nothing.
  engine->send("?");
  EXPECT_TRUE(sync(2000).empty());
  engine->send("hint");
  lines = sync();
  // A search stopped in its first iteration may have no move to ponder on.
  if (lines.empty()) return;
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].rfind("Hint: ", 0), 0u);
  engine->sendRaw("usermove " + lines[0].substr(6) + "\n?\n");
  ASSERT_TRUE(parseMove(game.position, lines[0].c_str() + 6, move, CoordinateText));
  game.playMove(move);
  EXPECT_FALSE(readEngineMove(game, 1500).empty());
}

// A search stopped for "new", "force", "setboard", "undo", "remove" or
// "result" never has its move written, however the threads interleave:
// after any of them the board the interface keeps stays the engine's.
TEST_F(XboardThreads, StoppedSearchesNeverMove) {
  handshake();
  std::mt19937 random(11);
  const char* stoppers[] = {"new", "force", "result 1-0", "setboard rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
                            "remove"};
  for (int round = 0; round < 25; ++round) {
    engine->send("new");
    engine->send("hard");
    engine->send("nopost");
    engine->send("st 0.03");
    engine->send("go");
    Game game;
    usleep(useconds_t(random() % 45000));
    const std::string stopper = stoppers[round % 5];
    engine->send(stopper);
    std::vector<std::string> lines = sync();
    usleep(60000);
    for (const std::string& line : sync()) lines.push_back(line);
    int moves = 0;
    for (const std::string& line : lines) {
      if (line.rfind("move ", 0) != 0) continue;
      ++moves;
      Move move;
      ASSERT_TRUE(parseMove(game.position, line.c_str() + 5, move, CoordinateText)) << line;
      game.playMove(move);
    }
    EXPECT_LE(moves, 1) << stopper;
    if (stopper == "new" || stopper.rfind("setboard", 0) == 0) continue;
    if (stopper == "remove" || stopper.rfind("result", 0) == 0) {
      // Still the engine's board: a legal move there is accepted.
      engine->send("force");
      if (stopper == "remove") game.setPosition(nullptr);
    }
    LocalMoveStack stack;
    MoveList list(stack, game.position, legalityHistoryTable(), AllMoves);
    Move reply = 0;
    while (const MoveListEntry* e = list.next()) {
      UndoRecord undo;
      undo.save(game.position);
      if (game.position.makeMove(e->move, undo)) {
        undo.restore();
        reply = e->move;
        break;
      }
    }
    char text[16];
    formatMove(game.position, reply, Coordinate, text);
    engine->send(std::string("usermove ") + text);
    for (const std::string& line : sync())
      EXPECT_TRUE(line.rfind("Illegal move", 0) != 0) << stopper << ": " << line;
  }
}

// A silent stop mutes the search on the worker thread; the answers the
// command thread writes meanwhile are never lost to it.
TEST_F(XboardThreads, AnswersSurviveSilentStops) {
  handshake();
  for (int round = 0; round < 20; ++round) {
    // A running search makes the worker's muted stop take its time.
    for (const char* command : {"new", "nopost", "level 40 5 0", "go"}) engine->send(command);
    usleep(10000);
    engine->send("force");
    engine->send("usermove e2e5");
    engine->send("setboard x");
    engine->send("usermove f2f3");
    engine->send("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    engine->send("usermove a1a8");
    EXPECT_EQ(sync(), (std::vector<std::string>{"Illegal move: e2e5  ", "Error (Illegal position): x",
                                                "1-0 {White mates}"}));
  }
}

// An interface stepping through a game while analysing sends commands
// faster than the worker stops and starts searches: every text still gets
// through (no "queue full"), the ping is answered and the analysis ends on
// the last position.
TEST_F(XboardThreads, AFloodOfAnalysisCommandsLosesNothing) {
  handshake();
  for (const char* command : {"new", "force", "post", "analyze"}) engine->send(command);
  usleep(100000);
  std::string flood;
  for (int i = 0; i < 40; ++i) flood += "usermove e2e4\nundo\n";
  engine->sendRaw(flood);
  for (const std::string& line : sync(20000)) EXPECT_TRUE(isThinkingLine(line)) << line;
  usleep(200000);
  Game game;
  for (const std::string& line : sync()) {
    ASSERT_TRUE(isThinkingLine(line)) << line;
    Move move;
    EXPECT_TRUE(parseMove(game.position, splitWords(line).at(4).c_str(), move, CoordinateText)) << line;
  }
  engine->send("exit");
}

TEST_F(XboardThreads, NewDuringAPonderSearch) {
  handshake();
  for (int round = 0; round < 5; ++round) {
    for (const char* command : {"new", "hard", "nopost", "level 0 0:02 0", "go"}) engine->send(command);
    Game game;
    ASSERT_FALSE(readEngineMove(game, 5000).empty());
    usleep(20000 * useconds_t(round));
    engine->send("new");
    usleep(100000);
    for (const std::string& line : sync()) ADD_FAILURE() << "after new: " << line;
  }
}

TEST_F(XboardThreads, EndOfInputDuringASearch) {
  handshake();
  for (const char* command : {"new", "post", "level 40 5 0", "go"}) engine->send(command);
  usleep(100000);
  engine->closeInput();
  EXPECT_EQ(engine->waitExit(5000), 0);
  for (const std::string& line : engine->drain(100)) EXPECT_TRUE(isThinkingLine(line)) << line;
  EXPECT_EQ(engine->errorText().find("ThreadSanitizer"), std::string::npos) << engine->errorText();
  engine.reset();
}

}  // namespace
