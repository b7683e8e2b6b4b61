// A small multilayer perceptron: an input layer with one extra bias node, one
// or more hidden layers of tanh units and a layer of linear output units,
// joined by explicitly listed connections. Its definition is a plain text of
// integers (structure) followed by decimal weights, which the network reads
// from and writes to streams.
//
// Connections and training records point straight at nodes and at other
// connections, so every layer is created whole before the first connection,
// and nothing is added to a node or connection list after finalize(). For
// the same reason a network cannot be copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

class Neuron;
class RandomGenerator;

// The nine parameters of resilient-propagation training.
struct RpropParams {
  double decreaseMin = 0.48;
  double decreaseMax = 0.52;
  double increaseMin = 1.18;
  double increaseMax = 1.22;
  double minStep = 1e-10;
  double initialStep = 1e-7;
  double maxStep = 0.5;
  double weightLimit = 19.9999999;
  double derivativeOffset = 0.001;
};

// One weighted edge, held in its source's outgoing list.
struct Connection {
  Neuron* target;
  double weight;
};

// The training record of one connection, held by its target neuron.
struct TrainableWeight {
  double gradient;
  double step;
  int32_t direction;
  const double* sourceValue;
  double* sourceError;  // null when the source is an input node
  Connection* connection;
};

// Adds weight * x to the net input of every target in the list.
void propagateConnections(const std::vector<Connection>& outgoing, double x);

class NetNode {
 public:
  virtual ~NetNode() = default;
  virtual void addError(double x) = 0;
};

class InputNode : public NetNode {
 public:
  void addError(double) override {}

  double value = 0.0;
  std::vector<Connection> outgoing;
};

class Neuron : public NetNode {
 public:
  void addError(double x) override { error += x; }

  double value = 0.0;
  double netInput = 0.0;
  double error = 0.0;
  std::vector<TrainableWeight> incoming;
  // Records before split come from hidden neurons, from split on from
  // input nodes (the bias node included).
  std::size_t split = 0;

  // --- training ---
  // Adds source value * delta to the gradient of every incoming record and,
  // for records from hidden neurons, weight * delta to the source's error.
  void accumulateGradients(double delta);
  void resetGradients();
  // One resilient step of every incoming weight, drawing one step factor
  // per record from rng; clears the gradients.
  void rpropUpdate(const RpropParams& params, RandomGenerator& rng);
};

class OutputNeuron : public Neuron {
 public:
  // The output is linear: its error is its delta.
  void backpropagate() { accumulateGradients(error); }
};

class HiddenNeuron : public Neuron {
 public:
  // Sets value = tanh(netInput) and pushes it along the outgoing list.
  void activate();
  // Delta through the tanh derivative (plus offset, so that saturated units
  // still learn), then accumulateGradients().
  void backpropagate(double offset) { accumulateGradients((1.0 - value * value + offset) * error); }

  std::vector<Connection> outgoing;
};

class NeuralNet {
 public:
  // Limits on what a definition text may ask for, so that a damaged or
  // hostile file cannot make the reader allocate without bound. The largest
  // built-in network uses well under a thousand of each.
  static constexpr int kMaxLayers = 64;
  static constexpr int kMaxNodes = 16384;          // all layers together
  static constexpr int kMaxConnections = 131072;   // bias connections included

  explicit NeuralNet(int layers);
  virtual ~NeuralNet();

  NeuralNet(const NeuralNet&) = delete;
  NeuralNet& operator=(const NeuralNet&) = delete;

  // Replaces layer `layer` by count fresh nodes (layer 0: count inputs plus
  // the bias node; the last layer: the outputs). Gives back false and changes
  // nothing when the layer or count is invalid or connections already exist.
  bool addNeurons(int layer, int count);

  // Connects a node to a neuron of layer 1 or higher (any layer number above
  // the last hidden layer names the output layer). Only connections from a
  // lower to a higher layer take part in forward(). Gives back false and
  // changes nothing when a node does not exist, when kMaxConnections are
  // already listed or after finalize().
  bool connect(int fromLayer, int fromIndex, int toLayer, int toIndex, double weight = 0.0);

  // Adds the bias connections and builds the training records; later calls
  // do nothing.
  void finalize();

