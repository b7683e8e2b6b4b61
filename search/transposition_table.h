// The transposition table shared by all search threads: per position the best
// move, the score, the depth searched and the kind of bound, under the 64-bit
// hash key. Threads use it without a lock; every entry field is a relaxed
// atomic, so an entry read while another thread overwrites it may mix fields
// of two stores. Callers accept that: a move taken from the table is always
// matched against generated moves or tested for legality before it is played,
// and a wrong score only costs search quality.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "board/types.h"
#include "board/in_progress_set.h"

// Bound kinds in bits 1-2 of the depth/bound word; bit 0 flags a mate threat.
constexpr int TTUpperBound = 0;
constexpr int TTLowerBound = 2;
constexpr int TTExact = 4;
constexpr int TTBoundMask = 6;
constexpr int TTMateThreat = 1;
// One ply of depth in word units (depth is in eighths of a ply, shifted by 3).
constexpr int TTWordPly = OnePly << 3;

// Gives back the depth/bound word for a depth in eighths of a ply. Comparing
// two words as signed numbers compares their depths first.
constexpr int16_t ttWord(int depth, int bound, bool mateThreat = false) {
  return int16_t(depth * 8 | bound | (mateThreat ? TTMateThreat : 0));
}

// Gives back the depth (eighths of a ply) of a word, rounding toward minus
// infinity so quiescence depths (-1 and below) keep their sign.
constexpr int ttWordDepth(int word) { return word >= 0 ? word >> 3 : ~(~word >> 3); }

// What a probe hands out; the score is relative to the root.
struct TTProbe {
  Move move = 0;
  int32_t score = 0;
  int16_t word = 0;

  int depth() const { return ttWordDepth(word); }
  int bound() const { return word & TTBoundMask; }
  bool mateThreat() const { return (word & TTMateThreat) != 0; }
};

struct TTEntry {
  std::atomic<uint32_t> keyLow{0};
  std::atomic<uint32_t> keyHigh{0};
  std::atomic<Move> move{0};
  std::atomic<int32_t> score{0};      // mate scores relative to the node
  std::atomic<int16_t> word{0};       // depth << 3 | bound | mate-threat flag
  std::atomic<int16_t> generation{0}; // search that last stored or probed it

  // Gives back whether the probed result settles a node searched to `depth`
  // with the window (alpha, beta) without searching it.
  static bool allowsCutoff(const TTProbe& probe, int alpha, int beta, int depth) {
    if (probe.depth() < depth) return false;
    const int bound = probe.bound();
    if (probe.score >= beta) return bound == TTLowerBound || bound == TTExact;
    if (probe.score > alpha || bound == TTLowerBound) return bound == TTExact;
    return true;  // upper bound or exact score at or below alpha
  }

  // The two comparisons of the replacement rule, on depth/bound words.
  static bool deeperThan(int a, int b) { return a > b; }
  static bool lessThanOnePlyDeeper(int a, int b) { return a < b + TTWordPly; }
};

static_assert(std::atomic<uint32_t>::is_always_lock_free &&
                  std::atomic<int32_t>::is_always_lock_free &&
                  std::atomic<int16_t>::is_always_lock_free,
              "table entries must not hide a lock");

class TranspositionTable {
 public:
  // Hands out `count` empty entries from new TTEntry[count] or throws
  // std::bad_alloc; the table frees them with delete[]. Replaceable so that
  // the retry on allocation failure can be exercised.
  using EntryAllocator = TTEntry* (*)(std::size_t count);

  static constexpr std::size_t BytesPerEntry = 24;
  static constexpr std::size_t MinEntries = 500;
  static constexpr std::size_t MinRetryBytes = 12000;
  static constexpr int WindowSize = 3;

  explicit TranspositionTable(std::size_t bytes, EntryAllocator allocator = &allocateEntries);
  ~TranspositionTable();
  TranspositionTable(const TranspositionTable&) = delete;
  TranspositionTable& operator=(const TranspositionTable&) = delete;

  // Frees the entries and sizes the table again for `bytes`; gives back false
  // when not even a minimal table could be allocated (the table then has no
  // entries: every probe misses and every store is dropped). Only while no
  // search runs. The in-progress set is left alone.
  bool resize(std::size_t bytes);

  // Empties every entry and restarts at generation 1. May run while other
  // threads search: they merely miss entries.
  void clear();

  // Starts a new generation, so that entries of earlier searches become the
  // preferred victims of replacement.
  void age();

  // Gives back true and fills `out` when the key is stored; a mate score
  // comes back relative to the root, `ply` being the node's distance from it.
  bool probe(uint64_t key, int ply, TTProbe& out);

  // Stores a search result for the key; a mate score is given relative to the
  // root and kept relative to the node, so it stays right when the position
  // is met again at another ply.
  void store(uint64_t key, Move move, int score, int word, int ply);

  // Forgets the key's entry (its node's search was stopped, so the result is
  // unreliable) and makes the slot the first victim of its window.
  void remove(uint64_t key);

  // remove() with the key of a position (anything with a `hashKey` field).
  template <class PositionLike>
  void eraseFor(const PositionLike& position) {
    remove(position.hashKey);
  }

  // Gives back the share of entries used by the current search, in permille
  // (approximate while threads search), for the hashfull report.
  int fillPermille() const;

  InProgressSet& inProgress() { return inProgress_; }
  const InProgressSet& inProgress() const { return inProgress_; }

