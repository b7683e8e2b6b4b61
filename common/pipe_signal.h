// Holding back SIGPIPE on the calling thread while it writes into a FIFO or
// a pipe. Writing into one whose reader has gone raises the signal, which
// would end the process; held back, the write just fails with EPIPE.
#pragma once

class PipeSignalHold {
 public:
  PipeSignalHold() = default;
  ~PipeSignalHold() { release(); }
  PipeSignalHold(const PipeSignalHold&) = delete;
  PipeSignalHold& operator=(const PipeSignalHold&) = delete;

  // Blocks SIGPIPE for this thread; a signal this thread already holds back
  // stays the caller's affair, and release() then leaves it alone.
  void hold();
  // Takes back a SIGPIPE raised while held and lets the signal through
  // again. Does nothing when hold() blocked nothing.
  void release();

 private:
  bool holding_ = false;
};
