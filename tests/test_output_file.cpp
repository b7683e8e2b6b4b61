// The writer of the tools' output files, on every kind of target: a
// regular file, or the file a link names, is replaced whole by one written
// beside it; a FIFO, or a link to one, is written straight into and stays
// a FIFO; a directory, a socket and a read-only file are refused and stay
// as they were. A write into a FIFO whose reader has gone fails without
// ending the process.
#include "common/output_file.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/fifo_reader.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::FifoReader;
using testsupport::readFile;
using testsupport::TempDirectory;

const std::string Text = "first line\nsecond line\n";

enum class Kind { Missing, Regular, ReadOnly, Directory, Fifo, Socket };

// The kind of what the path names ('-' nothing, 'l' a link when not
// followed, 'f', 'd', 'p' or 's').
char kindOf(const std::string& path, bool followLinks) {
  struct stat st;
  if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return '-';
  if (S_ISLNK(st.st_mode)) return 'l';
  if (S_ISREG(st.st_mode)) return 'f';
  if (S_ISDIR(st.st_mode)) return 'd';
  if (S_ISFIFO(st.st_mode)) return 'p';
  if (S_ISSOCK(st.st_mode)) return 's';
  return '?';
}

// A Unix socket bound to the path (nobody listens); -1 when it cannot be made.
int bindSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(OutputFile, EveryKindOfTargetKeepsItsKind) {
  const struct {
    const char* name;
    Kind kind;
    bool viaLink;
    bool opens;
    char kindAfter;  // of the file itself, the link followed
  } cases[] = {
      {"missing file", Kind::Missing, false, true, 'f'},
      {"regular file", Kind::Regular, false, true, 'f'},
      {"link to a regular file", Kind::Regular, true, true, 'f'},
      {"read-only file", Kind::ReadOnly, false, false, 'f'},
      {"link to a read-only file", Kind::ReadOnly, true, false, 'f'},
      {"directory", Kind::Directory, false, false, 'd'},
      {"link to a directory", Kind::Directory, true, false, 'd'},
      {"FIFO", Kind::Fifo, false, true, 'p'},
      {"link to a FIFO", Kind::Fifo, true, true, 'p'},
      {"socket", Kind::Socket, false, false, 's'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Root may write any file; the read-only cases are for other users.
    if (c.kind == Kind::ReadOnly && geteuid() == 0) continue;
    TempDirectory dir;
    ASSERT_TRUE(dir.ok());
    const std::string file = dir.path("out"), link = dir.path("link");
    int socketFd = -1;
    switch (c.kind) {
      case Kind::Missing:
        break;
      case Kind::Regular:
      case Kind::ReadOnly:
        std::ofstream(file) << "old";
        if (c.kind == Kind::ReadOnly) {
          ASSERT_EQ(chmod(file.c_str(), 0444), 0);
        }
        break;
      case Kind::Directory:
        ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
        break;
      case Kind::Fifo:
        ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
        break;
      case Kind::Socket:
        socketFd = bindSocket(file);
        ASSERT_GE(socketFd, 0);
        break;
    }
    if (c.viaLink) {
      ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    }
    std::unique_ptr<FifoReader> reader;
    if (c.kind == Kind::Fifo) {
      reader.reset(new FifoReader(file));
      ASSERT_TRUE(reader->isOpen());
    }
    std::vector<std::string> namesAfter = dir.names();
    if (c.kind == Kind::Missing) namesAfter = {"out"};

    OutputFile out;
    EXPECT_EQ(out.open(c.viaLink ? link : file), c.opens);
    if (c.opens) {
      ASSERT_NE(out.stream(), nullptr);
      std::fputs(Text.c_str(), out.stream());
      EXPECT_TRUE(out.commit());
    }
    const std::string received = reader ? reader->finish() : std::string();

    EXPECT_EQ(kindOf(file, false), c.kindAfter);
    if (c.viaLink) {
      EXPECT_EQ(kindOf(link, false), 'l');
    }
    // No temporary file is left beside the target.
    EXPECT_EQ(dir.names(), namesAfter);
    if (c.kind == Kind::Fifo) {
      EXPECT_EQ(received, Text);
    }
    if (c.kindAfter == 'f') {
      EXPECT_EQ(readFile(file), c.opens ? Text : "old");
    }
    if (socketFd >= 0) close(socketFd);
  }
}

// The reader takes the first bytes and hangs up; the writer has more than
// the pipe holds, so a later write fails: the commit says so, the FIFO
// stays, and the SIGPIPE of the failed write neither ends the process nor
// stays pending or blocked afterwards.
TEST(OutputFile, AFifoWhoseReaderHangsUpFailsTheCommit) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string fifo = dir.path("out.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  FifoReader reader(fifo, FifoReader::HangUpAtFirstBytes);
  ASSERT_TRUE(reader.isOpen());
  std::string text;
  while (text.size() <= 4 * reader.capacity()) text += Text;

  OutputFile out;
  ASSERT_TRUE(out.open(fifo));
  std::fwrite(text.data(), 1, text.size(), out.stream());
  EXPECT_FALSE(out.commit());
  reader.finish();
  EXPECT_TRUE(reader.hungUp());
  EXPECT_EQ(kindOf(fifo, false), 'p');
  EXPECT_EQ(dir.names(), std::vector<std::string>{"out.fifo"});

  sigset_t blocked, pending;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_FALSE(sigismember(&blocked, SIGPIPE));
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

// A write given up before its commit takes nothing away: a regular file
// keeps its old text and loses only the temporary, a FIFO stays.
TEST(OutputFile, ADiscardedWriteLeavesTheTarget) {
  for (const bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "FIFO" : "regular file");
    TempDirectory dir;
    ASSERT_TRUE(dir.ok());
    const std::string file = dir.path("out");
    if (fifo) {
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    } else {
      std::ofstream(file) << "old";
    }
    std::unique_ptr<FifoReader> reader(fifo ? new FifoReader(file) : nullptr);
    {
      OutputFile out;
      ASSERT_TRUE(out.open(file));
      std::fputs(Text.c_str(), out.stream());
      out.discard();
      EXPECT_EQ(out.stream(), nullptr);
    }
    if (reader) reader->finish();
    EXPECT_EQ(kindOf(file, false), fifo ? 'p' : 'f');
    if (!fifo) {
      EXPECT_EQ(readFile(file), "old");
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out"});
  }
}

}  // namespace
