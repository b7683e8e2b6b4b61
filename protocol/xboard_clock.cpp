#include "protocol/xboard_clock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/command_text.h"

namespace {

// A decimal number of the text, or 0 when there is none; NaN and
// infinities are no numbers here.
double readDecimal(const char* text) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return 0;
  return v;
}

int64_t clampMs(double ms) {
  if (!(ms > -double(XboardClock::MaxMs))) return -XboardClock::MaxMs;
  if (ms > double(XboardClock::MaxMs)) return XboardClock::MaxMs;
  return int64_t(ms);
}

// Reads one whitespace-separated word of at most max characters; false at
// the end of the text. A longer word is cut, its rest skipped.
bool nextWord(const char*& s, char* out, size_t max) {
  s = skipWhiteSpace(s);
  if (!*s) return false;
  size_t n = 0;
  while (*s && !std::strchr(" \t\n\v\f\r", *s)) {
    if (n < max) out[n++] = *s;
    ++s;
  }
  out[n] = 0;
  return true;
}

// The base time of a level word: "MIN:SEC" or decimal minutes.
double baseTimeMs(const char* word) {
  if (const char* colon = std::strchr(word, ':')) {
    int64_t minutes = 0, seconds = 0;
    readInteger(word, minutes);
    readInteger(colon + 1, seconds);
    return (double(minutes) * 60.0 + double(seconds)) * 1000.0;
  }
  return readDecimal(word) * 60000.0;
}

}  // namespace

void XboardClock::reset() {
  for (TimePeriod& p : periods_) p = TimePeriod{};
  periods_[0] = {0, 300000.0, 0.0};
  engineMs_ = 300000;
  stMs_ = -1;
  sd_ = -1;
}

bool XboardClock::setLevel(const char* text) {
  for (TimePeriod& p : periods_) p = TimePeriod{};
  // Up to three periods of three items each; the words are read one at a
  // time and bounded, whatever the line holds.
  char words[PeriodCount * 3][24];
  int count = 0;
  const char* s = text;
  while (count < PeriodCount * 3 && nextWord(s, words[count], sizeof words[0] - 1)) ++count;
  if (count < 3 || count % 3 != 0) return false;
  TimePeriod read[PeriodCount];
  for (int i = 0; i < count / 3; ++i) {
    int64_t moves = 0;
    if (!readInteger(words[3 * i], moves) || moves < 0) return false;
    const double base = baseTimeMs(words[3 * i + 1]);
    const double increment = readDecimal(words[3 * i + 2]) * 1000.0;
    if (base < 0 || increment < 0) return false;
    read[i].moves = int32_t(clampValue(moves, 0, MaxMoves));
    read[i].baseMs = double(clampMs(base));
    read[i].incrementMs = double(clampMs(increment));
  }
  for (int i = 0; i < count / 3; ++i) periods_[i] = read[i];
  engineMs_ = int64_t(periods_[0].baseMs);
  stMs_ = -1;
  sd_ = -1;
  return true;
}

void XboardClock::setSearchTime(const char* text) {
  const int64_t ms = clampMs(readDecimal(text) * 1000.0);
  stMs_ = ms > 0 ? ms : -1;
}

void XboardClock::setSearchDepth(const char* text) {
  int64_t depth = 0;
  sd_ = readInteger(text, depth) && depth > 0 ? int32_t(clampValue(depth, 1, 999)) : -1;
}

void XboardClock::setClock(const char* text) { engineMs_ = clampMs(readDecimal(text) * 10.0); }

int XboardClock::findPeriod(int n, int& movesToGo, bool& repeats) const {
  repeats = false;
  for (int i = 0; i < PeriodCount; ++i) {
    const TimePeriod& p = periods_[i];
    if (p.moves <= 0) {
      movesToGo = 0;
      return i;
    }
    const bool last = i + 1 == PeriodCount || periods_[i + 1].moves < 0;
    if (last) {
      repeats = true;
      movesToGo = p.moves - n % p.moves;
      return i;
    }
    if (n < p.moves) {
      movesToGo = p.moves - n;
      return i;
    }
    n -= p.moves;
  }
  movesToGo = 0;
  return PeriodCount - 1;
}

int XboardClock::currentPeriod(int plies, int extra, int& movesToGo) const {
  bool repeats = false;
  return findPeriod((plies + extra) / 2, movesToGo, repeats);
}

int64_t XboardClock::timeToAdd(int pliesBefore) const {
  int movesToGo = 0;
  bool repeats = false;
  const int i = findPeriod(pliesBefore / 2, movesToGo, repeats);
  const TimePeriod& p = periods_[i];
  double add = p.incrementMs;
  if (p.moves > 0 && movesToGo == 1) add += repeats ? p.baseMs : periods_[i + 1].baseMs;
  return add > 0 ? clampMs(add) : 0;
}

void XboardClock::afterEngineMove(int64_t thinkingMs, int pliesBefore) {
  int64_t ms = engineMs_ - thinkingMs + timeToAdd(pliesBefore);
  if (ms >= 0 && ms < MinimumAfterMove) ms = MinimumAfterMove;
  if (ms > MaxMs) ms = MaxMs;
  if (ms < -MaxMs) ms = -MaxMs;
  engineMs_ = ms;
}

void XboardClock::goText(int plies, bool ponder, int64_t spentMs, char* out) const {
  const size_t size = GoTextSize;
  if (stMs_ > 0) {
    std::snprintf(out, size, "go movetime %10.0f", double(stMs_));
  } else {
    int movesToGo = 0;
    const int i = currentPeriod(plies, ponder ? 1 : 0, movesToGo);
    // What the hand-over to the search has taken is already spent; a
    // ponder search runs on the opponent's time.
    int64_t left = engineMs_;
    if (!ponder && spentMs > 0 && left > 0) left = spentMs < left ? left - spentMs : 0;
    const double engine = double(left);
    const double increment = periods_[i].incrementMs;
    std::snprintf(out, size, "go wtime %16.0f btime %16.0f winc %16.0f binc %16.0f", engine, engine, increment,
                  increment);
    if (movesToGo > 0) std::snprintf(out + std::strlen(out), size - std::strlen(out), " movestogo %d", movesToGo);
  }
  // A fixed depth limits the search on top of the time, never instead of
  // it: a GUI that enforces st or the clock forfeits a search that goes by
  // depth alone.
  if (sd_ > 0) std::snprintf(out + std::strlen(out), size - std::strlen(out), " depth %d", sd_);
  if (ponder) std::snprintf(out + std::strlen(out), size - std::strlen(out), " ponder");
}
