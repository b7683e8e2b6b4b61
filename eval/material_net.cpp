#include "eval/material_net.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "common/input_file.h"

namespace {

// 12 inputs, 5 hidden tanh units, 1 linear output; every input feeds every
// hidden unit (input by input), then the hidden units feed the output.
const char kBuiltInText[] =
    "267 3 0 12 1 5 2 1 "
    "0 0 1 0 0 0 1 1 0 0 1 2 0 0 1 3 0 0 1 4 "
    "0 1 1 0 0 1 1 1 0 1 1 2 0 1 1 3 0 1 1 4 "
    "0 2 1 0 0 2 1 1 0 2 1 2 0 2 1 3 0 2 1 4 "
    "0 3 1 0 0 3 1 1 0 3 1 2 0 3 1 3 0 3 1 4 "
    "0 4 1 0 0 4 1 1 0 4 1 2 0 4 1 3 0 4 1 4 "
    "0 5 1 0 0 5 1 1 0 5 1 2 0 5 1 3 0 5 1 4 "
    "0 6 1 0 0 6 1 1 0 6 1 2 0 6 1 3 0 6 1 4 "
    "0 7 1 0 0 7 1 1 0 7 1 2 0 7 1 3 0 7 1 4 "
    "0 8 1 0 0 8 1 1 0 8 1 2 0 8 1 3 0 8 1 4 "
    "0 9 1 0 0 9 1 1 0 9 1 2 0 9 1 3 0 9 1 4 "
    "0 10 1 0 0 10 1 1 0 10 1 2 0 10 1 3 0 10 1 4 "
    "0 11 1 0 0 11 1 1 0 11 1 2 0 11 1 3 0 11 1 4 "
    "1 0 2 0 1 1 2 0 1 2 2 0 1 3 2 0 1 4 2 0 "
    // Weights of inputs 0 to 11, five each (one per hidden unit).
    "2.606770296 2.347053406 -1.268796034 2.569111541 2.284929706 "
    "1.223589624 1.185413331 -0.5530759013 1.325463771 1.072046767 "
    "0.8852982061 0.7029274011 -0.3831710486 0.7513244252 0.7170278791 "
    "0.993022627 0.8030921431 -0.394649734 0.8710090565 0.7934430668 "
    "0.8929448239 0.7510070231 -0.5046090769 0.8009349544 0.769728276 "
    "0.2256412626 0.1880067095 -0.0912603812 0.2080657122 0.1495428734 "
    "-2.316931302 -2.551463332 1.254699729 -2.697439421 -2.610286152 "
    "-1.012676161 -1.333899902 0.5568681492 -1.404931417 -1.335909454 "
    "-0.688306034 -0.8007889293 0.1549653442 -0.8154705032 -0.9010878155 "
    "-0.9235139455 -0.8774345093 0.7110381989 -0.8647670996 -0.9846412487 "
    "-0.7780812241 -0.8416131959 0.4283541072 -0.8766436202 -0.9019083648 "
    "-0.1214935967 -0.2671550952 -0.06269532632 -0.2924050535 -0.2538956865 "
    // Bias to the five hidden units, then to the output.
    "-0.9511031595 -0.2624940835 0.256059142 -0.4634967319 -0.05230100057 0.5390715615 "
    // Hidden units 0 to 4 to the output.
    "0.628183415 7.904320608 0.43282325 -5.170155487 -2.496470377";

}  // namespace

MaterialNet::MaterialNet() : NeuralNet(3) { load(nullptr); }

MaterialNet::~MaterialNet() = default;

const char* MaterialNet::builtInText() { return kBuiltInText; }

bool MaterialNet::load(const char* name) {
  if (name != nullptr && name[0] != '\0' && std::strcmp(name, "(internal)") != 0) {
    InputFileStream file(name);
    if (!file.is_open()) return false;
    return loadStream(file);
  }
  // Parsed anew each time, so a trained or loaded network can always return
  // to the built-in weights.
  std::istringstream text(kBuiltInText);
  return loadStream(text);
}

bool MaterialNet::loadStream(std::istream& in) {
  // evaluate() sets exactly these inputs and reads this output.
  return readShaped(in, kInputs, kOutputs);
}

bool MaterialNet::save(const char* name) const { return writeFile(name); }

double MaterialNet::evaluate(int ownQueens, int ownRooks, int ownBishops, int ownKnights,
                             int ownPawns, int otherQueens, int otherRooks, int otherBishops,
                             int otherKnights, int otherPawns, int bishopRelation) {
  // The first bishop has an input of its own, so the pair can be worth more
  // than twice one bishop. With opposite-coloured bishops the other side's
  // bishops all count as further bishops instead.
  const int ownFirstBishop = ownBishops > 0 ? 1 : 0;
  const int otherFirstBishop = (otherBishops > 0 && bishopRelation >= 0) ? 1 : 0;

  resetSums();
  setInput(0, ownQueens);
  setInput(1, ownRooks);
  setInput(2, ownFirstBishop);
  setInput(3, static_cast<double>(ownBishops) - ownFirstBishop);
  setInput(4, ownKnights);
  setInput(5, ownPawns);
  setInput(6, otherQueens);
  setInput(7, otherRooks);
  setInput(8, otherFirstBishop);
  setInput(9, static_cast<double>(otherBishops) - otherFirstBishop);
  setInput(10, otherKnights);
  setInput(11, otherPawns);
  forward();

  const double result = output(0);
  if (std::isnan(result)) return kNeutralOutput;
  return std::clamp(result, -kOutputLimit, kOutputLimit);
}

void MaterialNet::trainSample(double target, double patternWeight) {
  clearErrors();
  setOutputError(0, target, patternWeight);
  backpropagate();
}
