// The opening book: reading the text tree, the all-or-nothing load, the
// weighted choice with its expected reply, and the writer's layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "board/notation.h"
#include "board/random_generator.h"
#include "book/book.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::TempTextFile;

const std::string SampleBook = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/sample.opn";

std::string moveText(Position& p, Move m) {
  char text[16];
  return formatMove(p, m, Coordinate, text);
}

// The position after the coordinate moves from the standard start.
Position after(const std::vector<std::string>& moves) {
  Position p;
  p.setStartPosition();
  for (const std::string& text : moves) {
    Move m;
    EXPECT_TRUE(parseMove(p, text.c_str(), m, CoordinateText)) << text;
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
  }
  return p;
}

// How often each move (and reply) is drawn over n probes.
std::map<std::string, int> draw(Book& book, Position p, int n, std::map<std::string, int>* replies = nullptr) {
  std::map<std::string, int> counts;
  for (int i = 0; i < n; ++i) {
    Move move = 0, reply = 0;
    if (!book.probe(p, &move, replies ? &reply : nullptr)) {
      ++counts["none"];
      continue;
    }
    const std::string text = moveText(p, move);
    ++counts[text];
    if (replies) {
      UndoRecord undo;
      undo.save(p);
      p.makeMove(move, undo);
      ++(*replies)[text + (reply ? " " + moveText(p, reply) : " -")];
      undo.restore();
    }
  }
  return counts;
}

bool loadText(Book& book, const std::string& text) {
  TempTextFile file("book.opn", text);
  EXPECT_TRUE(book.setFileName(file.c_str()));
  return book.load();
}

TEST(Book, LoadsTheSampleSortedByKeyHeaviestFirst) {
  Book book;
  ASSERT_TRUE(book.setFileName(SampleBook.c_str()));
  ASSERT_TRUE(book.load());
  // e2e4 e7e5 g1f3 c7c5 d2d4 d7d5 e7e5: the weights 0 and -2 store nothing.
  const std::vector<BookEntry>& e = book.entries();
  ASSERT_EQ(e.size(), 7u);
  for (size_t i = 1; i < e.size(); ++i) {
    EXPECT_LE(e[i - 1].key(), e[i].key());
    if (e[i - 1].key() == e[i].key()) {
      EXPECT_GE(e[i - 1].weight, e[i].weight);
    }
  }
  Position start = after({});
  int startEntries = 0;
  for (const BookEntry& entry : e) {
    EXPECT_GT(entry.weight, 0u);
    if (entry.key() == start.hashKey) ++startEntries;
  }
  EXPECT_EQ(startEntries, 2);
}

TEST(Book, ProbeFollowsTheWeightsAndProposesTheHeaviestReply) {
  Book book;
  ASSERT_TRUE(book.setFileName(SampleBook.c_str()));
  ASSERT_TRUE(book.load());
  RandomGenerator::instance().seed(20261210);
  std::map<std::string, int> replies;
  const int n = 8000;
  std::map<std::string, int> counts = draw(book, after({}), n, &replies);
  // e2e4 3 : d2d4 1; g1f3 (weight 0) and b2b3 (weight -2) are paths only.
  EXPECT_EQ(counts.size(), 2u);
  EXPECT_NEAR(counts["e2e4"], n * 3 / 4, n / 40);
  EXPECT_NEAR(counts["d2d4"], n / 4, n / 40);
  // The reply is the heaviest move after the book move, and none when the
  // position after it has no entries.
  EXPECT_EQ(replies["e2e4 e7e5"], counts["e2e4"]);
  EXPECT_EQ(replies["d2d4 -"], counts["d2d4"]);

  counts = draw(book, after({"e2e4"}), n);
  EXPECT_NEAR(counts["e7e5"], n * 5 / 6, n / 40);
  EXPECT_NEAR(counts["c7c5"], n / 6, n / 40);
  EXPECT_GT(counts["c7c5"], 0);

  // Below a move that is never played its positions are still found.
  EXPECT_EQ(draw(book, after({"g1f3"}), 50)["d7d5"], 50);
  EXPECT_EQ(draw(book, after({"b2b3"}), 50)["e7e5"], 50);
  // A position without entries, and a position whose key matches none.
  EXPECT_EQ(draw(book, after({"d2d4"}), 10)["none"], 10);
  EXPECT_EQ(draw(book, after({"h2h3"}), 10)["none"], 10);
  // The probe leaves the position as it found it.
  Position p = after({"e2e4"});
  const uint64_t key = p.hashKey;
  Move m, r;
  ASSERT_TRUE(book.probe(p, &m, &r));
  EXPECT_EQ(p.hashKey, key);
}

