#include "search/move_change_net.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "board/position.h"
#include "common/append_without_waiting.h"
#include "common/input_file.h"

namespace {

// 22 inputs, 7 hidden tanh units, 1 linear output; every input feeds every
// hidden unit (input by input), then the hidden units feed the output.
const char kBuiltInText[] =
    "651 3 0 22 1 7 2 1 "
    "0 0 1 0 0 0 1 1 0 0 1 2 0 0 1 3 0 0 1 4 0 0 1 5 0 0 1 6 "
    "0 1 1 0 0 1 1 1 0 1 1 2 0 1 1 3 0 1 1 4 0 1 1 5 0 1 1 6 "
    "0 2 1 0 0 2 1 1 0 2 1 2 0 2 1 3 0 2 1 4 0 2 1 5 0 2 1 6 "
    "0 3 1 0 0 3 1 1 0 3 1 2 0 3 1 3 0 3 1 4 0 3 1 5 0 3 1 6 "
    "0 4 1 0 0 4 1 1 0 4 1 2 0 4 1 3 0 4 1 4 0 4 1 5 0 4 1 6 "
    "0 5 1 0 0 5 1 1 0 5 1 2 0 5 1 3 0 5 1 4 0 5 1 5 0 5 1 6 "
    "0 6 1 0 0 6 1 1 0 6 1 2 0 6 1 3 0 6 1 4 0 6 1 5 0 6 1 6 "
    "0 7 1 0 0 7 1 1 0 7 1 2 0 7 1 3 0 7 1 4 0 7 1 5 0 7 1 6 "
    "0 8 1 0 0 8 1 1 0 8 1 2 0 8 1 3 0 8 1 4 0 8 1 5 0 8 1 6 "
    "0 9 1 0 0 9 1 1 0 9 1 2 0 9 1 3 0 9 1 4 0 9 1 5 0 9 1 6 "
    "0 10 1 0 0 10 1 1 0 10 1 2 0 10 1 3 0 10 1 4 0 10 1 5 0 10 1 6 "
    "0 11 1 0 0 11 1 1 0 11 1 2 0 11 1 3 0 11 1 4 0 11 1 5 0 11 1 6 "
    "0 12 1 0 0 12 1 1 0 12 1 2 0 12 1 3 0 12 1 4 0 12 1 5 0 12 1 6 "
    "0 13 1 0 0 13 1 1 0 13 1 2 0 13 1 3 0 13 1 4 0 13 1 5 0 13 1 6 "
    "0 14 1 0 0 14 1 1 0 14 1 2 0 14 1 3 0 14 1 4 0 14 1 5 0 14 1 6 "
    "0 15 1 0 0 15 1 1 0 15 1 2 0 15 1 3 0 15 1 4 0 15 1 5 0 15 1 6 "
    "0 16 1 0 0 16 1 1 0 16 1 2 0 16 1 3 0 16 1 4 0 16 1 5 0 16 1 6 "
    "0 17 1 0 0 17 1 1 0 17 1 2 0 17 1 3 0 17 1 4 0 17 1 5 0 17 1 6 "
    "0 18 1 0 0 18 1 1 0 18 1 2 0 18 1 3 0 18 1 4 0 18 1 5 0 18 1 6 "
    "0 19 1 0 0 19 1 1 0 19 1 2 0 19 1 3 0 19 1 4 0 19 1 5 0 19 1 6 "
    "0 20 1 0 0 20 1 1 0 20 1 2 0 20 1 3 0 20 1 4 0 20 1 5 0 20 1 6 "
    "0 21 1 0 0 21 1 1 0 21 1 2 0 21 1 3 0 21 1 4 0 21 1 5 0 21 1 6 "
    "1 0 2 0 1 1 2 0 1 2 2 0 1 3 2 0 1 4 2 0 1 5 2 0 1 6 2 0 "
    // Weights of inputs 0 to 21, seven each (one per hidden unit).
    "-0.4335562107 -1.866334887 0.04992489017 0.1378088088 0.04267822863 1.42468357 0.03659289418 "
    "0.4155860669 0.04981722786 -0.2653138078 0.07295177535 -1.28247631 -0.7321488783 0.1642632249 "
    "0.02170664091 0.1200743034 -0.2956314972 0.02808379833 -0.8879074137 -0.457390349 0.1559331336 "
    "-2.018732535 -0.1883963776 -0.5558015209 1.1278715 6.564547311 0.01120734067 -0.2968782221 "
    "1.538446969 -0.3633080294 -0.3398363417 0.8419270079 -1.095145601 -0.1504246388 -0.02288524519 "
    "-0.6129672711 0.2013827523 -0.3940294656 -0.7296001755 -19.9999999 -0.1769920316 0.2960696089 "
    "-0.4272911695 0.4532627527 0.1872169527 -0.3367463221 -1.388968423 -0.1076655684 0.222084272 "
    "-0.7423923653 -0.06435297618 0.1252051573 -0.2998897707 0.7368247453 0.1238886371 -0.001948147258 "
    "0.1998556223 -0.1631184276 0.1091527044 -7.360603861 0.9236853706 0.1063512591 -0.08681246538 "
    "0.3861906779 -0.0697588458 0.3890295959 -1.182746611 12.71769744 -0.04480426111 0.1084468626 "
    "-0.2531260176 -0.04040161194 -0.1958636104 -0.6515069161 11.56328624 0.163358994 0.01988488495 "
    "-0.09206208579 -0.15623426 0.6867464871 -1.7725826 12.35120924 0.08129010206 0.04721387415 "
    "0.5988574028 -0.5706117812 1.030669075 -0.0474029773 -4.9275752 0.9816727669 -0.3196639037 "
    "0.02945815484 -0.009289384262 -0.02635057855 0.2834152586 4.987263327 -0.02635727625 0.03603418857 "
    "-0.008478227779 0.1315391163 0.8586526918 0.0008715136643 0.237049121 -0.07742062636 -0.3859467199 "
    "-0.04575906407 -0.02587405398 0.06198403389 0.4690065117 -1.23185993 -0.05994610999 0.09353026578 "
    "0.1451437772 0.05575329151 -0.1631860055 0.1545594184 1.529794639 -0.05317397958 0.005264241938 "
    "-0.1646642279 0.05102188815 0.09182849959 -0.3870183114 -0.1150525041 0.01505893091 -0.1683064852 "
    "-0.9177448702 0.02696216157 0.2258730825 -19.9999999 -0.3260037501 0.07189590374 0.08960261842 "
    "-0.2629813536 1.673251433 -0.4636365169 0.9655810731 -4.436833104 -0.3174862079 -4.583018557 "
    "0.09776277887 -1.676228963 -0.1223786569 -1.12729106 11.26024497 0.3586423441 4.892802196 "
    "-0.1018090294 -0.2517344849 -0.3152147509 -3.97340724 0.8703514003 0.2074334596 0.1584065153 "
    // Bias to the seven hidden units, then to the output.
    "0.03254709829 0.4293874969 -0.01880196524 0.4062565066 -1.688703346 -0.02221098889 -0.7683843732 -0.04203280579 "
    // Hidden units 0 to 6 to the output.
    "-0.08119189854 -0.3609863596 -0.1004726223 -0.1078428163 -0.0186293222 -0.2316578537 -0.2553761762";

// The word at index i of a variation, 0 past its end.
Move moveAt(int length, const Move* pv, int i) {
  return (pv != nullptr && i < length) ? pv[i] : NullMove;
}

bool present(Move m) { return moveKey(m) != 0; }

// Whether a move word can be made on the position without corrupting it:
// an own man of the stated type on the from-square, a target that holds no
// own man (except the own castling rook under the king) and not the enemy
// king, a sane promotion, and en passant only onto the en-passant square.
// Variations come from the transposition table, which tolerates torn
// entries, so this is no legality test but a guard for make/unmake.
bool fitsPosition(const Position& p, Move m) {
  const int from = moveFrom(m), to = moveTo(m), piece = movePiece(m), promotion = movePromotion(m);
  if (from == to || piece < Pawn || piece > King) return false;
  if ((m & 0xF000) != 0) return false;
  if (promotion != 0 && (piece != Pawn || promotion < Knight || promotion > Queen)) return false;
  const SideState& us = p.toMove();
  const SideState& them = p.notToMove();
  const Bitboard toBit = squareBit(to);
  if ((us.pieces[piece] & squareBit(from)) == 0) return false;
  if (them.pieces[King] & toBit) return false;
  if (us.pieces[0] & toBit) {
    if (piece != King || (us.pieces[Rook] & toBit) == 0) return false;
    const uint8_t rights = p.castlingRights & us.rightsMask;
    const bool castling = (to == us.shortRookSquare && (rights & (WhiteShort | BlackShort))) ||
                          (to == us.longRookSquare && (rights & (WhiteLong | BlackLong)));
    if (!castling) return false;
  }
  if (piece == Pawn && ((from - to) & 1) && (them.pieces[0] & toBit) == 0 && to != p.epSquare) {
    return false;
  }
  return true;
}

double scaledScore(int score) {
  const int s = std::clamp(score, -MoveChangeNet::kScoreLimit, MoveChangeNet::kScoreLimit);
  return std::tanh(s / 2000.0);
}

}  // namespace

