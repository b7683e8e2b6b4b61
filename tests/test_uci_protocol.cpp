#include <cstdio>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "board/game.h"
#include "board/notation.h"
#include "eval/evaluator.h"
#include "protocol/command_text.h"
#include "support/engine_fixture.h"
#include "support/temp_text_file.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineObjects;
using testsupport::positionOf;

class UciProtocolTest : public ::testing::Test {
 protected:
  EngineObjects engine;

  void SetUp() override { engine.line("debug on"); }

  // Runs the line and gives back what it wrote.
  std::vector<std::string> run(const std::string& line) {
    engine.output.take();
    engine.line(line);
    return engine.output.take();
  }

  uint64_t rootKey() { return engine.searcher.position().hashKey; }
  uint64_t snapshotKey() { return engine.output.snapshot().hashKey; }
};

const std::vector<std::string>& ListedLines = testsupport::UciAnswer;

TEST_F(UciProtocolTest, UciListsIdentificationAndOptionsInOrder) {
  std::vector<std::string> expected = ListedLines;
  expected.push_back("uciok");
  EXPECT_EQ(run("uci"), expected);
}

TEST(UciProtocolHiddenTest, HiddenOptionsComeBeforeUciok) {
  EngineObjects engine(true);
  engine.line("uci");
  std::vector<std::string> expected = ListedLines;
  expected.insert(expected.end(), testsupport::HiddenAnswer.begin(), testsupport::HiddenAnswer.end());
  expected.push_back("uciok");
  EXPECT_EQ(engine.output.lines(), expected);
}

TEST_F(UciProtocolTest, UnknownWordsAreIgnoredWithoutAnswer) {
  for (const char* line : {"foo", "ucinewgamex", "isreadyisreadyisready", "", "   ", "Uci", "ISREADY", "xboard",
                           "uciucitestxboardquit", "\x01\x02\xff", "stopp", "go\x7f"})
    EXPECT_TRUE(run(line).empty()) << line;
  EXPECT_FALSE(engine.controller.quitRequested());
  EXPECT_EQ(run("isready"), std::vector<std::string>{"readyok"});
}

TEST_F(UciProtocolTest, DebugIsOffOnlyWhenTheLineSaysOff) {
  const struct {
    const char* line;
    bool on;
  } cases[] = {{"debug off", false}, {"debug", true},       {"debug offline", false}, {"debug on", true},
               {"debug of", true},   {"debug x off", false}, {"debug yes", true}};
  for (const auto& c : cases) {
    engine.line(c.line);
    EXPECT_EQ(engine.output.isDebug(), c.on) << c.line;
  }
}

TEST_F(UciProtocolTest, PositionPlaysTheMovesAndSnapshotsTheRoot) {
  const char* lines[] = {
      "position startpos",
      "position startpos moves e2e4 e7e5 g1f3",
      "position fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1 moves c7c5",
      "position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8q",
      "position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8n",
  };
  for (const char* line : lines) {
    EXPECT_TRUE(run(line).empty()) << line;
    EXPECT_EQ(rootKey(), positionOf(line).hashKey) << line;
    EXPECT_EQ(snapshotKey(), rootKey()) << line;
  }
}

