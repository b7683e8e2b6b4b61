#include "board/magic_finder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/random_generator.h"
#include "support/fifo_reader.h"
#include "support/list_perft.h"
#include "support/perft_suite.h"
#include "support/temp_text_file.h"

namespace {

constexpr int RookLines = MagicFinder::RookDirections;
constexpr int BishopLines = MagicFinder::BishopDirections;
constexpr size_t SmallCache = 1 << 16;

// Everything written to a FILE*, read back as text.
class CapturedFile {
 public:
  CapturedFile() : file_(std::tmpfile()) {}
  ~CapturedFile() {
    if (file_) std::fclose(file_);
  }
  std::FILE* get() const { return file_; }
  std::string text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string s;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) s.append(buffer, n);
    return s;
  }

 private:
  std::FILE* file_;
};

std::string readFile(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
    std::fclose(f);
  }
  return s;
}

Bitboard traced(int square, Bitboard occ, int directions) {
  return directions == RookLines ? traceRookAttacks(square, occ) : traceBishopAttacks(square, occ);
}

// A slice of attack sets indexed by the candidate at the given width, built
// the way the attack tables build theirs.
std::vector<Bitboard> buildSlice(MagicFinder& finder, MagicCandidate c, int square, int directions, int bits) {
  std::vector<Bitboard> slice(size_t(1) << bits, ~Bitboard(0));
  const Bitboard mask = finder.maskOf(square, directions);
  Bitboard subset = 0;
  do {
    slice[(uint32_t(subset) * c.mulLo ^ uint32_t(subset >> 32) * c.mulHi) >> (32 - bits)] =
        traced(square, subset, directions);
    subset = (subset - mask) & mask;
  } while (subset);
  return slice;
}

// The candidate at its shrunk width looks every occupancy up correctly:
// every mask subset, and random boards with squares outside the mask.
void expectCorrectLookups(MagicFinder& finder, MagicCandidate c, int square, int directions) {
  const MagicCheck check = finder.shrinkBits(c.mulHi, c.mulLo, square, directions);
  ASSERT_NE(check.bits, 64) << "square " << square;
  const std::vector<Bitboard> slice = buildSlice(finder, c, square, directions, check.bits);
  const Bitboard mask = finder.maskOf(square, directions);
  std::mt19937_64 rng(square * 131 + directions);
  for (int i = 0; i < 2000; ++i) {
    const Bitboard occ = i & 1 ? rng() & rng() : rng() | rng();
    const Bitboard x = occ & mask;
    const uint32_t index = (uint32_t(x) * c.mulLo ^ uint32_t(x >> 32) * c.mulHi) >> (32 - check.bits);
    ASSERT_LT(index, uint32_t(check.entries));
    ASSERT_EQ(slice[index], traced(square, occ, directions)) << "square " << square << " occ " << occ;
  }
}

TEST(MagicFinder, ChecksTheKnownCandidates) {
  MagicFinder finder;
  const int a8 = 0, d5 = squareFromText("d5");
  // Rook a8: 14 bits, 3584 entries, and one bit narrower collides.
  MagicCheck c = finder.testMagic(0x28000401, 0x00080018, a8, RookLines, 14);
  EXPECT_EQ(c.bits, 14);
  EXPECT_EQ(c.entries, 3584);
  EXPECT_EQ(c.shared, 1024);
  EXPECT_EQ(c.pairConflicts, 128);
  c = finder.testMagic(0x28000401, 0x00080018, a8, RookLines, 13);
  EXPECT_EQ(c.bits, 14) << "a failed check reports one bit more";
  EXPECT_EQ(c.shared, 0);
  EXPECT_EQ(c.pairConflicts, 0);
  c = finder.shrinkBits(0x28000401, 0x00080018, a8, RookLines);
  EXPECT_EQ(c.bits, 14);
  EXPECT_EQ(c.entries, 3584);
  // Rook d5: clean at 11 bits, conflicting pairs at 10, so halving stops there.
  c = finder.testMagic(0x3112524F, 0x00120A02, d5, RookLines, 11);
  EXPECT_EQ(c.bits, 11);
  EXPECT_EQ(c.pairConflicts, 0);
  c = finder.shrinkBits(0x3112524F, 0x00120A02, d5, RookLines);
  EXPECT_EQ(c.bits, 10);
  EXPECT_EQ(c.entries, 1022);
  EXPECT_EQ(c.pairConflicts, 448);
  // Bishops start at 10 bits.
  c = finder.shrinkBits(0x7ED9FBFF, 0xEDCDEFBE, a8, BishopLines);
  EXPECT_EQ(c.bits, 5);
  EXPECT_EQ(c.entries, 32);
  c = finder.shrinkBits(0x2C040202, 0x10010110, d5, BishopLines);
  EXPECT_EQ(c.bits, 9);
  EXPECT_EQ(c.entries, 511);
  // Nothing passes with a zero multiplier.
  EXPECT_EQ(finder.shrinkBits(0, 0, d5, RookLines).bits, 64);
}

