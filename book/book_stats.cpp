#include "book/book_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <map>

#include "board/legality.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/book.h"
#include "book/pgn_lexer.h"
#include "book/rating.h"
#include "common/output_file.h"

namespace {

constexpr int Blocks = 300;
constexpr double BestTolerance = 0.0001;
constexpr double NoBestValue = -9999.9;

// ln(white / black) from the point of view of the side to move.
double signedLog(const Position& p, double white, double black) {
  const double v = std::log(white / black);
  return p.whiteToMove ? v : -v;
}

// Makes a move of a list on the position; false (the position unchanged)
// when a position sharing the key would not allow it.
bool makeListedMove(Position& p, Move m, UndoRecord& undo) {
  if (!isLegalMove(p, m)) return false;
  undo.save(p);
  return p.makeMove(m, undo);
}

}  // namespace

BookStats::BookStats(std::FILE* errors) : errors_(errors), randomKeys_(Blocks * 128) {
  RandomGenerator& random = RandomGenerator::instance();
  for (uint32_t& key : randomKeys_) {
    random.skip(20);
    key = random.next();
  }
}

const std::vector<MoveStat>* BookStats::movesOf(uint64_t key) const {
  const auto it = stats_.find(key);
  return it == stats_.end() ? nullptr : &it->second;
}

bool BookStats::addPgn(const char* fileName, uint32_t value, bool all, bool calcElo, int minimumElo) {
  PgnLexer lexer(fileName, errors_);
  if (!lexer.isOpen()) return false;
  std::map<std::string, int> ratings;
  if (calcElo) computeRatings(fileName, ratings, errors_);
  std::vector<Move> moves;
  PgnTags tags;
  std::string fen;
  int result = UnknownResult, whiteElo = 0, blackElo = 0;
  while (lexer.readNextGame(moves, &tags, &result, &fen, &whiteElo, &blackElo, -1)) {
    if (calcElo) {
      const auto white = ratings.find(tags["White"]);
      const auto black = ratings.find(tags["Black"]);
      whiteElo = white == ratings.end() ? 0 : white->second;
      blackElo = black == ratings.end() ? 0 : black->second;
    }
    if (minimumElo >= 0 && (whiteElo < minimumElo || blackElo < minimumElo)) continue;
    int sign;
    if (result == WhiteWins)
      sign = 1;
    else if (result == BlackWins)
      sign = -1;
    else if (result == Draw)
      sign = 0;
    else
      continue;
    addGame(moves, fen.empty() ? nullptr : fen.c_str(), value, double(whiteElo) - double(blackElo), all, sign);
  }
  return true;
}

bool BookStats::addGame(const std::vector<Move>& moves, const char* fen, uint32_t value, double eloDifference,
                        bool all, int resultSign) {
  Position start;
  if (fen) {
    // A FEN the set-up refuses gives no position to hang the moves on.
    if (!start.setFen(fen)) return false;
  } else {
    start.setStartPosition();
  }
  const int n = int(moves.size());

  uint32_t low = 0, high = 0;
  for (int p = 0; p < n && p < SignaturePlies; ++p) {
    low ^= fromKey(p, moveFrom(moves[p]));
    high ^= toKey(p, moveTo(moves[p]));
  }

  int used;
  if (n >= PliesUsed)
    used = PliesUsed;
  else if (all)
    used = n;
  else
    return false;

  // Black's shares are raised a little: a draw or a win with black is
  // worth more than the same result with white.
  const double v = value;
  double o, t;
  if (resultSign > 0) {
    o = v;
    t = 0;
  } else if (resultSign < 0) {
    o = 0;
    t = 1.08 * v;
  } else {
    o = 0.5 * v;
    t = 0.54 * v;
  }

  if (!all && !signatures_.insert(uint64_t(high) << 32 | low).second) return true;

  // White's expected score from the rating difference.
  const double expected = 1.0 / (1.0 + std::pow(10.0, eloDifference / -400.0));

  Position p = start;
  for (int i = 0; i < used; ++i) {
    double oi = o, ti = t;
    if (!all) {
      // A short game says less about its opening: its shares are mixed
      // toward each other, by up to a quarter.
      const double u = std::clamp(1.0 + (n - i - 40) * 0.5 / -260.0, 0.75, 1.0);
      oi = u * o + (1 - u) * t;
      ti = u * t + (1 - u) * o;
    }
    const uint64_t whiteAdd = uint64_t(2.0 * oi * (1.0 - expected));
    const uint64_t blackAdd = uint64_t(2.0 * ti * expected);
    const Move m = moves[i];
    // A FEN tag after the moves leaves moves that do not follow; the game
    // ends where they stop fitting.
    if (!isLegalMove(p, m)) break;
    std::vector<MoveStat>& list = stats_[p.hashKey];
    auto it = std::find_if(list.begin(), list.end(), [m](const MoveStat& s) { return s.move == m; });
    if (it != list.end()) {
      it->whiteScore += whiteAdd;
      it->blackScore += blackAdd;
    } else {
      MoveStat s;
      s.whiteScore = 1000 + whiteAdd;
      s.blackScore = 1000 + blackAdd;
      s.move = m;
      s.order = uint32_t(list.size());
      list.push_back(s);
    }
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
  }
  return true;
}

