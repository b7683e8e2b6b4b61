// The neural material estimate: from the piece counts of two sides and the
// colour relation of their bishops, the expected game result of the first
// ("own") side as a score fraction, near 0.5 for equal material. Every
// evaluator owns one; evaluation writes into the nodes, so a network is
// never shared between threads.
#pragma once

#include <iosfwd>

#include "eval/neural_net.h"

class MaterialNet : public NeuralNet {
 public:
  // The shape evaluate() feeds and reads; a loaded network must match it.
  static constexpr int kInputs = 12;
  static constexpr int kOutputs = 1;
  // evaluate() never gives back anything outside this band.
  static constexpr double kOutputLimit = 100.0;
  // Given instead of a value that is not a number.
  static constexpr double kNeutralOutput = 0.5;

  // Builds the network with the built-in weights.
  MaterialNet();
  ~MaterialNet() override;

  // The built-in 12-5-1 definition text.
  static const char* builtInText();

  // Loads the built-in network when name is null, empty or exactly
  // "(internal)", otherwise the named file. Gives back false, keeping the
  // previous network, when the file cannot be opened (as openInputFile
  // opens it: a FIFO without a writer or a directory cannot) or its text is
  // not a well-formed network of 12 inputs and 1 output.
  bool load(const char* name = nullptr);

  // Reads a definition text from the stream, with the checks of load();
  // false at once when the stream has already failed.
  bool loadStream(std::istream& in);

  // Writes the network to the file (truncating it), then a line end; false
  // when the file cannot be opened or the writing fails.
  bool save(const char* name) const;

  // Gives back the estimated score fraction of the own side. bishopRelation
  // is -1 for opposite-coloured bishops, +1 for bishops of one colour, 0
  // otherwise. The output unit is linear, so the value may leave [0, 1]; it
  // is limited to [-kOutputLimit, kOutputLimit], and a result that is not a
  // number (only possible with extreme loaded weights) gives kNeutralOutput.
  // One pattern's training step, right after evaluate() on it: clears the
  // errors, sets the output error toward target and back-propagates.
  void trainSample(double target, double patternWeight);

  double evaluate(int ownQueens, int ownRooks, int ownBishops, int ownKnights, int ownPawns,
                  int otherQueens, int otherRooks, int otherBishops, int otherKnights,
                  int otherPawns, int bishopRelation);
};
