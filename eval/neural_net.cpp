#include "eval/neural_net.h"

#include <fstream>

#include <algorithm>
#include <cmath>
#include <istream>
#include <ostream>

#include "board/random_generator.h"

namespace {

// The longest integer part a text may have: the layer count, one pair per
// layer and one quadruple per listed connection.
constexpr unsigned long kMaxDefinitionIntegers =
    1ul + 2ul * NeuralNet::kMaxLayers + 4ul * NeuralNet::kMaxConnections;

}  // namespace

void propagateConnections(const std::vector<Connection>& outgoing, double x) {
  for (const Connection& c : outgoing) c.target->netInput += c.weight * x;
}

void HiddenNeuron::activate() {
  value = std::tanh(netInput);
  propagateConnections(outgoing, value);
}

NeuralNet::NeuralNet(int layers) {
  definition_.push_back(layers);
  hiddenLayers_.resize(static_cast<std::size_t>(std::clamp(layers - 2, 0, kMaxLayers - 2)));
}

NeuralNet::~NeuralNet() = default;

bool NeuralNet::addNeurons(int layer, int count) {
  const int outputLayer = hiddenLayerCount() + 1;
  // Replacing nodes would leave connections pointing at freed ones.
  if (listedConnections_ > 0 || finalized_) return false;
  if (layer < 0 || layer > outputLayer || count < 0 || count > kMaxNodes) return false;
  if (recordDefinition_) {
    definition_.push_back(layer);
    definition_.push_back(count);
  }
  if (layer == 0) {
    inputs_.assign(static_cast<std::size_t>(count) + 1, InputNode());
    inputs_.back().value = 1.0;
  } else if (layer == outputLayer) {
    outputs_.assign(static_cast<std::size_t>(count), OutputNeuron());
  } else {
    hiddenLayers_[layer - 1].assign(static_cast<std::size_t>(count), HiddenNeuron());
  }
  return true;
}

bool NeuralNet::connect(int fromLayer, int fromIndex, int toLayer, int toIndex, double weight) {
  if (finalized_ || listedConnections_ >= static_cast<std::size_t>(kMaxConnections)) return false;
  const int hidden = hiddenLayerCount();
  if (toLayer < 1 || toIndex < 0 || fromIndex < 0) return false;

  Neuron* target = nullptr;
  if (toLayer > hidden) {
    if (toIndex >= outputCount()) return false;
    target = &outputs_[toIndex];
  } else {
    std::vector<HiddenNeuron>& layer = hiddenLayers_[toLayer - 1];
    if (toIndex >= static_cast<int>(layer.size())) return false;
    target = &layer[toIndex];
  }

  std::vector<Connection>* outgoing = nullptr;
  if (fromLayer == 0) {
    if (fromIndex >= static_cast<int>(inputs_.size())) return false;
    outgoing = &inputs_[fromIndex].outgoing;
  } else if (fromLayer >= 1 && fromLayer <= hidden) {
    std::vector<HiddenNeuron>& layer = hiddenLayers_[fromLayer - 1];
    if (fromIndex >= static_cast<int>(layer.size())) return false;
    outgoing = &layer[fromIndex].outgoing;
  } else {
    return false;
  }

  if (recordDefinition_) {
    definition_.push_back(fromLayer);
    definition_.push_back(fromIndex);
    definition_.push_back(toLayer);
    definition_.push_back(toIndex);
  }
  outgoing->push_back({target, weight});
  ++listedConnections_;
  return true;
}

