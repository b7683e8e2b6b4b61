// The owner of the search thread, the helper threads of the parallel search
// and the helper searchers. The front end starts a search through it (on a
// new search thread, or inside the calling thread under the blocking
// option), stops one by setting the master's stop flag and joining the
// search thread, and sets the number of threads.
//
// Lazy parallel search: every helper runs the whole iterative deepening on
// its own copy of the root, sharing only the transposition table; only the
// master plays book moves, prints and decides the move.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "search/time_manager.h"

class SearchOutput;
class Searcher;

class SearchController {
 public:
  static constexpr int MaxThreads = 8;
  static constexpr int MaxHelpers = MaxThreads - 1;

  SearchController(Searcher* master, SearchOutput* output, TimeManager* clock);
  ~SearchController();
  SearchController(const SearchController&) = delete;
  SearchController& operator=(const SearchController&) = delete;

  // Sets the number of search threads (1..8, limited by the caller) and
  // creates or deletes helper searchers to match. Only while no search runs.
  void setThreadCount(int n);
  int threadCount() const { return threadCount_; }
  // Gives back helper j (0-based, thread index j + 1), null when absent.
  Searcher* helper(int j) const { return j >= 0 && j < MaxHelpers ? helpers_[j] : nullptr; }

  // Sets the limits, arms the master and starts the search: on a new
  // thread, or here when blocking is set and the search is no ponder
  // search. An infinite search keeps its answer until it is stopped, as a
  // ponder search does until "ponderhit" or "stop". Gives back whether a
  // search ran or runs. Only while no search runs.
  bool start(bool ponder, int64_t time, int64_t increment, int movesToGo, int depth, int64_t nodes, int mate,
             int64_t moveTime, bool infinite);

  // Tells the master to stop and joins the search thread when one runs, so
  // whatever it prints is out when this returns. Gives back true only when
  // the join failed.
  bool stop();

  // Passes "ponderhit" on to a running search.
  void ponderHit();

  // The search itself, on the search thread (or the caller's under
  // blocking): helpers, master, helpers stopped, status and best move.
  void run();

  // The helper part of a search, each half on its own: startHelpers starts
  // the helper clock and wakes the helpers, each on a fresh copy of the
  // master's root, unless the search must end within a few milliseconds;
  // it gives back how many take part. stopHelpers tells them to stop,
  // waits until every one has ended its search and stops the helper clock.
  // Both belong to the thread that runs the search, and do nothing with
  // one thread.
  int startHelpers();
  void stopHelpers();

  // Gives back whether a search thread exists that nobody joins yet.
  bool isRunning();

  void setQuit() { quit_.store(1, std::memory_order_relaxed); }
  bool quitRequested() const { return quit_.load(std::memory_order_relaxed) != 0; }
  void setBlocking(bool on) { blocking_.store(on ? 1 : 0, std::memory_order_relaxed); }
  bool blocking() const { return blocking_.load(std::memory_order_relaxed) != 0; }

  Searcher* master() const { return master_; }
  SearchOutput* output() const { return output_; }
  TimeManager* clock() const { return clock_; }
  TimeManager& helperClock() { return helperClock_; }

 private:
  Searcher* master_;
  SearchOutput* output_;
  TimeManager* clock_;
  TimeManager helperClock_;
  pthread_mutex_t mutex_;
  pthread_t searchThread_{};
  std::atomic<uint8_t> running_{0};  // changed only under the mutex
  // Per helper whether its thread exists. Helper threads live from the
  // first search after setThreadCount until the next setThreadCount or the
  // controller's end and wait between searches, so a search does not pay
  // for creating them.
  uint8_t helperStarted_[MaxHelpers] = {};
  pthread_t helperThreads_[MaxHelpers] = {};
  int32_t threadCount_ = 1;
  Searcher* helpers_[MaxHelpers] = {};
  std::atomic<uint8_t> blocking_{0};
  std::atomic<uint8_t> quit_{0};
  // Set before the search starts and read by it: an infinite search waits
  // for its stop before it answers.
  uint8_t infinite_ = 0;

  // The waiting helper threads, under helperMutex_: every search raises
  // the generation and names how many helpers take part; each taking part
  // runs one search and counts itself off.
  struct HelperSlot {
    SearchController* controller;
    int index;
    uint32_t startGeneration;  // the generation before the thread's first search
  };
  static void* helperThreadMain(void* slot);
  void helperLoop(int index);
  void startHelperThreads(int helpers);
  void requestHelpersStop();
  void endHelperThreads();
  void waitForHelpers();
  pthread_mutex_t helperMutex_;
  pthread_cond_t helperWake_;
  pthread_cond_t helperDone_;
  HelperSlot helperSlots_[MaxHelpers] = {};
  uint32_t generation_ = 0;
  int helpersTakingPart_ = 0;
  int helpersBusy_ = 0;
  bool helpersEnd_ = false;
  // The helpers taking part in the current search; the search's own thread
  // only.
  int searchHelpers_ = 0;
};
