#include "search/move_ordering_stats.h"
#include "support/temp_text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::tempPath;
std::string readAndRemove(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
    std::fclose(f);
  }
  std::remove(path.c_str());
  return s;
}

// The written table read back: six blocks of 64 values, checking the
// punctuation of every block on the way.
std::vector<std::vector<int>> parseTable(const std::string& text) {
  std::vector<std::vector<int>> blocks;
  size_t at = 0;
  for (int t = 0; t < 6; ++t) {
    EXPECT_EQ(text.compare(at, 5, "\t{\n\t\t"), 0) << "block " << t;
    at += 5;
    std::vector<int> values;
    for (int s = 0; s < 64; ++s) {
      values.push_back(std::stoi(text.substr(at, 4)));
      at += 4;
      const std::string separator = s == 63 ? "\n\t},\n" : (s & 7) == 7 ? ",\n\t\t" : ",";
      EXPECT_EQ(text.compare(at, separator.size(), separator), 0) << "block " << t << " square " << s;
      at += separator.size();
    }
    blocks.push_back(values);
  }
  EXPECT_EQ(at, text.size());
  return blocks;
}

TEST(MoveOrderingStats, CountersAndRanks) {
  auto stats = std::make_unique<MoveOrderingStats>();
  // With nothing counted every ratio is 0.1 and no ratio is below another.
  EXPECT_EQ(stats->successRatio(3, 17), 0.1L);
  EXPECT_EQ(stats->rankOf(stats->successRatio(3, 17)), 2);
  stats->count(2, 42, true);
  stats->count(2, 42, false);
  stats->count(2, 42, true);
  EXPECT_EQ(stats->tries[2][42], 3);
  EXPECT_EQ(stats->successes[2][42], 2);
  EXPECT_EQ(stats->successRatio(2, 42), 3.0L / 13.0L);
  // The one raised pair ranks above the 383 others.
  EXPECT_EQ(stats->rankOf(stats->successRatio(2, 42)), 385);
  EXPECT_EQ(stats->rankOf(stats->successRatio(1, 0)), 2);
  // Piece type 0 never counts in the ranking.
  stats->successes[0][5] = -1000;
  EXPECT_EQ(stats->rankOf(0.1L), 2);
  stats->reset();
  EXPECT_EQ(stats->tries[2][42], 0);
  EXPECT_EQ(stats->successes[0][5], 0);
}

TEST(MoveOrderingStats, WritesRanksAsEvenTableValues) {
  auto stats = std::make_unique<MoveOrderingStats>();
  const std::string path = tempPath("ordering_zero.txt");
  stats->writeTable(path.c_str());
  std::string text = readAndRemove(path);
  // Every value 0 when nothing was counted.
  std::string block = "\t{\n\t\t";
  for (int s = 0; s < 64; ++s) block += std::string("   0") + (s == 63 ? "" : (s & 7) == 7 ? ",\n\t\t" : ",");
  block += "\n\t},\n";
  std::string all;
  for (int t = 0; t < 6; ++t) all += block;
  EXPECT_EQ(text, all);

  // One pair above all others gets 192; a tie of two pairs below it gets
  // equal values; squares ranked lower than the untried ones get 0.
  stats->tries[6][7] = 10;
  stats->successes[6][7] = 9;  // 10 / 20
  stats->tries[1][0] = stats->tries[4][63] = 10;
  stats->successes[1][0] = stats->successes[4][63] = 3;  // 4 / 20 each
  stats->tries[5][30] = 100;  // 1 / 110: below the untried 0.1
  stats->writeTable(path.c_str());
  const auto blocks = parseTable(readAndRemove(path));
  ASSERT_EQ(blocks.size(), 6u);
  EXPECT_EQ(blocks[5][7], 192);  // rank 385
  EXPECT_EQ(blocks[0][0], 190);  // rank 383 (the other of the tie does not count)
  EXPECT_EQ(blocks[3][63], 190);
  EXPECT_EQ(blocks[4][30], 0);   // rank 2
  EXPECT_EQ(blocks[2][0], 0);    // the untried ones: rank 3
  for (const auto& values : blocks)
    for (int v : values) {
      EXPECT_EQ(v % 2, 0);
      EXPECT_GE(v, 0);
      EXPECT_LE(v, 192);
    }
}

TEST(MoveOrderingStats, AFileThatCannotBeCreatedIsSkippedSilently) {
  MoveOrderingStats stats;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  stats.writeTable("/nonexistent-directory/ordering.txt");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(std::fopen("/nonexistent-directory/ordering.txt", "r"), nullptr);
}

}  // namespace
