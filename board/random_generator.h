// The engine's one pseudo-random source: three 32-bit shift registers, one of
// which decides at every step which of the other two advances. The opening
// book, the tools, network training and the magic-number finder draw from the
// process-wide instance; it has no lock, so only one thread may draw at a time.
#pragma once

#include <cstdint>

class RandomGenerator {
 public:
  // The three registers, exposed so that a sequence can be saved, restored or
  // started from a chosen point.
  struct State {
    uint32_t r0;
    uint32_t r1;
    uint32_t r2;
  };

  // Seeds as seed(value) does; 0 takes the clock.
  explicit RandomGenerator(uint32_t value);

  // The process-wide generator, created and seeded from the clock on the
  // first call; it lives until the process ends.
  static RandomGenerator& instance();

  // Restarts the sequence: fixed first two registers, the third from value
  // (when value is 0, from the clock in nanoseconds mixed with a count of
  // such seedings, so that every one differs), then 20 discarded steps.
  // Equal non-zero values give equal sequences.
  void seed(uint32_t value);

  // The 64 bits that a seeding from the clock is cut to 32 from: the
  // clock's nanoseconds plus an odd multiple of the seeding's number, mixed
  // by a bijection, so two seedings in the same clock tick never get the
  // same bits.
  static uint64_t clockSeedBits(uint64_t nanoseconds, uint64_t count);

  // Advances one step and gives back r0 ^ r1 ^ r2 after it.
  uint32_t next();

  // Advances n steps, discarding their outputs; n <= 0 does nothing.
  void skip(int n);

  // Gives back a + x / (2^32 - 1) * (b - a) for one step's output x, so both
  // ends can occur; computed in long double before rounding to double.
  double uniform(double a, double b);

  // Gives back a value in [a, b] from one step's output x: a + x mod
  // (b - a + 1). Always advances exactly one step. The whole 32-bit range
  // (a = 0, b = 0xFFFFFFFF) gives x itself; an empty range (a > b) gives a.
  uint32_t range(uint32_t a, uint32_t b);

  // Advances 31 steps and gives back x1 ^ (x17 << 22) ^ (x31 << 43) from the
  // outputs of the first, seventeenth and thirty-first of them.
  uint64_t next64();

  State state() const { return {r0_, r1_, r2_}; }
  void setState(const State& s);

 private:
  uint32_t r0_;
  uint32_t r1_;
  uint32_t r2_;
};
