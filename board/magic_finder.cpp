#include "board/magic_finder.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>

#include "board/attack_tables.h"
#include "board/random_generator.h"
#include "common/input_file.h"
#include "common/output_file.h"

namespace {

// The two steps of each line direction, by the bit lineMasks gives it
// (rank, file, a1-h8 diagonal, a8-h1 diagonal); (file step, row step).
const int LineSteps[4][2][2] = {
    {{1, 0}, {-1, 0}},
    {{0, 1}, {0, -1}},
    {{1, -1}, {-1, 1}},
    {{1, 1}, {-1, -1}},
};

Bitboard attacksAlong(int square, Bitboard occ, int directions) {
  Bitboard result = 0;
  for (int i = 0; i < 4; ++i)
    if (directions & (1 << i)) result |= slidingAttacks(square, occ, LineSteps[i], 2);
  return result;
}

inline uint64_t rotateLeft(uint64_t x) { return x << 1 | x >> 63; }
inline uint64_t rotateRight(uint64_t x) { return x >> 1 | x << 63; }
inline int bitsDifferent(uint64_t a, uint64_t b) { return AttackTables::popCount(a ^ b); }

// Three draws ANDed, one after the other: a sparse random value.
uint32_t sparse32(RandomGenerator& rng) {
  uint32_t x = rng.next();
  x &= rng.next();
  x &= rng.next();
  return x;
}

uint64_t sparse64(RandomGenerator& rng) {
  uint64_t x = rng.next64();
  x &= rng.next64();
  x &= rng.next64();
  return x;
}

constexpr double LogOf10000 = 9.210340371976184;
constexpr double CacheStartCost = 1e30;
constexpr int NoBestEntries = 99999;
constexpr int EnoughEntries = 16;  // a square's search ends once its best fits here

bool isCentreSquare(int square) { return square == 27 || square == 28 || square == 35 || square == 36; }

}  // namespace

// --- cost cache ---

bool MagicCostCache::allocate(size_t entries, Allocator allocator) {
  release();
  if (entries < 2 || (entries & 1) || entries > std::numeric_limits<size_t>::max() / sizeof(Entry)) return false;
  const size_t bytes = entries * sizeof(Entry);
  void* memory = allocator ? allocator(bytes) : ::operator new(bytes, std::nothrow);
  if (!memory) return false;
  entries_ = static_cast<Entry*>(memory);
  count_ = entries;
  // Keys that no search meets first: entry k holds (k + 1, k + 1).
  for (size_t k = 0; k < entries; ++k) {
    const uint32_t key = uint32_t(k + 1);
    entries_[k] = Entry{key, key, CacheStartCost};
  }
  return true;
}

void MagicCostCache::release() {
  ::operator delete(entries_);
  entries_ = nullptr;
  count_ = 0;
}

bool MagicCostCache::find(MagicCandidate c, double* cost) {
  Entry* bucket = entries_ + bucketOf(c);
  if (bucket[0].mulHi == c.mulHi && bucket[0].mulLo == c.mulLo) {
    *cost = bucket[0].cost;
    return true;
  }
  if (bucket[1].mulHi == c.mulHi && bucket[1].mulLo == c.mulLo) {
    std::swap(bucket[0], bucket[1]);
    *cost = bucket[0].cost;
    return true;
  }
  return false;
}

void MagicCostCache::store(MagicCandidate c, double cost) {
  Entry* bucket = entries_ + bucketOf(c);
  bucket[1] = bucket[0];
  bucket[0] = Entry{c.mulHi, c.mulLo, cost};
}

// --- finder ---

