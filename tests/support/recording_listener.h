// A search listener that records what the search reported, for tests.
#pragma once

#include <string>
#include <vector>

#include "search/searcher.h"

namespace testsupport {

struct RecordingListener : SearchListener {
  struct Pv {
    int score, alpha, beta, iteration;
    Move best;
  };
  std::vector<Pv> pvs;
  std::vector<std::pair<Move, int>> currentMoves;
  std::vector<int> multiPvLines;
  std::vector<std::string> infoStrings;

  void printPv(Searcher& s, int score, int alpha, int beta) override {
    pvs.push_back({score, alpha, beta, s.iteration(), s.bestMove()});
  }
  void printCurrentMove(Move move, int number) override { currentMoves.emplace_back(move, number); }
  void printMultiPv(Searcher&, int line, Move, int, int, int) override { multiPvLines.push_back(line); }
  void infoString(const char* text, const char*) override { infoStrings.emplace_back(text); }
};

}  // namespace testsupport
