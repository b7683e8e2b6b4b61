// Builds opening books from game collections. "add" reads the games of a
// PGN file and adds result statistics, weighted by the result, the players'
// ratings and the length of the game, to every move of the first 37 plies;
// a write values the move tree from them, gives every move a book weight
// from 0 to 99 and writes the tree as a book file, as a Chess960 book with
// one tree per start position, or as a shuffled list of test positions at
// which the book offers several balanced choices.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "board/position.h"
#include "board/types.h"

class BookWriter;

struct MoveStat {
  // Scores summed over all games; 64 bits, so a large collection added at
  // a large game value cannot overflow them.
  uint64_t whiteScore = 1000;
  uint64_t blackScore = 1000;
  Move move = 0;
  float value = NotValued;  // from the mover's point of view
  int16_t weight = 0;       // 0 to 99
  uint8_t done = 0;         // below the threshold, or already visited by a writer
  uint8_t pruned = 0;       // taken out by prune: done again at every write
  uint32_t order = 0;       // when the move was first seen in its position

  static constexpr float NotValued = -9999.9f;
};

class BookStats {
 public:
  static constexpr int SignaturePlies = 99;
  static constexpr int PliesUsed = 37;
  static constexpr int DefaultThreshold = 3000;
  static constexpr double DefaultWidth = 0.25;

  // The errors of reading and writing go to this stream.
  explicit BookStats(std::FILE* errors = stderr);
  BookStats(const BookStats&) = delete;
  BookStats& operator=(const BookStats&) = delete;

  // Adds the games of a PGN file with game value `value`; with calcElo the
  // ratings are computed from the file's results; games in which either
  // rating is below minimumElo (when 0 or more) are left out. False only
  // when the file cannot be opened.
  bool addPgn(const char* fileName, uint32_t value, bool all, bool calcElo, int minimumElo);
  // Adds one game; resultSign is +1 for a white win, -1 for a black win and
  // 0 for a draw. Without `all` a game shorter than 37 plies, or one seen
  // before, adds nothing. False when the game was dropped for its length
  // or its set-up.
  bool addGame(const std::vector<Move>& moves, const char* fen, uint32_t value, double eloDifference, bool all,
               int resultSign);

  // The three writes; width is the fraction (0.25 for the default 25).
  // False when the output file could not be written; the statistics are
  // then unchanged, so the write can be given again.
  bool write(const char* fileName, int threshold, double width);
  bool write960(const char* fileName, int threshold, double width);
  bool writeEpd(const char* fileName, int threshold, double width);

  // Values the tree below the position and assigns the weights; m is
  // threshold + 1000, w = ln(1 + width). The value is the side to move's.
  double evaluate(Position& position, int64_t m, double w);

  // Marks done the unweighted moves after which no weighted play follows,
  // so that they are not written. The flags say whether the side to move
  // and the other side came to the position playing weighted moves only;
  // a position neither side reached that way answers false at once, so
  // the unweighted move into it is removed. The answer: whether the
  // position has a weighted move (true for one examined before). Needs the
  // weights of evaluate; from the root, both flags are true.
  bool prune(Position& position, bool moverInBook, bool opponentInBook);

  // Takes a position off the walk of the recursive operation in progress;
  // each of them calls it as it returns from a position.
  void leave(uint64_t key) { path_.erase(key); }

  // --- inspection ---
  bool contains(uint64_t key) const { return stats_.count(key) != 0; }
  // The moves seen in a position, or null.
  const std::vector<MoveStat>* movesOf(uint64_t key) const;
  size_t positionCount() const { return stats_.size(); }
  int64_t whiteMoves() const { return whiteMoves_; }
  int64_t blackMoves() const { return blackMoves_; }
  const std::vector<std::string>& testPositionLines() const { return testPositions_; }

 private:
  uint32_t fromKey(int ply, int square) const { return randomKeys_[ply * 128 + square]; }
  uint32_t toKey(int ply, int square) const { return randomKeys_[ply * 128 + 64 + square]; }
  // Forgets the values, weights and visits of an earlier write.
  void resetForWrite();
  void writeTree(Position& position, int depth, BookWriter& writer);
  void collectTestPositions(Position& position, const std::string& path, bool active, bool flag, bool& balanced,
                            bool& emitted);
  bool writeBook(const char* fileName, int threshold, double width, bool chess960);
  void reportOpenError(const char* fileName);
  void reportWriteError(const char* fileName);

  std::FILE* errors_;
  std::vector<uint32_t> randomKeys_;
  std::unordered_set<uint64_t> signatures_;
  std::unordered_map<uint64_t, std::vector<MoveStat>> stats_;
  std::unordered_set<uint64_t> path_;
  // The positions prune examined for a side to move still in the book;
  // never cleared, so each is examined once.
  std::unordered_set<uint64_t> visited_;
  int64_t whiteMoves_ = 0;
  int64_t blackMoves_ = 0;
  std::vector<std::string> testPositions_;
};
