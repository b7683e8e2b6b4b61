// The book statistics builder: the scores a game adds, the values and
// weights a write assigns (computed here from the formulas), the book file
// it writes and that the book reads back, the Chess960 and EPD forms, that
// a failed write keeps the statistics and the old file, and that a FIFO is
// written straight into.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/history_table.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/book.h"
#include "book/book_stats.h"
#include "support/fifo_reader.h"
#include "support/memory_stream.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::tempPath;
using testsupport::readFile;
using testsupport::TempTextFile;

const std::string DataDir = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/";

// Collects what is written on the error stream.
using ErrorSink = testsupport::MemoryStream;

Move moveOf(Position& p, const char* text) {
  Move m = 0;
  EXPECT_TRUE(parseMove(p, text, m, CoordinateText)) << text;
  return m;
}

std::vector<Move> line(const std::vector<const char*>& texts) {
  Position p;
  p.setStartPosition();
  std::vector<Move> moves;
  for (const char* t : texts) {
    const Move m = moveOf(p, t);
    moves.push_back(m);
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
  }
  return moves;
}

// A random legal game of the given length from the start position
// (shorter when it ends in mate or stalemate).
std::vector<Move> randomGame(uint32_t seed, int plies) {
  RandomGenerator random(seed);
  Position p;
  p.setStartPosition();
  std::vector<Move> moves;
  for (int i = 0; i < plies; ++i) {
    std::vector<Move> legal;
    LocalMoveStack stack;
    MoveList list(stack, p, legalityHistoryTable(), AllMoves);
    UndoRecord undo;
    undo.save(p);
    while (const MoveListEntry* e = list.next())
      if (p.makeMove(e->move, undo)) {
        legal.push_back(e->move);
        undo.restore();
      }
    if (legal.empty()) break;
    const Move m = legal[random.next() % legal.size()];
    moves.push_back(m);
    UndoRecord u;
    u.save(p);
    p.makeMove(m, u);
  }
  return moves;
}

// The statistics of the first move of the start position.
const MoveStat* firstMoveStat(const BookStats& stats, Move m) {
  Position p;
  p.setStartPosition();
  const std::vector<MoveStat>* list = stats.movesOf(p.hashKey);
  if (!list) return nullptr;
  for (const MoveStat& s : *list)
    if (s.move == m) return &s;
  return nullptr;
}

// What one game adds at ply i, from the shares of the result, the mixing
// by the game's length and the expected score.
void expectedAdds(int sign, double value, int n, int i, bool all, double eloDifference, uint64_t& white,
                  uint64_t& black) {
  double o = sign > 0 ? value : sign == 0 ? 0.5 * value : 0.0;
  double t = sign < 0 ? 1.08 * value : sign == 0 ? 0.54 * value : 0.0;
  if (!all) {
    double u = 1 + (n - i - 40) * 0.5 / -260.0;
    u = u < 0.75 ? 0.75 : u > 1 ? 1 : u;
    const double oo = u * o + (1 - u) * t, tt = u * t + (1 - u) * o;
    o = oo;
    t = tt;
  }
  const double e = 1 / (1 + std::pow(10.0, eloDifference / -400.0));
  white = uint64_t(2 * o * (1 - e));
  black = uint64_t(2 * t * e);
}

TEST(BookStats, ScoresAGameAdds) {
  const struct {
    const char* what;
    int plies;
    int sign;
    uint32_t value;
    double elo;
    bool all;
  } cases[] = {
      {"white win, 40 plies: no mixing", 40, 1, 1000, 0, false},
      {"black win, 100 plies: shares mixed", 100, -1, 1000, 0, false},
      {"draw, 230 plies: mixed by a quarter", 230, 0, 1000, 0, false},
      {"white win over a weaker player", 60, 1, 1000, 400, false},
      {"black win over a stronger player", 60, -1, 1000, 250, false},
      {"game value 3000000000, all", 50, 1, 3000000000u, 0, true},
  };
  for (const auto& c : cases) {
    BookStats stats;
    const std::vector<Move> game = randomGame(77, c.plies);
    ASSERT_EQ(int(game.size()), c.plies) << c.what;
    EXPECT_TRUE(stats.addGame(game, nullptr, c.value, c.elo, c.all, c.sign)) << c.what;
    uint64_t white, black;
    expectedAdds(c.sign, c.value, c.plies, 0, c.all, c.elo, white, black);
    const MoveStat* s = firstMoveStat(stats, game[0]);
    ASSERT_NE(s, nullptr) << c.what;
    EXPECT_EQ(s->whiteScore, 1000 + white) << c.what;
    EXPECT_EQ(s->blackScore, 1000 + black) << c.what;
    // Only the first 37 plies are counted.
    EXPECT_EQ(stats.positionCount(), 37u) << c.what;
  }
}

