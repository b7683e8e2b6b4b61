// The engine binary driven through pipes the way a chess interface drives
// it: every line it writes is checked, and every answer must come within a
// deadline.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "support/build_speed.h"
#include "support/engine_process.h"
#include "support/fifo_reader.h"
#include "support/temp_text_file.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineProcess;
using testsupport::positionOf;
using testsupport::startsWith;

using testsupport::HiddenAnswer;
using testsupport::UciAnswer;

class UciSession : public ::testing::Test {
 protected:
  std::unique_ptr<EngineProcess> engine;
  std::string positionLine = "position startpos";
  bool chess960 = false;

  void start(const std::vector<std::string>& arguments = {}) {
    engine = std::make_unique<EngineProcess>(arguments);
    ASSERT_TRUE(engine->started());
  }

  void SetUp() override { start(); }

  void TearDown() override {
    if (!engine) return;
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(10000), 0);
    EXPECT_TRUE(engine->drain(50).empty());
    EXPECT_EQ(engine->errorText().find("ThreadSanitizer"), std::string::npos) << engine->errorText();
  }

  void handshake(bool hidden = false) {
    engine->send("uci");
    bool found = false;
    const std::vector<std::string> lines = engine->readUntil("uciok", found);
    ASSERT_TRUE(found);
    std::vector<std::string> expected = UciAnswer;
    if (hidden) expected.insert(expected.end(), HiddenAnswer.begin(), HiddenAnswer.end());
    expected.push_back("uciok");
    EXPECT_EQ(lines, expected);
  }

  // isready, and the lines that came before readyok.
  std::vector<std::string> sync() {
    engine->send("isready");
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("readyok", found);
    EXPECT_TRUE(found) << "no readyok";
    if (found) lines.pop_back();
    return lines;
  }

  void setPosition(const std::string& line) {
    positionLine = line;
    engine->send(line);
  }

  // Reads up to the bestmove line, checking every info line on the way.
  std::string readBestMove(int timeoutMs = 20000) {
    bool found = false;
    const std::vector<std::string> lines = engine->readUntil("bestmove", found, timeoutMs);
    EXPECT_TRUE(found) << "no bestmove after " << positionLine;
    if (!found) return "";
    const Position root = positionOf(positionLine);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i] == "readyok") continue;
      EXPECT_TRUE(testsupport::checkInfoLine(lines[i], root, chess960)) << lines[i];
    }
    EXPECT_TRUE(testsupport::checkBestMove(lines.back(), root, chess960)) << lines.back();
    return lines.back();
  }

  // One search; nothing may follow its bestmove.
  std::string go(const std::string& line) {
    engine->send(line);
    const std::string best = readBestMove();
    EXPECT_EQ(sync(), std::vector<std::string>{}) << line;
    return best;
  }

  // The moves of a bestmove line: the best move and the ponder move.
  static std::vector<std::string> movesOf(const std::string& bestLine) {
    std::vector<std::string> w = testsupport::splitWords(bestLine);
    std::vector<std::string> moves;
    if (w.size() >= 2) moves.push_back(w[1]);
    if (w.size() == 4) moves.push_back(w[3]);
    return moves;
  }
};

