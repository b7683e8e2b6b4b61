// The output files of the tools (books, tables, memory images, networks),
// written as a whole.
//
// A regular file is replaced only by a complete new one: the text is
// written to a temporary file beside it and renamed over it once it has
// been written, flushed to the disk and closed without error, so a full
// disk, a write error or a kill leaves the old file as it was. A link is
// followed: the file it names is replaced and the link kept. A read-only
// file is refused. A missing file is created the same way.
//
// What is not a regular file cannot be replaced by one without being lost:
// a FIFO or a device (or a link to one) is opened and written straight
// into, and stays what it is. A directory is refused, as is anything else
// that cannot be opened for writing.
//
// Writing into a FIFO whose reader has gone raises SIGPIPE, which would end
// the process; while this thread writes straight into a target the signal
// is held back, so that the write just fails. One object is therefore used
// by one thread, from open() to commit() or discard().
#pragma once

#include <cstdio>
#include <string>

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
  // Finishes the write: false, with a regular target untouched, on any
  // error. Text already written into a FIFO or device cannot be taken back.
  bool commit();
  // Gives the write up: the temporary file is removed, a target written
  // straight into is just closed.
  void discard();

 private:
  bool openStraight(const std::string& target);
  // Closes the stream; false when flushing or closing failed.
  bool close();

  std::FILE* out_ = nullptr;
  std::string target_;
  std::string temporary_;  // empty when writing straight into the target
  bool holdingPipeSignal_ = false;
};
