#include "search/transposition_table.h"

#include <new>

TTEntry* TranspositionTable::allocateEntries(std::size_t count) { return new TTEntry[count]; }

TranspositionTable::TranspositionTable(std::size_t bytes, EntryAllocator allocator)
    : allocate_(allocator != nullptr ? allocator : &allocateEntries) {
  sizeFor(bytes);
}

TranspositionTable::~TranspositionTable() { release(); }

bool TranspositionTable::resize(std::size_t bytes) {
  release();
  return sizeFor(bytes);
}

void TranspositionTable::release() {
  delete[] entries_;
  entries_ = nullptr;
  indexRange_ = 0;
  entryCount_ = 0;
  used_.store(0, std::memory_order_relaxed);
}

// Gives back whether an allocation succeeded. A failed one is retried with a
// sixteenth less memory, so a Hash value too large for the machine still
// yields the largest table it can hold; below 12000 bytes it gives up.
bool TranspositionTable::sizeFor(std::size_t bytes) {
  // Window starts are 32-bit, so n = count - 2 must fit in 32 bits.
  constexpr std::size_t MaxEntries = std::size_t(UINT32_MAX);
  for (;;) {
    std::size_t count = bytes / BytesPerEntry;
    if (count < MinEntries) count = MinEntries;
    if (count > MaxEntries) count = MaxEntries;
    try {
      entries_ = allocate_(count);
    } catch (const std::bad_alloc&) {
      entries_ = nullptr;
    }
    if (entries_ != nullptr) {
      // Fresh entries are empty by construction (keys 0, generation 0).
      entryCount_ = count;
      indexRange_ = uint32_t(count - 2);
      generation_.store(1, std::memory_order_relaxed);
      used_.store(0, std::memory_order_relaxed);
      return true;
    }
    bytes -= bytes / 16;
    if (bytes <= MinRetryBytes) break;
  }
  entryCount_ = 0;
  indexRange_ = 0;
  generation_.store(1, std::memory_order_relaxed);
  used_.store(0, std::memory_order_relaxed);
  return false;
}

// Field by field with relaxed stores rather than memset: other threads may be
// probing and storing while the Clear Hash option runs.
void TranspositionTable::clear() {
  for (std::size_t i = 0; i < entryCount_; ++i) {
    TTEntry& e = entries_[i];
    e.keyLow.store(0, std::memory_order_relaxed);
    e.keyHigh.store(0, std::memory_order_relaxed);
    e.move.store(0, std::memory_order_relaxed);
    e.score.store(0, std::memory_order_relaxed);
    e.word.store(0, std::memory_order_relaxed);
    e.generation.store(0, std::memory_order_relaxed);
  }
  generation_.store(1, std::memory_order_relaxed);
  used_.store(0, std::memory_order_relaxed);
}

void TranspositionTable::age() {
  const int16_t next = int16_t(uint16_t(generation()) + 1);  // wraps at 16 bits
  generation_.store(next, std::memory_order_relaxed);
  used_.store(0, std::memory_order_relaxed);
}

void TranspositionTable::remove(uint64_t key) {
  if (entries_ == nullptr) return;
  const uint32_t lo = uint32_t(key);
  const uint32_t hi = uint32_t(key >> 32);
  const int16_t generation = this->generation();
  TTEntry* window = entries_ + windowStart(key);
  for (int k = 0; k < WindowSize; ++k) {
    TTEntry& e = window[k];
    if (!matches(e, lo, hi)) continue;
    e.keyLow.store(0, std::memory_order_relaxed);
    e.keyHigh.store(0, std::memory_order_relaxed);
    e.move.store(0, std::memory_order_relaxed);
    if (e.generation.load(std::memory_order_relaxed) == generation) {
      // The count is approximate and may already have been reset by age():
      // never let it wrap below zero.
      uint32_t u = used_.load(std::memory_order_relaxed);
      while (u > 0 && !used_.compare_exchange_weak(u, u - 1, std::memory_order_relaxed)) {
      }
    }
    // One generation back, so the slot is an older search's entry and thus
    // the first victim of its window.
    e.generation.store(int16_t(uint16_t(generation) - 1), std::memory_order_relaxed);
    return;
  }
}

int TranspositionTable::fillPermille() const {
  if (entryCount_ == 0) return 0;
  const uint64_t permille = uint64_t(used()) * 1000 / entryCount_;
  // Racing increments can overshoot the true count a little.
  return permille > 1000 ? 1000 : int(permille);
}