TEST_F(UciProtocolTest, MoveTokensAreCutBeforeTheyAreRead) {
  const struct {
    const char* line;
    const char* same;  // the position it must give
  } cases[] = {
      {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8qxyz", "position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8q"},
      {"position startpos moves e2e41 e7e5", "position startpos moves e2e4 e7e5"},
      {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves O-O", "position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1"},
      {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves O-O-O-O", "position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1c1"},
      {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves O-O+", "position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(run(c.line).empty()) << c.line;
    EXPECT_EQ(rootKey(), positionOf(c.same).hashKey) << c.line;
  }
}

TEST_F(UciProtocolTest, AnIllegalMoveEndsTheListAndKeepsTheMovesBefore) {
  const struct {
    const char* line;
    const char* diagnostic;
    const char* same;
  } cases[] = {
      {"position startpos moves e2e4 e2e4", "info string position: Ung\xfcltiger Zug:  e2e4", "position startpos moves e2e4"},
      {"position startpos moves e2e5 e7e5", "info string position: Ung\xfcltiger Zug:  e2e5", "position startpos"},
      {"position startpos moves e2e4 e7e5x g1f3", "info string position: Ung\xfcltiger Zug:  e7e5x", "position startpos moves e2e4"},
      {"position startpos moves e1g1", "info string position: Ung\xfcltiger Zug:  e1g1", "position startpos"},
      {"position startpos moves \xff\xfe\x01", "info string position: Ung\xfcltiger Zug:  \xff\xfe\x01", "position startpos"},
      {"position startpos moves O-O", "info string position: Ung\xfcltiger Zug:  O-O", "position startpos"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.line), std::vector<std::string>{c.diagnostic}) << c.line;
    EXPECT_EQ(rootKey(), positionOf(c.same).hashKey) << c.line;
    EXPECT_EQ(snapshotKey(), rootKey()) << c.line;
  }
}

TEST_F(UciProtocolTest, ARefusedFenSetsTheStartPositionAndItsSnapshot) {
  const uint64_t start = positionOf("position startpos").hashKey;
  for (const char* fen : {"garbage", "", "8/8/8/8/8/8/8/8 w - - 0 1", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",
                          "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "k7/8/8/8/8/8/8/K6q b - - 0 1",
                          "\x01\x02\x03\xff"}) {
    run("position startpos moves e2e4 e7e5");
    const std::string line = std::string("position fen ") + fen;
    EXPECT_EQ(run(line), std::vector<std::string>{std::string("info string position: Ung\xfcltiger FEN-String:  ") + fen})
        << line;
    EXPECT_EQ(rootKey(), start) << line;
    EXPECT_EQ(snapshotKey(), start) << line;
  }
}

TEST_F(UciProtocolTest, PositionWithoutSetupWordsReportsAndChangesNothing) {
  run("position startpos moves d2d4");
  const uint64_t before = rootKey();
  EXPECT_EQ(run("position"), std::vector<std::string>{"info string 'position' ohne 'startpos' und ohne 'fen'"});
  EXPECT_EQ(run("position moves e2e4"), std::vector<std::string>{"info string 'position' ohne 'startpos' und ohne 'fen'"});
  for (const char* line : {"position Chess960", "position Chess960 -4", "position Chess960 x"})
    EXPECT_EQ(run(line), std::vector<std::string>{"info string 'position Chess960' ohne Nummer"}) << line;
  EXPECT_EQ(rootKey(), before);
}

TEST_F(UciProtocolTest, Chess960NumbersCountModulo960) {
  Game g;
  for (const auto& c : std::vector<std::pair<std::string, unsigned>>{
           {"518", 518}, {"0", 0}, {"959", 959}, {"960", 0}, {"1234567890123456789012", 852}}) {
    EXPECT_TRUE(run("position Chess960 " + c.first).empty());
    g.setChess960(c.second);
    EXPECT_EQ(rootKey(), g.position.hashKey) << c.first;
  }
  run("position Chess960 518 moves e2e4");
  EXPECT_EQ(rootKey(), positionOf("position startpos moves e2e4").hashKey);
}

// Castling goes out as the interface expects it, whatever form the FEN
// used: the king taking its rook under UCI_Chess960, else the two-square
// step (or the king taking its rook in a Chess960 set-up).
TEST_F(UciProtocolTest, CastlingIsWrittenTheWayTheInterfaceExpects) {
  const struct {
    bool chess960;
    const char* fen;
    const char* move;  // castling as the wire carries it
    const char* expected;
  } cases[] = {
      {false, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", "bestmove e1g1"},
      {false, "r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "e1g1", "bestmove e1g1"},
      {false, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1c1", "bestmove e1c1"},
      {true, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1h1", "bestmove e1h1"},
      {true, "r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "e1a1", "bestmove e1a1"},
      {true, "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8h8", "bestmove e8h8"},
      {true, "1r3k2/8/8/8/8/8/8/1R3KR1 w GBb - 0 1", "f1b1", "bestmove f1b1"},
      {true, "1r3k2/8/8/8/8/8/8/1R3KR1 w GBb - 0 1", "f1g1", "bestmove f1g1"},
      {true, "1r3k2/8/8/8/8/8/8/1R3KR1 b KQq - 0 1", "f8b8", "bestmove f8b8"},
  };
  for (const auto& c : cases) {
    run(std::string("setoption name UCI_Chess960 value ") + (c.chess960 ? "true" : "false"));
    ASSERT_TRUE(run(std::string("position fen ") + c.fen).empty()) << c.fen;
    Position p = engine.searcher.position();
    Move castle;
    ASSERT_TRUE(parseMove(p, c.move, castle, CoordinateText)) << c.move;
    ASSERT_EQ(movePiece(castle), King);
    ASSERT_TRUE(p.white.pieces[Rook] & squareBit(moveTo(castle)) || p.black.pieces[Rook] & squareBit(moveTo(castle)));
    engine.output.take();
    engine.output.printBestMove(&castle, nullptr);
    EXPECT_EQ(engine.output.take(), std::vector<std::string>{c.expected}) << c.fen;
    // The same text is read back as castling.
    run(std::string("position fen ") + c.fen + " moves " + c.move);
    Position after = p;
    UndoRecord undo;
    undo.save(after);
    ASSERT_TRUE(after.makeMove(castle, undo));
    EXPECT_EQ(rootKey(), after.hashKey) << c.fen;
  }
}

class SetOptionTest : public UciProtocolTest {};

TEST_F(SetOptionTest, MalformedLinesGiveTheirDiagnostics) {
  const struct {
    const char* line;
    const char* diagnostic;
  } cases[] = {
      {"setoption", "'setoption' ohne 'name'"},
      {"setoption nam Hash value 3", "'setoption' ohne 'name'"},
      {"setoption name", "Syntaxfehler bei 'setoption'"},
      {"setoption name    ", "Syntaxfehler bei 'setoption'"},
      {"setoption name value 3", "Syntaxfehler bei 'setoption'"},
      {"setoption name Foo value 1", "'setoption': unbekannte Option"},
      {"setoption name Hash  value 8", "'setoption': unbekannte Option"},
      {"setoption name NumberOfProcessorsNumberOfProcessors value 2", "'setoption': unbekannte Option"},
      {"setoption name \xff\xfe value 1", "'setoption': unbekannte Option"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(c.line), std::vector<std::string>{std::string("info string ") + c.diagnostic + " " + c.line}) << c.line;
}

TEST_F(SetOptionTest, EveryOptionThatNeedsAValueSaysSoWithoutOne) {
  for (const char* name : {"Hash", "Ponder", "OwnBook", "BookFile", "MultiPV", "NumberOfProcessors", "Opponent",
                           "UCI_Chess960", "blocking", "NoOutput", "AlwaysClearHash", "NeuroMaterial", "NeuroWidth",
                           "MaterialFile", "Resign", "TimeLogfile"}) {
    const std::string line = std::string("setoption name ") + name;
    EXPECT_EQ(run(line), std::vector<std::string>{"info string 'setoption name " + std::string(name) +
                                                  "' ohne 'value' " + line})
        << line;
  }
  EXPECT_TRUE(run("setoption name Clear Hash").empty());
}

TEST_F(SetOptionTest, BadValuesAreRefusedAndLeaveTheOptionAlone) {
  Searcher& s = engine.searcher;
  const size_t entries = s.transpositionTable().entryCount();
  const struct {
    const char* line;
    const char* name;
  } cases[] = {
      {"setoption name Hash value 0", "Hash"},
      {"setoption name Hash value -5", "Hash"},
      {"setoption name Hash value lots", "Hash"},
      {"setoption name Hash value -99999999999999999999999", "Hash"},
      {"setoption name Ponder value yes", "Ponder"},
      {"setoption name Ponder value TRUEx", "Ponder"},
      {"setoption name Ponder value truefalse", "Ponder"},
      {"setoption name OwnBook value 1", "OwnBook"},
      {"setoption name UCI_Chess960 value on", "UCI_Chess960"},
      {"setoption name NeuroMaterial value 101", "NeuroMaterial"},
      {"setoption name NeuroMaterial value -1", "NeuroMaterial"},
      {"setoption name NeuroWidth value 0", "NeuroWidth"},
      {"setoption name NeuroWidth value 10001", "NeuroWidth"},
      {"setoption name NeuroWidth value 99999999999999999999999", "NeuroWidth"},
      {"setoption name blocking value 0", "blocking"},
      {"setoption name NoOutput value no", "NoOutput"},
      {"setoption name Resign value 0", "Resign"},
      {"setoption name Resign value -700", "Resign"},
      {"setoption name AlwaysClearHash value maybe", "AlwaysClearHash"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(c.line), std::vector<std::string>{std::string("info string Unzul\xe4ssiger Wert f\xfcr '") + c.name +
                                                    "' " + c.line})
        << c.line;
  EXPECT_EQ(s.transpositionTable().entryCount(), entries);
  EXPECT_TRUE(engine.clock.ponder());
  EXPECT_EQ(s.ownBook(), 1);
  EXPECT_FALSE(engine.protocol.chess960());
  EXPECT_EQ(s.evaluator().neuroMaterial(), 40);
  EXPECT_EQ(s.evaluator().neuroWidth(), 500);
  EXPECT_FALSE(engine.controller.blocking());
  EXPECT_FALSE(engine.output.isSilent());
  EXPECT_EQ(s.resignThreshold(), -7000);
  EXPECT_EQ(s.alwaysClearHash(), 0);
}

TEST_F(SetOptionTest, MultiPvAndThreadsFallBackToOneOnBadValues) {
  engine.line("setoption name MultiPV value 4");
  engine.line("setoption name NumberOfProcessors value 3");
  EXPECT_EQ(run("setoption name MultiPV value 0"),
            std::vector<std::string>{"info string Unzul\xe4ssiger Wert f\xfcr 'MultiPV' setoption name MultiPV value 0"});
  EXPECT_EQ(engine.searcher.multiPv(), 1);
  EXPECT_EQ(run("setoption name NumberOfProcessors value -3"),
            std::vector<std::string>{"info string Unzul\xe4ssiger Wert f\xfcr 'NumberOfProcessors' setoption name "
                                     "NumberOfProcessors value -3"});
  EXPECT_EQ(engine.controller.threadCount(), 1);
  EXPECT_EQ(engine.controller.helper(0), nullptr);
}

TEST_F(SetOptionTest, GoodValuesTakeEffect) {
  Searcher& s = engine.searcher;
  // A time log name with a blank in it is taken whole; the option opens the
  // log at once, so it lies in a directory of the test's own.
  testsupport::TempDirectory logDirectory;
  ASSERT_TRUE(logDirectory.ok());
  const std::string blankLog = logDirectory.path("brakken time.log");
  const struct {
    std::string line;
    std::function<bool()> holds;
  } cases[] = {
      {"setoption name Hash value 8",
       [&] { return s.transpositionTable().entryCount() == TranspositionTable(8 << 20).entryCount(); }},
      {"setoption name Hash value 1",
       [&] { return s.transpositionTable().entryCount() == TranspositionTable(1 << 20).entryCount(); }},
      {"setoption name Ponder value false", [&] { return !engine.clock.ponder(); }},
      {"setoption name Ponder value true", [&] { return engine.clock.ponder(); }},
      {"setoption name OwnBook value false", [&] { return s.ownBook() == 0; }},
      {"setoption name MultiPV value 3", [&] { return s.multiPv() == 3; }},
      {"setoption name MultiPV value 300", [&] { return s.multiPv() == 255; }},
      {"setoption name MultiPV value 99999999999999999999", [&] { return s.multiPv() == 255; }},
      {"setoption name MultiPV value 1", [&] { return s.multiPv() == 1; }},
      {"setoption name UCI_Chess960 value true", [&] { return engine.protocol.chess960(); }},
      {"setoption name UCI_Chess960 value false", [&] { return !engine.protocol.chess960(); }},
      {"setoption name BookFile value my book.opn", [&] { return !std::strcmp(engine.protocol.bookFile(), "my book.opn"); }},
      {"setoption name Opponent value Someone Else", [] { return true; }},
      {"setoption name NumberOfProcessors value 12", [&] { return engine.controller.threadCount() == 8 && s.threadCount() == 8; }},
      {"setoption name NeuroMaterial value 0", [&] { return s.evaluator().neuroMaterial() == 0; }},
      {"setoption name NeuroMaterial value 100", [&] { return s.evaluator().neuroMaterial() == 100; }},
      {"setoption name NeuroWidth value 10000", [&] { return s.evaluator().neuroWidth() == 10000; }},
      {"setoption name NeuroWidth value 1", [&] { return s.evaluator().neuroWidth() == 1; }},
      {"setoption name MaterialFile value (internal)", [&] { return s.evaluator().materialFile() == "(internal)"; }},
      {"setoption name TimeLogfile value /dev/null", [&] { return !std::strcmp(s.timeLogfile(), "/dev/null"); }},
      {"setoption name TimeLogfile value " + blankLog, [&] { return s.timeLogfile() == blankLog && std::filesystem::exists(blankLog); }},
      {"setoption name blocking value true", [&] { return engine.controller.blocking(); }},
      {"setoption name blocking value false", [&] { return !engine.controller.blocking(); }},
      {"setoption name Resign value 700", [&] { return s.resignThreshold() == -7000; }},
      {"setoption name Resign value 1000", [&] { return s.resignThreshold() == -10000; }},
      {"setoption name Resign value 400", [&] { return s.resignThreshold() == -4000; }},
      {"setoption name Resign value 399", [&] { return s.resignThreshold() == -4000; }},
      {"setoption name Resign value 2000", [&] { return s.resignThreshold() == -500000; }},
      {"setoption name Resign value 99999999999999999999", [&] { return s.resignThreshold() == -500000; }},
      {"setoption name AlwaysClearHash value true", [&] { return s.alwaysClearHash() == 1; }},
      {"setoption name AlwaysClearHash value false", [&] { return s.alwaysClearHash() == 0; }},
      {"setoption name Clear Hash", [&] { return s.transpositionTable().used() == 0; }},
      {"setoption name Clear Hash value whatever", [] { return true; }},
      // Names and the words true and false in any letter case.
      {"setoption name hash value 2",
       [&] { return s.transpositionTable().entryCount() == TranspositionTable(2 << 20).entryCount(); }},
      {"setoption name multipv value 3", [&] { return s.multiPv() == 3; }},
      {"setoption name MULTIPV value 1", [&] { return s.multiPv() == 1; }},
      {"setoption name ponder value False", [&] { return !engine.clock.ponder(); }},
      {"setoption name Ponder value TRUE", [&] { return engine.clock.ponder(); }},
      {"setoption name uci_chess960 value True", [&] { return engine.protocol.chess960(); }},
      {"setoption name UCI_Chess960 value fAlSe", [&] { return !engine.protocol.chess960(); }},
      {"setoption name numberofprocessors value 2", [&] { return engine.controller.threadCount() == 2; }},
      {"setoption name alwaysclearhash value TRUE", [&] { return s.alwaysClearHash() == 1; }},
      {"setoption name AlwaysClearHash value false", [&] { return s.alwaysClearHash() == 0; }},
      {"setoption name clear hash", [&] { return s.transpositionTable().used() == 0; }},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(run(c.line).empty()) << c.line;
    EXPECT_TRUE(c.holds()) << c.line;
  }
}

TEST_F(SetOptionTest, ThreadCountBuildsAndRemovesHelpers) {
  engine.line("setoption name NumberOfProcessors value 4");
  for (int j = 0; j < 3; ++j) {
    ASSERT_NE(engine.controller.helper(j), nullptr) << j;
    EXPECT_EQ(engine.controller.helper(j)->threadIndex(), j + 1);
  }
  EXPECT_EQ(engine.controller.helper(3), nullptr);
  engine.line("setoption name NumberOfProcessors value 1");
  for (int j = 0; j < SearchController::MaxHelpers; ++j) EXPECT_EQ(engine.controller.helper(j), nullptr);
}

// A network file that cannot be read (missing, a directory, garbage) keeps
// the network in use and says so; a time log that cannot be opened likewise.
// Names that can be used pass without a word, and nothing is said outside
// debug mode.
TEST_F(SetOptionTest, UnreadableFilesAreReported) {
  testsupport::TempDirectory own;
  ASSERT_TRUE(own.ok());
  const std::string& directory = own.path();
  const std::string garbage = own.path("garbage_net.txt");
  const std::string log = own.path("time_log.txt");
  {
    std::ofstream out(garbage, std::ios::trunc);
    out << "this is no network\n";
  }
  const Position p = positionOf("position startpos moves e2e4 d7d5 e4d5");
  Evaluator builtIn;
  const int builtInScore = builtIn.evaluate(p);
  const std::string material = "info string Lesefehler bei 'MaterialFile', das bisherige Netz bleibt: ";
  for (const std::string& file : {std::string("/nonexistent/brakken/net.txt"), directory, garbage}) {
    EXPECT_EQ(run("setoption name MaterialFile value " + file), std::vector<std::string>{material + file});
    EXPECT_EQ(engine.searcher.evaluator().evaluate(p), builtInScore) << file;
  }
  EXPECT_TRUE(run("setoption name MaterialFile value (internal)").empty());
  const std::string timeLog = "info string 'TimeLogfile' l\xe4sst sich nicht \xf6" "ffnen: ";
  for (const std::string& file : {std::string("/nonexistent/brakken/time.log"), directory})
    EXPECT_EQ(run("setoption name TimeLogfile value " + file), std::vector<std::string>{timeLog + file});
  for (const char* file : {"/dev/null", log.c_str()})
    EXPECT_TRUE(run(std::string("setoption name TimeLogfile value ") + file).empty()) << file;
  engine.line("debug off");
  EXPECT_TRUE(run("setoption name MaterialFile value " + garbage).empty());
  EXPECT_TRUE(run("setoption name TimeLogfile value " + directory).empty());
}

TEST_F(SetOptionTest, FileNamesAndOpponentsNeedText) {
  for (const char* name : {"BookFile", "MaterialFile", "TimeLogfile"})
    for (const std::string value : {"value", "value ", "value      "}) {
      const std::string line = std::string("setoption name ") + name + " " + value;
      EXPECT_EQ(run(line), std::vector<std::string>{std::string("info string Kein Dateiname f\xfcr '") + name + "' " + line})
          << line;
    }
  EXPECT_EQ(run("setoption name Opponent value"),
            std::vector<std::string>{"info string Lesefehler bei 'Opponent value' setoption name Opponent value"});
  EXPECT_EQ(run("setoption name Opponent value Kopra"),
            std::vector<std::string>{"info string Nicht jetzt, nicht schon wieder Du!"});
  EXPECT_TRUE(run("setoption name Opponent value Kopra2").empty());
}

TEST_F(SetOptionTest, NoOutputMutesEverythingUntilCleared) {
  EXPECT_TRUE(run("setoption name NoOutput value true").empty());
  EXPECT_TRUE(run("isready").empty());
  EXPECT_TRUE(run("uci").empty());
  EXPECT_TRUE(run("setoption name Hash value 0").empty());
  run("setoption name NoOutput value false");
  EXPECT_EQ(run("isready"), std::vector<std::string>{"readyok"});
}

// "go" in the calling thread (blocking), so every search has ended when
// the line returns.
class GoTest : public UciProtocolTest {
 protected:
  void SetUp() override {
    UciProtocolTest::SetUp();
    engine.line("setoption name blocking value true");
  }

  // Runs position and go, and gives back the one bestmove line.
  std::string search(const std::string& positionLine, const std::string& goLine) {
    engine.line(positionLine);
    const std::vector<std::string> lines = run(goLine);
    std::vector<std::string> best;
    const Position root = positionOf(positionLine);
    for (const std::string& l : lines) {
      if (testsupport::startsWith(l, "bestmove")) best.push_back(l);
      else EXPECT_TRUE(testsupport::checkInfoLine(l, root)) << l;
    }
    EXPECT_EQ(best.size(), 1u) << goLine;
    if (best.size() != 1) return "";
    EXPECT_TRUE(testsupport::checkBestMove(best[0], root, false)) << goLine;
    return best[0];
  }
};

TEST_F(GoTest, OnlyTheClockOfTheSideToMoveCounts) {
  const struct {
    const char* position;
    const char* go;
    int64_t time, increment;
    int movesToGo;
  } cases[] = {
      {"position startpos moves e2e4", "go wtime 100000 btime 200 winc 5000 binc 7", 200, 7, 0},
      {"position startpos", "go wtime 300 btime 100000 winc 3 binc 5000", 300, 3, 0},
      {"position startpos moves e2e4", "go wtime 5 btime -50", -50, 0, 0},
      {"position startpos", "go wtime 400 movestogo 3", 400, 0, 3},
      {"position startpos", "go wtime 400 winc -20", 400, -20, 0},
      {"position startpos", "go", TimeManager::kNoClock, 0, 0},
      {"position startpos", "go wtime 0 winc 100", 0, 100, 0},
  };
  for (const auto& c : cases) {
    search(c.position, c.go);
    TimeManager reference;
    reference.allocate(false, c.time, c.increment, c.movesToGo, 0, 0, 0, 0, false);
    EXPECT_EQ(engine.clock.softLimit(), reference.softLimit()) << c.go;
    EXPECT_EQ(engine.clock.hardLimit(), reference.hardLimit()) << c.go;
    EXPECT_EQ(engine.clock.targetTime(), reference.targetTime()) << c.go;
  }
}

// Interfaces read everything after "pv" as moves, so every line with a
// variation ends with it: the principal variations (score, hashfull and nps
// before "pv"), the MultiPV lines; the status line has no moves.
TEST_F(GoTest, EveryInfoLineEndsWithItsMoves) {
  const std::string moveList = R"(( [a-h][1-8][a-h][1-8][qrbn]?)+)";
  const std::regex pvLine(R"(info depth \d+ seldepth \d+ time \d+ nodes \d+ score (cp|mate) -?\d+)"
                          R"(( lowerbound| upperbound)? hashfull \d+ nps \d+ pv)" + moveList);
  const std::regex multiPvLine(R"(info multipv [1-3] depth \d+ seldepth \d+ score (cp|mate) -?\d+ pv)" + moveList);
  const std::regex statusLine(R"(info depth \d+ seldepth \d+ time \d+ nodes \d+ hashfull \d+ nps \d+ )"
                              R"(score (cp|mate) -?\d+( lowerbound| upperbound)?)");
  for (int lines : {1, 3}) {
    engine.line("setoption name MultiPV value " + std::to_string(lines));
    for (const char* position : {"position startpos moves e2e4 e7e5", "position fen 7k/8/8/8/8/8/8/K5R1 b - - 0 1"}) {
      engine.line(position);
      const std::vector<std::string> out = run("go depth 4");
      ASSERT_FALSE(out.empty());
      int variations = 0, multi = 0, status = 0;
      for (size_t i = 0; i + 1 < out.size(); ++i) {
        const std::string& l = out[i];
        if (l.rfind("info currmove", 0) == 0) continue;  // a slow machine shows them
        if (std::regex_match(l, pvLine)) ++variations;
        else if (std::regex_match(l, multiPvLine)) ++multi;
        else if (std::regex_match(l, statusLine)) ++status;
        else ADD_FAILURE() << l;
      }
      EXPECT_GT(variations + multi, 0) << position;
      EXPECT_EQ(status, 1) << position;
      if (lines == 3 && std::string(position).find("fen") == std::string::npos) {
        EXPECT_GT(multi, 0);
      }
    }
  }
}

// A half-move clock of 100 or more (the record keeps 100 reversible plies)
// lets every reversible move be claimed as a draw: the search scores them 0
// at any depth; a mate still wins and a clock of 99 plays on.
TEST_F(GoTest, TheFiftyMoveDrawIsSeenAtEveryDepth) {
  const struct {
    const char* position;
    const char* score;  // the score of the last variation
    const char* best;   // a prefix of the bestmove line
  } cases[] = {
      {"position fen 8/8/8/4k3/8/8/4K3/7R w - - 100 150", "score cp 0", "bestmove "},
      {"position fen 8/8/8/4k3/8/8/4K3/7R w - - 150 150", "score cp 0", "bestmove "},
      {"position fen k7/8/1K6/8/8/8/8/n5R1 w - - 100 80", "score mate 1", "bestmove g1g8"},
  };
  for (const auto& c : cases) {
    for (int depth = 1; depth <= 5; ++depth) {
      SCOPED_TRACE(testing::Message() << c.position << ", depth " << depth);
      engine.line(c.position);
      const std::vector<std::string> lines = run("go depth " + std::to_string(depth));
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind(c.best, 0), 0u) << lines.back();
      std::string lastScore;
      for (const std::string& l : lines) {
        const size_t at = l.find(" score ");
        if (at != std::string::npos && l.find(" pv ") != std::string::npos) lastScore = l.substr(at + 1);
      }
      EXPECT_EQ(lastScore.rfind(c.score, 0), 0u) << lastScore;
    }
  }
  engine.line("position fen 8/8/8/4k3/8/8/4K3/7R w - - 99 150");
  const std::vector<std::string> lines = run("go depth 5");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].find("score cp 0"), std::string::npos) << lines[lines.size() - 2];
}

TEST_F(GoTest, FixedLimitsReachTheClock) {
  search("position startpos", "go depth 2");
  EXPECT_EQ(engine.clock.maxDepth(), 1);
  search("position startpos", "go mate 1 depth 5");
  EXPECT_EQ(engine.clock.maxDepth(), 2);
  search("position startpos", "go nodes 100");
  EXPECT_EQ(engine.clock.nodeLimit(), 500);
  // A move time keeps a tenth of itself for the answer.
  search("position startpos", "go movetime 30");
  EXPECT_EQ(engine.clock.softLimit(), 27);
  EXPECT_EQ(engine.clock.hardLimit(), 27);
  search("position startpos", "go movetime -30 depth 1");
  EXPECT_EQ(engine.clock.maxDepth(), 0);
}

// Match runners send a node limit together with the clock; the clock still
// bounds the move, and the node limit stays on top of it.
TEST_F(GoTest, ANodeLimitKeepsTheClock) {
  search("position startpos", "go nodes 3000000 wtime 100 btime 100");
  EXPECT_LE(engine.clock.hardLimit(), 100);
  EXPECT_EQ(engine.clock.nodeLimit(), 3000000);
  search("position startpos", "go nodes 3000000 movetime 40");
  EXPECT_EQ(engine.clock.hardLimit(), 36);
  EXPECT_EQ(engine.clock.nodeLimit(), 3000000);
  search("position startpos", "go nodes 100 wtime 100000");
  EXPECT_EQ(engine.clock.nodeLimit(), 500);
  search("position startpos", "go nodes 1000 depth 3 wtime 100000");
  EXPECT_EQ(engine.clock.nodeLimit(), 1000);
  EXPECT_EQ(engine.clock.maxDepth(), 2);
}

// A mate search beside a clock or a move time keeps the time limits; the
// mate depth caps it on top (two plies a move).
TEST_F(GoTest, AMateLimitKeepsTheClock) {
  search("position startpos", "go mate 10 wtime 300 btime 300");
  EXPECT_LE(engine.clock.hardLimit(), 300);
  EXPECT_EQ(engine.clock.maxDepth(), 20);
  search("position startpos", "go mate 10 movetime 40");
  EXPECT_EQ(engine.clock.hardLimit(), 36);
  EXPECT_EQ(engine.clock.maxDepth(), 20);
  search("position startpos", "go mate 2 depth 30 wtime 100000");
  EXPECT_EQ(engine.clock.maxDepth(), 4);
  search("position startpos", "go mate 3 depth 2 wtime 100000");
  EXPECT_EQ(engine.clock.maxDepth(), 1);
  // Alone, a mate search has no time limit.
  search("position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "go mate 1");
  EXPECT_GT(engine.clock.hardLimit(), 1000000);
  EXPECT_EQ(engine.clock.maxDepth(), 2);
}

// Fails when a line shown to the client goes on after the game would be
// over: a position on the board for the third time (the game before the
// root counts) or a hundredth reversible ply.
::testing::AssertionResult endsWithTheGame(const std::string& positionLine, const std::vector<std::string>& moves) {
  std::vector<uint64_t> keys;
  Game g = testsupport::gameOf(positionLine, &keys);
  for (size_t i = 0; i < moves.size(); ++i) {
    Move m;
    if (!parseMove(g.position, moves[i].c_str(), m, CoordinateText))
      return ::testing::AssertionFailure() << "illegal move " << moves[i];
    g.playMove(m);
    keys.push_back(g.position.hashKey);
    const long occurrences = std::count(keys.begin(), keys.end(), g.position.hashKey);
    const bool over = occurrences >= 3 || g.count - 1 >= 100;
    if (over && i + 1 < moves.size())
      return ::testing::AssertionFailure() << "the game is over after " << moves[i] << " (move " << i + 1 << ")";
  }
  return ::testing::AssertionSuccess();
}

// fastchess checks every variation against the game: no line, MultiPV line
// or ponder move may go on past a threefold repetition or the fifty-move
// rule, while the search itself plays on as before.
TEST_F(GoTest, APrincipalVariationEndsWhereTheGameWould) {
  const struct {
    const char* position;
    const char* go;
    int multiPv;
  } cases[] = {
      {"position fen 4k3/8/8/8/8/8/8/4K2R w - - 97 150", "go depth 10", 1},
      {"position fen 4k3/8/8/8/8/8/8/4K2R w - - 98 150", "go depth 10", 3},
      // f6g8 brings back the start position a third time; the second
      // variation shows it, and nothing after it.
      {"position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1", "go depth 8 searchmoves f6g8 b8c6", 2},
      {"position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1", "go depth 8 searchmoves f6g8", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << ", MultiPV " << c.multiPv);
    engine.line("setoption name MultiPV value " + std::to_string(c.multiPv));
    engine.line(c.position);
    const std::vector<std::string> lines = run(c.go);
    ASSERT_FALSE(lines.empty());
    int variations = 0;
    for (const std::string& l : lines) {
      const std::vector<std::string> w = testsupport::splitWords(l);
      const auto pv = std::find(w.begin(), w.end(), "pv");
      if (pv != w.end()) {
        ++variations;
        EXPECT_TRUE(endsWithTheGame(c.position, std::vector<std::string>(pv + 1, w.end()))) << l;
      }
    }
    EXPECT_GT(variations, 0);
    const std::vector<std::string> best = testsupport::splitWords(lines.back());
    ASSERT_EQ(best[0], "bestmove");
    std::vector<std::string> answer{best[1]};  // the move and the move pondered on
    if (best.size() == 4) answer.push_back(best[3]);
    EXPECT_TRUE(endsWithTheGame(c.position, answer)) << lines.back();
  }
}

TEST_F(GoTest, SearchMovesAndExcludeMovesFilterTheRoot) {
  const std::string best = search("position startpos", "go depth 3 searchmoves e2e4 d2d4");
  EXPECT_EQ(engine.searcher.rootMoveCount(), 2);
  EXPECT_TRUE(best.find("bestmove e2e4") == 0 || best.find("bestmove d2d4") == 0) << best;
  search("position startpos", "go depth 1 excludemoves e2e4");
  EXPECT_EQ(engine.searcher.rootMoveCount(), 19);
  EXPECT_EQ(search("position startpos", "go depth 1 searchmoves g1f3").substr(0, 13), "bestmove g1f3");
}

TEST_F(GoTest, UnderChess960SearchMovesNameCastlingAsTheKingTakingItsRook) {
  engine.line("setoption name UCI_Chess960 value true");
  engine.line("position fen r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1");
  const std::vector<std::string> lines = run("go depth 2 searchmoves e1h1");
  EXPECT_EQ(engine.searcher.rootMoveCount(), 1);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(0, 13), "bestmove e1h1");
}

// A game that is over is scored before the null move (mated: mate 0;
// stalemate: cp 0); a search left with nothing to search just answers.
TEST_F(GoTest, WithoutAMoveTheAnswerIsTheNullMove) {
  const struct {
    const char* position;
    const char* go;
    std::vector<std::string> answer;
  } cases[] = {
      {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "go depth 3",
       {"info depth 0 score cp 0", "info string Kein Zug berechnet", "bestmove 0000"}},
      {"position fen 8/8/8/8/8/5k2/8/5K1q w - - 0 1", "go wtime 1000 btime 1000",
       {"info depth 0 score mate 0", "info string Kein Zug berechnet", "bestmove 0000"}},
      {"position fen 8/8/8/8/8/5k2/8/5K1q w - - 0 1", "go infinite",
       {"info depth 0 score mate 0", "info string Kein Zug berechnet", "bestmove 0000"}},
      {"position startpos", "go depth 2 searchmoves", {"info string Kein Zug berechnet", "bestmove 0000"}},
      {"position startpos", "go depth 2 searchmoves e2e5", {"info string Kein Zug berechnet", "bestmove 0000"}},
  };
  for (const auto& c : cases) {
    engine.line(c.position);
    std::vector<std::string> lines = run(c.go);
    if (lines.empty()) lines = run("stop");
    EXPECT_EQ(lines, c.answer) << c.position << " / " << c.go;
  }
}

TEST_F(GoTest, BlockingRunsEvenAnInfiniteSearchToItsEnd) {
  // Nothing could stop it in the command thread, so it must end by itself.
  EXPECT_EQ(search("position fen 7k/8/8/8/8/8/8/K5R1 b - - 0 1", "go infinite").substr(0, 13), "bestmove h8h7");
}

TEST(CommandTextTest, NumbersSaturateAndStopAtTheFirstStrangeCharacter) {
  int64_t v = 0;
  EXPECT_TRUE(readInteger(" 42x", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(readInteger("-7", v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(readInteger("+7", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(readInteger("99999999999999999999999", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(readInteger("-99999999999999999999999", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_FALSE(readInteger("- 5", v));
  EXPECT_FALSE(readInteger("", v));
  EXPECT_EQ(readClockValue("  -50 "), -50);
  EXPECT_EQ(readClockValue("+50"), 0);
  EXPECT_EQ(readClockValue("abc"), 0);
  EXPECT_TRUE(readNumberAfter("go depth5", "depth", v));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(readNumberAfter("go depth", "depth", v));
  EXPECT_STREQ(restAfter("go", 9), "");
  EXPECT_STREQ(restAfter("position startpos", 9), "startpos");
}

}  // namespace

namespace {

TEST_F(UciProtocolTest, EvalPrintsTheStaticScoreAndItsMaterialPart) {
  // 34 moved 9 away from zero; the material part of the start position is 0.
  run("position startpos");
  EXPECT_EQ(run("eval"), (std::vector<std::string>{"info score cp 4", "info string value 43 mat 0"}));
  // Black to move after 1.e4: the score is black's, and the centipawns are
  // the moved value divided toward zero.
  run("position startpos moves e2e4");
  std::vector<std::string> lines = run("eval");
  ASSERT_EQ(lines.size(), 2u);
  long cp = 0, value = 0, mat = 0;
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "info score cp %ld", &cp), 1);
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "info string value %ld mat %ld", &value, &mat), 2);
  EXPECT_EQ(cp, value / 10);
  EXPECT_EQ(mat, 0);
  // A material imbalance shows in the material part.
  run("position fen 4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
  lines = run("eval");
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "info string value %ld mat %ld", &value, &mat), 2);
  EXPECT_GT(mat, 5000);
}

}  // namespace
