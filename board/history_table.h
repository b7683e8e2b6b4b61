// Move-ordering history of one side to move: per from|to pair, how often and
// how deeply the move produced a cutoff in the current search. The counters
// scale themselves: the increment grows over the search so that recent
// cutoffs weigh more, and when a counter nears the top of its range all of
// them are divided down together, so their order is kept.
#pragma once

#include <cstdint>

#include "board/types.h"

class HistoryTable {
 public:
  static constexpr int Size = 4096;  // indexed by from | to << 6
  static constexpr uint32_t StartIncrement = 0x10000;
  static constexpr uint32_t StartBound = 0x10000;
  static constexpr uint32_t CounterLimit = 0x3c000000;
  static constexpr uint32_t MinIncrement = 256;
  static constexpr int RescaleShift = 11;

  constexpr HistoryTable() = default;

  // Back to the start state: all counters 0, so every history term is 0.
  void reset();

  // Gives back the history term of the move for the sort keys. The shift
  // keeps terms of a search comparable while the bound doubles.
  uint32_t term(Move move) const { return counters_[index(move)] >> shift_; }

  // Credits one cutoff of the move at a node of `depth` (eighths of a ply);
  // deeper cutoffs count quadratically more.
  void reward(Move move, int depth);

  // Takes counter / divisor off the move's counter (a move tried before the
  // cutoff move that did not cut off). A divisor below 1 changes nothing.
  void penalise(Move move, int divisor) {
    if (divisor <= 0) return;
    uint32_t& c = counters_[index(move)];
    c -= c / uint32_t(divisor);
  }

  // Called at a node that ended without a cutoff: lets the increment grow, so
  // that later cutoffs outweigh earlier ones.
  void noteNoCutoff() {
    if (updateCount_ > 1) {
      updateCount_ = 0;
      increment_ += increment_ / 16;
    }
  }

  uint32_t counter(Move move) const { return counters_[index(move)]; }
  uint32_t increment() const { return increment_; }
  uint32_t bound() const { return bound_; }
  int shift() const { return shift_; }
  uint32_t updateCount() const { return updateCount_; }

 private:
  static constexpr unsigned index(Move move) { return move & (Size - 1); }

  // Divides every counter, the increment and the bound by 2^11 at once.
  void rescale();

  uint32_t increment_ = StartIncrement;
  uint32_t bound_ = StartBound;  // power of two above the largest counter
  int32_t shift_ = 0;            // doublings of the bound, never negative
  uint32_t updateCount_ = 0;     // update steps since the increment last grew
  uint32_t counters_[Size] = {};
};

// Gives back the process-wide table in its start state that move lists built
// outside a search (the legality tests) score with. It is constant-initialised
// before any code runs, so threads may read it at once; nothing writes it.
const HistoryTable& legalityHistoryTable();
