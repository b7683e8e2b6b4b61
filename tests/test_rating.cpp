// Performance ratings from game results: tables worked by hand from the
// offset formula, -400 * log10(1/p - 1) limited to +-300, and the fixed
// point of the passes, where each player's rating equals the mean of its
// opponents' ratings plus its offset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "book/rating.h"
#include "support/memory_stream.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::TempTextFile;
using Ratings = std::map<std::string, int>;

std::string game(const char* white, const char* black, const char* result) {
  return std::string("[White \"") + white + "\"]\n[Black \"" + black + "\"]\n[Result \"" + result + "\"]\n1. e4 e5 " +
         result + "\n\n";
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

Ratings ratingsOf(const std::string& pgn, std::string* errorText = nullptr) {
  TempTextFile file("ratings.pgn", pgn);
  testsupport::MemoryStream errors;
  Ratings ratings{{"stale", 1}};
  EXPECT_TRUE(computeRatings(file.c_str(), ratings, errors.file()));
  if (errorText) *errorText = errors.text();
  return ratings;
}

TEST(Rating, TablesWorkedByHand) {
  const struct {
    const char* what;
    std::string pgn;
    Ratings expected;
  } cases[] = {
      // One win: offsets +300 and -300; at the fixed point the ratings lie
      // 300 apart around 2400. The passes stop with white at 2550.03 and
      // black at 2249.97, which truncates to 2249.
      {"one game", game("A", "B", "1-0"), {{"A", 2550}, {"B", 2249}}},
      // All draws: p = 1/2, offset 0; nothing moves from 2400.
      {"a draw series", repeat(game("A", "B", "1/2-1/2") + game("B", "A", "1/2-1/2"), 3), {{"A", 2400}, {"B", 2400}}},
      // 3 of 4: p = 3/4, offset = -400 log10(1/3) = 190.85; the ratings
      // settle 190.85 apart around 2400 (2495.40 and 2304.60).
      {"a lopsided series", repeat(game("A", "B", "1-0"), 3) + game("B", "A", "1-0"), {{"A", 2495}, {"B", 2304}}},
      // A result of "*" does not count: its players are absent.
      {"unfinished games", game("C", "D", "*") + game("A", "B", "1/2-1/2"), {{"A", 2400}, {"B", 2400}}},
      // A clean sweep of 10 is limited like a single win.
      {"a clean sweep", repeat(game("A", "B", "0-1"), 10), {{"A", 2249}, {"B", 2550}}},
      {"no games", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ratingsOf(c.pgn), c.expected) << c.what;
}

TEST(Rating, AFieldOfDrawsKeepsEveryoneAt2400) {
  const Ratings r = ratingsOf(game("A", "B", "1/2-1/2") + game("B", "C", "1/2-1/2") + game("C", "A", "1/2-1/2") +
                              game("A", "D", "1/2-1/2"));
  EXPECT_EQ(r, (Ratings{{"A", 2400}, {"B", 2400}, {"C", 2400}, {"D", 2400}}));
}

TEST(Rating, AReadingErrorKeepsTheGamesReadBefore) {
  std::string errors;
  const Ratings r = ratingsOf(game("A", "B", "1-0") + "[White \"E\"]\n[Black \"F\"]\n[Result \"1-0\"]\n1. e5 1-0\n" +
                                  game("G", "H", "1-0"),
                              &errors);
  EXPECT_EQ(r, (Ratings{{"A", 2550}, {"B", 2249}}));
  EXPECT_NE(errors.find("illegal move e5"), std::string::npos) << errors;
}

TEST(Rating, AMissingFileLeavesTheMapUntouched) {
  Ratings ratings{{"kept", 2000}};
  testsupport::MemoryStream errors;
  EXPECT_FALSE(computeRatings("/nonexistent/dir/games.pgn", ratings, errors.file()));
  EXPECT_EQ(ratings, (Ratings{{"kept", 2000}}));
  EXPECT_NE(errors.text().find("Cannot open file"), std::string::npos);
}

}  // namespace
