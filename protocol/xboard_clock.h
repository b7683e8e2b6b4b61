// The xboard time control as the engine keeps it: up to three periods
// from "level" (moves, base time, increment), a fixed time ("st") and a
// depth cap ("sd") per move, and the engine's own remaining time, which
// "time" sets and every engine move charges and credits.
#pragma once

#include <cstddef>
#include <cstdint>

struct TimePeriod {
  int32_t moves = -1;  // 0: the rest of the game; below 0: not in use
  double baseMs = 0;
  double incrementMs = 0;
};

class XboardClock {
 public:
  static constexpr int PeriodCount = 3;
  // No clock value the engine keeps goes beyond this (about 31 years), so
  // absurd GUI numbers neither overflow nor print as garbage.
  static constexpr int64_t MaxMs = int64_t(1) << 40;
  static constexpr int32_t MaxMoves = 100000;
  static constexpr int64_t MinimumAfterMove = 150;

  XboardClock() { reset(); }

  // The start values: the whole game in 5 minutes, no st or sd.
  void reset();

  // "level MPS BASE INC [MPS BASE INC [MPS BASE INC]]", the text after the
  // word. False when the items are not complete periods (the periods are
  // then all out of use and the clock is left alone).
  bool setLevel(const char* text);
  // "st SECONDS" (fractions allowed). A depth from "sd" stays: it caps
  // the fixed-time search.
  void setSearchTime(const char* text);
  // "sd DEPTH": a cap on top of st or the clock, whichever applies; a
  // fixed time from "st" stays.
  void setSearchDepth(const char* text);
  // "time CENTISECONDS": the engine's remaining time.
  void setClock(const char* text);

  // The period that applies after plies moves of the game have been
  // played (plus extra when a ponder move counts as played) and the moves
  // still to go in it, 0 when the period covers the rest of the game.
  int currentPeriod(int plies, int extra, int& movesToGo) const;
  // Milliseconds credited after the engine's move that was played when
  // pliesBefore moves of the game had been played.
  int64_t timeToAdd(int pliesBefore) const;
  // Charges the thinking time and credits the time to add; a result from 0
  // to 149 ms becomes 150 ms.
  void afterEngineMove(int64_t thinkingMs, int pliesBefore);

  // The UCI "go" text of the engine's next search after plies moves of the
  // game: the fixed time when st is set, else the clock less spentMs (the
  // time since the engine's clock started to run) with the period's
  // increment and moves to go; sd caps the depth of either. A ponder
  // search counts its ponder move as played, is charged nothing yet and
  // ends in " ponder". out holds at least GoTextSize bytes.
  static constexpr size_t GoTextSize = 256;
  void goText(int plies, bool ponder, int64_t spentMs, char* out) const;

  const TimePeriod& period(int i) const { return periods_[i]; }
  int64_t engineMs() const { return engineMs_; }
  int64_t searchTimeMs() const { return stMs_; }  // -1: unset
  int32_t searchDepth() const { return sd_; }     // -1: unset

 private:
  // The walk over the periods: the period of full move n (0-based) and the
  // moves to go in it counted with move n; repeats tells whether the
  // period starts again when it is used up.
  int findPeriod(int n, int& movesToGo, bool& repeats) const;

  TimePeriod periods_[PeriodCount];
  int64_t engineMs_ = 0;
  int64_t stMs_ = -1;
  int32_t sd_ = -1;
};