TEST(MagicFinder, AgreesWithTheEnginesOwnConstants) {
  MagicFinder finder;
  for (int square = 0; square < 64; ++square) {
    for (auto [rows, directions] :
         {std::pair{rookMagicConstants, RookLines}, std::pair{bishopMagicConstants, BishopLines}}) {
      const MagicConstant& row = rows[square];
      const MagicCheck c = finder.testMagic(row.mulHi, row.mulLo, square, directions, row.bits);
      EXPECT_EQ(c.bits, row.bits) << "square " << square << " directions " << directions;
      EXPECT_EQ(c.entries, row.entries) << "square " << square << " directions " << directions;
    }
  }
}

TEST(MagicFinder, IndexSpreadIsTheMeanDistanceOfEqualAttackSets) {
  MagicFinder finder;
  const int square = squareFromText("c6");
  const uint32_t hi = 0x04001290, lo = 0x80020804;
  const int bits = 7;
  const Bitboard mask = finder.maskOf(square, BishopLines);
  std::vector<Bitboard> subsets;
  Bitboard s = 0;
  do {
    subsets.push_back(s);
    s = (s - mask) & mask;
  } while (s);
  double sum = 0;
  long pairs = 0;
  for (size_t i = 0; i < subsets.size(); ++i)
    for (size_t j = i + 1; j < subsets.size(); ++j) {
      if (traceBishopAttacks(square, subsets[i]) != traceBishopAttacks(square, subsets[j])) continue;
      auto index = [&](Bitboard x) { return (uint32_t(x) * lo ^ uint32_t(x >> 32) * hi) >> (32 - bits); };
      sum += __builtin_popcount(index(subsets[i]) ^ index(subsets[j]));
      ++pairs;
    }
  ASSERT_GT(pairs, 0);
  EXPECT_DOUBLE_EQ(finder.indexSpread(hi, lo, square, BishopLines, bits), sum / pairs);
}

TEST(MagicFinder, TestWithoutEachSquare) {
  MagicFinder finder;
  const int d5 = squareFromText("d5");
  const MagicConstant& row = rookMagicConstants[d5];
  const MagicSquarePasses good = finder.testWithoutEachSquare(row.mulHi, row.mulLo, d5, RookLines, row.bits);
  EXPECT_EQ(good.passes, AttackTables::popCount(finder.maskOf(d5, RookLines)));
  EXPECT_LE(good.passesWithSpareBit, good.passes);
  EXPECT_EQ(finder.testWithoutEachSquare(0, 0, d5, RookLines, 10).passes, 0);
}

