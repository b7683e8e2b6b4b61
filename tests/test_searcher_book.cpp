// The master searcher asks its opening sources before it searches: a hit
// is the answer with no search run, the forced lines come first, and a
// restricted root or OwnBook off leave the book out.
#include <gtest/gtest.h>

#include <string>

#include "board/notation.h"
#include "book/book.h"
#include "book/pgn_game_source.h"
#include "search/searcher.h"
#include "support/recording_listener.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::RecordingListener;
using testsupport::TempTextFile;

const std::string SampleBook = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/sample.opn";

class SearcherBook : public ::testing::Test {
 protected:
  Searcher searcher{1 << 20};
  RecordingListener listener;

  void SetUp() override {
    searcher.setBook(new Book());
    searcher.setBookFile(SampleBook.c_str());
    searcher.setListener(&listener);
  }

  std::string think(const char* filter = nullptr, int iterations = 2) {
    SearchLimits limits(iterations);
    searcher.setupRootMoves(filter);
    searcher.startSearch(false);
    limits.start();
    searcher.think(&limits);
    char text[16];
    return formatMove(searcher.game().position, searcher.bestMove(), Coordinate, text);
  }
};

TEST_F(SearcherBook, BookMoveWithoutSearch) {
  ASSERT_TRUE(searcher.openBook());
  const std::string best = think();
  EXPECT_TRUE(best == "e2e4" || best == "d2d4") << best;
  EXPECT_EQ(searcher.score(), 10);
  EXPECT_EQ(searcher.rootAlpha(), 9);
  EXPECT_EQ(searcher.rootBeta(), 11);
  EXPECT_EQ(searcher.nodes(), 0u);
  EXPECT_EQ(searcher.searchesSinceBook(), 0);
  EXPECT_TRUE(listener.pvs.empty());
  EXPECT_TRUE(listener.currentMoves.empty());
  EXPECT_EQ(moveKey(searcher.ponderMove()) != 0, best == "e2e4");
}

TEST_F(SearcherBook, RestrictedRootAndOwnBookOffSearch) {
  ASSERT_TRUE(searcher.openBook());
  EXPECT_EQ(think("e2e4 d2d4"), think("e2e4 d2d4"));  // searched, not drawn
  EXPECT_GT(searcher.nodes(), 0u);
  EXPECT_EQ(searcher.searchesSinceBook(), 2);

  searcher.setOwnBook(false);
  think();
  EXPECT_GT(searcher.nodes(), 0u);
  // Off, the book is emptied at the next open and stays out.
  EXPECT_TRUE(searcher.openBook());
  searcher.setOwnBook(true);
  think();
  EXPECT_GT(searcher.nodes(), 0u);
}

TEST_F(SearcherBook, ForcedLinesComeFirstWithoutAPonderMove) {
  TempTextFile games("searcher.pgn", "[White \"a\"]\n[Black \"b\"]\n[Result \"*\"]\n1. c4 *\n");
  PgnGameSource source(games.c_str());
  ASSERT_TRUE(source.isOpen());
  searcher.setForcedLineSource(&source);
  ASSERT_TRUE(searcher.openBook());
  EXPECT_EQ(think(), "c2c4");
  EXPECT_EQ(searcher.ponderMove(), 0u);
  EXPECT_EQ(searcher.nodes(), 0u);
  // Used up: the book answers again.
  const std::string best = think();
  EXPECT_TRUE(best == "e2e4" || best == "d2d4") << best;
  searcher.setForcedLineSource(nullptr);
}

TEST_F(SearcherBook, MissingBookFileFailsButIsReportedOnce) {
  searcher.setBookFile("/nonexistent/brakken/x.opn");
  EXPECT_FALSE(searcher.openBook());
  EXPECT_TRUE(searcher.bookFailureWorthReporting());
  EXPECT_FALSE(searcher.openBook());
  EXPECT_FALSE(searcher.bookFailureWorthReporting());
  think();
  EXPECT_GT(searcher.nodes(), 0u);
}

}  // namespace
