#include "eval/neural_net.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "eval/material_net.h"

namespace {

// A 2-1-1 network with a skip connection from input 0 to the output:
// out = d*x0 + co + e*tanh(a*x0 + b*x1 + ch).
const char kSkipInts[] = "3 0 2 1 1 2 1  0 0 1 0  0 1 1 0  0 0 2 0  1 0 2 0";
// Weights in text order: input 0 (a, d), input 1 (b), bias (ch, co), hidden 0 (e).
const char kSkipWeights[] = "0.5 -0.25 1.5 -0.75 0.125 2";
constexpr double kA = 0.5, kD = -0.25, kB = 1.5, kCh = -0.75, kCo = 0.125, kE = 2.0;

double skipOutput(double x0, double x1) {
  return kD * x0 + kCo + kE * std::tanh(kA * x0 + kB * x1 + kCh);
}

int tokenCount(const std::string& s) {
  std::istringstream in(s);
  std::string t;
  int n = 0;
  while (in >> t) ++n;
  return n;
}

// A definition text whose leading count matches the integers given.
std::string definitionText(const std::string& ints, const std::string& weights) {
  return std::to_string(tokenCount(ints)) + " " + ints + "\n" + weights;
}

std::string skipText() { return definitionText(kSkipInts, kSkipWeights); }

bool readText(NeuralNet& net, const std::string& text) {
  std::istringstream in(text);
  return net.read(in);
}

std::string written(const NeuralNet& net) {
  std::ostringstream out;
  EXPECT_TRUE(net.write(out));
  return out.str();
}

double run(NeuralNet& net, const std::vector<double>& x, int output = 0) {
  net.resetSums();
  for (int i = 0; i < static_cast<int>(x.size()); ++i) net.setInput(i, x[i]);
  net.forward();
  return net.output(output);
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start < s.size()) {
    const std::size_t end = s.find('\n', start);
    if (end == std::string::npos) {
      result.push_back(s.substr(start));
      break;
    }
    result.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

std::vector<std::string> tokens(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> result;
  std::string t;
  while (in >> t) result.push_back(t);
  return result;
}

class NeuralNetSkipTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(readText(net, skipText())); }
  NeuralNet net{3};
};

TEST_F(NeuralNetSkipTest, ReadBuildsTheStructure) {
  EXPECT_EQ(net.inputCount(), 2);
  EXPECT_EQ(net.inputNodes().size(), 3u);  // the bias node is extra
  EXPECT_EQ(net.hiddenLayerCount(), 1);
  EXPECT_EQ(net.hiddenLayer(0).size(), 1u);
  EXPECT_EQ(net.outputCount(), 1);
  EXPECT_EQ(net.weightCount(), 6u);  // four listed plus two bias connections
  EXPECT_FALSE(net.recordsDefinition());
  const std::vector<int32_t> expected = {3, 0, 2, 1, 1, 2, 1, 0, 0, 1, 0,
                                         0, 1, 1, 0, 0, 0, 2, 0, 1, 0, 2, 0};
  EXPECT_EQ(net.definition(), expected);
  EXPECT_EQ(net.inputNodes().back().value, 1.0);
}

TEST_F(NeuralNetSkipTest, ForwardMatchesTheFormula) {
  const double cases[][2] = {{0, 0}, {1, 0}, {0, 1}, {1, -1}, {-3.5, 2.25}, {15, 15}};
  for (const auto& c : cases)
    EXPECT_NEAR(run(net, {c[0], c[1]}), skipOutput(c[0], c[1]), 1e-12) << c[0] << "," << c[1];
}

TEST_F(NeuralNetSkipTest, InputsAccumulateUntilReset) {
  net.resetSums();
  net.setInput(0, 1.0);
  net.setInput(0, 1.0);  // counted twice, as if x0 were 2
  net.setInput(1, 0.5);
  net.forward();
  EXPECT_NEAR(net.output(0), skipOutput(2.0, 0.5), 1e-12);
  EXPECT_NEAR(run(net, {1.0, 0.5}), skipOutput(1.0, 0.5), 1e-12);
  // Repeated evaluation gives the same value: forward() leaves no residue.
  EXPECT_NEAR(run(net, {1.0, 0.5}), skipOutput(1.0, 0.5), 1e-12);
}

