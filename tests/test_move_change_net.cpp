#include "search/move_change_net.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <functional>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "common/append_without_waiting.h"
#include "common/pipe_signal.h"
#include "support/fifo_reader.h"
#include "support/fifo_writer.h"
#include "board/position.h"
#include "eval/material_net.h"

namespace {

constexpr int kIn = MoveChangeNet::kInputs;

// The built-in network's answers worked out from its weights.
constexpr double kAllZero = -0.042952759826320436;
constexpr double kChangedTwentyMoves = 0.3841293271710776;

int sq(const char* name) { return squareFromText(name); }

Move mv(const char* from, const char* to, int piece, int promotion = 0) {
  return encodeMove(sq(from), sq(to), piece, promotion);
}

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

std::string tempPath(const std::string& name) { return ::testing::TempDir() + name; }

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A pair of variations with the flags the search passes beside them.
struct Pvs {
  std::vector<Move> previous, current;
  int previousScore = 0, currentScore = 0;
  bool rootFail = false, previousRootFail = false, previousChange = false, earlierChange = false;
  int rootMoves = 20;
};

std::vector<double> features(const Position& root, const Pvs& v) {
  std::vector<double> in(kIn, -1.0);
  MoveChangeNet::extractFeatures(root, int(v.previous.size()), v.previous.data(),
                                 v.previousScore, int(v.current.size()), v.current.data(),
                                 v.currentScore, v.rootFail, v.previousRootFail,
                                 v.previousChange, v.earlierChange, v.rootMoves, in.data());
  return in;
}

// The binary inputs as a string of 19 digits, for compact expectations.
std::string bits(const std::vector<double>& in) {
  std::string s;
  for (int i = 0; i < MoveChangeNet::kBinaryInputs; ++i) {
    EXPECT_TRUE(in[i] == 0.0 || in[i] == 1.0) << "input " << i;
    s += in[i] > 0.5 ? '1' : '0';
  }
  return s;
}

class MoveChangeNetTest : public ::testing::Test {
 protected:
  MoveChangeNet net;
};

TEST_F(MoveChangeNetTest, BuiltInNetworkHasTheDocumentedShape) {
  EXPECT_EQ(net.inputCount(), 22);
  EXPECT_EQ(net.outputCount(), 1);
  EXPECT_EQ(net.hiddenLayerCount(), 1);
  EXPECT_EQ(net.hiddenLayer(0).size(), 7u);
  EXPECT_EQ(net.weightCount(), 169u);
  EXPECT_EQ(net.definition().size(), 651u);
  EXPECT_EQ(std::strncmp(MoveChangeNet::builtInText(), "651 3 0 22 1 7 2 1 0 0 1 0", 26), 0);
}

TEST_F(MoveChangeNetTest, BuiltInNetworkAnswersTheWorkedExamples) {
  double in[kIn] = {};
  EXPECT_NEAR(net.evaluate(in), kAllZero, 1e-12);
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(net.evaluate(in)), 0.0);
  in[0] = 1.0;
  in[21] = 0.5;
  EXPECT_NEAR(net.evaluate(in), kChangedTwentyMoves, 1e-12);
  EXPECT_NEAR(MoveChangeNet::toPercent(net.evaluate(in)), 38.41293271710776, 1e-9);
}

TEST(MoveChangeNetPercentTest, LimitsToTheSearchRange) {
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(-0.5), 0.0);
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(0.25), 25.0);
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(0.75), 75.0);
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(3.0), 75.0);
  EXPECT_DOUBLE_EQ(MoveChangeNet::toPercent(std::numeric_limits<double>::quiet_NaN()), 0.0);
}

TEST_F(MoveChangeNetTest, SaveAndLoadReproduceTheNetwork) {
  const std::string path = tempPath("move_change_net_saved.txt");
  ASSERT_TRUE(net.save(path.c_str()));
  MoveChangeNet other;
  double in[kIn] = {};
  in[0] = 1.0;
  in[21] = 0.5;
  ASSERT_TRUE(other.load(path.c_str()));
  EXPECT_NEAR(other.evaluate(in), kChangedTwentyMoves, 1e-9);
  std::remove(path.c_str());
}

