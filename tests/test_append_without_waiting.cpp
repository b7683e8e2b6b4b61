// The writers that never wait (logs, test-position files): each of them
// appends to or empties a regular file it may write, creates a missing one,
// and refuses a regular file without any write permission bit whoever
// runs them, root included, leaving it as it was.
#include "common/append_without_waiting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "support/temp_text_file.h"

namespace {

using testsupport::readFile;
using testsupport::TempDirectory;

const std::string Old = "old line\n", New = "new line\n";

// Writes New through one of the writers; false when it refused the file.
struct Writer {
  const char* name;
  bool appends;  // else the file is emptied first
  std::function<bool(const std::string&)> write;
};

bool writeThroughDescriptor(const std::string& path) {
  const int fd = openForAppendWithoutWaiting(path.c_str());
  if (fd < 0) return false;
  const bool written = ::write(fd, New.data(), New.size()) == ssize_t(New.size());
  return ::close(fd) == 0 && written;
}

bool writeThroughStream(const std::string& path, bool append) {
  std::FILE* f = openStreamWithoutWaiting(path.c_str(), append);
  if (!f) return false;
  const bool written = std::fputs(New.c_str(), f) >= 0;
  return std::fclose(f) == 0 && written;
}

const Writer Writers[] = {
    {"descriptor for appending", true, writeThroughDescriptor},
    {"one appended line", true,
     [](const std::string& path) { return appendWithoutWaiting(path.c_str(), New.data(), New.size()); }},
    {"stream for appending", true, [](const std::string& path) { return writeThroughStream(path, true); }},
    {"stream that empties the file", false, [](const std::string& path) { return writeThroughStream(path, false); }},
};

mode_t modeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(AppendWithoutWaiting, RegularFilesByTheirWriteBits) {
  const struct {
    const char* what;
    int mode;  // -1: no file there
    bool accepted;
  } targets[] = {
      {"a file its owner may write", 0644, true},
      {"a file only its owner may write", 0200, true},
      {"a file without any write bit", 0444, false},
      {"a file without any permission bit", 0000, false},
      {"no file yet", -1, true},
  };
  for (const Writer& writer : Writers) {
    for (const auto& t : targets) {
      SCOPED_TRACE(std::string(writer.name) + ", " + t.what);
      TempDirectory dir;
      ASSERT_TRUE(dir.ok());
      const std::string path = dir.path("log.txt");
      if (t.mode >= 0) {
        std::ofstream(path) << Old;
        ASSERT_EQ(chmod(path.c_str(), mode_t(t.mode)), 0);
      }
      EXPECT_EQ(writer.write(path), t.accepted);
      if (t.mode >= 0) {
        EXPECT_EQ(modeOf(path), mode_t(t.mode));
        ASSERT_EQ(chmod(path.c_str(), 0644), 0);  // to read it back as anyone
        EXPECT_EQ(readFile(path), !t.accepted ? Old : writer.appends ? Old + New : New);
      } else {
        EXPECT_EQ(readFile(path), New);
      }
    }
  }
}

// A new file gets its bits from the umask, which may leave it none to
// write with; the file is the writer's own all the same, and is written.
TEST(AppendWithoutWaiting, AFileItCreatesIsWrittenWhateverTheUmask) {
  for (const Writer& writer : Writers) {
    SCOPED_TRACE(writer.name);
    TempDirectory dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.path("log.txt");
    // In a child, for the umask is the whole process's.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      umask(0222);
      _exit(writer.write(path) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(modeOf(path), 0444u);
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(readFile(path), New);
  }
}

TEST(AppendWithoutWaiting, NamesThatNameNoWritableFileAreRefused) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string names[] = {"", dir.path(), dir.path("missing-folder/log.txt")};
  for (const Writer& writer : Writers)
    for (const std::string& name : names) EXPECT_FALSE(writer.write(name)) << writer.name << ": '" << name << "'";
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace
