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
//
// In the end-of-input mode the reader stops, as "cat fifo" does, at the
// first end of input: when the last writer that came has closed its end,
// even if it wrote nothing. A later writer finds nobody reading.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "temp_text_file.h"

namespace testsupport {

class FifoReader {
 public:
  enum Mode { ReadAll, HangUpAtFirstBytes, UntilEndOfInput };

  explicit FifoReader(const std::string& fifo, Mode mode = ReadAll)
      : fd_(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) return;
    if (mode == HangUpAtFirstBytes) fcntl(fd_, F_SETPIPE_SZ, int(sysconf(_SC_PAGESIZE)));
    capacity_ = size_t(fcntl(fd_, F_GETPIPE_SZ));
    thread_ = std::thread(mode == ReadAll              ? &FifoReader::readAll
                          : mode == HangUpAtFirstBytes ? &FifoReader::hangUp
                                                       : &FifoReader::readUntilEndOfInput,
                          this);
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

  void readUntilEndOfInput() {
    for (;;) {
      // Before any writer came the pipe shows no event; once the last
      // writer has gone it shows a hang-up, and the read gives 0.
      pollfd event{fd_, POLLIN, 0};
      if (poll(&event, 1, 10) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
          text_.append(buffer, size_t(n));
          continue;
        }
        if (n == 0) {
          ::close(fd_);
          closed_ = true;
          return;
        }
      }
      if (writerDone_) return;
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

// Runs write(name) into a regular file and into a FIFO, or into a link to
// one, in a directory of its own: both writes succeed with nothing on
// standard error, the FIFO stays a FIFO (the link a link), and its reader
// gets exactly the text of the regular file.
inline void expectWrittenStraightIntoFifo(const std::function<bool(const std::string&)>& write, bool viaLink) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string plain = dir.path("plain"), fifo = dir.path("out.fifo"), link = dir.path("link");
  ASSERT_TRUE(write(plain));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  if (viaLink) {
    ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
  }
  FifoReader reader(fifo);
  ASSERT_TRUE(reader.isOpen());
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(write(viaLink ? link : fifo));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  const std::string received = reader.finish(), expected = readFile(plain);
  EXPECT_FALSE(received.empty());
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
  struct stat st;
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (viaLink) {
    EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  }
}

}  // namespace testsupport
