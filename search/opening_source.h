// What the search asks before it searches: a source of moves chosen in
// advance for known positions (the opening book, forced lines from a game
// file). The search owns this small interface so that it never needs to
// know the classes above it that implement it.
#pragma once

#include "board/position.h"
#include "board/types.h"

class OpeningSource {
 public:
  // A move for the position, or false. reply (may be null) receives the
  // expected answer to the move, or 0 when none is known. The position may
  // be used for look-ups but is as it was when the call returns.
  virtual bool probe(Position& position, Move* move, Move* reply) = 0;

 protected:
  ~OpeningSource() = default;
};

// An opening book the master searcher owns: named, loaded and cleared on the
// command thread while no search runs, probed by the master's search thread.
class OpeningBook : public OpeningSource {
 public:
  virtual ~OpeningBook() = default;
  // False when the name is too long; the old name stays.
  virtual bool setFileName(const char* name) = 0;
  // Reads the named file; false (and an empty book) when it is missing
  // (a file that cannot be opened at once, such as a FIFO without a
  // writer, counts as missing) or malformed.
  virtual bool load() = 0;
  virtual void clear() = 0;
  // After a failed load: whether the failure is news. A malformed file is
  // news every time; a missing file only the first time its name fails,
  // since the default book is usually simply not installed.
  virtual bool failureWorthReporting() = 0;
};
