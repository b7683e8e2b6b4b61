#include "common/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

sigset_t pipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& target) {
  discard();
  target_ = target;
  temporary_.clear();
  if (target.empty()) return false;
  // Decided by what the name leads to, a link followed.
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) return openStraight(target);
    // An existing file that may not be written stays as it is; a link is
    // followed, so the file it names is replaced and the link kept.
    if (access(target.c_str(), W_OK) != 0) return false;
    if (char* resolved = realpath(target.c_str(), nullptr)) {
      target_ = resolved;
      std::free(resolved);
    }
  }
  // The temporary file lies in the target's directory, so the rename
  // stays within one file system; the process id keeps two engines apart.
  temporary_ = target_ + ".tmp" + std::to_string(getpid());
  out_ = std::fopen(temporary_.c_str(), "w");
  if (!out_) temporary_.clear();
  return out_ != nullptr;
}

bool OutputFile::openStraight(const std::string& target) {
  // Opening a FIFO waits for its reader. Nothing is created and nothing
  // truncated; should the name have become a regular file or a directory
  // since it was looked at, it is left alone.
  const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  out_ = fdopen(fd, "w");
  if (!out_) {
    ::close(fd);
    return false;
  }
  // A SIGPIPE this thread already holds back is the caller's affair.
  const sigset_t pipe = pipeSignal();
  sigset_t previous;
  holdingPipeSignal_ =
      pthread_sigmask(SIG_BLOCK, &pipe, &previous) == 0 && !sigismember(&previous, SIGPIPE);
  return true;
}

bool OutputFile::close() {
  const bool written = std::fflush(out_) == 0 && !std::ferror(out_);
  const bool closed = std::fclose(out_) == 0;
  out_ = nullptr;
  if (holdingPipeSignal_) {
    // The SIGPIPE of a failed write is taken back before the signal is let
    // through again; the failure itself has been seen as EPIPE.
    const sigset_t pipe = pipeSignal();
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
      const timespec noWait{0, 0};
      sigtimedwait(&pipe, nullptr, &noWait);
    }
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    holdingPipeSignal_ = false;
  }
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
