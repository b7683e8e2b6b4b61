#include "common/append_without_waiting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/pipe_signal.h"

namespace {

int openRetrying(const char* name, int flags) {
  int fd;
  do {
    fd = ::open(name, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens name for writing, appending or emptying a regular file first,
// creating a missing file, never waiting for a FIFO's reader: -1 when that
// cannot be done at once.
//
// Root passes every access check, so a regular file that its owner made
// read-only (no write permission bit at all) is recognised by its mode and
// refused whoever runs the engine, before anything is written or cut.
int openWithoutWaiting(const char* name, bool append) {
  if (name == nullptr || name[0] == '\0') return -1;
  const int base = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (append ? O_APPEND : 0);
  int fd = openRetrying(name, base);
  // A file this open has just created is the process's own whatever the
  // umask left of its bits.
  if (fd < 0 && errno == ENOENT) return openRetrying(name, base | O_CREAT);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) ||
      (S_ISREG(st.st_mode) && !append && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

}  // namespace

int openForAppendWithoutWaiting(const char* name) { return openWithoutWaiting(name, true); }

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
  const int fd = openWithoutWaiting(name, append);
  if (fd < 0) return nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  std::FILE* stream =
      flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? ::fdopen(fd, append ? "a" : "w") : nullptr;
  if (stream == nullptr) ::close(fd);
  return stream;
}