TEST(Book, ChessNineSixtyStartPositions) {
  Book book;
  ASSERT_TRUE(loadText(book, "startpos 5\n  a2a3  7 * \n\nstartpos 1478\n  b2b4  2 * \n* -1\n"));
  ASSERT_EQ(book.entries().size(), 2u);
  Position p5, p518;
  p5.setChess960(5);
  p518.setChess960(518);  // 1478 mod 960: the standard start
  Move m;
  ASSERT_TRUE(book.probe(p5, &m, nullptr));
  EXPECT_EQ(moveText(p5, m), "a2a3");
  ASSERT_TRUE(book.probe(p518, &m, nullptr));
  EXPECT_EQ(moveText(p518, m), "b2b4");
  // 960 selects position 0.
  ASSERT_TRUE(loadText(book, "startpos 960 c2c3 1 * *"));
  Position p0;
  p0.setChess960(0);
  ASSERT_TRUE(book.probe(p0, &m, nullptr));
}

TEST(Book, EdgeCasesOfTheTextThatLoad) {
  const char* const good[] = {
      "*",                                  // an empty book
      "e2e4 1 * * trailing garbage ~~~",    // nothing after the root's star is read
      "e2e4\t+4\n*\n\n*",                   // any white space, a plus sign
      "e2e4 0 e7e5 -7 g1f3 2 * * * *",      // paths of weight 0 and below
  };
  for (const char* text : good) {
    Book book;
    EXPECT_TRUE(loadText(book, text)) << text;
  }
}

TEST(Book, MalformedBooksAreRefusedWholeAndLeaveTheBookEmpty) {
  std::string deep;
  const char* const knights[] = {"g1f3 1 ", "g8f6 1 ", "f3g1 1 ", "f6g8 1 "};
  for (int i = 0; i < 100000; ++i) deep += knights[i % 4];
  for (int i = 0; i <= 100000; ++i) deep += "* ";
  std::string noise;
  RandomGenerator bytes(99);
  for (int i = 0; i < 5000; ++i) noise += char(bytes.next() & 0xFF);
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty file", ""},
      {"only white space", " \n\t "},
      {"missing weight", "e2e4 * *"},
      {"weight not a number", "e2e4 x3 * *"},
      {"weight with trailing letters", "e2e4 3x * *"},
      {"weight -1", "e2e4 -1 * *"},
      {"weight beyond 32 bits", "e2e4 99999999999 * *"},
      {"unreadable move", "e2e9 1 * *"},
      {"move of the wrong side", "e7e5 1 * *"},
      {"move illegal in its position", "e2e4 1 e2e4 1 * * *"},
      {"SAN instead of coordinates", "Nf3 1 * *"},
      {"unclosed root level", "e2e4 1 *"},
      {"unclosed sub-level", "e2e4 1 e7e5 1 *"},
      {"startpos without number", "startpos * *"},
      {"startpos with a negative number", "startpos -3 * *"},
      {"startpos with a word", "startpos five e2e4 1 * *"},
      {"startpos after a man left the back ranks", "e2e4 1 startpos 5 * * *"},
      {"startpos below the root with every man home", "g1f3 1 g8f6 1 f3g1 1 f6g8 1 startpos 5 * * * * *"},
      {"over-long token", std::string(100, 'e') + " 1 * *"},
      {"NUL inside a token", std::string("e2e4\0 1 * *", 11)},
      {"random bytes", noise},
      {"100000 nested levels", deep},
  };
  for (const auto& c : cases) {
    Book book;
    // A good book first: a failed load must not keep any of it.
    ASSERT_TRUE(book.setFileName(SampleBook.c_str()));
    ASSERT_TRUE(book.load());
    EXPECT_FALSE(loadText(book, c.text)) << c.what;
    EXPECT_TRUE(book.entries().empty()) << c.what;
    Position p = after({});
    Move m;
    EXPECT_FALSE(book.probe(p, &m, nullptr)) << c.what;
  }
}

