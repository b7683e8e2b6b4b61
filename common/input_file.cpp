#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool readable(mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); }

// Fails with the error for a name that is there but is no file the engine
// may read.
int refuse(mode_t mode) {
  errno = S_ISDIR(mode) ? EISDIR : ENXIO;
  return -1;
}

int closeKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return -1;
}

// Opens name for reading without waiting (see the header): the descriptor,
// in blocking mode again, or -1 with errno set. first is the byte already
// taken from a FIFO to see whether it has a writer, EOF when none was.
int openDescriptor(const char* name, int& first) {
  first = EOF;
  if (name == nullptr) {
    errno = EINVAL;
    return -1;
  }
  // Looked at before it is opened: opening a device can itself do
  // something (rewind a tape, arm a watchdog), and it is refused anyway.
  struct stat st;
  if (::stat(name, &st) != 0) return -1;
  if (!readable(st.st_mode)) return refuse(st.st_mode);
  // Without O_NONBLOCK the open of a FIFO waits for a writer.
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // The name may have been given to something else since it was looked at.
  if (::fstat(fd, &st) != 0) return closeKeepingErrno(fd);
  if (!readable(st.st_mode)) {
    ::close(fd);
    return refuse(st.st_mode);
  }

  // A FIFO opened without waiting gives no sign of a writer; one read
  // does, and it ends at once: end of file when nobody holds the other
  // end, EAGAIN when a writer is there but has written nothing yet, else
  // the first byte of its text, which the caller hands on. A writer still
  // waiting in its own open already counts as there.
  if (S_ISFIFO(st.st_mode)) {
    unsigned char byte = 0;
    ssize_t n;
    do {
      n = ::read(fd, &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
      ::close(fd);
      errno = ENXIO;
      return -1;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return closeKeepingErrno(fd);
    if (n == 1) first = byte;
  }

  // From here on reads wait for the text as usual.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return closeKeepingErrno(fd);
  return fd;
}

}  // namespace

std::FILE* openInputFile(const char* name, const char* mode) {
  int first;
  const int fd = openDescriptor(name, first);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, mode ? mode : "rb");
  if (file == nullptr) {
    closeKeepingErrno(fd);
    return nullptr;
  }
  if (first != EOF && std::ungetc(first, file) == EOF) {
    std::fclose(file);
    errno = EIO;
    return nullptr;
  }
  return file;
}

InputFileStream::InputFileStream(const char* name) : std::istream(nullptr) {
  int first;
  const int fd = openDescriptor(name, first);
  buffer_.hold(fd, first);
  rdbuf(&buffer_);
  if (buffer_.fd < 0) setstate(std::ios_base::failbit);
}

InputFileStream::~InputFileStream() {
  if (buffer_.fd >= 0) ::close(buffer_.fd);
}

void InputFileStream::Buffer::hold(int descriptor, int first) {
  fd = descriptor;
  if (first == EOF) return;
  bytes[0] = static_cast<char>(first);
  setg(bytes, bytes, bytes + 1);
}

InputFileStream::Buffer::int_type InputFileStream::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (fd < 0) return traits_type::eof();
  ssize_t n;
  do {
    n = ::read(fd, bytes, sizeof bytes);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return traits_type::eof();
  setg(bytes, bytes, bytes + n);
  return traits_type::to_int_type(*gptr());
}