TEST(MagicFinder, CostRecordsAndPrintsOnlyPassingImprovements) {
  CapturedFile out;
  MagicFinder finder(out.get());
  MagicCostCache cache;
  ASSERT_TRUE(cache.allocate(SmallCache));
  MagicCandidate best{1, 2};
  int bestEntries = 99999;
  // A candidate that fails at the starting width.
  EXPECT_GE(finder.cost(0, 0, 0, RookLines, &cache, best, bestEntries), 65432.1);
  EXPECT_EQ(best, (MagicCandidate{1, 2}));
  EXPECT_EQ(bestEntries, 99999);
  EXPECT_EQ(out.text(), "");

  const double a8Cost = finder.cost(0x28000401, 0x00080018, 0, RookLines, &cache, best, bestEntries);
  EXPECT_LT(a8Cost, 65432.1);
  EXPECT_EQ(best, (MagicCandidate{0x28000401, 0x00080018}));
  EXPECT_EQ(bestEntries, 3584);
  char expected[128];
  std::snprintf(expected, sizeof expected, " 0: 14  3584 KgBr:%6.3f GK:1024 K: 128 W: 0 OK: 0 0x2800040100080018\n",
                finder.indexSpread(0x28000401, 0x00080018, 0, RookLines, 14));
  EXPECT_EQ(out.text(), expected);
  // With 14 bits on a corner the spread term counts: 10 * 14 plus two logs.
  EXPECT_GT(a8Cost, 140.0);

  // A hit in the cache answers the stored cost and records nothing.
  bestEntries = 99999;
  best = MagicCandidate{};
  EXPECT_EQ(finder.cost(0x28000401, 0x00080018, 0, RookLines, &cache, best, bestEntries), a8Cost);
  EXPECT_EQ(bestEntries, 99999);
  EXPECT_TRUE(best.isZero());
  // Without a cache it is evaluated again, to the same cost.
  EXPECT_EQ(finder.cost(0x28000401, 0x00080018, 0, RookLines, nullptr, best, bestEntries), a8Cost);
  EXPECT_EQ(bestEntries, 3584);
}

TEST(MagicFinder, CostCacheKeepsTwoEntriesPerBucketMostRecentFirst) {
  MagicCostCache cache;
  ASSERT_TRUE(cache.allocate(16));
  // All three land in bucket 4 (sums 4, 5 and 20 modulo 16, low bit cleared).
  const MagicCandidate a{1, 3}, b{2, 3}, c{10, 10};
  double cost = 0;
  EXPECT_FALSE(cache.find(a, &cost));
  cache.store(a, 1.0);
  cache.store(b, 2.0);
  ASSERT_TRUE(cache.find(a, &cost));  // second place: moves to the front
  EXPECT_EQ(cost, 1.0);
  cache.store(c, 3.0);  // pushes out b, which was second
  EXPECT_FALSE(cache.find(b, &cost));
  ASSERT_TRUE(cache.find(a, &cost));
  EXPECT_EQ(cost, 1.0);
  ASSERT_TRUE(cache.find(c, &cost));
  EXPECT_EQ(cost, 3.0);
  // Sizes the bucket layout cannot take are refused.
  EXPECT_FALSE(cache.allocate(15));
  EXPECT_FALSE(cache.allocate(0));
  EXPECT_FALSE(cache.allocated());
}

TEST(MagicFinder, CrossoverGivesAChildUnlikeEitherParent) {
  MagicFinder finder;
  RandomGenerator::instance().seed(77);
  // y differs from x in 32 bits, from either one-bit rotation of x in 40.
  const MagicCandidate x{0x12345678, 0x9ABCDEF0}, y{0x12CB5687, 0x9ABC210F};
  int agreedBitsKept = 0, agreedBits = 0;
  for (int i = 0; i < 200; ++i) {
    const MagicCandidate child = finder.crossover(x, y);
    ASSERT_NE(child, x);
    ASSERT_NE(child, y);
    // No rotation brings the parents closer, so the child keeps the bits on
    // which both agree, but for the few that mutation flips.
    const uint64_t agree = ~(x.asWord() ^ y.asWord());
    agreedBits += AttackTables::popCount(agree);
    agreedBitsKept += AttackTables::popCount(agree & ~(child.asWord() ^ x.asWord()));
  }
  EXPECT_GT(agreedBitsKept, agreedBits * 95 / 100);
  // Equal parents give a fresh candidate instead.
  for (int i = 0; i < 20; ++i) ASSERT_NE(finder.crossover(x, x), x);
}

void* failingAllocator(size_t) { return nullptr; }

TEST(MagicFinder, AnUnavailableCostCacheFailsCleanly) {
  CapturedFile out, err;
  MagicFinder finder(out.get(), err.get());
  finder.setCacheAllocator(failingAllocator);
  MagicCandidate best{5, 6};
  EXPECT_FALSE(finder.findMagic(0, BishopLines, best));
  EXPECT_TRUE(best.isZero());
  EXPECT_NE(err.text().find("cannot allocate the cost cache"), std::string::npos) << err.text();

  // The run stops before it touches the results file.
  testsupport::TempTextFile results("magics_kept.txt", " 0:  5 0x7ed9fbff 0xedcdefbe   -4       36\n");
  EXPECT_FALSE(finder.run(BishopLines, results.c_str()));
  EXPECT_EQ(readFile(results.path()), " 0:  5 0x7ed9fbff 0xedcdefbe   -4       36\n");
  EXPECT_EQ(out.text(), "");

  // A size whose byte count does not fit is refused before any allocation.
  MagicCostCache cache;
  EXPECT_FALSE(cache.allocate(SIZE_MAX - 1));
}