MagicFinder::MagicFinder(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

Bitboard MagicFinder::maskOf(int square, int directions) {
  Bitboard full, inner;
  lineMasks(square, directions, full, inner);
  return inner;
}

void MagicFinder::prepare(int square, int directions) {
  if (square == preparedSquare_ && directions == preparedDirections_) return;
  preparedSquare_ = square;
  preparedDirections_ = directions;
  mask_ = maskOf(square, directions);
  subsets_.clear();
  attacks_.clear();
  // The empty set, the full mask, then downwards to the last non-empty subset.
  subsets_.push_back(0);
  for (Bitboard s = mask_; s; s = (s - 1) & mask_) subsets_.push_back(s);
  for (Bitboard s : subsets_) attacks_.push_back(attacksAlong(square, s, directions));
  indexes_.resize(subsets_.size());

  std::vector<uint32_t> order(subsets_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return attacks_[a] < attacks_[b]; });
  groupStarts_.clear();
  groupMembers_.clear();
  for (size_t i = 0; i < order.size();) {
    size_t j = i;
    while (j < order.size() && attacks_[order[j]] == attacks_[order[i]]) ++j;
    if (j - i >= 2) {
      groupStarts_.push_back(uint32_t(groupMembers_.size()));
      groupMembers_.insert(groupMembers_.end(), order.begin() + i, order.begin() + j);
    }
    i = j;
  }
  groupStarts_.push_back(uint32_t(groupMembers_.size()));
}

MagicCheck MagicFinder::testMagic(uint32_t mulHi, uint32_t mulLo, int square, int directions, int bits) {
  MagicCheck failed;
  failed.bits = bits + 1;
  if (bits < 1 || bits > MaxBits) return failed;
  prepare(square, directions);
  const size_t slots = size_t(1) << bits;
  if (table_.size() < slots) table_.resize(slots);
  std::fill(table_.begin(), table_.begin() + slots, ~Bitboard(0));
  MagicCheck result;
  result.bits = bits;
  uint32_t highest = 0;
  for (size_t i = 0; i < subsets_.size(); ++i) {
    const uint32_t index = indexOf(i, mulHi, mulLo, bits);
    Bitboard& slot = table_[index];
    if (slot == ~Bitboard(0)) {
      slot = attacks_[i];
    } else if (slot == attacks_[i]) {
      ++result.shared;
    } else {
      return failed;
    }
    highest = std::max(highest, index);
  }
  result.entries = int(highest) + 1;
  for (size_t k = 0; k + 1 < slots; k += 2)
    if (table_[k] != ~Bitboard(0) && table_[k + 1] != ~Bitboard(0) && table_[k] != table_[k + 1])
      ++result.pairConflicts;
  return result;
}

MagicCheck MagicFinder::shrinkBits(uint32_t mulHi, uint32_t mulLo, int square, int directions) {
  MagicCheck last = testMagic(mulHi, mulLo, square, directions, startBits(directions));
  if (last.bits != startBits(directions)) {
    MagicCheck none;
    none.bits = 64;
    return none;
  }
  while (last.pairConflicts == 0 && last.bits > 1) {
    const MagicCheck narrower = testMagic(mulHi, mulLo, square, directions, last.bits - 1);
    if (narrower.bits != last.bits - 1) break;
    last = narrower;
  }
  return last;
}

double MagicFinder::indexSpread(uint32_t mulHi, uint32_t mulLo, int square, int directions, int bits) {
  if (bits < 1 || bits > 32) return 0;
  prepare(square, directions);
  for (size_t i = 0; i < subsets_.size(); ++i) indexes_[i] = indexOf(i, mulHi, mulLo, bits);
  uint64_t pairs = 0, differing = 0;
  for (size_t g = 0; g + 1 < groupStarts_.size(); ++g) {
    const uint32_t* begin = groupMembers_.data() + groupStarts_[g];
    const uint32_t* end = groupMembers_.data() + groupStarts_[g + 1];
    for (const uint32_t* a = begin; a < end; ++a) {
      const uint32_t ia = indexes_[*a];
      for (const uint32_t* b = a + 1; b < end; ++b) differing += AttackTables::popCount(ia ^ indexes_[*b]);
      pairs += uint64_t(end - a - 1);
    }
  }
  return pairs ? double(differing) / double(pairs) : 0.0;
}

