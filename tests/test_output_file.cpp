// The writer of the tools' output files, on every kind of target: a
// regular file, or the file a link names, is replaced whole by one written
// beside it under a name nobody can predict, and keeps its permissions; a
// FIFO, or a link to one, is written straight into and stays a FIFO; a
// directory, a socket, a read-only file (also for root), a link loop and a
// FIFO nobody reads are refused and stay as they were. A write into a FIFO
// whose reader has gone fails without ending the process.
#include "common/output_file.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

enum class Kind { Missing, Regular, ReadOnly, Directory, Fifo, Socket, LinkLoop, MissingFolder };

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
      // The file a link names is created when it is missing; the link stays.
      {"link to a missing file", Kind::Missing, true, true, 'f'},
      {"link to itself", Kind::LinkLoop, false, false, 'l'},
      {"link into a missing folder", Kind::MissingFolder, true, false, '-'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
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
      case Kind::LinkLoop:
        ASSERT_EQ(symlink(file.c_str(), file.c_str()), 0);
        break;
      case Kind::MissingFolder:
        break;
    }
    const std::string linked = c.kind == Kind::MissingFolder ? dir.path("no/out") : file;
    if (c.viaLink) {
      ASSERT_EQ(symlink(linked.c_str(), link.c_str()), 0);
    }
    std::unique_ptr<FifoReader> reader;
    if (c.kind == Kind::Fifo) {
      reader.reset(new FifoReader(file));
      ASSERT_TRUE(reader->isOpen());
    }
    std::vector<std::string> namesAfter = dir.names();
    if (c.kind == Kind::Missing) namesAfter.push_back("out");
    std::sort(namesAfter.begin(), namesAfter.end());

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

// Whatever lies beside the target under a name of the temporaries' kind
// (the target's name, ".tmp" and a suffix), a link to another file above
// all, is neither opened nor changed: the temporary is a new file of a name
// nobody could foresee.
TEST(OutputFile, NothingAlreadyBesideTheTargetIsOpened) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string target = dir.path("out"), victim = dir.path("victim");
  std::ofstream(victim) << "victim";
  const std::string pid = std::to_string(getpid());
  ASSERT_EQ(symlink(victim.c_str(), (target + ".tmp" + pid).c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), (target + ".tmp").c_str()), 0);
  std::ofstream(target + ".tmp0000000000") << "planted";
  ASSERT_EQ(symlink("victim", (target + ".tmpaaaaaaaaaa").c_str()), 0);
  const std::vector<std::string> before = dir.names();

  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing target" : "new target");
    if (existing) std::ofstream(target) << "old";
    OutputFile out;
    ASSERT_TRUE(out.open(target));
    std::fputs(Text.c_str(), out.stream());
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(readFile(target), Text);
    EXPECT_EQ(kindOf(target, false), 'f');
    EXPECT_EQ(readFile(victim), "victim");
    EXPECT_EQ(readFile(target + ".tmp0000000000"), "planted");
    std::vector<std::string> expected = before;
    expected.push_back("out");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.names(), expected);
  }
}

