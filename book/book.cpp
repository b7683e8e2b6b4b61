#include "book/book.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "board/legality.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "common/input_file.h"

namespace {

// The third to sixth ranks: "startpos" may only replace a position whose
// men all still stand on their first two ranks.
constexpr Bitboard MiddleRanks = 0x0000FFFFFFFF0000ULL;

enum class TokenRead { Token, End, Bad };

// White-space-separated tokens of at most Book::MaxToken characters.
class TokenReader {
 public:
  explicit TokenReader(std::FILE* in) : in_(in) {}

  TokenRead next(char* out) {
    int c;
    do c = getc_unlocked(in_);
    while (c != EOF && std::isspace(static_cast<unsigned char>(c)));
    if (c == EOF) return TokenRead::End;
    int n = 0;
    while (c != EOF && !std::isspace(static_cast<unsigned char>(c))) {
      // An over-long token or a NUL byte is no book text.
      if (n >= Book::MaxToken || c == 0) return TokenRead::Bad;
      out[n++] = char(c);
      c = getc_unlocked(in_);
    }
    out[n] = 0;
    return TokenRead::Token;
  }

 private:
  std::FILE* in_;
};

// A signed decimal integer that fills the whole token and fits 32 bits.
bool readWeight(const char* text, int32_t& value) {
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (!*text) return false;
  int64_t v = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    v = v * 10 + (*text - '0');
    if (v > int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return false;
  value = int32_t(v);
  return true;
}

// An unsigned decimal number that fills the whole token and fits 32 bits.
bool readNumber(const char* text, uint32_t& value) {
  if (!*text) return false;
  uint64_t v = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    v = v * 10 + uint64_t(*text - '0');
    if (v > UINT32_MAX) return false;
  }
  value = uint32_t(v);
  return true;
}

}  // namespace

Book::Book() { std::strcpy(fileName_, "Brakken.opn"); }

bool Book::setFileName(const char* name) {
  if (!name || std::strlen(name) > size_t(MaxFileName)) return false;
  std::strcpy(fileName_, name);
  return true;
}

void Book::clear() { entries_.clear(); }

bool Book::load() {
  entries_.clear();
  lastLoadMissing_ = false;
  std::FILE* in = openInputFile(fileName_, "rb");
  if (!in) {
    lastLoadMissing_ = true;
    return false;
  }
  Position position;
  position.setStartPosition();
  const bool ok = parseTree(in, position);
  std::fclose(in);
  if (!ok) {
    // Never a partial book.
    entries_.clear();
    return false;
  }
  sortEntries();
  return true;
}

bool Book::failureWorthReporting() {
  if (!lastLoadMissing_) return true;
  if (!std::strcmp(reportedMissing_, fileName_)) return false;
  std::strcpy(reportedMissing_, fileName_);
  return true;
}

bool Book::parseTree(std::FILE* stream, Position& position) {
  TokenReader in(stream);
  // undo[d] takes back the move that entered level d + 1. The levels are
  // walked with this explicit stack, so a deep file costs memory, bounded
  // by MaxDepth, and never the call stack.
  std::vector<UndoRecord> undo;
  int depth = 0;
  char token[MaxToken + 1];
  bool ok = false;
  for (;;) {
    if (in.next(token) != TokenRead::Token) break;
    if (!std::strcmp(token, "*")) {
      if (depth == 0) {
        ok = true;
        break;
      }
      undo[--depth].restore();
      continue;
    }
    if (!std::strcmp(token, "startpos")) {
      // Below the root the moves leading there could not be taken back on
      // a replaced position; the writers never put it there.
      if (depth != 0 || (position.occupied & MiddleRanks)) break;
      uint32_t number;
      if (in.next(token) != TokenRead::Token || !readNumber(token, number)) break;
      position.setChess960(number);
      continue;
    }
    char moveText[MaxToken + 1];
    std::memcpy(moveText, token, sizeof token);
    int32_t weight = -1;
    if (in.next(token) != TokenRead::Token || !readWeight(token, weight) || weight == -1) break;
    Move move;
    if (!parseMove(position, moveText, move, CoordinateText)) break;
    if (weight > 0) {
      const uint64_t key = position.hashKey;
      entries_.push_back({uint32_t(key), uint32_t(key >> 32), uint32_t(weight), move});
    }
    if (depth >= MaxDepth) break;
    if (size_t(depth) >= undo.size()) undo.resize(size_t(depth) + 1);
    undo[depth].save(position);
    if (!position.makeMove(move, undo[depth])) break;
    ++depth;
  }
  // Whatever happened, the position is given back as the levels found it.
  while (depth > 0) undo[--depth].restore();
  return ok;
}

void Book::sortEntries() {
  std::sort(entries_.begin(), entries_.end(), [](const BookEntry& a, const BookEntry& b) {
    if (a.key() != b.key()) return a.key() < b.key();
    return a.weight > b.weight;
  });
}

size_t Book::lowerBound(uint64_t key) const {
  size_t low = 0, high = entries_.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (entries_[middle].key() < key) low = middle + 1;
    else high = middle;
  }
  return low;
}

bool Book::probe(Position& position, Move* move, Move* reply) {
  if (entries_.empty()) return false;
  const uint64_t key = position.hashKey;
  const size_t first = lowerBound(key);
  const size_t size = entries_.size();
  if (first == size || entries_[first].key() != key) return false;
  // A 64-bit sum: weights of up to 2^31 - 1 each must not wrap around and
  // skew the choice.
  uint64_t sum = 0;
  size_t end = first;
  while (end < size && entries_[end].key() == key) sum += entries_[end++].weight;
  if (sum == 0) return false;
  RandomGenerator& random = RandomGenerator::instance();
  uint64_t draw = sum <= UINT32_MAX ? random.next() % sum : random.next64() % sum;
  size_t chosen = first;
  while (draw >= entries_[chosen].weight) draw -= entries_[chosen++].weight;
  const Move found = entries_[chosen].move;
  // Another position with the same key must never get a foreign move on
  // the board.
  if (!isLegalMove(position, found)) return false;
  *move = found;
  if (!reply) return true;
  *reply = 0;
  UndoRecord undo;
  undo.save(position);
  if (position.makeMove(found, undo)) {
    const uint64_t next = position.hashKey;
    const size_t r = lowerBound(next);
    if (r < size && entries_[r].key() == next && isLegalMove(position, entries_[r].move)) *reply = entries_[r].move;
    undo.restore();
  }
  return true;
}

void BookWriter::beginItem(int depth, bool first, const char* moveText, int weight) {
  if (!first) {
    std::fputc('\n', out_);
    for (int i = 0; i < depth * 10; ++i) std::fputc(' ', out_);
  }
  std::fprintf(out_, "%6s%3d ", moveText, weight);
}

void BookWriter::endItem() { std::fputs("* ", out_); }

void BookWriter::beginStartPosition(unsigned number, bool firstBlock) {
  if (!firstBlock) std::fputc('\n', out_);
  std::fprintf(out_, "startpos %u\n", number);
}

void BookWriter::endStartPosition() { std::fputc('\n', out_); }

void BookWriter::finish() { std::fputs("* -1\n", out_); }