MoveChangeNet::MoveChangeNet() : NeuralNet(3) { load(nullptr); }

MoveChangeNet::~MoveChangeNet() = default;

const char* MoveChangeNet::builtInText() { return kBuiltInText; }

bool MoveChangeNet::load(const char* name) {
  if (name != nullptr && name[0] != '\0') {
    InputFileStream file(name);
    if (!file.is_open() || !file.good()) return false;
    return loadStream(file);
  }
  std::istringstream text(kBuiltInText);
  return loadStream(text);
}

bool MoveChangeNet::loadStream(std::istream& in) {
  // predict() sets exactly these inputs and reads this output.
  return readShaped(in, kInputs, kOutputs);
}

bool MoveChangeNet::save(const char* name) const { return writeFile(name); }

double MoveChangeNet::evaluate(const double inputs[kInputs]) {
  resetSums();
  for (int i = 0; i < kInputs; ++i) setInput(i, inputs[i]);
  forward();
  return output(0);
}

void MoveChangeNet::extractFeatures(const Position& root, int previousLength,
                                    const Move* previousPv, int previousScore, int currentLength,
                                    const Move* currentPv, int currentScore, bool rootFail,
                                    bool previousRootFail, bool previousChange,
                                    bool earlierChange, int rootMoveCount,
                                    double inputs[kInputs]) {
  Move p[5], c[5];
  for (int i = 0; i < 5; ++i) {
    p[i] = moveAt(previousLength, previousPv, i);
    c[i] = moveAt(currentLength, currentPv, i);
  }
  auto flag = [](bool b) { return b ? 1.0 : 0.0; };

  // Captures and checks of the first two current moves, made on a copy.
  bool firstCaptures = false, secondCaptures = false;
  bool firstChecks = false, secondChecks = false;
  if (present(c[0])) {
    Position board = root;
    UndoRecord first;
    first.save(board);
    if (fitsPosition(board, c[0]) && board.makeMove(c[0], first)) {
      firstCaptures = first.captured != 0;
      firstChecks = board.inCheck();
      if (present(c[1])) {
        UndoRecord second;
        second.save(board);
        if (fitsPosition(board, c[1]) && board.makeMove(c[1], second)) {
          secondCaptures = second.captured != 0;
          secondChecks = board.inCheck();
        }
      }
    }
  }

  inputs[0] = flag(p[0] != c[0]);
  inputs[1] = flag(previousChange);
  inputs[2] = flag(earlierChange);
  inputs[3] = flag(rootFail);
  inputs[4] = flag(previousRootFail);
  // Missing moves are the zero word, so two missing moves compare equal.
  inputs[5] = flag(p[0] == c[2]);
  inputs[6] = flag(c[0] == p[2]);
  inputs[7] = flag(p[1] == c[3]);
  inputs[8] = flag(c[1] == p[3]);
  inputs[9] = flag(firstCaptures);
  inputs[10] = flag(secondCaptures);
  inputs[11] = flag(root.inCheck());
  inputs[12] = flag(firstChecks);
  inputs[13] = flag(secondChecks);
  inputs[14] = flag(present(c[0]) && (root.lastMoveMask & squareBit(moveTo(c[0]))) != 0);
  inputs[15] = flag(present(c[1]) && moveTo(c[1]) == moveTo(c[0]));
  inputs[16] = flag(present(c[1]) && present(c[2]) && moveTo(c[1]) == moveTo(c[2]));
  inputs[17] = flag(present(c[2]) && present(c[3]) && moveTo(c[2]) == moveTo(c[3]));
  inputs[18] = flag(present(c[3]) && moveTo(c[3]) == moveTo(c[0]));
  inputs[19] = scaledScore(previousScore);
  inputs[20] = scaledScore(currentScore);
  inputs[21] = rootMoveCount / 40.0;
}