TEST_F(UciSession, AGuiSessionGetsEveryAnswerOnce) {
  handshake();
  EXPECT_TRUE(sync().empty());
  engine->send("ucinewgame");
  EXPECT_TRUE(sync().empty());

  setPosition("position startpos moves e2e4 e7e5");
  std::string best = go("go wtime 3000 btime 3000 winc 30 binc 30");
  std::string moves = " e2e4 e7e5";

  for (const char* goLine : {"go movetime 100", "go depth 5", "go nodes 20000", "go btime 2000 wtime 2000 movestogo 5"}) {
    ASSERT_FALSE(best.empty());
    moves += " " + movesOf(best)[0];
    setPosition("position startpos moves" + moves);
    best = go(goLine);
  }

  // Pondering on the predicted reply, then the opponent plays it.
  std::vector<std::string> predicted = movesOf(best);
  ASSERT_EQ(predicted.size(), 2u) << best;
  moves += " " + predicted[0] + " " + predicted[1];
  setPosition("position startpos moves" + moves);
  engine->send("go ponder wtime 2000 btime 2000 winc 20 binc 20");
  EXPECT_TRUE(sync().size() < 1000);  // readyok also while pondering
  engine->send("ponderhit");
  best = readBestMove();
  EXPECT_TRUE(sync().empty());

  // Pondering on a reply the opponent did not play.
  predicted = movesOf(best);
  ASSERT_EQ(predicted.size(), 2u) << best;
  setPosition("position startpos moves" + moves + " " + predicted[0] + " " + predicted[1]);
  engine->send("go ponder wtime 2000 btime 2000");
  engine->send("stop");
  readBestMove();
  EXPECT_TRUE(sync().empty());

  // Analysis.
  setPosition("position startpos moves" + moves);
  engine->send("go infinite");
  std::vector<std::string> before = sync();
  for (const std::string& l : before) EXPECT_FALSE(startsWith(l, "bestmove")) << l;
  engine->send("stop");
  readBestMove();
  EXPECT_TRUE(sync().empty());

  engine->send("position startpos");
  positionLine = "position startpos";
  EXPECT_TRUE(sync().empty());
}

TEST_F(UciSession, EveryOptionCanBeSetWithoutAnAnswer) {
  engine.reset();
  start({"VersteckteOptionen"});
  handshake(true);
  engine->send("debug on");
  for (const char* line : {
           "setoption name Hash value 4", "setoption name Ponder value false", "setoption name OwnBook value false",
           "setoption name Clear Hash", "setoption name MultiPV value 2", "setoption name UCI_Chess960 value false",
           "setoption name BookFile value book.opn", "setoption name Opponent value GM Somebody",
           "setoption name NumberOfProcessors value 2", "setoption name NeuroMaterial value 50",
           "setoption name NeuroWidth value 600", "setoption name MaterialFile value (internal)",
           "setoption name TimeLogfile value /dev/null", "setoption name blocking value false",
           "setoption name NoOutput value false", "setoption name Resign value 900",
           "setoption name AlwaysClearHash value true"}) {
    engine->send(line);
    EXPECT_TRUE(sync().empty()) << line;
  }
  // MultiPV 2 writes numbered lines.
  setPosition("position startpos");
  engine->send("go depth 4");
  bool found = false;
  const std::vector<std::string> lines = engine->readUntil("bestmove", found);
  ASSERT_TRUE(found);
  int multi = 0;
  for (const std::string& l : lines) {
    if (startsWith(l, "info multipv")) ++multi;
    if (startsWith(l, "info")) {
      EXPECT_TRUE(testsupport::checkInfoLine(l, positionOf(positionLine))) << l;
    }
  }
  EXPECT_GT(multi, 0);
}

TEST_F(UciSession, Chess960CastlingTravelsAsTheKingTakingItsRook) {
  handshake();
  engine->send("setoption name UCI_Chess960 value true");
  chess960 = true;
  setPosition("position fen r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1");
  EXPECT_EQ(go("go depth 3 searchmoves e1h1").substr(0, 13), "bestmove e1h1");
  setPosition("position fen r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1 moves e1h1");
  go("go depth 4");
  setPosition("position fen bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9");
  go("go depth 5");
  engine->send("setoption name UCI_Chess960 value false");
  chess960 = false;
  setPosition("position fen r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w HAha - 0 1");
  EXPECT_EQ(go("go depth 3 searchmoves e1g1").substr(0, 13), "bestmove e1g1");
}

TEST_F(UciSession, TheFirstLineWithAWordChoosesTheProtocol) {
  for (const char* line : {"", "   ", "\t", "xyz", "averyveryverylongfirstword", "UCI", "isready"})
    engine->send(line);
  EXPECT_TRUE(engine->drain(100).empty());
  handshake();
  EXPECT_TRUE(sync().empty());
  const std::string& errors = engine->errorText();
  size_t count = 0;
  for (size_t at = errors.find("'uci' or 'xboard' expected\n"); at != std::string::npos;
       at = errors.find("'uci' or 'xboard' expected\n", at + 1))
    ++count;
  EXPECT_EQ(count, 4u) << errors;
  // Once chosen, "uci" is an ordinary command.
  handshake();
}