// A replaced file keeps its permission bits and, where the process may set
// them (root), its owner and group; a file with no write bit at all is
// refused also for root, and keeps its text and bits. A new file gets 0666
// less the umask.
TEST(OutputFile, AReplacedFileKeepsItsPermissionsAndOwner) {
  const struct {
    mode_t mode;
    bool opens;
  } cases[] = {{0600, true}, {0640, true}, {0604, true}, {0620, true}, {0200, true},
               {0444, false}, {0400, false}, {0555, false}, {0000, false}};
  // Someone other than the process, where it may hand a file over.
  const uid_t otherUser = 65534;
  const gid_t otherGroup = 65534;
  for (const auto& c : cases) {
    for (const bool viaLink : {false, true}) {
      SCOPED_TRACE(std::to_string(c.mode) + (viaLink ? " through a link" : ""));
      TempDirectory dir;
      ASSERT_TRUE(dir.ok());
      const std::string file = dir.path("out"), link = dir.path("link");
      std::ofstream(file) << "old";
      ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
      const bool givenAway = chown(file.c_str(), otherUser, otherGroup) == 0;
      // Changing the owner may clear bits; the test wants the mode as given.
      ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
      struct stat before;
      ASSERT_EQ(stat(file.c_str(), &before), 0);
      if (viaLink) {
        ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
      }

      OutputFile out;
      const bool opened = out.open(viaLink ? link : file);
      // The bits decide for root, who passes the system's own check; for
      // anyone else (the owner) both agree.
      EXPECT_EQ(opened, c.opens);
      if (opened) {
        std::fputs(Text.c_str(), out.stream());
        ASSERT_TRUE(out.commit());
      }
      struct stat after;
      ASSERT_EQ(stat(file.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & 07777, c.mode);
      if (givenAway) {
        EXPECT_EQ(after.st_uid, otherUser);
        EXPECT_EQ(after.st_gid, otherGroup);
      }
      if (opened) {
        EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not rewritten in place";
      } else {
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, 3);
      }
      if (viaLink) {
        EXPECT_EQ(kindOf(link, false), 'l');
      }
      EXPECT_EQ(dir.names().size(), viaLink ? 2u : 1u) << "no temporary is left";
      chmod(file.c_str(), 0600);
    }
  }

  for (const mode_t mask : {mode_t(022), mode_t(077), mode_t(002)}) {
    TempDirectory dir;
    ASSERT_TRUE(dir.ok());
    const mode_t previous = umask(mask);
    OutputFile out;
    const bool opened = out.open(dir.path("new"));
    if (opened) {
      std::fputs(Text.c_str(), out.stream());
      EXPECT_TRUE(out.commit());
    }
    umask(previous);
    ASSERT_TRUE(opened);
    struct stat st;
    ASSERT_EQ(stat(dir.path("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
  }
}

// A FIFO that nobody reads is refused at once instead of holding the
// command thread until a reader comes; through a link the same. The open
// runs in a child that a watchdog ends, so that a hang fails the test
// instead of stopping the run.
TEST(OutputFile, AFifoNobodyReadsIsRefusedWithoutWaiting) {
  for (const bool viaLink : {false, true}) {
    SCOPED_TRACE(viaLink ? "through a link" : "FIFO");
    TempDirectory dir;
    ASSERT_TRUE(dir.ok());
    const std::string fifo = dir.path("out.fifo"), link = dir.path("link");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    if (viaLink) {
      ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(20);
      OutputFile out;
      _exit(out.open(viaLink ? link : fifo) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the open hung";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "the open succeeded";
    EXPECT_EQ(kindOf(fifo, false), 'p');
    EXPECT_EQ(dir.names().size(), viaLink ? 2u : 1u);
  }
}

}  // namespace

namespace {

// Past the mode bits the system's own check decides, for anyone but root:
// a file of another user that only its owner may write, and a file in a
// folder where no temporary can be made, are refused and stay as they
// were. Run in a child that, when the tests run as root, becomes an
// ordinary user first, so this holds in CI too.
TEST(OutputFile, ForAnOrdinaryUserTheSystemDecides) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const std::string theirs = dir.path("theirs"), closed = dir.path("closed"), inside = dir.path("closed/open");
  std::ofstream(theirs) << "old";
  ASSERT_EQ(chmod(theirs.c_str(), 0644), 0);
  ASSERT_EQ(mkdir(closed.c_str(), 0755), 0);
  std::ofstream(inside) << "old";
  ASSERT_EQ(chmod(inside.c_str(), 0666), 0);
  ASSERT_EQ(chmod(closed.c_str(), 0555), 0);

  // The child's answer: bit 0 the file in the closed folder opened, bit 1
  // the other user's file opened, bit 2 the child became another user.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(20);
    const uid_t nobody = 65534;
    // Only root may change its user; anyone else stays the owner of both.
    const bool switched = setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0;
    int answer = switched ? 4 : 0;
    OutputFile first;
    if (first.open(inside)) answer |= 1;
    first.discard();
    OutputFile second;
    if (second.open(theirs)) answer |= 2;
    second.discard();
    _exit(answer);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  const int answer = WEXITSTATUS(status);
  EXPECT_EQ(answer & 1, 0) << "no temporary can be made in a folder without write permission";
  if (answer & 4) {
    EXPECT_EQ(answer & 2, 0) << "another user's file that only its owner may write";
  } else {
    EXPECT_EQ(answer & 2, 2) << "the owner's own file";
  }
  EXPECT_EQ(readFile(inside), "old");
  EXPECT_EQ(readFile(theirs), "old");
  ASSERT_EQ(chmod(closed.c_str(), 0755), 0);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"closed", "theirs"}));
  std::vector<std::string> insideNames;
  for (const auto& entry : std::filesystem::directory_iterator(closed)) insideNames.push_back(entry.path().filename());
  EXPECT_EQ(insideNames, std::vector<std::string>{"open"});
}

}  // namespace
