#include "common/output_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& target) {
  discard();
  // The temporary file lies in the target's directory, so the rename
  // stays within one file system; the process id keeps two engines apart.
  target_ = target;
  if (target.empty()) return false;
  // An existing file that may not be written stays as it is; a link is
  // followed, so the file it names is replaced and the link kept.
  if (access(target.c_str(), F_OK) == 0) {
    if (access(target.c_str(), W_OK) != 0) return false;
    if (char* resolved = realpath(target.c_str(), nullptr)) {
      target_ = resolved;
      std::free(resolved);
    }
  }
  temporary_ = target_ + ".tmp" + std::to_string(getpid());
  out_ = std::fopen(temporary_.c_str(), "w");
  return out_ != nullptr;
}

bool OutputFile::commit() {
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

void OutputFile::discard() {
  if (!out_) return;
  std::fclose(out_);
  out_ = nullptr;
  std::remove(temporary_.c_str());
}
