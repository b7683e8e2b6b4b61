// A developer tool that searches, square by square, multiplier pairs for the
// magic slider index of the attack tables that need the fewest table slots:
// a small genetic search per square (32 candidates, tournament selection,
// bitwise crossover with mutation) under a cost that rewards few index bits
// first and then a compact, well-spread index. The best row per square is
// kept in a results file from one run to the next. Nothing in the engine
// calls it; tools/find_magics.cpp runs it. It draws every random number from
// the process-wide RandomGenerator, so nothing else may draw meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "board/types.h"

// A multiplier pair with the meaning of MagicEntry: index =
// ((low half of occ * mulLo) ^ (high half of occ * mulHi)) >> (32 - bits).
// As one 64-bit value mulHi is the high half.
struct MagicCandidate {
  uint32_t mulHi = 0;
  uint32_t mulLo = 0;

  uint64_t asWord() const { return uint64_t(mulHi) << 32 | mulLo; }
  static MagicCandidate fromWord(uint64_t w) { return {uint32_t(w >> 32), uint32_t(w)}; }
  bool isZero() const { return mulHi == 0 && mulLo == 0; }
  bool operator==(const MagicCandidate& o) const { return mulHi == o.mulHi && mulLo == o.mulLo; }
  bool operator!=(const MagicCandidate& o) const { return !(*this == o); }
};

// What a check of a candidate at one index width found. A failed check has
// bits one above the width tried and no entries; bits 64 from shrinkBits
// means no width passed at all.
struct MagicCheck {
  int bits = 0;
  int entries = 0;        // highest used slot + 1
  int shared = 0;         // subsets that met their own attack set already stored
  int pairConflicts = 0;  // slot pairs (2k, 2k+1) holding two different sets
};

struct MagicSquarePasses {
  int passes = 0;
  int passesWithSpareBit = 0;
};

// Costs of candidates already evaluated in one square's search, in buckets of
// two neighbouring entries, the most recently stored or used first.
class MagicCostCache {
 public:
  static constexpr size_t DefaultEntries = 19876546;  // about 318 million bytes

  struct Entry {
    uint32_t mulHi;
    uint32_t mulLo;
    double cost;
  };

  // Hands out raw memory for the entries, or null; the cache gives it back
  // with ::operator delete, so a replacement must take it from ::operator new.
  using Allocator = void* (*)(size_t bytes);

  MagicCostCache() = default;
  ~MagicCostCache() { release(); }
  MagicCostCache(const MagicCostCache&) = delete;
  MagicCostCache& operator=(const MagicCostCache&) = delete;

  // Takes and initialises memory for the given (even, non-zero) number of
  // entries; false, with nothing held, when it cannot be had.
  bool allocate(size_t entries, Allocator allocator = nullptr);
  void release();
  bool allocated() const { return entries_ != nullptr; }
  size_t size() const { return count_; }

  // The stored cost of the candidate, moved to the front of its bucket.
  bool find(MagicCandidate c, double* cost);
  // Puts the candidate first in its bucket, the old first one second.
  void store(MagicCandidate c, double cost);

 private:
  size_t bucketOf(MagicCandidate c) const { return (size_t(uint32_t(c.mulHi + c.mulLo)) % count_) & ~size_t(1); }

  Entry* entries_ = nullptr;
  size_t count_ = 0;
};

// One square's row of the results file.
struct MagicResultRow {
  uint32_t mulHi = 0;
  uint32_t mulLo = 0;
  int32_t bits = 15;
  int32_t spare = 0;  // 2^bits - entries
  int32_t entries = 10000000;
};

class MagicFinder {
 public:
  static constexpr int PopulationSize = 32;
  static constexpr int DefaultGenerations = 300;
  // The widest index a check accepts (a table of 2^MaxBits slots).
  static constexpr int MaxBits = 24;
  // Directions as lineMasks counts them: rank and file, both diagonals.
  static constexpr int RookDirections = 1 | 2;
  static constexpr int BishopDirections = 4 | 8;

  // Progress and results go to out, failures to err.
  explicit MagicFinder(std::FILE* out = stdout, std::FILE* err = stderr);