TEST_F(UciSession, UcitestWritesOneTimingLinePerSearchAndNothingElse) {
  for (const char* line : {"ucitest", "isready", "setoption name Hash value 0", "debug on", "position startpos",
                           "go depth 3"})
    engine->send(line);
  const std::optional<std::string> timing = engine->readLine(20000);
  ASSERT_TRUE(timing.has_value());
  EXPECT_TRUE(std::regex_match(*timing, std::regex(R"(   1 +\d+\.\d{8} +\d+\.\d{10} +\d+\.\d{8})"))) << *timing;
  engine->send("go depth 2");
  const std::optional<std::string> second = engine->readLine(20000);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->substr(0, 4), "   2");
  engine->send("isready");
  engine->send("perft depth 2");
  EXPECT_TRUE(engine->drain(100).empty());
}

TEST_F(UciSession, EndOfInputDuringASearchEndsWithoutAnAnswer) {
  handshake();
  engine->send("setoption name NumberOfProcessors value 3");
  engine->send("go infinite");
  EXPECT_TRUE(sync().size() < 1000);
  engine->closeInput();
  EXPECT_EQ(engine->waitExit(10000), 0);
  for (const std::string& l : engine->drain(50)) EXPECT_FALSE(startsWith(l, "bestmove")) << l;
  engine.reset();
}

TEST_F(UciSession, QuitDuringASearchEndsWithoutAnAnswer) {
  handshake();
  engine->send("go infinite");
  EXPECT_TRUE(sync().size() < 1000);
  engine->send("quit");
  EXPECT_EQ(engine->waitExit(10000), 0);
  for (const std::string& l : engine->drain(50)) EXPECT_FALSE(startsWith(l, "bestmove") || l == "readyok") << l;
  engine.reset();
}

TEST_F(UciSession, PerftAnswersThroughTheWire) {
  handshake();
  engine->send("perft depth 3");
  const std::optional<std::string> total = engine->readLine();
  ASSERT_TRUE(total.has_value());
  EXPECT_TRUE(std::regex_match(*total, std::regex(R"(info depth 3 time \d+ nodes 8902)"))) << *total;
  engine->send("perft depth 2 divide");
  const std::vector<std::string> lines = sync();
  EXPECT_EQ(lines.size(), 20u);
  for (const std::string& l : lines)
    EXPECT_TRUE(std::regex_match(l, std::regex(R"(info move [a-h][1-8][a-h][1-8] depth 1 time \d+ nodes \d+)"))) << l;
  engine->send("perft");
  EXPECT_TRUE(sync().empty());
  engine->send("debug on");
  engine->send("perft depth");
  EXPECT_EQ(sync(), std::vector<std::string>{"info string perft ohne depth"});
}

