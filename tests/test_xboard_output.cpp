#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/xboard_output.h"
#include "search/searcher.h"
#include "search/time_manager.h"
#include "support/engine_fixture.h"
#include "support/uci_lines.h"

namespace {

using testsupport::Capturing;

TEST(XboardScoreTest, ScoresBecomeCentipawnsAndMateDistances) {
  const struct {
    int score;
    int shown;
  } cases[] = {
      {1, 0},           {0, 0},         {-1, 0},         {15, 2},          {-15, -2},      {2, 1},
      {-2, -1},         {1000, 100},    {-1004, -101},   {399999, 40000},  {500000 - 3, 32767 - 3},
      {-(500000 - 2), -(32767 - 2)},    {500000 - 1, 32766},              {400001, 400001 - 467233},
  };
  for (const auto& c : cases) EXPECT_EQ(xboardScore(c.score), c.shown) << c.score;
}

class XboardOutputTest : public ::testing::Test {
 protected:
  Searcher searcher{1 << 20};
  TimeManager clock;
  Capturing<XboardOutput> output{&searcher, &clock};
};

TEST_F(XboardOutputTest, DiagnosticsAndInformationAlwaysShow) {
  output.diagnostic("unknown command", "foo");
  output.diagnostic("no move found", nullptr);
  output.infoString("text", nullptr);
  output.infoString("text", "argument");
  output.diagnostic("Illegal position", std::string(5000, 'x').c_str());
  const std::vector<std::string> lines = output.take();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Error (unknown command): foo");
  EXPECT_EQ(lines[1], "Error (no move found): internal error");
  EXPECT_EQ(lines[2], "Info: text");
  EXPECT_EQ(lines[3], "Info: text argument");
  EXPECT_EQ(lines[4].substr(0, 27), "Error (Illegal position): x");
  EXPECT_LT(lines[4].size(), 1024u);
}

TEST_F(XboardOutputTest, SilenceForGoodOutlastsUnmuting) {
  output.writeLine("before");
  output.silenceForGood();
  output.setSilent(false);
  output.writeLine("after");
  EXPECT_EQ(output.take(), (std::vector<std::string>{"before"}));
}

TEST_F(XboardOutputTest, ThinkingLinesOnlyWithPost) {
  searcher.setListener(&output);
  output.snapshotPosition();
  searcher.setupRootMoves();
  TimeManager limits;
  limits.allocate(false, 0, 0, 0, 3, 0, 0, 0, false);
  limits.start();
  output.setPost(false);
  searcher.think(&limits);
  EXPECT_TRUE(output.take().empty());

  output.setPost(true);
  output.setPonderText("e7e5  ");
  searcher.setupRootMoves();
  limits.start();
  searcher.think(&limits);
  const std::vector<std::string> lines = output.take();
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    // depth, score, centiseconds, nodes, the ponder move, then the moves;
    // blanks are not squeezed.
    const std::vector<std::string> words = testsupport::splitWords(line);
    ASSERT_GE(words.size(), 6u) << line;
    EXPECT_NE(line.find(" e7e5   "), std::string::npos) << line;
  }
  searcher.setListener(nullptr);
}

// Without the default book file a book problem is said once, as
// information; the errors of other files stay errors.
TEST_F(XboardOutputTest, AMissingDefaultBookIsNotAnError) {
  char directory[] = "/tmp/brakken-book-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(directory), 0);
  Searcher master(1 << 20);
  SearchController controller(&master, &output, &clock);
  UciProtocol uci(&master, &output, &controller, true);
  output.setUciProtocol(&uci);
  output.diagnostic("Opening book read error", nullptr);
  output.diagnostic("Opening book read error", nullptr);
  EXPECT_EQ(output.take(), (std::vector<std::string>{"Info: no opening book Brakken.opn"}));
  uci.handleLine("setoption name BookFile value other.opn");
  output.take();
  output.diagnostic("Opening book read error", nullptr);
  EXPECT_EQ(output.take(), (std::vector<std::string>{"Error (Opening book read error): internal error"}));
  ASSERT_EQ(chdir(previous), 0);
  rmdir(directory);
}

}  // namespace
