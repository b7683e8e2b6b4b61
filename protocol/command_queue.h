// The hand-over between the xboard adapter (main thread, and the search
// thread when a move starts a ponder search) and the inner UCI interpreter:
// texts are copied into preallocated slots, kept in posting order in a ring,
// and one worker thread hands them one at a time to the target handler.
// Posting never waits for the worker, so a long command on the worker side
// (joining a search) never blocks the adapter.
#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "protocol/command_handler.h"

class CommandQueue {
 public:
  static constexpr int SlotCount = 64;
  static constexpr int LargeSlots = 2;
  static constexpr int32_t LargeCapacity = 75000;
  static constexpr int32_t SmallCapacity = 1000;

  enum class PostResult {
    Queued,
    Closed,  // the queue refuses every text from now on
    Full,    // no free slot fits the text, or the ring holds 63 texts
  };

  // Starts the worker thread at once.
  explicit CommandQueue(CommandHandler* target);
  ~CommandQueue();
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Queues a copy of text. A non-zero tag is published (see runningTag)
  // just before the worker hands this text on.
  PostResult post(const char* text, uint64_t tag = 0);

  // Refuses every further text, lets the worker run what is queued and
  // joins it. A second call does nothing.
  void close();

  bool closed() const { return stop_.load(std::memory_order_acquire) != 0; }

  // True when every queued text has been run to its end.
  bool idle() const { return pending_.load(std::memory_order_acquire) == 0; }

  // Polls until idle() or the worker has ended.
  void waitIdle() const;

  // Polls until the given number of further texts could be queued,
  // largeTexts of them too long for a small slot, or until the queue no
  // longer takes texts. A caller
  // waits here holding none of its own locks, so the worker can always
  // finish what it runs.
  void waitForRoom(int texts, int largeTexts);

  // The tag of the last tagged text the worker took.
  uint64_t runningTag() const { return runningTag_.load(std::memory_order_acquire); }

  // The worker's loop; public for the thread's start routine.
  void workerLoop();

 private:
  bool hasRoom(int texts, int largeTexts);

  struct CommandSlot {
    int32_t capacity = 0;
    uint8_t busy = 0;
    uint64_t tag = 0;
    char* buffer = nullptr;
  };

  pthread_mutex_t mutex_;
  pthread_t worker_{};
  sem_t wake_;
  CommandHandler* target_;
  CommandSlot slots_[SlotCount];
  CommandSlot* ring_[SlotCount] = {};
  int32_t head_ = 0;
  int32_t tail_ = 0;
  std::atomic<uint8_t> stop_{0};
  std::atomic<uint8_t> workerEnded_{0};
  std::atomic<int32_t> pending_{0};
  std::atomic<uint64_t> runningTag_{0};
  bool workerStarted_ = false;
  bool joined_ = false;
  pthread_mutex_t closeMutex_;
};