TEST(BookStats, LengthsAndRepeatedGames) {
  const std::vector<Move> shortGame = randomGame(5, 36);
  const std::vector<Move> longGame = randomGame(6, 120);
  std::vector<Move> sameStart = randomGame(6, 120);
  // The signature covers 99 plies: a game that differs later is the same.
  sameStart.resize(100);
  sameStart.back() = longGame[99];
  std::vector<Move> differentAt98 = longGame;
  differentAt98.resize(98);

  BookStats stats;
  EXPECT_FALSE(stats.addGame(shortGame, nullptr, 1000, 0, false, 1));
  EXPECT_EQ(stats.positionCount(), 0u);
  EXPECT_TRUE(stats.addGame(shortGame, nullptr, 1000, 0, true, 1));
  EXPECT_EQ(stats.positionCount(), 36u);

  BookStats once;
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(once.addGame(longGame, nullptr, 1000, 0, false, 1));
  EXPECT_TRUE(once.addGame(sameStart, nullptr, 1000, 0, false, 1));
  uint64_t white, black;
  expectedAdds(1, 1000, 120, 0, false, 0, white, black);
  EXPECT_EQ(firstMoveStat(once, longGame[0])->whiteScore, 1000 + white);
  EXPECT_TRUE(once.addGame(differentAt98, nullptr, 1000, 0, false, 1));
  uint64_t white98, black98;
  expectedAdds(1, 1000, 98, 0, false, 0, white98, black98);
  EXPECT_EQ(firstMoveStat(once, longGame[0])->whiteScore, 1000 + white + white98);

  BookStats twice;
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(twice.addGame(longGame, nullptr, 1000, 0, true, 1));
  expectedAdds(1, 1000, 120, 0, true, 0, white, black);
  EXPECT_EQ(firstMoveStat(twice, longGame[0])->whiteScore, 1000 + 2 * white);
}

TEST(BookStats, LargeCollectionsDoNotOverflowTheScores) {
  BookStats stats;
  const std::vector<Move> game = line({"e2e4"});
  // 3 games at 3000000000 add 9000000000 to white's score: more than 32 bits.
  for (int i = 0; i < 3; ++i) stats.addGame(game, nullptr, 3000000000u, 0, true, 1);
  EXPECT_EQ(firstMoveStat(stats, game[0])->whiteScore, 1000 + 3 * 3000000000ull);
}

// The book of tests/data/book_small.pgn, added with "all": 1.e4 e5 twice
// won by white and once drawn, 1.d4 d5 won once by each side, 1.c4 drawn.
// Its expected weights are worked out from the valuing rules.
struct SmallBook {
  double e4, d4, c4;  // root values, white's view
  int weightD4, weightC4;
};

SmallBook smallBookFigures(double width) {
  // Additions of one game at V = 1000, equal ratings (E = 1/2).
  const double winW = 1000, drawW = 500, drawB = 540, lossB = 1080;
  const double e4w = 1000 + 2 * winW + drawW, e4b = 1000 + drawB;
  const double d4w = 1000 + winW, d4b = 1000 + lossB;
  const double c4w = 1000 + drawW, c4b = 1000 + drawB;
  SmallBook b;
  // Below e4 and d4 a single reply whose child has no statistics: its value
  // is ln(W/B) for black, and the parent takes it negated.
  b.e4 = std::log(e4w / e4b);
  b.d4 = std::log(d4w / d4b);
  b.c4 = std::log(c4w / c4b);
  const double w = std::log(1 + width);
  const double best = b.e4;
  auto weight = [&](double v) {
    const double q = 99 * (w + v - best) / w;
    return q < 1 ? 0 : int(q);
  };
  b.weightD4 = weight(b.d4);
  b.weightC4 = weight(b.c4);
  return b;
}

