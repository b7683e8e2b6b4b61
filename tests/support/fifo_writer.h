// The writing end of a FIFO, for tests of code that reads one: the writer
// is there before the reader comes, as a program that feeds the FIFO is,
// and stays until the test lets it go. Also a guard for reads that might
// wait: the work runs on a thread of its own, and a wait that lasts too
// long is ended and reported instead of hanging the test.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace testsupport {

class FifoWriter {
 public:
  // Opens the existing FIFO for writing and writes text into it. A reader
  // of its own lets the open go through without waiting; it is closed
  // again at once, the text staying in the FIFO for the next reader.
  FifoWriter(const std::string& fifo, const std::string& text) {
    const int keeper = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (keeper < 0) return;
    fd_ = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (!write(text)) close();
    ::close(keeper);
  }
  ~FifoWriter() { close(); }
  FifoWriter(const FifoWriter&) = delete;
  FifoWriter& operator=(const FifoWriter&) = delete;

  bool ok() const { return fd_ >= 0; }
  // More text; false when the writer has gone or the text did not fit.
  bool write(const std::string& text) {
    const int fd = fd_;
    return fd >= 0 && (text.empty() || ::write(fd, text.data(), text.size()) == ssize_t(text.size()));
  }
  // The writer goes; a reader then reads to the end of the text. Safe from
  // any thread and more than once.
  void close() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
  }

 private:
  std::atomic<int> fd_{-1};
};

// Runs work on a thread of its own: true when it ends within the time.
// Otherwise release() is called, which must end whatever work waits for
// (a writer to come or to go), the thread is joined and false returned.
inline bool endsWithin(int seconds, const std::function<void()>& work, const std::function<void()>& release) {
  std::promise<void> done;
  std::future<void> ended = done.get_future();
  std::thread worker([&] {
    work();
    done.set_value();
  });
  const bool inTime = ended.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
  if (!inTime) release();
  worker.join();
  return inTime;
}

// Opens the FIFO for writing once, without waiting: a reader waiting in
// its open for a writer goes on (and finds the end of the file).
inline void passByAsWriter(const std::string& fifo) {
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
}

}  // namespace testsupport