TEST(MagicFinder, SmallSearchesFindCorrectMultipliers) {
  struct Case {
    const char* square;
    int directions;
    int generations;
  };
  const Case cases[] = {
      {"a8", BishopLines, 12}, {"d4", BishopLines, 12}, {"g2", BishopLines, 12}, {"d5", RookLines, 4}};
  CapturedFile out;
  MagicFinder finder(out.get());
  finder.setCacheEntries(SmallCache);
  for (const Case& c : cases) {
    finder.setGenerations(c.generations);
    const int square = squareFromText(c.square);
    RandomGenerator::instance().seed(1234);
    MagicCandidate best;
    ASSERT_TRUE(finder.findMagic(square, c.directions, best));
    ASSERT_FALSE(best.isZero()) << c.square;
    expectCorrectLookups(finder, best, square, c.directions);
    // The same seed gives the same search.
    RandomGenerator::instance().seed(1234);
    MagicCandidate again;
    ASSERT_TRUE(finder.findMagic(square, c.directions, again));
    EXPECT_EQ(again, best) << c.square;
  }
  EXPECT_NE(out.text().find("KgBr:"), std::string::npos);
}

// Results-file rows: six fields, 32-bit multipliers printed in full.
TEST(MagicFinder, ResultRowsFormatAndReadBack) {
  char line[96];
  MagicFinder::formatRow(line, sizeof line, 7, MagicResultRow{0xFFFFFFFFu, 0x0000ABCDu, 12, 1, 4095});
  EXPECT_STREQ(line, " 7: 12 0xffffffff 0x0000abcd    1     4095\n");
  MagicFinder::formatRow(line, sizeof line, 63, MagicResultRow{0, 0, 64, -99998, 99999});
  EXPECT_STREQ(line, "63: 64 0x00000000 0x00000000 -99998    99999\n");

  // Reading stops at the first row out of sequence; rows before it count,
  // a row without a passing width counts as a million entries.
  testsupport::TempTextFile file("magics_rows.txt",
                                 " 0: 12 0xffffffff 0x0000abcd    1     4095\n"
                                 " 1: 64 0x00000000 0x00000000 -99998    99999\n"
                                 " 2: 11 0x00000001 0x00000002    0     2048\n"
                                 " 4: 10 0x00000003 0x00000004    0     1000\n");
  MagicResultRow rows[64];
  rows[2].entries = 1000;  // already better than the file's row
  std::FILE* f = std::fopen(file.c_str(), "r");
  ASSERT_NE(f, nullptr);
  MagicFinder::mergeRows(f, rows);
  std::fclose(f);
  EXPECT_EQ(rows[0].mulHi, 0xFFFFFFFFu);
  EXPECT_EQ(rows[0].mulLo, 0xABCDu);
  EXPECT_EQ(rows[0].entries, 4095);
  EXPECT_EQ(rows[1].entries, 1000000);
  EXPECT_EQ(rows[2].entries, 1000);
  EXPECT_EQ(rows[4].entries, 10000000);
}