MagicSquarePasses MagicFinder::testWithoutEachSquare(uint32_t mulHi, uint32_t mulLo, int square, int directions,
                                                     int bits) {
  MagicSquarePasses result;
  if (bits < 1 || bits > MaxBits) return result;
  prepare(square, directions);
  const size_t slots = size_t(1) << bits;
  if (table_.size() < slots) table_.resize(slots);
  std::fill(table_.begin(), table_.begin() + slots, ~Bitboard(0));
  for (Bitboard left = mask_; left; left &= left - 1) {
    const Bitboard without = mask_ & ~(left & (0 - left));
    bool clean = true;
    // The same order as a full check, over the smaller mask; like a full
    // check it ends at the first different set.
    Bitboard subset = 0;
    bool first = true;
    while (clean && (first || subset)) {
      const uint32_t index = (uint32_t(subset) * mulLo ^ uint32_t(subset >> 32) * mulHi) >> (32 - bits);
      const Bitboard attacks = attacksAlong(square, subset, directions);
      Bitboard& slot = table_[index];
      if (slot == ~Bitboard(0)) slot = attacks;
      else if (slot != attacks) clean = false;
      subset = first ? without : (subset - 1) & without;
      first = false;
    }
    if (!clean) continue;
    ++result.passes;
    bool spare = true;
    for (size_t k = 0; k + 1 < slots && spare; k += 2)
      if (table_[k] != ~Bitboard(0) && table_[k + 1] != ~Bitboard(0) && table_[k] != table_[k + 1]) spare = false;
    if (spare) ++result.passesWithSpareBit;
  }
  return result;
}

double MagicFinder::cost(uint32_t mulHi, uint32_t mulLo, int square, int directions, MagicCostCache* cache,
                         MagicCandidate& best, int& bestEntries) {
  const MagicCandidate candidate{mulHi, mulLo};
  double value;
  if (cache && cache->find(candidate, &value)) return value;

  const MagicCheck check = shrinkBits(mulHi, mulLo, square, directions);
  const int p = AttackTables::popCount(mulHi) + AttackTables::popCount(mulLo);
  // Multipliers with about 7 or about 57 set bits are preferred.
  const double m = std::min((p - 7) * (p - 7), (57 - p) * (57 - p));
  if (check.bits == 64) {
    value = m / 1000 + 65432.1;
  } else {
    value = std::log(12000 + m / 1000000) + 10.0 * check.bits - LogOf10000;
    bool spreadCounts;
    if (directions == RookDirections) {
      const int file = fileOf(square), row = rowOf(square);
      spreadCounts = check.bits <= 10 + (file == 0 || file == 7) + (row == 0 || row == 7);
    } else {
      spreadCounts = check.bits <= 7 || (check.bits == 9 && isCentreSquare(square));
    }
    if (spreadCounts) value += std::log(10000 + indexSpread(mulHi, mulLo, square, directions, check.bits));
    if (check.entries < bestEntries) {
      bestEntries = check.entries;
      best = candidate;
      std::fprintf(out_, "%2d:%3d%6d KgBr:%6.3f GK:%4d K:%4d W:%2d OK:%2d 0x%08" PRIX32 "%08" PRIX32 "\n", square,
                   check.bits, check.entries, indexSpread(mulHi, mulLo, square, directions, check.bits), check.shared,
                   check.pairConflicts, 0, 0, mulHi, mulLo);
    }
  }
  if (cache) cache->store(candidate, value);
  return value;
}

MagicCandidate MagicFinder::crossover(MagicCandidate a, MagicCandidate b) {
  RandomGenerator& rng = RandomGenerator::instance();
  if (rng.range(0, 1) != 0) std::swap(a, b);
  const uint64_t x = a.asWord();
  const uint64_t y = b.asWord();
  // Align the second parent to the first by at most one bit of rotation.
  uint64_t aligned = y;
  int fewest = bitsDifferent(x, y);
  if (bitsDifferent(x, rotateLeft(y)) < fewest) {
    aligned = rotateLeft(y);
    fewest = bitsDifferent(x, aligned);
  }
  if (bitsDifferent(x, rotateRight(y)) < fewest) aligned = rotateRight(y);

  if (x == aligned) {
    uint64_t fresh = sparse64(rng);
    if (rng.range(0, 999) < 500) fresh = ~fresh;
    return MagicCandidate::fromWord(fresh);
  }
  const uint64_t differing = x ^ aligned;
  uint64_t child;
  do {
    child = (x & aligned) | (differing & rng.next64());
    while (rng.range(0, 1000) < 400) child ^= uint64_t(1) << rng.range(0, 63);
  } while (child == x || child == aligned);
  return MagicCandidate::fromWord(child);
}

