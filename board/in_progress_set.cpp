#include "board/in_progress_set.h"

void InProgressSet::resetAll() noexcept {
  for (auto& word : words_) word.store(0, std::memory_order_relaxed);
}

bool InProgressSet::none() const noexcept {
  for (const auto& word : words_)
    if (word.load(std::memory_order_relaxed) != 0) return false;
  return true;
}