// A malformed line never crashes or hangs the engine; under debug each
// gives exactly its diagnostic, and the engine then still plays.
TEST_F(UciSession, MalformedLinesGetTheirDiagnosticsOnly) {
  handshake();
  engine->send("debug on");
  // One character more than the longest line taken as a command.
  const std::string overlong((size_t(1) << 20) + 1, 'a');
  std::string overlongPosition = "position startpos moves";
  while (overlongPosition.size() <= (size_t(1) << 20)) overlongPosition += " g1f3 g8f6 f3g1 f6g8";
  const struct {
    std::string line;
    std::vector<std::string> answer;
  } cases[] = {
      {"foo bar", {}},
      {"gox depth 3", {}},
      {"\x01\x02\x7f\xff\xfe", {}},
      {std::string("is\0ready", 8), {}},
      {"setoption", {"info string 'setoption' ohne 'name' setoption"}},
      {"setoption name", {"info string Syntaxfehler bei 'setoption' setoption name"}},
      {"setoption name Foo value 1", {"info string 'setoption': unbekannte Option setoption name Foo value 1"}},
      {"setoption name Hash", {"info string 'setoption name Hash' ohne 'value' setoption name Hash"}},
      {"setoption name Hash value -5", {"info string Unzul\xe4ssiger Wert f\xfcr 'Hash' setoption name Hash value -5"}},
      {"setoption name Hash value 0x10", {"info string Unzul\xe4ssiger Wert f\xfcr 'Hash' setoption name Hash value 0x10"}},
      {"setoption name NeuroWidth value 99999999999999999999999",
       {"info string Unzul\xe4ssiger Wert f\xfcr 'NeuroWidth' setoption name NeuroWidth value 99999999999999999999999"}},
      {"setoption name MultiPV value 99999999999999999999999", {}},
      {"setoption name MultiPV value 1", {}},
      {"setoption name NumberOfProcessors value -99999999999999999999",
       {"info string Unzul\xe4ssiger Wert f\xfcr 'NumberOfProcessors' setoption name NumberOfProcessors value "
        "-99999999999999999999"}},
      {"setoption name Ponder value \xff", {"info string Unzul\xe4ssiger Wert f\xfcr 'Ponder' setoption name Ponder value \xff"}},
      {"setoption name BookFile value", {"info string Kein Dateiname f\xfcr 'BookFile' setoption name BookFile value"}},
      {"setoption name Opponent value Kopra", {"info string Nicht jetzt, nicht schon wieder Du!"}},
      {"position", {"info string 'position' ohne 'startpos' und ohne 'fen'"}},
      {"position Chess960", {"info string 'position Chess960' ohne Nummer"}},
      {"position fen garbage moves e2e4", {"info string position: Ung\xfcltiger FEN-String:  garbage moves e2e4"}},
      {"position fen \x01\xff/8/8 w", {"info string position: Ung\xfcltiger FEN-String:  \x01\xff/8/8 w"}},
      {"position startpos moves e2e4 e2e4", {"info string position: Ung\xfcltiger Zug:  e2e4"}},
      {"position startpos moves e7e5", {"info string position: Ung\xfcltiger Zug:  e7e5"}},
      // The default book is not installed: said once, not at every game.
      {"position startpos moves d2d4", {"info string Opening book read error"}},
      {"position startpos moves d2d4", {}},
      {overlong, {"info string Eingabezeile zu lang, ignoriert"}},
      {overlongPosition, {"info string Eingabezeile zu lang, ignoriert"}},
      {std::string(60000, 'a'), {}},
      {"perft depth x", {"info string perft ohne depth"}},
      {"perft depth 2147483648", {"info string perft: depth zu gro\xdf perft depth 2147483648"}},
  };
  for (const auto& c : cases) {
    engine->send(c.line);
    EXPECT_EQ(sync(), c.answer) << c.line.substr(0, 80);
  }
  // The overlong position line changed nothing: the last position stands.
  positionLine = "position startpos moves d2d4";
  go("go depth 2");
  // A long game's line comes whole: 8,000 plies (about 40,000 characters)
  // bring white back to move in the start position, where the position
  // before had black to move.
  std::string longGame = "position startpos moves";
  for (int plies = 0; plies < 8000; plies += 4) longGame += " g1f3 g8f6 f3g1 f6g8";
  ASSERT_GE(longGame.size(), 40000u);
  setPosition(longGame);
  go("go depth 2");
  setPosition("position startpos moves d2d4");

  // Absurd search arguments: the search still answers, at once or on stop.
  for (const char* line : {"go depth -5 movetime -100 nodes -7", "go wtime -1000 btime -1000 winc -5 binc -5",
                           "go movestogo -3 wtime 200", "go depth 0", "go mate -2 wtime 100", "go nodes 1"}) {
    go(line);
  }
  for (const char* line : {"go wtime 99999999999999999999999 btime 99999999999999999999999 movestogo 99999999999",
                           "go depth 99999999999", "go nodes 99999999999999999999", "go movetime 99999999999999999999",
                           "go mate 99999999", "go infinite searchmoves e2e4 e2e4 e2e4"}) {
    engine->send(line);
    EXPECT_TRUE(sync().size() < 100000) << line;
    engine->send("stop");
    readBestMove();
    EXPECT_TRUE(sync().empty()) << line;
  }
}