TEST(BookStats, WritesTheBookWithWeightsFromTheFormula) {
  const SmallBook f = smallBookFigures(2.0);
  ASSERT_GT(f.weightC4, f.weightD4);
  ASSERT_GT(f.weightD4, 0);
  ErrorSink errors;
  BookStats stats(errors.file());
  ASSERT_TRUE(stats.addPgn((DataDir + "book_small.pgn").c_str(), 1000, true, false, -1));
  const std::string path = tempPath("small.opn");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(stats.write(path.c_str(), 2000, 2.0));
  const std::string totals = testing::internal::GetCapturedStdout();
  // Sorted by value: e4, then c4, then d4; each reply is the only one.
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "  e2e4 99   e7e5 99 * * \n  c2c4%3d * \n  d2d4%3d   d7d5 99 * * * -1\n", f.weightC4, f.weightD4);
  EXPECT_EQ(readFile(path), expected);
  EXPECT_EQ(totals, "white moves:         3\nblack moves:         2\nmoves:               5\n");
  EXPECT_EQ(errors.text(), "");

  Book book;
  ASSERT_TRUE(book.setFileName(path.c_str()));
  ASSERT_TRUE(book.load());
  Position p;
  p.setStartPosition();
  std::vector<std::pair<Move, uint32_t>> root;
  for (const BookEntry& e : book.entries())
    if (e.key() == p.hashKey) root.emplace_back(e.move, e.weight);
  const std::vector<std::pair<Move, uint32_t>> expectedRoot = {
      {moveOf(p, "e2e4"), 99}, {moveOf(p, "c2c4"), uint32_t(f.weightC4)}, {moveOf(p, "d2d4"), uint32_t(f.weightD4)}};
  EXPECT_EQ(root, expectedRoot);
  EXPECT_EQ(book.entries().size(), 5u);
  std::remove(path.c_str());
}

TEST(BookStats, ThresholdAndWidthDecideWhatIsWritten) {
  const std::string BestOnly = "  e2e4 99   e7e5 99 * * \n  d2d4  0   d7d5 99 * * * -1\n";
  const struct {
    const char* what;
    int threshold;
    double width;
    std::string text;
  } cases[] = {
      // The default width leaves d4 and c4 without weight; d4 is still
      // written, as the path to its weighted reply, c4 is not.
      {"default width", 2000, 0.25, BestOnly},
      // c4 (3040) lies below threshold 2100 + 1000: never written.
      {"c4 below the threshold", 2100, 2.0, ""},
      // No width: only the best moves are played; no division by zero.
      {"width 0", 2000, 0.0, BestOnly},
      {"width below -100", 2000, -1.5, BestOnly},
      // Nothing above the threshold: an empty book.
      {"threshold above every move", 100000, 0.25, "* -1\n"},
  };
  for (const auto& c : cases) {
    BookStats stats;
    ASSERT_TRUE(stats.addPgn((DataDir + "book_small.pgn").c_str(), 1000, true, false, -1));
    const std::string path = tempPath("threshold.opn");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(stats.write(path.c_str(), c.threshold, c.width)) << c.what;
    testing::internal::GetCapturedStdout();
    const std::string text = readFile(path);
    if (c.text.empty()) {
      EXPECT_EQ(text.find("c2c4"), std::string::npos) << c.what << ": " << text;
      EXPECT_NE(text.find("d2d4"), std::string::npos) << c.what << ": " << text;
    } else {
      EXPECT_EQ(text, c.text) << c.what;
    }
    std::remove(path.c_str());
  }
}