double MoveChangeNet::predict(const Position& root, int previousLength, const Move* previousPv,
                              int previousScore, int currentLength, const Move* currentPv,
                              int currentScore, bool rootFail, bool previousRootFail,
                              bool previousChange, bool earlierChange, int rootMoveCount,
                              char* text, std::size_t textSize) {
  double inputs[kInputs];
  extractFeatures(root, previousLength, previousPv, previousScore, currentLength, currentPv,
                  currentScore, rootFail, previousRootFail, previousChange, earlierChange,
                  rootMoveCount, inputs);
  const double prediction = evaluate(inputs);
  if (text != nullptr && textSize > 0) formatFeatures(inputs, prediction, text, textSize);
  return prediction;
}

int MoveChangeNet::formatFeatures(const double inputs[kInputs], double prediction, char* out,
                                  std::size_t size) {
  // Built in a local buffer so that a short output buffer only cuts the
  // text; 19 flags and four bounded reals cannot exceed it unless the
  // prediction is absurdly large, and snprintf bounds that too.
  char line[256];
  int n = 0;
  for (int i = 0; i < kBinaryInputs; ++i) {
    line[n++] = inputs[i] > 0.5 ? '1' : '0';
    line[n++] = ' ';
  }
  const int rest = std::snprintf(line + n, sizeof line - n, "%16.14f %16.14f %6.3f %13.10f ",
                                 inputs[19], inputs[20], inputs[21], prediction);
  if (rest < 0) {
    if (out != nullptr && size > 0) out[0] = '\0';
    return -1;
  }
  const int total = n + rest;
  if (out != nullptr && size > 0) {
    const std::size_t kept = std::min<std::size_t>({size - 1, std::size_t(total),
                                                    sizeof line - 1});
    std::memcpy(out, line, kept);
    out[kept] = '\0';
  }
  return total;
}