void MagicFinder::evolve(int square, int directions, MagicCostCache* cache, MagicCandidate* population, int count,
                         MagicCandidate& best, int& bestEntries) {
  if (count <= 3) return;
  const int half = count / 2;
  evolve(square, directions, cache, population, half, best, bestEntries);
  evolve(square, directions, cache, population + half, count - half, best, bestEntries);

  RandomGenerator& rng = RandomGenerator::instance();
  auto costOf = [&](const MagicCandidate& c) {
    return cost(c.mulHi, c.mulLo, square, directions, cache, best, bestEntries);
  };
  // Tournament of four draws within [low, high].
  auto select = [&](int low, int high) {
    int chosen = int(rng.range(uint32_t(low), uint32_t(high)));
    double chosenCost = costOf(population[chosen]);
    for (int k = 1; k < 4; ++k) {
      const int other = int(rng.range(uint32_t(low), uint32_t(high)));
      const double otherCost = costOf(population[other]);
      if (otherCost < chosenCost) {
        chosen = other;
        chosenCost = otherCost;
      }
    }
    return population[chosen];
  };
  const MagicCandidate parentA = select(0, half - 1);
  const MagicCandidate parentB = select(half, count - 1);

  MagicCandidate bestChild = crossover(parentA, parentB);
  double bestCost = costOf(bestChild);
  MagicCandidate runnerUp = crossover(parentA, parentB);
  const double runnerCost = costOf(runnerUp);
  if (runnerCost < bestCost) {
    std::swap(bestChild, runnerUp);
    bestCost = runnerCost;
  }
  for (int k = 0; k < 58; ++k) {
    const MagicCandidate child = crossover(parentA, parentB);
    const double childCost = costOf(child);
    if (childCost < bestCost) {
      runnerUp = bestChild;
      bestChild = child;
      bestCost = childCost;
    }
  }
  if (rng.range(0, 100) < 50) std::swap(bestChild, runnerUp);

  // Each child replaces the cheaper of two drawn members.
  auto place = [&](const MagicCandidate& child, int low, int high) {
    if (child.isZero()) return;
    const int i = int(rng.range(uint32_t(low), uint32_t(high)));
    const int j = int(rng.range(0, uint32_t(count - 1)));
    const double costI = costOf(population[i]);
    const double costJ = costOf(population[j]);
    population[costJ < costI ? j : i] = child;
  };
  place(runnerUp, half, count - 1);
  place(bestChild, 0, half - 1);
}

bool MagicFinder::findMagic(int square, int directions, MagicCandidate& best) {
  best = MagicCandidate{};
  MagicCostCache cache;
  if (!cache.allocate(cacheEntries_, cacheAllocator_)) {
    std::fprintf(err_, "Magic finder: cannot allocate the cost cache (%zu entries of %zu bytes)\n", cacheEntries_,
                 sizeof(MagicCostCache::Entry));
    return false;
  }
  int bestEntries = NoBestEntries;
  RandomGenerator& rng = RandomGenerator::instance();
  MagicCandidate population[PopulationSize];
  for (MagicCandidate& member : population) {
    member.mulHi = sparse32(rng);
    member.mulLo = sparse32(rng);
    if (rng.range(0, 99) < 50) member.mulHi = ~member.mulHi;
    if (rng.range(0, 99) < 50) member.mulLo = ~member.mulLo;
  }
  for (int generation = 0; generation < generations_; ++generation) {
    evolve(square, directions, &cache, population, PopulationSize, best, bestEntries);
    if (bestEntries <= EnoughEntries) break;
  }
  return true;
}