void NeuralNet::finalize() {
  if (finalized_) return;
  finalized_ = true;

  // Every hidden and output neuron gets a bias connection, so the bias node
  // feeds hidden neurons layer by layer, then the outputs.
  if (!inputs_.empty()) {
    std::vector<Connection>& bias = inputs_.back().outgoing;
    for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
      for (HiddenNeuron& n : layer) bias.push_back({&n, 0.0});
    for (OutputNeuron& n : outputs_) bias.push_back({&n, 0.0});
  }

  // No connection is added from here on, so the records may point into the
  // outgoing lists. Hidden sources go first so that each neuron's records
  // from hidden neurons precede those from input nodes.
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_) {
    for (HiddenNeuron& n : layer) {
      for (Connection& c : n.outgoing)
        c.target->incoming.push_back({0.0, params_.initialStep, 1, &n.value, &n.error, &c});
      weightCount_ += static_cast<uint32_t>(n.outgoing.size());
    }
  }
  for (InputNode& n : inputs_) {
    for (Connection& c : n.outgoing)
      c.target->incoming.push_back({0.0, params_.initialStep, 1, &n.value, nullptr, &c});
    weightCount_ += static_cast<uint32_t>(n.outgoing.size());
  }

  auto setSplit = [](Neuron& n) {
    auto it = std::find_if(n.incoming.begin(), n.incoming.end(),
                           [](const TrainableWeight& w) { return w.sourceError == nullptr; });
    n.split = static_cast<std::size_t>(it - n.incoming.begin());
  };
  for (OutputNeuron& n : outputs_) setSplit(n);
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) setSplit(n);
}

void NeuralNet::resetSums() {
  for (std::size_t i = 0; i + 1 < inputs_.size(); ++i) inputs_[i].value = 0.0;
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) n.netInput = 0.0;
  for (OutputNeuron& n : outputs_) n.netInput = 0.0;
}

void NeuralNet::setInput(int index, double x) {
  if (index < 0 || index >= inputCount()) return;
  InputNode& node = inputs_[index];
  node.value = x;
  propagateConnections(node.outgoing, x);
}

void NeuralNet::forward() {
  if (!inputs_.empty()) propagateConnections(inputs_.back().outgoing, 1.0);
  // Ascending layer order: a connection counts only when its source layer
  // lies below its target layer.
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) n.activate();
  for (OutputNeuron& n : outputs_) n.value = n.netInput;
}

double NeuralNet::output(int index) const {
  if (index < 0 || index >= outputCount()) return 0.0;
  return outputs_[index].value;
}

bool NeuralNet::parseDefinition(std::istream& in, ParsedDefinition& parsed) {
  unsigned long count = 0;
  if (!(in >> count)) return false;
  // A count beyond what any acceptable text can hold is refused before a
  // single integer is stored.
  if (count == 0 || count > kMaxDefinitionIntegers) return false;

  std::vector<int32_t> integers;
  integers.reserve(count);
  for (unsigned long i = 0; i < count; ++i) {
    int32_t v = 0;
    if (!(in >> v)) return false;
    integers.push_back(v);
  }

  const long layers = integers[0];
  if (layers < 3 || layers > kMaxLayers) return false;
  const unsigned long pairsEnd = 1ul + 2ul * static_cast<unsigned long>(layers);
  if (count < pairsEnd || (count - pairsEnd) % 4 != 0) return false;
  const unsigned long listed = (count - pairsEnd) / 4;

  std::vector<int> sizes(static_cast<std::size_t>(layers), -1);
  long nodes = 0;
  for (long k = 0; k < layers; ++k) {
    const int32_t layer = integers[1 + 2 * k];
    const int32_t size = integers[2 + 2 * k];
    if (layer < 0 || layer >= layers || sizes[layer] != -1) return false;
    if (size < 0 || size > kMaxNodes) return false;
    nodes += size;
    if (nodes > kMaxNodes) return false;
    sizes[layer] = size;
  }

  // Every hidden and output neuron also gets one bias connection.
  unsigned long weights = listed;
  for (long layer = 1; layer < layers; ++layer) weights += static_cast<unsigned long>(sizes[layer]);
  if (weights > static_cast<unsigned long>(kMaxConnections)) return false;

  const int32_t outputLayer = static_cast<int32_t>(layers - 1);
  for (unsigned long i = pairsEnd; i < count; i += 4) {
    const int32_t fromLayer = integers[i];
    const int32_t fromIndex = integers[i + 1];
    const int32_t toLayer = integers[i + 2];
    const int32_t toIndex = integers[i + 3];
    if (fromLayer < 0 || fromLayer >= outputLayer) return false;
    // The bias node is the last node of layer 0 and may be named too.
    const int32_t fromNodes = fromLayer == 0 ? sizes[0] + 1 : sizes[fromLayer];
    if (fromIndex < 0 || fromIndex >= fromNodes) return false;
    if (toLayer < 1) return false;
    const int32_t targetLayer = std::min(toLayer, outputLayer);
    if (toIndex < 0 || toIndex >= sizes[targetLayer]) return false;
  }

  std::vector<double> values;
  values.reserve(weights);
  for (unsigned long i = 0; i < weights; ++i) {
    double w = 0.0;
    if (!(in >> w) || !std::isfinite(w)) return false;
    values.push_back(w);
  }

  parsed.integers = std::move(integers);
  parsed.layerSizes = std::move(sizes);
  parsed.weights = std::move(values);
  return true;
}

