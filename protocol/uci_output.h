// UCI output: what the search reports becomes "info" and "bestmove" lines,
// moves written in coordinate form relative to a snapshot of the root
// position. UciTestOutput prints nothing but one timing line per search and
// serves to measure search speed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/position.h"
#include "protocol/engine_output.h"

class Searcher;
class TimeManager;

// Appends the UCI score text (" score cp N" or " score mate N", then
// " lowerbound" or " upperbound" when the score lies on a window bound) to
// the terminated text in buffer, never writing past size bytes.
void appendUciScore(char* buffer, size_t size, int score, int alpha, int beta);

class UciOutput : public EngineOutput {
 public:
  // A PV line is shown even when it repeats the last one once this much of
  // the search has passed; current moves are shown only after the second.
  static constexpr int64_t RepeatPvAfterMs = 900;
  static constexpr int64_t CurrentMoveAfterMs = 1000;

  UciOutput(Searcher* searcher, TimeManager* clock);

  void printPv(Searcher& searcher, int score, int alpha, int beta) override;
  void printCurrentMove(Move move, int number) override;
  void printMultiPv(Searcher& searcher, int line, Move move, int score, int alpha, int beta) override;
  void diagnostic(const char* text, const char* argument) override;
  void infoString(const char* text, const char* argument) override;
  void printBestMove(const Move* best, const Move* ponder) override;
  void printStatus() override;
  void snapshotPosition() override;

  const Position& snapshot() const { return snapshot_; }

 protected:
  // Gives back the milliseconds since the search clock was started.
  int64_t elapsedMs() const;
  // Gives back the nodes of all threads, estimated from the master's count.
  uint64_t totalNodes() const;
  // Gives back the fill of the shared transposition table in permille.
  int hashFull() const;
  // Appends the variation as coordinate moves, each written in the
  // position it is played in, starting from a copy of the root snapshot;
  // stops at the first move that is not legal there or does not fit.
  void appendMoves(char* buffer, size_t size, const Move* moves, int count) const;
  // Appends " pv" and the moves as appendMoves does; nothing at all when no
  // move can be written. Interfaces read the rest of the line after "pv" as
  // moves, so this comes last on a line.
  void appendVariation(char* buffer, size_t size, const Move* moves, int count) const;

  Searcher* searcher_;
  TimeManager* clock_;
  Position snapshot_;
};

class UciTestOutput : public UciOutput {
 public:
  UciTestOutput(Searcher* searcher, TimeManager* clock) : UciOutput(searcher, clock) {}

  // The timing line: search count, its seconds, their running sum and
  // their geometric mean.
  void printStatus() override;
  // Drops every line; the timing lines bypass it.
  void writeLine(const char* text) override;
  bool showsDiagnostics() const override { return false; }

 private:
  // Touched only by the search thread, which alone prints statuses.
  double sum_ = 0.0;
  double product_ = 1.0;
  int32_t count_ = 0;
};