// Every "go" gets exactly one bestmove, also when a tool command or an
// option comes while it searches: the commands and options that change
// what the search uses stop it with its answer first, the others run
// beside it and leave the answer to "stop". Only the commands that set up
// another position or game (and the tools that stop the search for good)
// end it without an answer.
TEST_F(UciSession, AToolCommandDuringASearchLeavesItsBestMove) {
  handshake();
  const std::string missing = "/nonexistent/brakken/file";
  enum Effect { AnswersAtOnce, RunsBeside, EndsSilently };
  const struct {
    std::string line;
    Effect effect;
  } cases[] = {
      {"eval", AnswersAtOnce},
      {"testpos " + missing, AnswersAtOnce},
      {"mat add " + missing, AnswersAtOnce},
      {"mat rnd 1", AnswersAtOnce},
      {"mat readmem " + missing, AnswersAtOnce},
      {"mat learn " + missing, AnswersAtOnce},
      {"mat writemem " + missing, RunsBeside},
      {"mat write " + missing, RunsBeside},
      {"mat delete", RunsBeside},
      {"mat", RunsBeside},
      {"setoption name Hash value 4", AnswersAtOnce},
      {"setoption name MultiPV value 3", AnswersAtOnce},
      {"setoption name multipv value 1", AnswersAtOnce},
      {"setoption name NumberOfProcessors value 2", AnswersAtOnce},
      {"setoption name NumberOfProcessors value 1", AnswersAtOnce},
      {"setoption name OwnBook value true", AnswersAtOnce},
      {"setoption name BookFile value Brakken.opn", AnswersAtOnce},
      {"setoption name NeuroMaterial value 40", AnswersAtOnce},
      {"setoption name NeuroWidth value 500", AnswersAtOnce},
      {"setoption name MaterialFile value (internal)", AnswersAtOnce},
      {"setoption name Ponder value true", RunsBeside},
      {"setoption name Clear Hash", RunsBeside},
      {"setoption name UCI_Chess960 value false", RunsBeside},
      {"setoption name TimeLogfile value /dev/null", RunsBeside},
      {"position startpos moves e2e4", EndsSilently},
      {"ucinewgame", EndsSilently},
      {"book delete", EndsSilently},
      {"perft depth 1", EndsSilently},
  };
  for (const char* go : {"go infinite", "go ponder"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(go) + " / " + c.line);
      setPosition("position startpos moves e2e4");
      engine->send(go);
      engine->send(c.line);
      std::vector<std::string> lines = sync();
      int answers = 0;
      for (const std::string& l : lines) answers += startsWith(l, "bestmove");
      EXPECT_EQ(answers, c.effect == AnswersAtOnce ? 1 : 0);
      engine->send("stop");
      for (const std::string& l : sync()) lines.push_back(l);
      answers = 0;
      for (const std::string& l : lines) {
        if (!startsWith(l, "bestmove")) continue;
        ++answers;
        EXPECT_TRUE(testsupport::checkBestMove(l, positionOf(positionLine), false)) << l;
      }
      EXPECT_EQ(answers, c.effect == EndsSilently ? 0 : 1);
    }
  }
  // A "go" while a search runs ends that search with its answer first.
  setPosition("position startpos moves e2e4");
  engine->send("go infinite");
  engine->send("go depth 1");
  engine->send("go depth 1");
  engine->send("go depth 1");
  int answers = 0;
  for (const std::string& l : sync()) answers += startsWith(l, "bestmove");
  for (const std::string& l : engine->drain(300)) answers += startsWith(l, "bestmove");
  EXPECT_EQ(answers, 4);
  // "eval" still answers after the search it stopped.
  engine->send("go infinite");
  engine->send("eval");
  bool found = false;
  engine->readUntil("bestmove", found);
  EXPECT_TRUE(found);
  const std::optional<std::string> score = engine->readLine();
  ASSERT_TRUE(score.has_value());
  EXPECT_TRUE(startsWith(*score, "info score cp ")) << *score;
  engine->send("stop");
  EXPECT_EQ(sync().size(), 1u);
}

