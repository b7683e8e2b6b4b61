#include "board/random_generator.h"

#include <time.h>

#include <atomic>

namespace {

// A seed that differs at every call: the clock to the nanosecond, mixed
// with a count of the calls, so that two seedings within one clock tick
// (two "mat rnd" runs in one second) still start different sequences.
uint32_t clockSeed() {
  static std::atomic<uint32_t> calls{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const uint64_t x = RandomGenerator::clockSeedBits(uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec),
                                                    calls.fetch_add(1, std::memory_order_relaxed) + 1ull);
  const uint32_t value = uint32_t(x ^ (x >> 32));
  return value ? value : 1;
}

// 1 when v has an odd number of set bits.
inline uint32_t parity(uint32_t v) {
  v ^= v >> 16;
  v ^= v >> 8;
  v ^= v >> 4;
  v ^= v >> 2;
  v ^= v >> 1;
  return v & 1u;
}

}  // namespace

RandomGenerator::RandomGenerator(uint32_t value) : r0_(0), r1_(0), r2_(0) {
  seed(value);
}

uint64_t RandomGenerator::clockSeedBits(uint64_t nanoseconds, uint64_t count) {
  uint64_t x = nanoseconds + 0x9E3779B97F4A7C15ull * count;
  // A 64-bit finaliser spreads every input bit over the 32 that are kept;
  // each of its steps can be undone, so distinct inputs stay distinct.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

RandomGenerator& RandomGenerator::instance() {
  static RandomGenerator generator(0);
  return generator;
}

void RandomGenerator::seed(uint32_t value) {
  r0_ = 0x01234567u;
  r1_ = 0x89ABCDEFu;
  if (value == 0) value = clockSeed();
  r2_ = value;
  skip(20);
}

uint32_t RandomGenerator::next() {
  // r0 is a maximal-length register stepped every time; its feedback bit
  // chooses whether r1 or r2 moves, which breaks the linearity of each.
  const uint32_t f = parity(r0_ & 0x08000001u);
  r0_ >>= 1;
  if (f) {
    r0_ |= 0x80000000u;
    const uint32_t old = r1_;
    r1_ = (old >> 3) | (parity(old & 0x00020001u) << 29) |
          (parity(old & 0x00040002u) << 30) | (parity(old & 0x00080004u) << 31);
  } else {
    const uint32_t old = r2_;
    r2_ = (old << 2) | (parity(old & 0x80100000u) << 1) | parity(old & 0x40080000u);
  }
  return r0_ ^ r1_ ^ r2_;
}

void RandomGenerator::skip(int n) {
  for (int i = 0; i < n; ++i) next();
}

double RandomGenerator::uniform(double a, double b) {
  const long double x = next();
  const long double la = a;
  const long double lb = b;
  return static_cast<double>(la + x / 4294967295.0L * (lb - la));
}

uint32_t RandomGenerator::range(uint32_t a, uint32_t b) {
  const uint32_t x = next();
  if (a > b) return a;
  const uint32_t span = b - a + 1u;  // wraps to 0 only for the whole range
  if (span == 0) return a + x;
  return a + x % span;
}

uint64_t RandomGenerator::next64() {
  uint64_t x1 = 0;
  uint64_t x17 = 0;
  uint64_t x31 = 0;
  for (int i = 1; i <= 31; ++i) {
    const uint64_t x = next();
    if (i == 1) x1 = x;
    if (i == 17) x17 = x;
    if (i == 31) x31 = x;
  }
  return x1 ^ (x17 << 22) ^ (x31 << 43);
}

void RandomGenerator::setState(const State& s) {
  r0_ = s.r0;
  r1_ = s.r1;
  r2_ = s.r2;
}