double BookStats::evaluate(Position& p, int64_t m, double w) {
  const uint64_t key = p.hashKey;
  if (!path_.insert(key).second) return -0.05;
  // Games that start where others ended can chain into lines of any
  // length; below the deepest level a book may hold, positions are valued
  // as leaves, so the recursion stays bounded.
  const bool leaf = path_.size() >= size_t(Book::MaxDepth);
  const auto found = stats_.find(key);
  if (found == stats_.end()) {
    leave(key);
    return 0.0;
  }
  std::vector<MoveStat>& list = found->second;

  double sw = 0, sb = 0;
  for (const MoveStat& s : list) {
    sw += double(s.whiteScore);
    sb += double(s.blackScore);
  }
  uint64_t largest = 0;
  int valued = 0;
  for (MoveStat& s : list) {
    const uint64_t a = s.whiteScore + s.blackScore;
    if (int64_t(a) <= m) {
      s.done = 1;
      continue;
    }
    double value;
    if (s.value > -1000) {
      value = s.value;
    } else {
      value = signedLog(p, double(s.whiteScore), double(s.blackScore));
      UndoRecord undo;
      if (!leaf && makeListedMove(p, s.move, undo)) {
        if (stats_.count(p.hashKey)) value = -evaluate(p, m, w);
        undo.restore();
      }
    }
    s.value = float(value);
    largest = std::max(largest, a);
    ++valued;
  }
  leave(key);

  // A move played far less often than the most played one is hardly a
  // choice of its own.
  double best = NoBestValue;
  for (MoveStat& s : list) {
    if (6 * (s.whiteScore + s.blackScore) < largest) s.value -= 99;
    if (!s.done && s.value > best) best = s.value;
  }

  if (valued == 0) return sw == 0 || sb == 0 ? 0.0 : signedLog(p, sw, sb);
  auto isBest = [best](const MoveStat& s) { return !s.done && s.value >= best - BestTolerance; };
  if (valued == 1) {
    for (MoveStat& s : list)
      if (isBest(s)) {
        s.weight = 99;
        return s.value;
      }
    return best;
  }

  double rw = sw, rb = sb;
  for (MoveStat& s : list) {
    if (s.done) {
      s.weight = 0;
    } else if (isBest(s)) {
      s.weight = 99;
      rw += 2.0 * double(s.whiteScore);
      rb += 2.0 * double(s.blackScore);
    } else {
      // With no width only the best moves are played.
      const double q = w > 0 ? 99.0 * (w + s.value - best) / w : 0.0;
      s.weight = q < 1 ? 0 : int16_t(std::min(q, 99.0));
    }
  }
  std::stable_sort(list.begin(), list.end(), [](const MoveStat& a, const MoveStat& b) {
    if (a.done != b.done) return a.done < b.done;
    return a.value > b.value;
  });
  const double r = signedLog(p, rw, rb);
  const MoveStat& first = list.front();
  if (first.done || r > first.value) return r;
  const double a1 = double(first.whiteScore + first.blackScore);
  return (first.value * (a1 - double(m)) + r * double(m)) / a1;
}

