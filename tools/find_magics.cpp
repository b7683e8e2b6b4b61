// Searches multiplier pairs for the slider look-ups: index =
// ((low(occ & mask) * mulLo) ^ (high(occ & mask) * mulHi)) >> (32 - bits).
// Prints one constant row per square (mulLo, mulHi, bits, entries) in the
// form that board/attack_tables.cpp embeds. Deterministic: a fixed seed.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

uint64_t state = 0x9E3779B97F4A7C15ULL;
uint64_t nextRandom() {  // xorshift64*
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return state * 0x2545F4914F6CDD1DULL;
}
uint32_t sparseRandom() {
  return uint32_t(nextRandom() & nextRandom() & nextRandom());
}

uint64_t slide(int sq, uint64_t occ, const int (*dirs)[2]) {
  uint64_t result = 0;
  int f0 = sq & 7, r0 = sq >> 3;
  for (int d = 0; d < 4; ++d) {
    int f = f0 + dirs[d][0], r = r0 + dirs[d][1];
    while (f >= 0 && f < 8 && r >= 0 && r < 8) {
      int s = f + 8 * r;
      result |= uint64_t(1) << s;
      if (occ & (uint64_t(1) << s)) break;
      f += dirs[d][0];
      r += dirs[d][1];
    }
  }
  return result;
}

uint64_t maskOf(int sq, const int (*dirs)[2]) {
  uint64_t result = 0;
  int f0 = sq & 7, r0 = sq >> 3;
  for (int d = 0; d < 4; ++d) {
    int f = f0 + dirs[d][0], r = r0 + dirs[d][1];
    // Leave out the last square of each ray: it always ends the ray.
    while (f + dirs[d][0] >= 0 && f + dirs[d][0] < 8 && r + dirs[d][1] >= 0 &&
           r + dirs[d][1] < 8) {
      result |= uint64_t(1) << (f + 8 * r);
      f += dirs[d][0];
      r += dirs[d][1];
    }
  }
  return result;
}

const int rookDirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
const int bishopDirs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};

void findFor(const char* name, const int (*dirs)[2]) {
  std::printf("// %s: mulLo, mulHi, bits, entries\n", name);
  long total = 0;
  for (int sq = 0; sq < 64; ++sq) {
    uint64_t mask = maskOf(sq, dirs);
    int n = __builtin_popcountll(mask);
    std::vector<uint64_t> subsets, attacks;
    uint64_t sub = 0;
    do {
      subsets.push_back(sub);
      attacks.push_back(slide(sq, sub, dirs));
      sub = (sub - mask) & mask;
    } while (sub);
    // Try the plain bit count first, then allow one more bit.
    for (int bits = n;; ++bits) {
      std::vector<uint64_t> used(size_t(1) << bits);
      std::vector<uint32_t> stamp(size_t(1) << bits, 0);
      uint32_t attempt = 0;
      bool found = false;
      uint32_t bestLo = 0, bestHi = 0;
      unsigned bestEntries = ~0u;
      long tries = bits == n ? 3000000L : 100000000L;
      for (long t = 0; t < tries; ++t) {
        uint32_t lo = sparseRandom(), hi = sparseRandom();
        ++attempt;
        bool ok = true;
        unsigned maxIndex = 0;
        for (size_t i = 0; i < subsets.size() && ok; ++i) {
          uint32_t idx = (uint32_t(subsets[i]) * lo ^ uint32_t(subsets[i] >> 32) * hi) >> (32 - bits);
          if (stamp[idx] != attempt) {
            stamp[idx] = attempt;
            used[idx] = attacks[i];
          } else if (used[idx] != attacks[i]) {
            ok = false;
          }
          if (idx > maxIndex) maxIndex = idx;
        }
        if (ok && maxIndex + 1 < bestEntries) {
          found = true;
          bestEntries = maxIndex + 1;
          bestLo = lo;
          bestHi = hi;
          // Keep looking a little for a tighter packing.
          if (t > tries / 4 || bestEntries <= (1u << bits) * 7 / 8) break;
        }
      }
      if (found) {
        std::printf("    {0x%08XU, 0x%08XU, %d, %u},  // %c%d\n", bestLo, bestHi, bits,
                    bestEntries, 'a' + (sq & 7), 8 - (sq >> 3));
        std::fflush(stdout);
        total += bestEntries;
        break;
      }
    }
  }
  std::printf("// total %ld\n", total);
}

}  // namespace

int main() {
  findFor("rook", rookDirs);
  findFor("bishop", bishopDirs);
  return 0;
}