// A network file that is a FIFO is read from a writer that holds it open
// and refused at once when nobody writes it.
TEST_F(MoveChangeNetTest, FifoIsReadFromAWriterAndRefusedWithoutOne) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.path("net.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  bool loaded = true;
  EXPECT_TRUE(testsupport::endsWithin(10, [&] { loaded = net.load(path.c_str()); },
                                      [&] { testsupport::passByAsWriter(path); }));
  EXPECT_FALSE(loaded);
  testsupport::FifoWriter writer(path, std::string(MoveChangeNet::builtInText()) + "\n");
  ASSERT_TRUE(writer.ok());
  EXPECT_TRUE(testsupport::endsWithin(10, [&] { loaded = net.load(path.c_str()); }, [&] { writer.close(); }));
  EXPECT_TRUE(loaded);
  double in[kIn] = {};
  in[0] = 1.0;
  in[21] = 0.5;
  EXPECT_NEAR(net.evaluate(in), kChangedTwentyMoves, 1e-12);
}

TEST_F(MoveChangeNetTest, RejectedDefinitionsKeepThePreviousNetwork) {
  double in[kIn] = {};
  EXPECT_FALSE(net.load(tempPath("no_such_dir/none.txt").c_str()));
  EXPECT_FALSE(net.save(tempPath("no_such_dir/none.txt").c_str()));
  std::istringstream material(MaterialNet::builtInText());  // 12 inputs
  EXPECT_FALSE(net.loadStream(material));
  std::istringstream broken("651 3 0 22");
  EXPECT_FALSE(net.loadStream(broken));
  std::istringstream failed;
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(net.loadStream(failed));
  EXPECT_EQ(net.inputCount(), 22);
  EXPECT_NEAR(net.evaluate(in), kAllZero, 1e-12);
  EXPECT_TRUE(net.load());
  EXPECT_NEAR(net.evaluate(in), kAllZero, 1e-12);
}

