#include "protocol/uci_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/legality.h"
#include "board/notation.h"
#include "search/searcher.h"
#include "search/time_manager.h"

namespace {

// Appends formatted text to the terminated text in buffer, cutting it at
// the buffer's end.
template <class... Args>
void appendf(char* buffer, size_t size, const char* format, Args... args) {
  const size_t used = std::strlen(buffer);
  if (used + 1 >= size) return;
  std::snprintf(buffer + used, size - used, format, args...);
}

void appendText(char* buffer, size_t size, const char* text) { appendf(buffer, size, "%s", text); }

}  // namespace

void appendUciScore(char* buffer, size_t size, int score, int alpha, int beta) {
  if (score > MateThreshold) {
    appendf(buffer, size, " score mate %d", (MateScore + 1 - score) / 2);
  } else if (score < -MateThreshold) {
    appendf(buffer, size, " score mate %d", (-MateScore - 1 - score) / 2);
  } else if (score > 1) {
    appendf(buffer, size, " score cp %d", (score + 9) / 10);
  } else if (score < -1) {
    appendf(buffer, size, " score cp %d", (score - 9) / 10);
  } else {
    appendText(buffer, size, " score cp 0");
  }
  if (score >= beta) appendText(buffer, size, " lowerbound");
  else if (score <= alpha) appendText(buffer, size, " upperbound");
}

UciOutput::UciOutput(Searcher* searcher, TimeManager* clock) : searcher_(searcher), clock_(clock) {}

int64_t UciOutput::elapsedMs() const { return clock_->sinceStart(); }

uint64_t UciOutput::totalNodes() const { return searcher_->nodes() * uint64_t(searcher_->threadCount()); }

int UciOutput::hashFull() const { return searcher_->transpositionTable().fillPermille(); }

void UciOutput::appendMoves(char* buffer, size_t size, const Move* moves, int count) const {
  Position p = snapshot_;
  for (int i = 0; i < count; ++i) {
    // A move that does not fit the position (the table may hand out a
    // stale one) ends the text rather than being written wrongly.
    if (!isLegalMove(p, moves[i])) return;
    char text[16];
    formatMove(p, moves[i], Coordinate, text);
    if (std::strlen(buffer) + std::strlen(text) + 2 >= size) return;
    appendf(buffer, size, " %s", text);
    // The moves stay made, so each needs a record of its own.
    UndoRecord undo;
    undo.save(p);
    if (!p.makeMove(moves[i], undo)) return;
  }
}

void UciOutput::appendVariation(char* buffer, size_t size, const Move* moves, int count) const {
  const size_t before = std::strlen(buffer);
  appendText(buffer, size, " pv");
  const size_t withWord = std::strlen(buffer);
  appendMoves(buffer, size, moves, count);
  // A variation without a move that can be written is left out, word and all.
  if (std::strlen(buffer) == withWord) buffer[before] = 0;
}

void UciOutput::printPv(Searcher& searcher, int score, int alpha, int beta) {
  const int64_t elapsed = elapsedMs();
  const uint64_t nodes = totalNodes();
  Move pv[Searcher::MaxPvLength];
  int length = 0;
  searcher.extractPv(&length, pv, nullptr);
  if (length < 0) length = 0;
  if (length > Searcher::MaxPvLength) length = Searcher::MaxPvLength;
  const bool show = isDebug() || searcher.firstIteration() || elapsed >= RepeatPvAfterMs ||
                    !isRepeatedPv(pv, length, score);
  if (!show) return;
  rememberPv(pv, length, score);
  // Interfaces read everything after "pv" as moves, so the moves come last.
  char line[800];
  std::snprintf(line, sizeof line, "info depth %d seldepth %d time %16.0f nodes %16.0f", searcher.iteration() + 1,
                std::max(searcher.selectiveDepth(), searcher.iteration()) + 1, double(elapsed), double(nodes));
  appendUciScore(line, sizeof line, score, alpha, beta);
  const int64_t ms = elapsed < 1 ? 1 : elapsed;
  appendf(line, sizeof line, " hashfull %d nps %16.0f", hashFull(), double(nodes) * 1000.0 / double(ms));
  appendVariation(line, sizeof line, pv, length);
  collapseSpaces(line);
  writeLine(line);
}

