#include "protocol/engine_output.h"

#include <cstdio>
#include <cstdlib>

void collapseSpaces(char* text) {
  char* write = text;
  for (const char* read = text; *read; ++read) {
    if (*read == ' ' && write > text && write[-1] == ' ') continue;
    *write++ = *read;
  }
  *write = 0;
}

EngineOutput::EngineOutput() { pthread_mutex_init(&mutex_, nullptr); }

EngineOutput::~EngineOutput() { pthread_mutex_destroy(&mutex_); }

void EngineOutput::writeLine(const char* text) {
  if (isSilent()) return;
  pthread_mutex_lock(&mutex_);
  emit(text);
  pthread_mutex_unlock(&mutex_);
}

void EngineOutput::emit(const char* text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void EngineOutput::rememberPv(const Move* moves, int count, int score) {
  const int n = count < RememberedPvMoves ? count : RememberedPvMoves;
  for (int i = 0; i < n; ++i) lastPv_[i] = moves[i];
  lastPvLength_ = count;
  lastPvScore_ = score;
}

// Gives back true when the variation has the remembered length, a score
// within 15 of the remembered one (exactly it for mate scores) and the same
// first moves.
bool EngineOutput::isRepeatedPv(const Move* moves, int count, int score) const {
  if (count != lastPvLength_) return false;
  if (std::llabs(int64_t(score) - lastPvScore_) > 15) return false;
  const bool mate = score > MateThreshold - 1 || score < -(MateThreshold - 1);
  if (mate && score != lastPvScore_) return false;
  const int n = count < RememberedPvMoves ? count : RememberedPvMoves;
  for (int i = 0; i < n; ++i)
    if (moves[i] != lastPv_[i]) return false;
  return true;
}