TEST(MagicFinder, RunMergesWithTheResultsFile) {
  // No generations: the searches find nothing, so only the file's rows and
  // the "nothing found" rows appear.
  CapturedFile out, err;
  MagicFinder finder(out.get(), err.get());
  finder.setCacheEntries(SmallCache);
  finder.setGenerations(0);
  testsupport::TempTextFile results("magics_run.txt",
                                    " 0:  5 0x7ed9fbff 0xedcdefbe    0       32\n"
                                    " 1:  4 0x05382000 0x00480206    0       16\n"
                                    " 3:  5 0x00000001 0x00000002    0       32\n");
  ASSERT_TRUE(finder.run(BishopLines, results.c_str()));
  const std::string written = readFile(results.path());
  std::string expected = " 0:  5 0x7ed9fbff 0xedcdefbe    0       32\n"
                         " 1:  4 0x05382000 0x00480206    0       16\n";
  for (int square = 2; square < 64; ++square) {
    char line[96];
    std::snprintf(line, sizeof line, "%2d: 64 0x00000000 0x00000000 -99998    99999\n", square);
    expected += line;
  }
  EXPECT_EQ(written, expected + std::to_string(32 + 16 + 62 * 99999) + "\n");
  // The rows go to the output after a line of stars; the sum line does not.
  EXPECT_EQ(out.text(), "\n*******************\n" + expected);
  EXPECT_EQ(err.text(), "");

  // A file that opens but takes no text (a full device) still shows the
  // rows, and the run reports failure.
  CapturedFile out2, err2;
  MagicFinder blocked(out2.get(), err2.get());
  blocked.setCacheEntries(SmallCache);
  blocked.setGenerations(0);
  struct stat full;
  ASSERT_EQ(stat("/dev/full", &full), 0);
  ASSERT_TRUE(S_ISCHR(full.st_mode));
  EXPECT_FALSE(blocked.run(BishopLines, "/dev/full"));
  EXPECT_NE(out2.text().find("63: 64 0x00000000"), std::string::npos);
  EXPECT_EQ(err2.text(), "Magic finder: writing the results file /dev/full failed\n");
}

// A results file that cannot be written is refused before the search: the
// cost cache is never asked for (its allocator would fail and say so) and
// no progress or row is printed. Nothing is created or changed on the way.
TEST(MagicFinder, AnUnwritableResultsFileIsRefusedBeforeTheSearch) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string plain = dir.path("plain.txt");
  std::FILE* f = std::fopen(plain.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(" 0:  5 0x7ed9fbff 0xedcdefbe    0       32\n", f);
  std::fclose(f);
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // No write permission bit at all: refused whoever runs the finder.
  const std::string readOnly = dir.path("read-only.txt");
  std::fclose(std::fopen(readOnly.c_str(), "w"));
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  const std::string refused[] = {
      readOnly,
      "/nonexistent-directory/magics.txt",  // a folder that does not exist
      dir.path(),                           // a directory in place of the file
      plain + "/magics.txt",                // a file in place of the folder
      fifo,                                 // a FIFO nobody reads: refused, not waited for
  };
  for (const std::string& name : refused) {
    EXPECT_FALSE(MagicFinder::canWriteResults(name.c_str())) << name;
    CapturedFile out, err;
    MagicFinder finder(out.get(), err.get());
    finder.setCacheAllocator(failingAllocator);
    EXPECT_FALSE(finder.run(RookLines, name.c_str())) << name;
    EXPECT_EQ(out.text(), "") << name;
    EXPECT_EQ(err.text(), "Magic finder: cannot write the results file " + name + "\n");
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"fifo", "plain.txt", "read-only.txt"}));
  EXPECT_EQ(readFile(plain), " 0:  5 0x7ed9fbff 0xedcdefbe    0       32\n");
}

