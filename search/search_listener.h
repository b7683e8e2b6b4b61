// What a running search reports: new principal variations, the root move
// being searched, MultiPV lines and information text. Called on the search
// thread; implementations take care of their own locking.
#pragma once

#include "board/types.h"

class Searcher;

class SearchListener {
 public:
  // A new best line or an iteration's result; the receiver reads depth,
  // nodes and best move from the searcher and may extract the variation.
  virtual void printPv(Searcher& searcher, int score, int alpha, int beta) = 0;
  // The root move about to be searched and its 1-based place in the list.
  virtual void printCurrentMove(Move move, int number) = 0;
  // One MultiPV line, counted from 1.
  virtual void printMultiPv(Searcher&, int /*line*/, Move, int /*score*/, int /*alpha*/, int /*beta*/) {}
  // A reserved report, empty in every output; kept so each output keeps the
  // same six listener operations, though the search never calls it.
  virtual void spare() {}
  virtual void diagnostic(const char* /*text*/, const char* /*argument*/) {}
  virtual void infoString(const char* /*text*/, const char* /*argument*/) {}

 protected:
  ~SearchListener() = default;
};

// Listens to nothing: the listener of helper threads and of tools.
class NullListener : public SearchListener {
 public:
  void printPv(Searcher&, int, int, int) override {}
  void printCurrentMove(Move, int) override {}
};
