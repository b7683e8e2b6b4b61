// Reads the shared perft reference file: FEN ; comment ; D<depth> <count> ...
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct PerftCase {
  std::string fen;
  std::string comment;
  std::vector<std::pair<int, uint64_t>> counts;
};

// The shared reference file beside the checkout; a copy kept with the
// tests serves a checkout that stands alone.
inline std::string perftFilePath() {
  const std::string shared = std::string(BRAKKEN_SOURCE_DIR) + "/../shared/perft/perft.txt";
  if (std::ifstream(shared).good()) return shared;
  return std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/perft_reference.txt";
}

inline std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

inline std::vector<PerftCase> loadPerftSuite(const std::string& path = perftFilePath()) {
  std::vector<PerftCase> cases;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    std::stringstream fields(line);
    std::string field;
    PerftCase c;
    int index = 0;
    while (std::getline(fields, field, ';')) {
      field = trim(field);
      if (index == 0) c.fen = field;
      else if (index == 1) c.comment = field;
      else if (field.size() > 1 && field[0] == 'D') {
        std::stringstream d(field.substr(1));
        int depth;
        uint64_t count;
        if (d >> depth >> count) c.counts.emplace_back(depth, count);
      }
      ++index;
    }
    cases.push_back(c);
  }
  return cases;
}

}  // namespace testsupport
