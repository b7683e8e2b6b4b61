// A file with the given contents under the test temporary directory,
// removed again when the object goes. The process id keeps tests that run
// side by side apart.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace testsupport {

class TempTextFile {
 public:
  TempTextFile(const std::string& name, const std::string& contents)
      : path_(::testing::TempDir() + "brakken_" + std::to_string(getpid()) + "_" + name) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f) {
      std::fwrite(contents.data(), 1, contents.size(), f);
      std::fclose(f);
    }
  }
  ~TempTextFile() { std::remove(path_.c_str()); }
  TempTextFile(const TempTextFile&) = delete;
  TempTextFile& operator=(const TempTextFile&) = delete;

  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }

 private:
  std::string path_;
};

}  // namespace testsupport