TEST(BookStats, RatingsFilterGamesAndCalcEloIgnoresTheTags) {
  // A beats B: computed ratings 2550 and 2249; the tags claim 3000 for both.
  TempTextFile pgn("rated.pgn",
                   "[White \"A\"]\n[Black \"B\"]\n[Result \"1-0\"]\n[WhiteElo \"3000\"]\n[BlackElo \"3000\"]\n"
                   "1. e4 1-0\n\n[White \"C\"]\n[Black \"D\"]\n[Result \"*\"]\n1. d4 *\n");
  Position p;
  p.setStartPosition();
  const Move e4 = moveOf(p, "e2e4");
  {
    BookStats stats;
    ASSERT_TRUE(stats.addPgn(pgn.c_str(), 1000, true, false, 2900));
    EXPECT_NE(firstMoveStat(stats, e4), nullptr);
    // The "*" game is skipped.
    EXPECT_EQ(firstMoveStat(stats, moveOf(p, "d2d4")), nullptr);
  }
  {
    BookStats stats;
    ASSERT_TRUE(stats.addPgn(pgn.c_str(), 1000, true, true, 2300));
    EXPECT_EQ(firstMoveStat(stats, e4), nullptr);
  }
  {
    BookStats stats;
    ASSERT_TRUE(stats.addPgn(pgn.c_str(), 1000, true, true, -1));
    uint64_t white, black;
    expectedAdds(1, 1000, 1, 0, true, 2550 - 2249, white, black);
    ASSERT_NE(firstMoveStat(stats, e4), nullptr);
    EXPECT_EQ(firstMoveStat(stats, e4)->whiteScore, 1000 + white);
  }
}

// Games that each start from a FEN where the one before ended chain into a
// line longer than any a game adds by itself. The written book must stay
// one the reader takes (it refuses levels nested deeper than
// Book::MaxDepth), and valuing the line must not recurse without bound.
TEST(BookStats, ChainedFenGamesWriteABookTheReaderTakes) {
  constexpr int ChainPlies = 3000;
  // A line of quiet moves through positions that never repeat.
  RandomGenerator random(99);
  Position p;
  p.setStartPosition();
  std::set<uint64_t> seen = {p.hashKey};
  std::vector<Move> chain;
  std::vector<std::string> fens;
  while (int(chain.size()) < ChainPlies) {
    if (chain.size() % BookStats::PliesUsed == 0) {
      char fen[96];
      p.toFen(fen);
      fens.push_back(fen);
    }
    // Quiet moves first, so the line keeps its men; never into mate or
    // stalemate.
    std::vector<Move> fresh[2];
    LocalMoveStack stack;
    MoveList list(stack, p, legalityHistoryTable(), AllMoves);
    UndoRecord undo;
    undo.save(p);
    while (const MoveListEntry* e = list.next()) {
      const bool capture = (p.notToMove().pieces[0] & squareBit(moveTo(e->move))) != 0;
      if (!p.makeMove(e->move, undo)) continue;
      if (!seen.count(p.hashKey) && !p.noLegalMove()) fresh[capture].push_back(e->move);
      undo.restore();
    }
    const std::vector<Move>& choice = fresh[0].empty() ? fresh[1] : fresh[0];
    ASSERT_FALSE(choice.empty()) << chain.size();
    const Move m = choice[random.next() % choice.size()];
    p.makeMove(m, undo);
    seen.insert(p.hashKey);
    chain.push_back(m);
  }
  ErrorSink errors;
  BookStats stats(errors.file());
  for (size_t g = 0; g < fens.size(); ++g) {
    const auto begin = chain.begin() + long(g) * BookStats::PliesUsed;
    const std::vector<Move> game(begin, std::min(begin + BookStats::PliesUsed, chain.end()));
    ASSERT_TRUE(stats.addGame(game, g == 0 ? nullptr : fens[g].c_str(), 1000, 0.0, true, 0));
  }
  const std::string path = tempPath("chained.opn");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(stats.write(path.c_str(), 0, 0.25));
  testing::internal::GetCapturedStdout();
  Book book;
  ASSERT_TRUE(book.setFileName(path.c_str()));
  EXPECT_TRUE(book.load());
  EXPECT_EQ(book.entries().size(), size_t(Book::MaxDepth));
  std::remove(path.c_str());
}

