#include "common/append_without_waiting.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/pipe_signal.h"

namespace {

// Opens name for writing with the extra flags how, creating a missing file,
// never waiting for a FIFO's reader: -1 when that cannot be done at once.
int openWithoutWaiting(const char* name, int how) {
  if (name == nullptr || name[0] == '\0') return -1;
  int fd;
  do {
    fd = ::open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | how, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

int openForAppendWithoutWaiting(const char* name) { return openWithoutWaiting(name, O_APPEND); }

bool appendWithoutWaiting(const char* name, const char* text, size_t length) {
  const int fd = openForAppendWithoutWaiting(name);
  if (fd < 0) return false;
  // A write of a line this short into a pipe is whole or not at all; a
  // full pipe answers EAGAIN at once because of O_NONBLOCK, and a reader
  // that has gone answers EPIPE instead of ending the process.
  PipeSignalHold pipeSignal;
  pipeSignal.hold();
  ssize_t n;
  do {
    n = ::write(fd, text, length);
  } while (n < 0 && errno == EINTR);
  pipeSignal.release();
  const bool closed = ::close(fd) == 0;
  return n == ssize_t(length) && closed;
}

std::FILE* openStreamWithoutWaiting(const char* name, bool append) {
  const int fd = openWithoutWaiting(name, append ? O_APPEND : O_TRUNC);
  if (fd < 0) return nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  std::FILE* stream =
      flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? ::fdopen(fd, append ? "a" : "w") : nullptr;
  if (stream == nullptr) ::close(fd);
  return stream;
}