void UciOutput::printMultiPv(Searcher& searcher, int lineNumber, Move move, int score, int alpha, int beta) {
  char line[800];
  std::snprintf(line, sizeof line, "info multipv %d depth %d seldepth %d ", lineNumber, searcher.iteration() + 1,
                searcher.selectiveDepth() + 1);
  appendUciScore(line, sizeof line, score, alpha, beta);
  Move pv[Searcher::MaxPvLength];
  int length = 0;
  searcher.extractPv(&length, pv, &move);
  if (length < 0) length = 0;
  if (length > Searcher::MaxPvLength) length = Searcher::MaxPvLength;
  appendVariation(line, sizeof line, pv, length);
  collapseSpaces(line);
  writeLine(line);
}

void UciOutput::printCurrentMove(Move move, int number) {
  if (!isDebug() && elapsedMs() < CurrentMoveAfterMs) return;
  Position p = snapshot_;
  if (!isLegalMove(p, move)) return;
  char text[16];
  formatMove(p, move, Coordinate, text);
  char line[64];
  std::snprintf(line, sizeof line, "info currmove %s currmovenumber %d", text, number);
  writeLine(line);
}

void UciOutput::printStatus() {
  const int64_t elapsed = elapsedMs();
  const uint64_t nodes = totalNodes();
  const int64_t ms = elapsed < 1 ? 1 : elapsed;
  const Searcher& s = *searcher_;
  char line[200];
  std::snprintf(line, sizeof line, "info depth %d seldepth %d time %16.0f nodes %16.0f hashfull %d nps %16.0f ",
                s.iteration(), std::max(s.selectiveDepth(), s.iteration()) + 1, double(elapsed),
                double(nodes), hashFull(), double(nodes) * 1000.0 / double(ms));
  appendUciScore(line, sizeof line, s.score(), s.rootAlpha(), s.rootBeta());
  collapseSpaces(line);
  writeLine(line);
}

void UciOutput::printBestMove(const Move* best, const Move* ponder) {
  Position p = snapshot_;
  char line[64];
  if (!best || !isLegalMove(p, *best)) {
    // A game that is over still gets a score, so that the interface shows
    // the mate or the stalemate rather than nothing.
    if (p.noLegalMove()) writeLine(p.inCheck() ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
    // Every "go" gets its answer: the null move tells the interface that
    // there was nothing to play.
    diagnostic("Kein Zug berechnet", nullptr);
    writeLine("bestmove 0000");
    return;
  }
  char bestText[16];
  formatMove(p, *best, Coordinate, bestText);
  if (ponder) {
    UndoRecord undo;
    undo.save(p);
    if (p.makeMove(*best, undo) && isLegalMove(p, *ponder)) {
      char ponderText[16];
      formatMove(p, *ponder, Coordinate, ponderText);
      std::snprintf(line, sizeof line, "bestmove %s ponder %s", bestText, ponderText);
      writeLine(line);
      return;
    }
  }
  std::snprintf(line, sizeof line, "bestmove %s", bestText);
  writeLine(line);
}

void UciOutput::infoString(const char* text, const char* argument) {
  char line[1024];
  if (argument) std::snprintf(line, sizeof line, "info string %s %s", text, argument);
  else std::snprintf(line, sizeof line, "info string %s", text);
  writeLine(line);
}

void UciOutput::diagnostic(const char* text, const char* argument) {
  if (isDebug()) infoString(text, argument);
}

void UciOutput::snapshotPosition() { snapshot_ = searcher_->position(); }

void UciTestOutput::printStatus() {
  ++count_;
  const double t = double(elapsedMs()) / 1000.0;
  sum_ += t;
  product_ *= t;
  const double mean = std::pow(product_, 1.0 / count_);
  char line[100];
  std::snprintf(line, sizeof line, "%4d %12.8f %16.10f %12.8f", count_, t, sum_, mean);
  EngineOutput::writeLine(line);
}

void UciTestOutput::writeLine(const char*) {}