bool BookStats::prune(Position& p, bool moverInBook, bool opponentInBook) {
  if (!moverInBook && !opponentInBook) return false;
  const uint64_t key = p.hashKey;
  if (visited_.count(key)) return true;
  if (path_.count(key)) return moverInBook;
  if (moverInBook) visited_.insert(key);
  // No book level lies deeper than the reader takes; a position below
  // them counts as one without moves, so a line chained through FEN games
  // does not recurse without bound.
  const bool beyond = path_.size() >= size_t(Book::MaxDepth);
  path_.insert(key);
  bool weighted = false;
  const auto found = beyond ? stats_.end() : stats_.find(key);
  if (found != stats_.end()) {
    for (MoveStat& s : found->second) {
      if (s.done) continue;
      UndoRecord undo;
      if (!makeListedMove(p, s.move, undo)) continue;
      const bool hasWeight = s.weight > 0;
      // The side that moves stays in the book only with a weighted move.
      if (!prune(p, opponentInBook, moverInBook && hasWeight) && !hasWeight) s.done = s.pruned = 1;
      weighted = weighted || hasWeight;
      undo.restore();
    }
  }
  leave(key);
  return weighted;
}

void BookStats::writeTree(Position& p, int depth, BookWriter& writer) {
  // The reader refuses deeper levels.
  if (depth >= Book::MaxDepth) return;
  const uint64_t key = p.hashKey;
  if (!path_.insert(key).second) return;
  const auto found = stats_.find(key);
  if (found != stats_.end()) {
    std::vector<MoveStat>& list = found->second;
    bool first = true;
    for (size_t i = 0; i < list.size(); ++i) {
      MoveStat& s = list[i];
      if (s.done) continue;
      s.done = 1;
      char text[16];
      if (!isLegalMove(p, s.move)) continue;
      formatMove(p, s.move, Coordinate, text);
      const bool whiteMoved = p.whiteToMove != 0;
      UndoRecord undo;
      if (!makeListedMove(p, s.move, undo)) continue;
      bool written = s.weight != 0;
      if (!written && !path_.count(p.hashKey)) {
        const auto child = stats_.find(p.hashKey);
        if (child != stats_.end())
          written = std::any_of(child->second.begin(), child->second.end(),
                                [](const MoveStat& c) { return !c.done && c.weight > 0; });
      }
      if (!written) {
        undo.restore();
        continue;
      }
      ++(whiteMoved ? whiteMoves_ : blackMoves_);
      writer.beginItem(depth, first, text, s.weight);
      first = false;
      writeTree(p, depth + 1, writer);
      undo.restore();
      writer.endItem();
    }
  }
  leave(key);
}

void BookStats::collectTestPositions(Position& p, const std::string& path, bool active, bool flag, bool& balanced,
                                     bool& emitted) {
  const uint64_t key = p.hashKey;
  if (!active || path_.count(key) || path_.size() >= size_t(Book::MaxDepth)) return;
  path_.insert(key);
  const auto found = stats_.find(key);
  if (found == stats_.end()) {
    balanced = false;
    leave(key);
    return;
  }
  std::vector<MoveStat>& list = found->second;
  int count = 0, extra = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    MoveStat& s = list[i];
    if (s.done) continue;
    s.done = 1;
    if (!isLegalMove(p, s.move)) continue;
    char text[16];
    const std::string childPath = path + " " + formatMove(p, s.move, SanGermanMarked, text);
    UndoRecord undo;
    if (!makeListedMove(p, s.move, undo)) continue;
    bool childBalanced = false, childEmitted = false;
    collectTestPositions(p, childPath, s.weight > 0 && flag, true, childBalanced, childEmitted);
    if (childEmitted) emitted = true;
    const double white = double(s.whiteScore), black = double(s.blackScore);
    if (s.weight > 0 && 1.5 * white > black && 1.5 * black > white) {
      ++count;
      if (childBalanced) ++extra;
    }
    undo.restore();
  }
  balanced = count + extra > 2;
  if (balanced && !emitted) {
    char fen[96];
    p.toFen(fen);
    testPositions_.push_back(std::string(fen) + " 0 1; \"" + path + "\"; ");
    emitted = true;
  }
  leave(key);
}

