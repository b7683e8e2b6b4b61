#include "eval/material_net.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>

#include "support/fifo_writer.h"
#include "support/temp_text_file.h"

namespace {

// Piece counts of one side: queens, rooks, bishops, knights, pawns.
struct Side {
  int q, r, b, n, p;
};

constexpr Side kStart = {1, 2, 2, 2, 8};
constexpr Side kNone = {0, 0, 0, 0, 0};

double eval(MaterialNet& net, const Side& own, const Side& other, int relation) {
  return net.evaluate(own.q, own.r, own.b, own.n, own.p, other.q, other.r, other.b, other.n,
                      other.p, relation);
}

std::string writtenText(const NeuralNet& net) {
  std::ostringstream out;
  EXPECT_TRUE(net.write(out));
  return out.str();
}

std::string tempPath(const std::string& name) { return ::testing::TempDir() + name; }

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
}

// A 12-0-1 network whose output is the value of one input, so the input
// encoding can be read back through evaluate().
std::string probeText(int input) {
  return "11 3 0 12 1 0 2 1 0 " + std::to_string(input) + " 2 0 1 0";
}

// A 12-0-1 network with output weight * (own queens) - weight * (other queens).
std::string queensText(const std::string& ownWeight, const std::string& otherWeight) {
  return "15 3 0 12 1 0 2 1 0 0 2 0 0 6 2 0 " + ownWeight + " " + otherWeight + " 0";
}

struct ExampleCase {
  const char* what;
  Side own;
  Side other;
  int relation;
  double about;     // the value rounded to three places
  double computed;  // the same network worked out independently
};

