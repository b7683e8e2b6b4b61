#include "book/safe_file.h"

#include <unistd.h>

#include <cstdio>

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::open(const std::string& target) {
  discard();
  // The temporary file lies in the target's directory, so the rename
  // stays within one file system; the process id keeps two engines apart.
  target_ = target;
  temporary_ = target + ".tmp" + std::to_string(getpid());
  if (target.empty()) return false;
  out_ = std::fopen(temporary_.c_str(), "w");
  return out_ != nullptr;
}

bool ReplacingFile::commit() {
  if (!out_) return false;
  const bool written = std::fflush(out_) == 0 && !std::ferror(out_) && fsync(fileno(out_)) == 0;
  const bool closed = std::fclose(out_) == 0;
  out_ = nullptr;
  if (!written || !closed || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    std::remove(temporary_.c_str());
    return false;
  }
  return true;
}

void ReplacingFile::discard() {
  if (!out_) return;
  std::fclose(out_);
  out_ = nullptr;
  std::remove(temporary_.c_str());
}