TEST(BookStats, AFailedWriteKeepsTheStatisticsAndTheOldFile) {
  ErrorSink errors;
  BookStats stats(errors.file());
  ASSERT_TRUE(stats.addPgn((DataDir + "book_small.pgn").c_str(), 1000, true, false, -1));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(stats.write("/nonexistent/dir/book.opn", 2000, 2.0));
  EXPECT_EQ(errors.text(), "info string error opening the output file /nonexistent/dir/book.opn\n");

  // A directory is no place for a book: it cannot be opened as one, and
  // stays what it is.
  const std::string dir = tempPath("book_dir");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  EXPECT_FALSE(stats.write(dir.c_str(), 2000, 2.0));
  EXPECT_NE(errors.text().find("info string error opening the output file " + dir + "\n"), std::string::npos);
  struct stat st;
  EXPECT_TRUE(stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  EXPECT_EQ(rmdir(dir.c_str()), 0) << "nothing was left in the directory";

  // A longer old book is replaced whole, and the result equals a first write.
  const std::string path = tempPath("again.opn");
  {
    std::ofstream old(path);
    old << std::string(5000, 'x');
  }
  ASSERT_TRUE(stats.write(path.c_str(), 2000, 2.0));
  BookStats fresh;
  ASSERT_TRUE(fresh.addPgn((DataDir + "book_small.pgn").c_str(), 1000, true, false, -1));
  const std::string freshPath = tempPath("fresh.opn");
  ASSERT_TRUE(fresh.write(freshPath.c_str(), 2000, 2.0));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(readFile(path), readFile(freshPath));
  std::remove(path.c_str());
  std::remove(freshPath.c_str());
}

TEST(BookStats, Chess960BookHasOneTreePerStartPosition) {
  BookStats stats;
  Position p;
  p.setChess960(1);
  char fen[96];
  p.toFen(fen);
  // 1. b3 from start position 1, and 1.e4 from the standard one (518).
  Move b3 = 0;
  ASSERT_TRUE(parseMove(p, "b2b3", b3, CoordinateText));
  stats.addGame({b3}, fen, 1000, 0, true, 1);
  stats.addGame(line({"e2e4"}), nullptr, 1000, 0, true, 1);
  const std::string path = tempPath("960.opn");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(stats.write960(path.c_str(), 0, 0.25));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(readFile(path), "startpos 1\n  b2b3 99 * \n\nstartpos 518\n  e2e4 99 * \n* -1\n");
  Book book;
  ASSERT_TRUE(book.setFileName(path.c_str()));
  EXPECT_TRUE(book.load());
  EXPECT_EQ(book.entries().size(), 2u);
  std::remove(path.c_str());
}

TEST(BookStats, EpdLinesAtBalancedChoices) {
  // After 1.e4 three drawn replies, after 1.d4 three drawn replies, and a
  // drawn 1.c4: the balanced choices lie after 1.e4 and after 1.d4, and the
  // root, whose children already gave lines, gives none.
  BookStats stats;
  for (const char* reply : {"e7e5", "c7c5", "e7e6"}) stats.addGame(line({"e2e4", reply}), nullptr, 1000, 0, true, 0);
  for (const char* reply : {"d7d5", "g8f6", "e7e6"}) stats.addGame(line({"d2d4", reply}), nullptr, 1000, 0, true, 0);
  stats.addGame(line({"c2c4"}), nullptr, 1000, 0, true, 0);
  const std::string path = tempPath("test.epd");
  ASSERT_TRUE(stats.writeEpd(path.c_str(), 0, 0.25));

  std::set<std::string> expected;
  for (const char* first : {"e2e4", "d2d4"}) {
    Position p;
    p.setStartPosition();
    const Move m = moveOf(p, first);
    char san[16];
    const std::string path = std::string(" ") + formatMove(p, m, SanGermanMarked, san);
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
    char fen[96];
    p.toFen(fen);
    expected.insert(std::string(fen) + " 0 1; \"" + path + "\"; ");
  }
  std::istringstream in(readFile(path));
  std::set<std::string> got;
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    const std::string label = "\"QZ-Teststellung " + std::to_string(number) + "\"";
    ASSERT_GE(text.size(), label.size());
    EXPECT_EQ(text.substr(text.size() - label.size()), label);
    got.insert(text.substr(0, text.size() - label.size()));
  }
  EXPECT_EQ(got, expected);
  std::remove(path.c_str());
}

}  // namespace

