#include "common/pipe_signal.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace {

sigset_t pipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

}  // namespace

void PipeSignalHold::hold() {
  if (holding_) return;
  const sigset_t pipe = pipeSignal();
  sigset_t previous;
  holding_ = pthread_sigmask(SIG_BLOCK, &pipe, &previous) == 0 && !sigismember(&previous, SIGPIPE);
}

void PipeSignalHold::release() {
  if (!holding_) return;
  // The SIGPIPE of a failed write is taken back before the signal is let
  // through again; the failure itself has been seen as EPIPE.
  const sigset_t pipe = pipeSignal();
  sigset_t pending;
  if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
    const timespec noWait{0, 0};
    sigtimedwait(&pipe, nullptr, &noWait);
  }
  pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
  holding_ = false;
}