// Set-up dialogs write KQkq after a king has moved: such a FEN is played
// with the stale rights dropped, not replaced by the start position.
TEST_F(UciSession, StaleCastlingRightsInAFenAreDropped) {
  handshake();
  const struct {
    const char* fen;
    const char* kept;
  } cases[] = {
      {"4k2r/8/8/8/8/8/8/R4K2 w Qk - 0 1", "4k2r/8/8/8/8/8/8/R4K2 w k - 0 1"},
      {"r3k2r/8/8/8/8/8/8/R4K1R b KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R4K1R b kq - 0 1"},
      {"r2k3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", "r2k3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1"},
  };
  for (const auto& c : cases) {
    setPosition(std::string("position fen ") + c.fen);
    const std::string best = go("go depth 4");
    engine->send("perft depth 3");
    const std::vector<std::string> stale = sync();
    setPosition(std::string("position fen ") + c.kept);
    engine->send("perft depth 3");
    const std::vector<std::string> kept = sync();
    ASSERT_EQ(stale.size(), 1u) << c.fen;
    ASSERT_EQ(kept.size(), 1u) << c.kept;
    EXPECT_EQ(stale[0].substr(stale[0].find("nodes")), kept[0].substr(kept[0].find("nodes"))) << c.fen;
  }
}

