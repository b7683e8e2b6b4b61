#include "common/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace {

// As many links in a row as the system itself follows before it calls the
// chain a loop.
constexpr int MaxLinkHops = 40;
// Names tried for the temporary before giving up; with 60 random bits a
// second try is already as good as never needed.
constexpr int TemporaryAttempts = 16;
constexpr mode_t PermissionBits = 0777;

// Follows the links at the end of name to the name of what they lead to,
// which need not exist; false for a loop, a link too long to read or a
// name that cannot be looked at. Links within the folders of the name are
// left to the system.
bool followLinks(const std::string& name, std::string& out) {
  std::string path = name;
  for (int hops = 0; hops <= MaxLinkHops; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      out = path;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      out = path;
      return true;
    }
    char text[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), text, sizeof text);
    if (n <= 0 || size_t(n) >= sizeof text) return false;
    const std::string linked(text, size_t(n));
    // A relative link names a file beside the link.
    if (linked[0] == '/') {
      path = linked;
    } else {
      const size_t slash = path.rfind('/');
      path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + linked;
    }
  }
  return false;
}

// Ten characters nobody can guess, for the temporary's name.
std::string randomSuffix() {
  static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != ssize_t(sizeof bits)) {
    // Without the kernel's generator the clock, the process and a count
    // still make every name of this process new.
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    bits = uint64_t(now.tv_sec) * 1000000007ULL ^ uint64_t(now.tv_nsec) ^ (uint64_t(getpid()) << 40) ^
           counter.fetch_add(0x9E3779B97F4A7C15ULL);
    bits ^= bits >> 31;
    bits *= 0xBF58476D1CE4E5B9ULL;
    bits ^= bits >> 29;
  }
  std::string s;
  for (int i = 0; i < 10; ++i, bits >>= 6) s += Alphabet[bits & 63];
  return s;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& target) {
  discard();
  target_.clear();
  temporary_.clear();
  if (target.empty()) return false;
  std::string path;
  if (!followLinks(target, path)) return false;
  struct stat st;
  const bool exists = lstat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) return openStraight(path);
    // Root passes every access check, so a file that its owner made
    // read-only is recognised by its mode bits.
    if ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) return false;
  }
  target_ = path;
  return openTemporary(exists ? &st : nullptr);
}

bool OutputFile::openTemporary(const struct stat* existing) {
  int fd = -1;
  for (int attempt = 0; attempt < TemporaryAttempts && fd < 0; ++attempt) {
    temporary_ = target_ + ".tmp" + randomSuffix();
    // A new file gets the usual 0666 less the umask from the system; one
    // that replaces a file starts private and gets that file's bits below.
    fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                existing ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    temporary_.clear();
    return false;
  }
  bool ok = true;
  if (existing) {
    // The owner first: changing it may clear bits that the mode then sets.
    // Only root may give a file away; a group of one's own is allowed too.
    // Where neither is allowed the new file stays with this process's.
    const bool owned =
        fchown(fd, existing->st_uid, existing->st_gid) == 0 || fchown(fd, uid_t(-1), existing->st_gid) == 0;
    (void)owned;
    const mode_t wanted = existing->st_mode & PermissionBits;
    if (fchmod(fd, wanted) != 0) {
      // Some file systems fix the bits; that is fine as long as the new
      // file shows nobody more than the old one did.
      struct stat now;
      ok = fstat(fd, &now) == 0 && (now.st_mode & PermissionBits & ~wanted) == 0;
    }
  }
  if (ok) out_ = fdopen(fd, "w");
  if (!out_) {
    ::close(fd);
    unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  return true;
}

bool OutputFile::openStraight(const std::string& target) {
  // A FIFO without a reader would keep the open waiting for ever; opened
  // without waiting it is refused instead. Nothing is created and nothing
  // truncated; should the name have become a link, a regular file or a
  // directory since it was looked at, it is left alone.
  const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st;
  const int flags = fcntl(fd, F_GETFL);
  // Writes wait for a slow reader as usual.
  if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  out_ = fdopen(fd, "w");
  if (!out_) {
    ::close(fd);
    return false;
  }
  pipeSignal_.hold();
  return true;
}

bool OutputFile::close() {
  const bool written = std::fflush(out_) == 0 && !std::ferror(out_);
  const bool closed = std::fclose(out_) == 0;
  out_ = nullptr;
  pipeSignal_.release();
  return written && closed;
}

bool OutputFile::commit() {
  if (!out_) return false;
  if (temporary_.empty()) return close();
  // The text must be on the disk before the new file takes the old one's
  // name, or a crash could leave an empty file in its place.
  const bool synced = std::fflush(out_) == 0 && fsync(fileno(out_)) == 0;
  const bool closed = close();
  if (!synced || !closed || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    std::remove(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::discard() {
  if (!out_) return;
  close();
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}