// Inputs 0 and 5 to 8 and 15 to 18 compare move words only; the moves are
// synthetic and need not fit the position. Missing moves are the zero word.
TEST(MoveChangeFeaturesTest, VariationComparisons) {
  // Bare kings: none of the moves below fits, so inputs 9 to 14 stay 0.
  const Position root = fromFen("7k/8/8/8/8/8/8/7K w - - 0 1");
  const Move A = mv("b1", "c3", Knight), B = mv("g8", "f6", Knight), C = mv("d2", "d4", Pawn),
             D = mv("d7", "d5", Pawn), E = mv("c1", "f4", Bishop);
  // Destinations for inputs 15 to 18; a8 (square 0) must not match a missing move.
  const Move toA8a = mv("a1", "a8", Rook), toA8b = mv("h1", "a8", Queen);
  const Move toH1a = mv("a1", "h1", Rook), toB2 = mv("c1", "b2", Bishop),
             toC3 = mv("d1", "c3", Queen), toH1b = mv("h8", "h1", Rook);
  struct Case {
    const char* name;
    std::vector<Move> previous, current;
    const char* expected;  // inputs 0 to 18
  };
  //                                  0         1
  //                                  0123456789012345678
  const Case cases[] = {
      {"first iteration, one move", {}, {A}, "1000010110000000000"},
      {"first iteration, four moves", {}, {A, B, C, D}, "1000000000000000000"},
      {"no variations at all", {}, {}, "0000011110000000000"},
      {"same variation", {A, B, C, D, E}, {A, B, C, D, E}, "0000000000000000000"},
      {"best move changed", {A, B, C, D}, {B, A, D, C}, "1000000000000000000"},
      {"moves swapped by two plies", {A, B, C, D}, {C, D, A, B}, "1000011110000000000"},
      {"c1 equals p3 only", {A, B, C}, {C, D}, "1000001000000000000"},
      {"two moves onto a8, no third", {}, {toA8a, toA8b}, "1000010100000001000"},
      {"first and fourth onto h1", {A}, {toH1a, toB2, toC3, toH1b}, "1000000000000000001"},
      {"all four onto c3", {A}, {A, toC3, mv("e1", "c3", Queen), mv("f1", "c3", Bishop)},
       "0000000000000001111"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pvs v;
    v.previous = c.previous;
    v.current = c.current;
    EXPECT_EQ(bits(features(root, v)), c.expected);
  }
}

TEST(MoveChangeFeaturesTest, FlagsScoresAndRootMoves) {
  Position root;
  root.setStartPosition();
  Pvs v;
  v.previous = {mv("e2", "e4", Pawn)};
  v.current = {mv("e2", "e4", Pawn)};
  v.rootFail = true;
  v.earlierChange = true;
  v.rootMoves = 20;
  std::vector<double> in = features(root, v);
  EXPECT_EQ(bits(in), "0011000110000000000");
  EXPECT_DOUBLE_EQ(in[21], 0.5);
  v.rootFail = false;
  v.earlierChange = false;
  v.previousChange = true;
  v.previousRootFail = true;
  v.rootMoves = 218;
  in = features(root, v);
  EXPECT_EQ(bits(in), "0100100110000000000");
  EXPECT_DOUBLE_EQ(in[21], 5.45);

  struct ScoreCase {
    int score;
    double scaled;
  };
  const double limit = std::tanh(7.5);
  const ScoreCase scores[] = {
      {0, 0.0},          {2000, std::tanh(1.0)},     {-2000, -std::tanh(1.0)},
      {15000, limit},    {15001, limit},             {499997, limit},
      {-499990, -limit}, {std::numeric_limits<int>::min(), -limit},
  };
  for (const ScoreCase& s : scores) {
    SCOPED_TRACE(s.score);
    v.previousScore = s.score;
    v.currentScore = 0;
    in = features(root, v);
    EXPECT_DOUBLE_EQ(in[19], s.scaled);
    EXPECT_DOUBLE_EQ(in[20], 0.0);
    v.previousScore = 0;
    v.currentScore = s.score;
    in = features(root, v);
    EXPECT_DOUBLE_EQ(in[19], 0.0);
    EXPECT_DOUBLE_EQ(in[20], s.scaled);
  }
}

// Inputs 9 to 14 come from making the first two current moves on a copy of
// the root.
TEST(MoveChangeFeaturesTest, CapturesChecksAndTheLastMove) {
  struct Case {
    const char* name;
    const char* fen;
    std::vector<Move> current;
    const char* expected;  // inputs 9 to 14
  };
  const Case cases[] = {
      {"capture and recapture", "4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1",
       {mv("e4", "d5", Pawn), mv("b6", "d5", Knight)}, "110000"},
      {"first move checks", "4k3/8/8/8/8/8/8/R3K3 w - - 0 1",
       {mv("a1", "a8", Rook), mv("e8", "e7", King)}, "000100"},
      {"in check at the root, reply checks", "4k3/8/8/8/8/8/8/r3K3 w - - 0 1",
       {mv("e1", "e2", King), mv("a1", "a2", Rook)}, "001010"},
      {"en passant is a capture; e3 is not the last move's square",
       "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", {mv("d4", "e3", Pawn)}, "100000"},
      {"quiet move beside the last move", "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1",
       {mv("d4", "d3", Pawn)}, "000000"},
      {"castling gives check", "5k2/8/8/8/8/8/8/4K2R w K - 0 1",
       {encodeMove(sq("e1"), sq("h1"), King)}, "000100"},
      // Moves that do not fit the position are not made, and neither is
      // anything after them.
      {"no man on the from-square", "4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1",
       {mv("b1", "d5", Knight), mv("b6", "d5", Knight)}, "000000"},
      {"pawn diagonal onto an empty square", "4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1",
       {mv("e4", "f5", Pawn), mv("b6", "d5", Knight)}, "000000"},
      {"capture of the king", "4k3/8/8/8/8/8/8/4K2R w K - 0 1", {mv("h1", "e8", Rook)},
       "000000"},
      {"onto an own man", "4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1",
       {mv("e1", "e2", King), mv("b6", "d5", Knight)}, "000000"},
      {"illegal: into check", "4k3/8/8/8/8/8/8/r3K3 w - - 0 1",
       {mv("e1", "d1", King), mv("a1", "a2", Rook)}, "001000"},
      {"second move of the wrong type", "4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1",
       {mv("e4", "d5", Pawn), mv("b6", "d5", Bishop)}, "100000"},
      {"second move standing still", "4k3/8/8/8/8/8/8/R3K3 w - - 0 1",
       {mv("a1", "a8", Rook), mv("e8", "e8", King)}, "000100"},
      {"castling without the right", "5k2/8/8/8/8/8/8/4K2R w - - 0 1",
       {encodeMove(sq("e1"), sq("h1"), King)}, "000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Position root = fromFen(c.fen);
    Pvs v;
    v.current = c.current;
    EXPECT_EQ(bits(features(root, v)).substr(9, 6), c.expected);
  }
}

TEST(MoveChangeFeaturesTest, DestinationOnTheLastMoveSquares) {
  Position root = fromFen("4k3/8/8/3n4/8/8/4P3/4K3 w - - 0 1");
  UndoRecord undo;
  undo.save(root);
  ASSERT_TRUE(root.makeMove(mv("e2", "e3", Pawn), undo));
  const uint64_t key = root.hashKey;
  const Bitboard occupied = root.occupied;
  Pvs v;
  v.current = {mv("d5", "e3", Knight)};
  EXPECT_EQ(bits(features(root, v)).substr(9, 6), "100001");
  v.current = {mv("d5", "f4", Knight)};
  EXPECT_EQ(bits(features(root, v)).substr(9, 6), "000000");
  // Only a copy was changed.
  EXPECT_EQ(root.hashKey, key);
  EXPECT_EQ(root.occupied, occupied);
}

TEST_F(MoveChangeNetTest, PredictEvaluatesTheFeaturesAndWritesTheirText) {
  const Position root = fromFen("4k3/8/1n6/3p4/4P3/8/8/4K3 w - - 0 1");
  Pvs v;
  v.previous = {mv("e1", "e2", King), mv("b6", "d5", Knight)};
  v.current = {mv("e4", "d5", Pawn), mv("b6", "d5", Knight)};
  v.previousScore = 120;
  v.currentScore = -450;
  v.previousChange = true;
  v.rootMoves = 7;
  const std::vector<double> in = features(root, v);

  char text[500];
  std::memset(text, 'x', sizeof text);
  const double p =
      net.predict(root, 2, v.previous.data(), 120, 2, v.current.data(), -450, false, false, true,
                  false, 7, text, sizeof text);
  EXPECT_DOUBLE_EQ(p, net.evaluate(in.data()));
  char expected[500];
  MoveChangeNet::formatFeatures(in.data(), p, expected, sizeof expected);
  EXPECT_STREQ(text, expected);
  EXPECT_LE(std::strlen(text), MoveChangeNet::kMaxFeatureText);
  EXPECT_EQ(net.predict(root, 2, v.previous.data(), 120, 2, v.current.data(), -450, false, false,
                        true, false, 7),
            p);
}

TEST(MoveChangeTextTest, FeatureTextFormatIsExact) {
  double in[kIn] = {};
  EXPECT_STREQ(
      [&] {
        static char out[200];
        MoveChangeNet::formatFeatures(in, kAllZero, out, sizeof out);
        return out;
      }(),
      "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0.00000000000000 0.00000000000000  0.000 "
      "-0.0429527598 ");

  in[0] = 1.0;
  in[1] = 0.6;  // above 0.5 counts as 1
  in[2] = 0.5;  // not above
  in[18] = 1.0;
  in[19] = -std::tanh(1.0);
  in[20] = 0.25;
  in[21] = 5.45;
  char out[200];
  const int length = MoveChangeNet::formatFeatures(in, 0.5, out, sizeof out);
  const char* expected =
      "1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 -0.76159415595576 0.25000000000000  5.450 "
      " 0.5000000000 ";
  EXPECT_STREQ(out, expected);
  EXPECT_EQ(length, int(std::strlen(expected)));

  // The longest text the built-in network can produce fits its bound.
  in[19] = -0.999;
  in[20] = -0.999;
  MoveChangeNet::formatFeatures(in, -0.99, out, sizeof out);
  EXPECT_EQ(std::strlen(out), MoveChangeNet::kMaxFeatureText);

  char small[10];
  EXPECT_EQ(MoveChangeNet::formatFeatures(in, 0.5, small, sizeof small), 95);
  EXPECT_STREQ(small, "1 1 0 0 0");
}

TEST(MoveChangeTextTest, FirstMovesDiffer) {
  const Move a = mv("e2", "e4", Pawn), b = mv("d2", "d4", Pawn);
  EXPECT_TRUE(MoveChangeNet::firstMovesDiffer(1, &a, 1, &b));
  EXPECT_FALSE(MoveChangeNet::firstMovesDiffer(1, &a, 1, &a));
  EXPECT_FALSE(MoveChangeNet::firstMovesDiffer(0, &a, 1, &b));
  EXPECT_FALSE(MoveChangeNet::firstMovesDiffer(1, &a, 0, &b));
  EXPECT_FALSE(MoveChangeNet::firstMovesDiffer(1, nullptr, 1, &b));
}

TEST(TimeLogTest, LineIsTheFeatureTextThenTheOutcome) {
  const char* text = "0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0.00000000000000 0.00000000000000 "
                     " 0.500  0.3841293272 ";
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(writeTimeLogLine(file, text, true));
  EXPECT_TRUE(writeTimeLogLine(file, text, false));
  std::rewind(file);
  char buffer[512] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  EXPECT_EQ(std::string(buffer, n), std::string(text) + " 1\n" + text + " 0\n");
  EXPECT_FALSE(writeTimeLogLine(nullptr, text, true));
}

TEST(TimeLogTest, AppendAddsLinesToTheNamedFile) {
  const std::string path = tempPath("time_log_append.txt");
  std::remove(path.c_str());
  EXPECT_TRUE(appendTimeLogLine(path.c_str(), "a ", false));
  EXPECT_TRUE(appendTimeLogLine(path.c_str(), "b ", true));
  EXPECT_EQ(readFile(path), "a  0\nb  1\n");
  std::remove(path.c_str());
  EXPECT_FALSE(appendTimeLogLine(tempPath("no_such_dir/log.txt").c_str(), "a ", false));
  EXPECT_FALSE(appendTimeLogLine(nullptr, "a ", false));
}

// Runs call in a child process, which is killed when it has not ended
// within the time: whether it ended by itself and gave back true.
enum class ChildResult { True, False, Hung, Died };
ChildResult inChild(const std::function<bool()>& call, int timeoutMs = 5000) {
  const pid_t pid = fork();
  if (pid == 0) _exit(call() ? 0 : 1);
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return !WIFEXITED(status) ? ChildResult::Died : WEXITSTATUS(status) == 0 ? ChildResult::True : ChildResult::False;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return ChildResult::Hung;
}

// The search writes the log itself, so nothing about the log may make it
// wait: a FIFO nobody reads, one whose reader has gone and one whose pipe
// is full each cost the line, at once, and never the process.
TEST(TimeLogTest, AFifoNeverMakesTheSearchWait) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string fifo = dir.path("log.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto append = [&] { return appendTimeLogLine(fifo.c_str(), "0 1 0.5 ", true); };

  EXPECT_EQ(inChild(append), ChildResult::False) << "nobody reads";
  EXPECT_EQ(inChild([&] { return openForAppendWithoutWaiting(fifo.c_str()) >= 0; }), ChildResult::False);

  {
    // A reader that takes nothing: the pipe is filled up first.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string page(4096, 'x');
    while (::write(writer, page.data(), page.size()) > 0) {
    }
    while (::write(writer, "x", 1) > 0) {
    }
    EXPECT_EQ(inChild(append), ChildResult::False) << "full pipe";
    ::close(writer);
    ::close(reader);
  }
  {
    // A reader that has gone after the log was opened: the write fails
    // instead of raising SIGPIPE.
    EXPECT_EQ(inChild([&] {
                const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                const int log = openForAppendWithoutWaiting(fifo.c_str());
                if (reader < 0 || log < 0) return false;
                ::close(reader);
                PipeSignalHold hold;
                hold.hold();
                const bool failed = ::write(log, "x\n", 2) < 0 && errno == EPIPE;
                hold.release();
                ::close(log);
                return failed && !appendTimeLogLine(fifo.c_str(), "0 ", false);
              }),
              ChildResult::True)
        << "reader gone";
  }
  {
    testsupport::FifoReader reader(fifo);
    ASSERT_TRUE(reader.isOpen());
    EXPECT_TRUE(append());
    EXPECT_EQ(reader.finish(), "0 1 0.5  1\n");
  }
}

TEST(TimeLogTest, LineIsDueOnlyUnderAllConditions) {
  TimeLogCheck due;
  due.masterThread = true;
  due.fileName = "times.log";
  due.score = 3499;
  due.positionsSinceIrreversible = 19;
  due.nodes = 25001;
  due.featureText = "0 ";
  due.previousLength = 1;
  due.currentLength = 1;
  EXPECT_TRUE(timeLogLineDue(due));
  due.score = -3499;
  EXPECT_TRUE(timeLogLineDue(due));

  struct Case {
    const char* name;
    void (*spoil)(TimeLogCheck&);
  };
  const Case cases[] = {
      {"helper thread", [](TimeLogCheck& c) { c.masterThread = false; }},
      {"no file name", [](TimeLogCheck& c) { c.fileName = nullptr; }},
      {"empty file name", [](TimeLogCheck& c) { c.fileName = ""; }},
      {"/dev/null", [](TimeLogCheck& c) { c.fileName = "/dev/null"; }},
      {"stopped", [](TimeLogCheck& c) { c.stopped = true; }},
      {"score 3500", [](TimeLogCheck& c) { c.score = 3500; }},
      {"score -3500", [](TimeLogCheck& c) { c.score = -3500; }},
      {"endgame knowledge", [](TimeLogCheck& c) { c.endgameKnowledge = true; }},
      {"20 positions", [](TimeLogCheck& c) { c.positionsSinceIrreversible = 20; }},
      {"25000 nodes", [](TimeLogCheck& c) { c.nodes = 25000; }},
      {"no feature text", [](TimeLogCheck& c) { c.featureText = nullptr; }},
      {"empty feature text", [](TimeLogCheck& c) { c.featureText = ""; }},
      {"empty previous variation", [](TimeLogCheck& c) { c.previousLength = 0; }},
      {"empty current variation", [](TimeLogCheck& c) { c.currentLength = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TimeLogCheck check = due;
    c.spoil(check);
    EXPECT_FALSE(timeLogLineDue(check));
  }
}

TEST(TimeLogTest, ActiveNames) {
  EXPECT_FALSE(timeLogActive(nullptr));
  EXPECT_FALSE(timeLogActive(""));
  EXPECT_FALSE(timeLogActive("/dev/null"));
  EXPECT_TRUE(timeLogActive("/dev/null2"));
  EXPECT_TRUE(timeLogActive("times.log"));
}

}  // namespace