TEST_F(NeuralNetSkipTest, IndexesOutsideTheNetworkAreHarmless) {
  const double before = run(net, {1.0, 2.0});
  net.resetSums();
  net.setInput(0, 1.0);
  net.setInput(1, 2.0);
  net.setInput(2, 50.0);  // the bias node is not an input
  net.setInput(-1, 50.0);
  net.setInput(99, 50.0);
  net.forward();
  EXPECT_EQ(net.output(0), before);
  EXPECT_EQ(net.inputNodes().back().value, 1.0);
  EXPECT_EQ(net.output(1), 0.0);
  EXPECT_EQ(net.output(-1), 0.0);
}

TEST_F(NeuralNetSkipTest, FinalizeOrdersTrainingRecords) {
  const RpropParams defaults;
  const OutputNeuron& out = net.outputNeurons()[0];
  const HiddenNeuron& hidden = net.hiddenLayer(0)[0];

  // The output hears the hidden neuron first, then input 0, then the bias.
  ASSERT_EQ(out.incoming.size(), 3u);
  EXPECT_EQ(out.split, 1u);
  EXPECT_EQ(out.incoming[0].sourceValue, &hidden.value);
  EXPECT_EQ(out.incoming[0].sourceError, &hidden.error);
  EXPECT_EQ(out.incoming[0].connection->weight, kE);
  EXPECT_EQ(out.incoming[1].sourceValue, &net.inputNodes()[0].value);
  EXPECT_EQ(out.incoming[1].sourceError, nullptr);
  EXPECT_EQ(out.incoming[1].connection->weight, kD);
  EXPECT_EQ(out.incoming[2].sourceValue, &net.inputNodes()[2].value);
  EXPECT_EQ(out.incoming[2].connection->weight, kCo);

  ASSERT_EQ(hidden.incoming.size(), 3u);
  EXPECT_EQ(hidden.split, 0u);
  const double hiddenWeights[] = {kA, kB, kCh};
  for (std::size_t i = 0; i < 3; ++i) {
    const TrainableWeight& w = hidden.incoming[i];
    EXPECT_EQ(w.connection->weight, hiddenWeights[i]);
    EXPECT_EQ(w.connection->target, &hidden);
    EXPECT_EQ(w.gradient, 0.0);
    EXPECT_EQ(w.step, defaults.initialStep);
    EXPECT_EQ(w.direction, 1);
  }
}

TEST(NeuralNetParams, ConstructorSetsTrainingDefaults) {
  NeuralNet net(3);
  const RpropParams& p = net.params();
  EXPECT_EQ(p.decreaseMin, 0.48);
  EXPECT_EQ(p.decreaseMax, 0.52);
  EXPECT_EQ(p.increaseMin, 1.18);
  EXPECT_EQ(p.increaseMax, 1.22);
  EXPECT_EQ(p.minStep, 1e-10);
  EXPECT_EQ(p.initialStep, 1e-7);
  EXPECT_EQ(p.maxStep, 0.5);
  EXPECT_EQ(p.weightLimit, 19.9999999);
  EXPECT_EQ(p.derivativeOffset, 0.001);
  EXPECT_EQ(net.definition(), std::vector<int32_t>{3});
  EXPECT_TRUE(net.recordsDefinition());
  EXPECT_EQ(net.weightCount(), 0u);
  // An empty network evaluates to nothing without touching missing nodes.
  net.resetSums();
  net.forward();
  EXPECT_EQ(net.output(0), 0.0);
}

TEST(NeuralNetText, ReadsTheBuiltInMaterialText) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, MaterialNet::builtInText()));
  EXPECT_EQ(net.inputCount(), 12);
  EXPECT_EQ(net.hiddenLayer(0).size(), 5u);
  EXPECT_EQ(net.outputCount(), 1);
  EXPECT_EQ(net.definition().size(), 267u);
  EXPECT_EQ(net.weightCount(), 71u);
}

TEST(NeuralNetText, WriteLaysOutTheBuiltInTextByLines) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, MaterialNet::builtInText()));
  const std::string text = written(net);
  const std::vector<std::string> rows = lines(text);
  ASSERT_EQ(rows.size(), 9u + 18u);
  ASSERT_EQ(text.back(), '\n');

  // Eight lines of 30 integers ending in a blank (the first led by the
  // count), then the last 27 integers, each followed by a blank.
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tokenCount(rows[i]), i == 0 ? 31 : 30) << i;
    EXPECT_EQ(rows[i].back(), ' ') << i;
  }
  EXPECT_EQ(rows[0].substr(0, 4), "267 ");
  EXPECT_EQ(tokenCount(rows[8]), 27);
  EXPECT_EQ(rows[8].back(), ' ');

  // One weight line per input node (the bias node's last, with six), then
  // one per hidden neuron.
  for (int i = 0; i < 18; ++i) {
    const std::string& row = rows[9 + i];
    const int expected = i < 12 ? 5 : i == 12 ? 6 : 1;
    EXPECT_EQ(tokenCount(row), expected) << "weight line " << i;
    EXPECT_EQ(row.back(), ' ') << "weight line " << i;
  }

  // Same integers and, at ten significant digits, the very same weight texts.
  EXPECT_EQ(tokens(text), tokens(MaterialNet::builtInText()));
}

