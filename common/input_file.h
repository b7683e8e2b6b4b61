// Opening the files the engine reads (books, networks, tables, PGN games,
// memory images, Brakken.ini) without ever waiting for them.
//
// A FIFO that no program writes would keep a plain open waiting for ever,
// and the engine would read no more commands, not even "quit". Such a FIFO
// is refused at once, as is everything that is neither a regular file nor
// a FIFO (a directory, a device, a socket), so that each fails the way a
// missing file fails. A FIFO that a writer holds open, even one that has
// not written yet, is read: reads then wait for its text as usual.
#pragma once

#include <cstdio>
#include <istream>
#include <streambuf>

// Opens name for reading as std::fopen(name, mode) does, mode being a
// reading mode ("r" or "rb"); nullptr, with errno set (ENOENT and the like
// from the system, EISDIR for a directory, ENXIO for a FIFO without a
// writer or a file of any other kind), when it cannot be read that way.
std::FILE* openInputFile(const char* name, const char* mode = "rb");

// A file opened as openInputFile opens it, for readers that parse with the
// stream operators. When the file cannot be opened the stream starts
// failed and is_open() is false. The file is read as the parser goes.
class InputFileStream : public std::istream {
 public:
  explicit InputFileStream(const char* name);
  ~InputFileStream() override;
  InputFileStream(const InputFileStream&) = delete;
  InputFileStream& operator=(const InputFileStream&) = delete;

  bool is_open() const { return buffer_.fd >= 0; }

 private:
  // Each refill is one read of what the file offers, so a parser that has
  // all it needs from a FIFO does not wait for the writer to close it.
  struct Buffer : std::streambuf {
    // Takes the open descriptor and the byte already read from it (EOF
    // for none).
    void hold(int descriptor, int first);
    int_type underflow() override;

    int fd = -1;
    char bytes[4096];
  };
  Buffer buffer_;
};
