#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "board/random_generator.h"
#include "eval/material_net.h"
#include "eval/neural_net.h"

namespace {

struct Pattern {
  std::vector<double> inputs;
  double target;
  double weight;
};

// The exclusive-or of two inputs, as a linear output of 0 or 1.
const std::vector<Pattern> kXor = {
    {{0, 0}, 0.0, 1.0}, {{0, 1}, 1.0, 1.0}, {{1, 0}, 1.0, 1.0}, {{1, 1}, 0.0, 1.0}};

// A 2-hidden-1 network, every input to every hidden unit, every hidden unit
// to the output, with small weights drawn from rng so the units differ.
void buildNet(NeuralNet& net, int inputs, int hidden, RandomGenerator& rng) {
  net.addNeurons(0, inputs);
  net.addNeurons(1, hidden);
  net.addNeurons(2, 1);
  for (int i = 0; i < inputs; ++i)
    for (int h = 0; h < hidden; ++h) net.connect(0, i, 1, h, rng.uniform(-1.0, 1.0));
  for (int h = 0; h < hidden; ++h) net.connect(1, h, 2, 0, rng.uniform(-1.0, 1.0));
  net.finalize();
}

double evaluate(NeuralNet& net, const std::vector<double>& x) {
  net.resetSums();
  for (int i = 0; i < static_cast<int>(x.size()); ++i) net.setInput(i, x[i]);
  net.forward();
  return net.output(0);
}

// The error measure the gradients descend: sum of w * (t - o)^2 / weightCount.
double batchError(NeuralNet& net, const std::vector<Pattern>& patterns) {
  double sum = 0.0;
  for (const Pattern& p : patterns) {
    const double o = evaluate(net, p.inputs);
    sum += p.weight * (p.target - o) * (p.target - o);
  }
  return sum / net.weightCount();
}

void accumulateBatch(NeuralNet& net, const std::vector<Pattern>& patterns) {
  for (const Pattern& p : patterns) {
    evaluate(net, p.inputs);
    net.clearErrors();
    net.setOutputError(0, p.target, p.weight);
    net.backpropagate();
  }
}

// Every training record of the network, outputs first, then the hidden
// layers from the last: the order in which rpropUpdate visits them.
std::vector<const TrainableWeight*> recordsInUpdateOrder(const NeuralNet& net) {
  std::vector<const TrainableWeight*> out;
  for (const OutputNeuron& n : net.outputNeurons())
    for (const TrainableWeight& w : n.incoming) out.push_back(&w);
  for (int l = net.hiddenLayerCount() - 1; l >= 0; --l)
    for (const HiddenNeuron& n : net.hiddenLayer(l))
      for (const TrainableWeight& w : n.incoming) out.push_back(&w);
  return out;
}

TEST(NeuralTraining, LearnsExclusiveOr) {
  RandomGenerator rng(4711);
  NeuralNet net(3);
  buildNet(net, 2, 4, rng);
  const double before = batchError(net, kXor);
  for (int epoch = 0; epoch < 3000; ++epoch) {
    accumulateBatch(net, kXor);
    net.rpropUpdate(rng);
  }
  const double after = batchError(net, kXor) * net.weightCount() / kXor.size();
  EXPECT_LT(after, 1e-3) << "mean squared error, started at " << before * net.weightCount() / kXor.size();
  for (const Pattern& p : kXor) EXPECT_NEAR(evaluate(net, p.inputs), p.target, 0.1);
}

// The accumulated gradient is minus the derivative of the error measure,
// checked against central differences on every weight (derivative offset 0,
// so the tanh derivative is exact).
TEST(NeuralTraining, GradientsAreTheDescentDirectionOfTheWeightedError) {
  RandomGenerator rng(99);
  NeuralNet net(3);
  buildNet(net, 3, 3, rng);
  net.params().derivativeOffset = 0.0;
  const std::vector<Pattern> patterns = {
      {{0.5, -1.0, 2.0}, 0.3, 1.0}, {{1.0, 0.0, -0.5}, -0.7, 2.5}, {{0.0, 0.25, 1.0}, 1.2, 0.5}};
  accumulateBatch(net, patterns);
  const std::vector<const TrainableWeight*> records = recordsInUpdateOrder(net);
  ASSERT_EQ(records.size(), net.weightCount());
  const double h = 1e-6;
  for (const TrainableWeight* w : records) {
    double& weight = w->connection->weight;
    const double saved = weight;
    weight = saved + h;
    const double up = batchError(net, patterns);
    weight = saved - h;
    const double down = batchError(net, patterns);
    weight = saved;
    EXPECT_NEAR(w->gradient, -(up - down) / (2 * h), 1e-7);
  }
}

TEST(NeuralTraining, OutputErrorIsScaledByTheWeightCount) {
  MaterialNet net;
  ASSERT_EQ(net.weightCount(), 71u);
  const double o = net.evaluate(1, 2, 2, 2, 8, 1, 2, 2, 2, 8, 0);
  net.trainSample(o + 0.1, 1.0);
  EXPECT_NEAR(net.outputNeurons()[0].error, 2 * 0.1 / 71, 1e-15);
  // The output's bias record gained exactly the output error.
  const TrainableWeight& bias = net.outputNeurons()[0].incoming.back();
  EXPECT_NEAR(bias.gradient, 2 * 0.1 / 71, 1e-15);
  // The hidden neurons received weight times that error.
  for (const TrainableWeight& w : net.outputNeurons()[0].incoming)
    if (w.sourceError != nullptr) {
      EXPECT_NEAR(*w.sourceError, w.connection->weight * 2 * 0.1 / 71, 1e-15);
    }
}

TEST(NeuralTraining, NetworkWithoutWeightsTakesNoOutputError) {
  // Before finalize() the network counts no weights; the output error must
  // not become a division by zero.
  NeuralNet net(3);
  net.addNeurons(0, 1);
  net.addNeurons(1, 0);
  net.addNeurons(2, 1);
  ASSERT_EQ(net.weightCount(), 0u);
  net.clearErrors();
  net.setOutputError(0, 1.0, 1.0);
  EXPECT_EQ(net.outputNeurons()[0].error, 0.0);
  net.setOutputError(5, 1.0, 1.0);  // no such output: ignored
}

// One draw per record, in update order; agreeing gradients grow the step,
// vanishing ones reverse the direction and shrink it; gradients are cleared.
TEST(NeuralTraining, UpdateStepsFollowTheResilientRule) {
  RandomGenerator rng(1234);
  NeuralNet net(3);
  buildNet(net, 2, 2, rng);
  const RpropParams& p = net.params();

  // First update: every gradient is 0, so every record turns to -1.
  std::vector<double> weightsBefore;
  for (const TrainableWeight* w : recordsInUpdateOrder(net)) weightsBefore.push_back(w->connection->weight);
  RandomGenerator replica = rng;
  net.rpropUpdate(rng);
  std::size_t i = 0;
  for (const TrainableWeight* w : recordsInUpdateOrder(net)) {
    const double factor = replica.uniform(p.decreaseMin, p.decreaseMax);
    EXPECT_EQ(w->direction, -1);
    EXPECT_DOUBLE_EQ(w->step, p.initialStep * factor);
    EXPECT_DOUBLE_EQ(w->connection->weight, weightsBefore[i] - w->step);
    EXPECT_EQ(w->gradient, 0.0);
    ++i;
  }

  // Two agreeing updates grow the step by 1.18..1.22 each.
  for (int round = 0; round < 2; ++round) {
    const std::vector<const TrainableWeight*> records = recordsInUpdateOrder(net);
    std::vector<double> steps;
    for (const TrainableWeight* w : records) {
      const_cast<TrainableWeight*>(w)->gradient = -1.0;  // agrees with direction -1
      steps.push_back(w->step);
    }
    net.rpropUpdate(rng);
    for (std::size_t k = 0; k < records.size(); ++k) {
      EXPECT_EQ(records[k]->direction, -1);
      EXPECT_GE(records[k]->step, steps[k] * p.increaseMin * (1 - 1e-12));
      EXPECT_LE(records[k]->step, steps[k] * p.increaseMax * (1 + 1e-12));
    }
  }
}

TEST(NeuralTraining, StepsAndWeightsStayWithinTheirLimits) {
  RandomGenerator rng(5);
  NeuralNet net(3);
  buildNet(net, 1, 1, rng);
  TrainableWeight& w = const_cast<TrainableWeight&>(net.outputNeurons()[0].incoming[0]);
  // A long run of agreeing gradients reaches the largest step and no more.
  for (int k = 0; k < 200; ++k) {
    w.gradient = w.direction;
    w.connection->weight = 0.0;
    net.rpropUpdate(rng);
  }
  EXPECT_EQ(w.step, net.params().maxStep);
  // Pushed past the limit: held at it with the smallest step.
  w.connection->weight = 19.9;
  w.direction = 1;
  w.step = 0.4;
  w.gradient = 1.0;
  net.rpropUpdate(rng);
  EXPECT_EQ(w.connection->weight, 19.9999999);
  EXPECT_EQ(w.step, 1e-10);
  w.connection->weight = -19.9;
  w.direction = -1;
  w.step = 0.4;
  w.gradient = -1.0;
  net.rpropUpdate(rng);
  EXPECT_EQ(w.connection->weight, -19.9999999);
  EXPECT_EQ(w.step, 1e-10);
  // A gradient that stays 0 makes the weight oscillate down to minStep.
  w.connection->weight = 0.0;
  w.step = 0.1;
  for (int k = 0; k < 60; ++k) net.rpropUpdate(rng);
  EXPECT_EQ(w.step, 1e-10);
  EXPECT_LT(std::fabs(w.connection->weight), 0.25);
}

TEST(NeuralTraining, TrainedNetworkSavedAndReloadedGivesTheSameOutputs) {
  RandomGenerator rng(77);
  NeuralNet net(3);
  buildNet(net, 2, 3, rng);
  for (int epoch = 0; epoch < 300; ++epoch) {
    accumulateBatch(net, kXor);
    net.rpropUpdate(rng);
  }
  std::ostringstream first;
  ASSERT_TRUE(net.write(first));
  NeuralNet reloaded(3);
  std::istringstream in(first.str());
  ASSERT_TRUE(reloaded.read(in));
  std::ostringstream second;
  ASSERT_TRUE(reloaded.write(second));
  EXPECT_EQ(first.str(), second.str());
  // Written weights carry ten significant digits.
  for (const Pattern& p : kXor) EXPECT_NEAR(evaluate(reloaded, p.inputs), evaluate(net, p.inputs), 1e-8);
}

}  // namespace
