// Opening the files the engine reads without waiting: a regular file and a
// FIFO with a writer are read whole, through a stdio stream and through
// the parser's stream; a missing file, a directory, devices, a socket and a
// FIFO that nobody writes fail at once, with the error of their kind.
#include "common/input_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "support/fifo_writer.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::endsWithin;
using testsupport::FifoWriter;
using testsupport::passByAsWriter;
using testsupport::TempDirectory;

const std::string Text = "setoption name Hash value 64\nsecond line\n";
constexpr int GenerousSeconds = 10;

struct Result {
  bool returned = false;  // in time; false when the open or a read waited
  bool opened = false;
  int error = 0;
  std::string text;
};

void writeText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

// The whole text of a stdio stream, closed afterwards.
std::string readAll(std::FILE* f) {
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// Opens path the way the engine does (through the stdio stream, or through
// the parser's stream), calls opened() once it is open and reads it whole.
// When that waits too long, the path is passed by as a writer and
// release() lets the test's own writer go, which ends any wait.
Result openAndRead(const std::string& path, bool asStream, const std::function<void()>& opened = {},
                   const std::function<void()>& release = {}) {
  Result r;
  r.returned = endsWithin(
      GenerousSeconds,
      [&] {
        errno = 0;
        if (asStream) {
          InputFileStream in(path.c_str());
          r.error = errno;
          r.opened = in.is_open();
          EXPECT_EQ(r.opened, !in.fail()) << path;
          if (!r.opened) return;
          if (opened) opened();
          r.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else if (std::FILE* f = openInputFile(path.c_str(), "r")) {
          r.opened = true;
          if (opened) opened();
          r.text = readAll(f);
        } else {
          r.error = errno;
        }
      },
      [&] {
        passByAsWriter(path);
        if (release) release();
      });
  return r;
}

enum class Kind { Regular, Missing, Directory, CharacterDevice, Socket, FifoWithoutWriter, FifoOnceWritten };

TEST(InputFile, EachKindOfNameOpensOrFailsAtOnce) {
  const struct {
    const char* name;
    Kind kind;
    const char* device;  // for the device cases
    bool opens;
    int error;
  } cases[] = {
      {"regular file", Kind::Regular, nullptr, true, 0},
      {"missing file", Kind::Missing, nullptr, false, ENOENT},
      {"directory", Kind::Directory, nullptr, false, EISDIR},
      {"/dev/zero", Kind::CharacterDevice, "/dev/zero", false, ENXIO},
      {"/dev/null", Kind::CharacterDevice, "/dev/null", false, ENXIO},
      {"socket", Kind::Socket, nullptr, false, ENXIO},
      {"FIFO without a writer", Kind::FifoWithoutWriter, nullptr, false, ENXIO},
      // Its writer has gone: the text it wrote went with the last open
      // end, and what is left is a FIFO without a writer.
      {"FIFO whose writer has gone", Kind::FifoOnceWritten, nullptr, false, ENXIO},
  };
  for (const auto& c : cases) {
    for (const bool asStream : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (asStream ? " (parser's stream)" : " (stdio)"));
      TempDirectory dir;
      ASSERT_TRUE(dir.ok());
      std::string path = dir.path("input");
      int socketFd = -1;
      switch (c.kind) {
        case Kind::Regular:
          writeText(path, Text);
          break;
        case Kind::Missing:
          break;
        case Kind::Directory:
          ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
          break;
        case Kind::CharacterDevice:
          path = c.device;
          break;
        case Kind::Socket: {
          sockaddr_un address{};
          address.sun_family = AF_UNIX;
          ASSERT_LT(path.size(), sizeof address.sun_path);
          std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
          socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
          ASSERT_GE(socketFd, 0);
          ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
          break;
        }
        case Kind::FifoWithoutWriter:
          ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
          break;
        case Kind::FifoOnceWritten: {
          ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
          FifoWriter writer(path, Text);
          ASSERT_TRUE(writer.ok());
          break;
        }
      }
      const Result r = openAndRead(path, asStream);
      if (socketFd >= 0) ::close(socketFd);
      ASSERT_TRUE(r.returned) << "the open waited";
      EXPECT_EQ(r.opened, c.opens);
      if (c.opens) {
        EXPECT_EQ(r.text, Text);
      } else {
        EXPECT_EQ(r.error, c.error) << std::strerror(r.error);
      }
      if (c.kind == Kind::FifoWithoutWriter) {
        struct stat st;
        EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO stays";
      }
    }
  }
}

// A FIFO whose writer holds it open is read whole: when the writer has
// already written (the first byte, taken to see that a writer is there, is
// not lost) and when it writes only after the engine has opened the FIFO,
// the reads then waiting for its text.
TEST(InputFile, FifoWithAWriterIsReadWhole) {
  for (const bool writtenBefore : {true, false}) {
    for (const bool asStream : {false, true}) {
      SCOPED_TRACE(std::string(writtenBefore ? "written before the open" : "written after the open") +
                   (asStream ? " (parser's stream)" : " (stdio)"));
      TempDirectory dir;
      ASSERT_TRUE(dir.ok());
      const std::string path = dir.path("input.fifo");
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      FifoWriter writer(path, writtenBefore ? Text : "");
      ASSERT_TRUE(writer.ok());
      // Once the engine's side is open the writer may write (in two
      // pieces, the reads waiting for them whatever the timing) and go.
      std::thread later;
      const Result r = openAndRead(
          path, asStream,
          [&] {
            later = std::thread([&] {
              if (!writtenBefore) {
                usleep(10000);
                EXPECT_TRUE(writer.write(Text.substr(0, 10)));
                usleep(10000);
                EXPECT_TRUE(writer.write(Text.substr(10)));
              }
              writer.close();
            });
          },
          [&] { writer.close(); });
      if (later.joinable()) later.join();
      ASSERT_TRUE(r.returned) << "the read waited";
      EXPECT_TRUE(r.opened);
      EXPECT_EQ(r.text, Text);
    }
  }
}

// The parser's stream takes what the FIFO offers and no more: a parse that
// has all it needs returns while the writer still holds the FIFO open.
TEST(InputFile, ParserStreamDoesNotWaitForTheWriterToClose) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.path("net.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  FifoWriter writer(path, "3 1.5 2.5 ");
  ASSERT_TRUE(writer.ok());
  std::string parsed;
  const bool inTime = endsWithin(
      GenerousSeconds,
      [&] {
        InputFileStream in(path.c_str());
        int count = 0;
        double a = 0, b = 0;
        in >> count >> a >> b;
        parsed = in ? std::to_string(count) + " " + std::to_string(a) + " " + std::to_string(b) : "failed";
      },
      [&] { writer.close(); });
  EXPECT_TRUE(inTime) << "the parse waited for the writer to close";
  EXPECT_EQ(parsed, "3 1.500000 2.500000");
}

}  // namespace
