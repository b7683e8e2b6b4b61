// Checks of what the engine writes on the UCI wire: "info" lines parse
// keyword by keyword and their moves are legal where they stand;
// "bestmove" lines name a legal move written the way the interface
// expects it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "board/game.h"
#include "board/legality.h"
#include "board/notation.h"

namespace testsupport {

// The answer to "uci" before "uciok", and the hidden options that follow
// it when they are listed.
inline const std::vector<std::string> UciAnswer = {
    "id name Brakken 2.5",
    "id author Quendrix",
    "option name Hash type spin default 3 min 1 max 2047",
    "option name Ponder type check default true",
    "option name OwnBook type check default true",
    "option name Clear Hash type button",
    "option name MultiPV type spin default 1 min 1 max 255",
    "option name UCI_Chess960 type check default false",
    "option name BookFile type string default Brakken.opn",
    "option name Opponent type string default unknown",
    "option name NumberOfProcessors type spin default 1 min 1 max 8",
    "option name NeuroMaterial type spin default 40 min 0 max 100",
    "option name NeuroWidth type spin default 500 min 1 max 10000",
    "option name MaterialFile type string default (internal)",
    "option name TimeLogfile type string default /dev/null",
};

inline const std::vector<std::string> HiddenAnswer = {
    "option name blocking type check default false",
    "option name NoOutput type check default false",
    "option name Resign type spin default 700 min 400 max 2000",
    "option name AlwaysClearHash type check default false",
};


inline std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

inline bool isInteger(const std::string& s, bool allowNegative = false) {
  size_t i = 0;
  if (allowNegative && !s.empty() && s[0] == '-') i = 1;
  if (i >= s.size()) return false;
  for (; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

inline bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The text the interface expects for a move: under Chess960 the king
// taking its own rook, otherwise the king's two-square step for castling;
// never "O-O".
inline std::string wireText(Position p, Move move, bool chess960) {
  p.castlingAsFiles = chess960 ? 1 : 0;
  p.chess960 = chess960 ? 1 : 0;
  char text[16];
  formatMove(p, move, Coordinate, text);
  return text;
}

// Reads one move of the wire in p; it must be legal and written exactly
// as the interface expects it.
inline ::testing::AssertionResult readWireMove(Position& p, const std::string& text, bool chess960, Move& move) {
  if (text.size() < 4 || text.size() > 5) return ::testing::AssertionFailure() << "bad move text '" << text << "'";
  if (!parseMove(p, text.c_str(), move, CoordinateText))
    return ::testing::AssertionFailure() << "illegal move '" << text << "'";
  const std::string expected = wireText(p, move, chess960);
  if (expected != text)
    return ::testing::AssertionFailure() << "move written '" << text << "', expected '" << expected << "'";
  return ::testing::AssertionSuccess();
}

// Checks an "info" line against the root position of its search.
inline ::testing::AssertionResult checkInfoLine(const std::string& line, const Position& root, bool chess960 = false) {
  const std::vector<std::string> w = splitWords(line);
  if (w.empty() || w[0] != "info") return ::testing::AssertionFailure() << "not an info line: " << line;
  static const char* const numeric[] = {"depth", "seldepth", "time", "nodes", "hashfull", "nps", "multipv",
                                        "currmovenumber"};
  for (size_t i = 1; i < w.size(); ++i) {
    const std::string& k = w[i];
    bool isNumeric = false;
    for (const char* n : numeric) isNumeric |= k == n;
    if (isNumeric) {
      if (i + 1 >= w.size() || !isInteger(w[i + 1])) return ::testing::AssertionFailure() << k << " without value: " << line;
      ++i;
    } else if (k == "score") {
      if (i + 2 >= w.size() || (w[i + 1] != "cp" && w[i + 1] != "mate") || !isInteger(w[i + 2], true))
        return ::testing::AssertionFailure() << "bad score: " << line;
      i += 2;
      if (i + 1 < w.size() && (w[i + 1] == "lowerbound" || w[i + 1] == "upperbound")) ++i;
    } else if (k == "pv") {
      Position p = root;
      size_t j = i + 1;
      // Interfaces read the rest of the line as the variation, so every
      // word after "pv" must be a move.
      for (; j < w.size(); ++j) {
        Move m;
        ::testing::AssertionResult r = readWireMove(p, w[j], chess960, m);
        if (!r) return r << " in pv of: " << line;
        UndoRecord undo;
        undo.save(p);
        p.makeMove(m, undo);
      }
      if (j == i + 1) return ::testing::AssertionFailure() << "pv without moves: " << line;
      i = j - 1;
    } else if (k == "currmove") {
      Position p = root;
      Move m;
      if (i + 1 >= w.size()) return ::testing::AssertionFailure() << "currmove without move: " << line;
      ::testing::AssertionResult r = readWireMove(p, w[i + 1], chess960, m);
      if (!r) return r << " in: " << line;
      ++i;
    } else if (k == "string") {
      return ::testing::AssertionSuccess();
    } else {
      return ::testing::AssertionFailure() << "unknown word '" << k << "' in: " << line;
    }
  }
  return ::testing::AssertionSuccess();
}

// Checks a "bestmove" line and gives back its move (0 for "0000").
inline ::testing::AssertionResult checkBestMove(const std::string& line, const Position& root, bool chess960,
                                                Move* best = nullptr) {
  const std::vector<std::string> w = splitWords(line);
  if (w.size() != 2 && !(w.size() == 4 && w[2] == "ponder"))
    return ::testing::AssertionFailure() << "malformed: " << line;
  if (w[0] != "bestmove") return ::testing::AssertionFailure() << "not a bestmove line: " << line;
  Position p = root;
  if (w[1] == "0000") {
    if (w.size() != 2) return ::testing::AssertionFailure() << "ponder after 0000: " << line;
    if (best) *best = 0;
    return ::testing::AssertionSuccess();
  }
  Move m;
  ::testing::AssertionResult r = readWireMove(p, w[1], chess960, m);
  if (!r) return r << " in: " << line;
  if (best) *best = m;
  if (w.size() == 4) {
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
    Move ponder;
    r = readWireMove(p, w[3], chess960, ponder);
    if (!r) return r << " (ponder) in: " << line;
  }
  return ::testing::AssertionSuccess();
}

// The game a "position" command sets up, built independently of the
// engine's interpreter: "startpos" or "fen ..." and then moves. keys, when
// given, receives the hash key of every position of it, the root last.
inline Game gameOf(const std::string& command, std::vector<uint64_t>* keys = nullptr) {
  Game g;
  std::vector<std::string> w = splitWords(command);
  size_t i = 1;
  if (i < w.size() && w[i] == "startpos") {
    g.setPosition(nullptr);
    ++i;
  } else if (i < w.size() && w[i] == "fen") {
    std::string fen;
    for (++i; i < w.size() && w[i] != "moves"; ++i) fen += " " + w[i];
    EXPECT_TRUE(g.setFen(fen.c_str() + 1)) << fen;
  }
  if (keys) keys->assign(1, g.position.hashKey);
  if (i < w.size() && w[i] == "moves")
    for (++i; i < w.size(); ++i) {
      Move m;
      EXPECT_TRUE(parseMove(g.position, w[i].c_str(), m, CoordinateText)) << w[i];
      g.playMove(m);
      if (keys) keys->push_back(g.position.hashKey);
    }
  return g;
}

inline Position positionOf(const std::string& command) { return gameOf(command).position; }

}  // namespace testsupport
