// The far end of a FIFO, for tests of code that writes into one.
//
// The read end is opened without waiting before the writer comes, so the
// writer's open never blocks, and a thread takes what arrives. Nothing here
// waits for a writer that may never come: once the test says the writer is
// done (finish()), what is left in the pipe is read and the end closed.
//
// In the hang-up mode the reader shrinks the pipe to one page, reads
// nothing and closes its end as soon as the first bytes have arrived: a
// writer with more than the pipe holds is then left with a write that
// fails (EPIPE, and SIGPIPE unless it is held back).
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace testsupport {

class FifoReader {
 public:
  enum Mode { ReadAll, HangUpAtFirstBytes };

  explicit FifoReader(const std::string& fifo, Mode mode = ReadAll)
      : fd_(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) return;
    if (mode == HangUpAtFirstBytes) fcntl(fd_, F_SETPIPE_SZ, int(sysconf(_SC_PAGESIZE)));
    capacity_ = size_t(fcntl(fd_, F_GETPIPE_SZ));
    thread_ = std::thread(mode == ReadAll ? &FifoReader::readAll : &FifoReader::hangUp, this);
  }
  ~FifoReader() { finish(); }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  // Bytes the pipe holds before a writer has to wait.
  size_t capacity() const { return capacity_; }

  // The writer is done: everything it wrote, in hang-up mode nothing.
  std::string finish() {
    writerDone_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0 && !closed_) ::close(fd_);
    closed_ = true;
    return text_;
  }
  // Whether the reader hung up on a writer.
  bool hungUp() const { return hungUp_; }

 private:
  void readAll() {
    for (;;) {
      const bool last = writerDone_;
      char buffer[4096];
      ssize_t n;
      while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) text_.append(buffer, size_t(n));
      if (last) return;
      usleep(1000);
    }
  }

  void hangUp() {
    while (!writerDone_) {
      int available = 0;
      if (ioctl(fd_, FIONREAD, &available) == 0 && available > 0) {
        ::close(fd_);
        closed_ = true;
        hungUp_ = true;
        return;
      }
      usleep(1000);
    }
  }

  const int fd_;
  bool closed_ = false;  // set by the thread only before it ends
  size_t capacity_ = 0;
  std::atomic<bool> writerDone_{false};
  std::atomic<bool> hungUp_{false};
  std::string text_;
  std::thread thread_;
};

}  // namespace testsupport
