// Perft: the number of leaf nodes of the legal move tree of a position to a
// given depth, with a small table of its own that reuses the counts of
// transposed positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "board/move_list.h"
#include "board/history_table.h"

class Position;

struct PerftHashEntry {
  uint32_t keyLow;
  uint32_t keyHigh;
  uint64_t count;
  int32_t depth;
};

class PerftHash {
 public:
  // The deepest count the move stack has room for.
  static constexpr int MaxDepth = 30;

  PerftHash();
  // Sizes the table to the largest power of two of entries that fits in
  // bytes (none below one entry's size), every entry zero. When that much
  // memory is not to be had, the table halves until it fits or is empty.
  void resize(size_t bytes);

  size_t size() const { return count_; }
  PerftHashEntry* entries() { return entries_.get(); }
  // The all-zero history the move lists of the count order by.
  const HistoryTable& history() const { return history_; }
  MoveStack& stack() { return stack_; }

 private:
  HistoryTable history_;
  std::unique_ptr<PerftHashEntry[]> entries_;
  size_t count_ = 0;
  std::vector<MoveListEntry> stackEntries_;
  MoveStack stack_;
};

// Gives back the number of leaves of the legal move tree of position to
// depth: 1 at depth 0 (the position is its own leaf), 0 for a negative
// depth and beyond PerftHash::MaxDepth. The position is unchanged when it
// returns.
uint64_t perftCount(PerftHash& hash, Position& position, int depth);