  bool hasEntries() const { return entries_ != nullptr; }
  // Number of window starts n; the table holds n + 2 entries (0 without any).
  uint32_t indexRange() const { return indexRange_; }
  std::size_t entryCount() const { return entryCount_; }
  int16_t generation() const { return generation_.load(std::memory_order_relaxed); }
  uint32_t used() const { return used_.load(std::memory_order_relaxed); }

  // Gives back the index of the first entry of the key's window: the high
  // half of keyLow * n, which is cheaper than a division.
  uint32_t windowStart(uint64_t key) const {
    return uint32_t((uint64_t(uint32_t(key)) * indexRange_) >> 32);
  }

  // The default allocator: plain new TTEntry[count].
  static TTEntry* allocateEntries(std::size_t count);

 private:
  // Gives back whether the table could be allocated for `bytes`.
  bool sizeFor(std::size_t bytes);
  void release();

  void countUse() { used_.fetch_add(1, std::memory_order_relaxed); }

  // Stamps the entry with the current generation, counting it as used when
  // it belonged to an earlier search.
  void refresh(TTEntry& e, int16_t generation) {
    if (e.generation.load(std::memory_order_relaxed) != generation) {
      countUse();
      e.generation.store(generation, std::memory_order_relaxed);
    }
  }

  static bool matches(const TTEntry& e, uint32_t lo, uint32_t hi) {
    return e.keyLow.load(std::memory_order_relaxed) == lo &&
           e.keyHigh.load(std::memory_order_relaxed) == hi;
  }

  // Gives back score + delta, kept inside the 32-bit range so that odd
  // inputs (or a score torn from another store) cannot overflow.
  static int32_t shiftScore(int32_t score, int delta) {
    const int64_t v = int64_t(score) + delta;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
  }

  static int32_t toNodeRelative(int32_t score, int ply) {
    if (score < -(MateThreshold - 1)) return shiftScore(score, -int16_t(ply));
    if (score > MateThreshold - 1) return shiftScore(score, int16_t(ply));
    return score;
  }

  static int32_t toRootRelative(int32_t score, int ply) {
    if (score < -(MateThreshold - 1)) return shiftScore(score, int16_t(ply));
    if (score > MateThreshold - 1) return shiftScore(score, -int16_t(ply));
    return score;
  }

  TTEntry* entries_ = nullptr;
  uint32_t indexRange_ = 0;
  std::size_t entryCount_ = 0;
  std::atomic<uint32_t> used_{0};
  std::atomic<int16_t> generation_{1};
  InProgressSet inProgress_;
  EntryAllocator allocate_;
};

inline bool TranspositionTable::probe(uint64_t key, int ply, TTProbe& out) {
  if (entries_ == nullptr) return false;
  const uint32_t lo = uint32_t(key);
  const uint32_t hi = uint32_t(key >> 32);
  TTEntry* window = entries_ + windowStart(key);
  for (int k = 0; k < WindowSize; ++k) {
    TTEntry& e = window[k];
    if (!matches(e, lo, hi)) continue;
    refresh(e, generation());
    out.move = e.move.load(std::memory_order_relaxed);
    out.score = toRootRelative(e.score.load(std::memory_order_relaxed), ply);
    out.word = e.word.load(std::memory_order_relaxed);
    return true;
  }
  return false;
}

inline void TranspositionTable::store(uint64_t key, Move move, int score, int word,
                                      int ply) {
  if (entries_ == nullptr) return;
  const uint32_t lo = uint32_t(key);
  const uint32_t hi = uint32_t(key >> 32);
  const int32_t nodeScore = toNodeRelative(score, ply);
  const int16_t newWord = int16_t(word);
  const int16_t generation = this->generation();
  TTEntry* window = entries_ + windowStart(key);

  for (int k = 0; k < WindowSize; ++k) {
    TTEntry& e = window[k];
    if (!matches(e, lo, hi)) continue;
    refresh(e, generation);
    // A shallower result never overwrites a deeper one of the same position.
    if (TTEntry::deeperThan(e.word.load(std::memory_order_relaxed), newWord)) return;
    e.score.store(nodeScore, std::memory_order_relaxed);
    e.word.store(newWord, std::memory_order_relaxed);
    e.move.store(move, std::memory_order_relaxed);
    return;
  }

  // Entries of earlier searches go first, in window order.
  TTEntry* victim = nullptr;
  for (int k = 0; k < WindowSize; ++k) {
    if (window[k].generation.load(std::memory_order_relaxed) != generation) {
      victim = &window[k];
      break;
    }
  }
  if (victim == nullptr) {
    // All current: the shallowest goes, the later entry on ties, unless even
    // that one was searched at least one ply deeper than the new result.
    const int w0 = window[0].word.load(std::memory_order_relaxed);
    const int w1 = window[1].word.load(std::memory_order_relaxed);
    const int w2 = window[2].word.load(std::memory_order_relaxed);
    int q = 2, wq = w2;
    if (TTEntry::deeperThan(w2, w1)) q = 1, wq = w1;
    int v = q, wv = wq;
    if (TTEntry::deeperThan(wq, w0)) v = 0, wv = w0;
    if (!TTEntry::lessThanOnePlyDeeper(wv, newWord)) return;
    victim = &window[v];
  }

  victim->keyLow.store(lo, std::memory_order_relaxed);
  victim->keyHigh.store(hi, std::memory_order_relaxed);
  victim->move.store(move, std::memory_order_relaxed);
  victim->score.store(nodeScore, std::memory_order_relaxed);
  victim->word.store(newWord, std::memory_order_relaxed);
  refresh(*victim, generation);
}