  // Knobs for tests and experiments: the cache size (even), its allocator
  // and the number of generations per square.
  void setCacheEntries(size_t entries) { cacheEntries_ = entries; }
  void setCacheAllocator(MagicCostCache::Allocator a) { cacheAllocator_ = a; }
  void setGenerations(int n) { generations_ = n; }

  // Searches all 64 squares for one slider and merges the results with the
  // file's rows, keeping the better row per square, then rewrites the file.
  // A FIFO or device is opened once, before the search, and the rows are
  // written into that open after it (nothing is merged from it). False,
  // before any search, when the target cannot be written (as
  // canWriteResults tells); false when a cost cache could not be allocated
  // (nothing written) or the write at the end failed (the rows still go to
  // out).
  bool run(int directions, const char* fileName);

  // Whether the results file can be written the way run() writes it (a
  // regular file replaced whole, a FIFO or device written into), tried
  // without changing a file: an existing file keeps its text and no new
  // one is left behind. A FIFO nobody reads, a directory, a missing folder
  // and a file without any write permission bit are refused. The check
  // opens and closes the target, which ends the input of a FIFO's reader;
  // run() therefore keeps such an open instead of checking first.
  static bool canWriteResults(const char* fileName);

  // One square's genetic search; best gets the candidate of the last
  // improvement, (0, 0) when none passed. False only when the cost cache
  // could not be allocated.
  bool findMagic(int square, int directions, MagicCandidate& best);

  // One generation over population[0, count), recursively on both halves.
  void evolve(int square, int directions, MagicCostCache* cache, MagicCandidate* population, int count,
              MagicCandidate& best, int& bestEntries);

  // The cost of a candidate (lower is better); a pass with fewer entries than
  // bestEntries becomes the new best and is printed.
  double cost(uint32_t mulHi, uint32_t mulLo, int square, int directions, MagicCostCache* cache,
              MagicCandidate& best, int& bestEntries);

  MagicCandidate crossover(MagicCandidate a, MagicCandidate b);

  MagicCheck testMagic(uint32_t mulHi, uint32_t mulLo, int square, int directions, int bits);
  // The narrowest width reached from 14 bits (rook) or 10 (bishop) by
  // narrowing while a check passes without pair conflicts.
  MagicCheck shrinkBits(uint32_t mulHi, uint32_t mulLo, int square, int directions);
  double indexSpread(uint32_t mulHi, uint32_t mulLo, int square, int directions, int bits);
  MagicSquarePasses testWithoutEachSquare(uint32_t mulHi, uint32_t mulLo, int square, int directions, int bits);

  // The mask of the square and the attack set of one of its subsets.
  Bitboard maskOf(int square, int directions);

  // Results-file lines.
  static int formatRow(char* buffer, size_t size, int square, const MagicResultRow& row);
  // Reads rows 0, 1, ... into rows while each read yields all six fields in
  // sequence; a row with fewer entries than the current one replaces it.
  static void mergeRows(std::FILE* file, MagicResultRow rows[64]);

 private:
  // Subsets of the current square's mask in checking order, their attack
  // sets, and the groups of subsets that share an attack set.
  void prepare(int square, int directions);
  uint32_t indexOf(size_t subset, uint32_t mulHi, uint32_t mulLo, int bits) const {
    const Bitboard x = subsets_[subset];
    return (uint32_t(x) * mulLo ^ uint32_t(x >> 32) * mulHi) >> (32 - bits);
  }
  int startBits(int directions) const { return directions == RookDirections ? 14 : 10; }

  std::FILE* out_;
  std::FILE* err_;
  size_t cacheEntries_ = MagicCostCache::DefaultEntries;
  MagicCostCache::Allocator cacheAllocator_ = nullptr;
  int generations_ = DefaultGenerations;

  int preparedSquare_ = -1;
  int preparedDirections_ = -1;
  Bitboard mask_ = 0;
  std::vector<Bitboard> subsets_;
  std::vector<Bitboard> attacks_;
  std::vector<uint32_t> groupStarts_;  // into groupMembers_, one past each group's end last
  std::vector<uint32_t> groupMembers_;
  std::vector<uint32_t> indexes_;
  std::vector<Bitboard> table_;
};
