#include "board/history_table.h"

namespace {
// constexpr makes this constant initialisation: no start-up code, no guard,
// and no thread can ever see it half built.
constexpr HistoryTable legalityHistory{};
}  // namespace

const HistoryTable& legalityHistoryTable() { return legalityHistory; }

void HistoryTable::reset() { *this = HistoryTable(); }

void HistoryTable::reward(Move move, int depth) {
  uint32_t& c = counters_[index(move)];
  const int64_t plies = depth / OnePly;
  // The budget is a 16-bit quantity; truncating in 64 bits avoids overflow
  // for any depth.
  int budget = int16_t(plies * plies);
  int step = 1;
  // The growing step makes repeated rewards within one call cheaper.
  do {
    ++updateCount_;
    step += (step > 1 ? 1 : 0) + (increment_ >= c ? 1 : 0);
    // Cannot wrap: c stays at or below CounterLimit and the increment below
    // 17/16 of it, since any larger increment forces a rescale on first use.
    c += increment_;
    while (c > bound_) {
      bound_ <<= 1;
      ++shift_;
    }
    if (c > CounterLimit) rescale();
    budget -= step;
  } while (budget >= 0);
}

void HistoryTable::rescale() {
  for (uint32_t& c : counters_) c >>= RescaleShift;
  increment_ >>= RescaleShift;
  if (increment_ < MinIncrement) increment_ = MinIncrement;
  bound_ >>= RescaleShift;
  // The term is counter >> shift, and a negative shift count is undefined, so
  // the shift is kept at 0 or above.
  shift_ = shift_ > RescaleShift ? shift_ - RescaleShift : 0;
}