TEST(NeuralNetText, ReadThenWriteIsByteIdentical) {
  for (const std::string& source : {std::string(MaterialNet::builtInText()), skipText()}) {
    NeuralNet first(3);
    ASSERT_TRUE(readText(first, source));
    const std::string once = written(first);
    NeuralNet second(3);
    ASSERT_TRUE(readText(second, once));
    EXPECT_EQ(written(second), once);
  }
}

TEST(NeuralNetText, WriteKeepsStreamSettingsAndReportsFailure) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, skipText()));
  std::ostringstream out;
  out.precision(3);
  out.setf(std::ios::fixed, std::ios::floatfield);
  ASSERT_TRUE(net.write(out));
  EXPECT_EQ(out.precision(), 3);
  EXPECT_EQ(out.flags() & std::ios::floatfield, std::ios::fixed);
  EXPECT_EQ(tokens(out.str()), tokens(written(net)));

  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  EXPECT_FALSE(net.write(broken));
}

TEST(NeuralNetText, WeightHelpersFollowListOrder) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, skipText()));
  std::vector<Connection> list = net.inputNodes()[0].outgoing;
  std::ostringstream out;
  ASSERT_TRUE(NeuralNet::writeWeights(list, out));
  EXPECT_EQ(out.str(), "0.5 -0.25 \n");

  std::istringstream in("7.5 -1e-3");
  ASSERT_TRUE(NeuralNet::readWeights(list, in));
  EXPECT_EQ(list[0].weight, 7.5);
  EXPECT_EQ(list[1].weight, -0.001);
  std::istringstream shortIn("1.0");
  EXPECT_FALSE(NeuralNet::readWeights(list, shortIn));
}

struct TextCase {
  const char* what;
  std::string text;
};

// Texts that are not complete, well-formed networks.
std::vector<TextCase> malformedTexts() {
  const std::string w = kSkipWeights;
  return {
      {"empty text", ""},
      {"blanks only", "  \n\t "},
      {"count not a number", "abc"},
      {"count zero", "0 3 0 2 1 1 2 1"},
      {"count negative", "-1 3 0 2 1 1 2 1"},
      {"count beyond any acceptable text", "4294967295 3 0 2 1 1 2 1 " + w},
      {"count above what follows", "40 3 0 2 1 1 2 1 0 0 1 0 0 1 1 0"},
      {"one integer less", "22 3 0 2 1 1 2 1 0 0 1 0 0 1 1 0 0 0 2 0 1 0 2 " + w},
      {"one integer more", "24 3 0 2 1 1 2 1 0 0 1 0 0 1 1 0 0 0 2 0 1 0 2 0 1 " + w},
      {"integer too large", definitionText("3 0 2 1 1 2 1 0 0 1 99999999999", w)},
      {"integer with a fraction", definitionText("3 0 2.5 1 1 2 1", w)},
      {"two layers", definitionText("2 0 1 1 1 0 0 1 0", "0.5 0.5")},
      {"no layers", definitionText("0", "")},
      {"negative layer count", definitionText("-3 0 2 1 1 2 1", w)},
      {"more layers than allowed", definitionText("65 0 1", w)},
      {"layer number too large", definitionText("3 0 2 1 1 3 1 0 0 1 0", w)},
      {"negative layer number", definitionText("3 0 2 -1 1 2 1 0 0 1 0", w)},
      {"layer named twice", definitionText("3 0 2 0 1 2 1 0 0 2 0", w)},
      {"negative node count", definitionText("3 0 2 1 -1 2 1 0 0 2 0", w)},
      {"huge node count", definitionText("3 0 1000000000 1 1 2 1 0 0 1 0", w)},
      {"too many nodes in all", definitionText("3 0 10000 1 10000 2 1 0 0 1 0", w)},
      {"source in the output layer", definitionText("3 0 2 1 1 2 1 2 0 2 0", w)},
      {"negative source layer", definitionText("3 0 2 1 1 2 1 -1 0 1 0", w)},
      {"source past the bias node", definitionText("3 0 2 1 1 2 1 0 3 1 0", w)},
      {"negative source index", definitionText("3 0 2 1 1 2 1 0 -1 1 0", w)},
      {"hidden source past its layer", definitionText("3 0 2 1 1 2 1 1 1 2 0", w)},
      {"target in the input layer", definitionText("3 0 2 1 1 2 1 0 0 0 1", w)},
      {"negative target layer", definitionText("3 0 2 1 1 2 1 0 0 -2 0", w)},
      {"target past its hidden layer", definitionText("3 0 2 1 1 2 1 0 0 1 1", w)},
      {"target past the output layer", definitionText("3 0 2 1 1 2 1 0 0 7 1", w)},
      {"negative target index", definitionText("3 0 2 1 1 2 1 0 0 1 -1", w)},
      {"no weights", definitionText(kSkipInts, "")},
      {"one weight too few", definitionText(kSkipInts, "0.5 -0.25 1.5 -0.75 0.125")},
      {"weight not a number", definitionText(kSkipInts, "0.5 -0.25 1.5 abc 0.125 2")},
      {"weight nan", definitionText(kSkipInts, "0.5 -0.25 1.5 nan 0.125 2")},
      {"weight infinite", definitionText(kSkipInts, "0.5 -0.25 1.5 inf 0.125 2")},
      {"weight out of range", definitionText(kSkipInts, "0.5 -0.25 1.5 1e999 0.125 2")},
  };
}