  // Clears the inputs (not the bias node) and every neuron's net input.
  void resetSums();

  // Sets input index to x and pushes its contribution to the neurons it
  // feeds; setting an input twice without resetSums() adds it twice. An index
  // outside the declared inputs is ignored.
  void setInput(int index, double x);

  // Adds the bias contributions and computes the hidden and output values.
  void forward();

  // Gives back the value of output neuron index (0.0 for an index that does
  // not exist). The value is not checked and may be infinite or NaN when the
  // weights are extreme.
  double output(int index) const;

  // --- training: batch gradient descent with resilient steps ---
  // For each pattern: evaluate, clearErrors(), setOutputError(),
  // backpropagate(); after the batch, rpropUpdate(). The accumulated
  // gradients are the descent direction of
  //   E = sum of patternWeight * (target - output)^2 / weightCount.

  // Sets the error of every hidden and output neuron to 0.
  void clearErrors();
  // Starts back-propagation at output index with
  // 2 * patternWeight * (target - output) / weightCount (0 for a network
  // without weights) and accumulates that neuron's gradients.
  void setOutputError(int index, double target, double patternWeight);
  // Carries the errors back through the hidden layers, last layer first.
  void backpropagate();
  // One update step of every weight (outputs, then hidden layers from the
  // last), drawing the step factors from rng; clears every gradient.
  void rpropUpdate(RandomGenerator& rng);
  void rpropUpdate();  // with the process-wide generator
  void resetGradients();
  RpropParams& params() { return params_; }

  // Replaces structure and weights by those of a definition text. Gives back
  // false, with the network untouched, when the text is not complete and
  // well-formed; text after the last weight is not read.
  bool read(std::istream& in);

  // Writes the network as a definition text; gives back false when the
  // stream fails.
  bool write(std::ostream& out) const;

  // Read or write the weights of one node's outgoing list, in list order;
  // false on a stream failure (or a weight that is not finite).
  static bool readWeights(std::vector<Connection>& outgoing, std::istream& in);
  static bool writeWeights(const std::vector<Connection>& outgoing, std::ostream& out);

  // Declared inputs, without the bias node.
  int inputCount() const { return inputs_.empty() ? 0 : static_cast<int>(inputs_.size()) - 1; }
  int outputCount() const { return static_cast<int>(outputs_.size()); }
  int hiddenLayerCount() const { return static_cast<int>(hiddenLayers_.size()); }
  uint32_t weightCount() const { return weightCount_; }
  const std::vector<int32_t>& definition() const { return definition_; }
  bool recordsDefinition() const { return recordDefinition_; }
  const RpropParams& params() const { return params_; }

  const std::vector<InputNode>& inputNodes() const { return inputs_; }
  // Hidden layer index (0 for layer 1); index must be below hiddenLayerCount().
  const std::vector<HiddenNeuron>& hiddenLayer(int index) const { return hiddenLayers_[index]; }
  const std::vector<OutputNeuron>& outputNeurons() const { return outputs_; }

 protected:
  // A definition text that passed every check, ready to be built.
  struct ParsedDefinition {
    std::vector<int32_t> integers;  // everything after the leading count
    std::vector<int> layerSizes;    // node count per layer, bias not included
    std::vector<double> weights;    // in the order of the text
  };

  // Reads and checks a whole definition text; false when anything is wrong.
  static bool parseDefinition(std::istream& in, ParsedDefinition& parsed);

  // Replaces the network by a checked definition; cannot fail.
  void build(const ParsedDefinition& parsed);

  // Reads a definition that must have exactly `inputs` inputs and `outputs`
  // outputs; anything else leaves the current network as it is.
  bool readShaped(std::istream& in, int inputs, int outputs);
  // Writes the definition to the named file, ending with a newline; false
  // when the file cannot be written.
  bool writeFile(const char* name) const;

  std::vector<int32_t> definition_;
  bool recordDefinition_ = true;
  std::vector<InputNode> inputs_;
  std::vector<std::vector<HiddenNeuron>> hiddenLayers_;
  std::vector<OutputNeuron> outputs_;
  uint32_t weightCount_ = 0;
  RpropParams params_;

 private:
  void clearNodes();

  std::size_t listedConnections_ = 0;
  bool finalized_ = false;
};