void NeuralNet::clearNodes() {
  inputs_.clear();
  hiddenLayers_.clear();
  outputs_.clear();
  listedConnections_ = 0;
  finalized_ = false;
  weightCount_ = 0;
}

void NeuralNet::build(const ParsedDefinition& parsed) {
  const std::vector<int32_t>& ints = parsed.integers;
  const int layers = ints[0];

  clearNodes();
  recordDefinition_ = false;
  hiddenLayers_.resize(static_cast<std::size_t>(layers - 2));
  for (int k = 0; k < layers; ++k) addNeurons(ints[1 + 2 * k], ints[2 + 2 * k]);
  for (std::size_t i = 1 + 2 * static_cast<std::size_t>(layers); i + 3 < ints.size(); i += 4)
    connect(ints[i], ints[i + 1], ints[i + 2], ints[i + 3]);
  finalize();

  // The text lists weights node by node: inputs (bias last), then hidden
  // neurons layer by layer, each in the order its connections were made.
  std::size_t next = 0;
  auto assign = [&](std::vector<Connection>& outgoing) {
    for (Connection& c : outgoing) c.weight = parsed.weights[next++];
  };
  for (InputNode& n : inputs_) assign(n.outgoing);
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) assign(n.outgoing);

  definition_ = ints;
}

bool NeuralNet::read(std::istream& in) {
  ParsedDefinition parsed;
  if (!parseDefinition(in, parsed)) return false;
  build(parsed);
  return true;
}

bool NeuralNet::readWeights(std::vector<Connection>& outgoing, std::istream& in) {
  for (Connection& c : outgoing) {
    double w = 0.0;
    if (!(in >> w) || !std::isfinite(w)) return false;
    c.weight = w;
  }
  return true;
}

bool NeuralNet::writeWeights(const std::vector<Connection>& outgoing, std::ostream& out) {
  for (const Connection& c : outgoing) {
    out << c.weight << ' ';
    if (!out) return false;
  }
  out << '\n';
  return static_cast<bool>(out);
}

bool NeuralNet::write(std::ostream& out) const {
  out << static_cast<unsigned long>(definition_.size()) << ' ';
  if (!out) return false;
  for (std::size_t i = 0; i < definition_.size(); ++i) {
    out << definition_[i] << (i % 30 == 29 ? " \n" : " ");
    if (!out) return false;
  }
  out << '\n';
  if (!out) return false;

  // Ten significant digits in default notation keep every weight of a
  // written network equal to the one read back to that precision.
  const std::streamsize oldPrecision = out.precision();
  const std::ios_base::fmtflags oldFlags = out.flags();
  if (oldPrecision < 10) out.precision(10);
  out.unsetf(std::ios_base::floatfield);

  bool ok = true;
  for (const InputNode& n : inputs_) {
    if (!ok) break;
    ok = writeWeights(n.outgoing, out);
  }
  for (const std::vector<HiddenNeuron>& layer : hiddenLayers_) {
    for (const HiddenNeuron& n : layer) {
      if (!ok) break;
      ok = writeWeights(n.outgoing, out);
    }
  }

  out.precision(oldPrecision);
  out.flags(oldFlags);
  return ok;
}