namespace {

TEST(BookStats, AReadOnlyBookIsNotReplacedAndALinkIsFollowed) {
  ErrorSink errors;
  BookStats stats(errors.file());
  ASSERT_TRUE(stats.addPgn((DataDir + "book_small.pgn").c_str(), 1000, true, false, -1));
  const std::string path = tempPath("readonly.opn");
  { std::ofstream(path) << "old"; }
  testing::internal::CaptureStdout();
  // Refused by its mode bits, also when root runs the tests.
  chmod(path.c_str(), 0444);
  EXPECT_FALSE(stats.write(path.c_str(), 2000, 2.0));
  EXPECT_EQ(readFile(path), "old");
  EXPECT_EQ(errors.text(), "info string error opening the output file " + path + "\n");
  chmod(path.c_str(), 0644);
  const std::string link = tempPath("link.opn");
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  EXPECT_TRUE(stats.write(link.c_str(), 2000, 2.0));
  testing::internal::GetCapturedStdout();
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(readFile(path).find("e2e4"), std::string::npos);
  std::remove(link.c_str());
  std::remove(path.c_str());
}

}  // namespace

namespace {

// A FIFO, or a link to one, is written straight into: it stays a FIFO (the
// link a link) and its reader gets the whole text a regular file would
// hold, in every form of the write.
TEST(BookStats, AFifoOrALinkToOneIsWrittenStraightInto) {
  ErrorSink errors;
  BookStats stats(errors.file());
  // Drawn replies make balanced choices, which give EPD lines.
  for (const char* reply : {"e7e5", "c7c5", "e7e6"}) stats.addGame(line({"e2e4", reply}), nullptr, 1000, 0, true, 0);
  for (const char* reply : {"d7d5", "g8f6", "e7e6"}) stats.addGame(line({"d2d4", reply}), nullptr, 1000, 0, true, 0);
  const struct {
    const char* name;
    bool (BookStats::*write)(const char*, int, double);
  } forms[] = {{"write", &BookStats::write}, {"write960", &BookStats::write960}, {"writeEPD", &BookStats::writeEpd}};
  for (const auto& form : forms) {
    for (const bool viaLink : {false, true}) {
      SCOPED_TRACE(std::string(form.name) + (viaLink ? " through a link" : ""));
      testsupport::expectWrittenStraightIntoFifo(
          [&](const std::string& name) {
            // The EPD lines come in a random order; the totals go to
            // standard output.
            RandomGenerator::instance().seed(77);
            testing::internal::CaptureStdout();
            const bool written = (stats.*form.write)(name.c_str(), 0, 0.25);
            testing::internal::GetCapturedStdout();
            return written;
          },
          viaLink);
    }
  }
  EXPECT_EQ(errors.text(), "");
}

}  // namespace

