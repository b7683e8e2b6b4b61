// The opening book: weighted moves for known positions, read from the
// engine's own text-tree file, kept as one flat array sorted by position
// key and probed by a weighted random choice that also proposes the
// opponent's expected reply.
//
// The text is a sequence of white-space-separated tokens. A level is the
// list of items of one position, closed by "*"; the whole file is the level
// of the standard start position. An item is either a move in coordinate
// text, its weight and the level of the position after it, or "startpos N",
// which replaces the start position by Chess960 start position N mod 960.
// A weight above 0 stores the move; 0 or below (but not -1) makes the move
// a mere path to the positions below it. Reading stops at the root's "*".
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "board/position.h"
#include "board/types.h"
#include "search/opening_source.h"

struct BookEntry {
  uint32_t keyLow;
  uint32_t keyHigh;
  uint32_t weight;  // always above 0 for a stored entry
  Move move;

  uint64_t key() const { return uint64_t(keyHigh) << 32 | keyLow; }
};

class Book final : public OpeningBook {
 public:
  static constexpr int MaxFileName = 512;
  // Deeper trees are refused: no book line is longer, and a crafted file
  // must not run the reader out of memory.
  static constexpr int MaxDepth = 1000;
  // Longer tokens are refused; no move, weight or number is that long.
  static constexpr int MaxToken = 63;

  Book();
  ~Book() override = default;
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  bool setFileName(const char* name) override;
  const char* fileName() const { return fileName_; }
  // Reads the whole file again; on any fault the book is left empty.
  bool load() override;
  void clear() override;
  bool failureWorthReporting() override;
  // Draws one of the position's moves with the chance weight / sum of the
  // position's weights (process-wide random generator); reply (may be null)
  // gets the heaviest move stored for the position after it, or 0.
  bool probe(Position& position, Move* move, Move* reply) override;

  // The entries, heaviest first within each position, positions ordered by
  // key.
  const std::vector<BookEntry>& entries() const { return entries_; }

  // Reads the text of one root level from the stream into the entries,
  // starting at the given position (the standard start for a file). Used
  // by load; false on any fault, with the entries left as they were read.
  bool parseTree(std::FILE* stream, Position& position);

 private:
  // Index of the first entry whose key is not below key.
  size_t lowerBound(uint64_t key) const;
  void sortEntries();

  std::vector<BookEntry> entries_;
  char fileName_[MaxFileName + 4];
  // The name whose missing file was last reported, to report it only once.
  char reportedMissing_[MaxFileName + 4] = {};
  bool lastLoadMissing_ = false;
};

// Writes a book tree in the layout the reader expects and the book files
// share: each item as the move right-aligned in 6 characters, the weight in
// 3, one blank, the item's sub-level and "* "; the first item of a level on
// its parent's line, every later one on a new line indented by 10 blanks
// per level of depth. The caller walks its tree and calls, per item,
// beginItem ... (the items below it at depth + 1) ... endItem.
class BookWriter {
 public:
  explicit BookWriter(std::FILE* out) : out_(out) {}

  // first: the first item written at this level under its parent.
  void beginItem(int depth, bool first, const char* moveText, int weight);
  void endItem();
  // A Chess960 block: "startpos N" on a line of its own; blocks after the
  // first are separated by an empty line.
  void beginStartPosition(unsigned number, bool firstBlock);
  void endStartPosition();
  // Closes the root level: "* -1" and a line end.
  void finish();

 private:
  std::FILE* out_;
};
