// The protocol side of the search output: the base of every output object.
// Beside the listener reports and the end-of-search answer it adds the root
// position used to write moves as text, the silent and debug flags,
// and the one locked writer every protocol line leaves the engine through.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "board/types.h"
#include "search/search_output.h"

// Squeezes every run of blanks in text to a single blank, in place; other
// white space is left alone. The UCI lines format numbers in wide fixed
// fields and pass through here to lose the padding.
void collapseSpaces(char* text);

class EngineOutput : public SearchOutput {
 public:
  // Only the first moves of a variation take part in the repeat test.
  static constexpr int RememberedPvMoves = 20;

  EngineOutput();
  virtual ~EngineOutput();
  EngineOutput(const EngineOutput&) = delete;
  EngineOutput& operator=(const EngineOutput&) = delete;

  // Takes a copy of the master's root position for writing moves as text.
  virtual void snapshotPosition() = 0;

  virtual bool isSilent() const { return silent_.load(std::memory_order_relaxed) != 0; }
  virtual void setSilent(bool on) { silent_.store(on ? 1 : 0, std::memory_order_relaxed); }
  virtual void setDebug(bool on) { debug_.store(on ? 1 : 0, std::memory_order_relaxed); }
  bool isDebug() const { return debug_.load(std::memory_order_relaxed) != 0; }
  // Whether a diagnostic given now reaches the interface: under UCI only
  // in debug mode, and never while the output is silent.
  virtual bool showsDiagnostics() const { return isDebug() && !isSilent(); }

  // Writes text and a line end as one whole line and flushes, unless the
  // output is silent.
  virtual void writeLine(const char* text);

  // The repeat filter of principal variations: remember the one printed,
  // and tell whether a new one says nothing new.
  void rememberPv(const Move* moves, int count, int score);
  bool isRepeatedPv(const Move* moves, int count, int score) const;

 protected:
  // Puts one line on standard output; called with the line mutex held.
  virtual void emit(const char* text);

 private:
  pthread_mutex_t mutex_;
  Move lastPv_[RememberedPvMoves] = {};
  int32_t lastPvLength_ = 0;
  int32_t lastPvScore_ = 1000000;  // no variation printed yet
  std::atomic<uint8_t> debug_{0};
  std::atomic<uint8_t> silent_{0};
};