TEST(Book, DepthBoundIsExact) {
  auto nested = [](int levels) {
    std::string text;
    const char* const cycle[] = {"g1f3 1 ", "g8f6 1 ", "f3g1 1 ", "f6g8 1 "};
    for (int i = 0; i < levels; ++i) text += cycle[i % 4];
    for (int i = 0; i <= levels; ++i) text += "* ";
    return text;
  };
  Book book;
  EXPECT_TRUE(loadText(book, nested(Book::MaxDepth)));
  EXPECT_FALSE(loadText(book, nested(Book::MaxDepth + 1)));
}

TEST(Book, FileNamesAndMissingFiles) {
  Book book;
  EXPECT_STREQ(book.fileName(), "Brakken.opn");
  const std::string longest(512, 'n');
  EXPECT_TRUE(book.setFileName(longest.c_str()));
  EXPECT_FALSE(book.setFileName((longest + "n").c_str()));
  EXPECT_EQ(std::string(book.fileName()), longest);

  // A missing file is news once per name; a malformed one every time.
  ASSERT_TRUE(book.setFileName("/nonexistent/brakken/a.opn"));
  EXPECT_FALSE(book.load());
  EXPECT_TRUE(book.failureWorthReporting());
  EXPECT_FALSE(book.load());
  EXPECT_FALSE(book.failureWorthReporting());
  ASSERT_TRUE(book.setFileName("/nonexistent/brakken/b.opn"));
  EXPECT_FALSE(book.load());
  EXPECT_TRUE(book.failureWorthReporting());
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(loadText(book, "e2e4 *"));
    EXPECT_TRUE(book.failureWorthReporting());
  }
  // A directory opens but is no book.
  ASSERT_TRUE(book.setFileName(::testing::TempDir().c_str()));
  EXPECT_FALSE(book.load());

  ASSERT_TRUE(book.setFileName(SampleBook.c_str()));
  ASSERT_TRUE(book.load());
  book.clear();
  EXPECT_TRUE(book.entries().empty());
  EXPECT_STREQ(book.fileName(), SampleBook.c_str());
}

std::string written(void (*write)(BookWriter&)) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* f = open_memstream(&data, &size);
  BookWriter writer(f);
  write(writer);
  std::fclose(f);
  std::string text(data, size);
  free(data);
  return text;
}

TEST(Book, WriterLayoutReadsBack) {
  const std::string text = written([](BookWriter& w) {
    w.beginItem(0, true, "e2e4", 50);
    w.beginItem(1, true, "e7e5", 30);
    w.endItem();
    w.beginItem(1, false, "c7c5", 20);
    w.endItem();
    w.endItem();
    w.beginItem(0, false, "d2d4", 40);
    w.endItem();
    w.finish();
  });
  EXPECT_EQ(text,
            "  e2e4 50   e7e5 30 * \n"
            "            c7c5 20 * * \n"
            "  d2d4 40 * * -1\n");
  Book book;
  ASSERT_TRUE(loadText(book, text));
  ASSERT_EQ(book.entries().size(), 4u);
  RandomGenerator::instance().seed(7);
  std::map<std::string, int> replies;
  draw(book, after({}), 200, &replies);
  EXPECT_EQ(replies.size(), 2u);
  EXPECT_GT(replies["e2e4 e7e5"], 0);
  EXPECT_GT(replies["d2d4 -"], 0);

  const std::string blocks = written([](BookWriter& w) {
    w.beginStartPosition(1, true);
    w.beginItem(0, true, "a2a3", 99);
    w.endItem();
    w.endStartPosition();
    w.beginStartPosition(7, false);
    w.beginItem(0, true, "h2h4", 5);
    w.endItem();
    w.endStartPosition();
    w.finish();
  });
  EXPECT_EQ(blocks, "startpos 1\n  a2a3 99 * \n\nstartpos 7\n  h2h4  5 * \n* -1\n");
  ASSERT_TRUE(loadText(book, blocks));
  EXPECT_EQ(book.entries().size(), 2u);
}

}  // namespace