// The finder merges with the rows already in the file, so the check must
// neither change an existing file nor leave a file behind for a new one.
TEST(MagicFinder, TheWriteCheckLeavesTheResultsFileAsItWas) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string rows = " 0:  5 0x7ed9fbff 0xedcdefbe    0       32\n 1:  4 0x05382000 0x00480206    0       16\n48\n";
  const std::string existing = dir.path("magics.txt");
  std::FILE* f = std::fopen(existing.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(rows.c_str(), f);
  std::fclose(f);
  // An old time stamp: a write, even of nothing, would set it to now.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, existing.c_str(), old, 0), 0);
  EXPECT_TRUE(MagicFinder::canWriteResults(existing.c_str()));
  EXPECT_EQ(readFile(existing), rows);
  struct stat after;
  ASSERT_EQ(stat(existing.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);

  // A new file in an existing folder, directly or through a link, is
  // accepted and not created by the check.
  EXPECT_TRUE(MagicFinder::canWriteResults(dir.path("new.txt").c_str()));
  ASSERT_EQ(symlink(dir.path("target.txt").c_str(), dir.path("link.txt").c_str()), 0);
  EXPECT_TRUE(MagicFinder::canWriteResults(dir.path("link.txt").c_str()));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.txt", "magics.txt"}));
}

// A FIFO with a reader gets every row and the sum through the one open
// made before the search, read as "cat fifo > file" reads it: up to the
// first end of input. Nothing is merged from it, and it stays a FIFO.
TEST(MagicFinder, AFifoWithAReaderGetsEveryRow) {
  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string fifo = dir.path("results.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  testsupport::FifoReader reader(fifo, testsupport::FifoReader::UntilEndOfInput);
  ASSERT_TRUE(reader.isOpen());
  CapturedFile out, err;
  MagicFinder finder(out.get(), err.get());
  finder.setCacheEntries(SmallCache);
  finder.setGenerations(0);
  EXPECT_TRUE(finder.run(BishopLines, fifo.c_str()));
  std::string rows;
  for (int square = 0; square < 64; ++square) {
    char line[96];
    std::snprintf(line, sizeof line, "%2d: 64 0x00000000 0x00000000 -99998    99999\n", square);
    rows += line;
  }
  EXPECT_EQ(reader.finish(), rows + std::to_string(64 * 99999) + "\n");
  EXPECT_EQ(out.text(), "\n*******************\n" + rows);
  EXPECT_EQ(err.text(), "");
  struct stat st;
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Swaps the given squares' look-ups to slices built from found multipliers,
// restoring the engine's own ones when it goes.
class PluggedMagics {
 public:
  void plug(MagicFinder& finder, MagicCandidate c, int square, int directions) {
    const MagicCheck check = finder.shrinkBits(c.mulHi, c.mulLo, square, directions);
    ASSERT_NE(check.bits, 64);
    MagicEntry& e = (directions == RookLines ? attackTables.rookMagics : attackTables.bishopMagics)[square];
    saved_.push_back({&e, e});
    slices_.push_back(buildSlice(finder, c, square, directions, check.bits));
    e.mulHi = c.mulHi;
    e.mulLo = c.mulLo;
    e.shift = uint32_t(32 - check.bits);
    e.attacks = slices_.back().data();
  }
  ~PluggedMagics() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) *it->first = it->second;
  }

 private:
  std::vector<std::pair<MagicEntry*, MagicEntry>> saved_;
  std::vector<std::vector<Bitboard>> slices_;
};

void expectPerftWith(uint64_t maxNodes) {
  testsupport::SearchStack stack;
  for (const auto& c : testsupport::loadPerftSuite()) {
    Position p;
    ASSERT_NE(p.setFen(c.fen.c_str()), nullptr) << c.fen;
    for (auto [depth, count] : c.counts) {
      if (count > maxNodes) continue;
      EXPECT_EQ(testsupport::listPerft(p, depth, stack), count) << c.comment << " depth " << depth;
    }
  }
}

TEST(MagicFinder, PerftStaysExactWithFoundMultipliers) {
  CapturedFile out;
  MagicFinder finder(out.get());
  finder.setCacheEntries(SmallCache);
  finder.setGenerations(10);
  PluggedMagics plugged;
  // Squares the castling and back-rank sliders of the suite stand on.
  for (const char* name : {"c1", "f1", "c8", "f8"}) {
    RandomGenerator::instance().seed(99);
    MagicCandidate best;
    ASSERT_TRUE(finder.findMagic(squareFromText(name), BishopLines, best));
    plugged.plug(finder, best, squareFromText(name), BishopLines);
  }
  finder.setGenerations(8);
  for (const char* name : {"a1", "h1", "a8", "e4"}) {
    RandomGenerator::instance().seed(99);
    MagicCandidate best;
    ASSERT_TRUE(finder.findMagic(squareFromText(name), RookLines, best));
    plugged.plug(finder, best, squareFromText(name), RookLines);
  }
  expectPerftWith(100000);
}

// Every square of both sliders from short searches, plugged in together.
TEST(MagicFinderDeep, AllSquaresGiveCorrectLookupsAndPerft) {
  CapturedFile out;
  MagicFinder finder(out.get());
  finder.setCacheEntries(SmallCache * 16);
  PluggedMagics plugged;
  RandomGenerator::instance().seed(2024);
  for (int directions : {BishopLines, RookLines}) {
    finder.setGenerations(directions == RookLines ? 40 : 60);
    for (int square = 0; square < 64; ++square) {
      MagicCandidate best;
      ASSERT_TRUE(finder.findMagic(square, directions, best));
      expectCorrectLookups(finder, best, square, directions);
      plugged.plug(finder, best, square, directions);
    }
  }
  expectPerftWith(5000000);
}

}  // namespace
