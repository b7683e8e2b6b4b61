#include "search/time_manager.h"

#include <algorithm>
#include <cmath>

TimeManager::TimeManager() : SearchLimits(32767) { setUnlimited(6); }

void TimeManager::setUnlimited(int maxDepth) {
  maxDepth_ = maxDepth;
  target_ = kUnlimitedTime;
  soft_ = kUnlimitedTime;
  hard_ = kUnlimitedTime;
  nodeLimit_ = kUnlimitedNodes;
  factor_ = 10.0;
}

namespace {

// The part of the clock kept back against lag: the last moves before a time
// control keep more, since a loss on time there costs the whole game.
int64_t clockReserve(int movesToGo) {
  switch (movesToGo) {
    case 1: return 700;
    case 2: return 1100;
    case 3: return 1400;
    case 4: return 1600;
    default: return 150;
  }
}

}  // namespace

int64_t TimeManager::moveTimeUsable(int64_t moveTime) {
  const int64_t reserve = std::clamp<int64_t>(moveTime / 10, 1, kMoveTimeReserveMs);
  return std::max<int64_t>(moveTime - reserve, 1);
}

int64_t TimeManager::lagAllowance() const { return kLagMs + kLagPerHelperMs * (threads() - 1); }

int64_t TimeManager::lagReserve(int64_t clock) const {
  if (clock <= 0) return 0;
  return std::max(clock / 4, std::min(clock, lagAllowance()));
}

void TimeManager::allocate(bool /*ponder*/, int64_t time, int64_t increment, int movesToGo,
                           int depth, int64_t nodes, int mate, int64_t moveTime, bool infinite) {
  if (infinite) {
    setUnlimited(100);
    return;
  }
  if (mate > 0) {
    // Twice the moves, as plies; mate is tested before depth on purpose.
    setUnlimited(int(std::min<int64_t>(2 * int64_t(mate), 32767)));
    return;
  }
  if (depth > 0) {
    // Iterations are numbered from 0, so depth n is iterations 0 to n - 1.
    setUnlimited(depth - 1);
    return;
  }

  // A clock the interface did not send plans like the old minimum; a
  // negative one like an empty one. The limits keep every sum below in
  // range.
  const bool haveClock = time != kNoClock;
  const int64_t clock = haveClock ? std::clamp<int64_t>(time, 0, kMaxClock) : kMinimumTime;
  int m = movesToGo;
  if (m < 1 || m > kMaxMovesToGo) m = kMaxMovesToGo;
  // The time this move may use at most: the clock less its reserve. When
  // the clock cannot give the fixed reserve and still leave the minimum
  // time, the reserve shrinks to the lag allowance, so the plan never
  // reaches past the clock.
  const int64_t fixedPart = clock - clockReserve(m);
  const bool shortClock = fixedPart < kShortClockTime;
  const int64_t t = haveClock ? std::max(fixedPart, std::min(kMinimumTime, clock - lagReserve(clock)))
                              : kMinimumTime;

  if (moveTime > 0) {
    setUnlimited(100);
    // A move time comes alone or beside the clock; only a clock with time
    // on it cuts it (an empty one next to a move time is taken as none).
    // The search stops at the same time whatever it found, for the answer
    // to arrive within the move time.
    const int64_t usable = moveTimeUsable(moveTime);
    soft_ = haveClock && time > 0 ? std::min(usable, t) : usable;
    hard_ = soft_;
    return;
  }
  if (nodes > 0) {
    setUnlimited(100);
    setNodeLimit(nodes);
    return;
  }

  int64_t inc = std::clamp<int64_t>(increment, 0, kMaxClock);
  // With a short clock the increment counts half, so that the clock grows
  // again by what the search leaves of it, and stays well above the point
  // where a stalled move would lose it.
  const bool recover = shortClock && haveClock && inc > 0;
  const int64_t fullIncrement = inc;
  if (recover) inc /= 2;

  // Moves the remaining time is spread over; fewer with pondering, which
  // wins time on the opponent's clock. Always above 1.
  const double f = ponder() ? tanhScale(m, 27.5, 0.8) + 0.3 : tanhScale(m, 40.0, 1.0) + 0.1;
  const double td = double(t);
  int64_t target = inc + int64_t(td / f);
  // The fewer moves the time is spread over, the closer both limits come to
  // the whole remaining time.
  const double k = std::pow(1.6, 1.0 - f);
  int64_t soft = 3 * inc + int64_t(td * (k + (1.0 - k) / 9.0));
  int64_t hard = std::min<int64_t>(5 * inc + int64_t(td * (k + (1.0 - k) / 6.0)), t);
  if (1.2 * double(soft) > double(hard)) soft = int64_t(double(hard) / 1.2);
  if (2 * target > soft) target = soft / 2;
  if (soft > 6 * target) soft = 6 * target;
  // While the clock is short, the move and what it costs besides the search
  // (the lag allowance) must stay within the increment for the clock to
  // grow again; when the increment cannot even pay for that, a quarter of
  // it is all the search gets. The search seldom runs past the soft limit,
  // and the hard limit leaves a failing-low iteration little more.
  if (recover) {
    const int64_t budget = std::max(fullIncrement - lagAllowance(), fullIncrement / 4);
    soft = std::min(soft, budget);
    target = std::min(target, soft / 2);
    hard = std::min(hard, 3 * budget);
  }

  maxDepth_ = 100;
  target_ = target;
  factor_ = f;
  soft_ = soft;
  hard_ = hard;
  nodeLimit_ = kUnlimitedNodes;
}
void TimeManager::start() {
  SearchLimits::start();
  if (charged_ > 0) {
    startTime_.fetch_sub(charged_, std::memory_order_relaxed);
    charged_ = 0;
  }
}

bool TimeManager::mustStop(bool alphaRaised) {
  const int64_t el = sinceStart();
  if (el >= hard_) return true;
  if (el >= soft_) return alphaRaised;
  return false;
}

bool TimeManager::stopIteration() { return sinceStart() >= soft_; }

bool TimeManager::softLimitReached() { return sinceStart() >= soft_; }

bool TimeManager::mayStartIteration(uint64_t nodes, int iteration, double changePercent) {
  if (iteration > maxDepth_) return false;
  if (nodes >= uint64_t(nodeLimit_)) return false;
  // One reading of the clock for every test below, so that they agree.
  const int64_t el = sinceStart();
  if (el >= soft_) return false;
  // The next iteration takes about as long as all before it together.
  if (2.2 * double(el) > double(soft_)) return false;
  // A target below 1 ms cannot come out of allocate(); the guard keeps the
  // division defined whatever the fields hold.
  const double target = double(std::max<int64_t>(target_, 1));
  const double have = (changePercent + 15.0) / (1.2 * double(el) + 0.001);
  const double need = 26.0 / (target * 6.0 / 11.0);
  return have > need;
}

void TimeManager::setPonder(bool on) { ponder_.store(on, std::memory_order_relaxed); }