bool NeuralNet::readShaped(std::istream& in, int inputs, int outputs) {
  if (in.fail()) return false;
  ParsedDefinition parsed;
  if (!parseDefinition(in, parsed)) return false;
  if (parsed.layerSizes.front() != inputs || parsed.layerSizes.back() != outputs) return false;
  build(parsed);
  return true;
}

bool NeuralNet::writeFile(const char* name) const {
  if (name == nullptr) return false;
  std::ofstream file(name, std::ios::out | std::ios::trunc);
  if (!file.is_open()) return false;
  const bool ok = write(file);
  file << '\n';
  file.flush();
  return ok && file.good();
}

void Neuron::accumulateGradients(double delta) {
  // Records from hidden neurons also pass the error back to their source.
  const std::size_t n = incoming.size();
  for (std::size_t i = 0; i < split; ++i) {
    TrainableWeight& w = incoming[i];
    w.gradient += *w.sourceValue * delta;
    *w.sourceError += w.connection->weight * delta;
  }
  for (std::size_t i = split; i < n; ++i) incoming[i].gradient += *incoming[i].sourceValue * delta;
}

void Neuron::resetGradients() {
  for (TrainableWeight& w : incoming) w.gradient = 0.0;
}

void Neuron::rpropUpdate(const RpropParams& p, RandomGenerator& rng) {
  for (TrainableWeight& w : incoming) {
    if (w.direction * w.gradient > 0) {
      w.step *= rng.uniform(p.increaseMin, p.increaseMax);
      if (w.step > p.maxStep) w.step = p.maxStep;
    } else {
      // A disagreeing or vanishing gradient turns the weight back at once.
      w.direction = -w.direction;
      w.step *= rng.uniform(p.decreaseMin, p.decreaseMax);
      if (w.step < p.minStep) w.step = p.minStep;
    }
    w.gradient = 0.0;
    double& weight = w.connection->weight;
    weight += w.direction * w.step;
    if (weight > p.weightLimit) {
      weight = p.weightLimit;
      w.step = p.minStep;
    }
    if (weight < -p.weightLimit) {
      weight = -p.weightLimit;
      w.step = p.minStep;
    }
  }
}

void NeuralNet::clearErrors() {
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) n.error = 0.0;
  for (OutputNeuron& n : outputs_) n.error = 0.0;
}

void NeuralNet::setOutputError(int index, double target, double patternWeight) {
  if (index < 0 || index >= outputCount()) return;
  OutputNeuron& n = outputs_[index];
  // A network without connections has nothing to train.
  const double e = weightCount_ == 0 ? 0.0 : 2.0 * patternWeight * (target - n.value) / weightCount_;
  n.error = e;
  n.accumulateGradients(e);
}

void NeuralNet::backpropagate() {
  for (auto layer = hiddenLayers_.rbegin(); layer != hiddenLayers_.rend(); ++layer)
    for (HiddenNeuron& n : *layer) n.backpropagate(params_.derivativeOffset);
}

void NeuralNet::rpropUpdate(RandomGenerator& rng) {
  for (OutputNeuron& n : outputs_) n.rpropUpdate(params_, rng);
  for (auto layer = hiddenLayers_.rbegin(); layer != hiddenLayers_.rend(); ++layer)
    for (HiddenNeuron& n : *layer) n.rpropUpdate(params_, rng);
}

void NeuralNet::rpropUpdate() { rpropUpdate(RandomGenerator::instance()); }

void NeuralNet::resetGradients() {
  for (OutputNeuron& n : outputs_) n.resetGradients();
  for (std::vector<HiddenNeuron>& layer : hiddenLayers_)
    for (HiddenNeuron& n : layer) n.resetGradients();
}
