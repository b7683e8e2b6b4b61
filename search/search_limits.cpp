#include "search/search_limits.h"

#include <sys/time.h>

#include <cmath>

int64_t nowMs() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return int64_t(tv.tv_sec) * 1000 + int64_t(tv.tv_usec) / 1000;
}

double tanhScale(int m, double b, double c) {
  if (b == 0.0) return 0.0;
  // The exp form saturates cleanly: a huge argument gives exactly b or -b.
  return b * (2.0 / (std::exp(-2.0 * c * m / b) + 1.0) - 1.0);
}

SearchLimits::SearchLimits(int maxDepth) : maxDepth_(maxDepth) {}

void SearchLimits::reset() {
  running_.store(false, std::memory_order_relaxed);
  accumulated_.store(0, std::memory_order_relaxed);
}

bool SearchLimits::alwaysTrue() { return true; }

void SearchLimits::start() {
  startTime_.store(now(), std::memory_order_relaxed);
  running_.store(true, std::memory_order_relaxed);
}

void SearchLimits::stop() {
  // A second stop must not count the last interval twice.
  if (!running_.exchange(false, std::memory_order_relaxed)) return;
  accumulated_.fetch_add(sinceStart(), std::memory_order_relaxed);
}

bool SearchLimits::mustStop(bool) { return false; }

bool SearchLimits::stopIteration() { return false; }

bool SearchLimits::softLimitReached() { return false; }

bool SearchLimits::mayStartIteration(uint64_t, int iteration, double) {
  return iteration <= maxDepth_;
}

int64_t SearchLimits::sinceStart() const {
  // The wall clock may be set back; elapsed time never goes negative.
  const int64_t d = now() - startTime_.load(std::memory_order_relaxed);
  return d > 0 ? d : 0;
}

int64_t SearchLimits::elapsed() const {
  int64_t total = accumulated_.load(std::memory_order_relaxed);
  if (running()) total += sinceStart();
  return total;
}