TEST(NeuralNetText, MalformedTextsLeaveTheNetworkIntact) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, MaterialNet::builtInText()));
  const std::string before = written(net);
  const std::vector<double> probe = {1, 2, 1, 1, 2, 8, 1, 2, 1, 1, 2, 7};
  const double value = run(net, probe);

  for (const TextCase& c : malformedTexts()) {
    EXPECT_FALSE(readText(net, c.text)) << c.what;
    EXPECT_EQ(written(net), before) << c.what;
    EXPECT_EQ(run(net, probe), value) << c.what;
    EXPECT_EQ(net.weightCount(), 71u) << c.what;
  }
}

TEST(NeuralNetText, FailedStreamIsRefused) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, skipText()));
  std::istringstream in(skipText());
  in.setstate(std::ios::failbit);
  EXPECT_FALSE(net.read(in));
  EXPECT_EQ(net.weightCount(), 6u);
}

// Texts that differ from the skip network only in form, so they compute the
// same function.
std::vector<TextCase> equivalentTexts() {
  const std::string w = kSkipWeights;
  return {
      {"extra token after the last weight", skipText() + " 42 junk"},
      {"line breaks and blanks anywhere",
       "\n 23\n3\n0 2\t1 1 2 1 0 0 1 0 0 1 1 0 0 0 2 0 1 0 2 0\n\n0.5\n-0.25 1.5 -0.75 0.125 2\n"},
      {"layers listed out of order",
       definitionText("3 2 1 0 2 1 1  0 0 1 0  0 1 1 0  0 0 2 0  1 0 2 0", w)},
      {"layer number above the output layer",
       definitionText("3 0 2 1 1 2 1  0 0 1 0  0 1 1 0  0 0 9 0  1 0 9 0", w)},
      {"bias node listed as a source",
       definitionText(std::string(kSkipInts) + " 0 2 2 0", "0.5 -0.25 1.5 0 -0.75 0.125 2")},
  };
}

TEST(NeuralNetText, EquivalentFormsAreAccepted) {
  for (const TextCase& c : equivalentTexts()) {
    NeuralNet net(3);
    ASSERT_TRUE(readText(net, c.text)) << c.what;
    const double cases[][2] = {{0, 0}, {1, -1}, {2.5, 0.75}};
    for (const auto& x : cases)
      EXPECT_NEAR(run(net, {x[0], x[1]}), skipOutput(x[0], x[1]), 1e-12) << c.what;
  }
}

