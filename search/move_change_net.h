// The best-move-change predictor: after each finished iteration it
// estimates, from the last two principal variations and a few facts about
// the root, the probability that the best move will still change. The time
// manager uses the estimate to decide whether another iteration may start.
//
// The features behind each estimate, together with whether the best move
// really changed, can be logged to a time log as training data. Writing
// that log is a separate step the caller takes, so that only the master
// search thread ever writes it; predict() itself never touches a file.
//
// Every searcher owns one network: predict() writes into its nodes, so a
// network is used by one thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>

#include "board/types.h"
#include "eval/neural_net.h"

class Position;

class MoveChangeNet : public NeuralNet {
 public:
  static constexpr int kInputs = 22;
  static constexpr int kOutputs = 1;
  // The first inputs are all 0 or 1; the last three are real.
  static constexpr int kBinaryInputs = 19;
  // A feature text of the built-in network is at most this long (without
  // the terminating zero).
  static constexpr std::size_t kMaxFeatureText = 95;
  // Scores are limited to this band (milli-pawns) before they are scaled,
  // so every mate score looks the same.
  static constexpr int kScoreLimit = 15000;
  // The search never plans with a higher change estimate than this.
  static constexpr double kMaxChangePercent = 75.0;

  // Builds the network with the built-in weights.
  MoveChangeNet();
  ~MoveChangeNet() override;

  // The built-in 22-7-1 definition text.
  static const char* builtInText();

  // Loads the built-in network when name is null or empty, otherwise the
  // named file. Gives back false, keeping the previous network, when the
  // file cannot be opened (as openInputFile opens it, never waiting) or its
  // text is not a well-formed network of 22 inputs and 1 output.
  bool load(const char* name = nullptr);
  // Reads a definition text with the checks of load(); false at once when
  // the stream has already failed.
  bool loadStream(std::istream& in);
  // Writes the network to the file (truncating it), then a line end; false
  // when the file cannot be opened or the writing fails.
  bool save(const char* name) const;

  // Gives back the network's output for the 22 inputs.
  double evaluate(const double inputs[kInputs]);
  // One pattern's training step, right after evaluate() on it.
  void trainSample(double target, double patternWeight);

  // Fills the 22 inputs from the root position, the variations of the last
  // two iterations (move count and moves; moves past the count read as the
  // zero word) with their root scores, the root fail flags of this and the
  // previous iteration, whether the best move changed in the previous
  // iteration and in the one before, and the number of root moves. The
  // moves are made on a copy of root; a move that does not fit the position
  // is neither made nor are the moves after it.
  static void extractFeatures(const Position& root, int previousLength, const Move* previousPv,
                              int previousScore, int currentLength, const Move* currentPv,
                              int currentScore, bool rootFail, bool previousRootFail,
                              bool previousChange, bool earlierChange, int rootMoveCount,
                              double inputs[kInputs]);

  // Gives back the estimated probability (not limited to [0, 1]) that the
  // best move will still change, from the arguments of extractFeatures().
  // When text is given, the feature text replaces its contents (cut to
  // textSize - 1 characters).
  double predict(const Position& root, int previousLength, const Move* previousPv,
                 int previousScore, int currentLength, const Move* currentPv, int currentScore,
                 bool rootFail, bool previousRootFail, bool previousChange, bool earlierChange,
                 int rootMoveCount, char* text = nullptr, std::size_t textSize = 0);

  // Writes the feature text of the inputs and the prediction into out: the
  // binary inputs as "%d " (1 above 0.5), then "%16.14f %16.14f %6.3f
  // %13.10f " with the three real inputs and the prediction. Gives back the
  // length of the full text (as snprintf does).
  static int formatFeatures(const double inputs[kInputs], double prediction, char* out,
                            std::size_t size);

  // Gives back the prediction as the percentage the search plans with:
  // times 100, limited to 0 .. kMaxChangePercent (0 for a non-number).
  static double toPercent(double prediction);

  // Whether two variations both have a first move and those differ.
  static bool firstMovesDiffer(int lengthA, const Move* pvA, int lengthB, const Move* pvB);
};

// Whether a time log name asks for a log at all: empty and "/dev/null" do
// not.
bool timeLogActive(const char* fileName);

// What decides whether the line of one finished iteration goes to the time
// log. Only the master search thread may write the log, so the caller says
// whether it is that thread.
struct TimeLogCheck {
  bool masterThread = false;
  const char* fileName = nullptr;
  bool stopped = false;             // the search's stop flag
  int score = 0;                    // the iteration's root score
  bool endgameKnowledge = false;    // the root has special endgame knowledge
  int positionsSinceIrreversible = 0;
  uint64_t nodes = 0;
  const char* featureText = nullptr;  // from the previous prediction
  int previousLength = 0;             // the two variation buffers
  int currentLength = 0;
};

// Gives back whether the line is due: master thread, an active log, not
// stopped, a score within +-3499, no endgame knowledge, at most 19 positions
// since the last irreversible move, more than 25000 nodes, a non-empty
// feature text and two non-empty variations.
bool timeLogLineDue(const TimeLogCheck& check);

// Writes one time log line, the feature text of the previous prediction
// then " %d\n" with whether the best move changed since. Gives back false
// when the writing fails.
bool writeTimeLogLine(std::FILE* file, const char* featureText, bool bestMoveChanged);

// Appends one time log line to the named file, opening and closing it,
// without ever waiting for the file; false when the file cannot be opened
// or the line not written at once (the line is then lost). Call it from
// the master search thread only, after timeLogLineDue().
bool appendTimeLogLine(const char* fileName, const char* featureText, bool bestMoveChanged);
