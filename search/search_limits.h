// The search clock: a millisecond stopwatch with a maximum iteration depth
// and the questions the search asks while it runs. The base class limits
// nothing but the depth; perft uses it as a plain stopwatch, and the
// TimeManager derives the real time and node limits from it.
#pragma once

#include <atomic>
#include <cstdint>

// The wall clock in milliseconds (gettimeofday: seconds * 1000 plus
// microseconds / 1000).
int64_t nowMs();

// Gives back b * tanh(c * m / b): grows like c * m for small m and levels
// off at b. Gives back 0 when b is 0.
double tanhScale(int m, double b, double c);

class SearchLimits {
 public:
  // A time limit that is never reached, and a node limit likewise.
  static constexpr int64_t kUnlimitedTime = (int64_t(0x7f0000) << 32) | int64_t(0xffff0000u);
  static constexpr int64_t kUnlimitedNodes = (int64_t(0x7fff0000) << 32) | int64_t(0xffff0000u);

  explicit SearchLimits(int maxDepth);
  virtual ~SearchLimits() = default;

  SearchLimits(const SearchLimits&) = delete;
  SearchLimits& operator=(const SearchLimits&) = delete;

  // Stops the watch and clears the accumulated time.
  virtual void reset();
  // Gives back true; a question that never limits. Kept as one of the
  // clock's questions for other limit kinds, though the engine never asks it.
  virtual bool alwaysTrue();
  // Starts a new interval from now; the accumulated time stays.
  virtual void start();
  // Ends the running interval and adds it to the accumulated time; does
  // nothing when the watch is not running.
  virtual void stop();

  // Gives back whether the node search must stop at once. alphaRaised says
  // whether the current iteration already has a move above its window's
  // alpha. The base class never stops.
  virtual bool mustStop(bool alphaRaised);
  // Gives back whether the root loop must end the current iteration.
  virtual bool stopIteration();
  // Gives back whether the soft time limit has passed.
  virtual bool softLimitReached();
  // Gives back whether another iteration may start, from the nodes searched
  // so far, the number of the iteration asked for and the estimate in
  // percent that the best move will still change. The base class only
  // checks the depth.
  virtual bool mayStartIteration(uint64_t nodes, int iteration, double changePercent);

  // Gives back the accumulated time plus the running interval, if any.
  int64_t elapsed() const;
  // Gives back the time since the last start (0 when the clock went back).
  int64_t sinceStart() const;

  bool running() const { return running_.load(std::memory_order_relaxed); }
  int maxDepth() const { return maxDepth_; }
  void setMaxDepth(int depth) { maxDepth_ = depth; }

 protected:
  // The clock every time question reads; tests replace it.
  virtual int64_t now() const { return nowMs(); }

  // start, accumulated and running are touched by the search thread (a
  // restart around a table clear) while the command thread may ask the
  // soft-limit question on "ponderhit", so they are atomic.
  std::atomic<int64_t> startTime_{0};
  std::atomic<int64_t> accumulated_{0};
  int maxDepth_;
  std::atomic<bool> running_{false};
};