int MagicFinder::formatRow(char* buffer, size_t size, int square, const MagicResultRow& row) {
  return std::snprintf(buffer, size, "%2d: %2" PRId32 " 0x%08" PRIx32 " 0x%08" PRIx32 " %4" PRId32 " %8" PRId32 "\n",
                       square, row.bits, row.mulHi, row.mulLo, row.spare, row.entries);
}

void MagicFinder::mergeRows(std::FILE* file, MagicResultRow rows[64]) {
  for (int expected = 0; expected < 64; ++expected) {
    int square;
    MagicResultRow read;
    if (std::fscanf(file, "%d: %" SCNd32 " 0x%8" SCNx32 " 0x%8" SCNx32 " %" SCNd32 " %" SCNd32, &square, &read.bits,
                    &read.mulHi, &read.mulLo, &read.spare, &read.entries) != 6 ||
        square != expected)
      return;
    if (read.bits >= 20) read.entries = 1000000;  // no width passed
    if (read.entries < rows[square].entries) rows[square] = read;
  }
}

bool MagicFinder::canWriteResults(const char* fileName) {
  // The same open as the final write, given up at once: a regular file is
  // only written beside (the temporary goes again), so the rows the run
  // will merge with stay as they are, and a FIFO nobody reads is refused
  // instead of waited for.
  OutputFile probe;
  if (!probe.open(fileName)) return false;
  probe.discard();
  return true;
}

bool MagicFinder::run(int directions, const char* fileName) {
  // A search of minutes is not started for rows that could not be kept.
  // A FIFO or a device is opened once, here, and the rows go into that
  // same open after the search: opened and closed again for a check, it
  // would hand its reader an end of file before the first row. A regular
  // file is only checked now (the same open, given up) and replaced whole
  // after the search, so a kill during the search leaves nothing beside it.
  OutputFile results;
  if (!results.open(fileName)) {
    std::fprintf(err_, "Magic finder: cannot write the results file %s\n", fileName);
    return false;
  }
  const bool straight = results.writesStraight();
  if (!straight) results.discard();
  MagicResultRow rows[64];
  for (int square = 0; square < 64; ++square) {
    MagicCandidate found;
    if (!findMagic(square, directions, found)) return false;
    const MagicCheck check = shrinkBits(found.mulHi, found.mulLo, square, directions);
    const int32_t e = check.bits == 64 ? NoBestEntries : check.entries;
    if (e < rows[square].entries) {
      const int64_t slots = check.bits == 64 ? 1 : int64_t(1) << check.bits;
      rows[square] = MagicResultRow{found.mulHi, found.mulLo, check.bits, int32_t(slots - e), e};
    }
  }
  // Only a file keeps the rows of earlier runs; what a FIFO this run holds
  // open would give back is the run's own output, which never comes.
  if (!straight) {
    if (std::FILE* previous = openInputFile(fileName, "r")) {
      mergeRows(previous, rows);
      std::fclose(previous);
    }
  }

  // Replaced whole, so that a kill or a full disk during the write leaves
  // the rows of earlier runs as they were.
  std::FILE* file = straight || results.open(fileName) ? results.stream() : nullptr;
  std::fprintf(out_, "\n*******************\n");
  int64_t sum = 0;
  for (int square = 0; square < 64; ++square) {
    char line[96];
    formatRow(line, sizeof line, square, rows[square]);
    std::fputs(line, out_);
    std::fflush(out_);
    if (file) std::fputs(line, file);
    sum += rows[square].entries;
  }
  if (!file) {
    std::fprintf(err_, "Magic finder: cannot write the results file %s\n", fileName);
    return false;
  }
  std::fprintf(file, "%" PRId64 "\n", sum);
  if (!results.commit()) {
    std::fprintf(err_, "Magic finder: writing the results file %s failed\n", fileName);
    return false;
  }
  return true;
}
