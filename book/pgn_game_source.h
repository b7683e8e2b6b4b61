// Forced opening lines: replays the games of a PGN file named on the
// command line. As long as the game on the board follows a game of the
// file, the engine answers with that game's next move for its side instead
// of searching. The first deviation, PGN error or end of the file ends the
// source for good.
#pragma once

#include <cstdint>
#include <vector>

#include "book/pgn_lexer.h"
#include "search/opening_source.h"

struct PosMove {
  uint32_t keyLow;  // key of the position before the move
  uint32_t keyHigh;
  Move move;

  uint64_t key() const { return uint64_t(keyHigh) << 32 | keyLow; }
};

class PgnGameSource final : public OpeningSource {
 public:
  // Opens the file; one that cannot be opened is reported by the reader
  // and leaves the source finished from the start.
  explicit PgnGameSource(const char* fileName, std::FILE* errors = stderr);
  PgnGameSource(const PgnGameSource&) = delete;
  PgnGameSource& operator=(const PgnGameSource&) = delete;

  bool isOpen() const { return lexer_.isOpen(); }
  bool done() const { return done_; }

  // The forced move for the position with this key, or false.
  bool nextMove(uint32_t keyLow, uint32_t keyHigh, Move* move);
  // Reads the next game of the file into the list of (key, move) records,
  // its FEN tag read the way the last probe's position asked for.
  bool loadNextGame();

  // The forced move for the position; there is never an expected reply.
  // FEN tags are read as the interface reads a FEN for this game: as
  // Chess960 when the position is marked so, else as standard chess.
  bool probe(Position& position, Move* move, Move* reply) override;

 private:
  PgnLexer lexer_;
  std::vector<PosMove> moves_;
  uint32_t index_ = 0;
  bool done_;
};
