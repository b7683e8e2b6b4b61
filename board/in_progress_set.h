// Bit set through which search threads tell each other which moves they are
// searching right now, so that threads sharing one transposition table spread
// over different moves instead of all searching the same one first.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

class InProgressSet {
 public:
  static constexpr unsigned BitCount = 2048;
  static constexpr unsigned WordCount = BitCount / 32;

  InProgressSet() noexcept = default;
  InProgressSet(const InProgressSet&) = delete;
  InProgressSet& operator=(const InProgressSet&) = delete;

  // Gives back the bit that stands for searching `move` in the position whose
  // hash key has the low half `keyLow`.
  static constexpr unsigned bitFor(Move move, uint32_t keyLow) {
    return (moveKey(move) ^ keyLow) & (BitCount - 1);
  }

  // Sets the bit and gives back whether it was already set, that is whether
  // some thread had claimed the move first. One atomic read-modify-write, so
  // concurrent marks in the same word never lose each other's bits. Nothing
  // else is ordered by it: a stale mark only changes move order.
  bool testAndSet(unsigned bit) noexcept {
    const uint32_t mask = maskOf(bit);
    return (words_[wordOf(bit)].fetch_or(mask, std::memory_order_relaxed) & mask) != 0;
  }

  // Clears the bit once its move has been searched.
  void reset(unsigned bit) noexcept {
    words_[wordOf(bit)].fetch_and(~maskOf(bit), std::memory_order_relaxed);
  }

  // Gives back whether the bit is currently set.
  bool test(unsigned bit) const noexcept {
    return (words_[wordOf(bit)].load(std::memory_order_relaxed) & maskOf(bit)) != 0;
  }

  // Clears every bit.
  void resetAll() noexcept;

  // Gives back true when no bit is set (as seen at the moment of the call).
  bool none() const noexcept;

 private:
  // Out-of-range bit numbers wrap instead of reaching past the array.
  static constexpr unsigned wordOf(unsigned bit) { return (bit >> 5) & (WordCount - 1); }
  static constexpr uint32_t maskOf(unsigned bit) { return uint32_t(1) << (bit & 31); }

  std::atomic<uint32_t> words_[WordCount] = {};
};
