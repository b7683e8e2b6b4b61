#include "search/transposition_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <random>
#include <thread>
#include <vector>

namespace {

const Move E2E4 = encodeMove(makeSquare(4, 2), makeSquare(4, 4), Pawn);
const Move D2D4 = encodeMove(makeSquare(3, 2), makeSquare(3, 4), Pawn);
const Move G1F3 = encodeMove(makeSquare(6, 1), makeSquare(5, 3), Knight);
const Move B1C3 = encodeMove(makeSquare(1, 1), makeSquare(2, 3), Knight);

// 1000 entries, so the window starts run from 0 to 997 and hashfull counts
// one permille per used entry.
constexpr std::size_t SmallBytes = 1000 * TranspositionTable::BytesPerEntry;

class TranspositionTableTest : public ::testing::Test {
 protected:
  TranspositionTable tt{SmallBytes};

  // A key whose window starts at `start`; `tag` (the high half) tells keys of
  // one window apart.
  uint64_t keyAt(uint32_t start, uint32_t tag) const {
    const uint64_t n = tt.indexRange();
    const uint64_t low = ((uint64_t(start) << 32) + n - 1) / n;
    return low | uint64_t(tag) << 32;
  }

  bool has(uint64_t key) {
    TTProbe p;
    return tt.probe(key, 0, p);
  }
};

TEST_F(TranspositionTableTest, KeysOfTheFixtureLandInTheirWindow) {
  for (uint32_t start : {0u, 1u, 500u, 996u, 997u}) {
    EXPECT_EQ(tt.windowStart(keyAt(start, 7)), start);
  }
  EXPECT_EQ(tt.windowStart(0xffffffffu), tt.indexRange() - 1);
}

TEST(TranspositionTableSizingTest, EntriesFollowTheByteSize) {
  struct Case {
    std::size_t bytes;
    std::size_t entries;
  };
  const Case cases[] = {
      {0, 500},          {11999, 500},         {12000, 500},           {12024, 501},
      {24000, 1000},     {24023, 1000},        {1u << 20, 43690},      {0x300000, 131072},
      {16u << 20, 699050},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    TranspositionTable tt(c.bytes);
    ASSERT_TRUE(tt.hasEntries());
    EXPECT_EQ(tt.entryCount(), c.entries);
    EXPECT_EQ(tt.indexRange(), c.entries - 2);
    EXPECT_EQ(tt.generation(), 1);
    EXPECT_EQ(tt.used(), 0u);
    EXPECT_EQ(tt.fillPermille(), 0);
  }
}

TEST(TranspositionTableSizingTest, ResizeEmptiesTheTableButKeepsInProgressMarks) {
  TranspositionTable tt(SmallBytes);
  tt.store(0x1234, E2E4, 100, ttWord(8, TTExact), 0);
  tt.age();
  tt.inProgress().testAndSet(77);
  ASSERT_TRUE(tt.resize(1u << 20));
  EXPECT_EQ(tt.entryCount(), 43690u);
  EXPECT_EQ(tt.generation(), 1);
  TTProbe p;
  EXPECT_FALSE(tt.probe(0x1234, 0, p));
  EXPECT_TRUE(tt.inProgress().test(77));
}

// Allocation that fails above a given entry count, recording every request.
struct FlakyAllocator {
  static std::size_t limit;
  static std::vector<std::size_t> requests;
  static TTEntry* allocate(std::size_t count) {
    requests.push_back(count);
    if (count > limit) throw std::bad_alloc();
    return TranspositionTable::allocateEntries(count);
  }
};
std::size_t FlakyAllocator::limit = 0;
std::vector<std::size_t> FlakyAllocator::requests;

// Each failure takes a sixteenth off the bytes; below 12000 bytes sizing
// gives up.
TEST(TranspositionTableSizingTest, RetriesWithOneSixteenthLessAfterAllocationFailure) {
  struct Case {
    std::size_t bytes, limit;
    std::vector<std::size_t> requests;
    bool ok;
  };
  const Case cases[] = {
      {24000, 700, {1000, 937, 878, 824, 772, 724, 679}, true},
      {24000, 0, {1000, 937, 878, 824, 772, 724, 679, 636, 596, 559, 524}, false},
      {0x300000, 100000, {131072, 122880, 115200, 108000, 101250, 94921}, true},
      {12800, 0, {533}, false},
      {1000, 0, {500}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    FlakyAllocator::limit = c.limit;
    FlakyAllocator::requests.clear();
    TranspositionTable tt(c.bytes, &FlakyAllocator::allocate);
    EXPECT_EQ(FlakyAllocator::requests, c.requests);
    EXPECT_EQ(tt.hasEntries(), c.ok);
    EXPECT_EQ(tt.entryCount(), c.ok ? c.requests.back() : 0u);

    FlakyAllocator::requests.clear();
    EXPECT_EQ(tt.resize(c.bytes), c.ok);
    EXPECT_EQ(FlakyAllocator::requests, c.requests);
  }
}

TEST(TranspositionTableSizingTest, TableWithoutEntriesIsSafeToUse) {
  FlakyAllocator::limit = 0;
  TranspositionTable tt(24000, &FlakyAllocator::allocate);
  ASSERT_FALSE(tt.hasEntries());
  EXPECT_EQ(tt.indexRange(), 0u);
  tt.store(0x1234, E2E4, 100, ttWord(8, TTExact), 0);
  TTProbe p;
  EXPECT_FALSE(tt.probe(0x1234, 0, p));
  tt.remove(0x1234);
  tt.clear();
  tt.age();
  EXPECT_EQ(tt.used(), 0u);
  EXPECT_EQ(tt.fillPermille(), 0);

  FlakyAllocator::limit = 1000;
  ASSERT_TRUE(tt.resize(24000));
  tt.store(0x1234, E2E4, 100, ttWord(8, TTExact), 0);
  EXPECT_TRUE(tt.probe(0x1234, 0, p));
}

TEST_F(TranspositionTableTest, StoreThenProbeGivesTheResultBack) {
  TTProbe p;
  const uint64_t key = 0x0123456789abcdefULL;
  EXPECT_FALSE(tt.probe(key, 0, p));
  tt.store(key, E2E4, -321, ttWord(40, TTLowerBound, true), 5);
  ASSERT_TRUE(tt.probe(key, 5, p));
  EXPECT_EQ(p.move, E2E4);
  EXPECT_EQ(p.score, -321);
  EXPECT_EQ(p.depth(), 40);
  EXPECT_EQ(p.bound(), TTLowerBound);
  EXPECT_TRUE(p.mateThreat());
  // Both key halves must match.
  EXPECT_FALSE(tt.probe(key ^ (1ULL << 40), 5, p));
  EXPECT_FALSE(tt.probe(key ^ 1, 5, p));
}

// Mate scores travel node-relative: stored at ply p, probed at ply q, a score
// for the side that mates comes back p - q larger, one for the side being
// mated p - q smaller. Anything inside +-399999 is never changed.
TEST_F(TranspositionTableTest, MateScoresAreStoredRelativeToTheNode) {
  struct Case {
    int score, storePly, probePly, expected, stored;
  };
  const Case cases[] = {
      {499990, 4, 4, 499990, 499994},   {499990, 4, 1, 499993, 499994},
      {499990, 1, 4, 499987, 499991},   {-499990, 4, 1, -499993, -499994},
      {-499990, 1, 6, -499985, -499991}, {400000, 2, 5, 399997, 400002},
      {-400000, 10, 0, -400010, -400010}, {399999, 30, 0, 399999, 399999},
      {-399999, 30, 7, -399999, -399999}, {0, 12, 3, 0, 0},
      {12345, 12, 3, 12345, 12345},     {499999, 0, 0, 499999, 499999},
  };
  uint32_t tag = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.score);
    const uint64_t key = keyAt(tag * 3, tag);
    ++tag;
    tt.store(key, E2E4, c.score, ttWord(16, TTExact), c.storePly);
    TTProbe p;
    ASSERT_TRUE(tt.probe(key, c.probePly, p));
    EXPECT_EQ(p.score, c.expected);
    ASSERT_TRUE(tt.probe(key, 0, p));  // at the root the node-relative value shows
    EXPECT_EQ(p.score, c.stored);
  }
}