void BookStats::resetForWrite() {
  for (auto& entry : stats_) {
    std::vector<MoveStat>& list = entry.second;
    std::sort(list.begin(), list.end(), [](const MoveStat& a, const MoveStat& b) { return a.order < b.order; });
    for (MoveStat& s : list) {
      s.value = MoveStat::NotValued;
      s.weight = 0;
      // A write values the tree afresh; what prune took out stays out.
      s.done = s.pruned;
    }
  }
  path_.clear();
  testPositions_.clear();
  whiteMoves_ = 0;
  blackMoves_ = 0;
}

void BookStats::reportOpenError(const char* fileName) {
  std::fprintf(errors_, "info string error opening the output file %s\n", fileName);
  std::fflush(errors_);
}

void BookStats::reportWriteError(const char* fileName) {
  std::fprintf(errors_, "info string error writing the output file %s\n", fileName);
  std::fflush(errors_);
}

bool BookStats::writeBook(const char* fileName, int threshold, double width, bool chess960) {
  OutputFile file;
  if (!file.open(fileName)) {
    reportOpenError(fileName);
    return false;
  }
  resetForWrite();
  const int64_t m = int64_t(threshold) + 1000;
  const double w = std::log1p(width);
  BookWriter writer(file.stream());
  Position p;
  if (!chess960) {
    p.setStartPosition();
    evaluate(p, m, w);
    writeTree(p, 0, writer);
  } else {
    for (unsigned k = 1; k <= 960; ++k) {
      p.setChess960(k);
      if (!stats_.count(p.hashKey)) continue;
      evaluate(p, m, w);
      writer.beginStartPosition(k, k == 1);
      writeTree(p, 0, writer);
      writer.endStartPosition();
    }
  }
  writer.finish();
  if (!file.commit()) {
    reportWriteError(fileName);
    return false;
  }
  std::printf("white moves:%10" PRId64 "\n", whiteMoves_);
  std::printf("black moves:%10" PRId64 "\n", blackMoves_);
  std::printf("moves:      %10" PRId64 "\n", whiteMoves_ + blackMoves_);
  std::fflush(stdout);
  return true;
}

bool BookStats::write(const char* fileName, int threshold, double width) {
  return writeBook(fileName, threshold, width, false);
}

bool BookStats::write960(const char* fileName, int threshold, double width) {
  return writeBook(fileName, threshold, width, true);
}

bool BookStats::writeEpd(const char* fileName, int threshold, double width) {
  OutputFile file;
  if (!file.open(fileName)) {
    reportOpenError(fileName);
    return false;
  }
  resetForWrite();
  Position p;
  p.setStartPosition();
  evaluate(p, int64_t(threshold) + 1000, std::log1p(width));
  bool balanced = false, emitted = false;
  collectTestPositions(p, "", true, true, balanced, emitted);

  RandomGenerator& random = RandomGenerator::instance();
  const uint32_t count = uint32_t(testPositions_.size());
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t c = random.range(0, count - 1);
    if (c != i) std::swap(testPositions_[i], testPositions_[c]);
  }
  for (uint32_t i = 0; i < count; ++i)
    std::fprintf(file.stream(), "%s\"QZ-Teststellung %u\"\n", testPositions_[i].c_str(), i + 1);
  if (!file.commit()) {
    reportWriteError(fileName);
    return false;
  }
  return true;
}