const ExampleCase kExamples[] = {
    {"starting material", kStart, kStart, 0, 0.506, 0.5059530746160319},
    {"bare kings", kNone, kNone, 0, 0.523, 0.522809413065999},
    {"one pawn against nothing", {0, 0, 0, 0, 1}, kNone, 0, 0.683, 0.6830535664351527},
    {"other side lacks its queen", kStart, {0, 2, 2, 2, 8}, 0, 1.362, 1.3621558450738385},
    {"bishops of opposite colour", {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, -1, 0.504,
     0.5042635706493963},
    {"bishops of one colour", {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, 1, 0.499, 0.49892847205166857},
};

TEST(MaterialNetBuiltIn, GivesKnownValues) {
  MaterialNet net;
  for (const ExampleCase& c : kExamples) {
    const double v = eval(net, c.own, c.other, c.relation);
    EXPECT_NEAR(v, c.about, 0.0005) << c.what;
    EXPECT_NEAR(v, c.computed, 1e-9) << c.what;
  }
}

TEST(MaterialNetBuiltIn, NoMaterialIsTheBiasPathAlone) {
  MaterialNet net;
  const double toHidden[] = {-0.9511031595, -0.2624940835, 0.256059142, -0.4634967319,
                             -0.05230100057};
  const double toOutput[] = {0.628183415, 7.904320608, 0.43282325, -5.170155487, -2.496470377};
  double expected = 0.5390715615;
  for (int j = 0; j < 5; ++j) expected += toOutput[j] * std::tanh(toHidden[j]);
  EXPECT_NEAR(eval(net, kNone, kNone, 0), expected, 1e-12);
}

TEST(MaterialNetBuiltIn, HasTheBuiltInShape) {
  MaterialNet net;
  EXPECT_EQ(net.inputCount(), 12);
  EXPECT_EQ(net.hiddenLayerCount(), 1);
  EXPECT_EQ(net.hiddenLayer(0).size(), 5u);
  EXPECT_EQ(net.outputCount(), 1);
  EXPECT_EQ(net.weightCount(), 71u);
}

struct EncodingCase {
  const char* what;
  Side own;
  Side other;
  int relation;
  int input;
  double expected;
};

const EncodingCase kEncodings[] = {
    {"own queens", {3, 0, 0, 0, 0}, kNone, 0, 0, 3},
    {"own rooks", {0, 2, 0, 0, 0}, kNone, 0, 1, 2},
    {"own pawns", {0, 0, 0, 0, 7}, kNone, 0, 5, 7},
    {"own knights", {0, 0, 0, 2, 0}, kNone, 0, 4, 2},
    {"own first bishop, none", kNone, kNone, 0, 2, 0},
    {"own further bishops, none", kNone, kNone, 0, 3, 0},
    {"own first bishop, one", {0, 0, 1, 0, 0}, kNone, 0, 2, 1},
    {"own further bishops, one", {0, 0, 1, 0, 0}, kNone, 0, 3, 0},
    {"own first bishop, two", {0, 0, 2, 0, 0}, kNone, 0, 2, 1},
    {"own further bishops, two", {0, 0, 2, 0, 0}, kNone, 0, 3, 1},
    {"own first bishop ignores opposite colours", {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, -1, 2, 1},
    {"other queens", kNone, {1, 0, 0, 0, 0}, 0, 6, 1},
    {"other rooks", kNone, {0, 2, 0, 0, 0}, 0, 7, 2},
    {"other knights", kNone, {0, 0, 0, 1, 0}, 0, 10, 1},
    {"other pawns", kNone, {0, 0, 0, 0, 6}, 0, 11, 6},
    {"other first bishop, relation 0", kNone, {0, 0, 1, 0, 0}, 0, 8, 1},
    {"other further bishops, relation 0", kNone, {0, 0, 1, 0, 0}, 0, 9, 0},
    {"other first bishop, same colour", kNone, {0, 0, 1, 0, 0}, 1, 8, 1},
    {"other further bishops, same colour", kNone, {0, 0, 1, 0, 0}, 1, 9, 0},
    {"other first bishop, opposite colours", kNone, {0, 0, 1, 0, 0}, -1, 8, 0},
    {"other further bishops, opposite colours", kNone, {0, 0, 1, 0, 0}, -1, 9, 1},
    {"other two bishops, opposite colours", kNone, {0, 0, 2, 0, 0}, -1, 9, 2},
    {"other two bishops, relation 0", kNone, {0, 0, 2, 0, 0}, 0, 9, 1},
};

TEST(MaterialNetInputs, EncodeCountsAndBishops) {
  MaterialNet net;
  for (const EncodingCase& c : kEncodings) {
    std::istringstream text(probeText(c.input));
    ASSERT_TRUE(net.loadStream(text)) << c.what;
    EXPECT_EQ(eval(net, c.own, c.other, c.relation), c.expected) << c.what;
  }
}

TEST(MaterialNetLoad, BuiltInNamesRestoreTheBuiltInNetwork) {
  MaterialNet net;
  const std::string builtIn = writtenText(net);
  const double start = eval(net, kStart, kStart, 0);
  const char* names[] = {nullptr, "", "(internal)"};
  for (const char* name : names) {
    std::istringstream probe(probeText(0));
    ASSERT_TRUE(net.loadStream(probe));
    ASSERT_NE(writtenText(net), builtIn);
    EXPECT_TRUE(net.load(name)) << (name ? name : "null");
    EXPECT_EQ(writtenText(net), builtIn);
    EXPECT_EQ(eval(net, kStart, kStart, 0), start);
  }
}

TEST(MaterialNetLoad, MissingFileKeepsTheNetwork) {
  MaterialNet net;
  const double before = eval(net, kStart, {0, 2, 2, 2, 8}, 0);
  // Only the exact text names the built-in network; other spellings are
  // file names, here of files that do not exist.
  const char* names[] = {"(INTERNAL)", "(internal) ", "no-such-dir/no-such-network.txt"};
  for (const char* name : names) {
    EXPECT_FALSE(net.load(name)) << name;
    EXPECT_EQ(eval(net, kStart, {0, 2, 2, 2, 8}, 0), before) << name;
  }
}

TEST(MaterialNetLoad, SavedFileLoadsBack) {
  const std::string path = tempPath("brakken_material_saved.txt");
  MaterialNet trained;
  std::istringstream probe(queensText("0.25", "-0.125"));
  ASSERT_TRUE(trained.loadStream(probe));
  ASSERT_TRUE(trained.save(path.c_str()));

  std::ifstream saved(path);
  std::stringstream content;
  content << saved.rdbuf();
  EXPECT_EQ(content.str(), writtenText(trained) + "\n");

  MaterialNet net;
  ASSERT_TRUE(net.load(path.c_str()));
  EXPECT_EQ(eval(net, {4, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 0), 0.75);
  EXPECT_EQ(writtenText(net), writtenText(trained));
  std::remove(path.c_str());
}

// A FIFO is read while its writer holds it open, without waiting for the
// writer to close it; one that nobody writes fails at once, as a missing
// file does, and the network stays.
TEST(MaterialNetLoad, FifoIsReadFromAWriterAndRefusedWithoutOne) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.path("net.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  MaterialNet net;
  const double before = eval(net, {4, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 0);
  bool loaded = true;
  EXPECT_TRUE(testsupport::endsWithin(10, [&] { loaded = net.load(path.c_str()); },
                                      [&] { testsupport::passByAsWriter(path); }));
  EXPECT_FALSE(loaded);
  EXPECT_EQ(eval(net, {4, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 0), before);

  testsupport::FifoWriter writer(path, queensText("0.25", "-0.125") + "\n");
  ASSERT_TRUE(writer.ok());
  EXPECT_TRUE(testsupport::endsWithin(10, [&] { loaded = net.load(path.c_str()); }, [&] { writer.close(); }));
  EXPECT_TRUE(loaded);
  EXPECT_EQ(eval(net, {4, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, 0), 0.75);
}

TEST(MaterialNetLoad, SaveToAnUnwritablePlaceFails) {
  MaterialNet net;
  EXPECT_FALSE(net.save("no-such-dir/deeper/network.txt"));
  EXPECT_FALSE(net.save(nullptr));
}

struct RefusedCase {
  const char* what;
  std::string text;
};

const RefusedCase kRefused[] = {
    {"two inputs", "19 3 0 2 1 1 2 1 0 0 1 0 0 1 1 0 1 0 2 0 0.5 1.5 -0.75 0.125 2"},
    {"eleven inputs", "11 3 0 11 1 0 2 1 0 0 2 0 1 0"},
    {"thirteen inputs", "11 3 0 13 1 0 2 1 0 0 2 0 1 0"},
    {"two outputs", "11 3 0 12 1 0 2 2 0 0 2 0 1 0 0"},
    {"no outputs", "7 3 0 12 1 0 2 0"},
    {"one weight too few", "11 3 0 12 1 0 2 1 0 0 2 0 1"},
    {"empty text", ""},
};

TEST(MaterialNetLoad, RefusesWrongShapesAndBadTexts) {
  MaterialNet net;
  const std::string builtIn = writtenText(net);
  const double start = eval(net, kStart, kStart, 0);
  const std::string path = tempPath("brakken_material_refused.txt");
  for (const RefusedCase& c : kRefused) {
    std::istringstream text(c.text);
    EXPECT_FALSE(net.loadStream(text)) << c.what;
    writeFile(path, c.text);
    EXPECT_FALSE(net.load(path.c_str())) << c.what;
    EXPECT_EQ(writtenText(net), builtIn) << c.what;
    EXPECT_EQ(eval(net, kStart, kStart, 0), start) << c.what;
  }
  std::remove(path.c_str());

  std::istringstream failed(MaterialNet::builtInText());
  failed.setstate(std::ios::failbit);
  std::istringstream probe(probeText(0));
  ASSERT_TRUE(net.loadStream(probe));
  EXPECT_FALSE(net.loadStream(failed));
  EXPECT_EQ(eval(net, {5, 0, 0, 0, 0}, kNone, 0), 5);
}

struct OutputCase {
  const char* what;
  std::string text;
  int ownQueens;
  int otherQueens;
  double expected;
};

// Finite weights can still overflow the linear output unit.
const OutputCase kOutputs[] = {
    {"within the band", queensText("0.25", "-0.125"), 3, 2, 0.5},
    {"beyond the band", queensText("50", "0"), 3, 0, MaterialNet::kOutputLimit},
    {"below the band", queensText("0", "-50"), 0, 3, -MaterialNet::kOutputLimit},
    {"overflow to plus infinity", queensText("1e308", "-1e308"), 10, 0, MaterialNet::kOutputLimit},
    {"overflow to minus infinity", queensText("1e308", "-1e308"), 0, 10,
     -MaterialNet::kOutputLimit},
    {"infinity minus infinity", queensText("1e308", "-1e308"), 10, 10,
     MaterialNet::kNeutralOutput},
};

TEST(MaterialNetEvaluate, OutputIsAlwaysAFiniteNumberInItsBand) {
  MaterialNet net;
  for (const OutputCase& c : kOutputs) {
    std::istringstream text(c.text);
    ASSERT_TRUE(net.loadStream(text)) << c.what;
    const double v = eval(net, {c.ownQueens, 0, 0, 0, 0}, {c.otherQueens, 0, 0, 0, 0}, 0);
    EXPECT_EQ(v, c.expected) << c.what;
    EXPECT_TRUE(std::isfinite(v)) << c.what;
  }
}

}  // namespace