// In a game of standard chess a castling right counts only with its king
// on e1 (e8) and its rook in the corner, however the field spells it: the
// other rights are dropped and the castles are the standard two-square
// king moves. The counts of perft 3 are those of an independent engine for
// the FEN without the dropped rights; with UCI_Chess960 on the field is
// read as Chess960, as before (the counts again from an independent engine).
TEST_F(UciSession, StandardChessFensKeepOnlyTheRightsItsBoardCanUse) {
  handshake();
  const struct {
    const char* fen;
    const char* usable;  // the same FEN with only the usable rights
    long standardCount;  // perft 3, UCI_Chess960 false
    long chess960Count;  // perft 3, UCI_Chess960 true
  } cases[] = {
      {"4k3/8/8/8/8/8/8/R4K1R w KQ - 0 1", "4k3/8/8/8/8/8/8/R4K1R w - - 0 1", 2969, 3201},
      {"r4k1r/8/8/8/8/8/8/4K3 b kq - 0 1", "r4k1r/8/8/8/8/8/8/4K3 b - - 0 1", 2969, 3201},
      {"r2k3r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", "r2k3r/8/8/8/8/8/8/R2K3R w - - 0 1", 11522, 13177},
      {"4k3/8/8/8/8/8/8/4K1R1 w K - 0 1", "4k3/8/8/8/8/8/8/4K1R1 w - - 0 1", 1139, 1187},
      {"4k3/8/8/8/8/8/8/R3K1R1 w KQ - 0 1", "4k3/8/8/8/8/8/8/R3K1R1 w Q - 0 1", 3040, 3161},
      {"4k3/8/8/8/8/8/8/1R2K2R w KQ - 0 1", "4k3/8/8/8/8/8/8/1R2K2R w K - 0 1", 3061, 3171},
      {"r3k1r1/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", "r3k1r1/8/8/8/8/8/8/R3K1R1 w Qq - 0 1", 12383, 12415},
      // Shredder and X-FEN letters: the corner files count, others not.
      {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", -1, -1},
      {"4k3/8/8/8/8/8/8/R3K1RR w GA - 0 1", "4k3/8/8/8/8/8/8/R3K1RR w Q - 0 1", -1, -1},
      {"4k3/8/8/8/8/8/8/R3K1RR w KgQ - 0 1", "4k3/8/8/8/8/8/8/R3K1RR w Q - 0 1", -1, -1},
  };
  const auto divide = [&](const std::string& fen) {
    engine->send("position fen " + fen);
    engine->send("perft depth 1 divide");
    std::vector<std::string> moves;
    for (const std::string& line : sync()) moves.push_back(testsupport::splitWords(line).at(2));
    std::sort(moves.begin(), moves.end());
    return moves;
  };
  const auto perft3 = [&](const std::string& fen) {
    engine->send("position fen " + fen);
    engine->send("perft depth 3");
    const std::vector<std::string> lines = sync();
    return lines.size() == 1 ? std::stol(lines[0].substr(lines[0].find("nodes") + 6)) : -1L;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    engine->send("setoption name UCI_Chess960 value false");
    EXPECT_EQ(divide(c.fen), divide(c.usable));
    const long count = perft3(c.fen);
    EXPECT_EQ(count, perft3(c.usable));
    if (c.standardCount >= 0) {
      EXPECT_EQ(count, c.standardCount);
      engine->send("setoption name UCI_Chess960 value true");
      EXPECT_EQ(perft3(c.fen), c.chess960Count);
    }
  }
  engine->send("setoption name UCI_Chess960 value false");
  // Searches as a GUI sees them: every answer is legal with the usable
  // rights only, and the castle that is legal comes as the king's step.
  // After each FEN a move is played on both boards: where there is one, a
  // move that the two readings play apart (a castle of a king off e1,
  // which only the Chess960 reading has), and the standard castle where it
  // is legal, which the stale rights must not take away. (In the second
  // position the Chess960 reading's castle with the b1 rook crosses d1,
  // which the bishop holds, so no move there is read apart.)
  const struct {
    const char* fen;
    const char* usable;
    std::vector<const char*> movesReadApart;
    std::vector<const char*> movesReadAlike;
  } games[] = {
      {"4k3/8/8/8/8/P6Q/8/R4K1R w KQ - 0 1", "4k3/8/8/8/8/P6Q/8/R4K1R w - - 0 1", {"f1h1", "f1a1"}, {}},
      {"4k3/8/8/8/6b1/7p/PPP5/1R2K2R w KQ - 0 1", "4k3/8/8/8/6b1/7p/PPP5/1R2K2R w K - 0 1", {}, {"e1g1"}},
  };
  // The count of perft 1 ("nodes N"; the time before it depends on the
  // machine), or an empty text when not exactly one line came.
  const auto perftOne = [&](const std::string& position) {
    engine->send(position);
    engine->send("perft depth 1");
    const std::vector<std::string> lines = sync();
    const size_t at = lines.size() == 1 ? lines[0].find("nodes ") : std::string::npos;
    return at == std::string::npos ? std::string() : lines[0].substr(at);
  };
  const auto perftAfter = [&](const std::string& fen, const std::string& move) {
    return perftOne("position fen " + fen + " moves " + move);
  };
  for (const auto& g : games) {
    SCOPED_TRACE(g.fen);
    engine->send(std::string("position fen ") + g.fen);
    positionLine = std::string("position fen ") + g.usable;
    // The depth at which the castle through the field came out, where the
    // build is fast enough for it.
    go(testsupport::kBuildSlowdown == 1 ? "go depth 7" : "go depth 4");
    for (const char* move : g.movesReadAlike) {
      const std::string afterCastle = perftAfter(g.fen, move);
      ASSERT_FALSE(afterCastle.empty()) << move;
      EXPECT_EQ(perftAfter(g.usable, move), afterCastle) << move;
      // The castle was played, not refused.
      EXPECT_NE(perftOne(std::string("position fen ") + g.usable), afterCastle) << move;
    }
    for (const char* move : g.movesReadApart) {
      const std::string standard = perftAfter(g.fen, move);
      ASSERT_FALSE(standard.empty()) << move;
      EXPECT_EQ(perftAfter(g.usable, move), standard) << move;
      engine->send("setoption name UCI_Chess960 value true");
      const std::string chess960 = perftAfter(g.fen, move);
      engine->send("setoption name UCI_Chess960 value false");
      ASSERT_FALSE(chess960.empty()) << move;
      EXPECT_NE(chess960, standard) << move;
    }
  }
}

// A time log that is a FIFO holds up neither the commands nor the search:
// nobody reading it, or a reader that goes away after the first line,
// costs lines, never an answer.
TEST_F(UciSession, ATimeLogFifoHoldsUpNothing) {
  handshake();
  // Node limits keep the searches short under the sanitizers too; each
  // still has iterations past the log's 25,000 nodes.
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string fifo = dir.path("time.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  engine->send("debug on");
  engine->send("setoption name TimeLogfile value " + fifo);
  EXPECT_EQ(sync(), std::vector<std::string>{"info string 'TimeLogfile' l\xe4sst sich nicht \xf6" "ffnen: " + fifo});
  setPosition("position startpos moves e2e4 e7e5 g1f3 b8c6");
  go("go nodes 300000");
  {
    testsupport::FifoReader reader(fifo, testsupport::FifoReader::HangUpAtFirstBytes);
    ASSERT_TRUE(reader.isOpen());
    setPosition("position startpos moves d2d4 d7d5 c2c4");
    go("go nodes 300000");
    setPosition("position startpos moves e2e4 c7c5 g1f3 d7d6");
    go("go nodes 300000");
    EXPECT_TRUE(reader.hungUp()) << "no line reached the log";
    reader.finish();
  }
  engine->send("setoption name TimeLogfile value /dev/null");
  EXPECT_TRUE(sync().empty());
}

// A FIFO that nobody reads is no place to write a book, a table or a
// memory image: the write is refused at once (the engine goes on
// answering), the collection is kept, and the next write into a file gives
// what a collection written at once gives.
TEST_F(UciSession, AWriteIntoAFifoNobodyReadsIsRefusedAndTheCollectionKept) {
  handshake();
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string fifo = dir.path("nobody.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string book = "book add " + testsupport::dataFile("book_small.pgn") + " all";
  const std::string mat = "mat add " + testsupport::dataFile("material_rated.pgn");

  for (const std::string& line : {book, "book write " + fifo, "book write " + dir.path("kept.opn"), book,
                                   "book write " + dir.path("fresh.opn")})
    engine->send(line);
  const std::vector<std::string> totals = sync();
  ASSERT_EQ(totals.size() % 2, 0u);
  ASSERT_FALSE(totals.empty());
  EXPECT_EQ(std::vector<std::string>(totals.begin(), totals.begin() + totals.size() / 2),
            std::vector<std::string>(totals.begin() + totals.size() / 2, totals.end()));
  EXPECT_EQ(testsupport::readFile(dir.path("kept.opn")), testsupport::readFile(dir.path("fresh.opn")));

  for (const std::string& line : {mat, "mat write " + fifo, "mat writemem " + fifo, "mat write " + dir.path("kept.txt"),
                                  mat, "mat write " + dir.path("fresh.txt")})
    engine->send(line);
  EXPECT_TRUE(sync().empty());
  EXPECT_FALSE(testsupport::readFile(dir.path("kept.txt")).empty());
  EXPECT_EQ(testsupport::readFile(dir.path("kept.txt")), testsupport::readFile(dir.path("fresh.txt")));

  const std::string refused = "info string error opening the output file " + fifo + "\n";
  EXPECT_EQ(engine->errorText(), refused + refused + refused);
  struct stat st;
  EXPECT_TRUE(lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

TEST(UciSessionStart, AnOverlongFirstLineIsNoProtocolWord) {
  EngineProcess engine;
  ASSERT_TRUE(engine.started());
  engine.send(std::string(45000, 'u'));
  engine.send("uci");
  bool found = false;
  engine.readUntil("uciok", found);
  EXPECT_TRUE(found);
  engine.send("quit");
  EXPECT_EQ(engine.waitExit(), 0);
  EXPECT_EQ(engine.errorText(), "'uci' or 'xboard' expected\n");
}

// Someone who starts the engine by hand and types "quit" leaves it, before
// any protocol was chosen too.
TEST(UciSessionStart, QuitEndsTheEngineBeforeTheProtocolIsChosen) {
  const struct {
    std::vector<std::string> lines;
    std::string errors;
  } cases[] = {
      {{"quit"}, ""},
      {{"", "hello", "quit"}, "'uci' or 'xboard' expected\n"},
      {{"quit now"}, ""},
  };
  for (const auto& c : cases) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    for (const std::string& line : c.lines) engine.send(line);
    EXPECT_EQ(engine.waitExit(), 0) << c.lines.back();
    EXPECT_TRUE(engine.drain(50).empty());
    EXPECT_EQ(engine.errorText(), c.errors);
  }
}

}  // namespace
