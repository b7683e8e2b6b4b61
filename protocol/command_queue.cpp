#include "protocol/command_queue.h"

#include <unistd.h>

#include <cstring>

namespace {

void* commandWorkerMain(void* queue) {
  static_cast<CommandQueue*>(queue)->workerLoop();
  return nullptr;
}

}  // namespace

CommandQueue::CommandQueue(CommandHandler* target) : target_(target) {
  pthread_mutex_init(&mutex_, nullptr);
  pthread_mutex_init(&closeMutex_, nullptr);
  for (int i = 0; i < SlotCount; ++i) {
    slots_[i].capacity = i < LargeSlots ? LargeCapacity : SmallCapacity;
    slots_[i].buffer = new char[size_t(slots_[i].capacity)];
  }
  sem_init(&wake_, 0, 0);
  workerStarted_ = pthread_create(&worker_, nullptr, commandWorkerMain, this) == 0;
  if (!workerStarted_) {
    // Without a worker nothing would ever run a text: refuse them all.
    stop_.store(1, std::memory_order_release);
    workerEnded_.store(1, std::memory_order_release);
  }
}

CommandQueue::~CommandQueue() {
  close();
  sem_destroy(&wake_);
  for (CommandSlot& slot : slots_) delete[] slot.buffer;
  pthread_mutex_destroy(&closeMutex_);
  pthread_mutex_destroy(&mutex_);
}

CommandQueue::PostResult CommandQueue::post(const char* text, uint64_t tag) {
  if (closed()) return PostResult::Closed;
  const size_t length = std::strlen(text);
  pthread_mutex_lock(&mutex_);
  // Checked again under the mutex: close() sets the flag before it wakes
  // the worker, so a text queued here is still seen by its last drain.
  if (closed()) {
    pthread_mutex_unlock(&mutex_);
    return PostResult::Closed;
  }
  // With 64 entries the head would meet the tail and the ring read empty.
  if ((head_ + 1) % SlotCount == tail_) {
    pthread_mutex_unlock(&mutex_);
    return PostResult::Full;
  }
  // Highest-numbered free slot that fits: short texts keep off the two
  // large slots while a small one is free.
  CommandSlot* slot = nullptr;
  for (int i = SlotCount - 1; i >= 0; --i) {
    if (!slots_[i].busy && size_t(slots_[i].capacity) >= length + 1) {
      slot = &slots_[i];
      break;
    }
  }
  if (!slot) {
    pthread_mutex_unlock(&mutex_);
    return PostResult::Full;
  }
  slot->busy = 1;
  slot->tag = tag;
  std::memcpy(slot->buffer, text, length + 1);
  ring_[head_] = slot;
  head_ = (head_ + 1) % SlotCount;
  pending_.fetch_add(1, std::memory_order_acq_rel);
  pthread_mutex_unlock(&mutex_);
  sem_post(&wake_);
  return PostResult::Queued;
}

void CommandQueue::workerLoop() {
  for (;;) {
    // Everything queued runs before the stop flag is obeyed.
    for (;;) {
      pthread_mutex_lock(&mutex_);
      if (tail_ == head_) {
        pthread_mutex_unlock(&mutex_);
        break;
      }
      CommandSlot* slot = ring_[tail_];
      tail_ = (tail_ + 1) % SlotCount;
      pthread_mutex_unlock(&mutex_);
      if (slot->tag) runningTag_.store(slot->tag, std::memory_order_release);
      target_->handleLine(slot->buffer);
      pthread_mutex_lock(&mutex_);
      slot->busy = 0;
      pthread_mutex_unlock(&mutex_);
      pending_.fetch_sub(1, std::memory_order_acq_rel);
    }
    if (closed()) {
      // A text posted between the last drain and the flag is impossible:
      // post() tests the flag under the mutex.
      pthread_mutex_lock(&mutex_);
      const bool empty = tail_ == head_;
      pthread_mutex_unlock(&mutex_);
      if (empty) break;
      continue;
    }
    while (sem_wait(&wake_) != 0) {
    }
  }
  workerEnded_.store(1, std::memory_order_release);
}

void CommandQueue::close() {
  pthread_mutex_lock(&closeMutex_);
  if (!joined_) {
    pthread_mutex_lock(&mutex_);
    stop_.store(1, std::memory_order_release);
    pthread_mutex_unlock(&mutex_);
    if (workerStarted_) {
      sem_post(&wake_);
      pthread_join(worker_, nullptr);
    }
    joined_ = true;
  }
  pthread_mutex_unlock(&closeMutex_);
}

void CommandQueue::waitIdle() const {
  while (!idle() && !workerEnded_.load(std::memory_order_acquire)) usleep(1000);
}

bool CommandQueue::hasRoom(int texts, int largeTexts) {
  int freeSmall = 0, freeLarge = 0;
  pthread_mutex_lock(&mutex_);
  for (int i = 0; i < SlotCount; ++i)
    if (!slots_[i].busy) ++(i < LargeSlots ? freeLarge : freeSmall);
  const int queued = (head_ - tail_ + SlotCount) % SlotCount;
  pthread_mutex_unlock(&mutex_);
  return SlotCount - 1 - queued >= texts && freeSmall >= texts && freeLarge >= largeTexts;
}

void CommandQueue::waitForRoom(int texts, int largeTexts) {
  while (!closed() && !workerEnded_.load(std::memory_order_acquire) && !hasRoom(texts, largeTexts)) usleep(1000);
}
