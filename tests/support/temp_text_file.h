// Files of the tests: a path under the test temporary directory, a whole
// file read back, a file of tests/data, a file with given contents and a
// directory of their own, both removed again when the object goes. The
// process id keeps tests that run side by side apart.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

inline std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "brakken_" + std::to_string(getpid()) + "_" + name;
}

// The whole file, empty when it cannot be read.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The lines of a file without their line ends.
inline std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

inline std::string dataFile(const std::string& name) {
  return std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/" + name;
}

class TempTextFile {
 public:
  TempTextFile(const std::string& name, const std::string& contents)
      : path_(tempPath(name)) {
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

class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = ::testing::TempDir() + "brakken_XXXXXX";
    if (mkdtemp(&pattern[0])) path_ = pattern;
  }
  // Links are removed, never followed.
  ~TempDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string path(const std::string& name) const { return path_ + "/" + name; }
  // The names in the directory, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ignored))
      out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string path_;
};

}  // namespace testsupport