namespace {

// --- pruning ---

struct Game {
  std::vector<const char*> moves;
  int sign;
  int times;
};

void addGames(BookStats& stats, const std::vector<Game>& games) {
  for (const Game& g : games)
    for (int i = 0; i < g.times; ++i) ASSERT_TRUE(stats.addGame(line(g.moves), nullptr, 1000, 0, true, g.sign));
}

void collectTreeMoves(const BookStats& stats, Position& p, const std::string& prefix,
                      std::map<std::string, MoveStat>& moves) {
  const std::vector<MoveStat>* list = stats.movesOf(p.hashKey);
  if (!list) return;
  for (const MoveStat& s : *list) {
    char text[16];
    const std::string path = (prefix.empty() ? "" : prefix + " ") + formatMove(p, s.move, Coordinate, text);
    moves[path] = s;
    UndoRecord undo;
    undo.save(p);
    p.makeMove(s.move, undo);
    collectTreeMoves(stats, p, path, moves);
    undo.restore();
  }
}

// Every move of the tree below the start position by the coordinate line
// that ends with it ("d2d4 g8f6"); the trees of these tests have no cycles.
std::map<std::string, MoveStat> treeMoves(const BookStats& stats) {
  std::map<std::string, MoveStat> moves;
  Position p;
  p.setStartPosition();
  collectTreeMoves(stats, p, "", moves);
  return moves;
}

std::set<std::string> doneLines(const std::map<std::string, MoveStat>& moves) {
  std::set<std::string> lines;
  for (const auto& m : moves)
    if (m.second.done) lines.insert(m.first);
  return lines;
}

std::set<std::string> weightedLines(const std::map<std::string, MoveStat>& moves) {
  std::set<std::string> lines;
  for (const auto& m : moves)
    if (m.second.weight > 0) lines.insert(m.first);
  return lines;
}

// Valued at threshold 0 (every move counts) and width 0 (only the best move
// of a position gets a weight, 99):
//   1.e4 (99): 1...e5 (99, drawn); 1...c5 (0) 2.Nf3 (99, white wins);
//              1...e6 (0, white wins, the game ends)
//   1.d4 (0):  1...d5 (99): 2.c4 (99, black wins); 2.Nf3 (0) Nf6 (99, black
//                           wins twice)
//              1...Nf6 (0) 2.c4 (99, drawn)
//   1.c4 (0, black wins, the game ends)
const std::vector<Game> PruneTree = {
    {{"e2e4", "e7e5"}, 0, 1},          {{"e2e4", "c7c5", "g1f3"}, 1, 1},
    {{"e2e4", "e7e6"}, 1, 1},          {{"d2d4", "d7d5", "c2c4"}, -1, 1},
    {{"d2d4", "d7d5", "g1f3", "g8f6"}, -1, 2}, {{"d2d4", "g8f6", "c2c4"}, 0, 1},
    {{"c2c4"}, -1, 1},
};
const std::set<std::string> PruneTreeWeighted = {
    "e2e4", "e2e4 e7e5", "e2e4 c7c5 g1f3", "d2d4 d7d5", "d2d4 d7d5 c2c4", "d2d4 d7d5 g1f3 g8f6", "d2d4 g8f6 c2c4",
};

// The tree of PruneTree valued as a write at threshold 0 and width 0 values
// it, with its weights checked against the comment above.
void valuedPruneTree(BookStats& stats) {
  ASSERT_NO_FATAL_FAILURE(addGames(stats, PruneTree));
  Position p;
  p.setStartPosition();
  stats.evaluate(p, 1000, 0.0);
  const std::map<std::string, MoveStat> moves = treeMoves(stats);
  ASSERT_EQ(moves.size(), 13u);
  ASSERT_EQ(weightedLines(moves), PruneTreeWeighted);
  ASSERT_EQ(doneLines(moves), std::set<std::string>());
}

// The two flags say whether the side to move and the other side reached the
// position playing weighted moves only. Weighted moves are never removed;
// an unweighted move is removed when the position after it, reached with
// the flags passed down, answers false: at once when neither side is
// still in the book, else when it has no weighted move (the positions
// after 1.c4 and 1.e4 e6 have no statistics at all).
//
// Both sides in the book (white T, black T):
//   1.e4 (99) -> E (T,T): e5 weighted; c5 -> (T,F) at a position with the
//     weighted 2.Nf3: true, kept; e6 -> (T,F) without moves: false, removed.
//   1.c4 -> (T,F) without moves: removed.
//   1.d4 -> D (T,F): d5 weighted, its position (F,T) is walked (2.Nf3
//     there leads to the weighted 2...Nf6: kept); 1...Nf6 -> (F,F): both
//     sides have left the book, removed although 2.c4 follows. D has the
//     weighted d5: 1.d4 stays.
// Only white (T,F): 1.e4 -> (F,T) keeps c5 as above and removes e6; 1.d4
//   and 1.c4 -> (F,F): removed.
// Only black (F,T): 1.e4 -> (T,F), where c5 and e6 -> (F,F): removed;
//   1.d4 -> (T,F) as in the first case: 1...Nf6 removed; 1.c4 removed.
// Neither: false at once, nothing removed.
TEST(BookStatsPrune, RemovesTheUnweightedMovesThatLeadToNoWeightedPlay) {
  const struct {
    bool white, black;
    bool result;
    std::set<std::string> pruned;
  } cases[] = {
      {true, true, true, {"e2e4 e7e6", "c2c4", "d2d4 g8f6"}},
      {true, false, true, {"e2e4 e7e6", "c2c4", "d2d4"}},
      {false, true, true, {"e2e4 c7c5", "e2e4 e7e6", "c2c4", "d2d4 g8f6"}},
      {false, false, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("white ") + (c.white ? "in" : "out") + ", black " + (c.black ? "in" : "out"));
    BookStats stats;
    ASSERT_NO_FATAL_FAILURE(valuedPruneTree(stats));
    Position p;
    p.setStartPosition();
    EXPECT_EQ(stats.prune(p, c.white, c.black), c.result);
    const std::map<std::string, MoveStat> first = treeMoves(stats);
    EXPECT_EQ(doneLines(first), c.pruned);
    // The weights stay: prune only takes moves out.
    EXPECT_EQ(weightedLines(first), PruneTreeWeighted);

    // A second prune from the same root finds nothing more to take out.
    EXPECT_EQ(stats.prune(p, c.white, c.black), c.result);
    EXPECT_EQ(doneLines(treeMoves(stats)), c.pruned);
  }
}

// A prune for which neither side is in the book must not mark the root as
// examined: a later prune from both sides then still walks the tree.
TEST(BookStatsPrune, APruneOutsideBothBooksLeavesTheTreeAsItWas) {
  BookStats stats;
  ASSERT_NO_FATAL_FAILURE(valuedPruneTree(stats));
  Position p;
  p.setStartPosition();
  EXPECT_FALSE(stats.prune(p, false, false));
  EXPECT_EQ(doneLines(treeMoves(stats)), std::set<std::string>());
  EXPECT_TRUE(stats.prune(p, true, true));
  EXPECT_EQ(doneLines(treeMoves(stats)), (std::set<std::string>{"e2e4 e7e6", "c2c4", "d2d4 g8f6"}));
}

// A write values the tree again; the moves prune took out must stay out of
// it and of every later write, while a book written without prune keeps
// 1.d4 Nf6 2.c4 (1.c4 and 1.e4 e6 are not written either way: nothing
// weighted follows them).
TEST(BookStatsPrune, TheBookWrittenAfterAPruneIsThePrunedOne) {
  const std::string level2(10, ' '), level3(20, ' ');
  const std::string common = "  e2e4 99   e7e5 99 * \n" + level2 + "  c7c5  0   g1f3 99 * * * \n" +
                             "  d2d4  0   d7d5 99   c2c4 99 * \n" + level3 + "  g1f3  0   g8f6 99 * * ";
  const std::string unprunedText = common + "* \n" + level2 + "  g8f6  0   c2c4 99 * * * * -1\n";
  const std::string prunedText = common + "* * * -1\n";

  BookStats plain;
  ASSERT_NO_FATAL_FAILURE(addGames(plain, PruneTree));
  BookStats pruned;
  ASSERT_NO_FATAL_FAILURE(valuedPruneTree(pruned));
  Position p;
  p.setStartPosition();
  ASSERT_TRUE(pruned.prune(p, true, true));

  // The totals a write prints are not checked here.
  const std::string path = tempPath("pruned.opn");
  auto written = [&path](BookStats& stats) {
    testing::internal::CaptureStdout();
    const bool ok = stats.write(path.c_str(), 0, 0.0);
    testing::internal::GetCapturedStdout();
    return ok ? readFile(path) : "(write failed)";
  };
  EXPECT_EQ(written(plain), unprunedText);
  EXPECT_EQ(written(pruned), prunedText);
  // The reset at the start of every write keeps the pruned moves done.
  EXPECT_EQ(written(pruned), prunedText);

  // The reader takes it: the six weighted moves.
  Book book;
  ASSERT_TRUE(book.setFileName(path.c_str()));
  ASSERT_TRUE(book.load());
  EXPECT_EQ(book.entries().size(), 6u);
  std::remove(path.c_str());
}

}  // namespace