double MoveChangeNet::toPercent(double prediction) {
  const double percent = prediction * 100.0;
  if (!(percent > 0.0)) return 0.0;  // negative or not a number
  return std::min(percent, kMaxChangePercent);
}

bool MoveChangeNet::firstMovesDiffer(int lengthA, const Move* pvA, int lengthB, const Move* pvB) {
  if (lengthA <= 0 || lengthB <= 0 || pvA == nullptr || pvB == nullptr) return false;
  return pvA[0] != pvB[0];
}

bool timeLogActive(const char* fileName) {
  return fileName != nullptr && fileName[0] != '\0' && std::strcmp(fileName, "/dev/null") != 0;
}

bool timeLogLineDue(const TimeLogCheck& check) {
  return check.masterThread && timeLogActive(check.fileName) && !check.stopped &&
         check.score >= -3499 && check.score <= 3499 && !check.endgameKnowledge &&
         check.positionsSinceIrreversible <= 19 && check.nodes > 25000 &&
         check.featureText != nullptr && check.featureText[0] != '\0' &&
         check.previousLength > 0 && check.currentLength > 0;
}

bool writeTimeLogLine(std::FILE* file, const char* featureText, bool bestMoveChanged) {
  if (file == nullptr || featureText == nullptr) return false;
  return std::fprintf(file, "%s %d\n", featureText, bestMoveChanged ? 1 : 0) > 0;
}

bool appendTimeLogLine(const char* fileName, const char* featureText, bool bestMoveChanged) {
  if (fileName == nullptr || featureText == nullptr) return false;
  // The search must not wait for the log: a FIFO nobody reads, a reader
  // that has gone or a full pipe cost the line, never the move.
  char line[MoveChangeNet::kMaxFeatureText + 16];
  const int length = std::snprintf(line, sizeof line, "%s %d\n", featureText, bestMoveChanged ? 1 : 0);
  if (length <= 0 || size_t(length) >= sizeof line) return false;
  return appendWithoutWaiting(fileName, line, size_t(length));
}

void MoveChangeNet::trainSample(double target, double patternWeight) {
  clearErrors();
  setOutputError(0, target, patternWeight);
  backpropagate();
}
