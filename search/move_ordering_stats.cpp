#include "search/move_ordering_stats.h"

#include <cstdio>
#include <cstring>

void MoveOrderingStats::reset() {
  std::memset(tries, 0, sizeof tries);
  std::memset(successes, 0, sizeof successes);
}

int MoveOrderingStats::rankOf(long double ratio) const {
  int rank = 2;
  for (int t = 1; t <= 6; ++t)
    for (int s = 0; s < 64; ++s)
      if (successRatio(t, s) < ratio) ++rank;
  return rank;
}

void MoveOrderingStats::writeTable(const char* fileName) const {
  std::FILE* file = std::fopen(fileName, "w");
  if (!file) return;
  for (int t = 1; t <= 6; ++t) {
    std::fputs("\t{\n\t\t", file);
    for (int s = 0; s < 64; ++s) {
      // Ranks 2..385 become even values 0..192.
      const int rank = rankOf(successRatio(t, s));
      std::fprintf(file, "%4d", (rank >> 1) & ~1);
      if (s < 63) std::fputs((s & 7) == 7 ? ",\n\t\t" : ",", file);
    }
    std::fputs("\n\t},\n", file);
  }
  std::fclose(file);
}