TEST(NeuralNetText, ReadReplacesADifferentShape) {
  NeuralNet net(3);
  ASSERT_TRUE(readText(net, MaterialNet::builtInText()));
  ASSERT_TRUE(readText(net, skipText()));
  EXPECT_EQ(net.inputCount(), 2);
  EXPECT_EQ(net.weightCount(), 6u);
  EXPECT_NEAR(run(net, {1, 1}), skipOutput(1, 1), 1e-12);

  // A four-layer text: 1 input, two hidden layers of one unit, one output.
  ASSERT_TRUE(readText(net, definitionText("4 0 1 1 1 2 1 3 1  0 0 1 0  1 0 2 0  2 0 3 0",
                                           "0.5  0 0 0  2  -1")));
  EXPECT_EQ(net.hiddenLayerCount(), 2);
  EXPECT_NEAR(run(net, {0.8}), -std::tanh(2 * std::tanh(0.4)), 1e-12);
}

TEST(NeuralNetText, ConnectionLimitIsExact) {
  // A 1-1-1 network has two bias connections, so kMaxConnections - 2 listed
  // ones fill the limit exactly and one more passes it.
  const int fits = NeuralNet::kMaxConnections - 2;
  auto text = [](int listed, int weights) {
    std::string s = std::to_string(7 + 4 * listed) + " 3 0 1 1 1 2 1";
    for (int i = 0; i < listed; ++i) s += " 0 0 1 0";
    for (int i = 0; i < weights; ++i) s += " 0";
    return s;
  };
  NeuralNet net(3);
  EXPECT_TRUE(readText(net, text(fits, fits + 2)));
  EXPECT_EQ(net.weightCount(), static_cast<uint32_t>(NeuralNet::kMaxConnections));
  EXPECT_FALSE(readText(net, text(fits + 1, fits + 3)));
  EXPECT_EQ(net.weightCount(), static_cast<uint32_t>(NeuralNet::kMaxConnections));
}

TEST(NeuralNetBuild, RecordedDefinitionRoundTrips) {
  NeuralNet net(3);
  ASSERT_TRUE(net.addNeurons(0, 2));
  ASSERT_TRUE(net.addNeurons(1, 1));
  ASSERT_TRUE(net.addNeurons(2, 1));
  ASSERT_TRUE(net.connect(0, 0, 1, 0, kA));
  ASSERT_TRUE(net.connect(0, 1, 1, 0, kB));
  ASSERT_TRUE(net.connect(0, 0, 2, 0, kD));
  ASSERT_TRUE(net.connect(1, 0, 2, 0, kE));
  net.finalize();
  EXPECT_EQ(net.weightCount(), 6u);

  NeuralNet skip(3);
  ASSERT_TRUE(readText(skip, skipText()));
  EXPECT_EQ(net.definition(), skip.definition());
  // The bias connections start at 0.0.
  const double noBias = kD * 1.0 + kE * std::tanh(kA * 1.0 + kB * 0.5);
  EXPECT_NEAR(run(net, {1.0, 0.5}), noBias, 1e-12);

  NeuralNet copy(3);
  ASSERT_TRUE(readText(copy, written(net)));
  EXPECT_EQ(run(copy, {1.0, 0.5}), run(net, {1.0, 0.5}));
  EXPECT_EQ(written(copy), written(net));
}

TEST(NeuralNetBuild, RefusesWhatWouldBreakTheStructure) {
  NeuralNet net(3);
  EXPECT_FALSE(net.addNeurons(3, 1));   // no such layer
  EXPECT_FALSE(net.addNeurons(-1, 1));
  EXPECT_FALSE(net.addNeurons(1, -2));
  ASSERT_TRUE(net.addNeurons(0, 2));
  ASSERT_TRUE(net.addNeurons(1, 1));
  ASSERT_TRUE(net.addNeurons(2, 1));
  const std::vector<int32_t> layersOnly = net.definition();

  EXPECT_FALSE(net.connect(2, 0, 2, 0));  // output as source
  EXPECT_FALSE(net.connect(0, 3, 1, 0));  // past the bias node
  EXPECT_FALSE(net.connect(0, 0, 0, 1));  // input as target
  EXPECT_FALSE(net.connect(0, 0, 1, 1));  // past the hidden layer
  EXPECT_FALSE(net.connect(1, 1, 2, 0));  // past the hidden layer
  EXPECT_EQ(net.definition(), layersOnly);

  ASSERT_TRUE(net.connect(0, 2, 1, 0, 0.25));  // the bias node may be named
  EXPECT_FALSE(net.addNeurons(1, 3));  // connections point into the layers
  net.finalize();
  EXPECT_FALSE(net.connect(0, 0, 1, 0));
  const uint32_t count = net.weightCount();
  net.finalize();
  EXPECT_EQ(net.weightCount(), count);
  EXPECT_EQ(net.inputNodes().back().outgoing.size(), 3u);
}

}  // namespace
