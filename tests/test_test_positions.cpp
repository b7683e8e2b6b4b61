// The test-position extractor on short collections of random games with
// known results, with tiny searches: the control file, the two position
// files in their fixed layout, resuming after the games already processed,
// and positions never written twice.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

  struct Output {
    std::string out, err;
  };
  Output runCapturingErrors() {
    RandomGenerator::instance().seed(12345);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    extractTestPositions(control.c_str(), tiny);
    Output o;
    o.err = testing::internal::GetCapturedStderr();
    o.out = testing::internal::GetCapturedStdout();
    return o;
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
  // A class switched off is no error.
  EXPECT_EQ(runCapturingErrors().err, "");
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

TEST_F(TestPositions, AMissingControlFileIsToldAndWritesNothing) {
  const Output o = runCapturingErrors();
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "info string error opening the input file " + control + "\n");
  EXPECT_NE(access(control.c_str(), F_OK), 0);
}

// The run stops before it reads a game, and says so once: for a control
// file that is refused when it is opened (a directory, a missing folder)
// and for one that opens but fails when it is read. This process's own
// memory file is such a file: it opens, and reading at its start, where
// nothing is mapped, fails with an I/O error.
TEST_F(TestPositions, AControlFileThatCannotBeReadIsToldOnce) {
  testsupport::TempDirectory folder;
  ASSERT_TRUE(folder.ok());
  const std::string failsToRead = "/proc/self/mem";
  std::FILE* probe = std::fopen(failsToRead.c_str(), "r");
  ASSERT_NE(probe, nullptr) << "opens";
  char buffer[8];
  EXPECT_EQ(std::fgets(buffer, sizeof buffer, probe), nullptr);
  EXPECT_NE(std::ferror(probe), 0) << "and fails when read";
  std::fclose(probe);
  const std::string cases[] = {folder.path(), tempPath("no_such_folder") + "/control.txt", failsToRead};
  for (const std::string& name : cases) {
    RandomGenerator::instance().seed(12345);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    extractTestPositions(name.c_str(), tiny);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
    EXPECT_EQ(err, "info string error opening the input file " + name + "\n");
  }
  EXPECT_EQ(folder.names(), std::vector<std::string>());
  EXPECT_NE(access(middlegame.c_str(), F_OK), 0);
  EXPECT_NE(access(endgame.c_str(), F_OK), 0);
}

// The game reader reports a file it cannot open; nothing else is said, and
// the position files are not created for a run without games.
TEST_F(TestPositions, AMissingGameFileIsToldOnceAndCreatesNoPositionFiles) {
  const std::string missing = tempPath("no_such_games.pgn");
  const std::string text = middlegame + "\n" + endgame + "\n3\n" + missing + "\n";
  std::ofstream(control) << text;
  const Output o = runCapturingErrors();
  EXPECT_EQ(o.out, "");
  const std::vector<std::string> errors = lines(o.err);
  ASSERT_EQ(errors.size(), 1u) << o.err;
  EXPECT_EQ(errors[0].rfind("info string ", 0), 0u) << errors[0];
  EXPECT_NE(errors[0].find(missing), std::string::npos) << errors[0];
  EXPECT_NE(access(middlegame.c_str(), F_OK), 0);
  EXPECT_NE(access(endgame.c_str(), F_OK), 0);
  EXPECT_EQ(readFile(control), text);
}

