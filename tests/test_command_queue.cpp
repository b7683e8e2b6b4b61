#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/command_queue.h"

namespace {

// Records every text it is handed; can be held up to keep texts queued.
class RecordingHandler : public CommandHandler {
 public:
  void handleLine(const char* line) override {
    while (hold.load()) usleep(1000);
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  }
  std::vector<std::string> taken() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  std::atomic<bool> hold{false};
  std::mutex mutex;
  std::vector<std::string> lines;
};

TEST(CommandQueueThreads, TextsRunInPostingOrderFromTwoThreads) {
  RecordingHandler handler;
  CommandQueue queue(&handler);
  std::mutex order;
  std::vector<std::string> posted;
  auto producer = [&](char name) {
    for (int i = 0; i < 200; ++i) {
      const std::string text = std::string(1, name) + std::to_string(i);
      std::lock_guard<std::mutex> lock(order);  // fixes the ring order
      while (queue.post(text.c_str()) == CommandQueue::PostResult::Full) usleep(100);
      posted.push_back(text);
    }
  };
  std::thread a(producer, 'a'), b(producer, 'b');
  a.join();
  b.join();
  queue.close();
  EXPECT_EQ(handler.taken(), posted);
}

TEST(CommandQueueThreads, CloseRunsWhatIsQueuedThenRefuses) {
  RecordingHandler handler;
  handler.hold = true;
  CommandQueue queue(&handler);
  for (const char* text : {"one", "two", "three"}) EXPECT_EQ(queue.post(text), CommandQueue::PostResult::Queued);
  EXPECT_FALSE(queue.idle());
  std::thread releaser([&] {
    usleep(20000);
    handler.hold = false;
  });
  queue.close();
  releaser.join();
  EXPECT_EQ(handler.taken(), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(queue.post("four"), CommandQueue::PostResult::Closed);
  queue.close();  // a second close does nothing
  EXPECT_EQ(handler.taken().size(), 3u);
}

// With every slot taken the queue refuses instead of touching a slot it
// does not have; long texts fit only the two large slots.
TEST(CommandQueueThreads, AFullQueueRefusesAndRecovers) {
  RecordingHandler handler;
  handler.hold = true;
  CommandQueue queue(&handler);
  const std::string longText(5000, 'x');
  EXPECT_EQ(queue.post(longText.c_str()), CommandQueue::PostResult::Queued);  // the worker holds it
  usleep(20000);
  EXPECT_EQ(queue.post(longText.c_str()), CommandQueue::PostResult::Queued);
  EXPECT_EQ(queue.post(longText.c_str()), CommandQueue::PostResult::Full);
  const std::string tooLong(CommandQueue::LargeCapacity, 'y');
  EXPECT_EQ(queue.post(tooLong.c_str()), CommandQueue::PostResult::Full);
  int queued = 0;
  while (queue.post("short") == CommandQueue::PostResult::Queued) ++queued;
  EXPECT_EQ(queued, 62);  // 63 waiting at most; the held one has left the ring
  handler.hold = false;
  queue.waitIdle();
  EXPECT_TRUE(queue.idle());
  EXPECT_EQ(queue.post("after"), CommandQueue::PostResult::Queued);
  queue.close();
  EXPECT_EQ(handler.taken().size(), 2u + 62u + 1u);
}

// waitForRoom returns only once the worker has freed enough entries and
// both large slots, so a producer that waits there first never loses a text.
TEST(CommandQueueThreads, WaitingForRoomOutlastsABusyWorker) {
  RecordingHandler handler;
  handler.hold = true;
  CommandQueue queue(&handler);
  const std::string longText(5000, 'x');
  ASSERT_EQ(queue.post(longText.c_str()), CommandQueue::PostResult::Queued);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(queue.post("short"), CommandQueue::PostResult::Queued);
  std::atomic<bool> released{false};
  std::thread releaser([&] {
    usleep(30000);
    released = true;
    handler.hold = false;
  });
  queue.waitForRoom(16, CommandQueue::LargeSlots);
  EXPECT_TRUE(released.load());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(queue.post("more"), CommandQueue::PostResult::Queued);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(queue.post(longText.c_str()), CommandQueue::PostResult::Queued);
  releaser.join();
  queue.close();
  // A closed queue is never waited for.
  queue.waitForRoom(CommandQueue::SlotCount, CommandQueue::LargeSlots);
  EXPECT_EQ(handler.taken().size(), 1u + 50u + 16u + 2u);
}

TEST(CommandQueueThreads, TagsArePublishedBeforeTheirText) {
  struct TagReader : CommandHandler {
    CommandQueue* queue = nullptr;
    std::vector<uint64_t> seen;
    void handleLine(const char*) override { seen.push_back(queue->runningTag()); }
  } reader;
  CommandQueue queue(&reader);
  reader.queue = &queue;
  queue.post("a", 5);
  queue.post("b");
  queue.post("c", 9);
  queue.close();
  EXPECT_EQ(reader.seen, (std::vector<uint64_t>{5, 5, 9}));
}

}  // namespace