TEST_F(TranspositionTableTest, ScoresAtTheEdgeOfTheRangeDoNotOverflow) {
  const uint64_t key = keyAt(10, 1);
  tt.store(key, E2E4, INT32_MAX - 3, ttWord(8, TTExact), 100);
  TTProbe p;
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.score, INT32_MAX);
  tt.store(key, E2E4, INT32_MIN + 3, ttWord(8, TTExact), 100);
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.score, INT32_MIN);
}

TEST_F(TranspositionTableTest, ShallowerResultKeepsEntryButRefreshesGeneration) {
  const uint64_t key = keyAt(100, 1);
  tt.store(key, E2E4, 50, ttWord(32, TTExact), 0);
  tt.age();
  ASSERT_EQ(tt.used(), 0u);
  tt.store(key, D2D4, 70, ttWord(24, TTLowerBound), 0);
  EXPECT_EQ(tt.used(), 1u);  // stamped with the new generation
  TTProbe p;
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.move, E2E4);
  EXPECT_EQ(p.score, 50);
  EXPECT_EQ(p.word, ttWord(32, TTExact));
  EXPECT_EQ(tt.used(), 1u);  // already current: the probe counts nothing

  // An equal or deeper result replaces move, score and word, even with no move.
  // (The bound bits take part: an upper bound at the same depth is shallower.)
  tt.store(key, G1F3, 80, ttWord(32, TTUpperBound), 0);
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.move, E2E4);
  tt.store(key, G1F3, 80, ttWord(32, TTExact), 0);
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.move, G1F3);
  EXPECT_EQ(p.score, 80);
  EXPECT_EQ(p.word, ttWord(32, TTExact));
  tt.store(key, NullMove, 90, ttWord(40, TTExact), 0);
  ASSERT_TRUE(tt.probe(key, 0, p));
  EXPECT_EQ(p.move, NullMove);
  EXPECT_EQ(p.score, 90);
}