// A position file that cannot be opened switches its class off with one
// message for the whole run; the other class and the control file are
// written as usual.
TEST_F(TestPositions, APositionFileThatCannotBeOpenedIsToldOnce) {
  const std::string unwritable = tempPath("no_such_folder") + "/positions.fen";
  struct Case {
    bool middlegameWritable;
    bool endgameWritable;
  };
  const Case cases[] = {{false, true}, {true, false}, {false, false}};
  for (const Case& c : cases) {
    std::remove(middlegame.c_str());
    std::remove(endgame.c_str());
    const std::string m = c.middlegameWritable ? middlegame : unwritable;
    const std::string e = c.endgameWritable ? endgame : unwritable;
    writeControl(m, e, 0);
    const std::string before = readFile(control);
    const Output o = runCapturingErrors();
    const std::string message = "info string error opening the output file " + unwritable + "\n";
    // The same name for both classes is one file.
    EXPECT_EQ(o.err, message) << m << " " << e;
    // Every game of enough plies with a result is still walked.
    EXPECT_EQ(lines(o.out).size(), 12u) << o.out;
    EXPECT_NE(o.out.find("Partie     14"), std::string::npos) << o.out;
    if (c.middlegameWritable || c.endgameWritable) {
      const std::string written = c.middlegameWritable ? middlegame : endgame;
      EXPECT_FALSE(positionsOf(written).empty()) << written;
      const std::vector<std::string> recorded = lines(readFile(control));
      ASSERT_EQ(recorded.size(), 4u);
      EXPECT_EQ(recorded[0], m);
      EXPECT_EQ(recorded[1], e);
      EXPECT_GT(std::atoi(recorded[2].c_str()), 0);
    } else {
      // Nothing kept, so the control file still counts no games.
      EXPECT_EQ(readFile(control), before);
    }
    EXPECT_NE(access(c.middlegameWritable ? endgame.c_str() : middlegame.c_str(), F_OK), 0);
  }
  // Two different files that cannot be opened are told about one each.
  const std::string other = tempPath("no_such_folder") + "/other.fen";
  writeControl(unwritable, other, 0);
  const Output o = runCapturingErrors();
  EXPECT_EQ(o.err, "info string error opening the output file " + unwritable +
                       "\ninfo string error opening the output file " + other + "\n");
}

// Files whose mode gives nobody write permission are refused as the
// system refuses them to an ordinary user, also when root runs the
// extractor, and left as they were: a position file switches its class
// off with one message; a control file is told once, however many
// positions are kept, and the positions are still written.
TEST_F(TestPositions, ReadOnlyFilesAreToldOnceAndLeftAsTheyWere) {
  const std::string stored = "       1       2 not a position\n";
  const struct {
    bool controlReadOnly;  // else the middlegame file
  } cases[] = {{false}, {true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.controlReadOnly ? "control file" : "position file");
    std::remove(middlegame.c_str());
    std::remove(endgame.c_str());
    std::remove(control.c_str());
    writeControl(middlegame, endgame, 0);
    const std::string& readOnly = c.controlReadOnly ? control : middlegame;
    if (!c.controlReadOnly) std::ofstream(middlegame) << stored;
    const std::string before = readFile(readOnly);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const Output o = runCapturingErrors();
    EXPECT_EQ(o.err, "info string error opening the output file " + readOnly + "\n");
    EXPECT_EQ(lines(o.out).size(), 12u) << o.out;
    EXPECT_EQ(readFile(readOnly), before);
    struct stat st;
    ASSERT_EQ(stat(readOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_FALSE(positionsOf(endgame).empty());
    if (c.controlReadOnly) {
      // Several positions were kept, each of which rewrites the control file.
      EXPECT_GT(positionsOf(middlegame).size() + positionsOf(endgame).size(), 1u);
    }
    ASSERT_EQ(chmod(readOnly.c_str(), 0644), 0);
  }
}

// FIFOs nobody serves are never waited for: a control file nobody writes
// counts as missing, a position file nobody reads as one that cannot be
// opened, and the run goes on with the other class.
TEST_F(TestPositions, FifosNobodyServesAreToldNotWaitedFor) {
  testsupport::TempDirectory folder;
  ASSERT_TRUE(folder.ok());
  const std::string fifo = folder.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  RandomGenerator::instance().seed(12345);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  extractTestPositions(fifo.c_str(), tiny);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "info string error opening the input file " + fifo + "\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  std::remove(endgame.c_str());
  writeControl(fifo, endgame, 0);
  const Output o = runCapturingErrors();
  EXPECT_EQ(o.err, "info string error opening the output file " + fifo + "\n");
  EXPECT_FALSE(positionsOf(endgame).empty());
}

}  // namespace
