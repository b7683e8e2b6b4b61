// The time manager: turns the arguments of a "go" command into a target
// time, soft and hard time limits and a node limit, and answers the search's
// questions from them and from the estimate, passed in by the search, that
// the best move will still change.
//
// allocate() and the limit fields belong to the command thread between
// searches; while a search runs they are only read. The Ponder option is
// atomic because the option may be set while a search reads the clock.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/search_limits.h"

class TimeManager : public SearchLimits {
 public:
  // Moves to go outside 1..kMaxMovesToGo count as kMaxMovesToGo; a clock
  // search never plans with less than kMinimumTime after the safety margin;
  // clock and increment are limited to kMaxClock so that no sum overflows.
  static constexpr int kMaxMovesToGo = 80;
  static constexpr int64_t kMinimumTime = 50;
  static constexpr int64_t kMaxClock = kUnlimitedTime;

  // Depth 6 and no time or node limit until the first allocate().
  TimeManager();

  // Sets depth, time and node limits for one search; the caller starts the
  // clock afterwards. The first of infinite, mate, depth, moveTime, nodes
  // that is set decides; otherwise the clock and increment of the side to
  // move (with movesToGo) do. The ponder argument changes nothing: a ponder
  // search differs only by the searcher's pondering flag.
  void allocate(bool ponder, int64_t time, int64_t increment, int movesToGo, int depth,
                int64_t nodes, int mate, int64_t moveTime, bool infinite);

  // True from the hard limit on; between the soft and the hard limit true
  // exactly when the current iteration has already raised alpha.
  bool mustStop(bool alphaRaised) override;
  // True from the soft limit on.
  bool stopIteration() override;
  bool softLimitReached() override;
  // False beyond the maximum depth, at the node limit, from the soft limit
  // on, or when less than 1/2.2 of the soft limit remains; otherwise true
  // when enough of the target time is left for an iteration, the more the
  // higher the change estimate (in percent).
  bool mayStartIteration(uint64_t nodes, int iteration, double changePercent) override;

  // The Ponder option: with it the time is spread over fewer moves.
  virtual void setPonder(bool on);
  bool ponder() const { return ponder_.load(std::memory_order_relaxed); }

  int64_t targetTime() const { return target_; }
  double factor() const { return factor_; }
  int64_t softLimit() const { return soft_; }
  int64_t hardLimit() const { return hard_; }
  int64_t nodeLimit() const { return nodeLimit_; }

 private:
  // No time or node limit, the given maximum depth.
  void setUnlimited(int maxDepth);

  int64_t target_ = kUnlimitedTime;
  double factor_ = 10.0;
  int64_t soft_ = kUnlimitedTime;
  int64_t hard_ = kUnlimitedTime;
  int64_t nodeLimit_ = kUnlimitedNodes;
  // The option is advertised as on, so that is its value until first set.
  std::atomic<bool> ponder_{true};
};