// Three current entries A, B, C fill the window in order; a new key then
// replaces the shallowest (entry 2 before entry 1, entry q before entry 0 on
// ties) unless that one is at least a ply (64 word units) deeper.
TEST_F(TranspositionTableTest, WindowReplacementAmongCurrentEntries) {
  struct Case {
    int w0, w1, w2, newWord;
    int evicted;  // -1: the store is dropped
  };
  const Case cases[] = {
      {64, 32, 32, 0, 2},     {64, 16, 32, 0, 1},   {8, 16, 32, 0, 0},
      {32, 32, 32, 0, 2},     {128, 128, 128, 64, -1}, {128, 128, 127, 64, 2},
      {200, 100, 300, 37, 1}, {-8, 0, 0, -16, 0},    {100, 64, 70, 0, -1},
      {100, 63, 70, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w0 << " " << c.w1 << " " << c.w2 << " new " << c.newWord);
    tt.clear();
    const uint64_t keys[3] = {keyAt(300, 1), keyAt(300, 2), keyAt(300, 3)};
    const int words[3] = {c.w0, c.w1, c.w2};
    for (int k = 0; k < 3; ++k) tt.store(keys[k], E2E4, k, words[k], 0);
    const uint64_t fresh = keyAt(300, 4);
    tt.store(fresh, D2D4, 9, c.newWord, 0);
    EXPECT_EQ(has(fresh), c.evicted >= 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(has(keys[k]), k != c.evicted) << "entry " << k;
  }
}

TEST_F(TranspositionTableTest, EntriesOfEarlierSearchesAreReplacedFirst) {
  const uint64_t a = keyAt(40, 1), b = keyAt(40, 2), c = keyAt(40, 3);
  const uint64_t d = keyAt(40, 4), e = keyAt(40, 5);
  for (uint64_t key : {a, b, c}) tt.store(key, E2E4, 0, ttWord(80, TTExact), 0);
  tt.age();
  ASSERT_TRUE(has(b));  // b belongs to this search again
  tt.store(d, D2D4, 0, ttWord(0, TTUpperBound), 0);
  EXPECT_FALSE(has(a));
  tt.store(e, D2D4, 0, ttWord(0, TTUpperBound), 0);
  EXPECT_FALSE(has(c));
  EXPECT_TRUE(has(b));
  EXPECT_TRUE(has(d));
  EXPECT_TRUE(has(e));
  EXPECT_EQ(tt.used(), 3u);
}

TEST_F(TranspositionTableTest, RemovedEntryIsGoneAndFirstVictimOfItsWindow) {
  const uint64_t a = keyAt(600, 1), b = keyAt(600, 2), c = keyAt(600, 3);
  for (uint64_t key : {a, b, c}) tt.store(key, E2E4, 0, ttWord(80, TTExact), 0);
  ASSERT_EQ(tt.used(), 3u);
  tt.remove(keyAt(600, 9));  // not stored: nothing happens
  EXPECT_EQ(tt.used(), 3u);
  tt.remove(b);
  EXPECT_FALSE(has(b));
  EXPECT_EQ(tt.used(), 2u);
  const uint64_t d = keyAt(600, 4);
  tt.store(d, D2D4, 0, ttWord(0, TTUpperBound), 0);  // shallow, yet it takes b's slot
  EXPECT_TRUE(has(a));
  EXPECT_TRUE(has(c));
  EXPECT_TRUE(has(d));
  EXPECT_EQ(tt.used(), 3u);
}

TEST_F(TranspositionTableTest, RemoveNeverDrivesTheUsedCountBelowZero) {
  const uint64_t key = keyAt(5, 1);
  tt.store(key, E2E4, 0, ttWord(8, TTExact), 0);
  // A full turn of the 16-bit generation makes the entry current again while
  // the count starts from 0, as after an age() racing with stores.
  for (int i = 0; i < 65536; ++i) tt.age();
  ASSERT_EQ(tt.generation(), 1);
  ASSERT_EQ(tt.used(), 0u);
  tt.remove(key);
  EXPECT_EQ(tt.used(), 0u);
  EXPECT_EQ(tt.fillPermille(), 0);
}

TEST_F(TranspositionTableTest, AgeingAdvancesTheGenerationWithSixteenBitWrap) {
  EXPECT_EQ(tt.generation(), 1);
  tt.age();
  EXPECT_EQ(tt.generation(), 2);
  for (int i = 0; i < 32765; ++i) tt.age();
  EXPECT_EQ(tt.generation(), 32767);
  tt.age();
  EXPECT_EQ(tt.generation(), -32768);
  tt.clear();
  EXPECT_EQ(tt.generation(), 1);
}

TEST_F(TranspositionTableTest, FillCountsEntriesOfTheCurrentSearch) {
  EXPECT_EQ(tt.fillPermille(), 0);
  for (uint32_t i = 0; i < 10; ++i) tt.store(keyAt(i * 3, 1), E2E4, 0, ttWord(8, TTExact), 0);
  EXPECT_EQ(tt.used(), 10u);
  EXPECT_EQ(tt.fillPermille(), 10);
  tt.store(keyAt(0, 1), D2D4, 0, ttWord(8, TTExact), 0);  // same key: not counted twice
  EXPECT_EQ(tt.fillPermille(), 10);
  tt.age();
  EXPECT_EQ(tt.fillPermille(), 0);
  for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(has(keyAt(i * 3, 1)));
  EXPECT_EQ(tt.fillPermille(), 4);
  for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(has(keyAt(i * 3, 1)));
  EXPECT_EQ(tt.fillPermille(), 4);
  tt.clear();
  EXPECT_EQ(tt.fillPermille(), 0);
  for (uint32_t i = 0; i < 10; ++i) EXPECT_FALSE(has(keyAt(i * 3, 1)));
}

// With more than 4.3 million entries used, used * 1000 no longer fits in 32
// bits.
TEST(TranspositionTableFillTest, FullLargeTableReportsNearlyAThousand) {
  TranspositionTable tt(4400000 * TranspositionTable::BytesPerEntry);
  ASSERT_EQ(tt.entryCount(), 4400000u);
  const uint64_t n = tt.indexRange();
  for (uint64_t start = 0; start < n; ++start) {
    const uint64_t low = ((start << 32) + n - 1) / n;
    tt.store(low | 1ULL << 32, E2E4, 0, ttWord(8, TTExact), 0);
  }
  EXPECT_EQ(tt.used(), n);
  EXPECT_EQ(tt.fillPermille(), 999);
}

TEST(TranspositionTableEntryTest, CutoffNeedsDepthAndAMatchingBound) {
  struct Case {
    int storedDepth, bound, score, alpha, beta, depth;
    bool cutoff;
  };
  const Case cases[] = {
      {16, TTExact, 50, 0, 100, 24, false},       // stored shallower
      {24, TTExact, 50, 0, 100, 24, true},        // exact inside the window
      {32, TTExact, 150, 0, 100, 24, true},       // exact above beta
      {32, TTExact, -50, 0, 100, 24, true},       // exact below alpha
      {32, TTLowerBound, 100, 0, 100, 24, true},  // lower bound at beta
      {32, TTLowerBound, 50, 0, 100, 24, false},  // lower bound inside
      {32, TTLowerBound, -50, 0, 100, 24, false}, // lower bound below alpha
      {32, TTUpperBound, 150, 0, 100, 24, false}, // upper bound above beta
      {32, TTUpperBound, 50, 0, 100, 24, false},  // upper bound inside
      {32, TTUpperBound, 0, 0, 100, 24, true},    // upper bound at alpha
      {-1, TTExact, 50, 0, 100, -1, true},        // quiescence entries
      {-1, TTExact, 50, 0, 100, 0, false},
      {-2, TTLowerBound, 100, 0, 100, -3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.storedDepth << " " << c.bound << " " << c.score);
    for (bool threat : {false, true}) {
      TTProbe p;
      p.score = c.score;
      p.word = ttWord(c.storedDepth, c.bound, threat);
      EXPECT_EQ(p.depth(), c.storedDepth);
      EXPECT_EQ(TTEntry::allowsCutoff(p, c.alpha, c.beta, c.depth), c.cutoff);
    }
  }
}

TEST(TranspositionTableEntryTest, WordsCompareDepthFirst) {
  EXPECT_EQ(ttWord(24, TTLowerBound), 24 * 8 + 2);
  EXPECT_EQ(ttWord(-1, TTExact, true), -8 + 5);
  EXPECT_EQ(ttWordDepth(ttWord(-1, TTExact, true)), -1);
  EXPECT_EQ(ttWordDepth(ttWord(-9, TTUpperBound)), -9);
  EXPECT_TRUE(TTEntry::deeperThan(ttWord(9, TTUpperBound), ttWord(8, TTExact, true)));
  EXPECT_FALSE(TTEntry::deeperThan(ttWord(8, TTExact), ttWord(8, TTExact)));
  EXPECT_TRUE(TTEntry::lessThanOnePlyDeeper(ttWord(15, TTExact), ttWord(8, TTExact)));
  EXPECT_FALSE(TTEntry::lessThanOnePlyDeeper(ttWord(16, TTUpperBound), ttWord(8, TTUpperBound)));
  EXPECT_TRUE(TTEntry::lessThanOnePlyDeeper(ttWord(-1, TTExact), ttWord(-8, TTExact)));
}

TEST_F(TranspositionTableTest, EraseForUsesThePositionKey) {
  struct FakePosition {
    uint64_t hashKey;
  } position{keyAt(77, 3)};
  tt.store(position.hashKey, B1C3, 0, ttWord(8, TTExact), 0);
  ASSERT_TRUE(has(position.hashKey));
  tt.eraseFor(position);
  EXPECT_FALSE(has(position.hashKey));
}

TEST(InProgressSetTest, MarksAreSetOnceAndCleared) {
  TranspositionTable tt(SmallBytes);
  InProgressSet& set = tt.inProgress();
  EXPECT_TRUE(set.none());
  for (unsigned bit : {0u, 1u, 31u, 32u, 1000u, 2047u}) {
    SCOPED_TRACE(bit);
    EXPECT_FALSE(set.testAndSet(bit));
    EXPECT_TRUE(set.test(bit));
    EXPECT_TRUE(set.testAndSet(bit));
  }
  EXPECT_FALSE(set.test(2));  // neighbours in the same word stay clear
  set.reset(31);
  EXPECT_FALSE(set.test(31));
  EXPECT_TRUE(set.test(32));
  EXPECT_TRUE(set.test(0));
  EXPECT_TRUE(set.testAndSet(2048));  // wraps onto bit 0 instead of overrunning
  set.resetAll();
  EXPECT_TRUE(set.none());
  tt.clear();
  set.testAndSet(5);
  tt.clear();  // clearing the entries leaves the marks alone
  EXPECT_TRUE(set.test(5));
}

TEST(InProgressSetTest, BitOfAMoveMixesItsSquaresWithTheKey) {
  struct Case {
    Move move;
    uint32_t keyLow;
    unsigned bit;
  };
  const Case cases[] = {
      {E2E4, 0, E2E4 & 0xffff & 2047},
      {E2E4, 0xffffffff, (~E2E4) & 2047},
      {G1F3 | (Queen << 24), 0x12345678, ((G1F3 & 0xffff) ^ 0x5678) & 2047},
      {0x0fff, 0x0800, 0x07ff},
  };
  for (const Case& c : cases) EXPECT_EQ(InProgressSet::bitFor(c.move, c.keyLow), c.bit);
}

// Several threads store and probe the same small table while one of them also
// ages and clears it, and each marks and clears its own in-progress bits in
// words shared with the others. Run under ThreadSanitizer this finds any
// non-atomic access; in every build it checks that probes only hand out field
// values some thread wrote and that no mark is lost.
TEST(TranspositionTableConcurrencyTest, ThreadsShareTableAndMarksWithoutLock) {
  constexpr int Threads = 4;
  constexpr int Rounds = 20000;
  TranspositionTable tt(600 * TranspositionTable::BytesPerEntry);
  std::atomic<int> failures{0};

  auto worker = [&](int id) {
    std::mt19937_64 rng(uint64_t(id) * 7919 + 1);
    InProgressSet& set = tt.inProgress();
    for (int i = 0; i < Rounds; ++i) {
      const uint64_t key = rng() % 3000 * 0x9e3779b97f4a7c15ULL;
      const int depth = int(rng() % 40) - 2;
      const Move move = encodeMove(int(key % 64), int(key / 64 % 64), 1 + int(key % 6));
      const int score = (i % 5 == 0) ? 499000 - int(rng() % 100) : int(rng() % 4000) - 2000;
      const int ply = int(rng() % 60);
      tt.store(key, move, score, ttWord(depth, TTExact), ply);
      TTProbe p;
      if (tt.probe(key ^ (rng() % 4), ply, p)) {
        const bool moveOk = p.move == 0 || (movePiece(p.move) >= 1 && movePiece(p.move) <= 6 &&
                                            movePromotion(p.move) == 0);
        const bool scoreOk = (p.score >= -2000 && p.score < 2000) ||
                             (p.score > 498000 && p.score < 500100) || p.score == 0;
        const bool depthOk = p.bound() == TTExact || p.word == 0;
        if (!moveOk || !scoreOk || !depthOk) failures.fetch_add(1);
      }
      if (tt.fillPermille() > 1000) failures.fetch_add(1);
      const unsigned bit = unsigned(id + Threads * (i % 512));
      if (set.testAndSet(bit)) failures.fetch_add(1);
      if (!set.test(bit)) failures.fetch_add(1);
      set.reset(bit);
      if (id == 0 && i % 1000 == 0) tt.age();
      if (id == 0 && i % 7000 == 0) tt.clear();
      if (id == 1 && i % 500 == 0) tt.remove(key);
    }
  };

  std::vector<std::thread> threads;
  for (int id = 0; id < Threads; ++id) threads.emplace_back(worker, id);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(tt.inProgress().none());
}

}  // namespace
