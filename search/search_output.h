// What a search hands to the front end: the running reports of the listener
// and, once the search has ended, its statistics and its answer. The search
// controller knows the front end's output only through this interface, so
// every protocol's output (UCI, xboard) plugs in the same way.
#pragma once

#include "board/types.h"
#include "search/search_listener.h"

class SearchOutput : public SearchListener {
 public:
  // The answer at the end of a search; either pointer may be null (the
  // ponder move comes only together with a best move).
  virtual void printBestMove(const Move* best, const Move* ponder) = 0;
  // The statistics of a search that ended by its own limits.
  virtual void printStatus() = 0;

 protected:
  ~SearchOutput() = default;
};
