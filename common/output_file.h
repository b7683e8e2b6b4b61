// The output files of the tools (books, tables, memory images, networks),
// written as a whole.
//
// A regular file is replaced only by a complete new one: the text is
// written to a temporary file beside it and renamed over it once it has
// been written, flushed to the disk and closed without error, so a full
// disk, a write error or a kill leaves the old file as it was (a kill can
// leave the temporary behind). The temporary gets an unpredictable name
// and is created exclusively, so nothing that already lies beside the
// target, a planted link above all, is ever opened. The new file keeps the
// old one's permission bits, and its owner and group where the process may
// set them; a file that did not exist gets 0666 less the umask. Other hard
// links of a replaced file keep the old text.
//
// A link is followed to the file it names, which is replaced (or created,
// when its folder exists) while the link stays; a link that leads nowhere
// (a loop, a missing folder) is refused. A regular file without any write
// permission bit is refused whoever runs the engine, root included; for
// the rest the system decides whether it may be written.
//
// What is not a regular file cannot be replaced by one without being lost:
// a FIFO or a device (or a link to one) is opened and written straight
// into, and stays what it is. A FIFO that nobody reads is refused rather
// than waited for. A directory is refused, as is anything else that cannot
// be opened for writing.
//
// Writing into a FIFO whose reader has gone raises SIGPIPE, which would end
// the process; while this thread writes straight into a target the signal
// is held back, so that the write just fails. One object is therefore used
// by one thread, from open() to commit() or discard().
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "common/pipe_signal.h"

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an uncommitted write is discarded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the target for writing (see above); false when it cannot be
  // written, and nothing is changed.
  bool open(const std::string& target);
  std::FILE* stream() { return out_; }
  // Whether the open target is written straight into (a FIFO or a device)
  // rather than replaced by a file written beside it.
  bool writesStraight() const { return out_ != nullptr && temporary_.empty(); }
  // Finishes the write: false, with a regular target untouched, on any
  // error. Text already written into a FIFO or device cannot be taken back.
  bool commit();
  // Gives the write up: the temporary file is removed, a target written
  // straight into is just closed.
  void discard();

 private:
  bool openStraight(const std::string& target);
  // Creates the temporary beside target_ with the permissions (and, where
  // allowed, the owner) of the file it replaces; existing is null for a
  // new file.
  bool openTemporary(const struct stat* existing);
  // Closes the stream; false when flushing or closing failed.
  bool close();

  std::FILE* out_ = nullptr;
  std::string target_;
  std::string temporary_;  // empty when writing straight into the target
  PipeSignalHold pipeSignal_;
};
