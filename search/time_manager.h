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
  // search plans with at least kMinimumTime after the safety margin when the
  // clock has that much to give; clock and increment are limited to
  // kMaxClock so that no sum overflows.
  static constexpr int kMaxMovesToGo = 80;
  static constexpr int64_t kMinimumTime = 50;
  // The node limit is only checked between iterations; a smaller one would
  // leave the search without a move.
  static constexpr int64_t kMinimumNodes = 500;
  static constexpr int64_t kMaxClock = kUnlimitedTime;
  // A clock is short while less than this is left after its fixed reserve:
  // then the search plans with less than the increment, so that the clock
  // grows again.
  static constexpr int64_t kShortClockTime = 250;
  // The clock argument of a "go" that named no clock for the side to move:
  // it plans as before with the minimum time, and a move time stays uncut.
  static constexpr int64_t kNoClock = INT64_MIN;
  // What a move costs beyond the search itself (starting and stopping the
  // threads, the line on its way to the interface): kLagMs with one thread
  // and kLagPerHelperMs more for every helper. A short clock keeps back at
  // least this much, or a quarter of itself when that is more.
  static constexpr int64_t kLagMs = 5;
  static constexpr int64_t kLagPerHelperMs = 1;
  // A fixed time per move is the most the answer may take on the
  // interface's clock, so the search ends short of it: a tenth of it, at
  // least 1 ms and at most kMoveTimeReserveMs, is kept for the stop, the
  // threads and the line on its way.
  static constexpr int64_t kMoveTimeReserveMs = 50;

  // Depth 6 and no time or node limit until the first allocate().
  TimeManager();

  // Sets depth, time and node limits for one search; the caller starts the
  // clock afterwards. The first of infinite, mate, depth, moveTime, nodes
  // that is set decides; otherwise the clock and increment of the side to
  // move (with movesToGo) do. No time limit ever exceeds the clock less
  // the part kept back for lag (a move time included, when a clock with
  // time on it is given); with a short clock and an increment the search plans with less
  // than the increment, so that the clock grows again. The ponder argument
  // changes nothing: a ponder search differs only by the searcher's
  // pondering flag.
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

  // Time that has already passed on the interface's clock for the next
  // search before it could start: the next start() counts from that much
  // earlier, so every limit includes it.
  void chargeBeforeStart(int64_t ms) { charged_ += ms > 0 ? ms : 0; }
  void start() override;

  // The number of search threads (1 or more): more threads cost more time
  // to start and stop, which a short clock keeps back.
  void setThreads(int n) { threads_.store(n < 1 ? 1 : n, std::memory_order_relaxed); }
  int threads() const { return threads_.load(std::memory_order_relaxed); }
  // Gives back what a move costs besides its search with the current number
  // of threads (kLagMs and kLagPerHelperMs).
  int64_t lagAllowance() const;
  // Gives back the time a search given a fixed time per move may use: the
  // move time less its reserve, and never below 1 ms.
  static int64_t moveTimeUsable(int64_t moveTime);
  // Gives back the part of the clock kept back for lag with the current
  // number of threads; used when the clock is too short for the fixed
  // reserves.
  int64_t lagReserve(int64_t clock) const;

  // The Ponder option: with it the time is spread over fewer moves.
  virtual void setPonder(bool on);
  bool ponder() const { return ponder_.load(std::memory_order_relaxed); }

  int64_t targetTime() const { return target_; }
  double factor() const { return factor_; }
  int64_t softLimit() const { return soft_; }
  int64_t hardLimit() const { return hard_; }
  int64_t nodeLimit() const { return nodeLimit_; }
  // Sets the node limit (at least kMinimumNodes) on top of the limits
  // allocate() set, for a node count given beside a clock or a move time.
  void setNodeLimit(int64_t nodes) { nodeLimit_ = nodes > kMinimumNodes ? nodes : kMinimumNodes; }

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
  std::atomic<int> threads_{1};
  int64_t charged_ = 0;  // command thread only, before the search starts
};
