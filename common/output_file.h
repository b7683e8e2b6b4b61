// Output files that are replaced only by a complete new file: the text is
// written to a temporary file beside the target and renamed over it once
// it has been written and closed without error. A full disk, a write error
// or a kill leaves the old file as it was.
#pragma once

#include <cstdio>
#include <string>

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an uncommitted temporary file is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false when it cannot be created.
  bool open(const std::string& target);
  std::FILE* stream() { return out_; }
  // Flushes, closes and renames over the target; false (and the target
  // untouched) on any error.
  bool commit();
  // Drops the temporary file.
  void discard();

 private:
  std::FILE* out_ = nullptr;
  std::string target_;
  std::string temporary_;
};
