#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "board/notation.h"
#include "protocol/perft.h"
#include "support/engine_fixture.h"
#include "support/perft_suite.h"
#include "support/uci_lines.h"

namespace {

using testsupport::EngineObjects;
using testsupport::positionOf;

constexpr uint64_t QuickCount = 250000;  // counts up to this size run in the default suite

Position fromFen(const std::string& fen) {
  Game g;
  EXPECT_TRUE(g.setFen(fen.c_str())) << fen;
  return g.position;
}

TEST(PerftCountTest, MatchesTheReferenceCountsWithAndWithoutTable) {
  const std::vector<testsupport::PerftCase> suite = testsupport::loadPerftSuite();
  ASSERT_FALSE(suite.empty());
  for (const testsupport::PerftCase& c : suite) {
    Position p = fromFen(c.fen);
    const uint64_t key = p.hashKey;
    // The position itself is the one leaf at depth 0, with a table or without.
    std::vector<std::pair<int, uint64_t>> counts = c.counts;
    counts.emplace_back(0, 1);
    for (const auto& [depth, count] : counts) {
      if (count > QuickCount) continue;
      for (size_t bytes : {size_t(0), size_t(20), size_t(60), size_t(1) << 20}) {
        PerftHash hash;
        hash.resize(bytes);
        EXPECT_EQ(perftCount(hash, p, depth), count) << c.comment << " depth " << depth << " table " << bytes;
        EXPECT_EQ(p.hashKey, key) << c.comment;
      }
    }
  }
}

TEST(PerftCountTest, DeepReferenceCounts) {
  for (const testsupport::PerftCase& c : testsupport::loadPerftSuite()) {
    Position p = fromFen(c.fen);
    for (const auto& [depth, count] : c.counts) {
      if (count <= QuickCount || count > 30000000) continue;
      PerftHash hash;
      hash.resize(16 << 20);
      EXPECT_EQ(perftCount(hash, p, depth), count) << c.comment << " depth " << depth;
    }
  }
}

TEST(PerftHashTest, SizesToAPowerOfTwoOfEntries) {
  const struct {
    size_t bytes, entries;
  } cases[] = {{0, 0}, {19, 0}, {20, 1}, {39, 1}, {40, 2}, {100, 4}, {1 << 20, 32768}};
  for (const auto& c : cases) {
    PerftHash hash;
    hash.resize(c.bytes);
    EXPECT_EQ(hash.size(), c.entries) << c.bytes;
    for (size_t i = 0; i < hash.size(); ++i) EXPECT_EQ(hash.entries()[i].count, 0u);
  }
}

TEST(PerftHashTest, ADeeperLargerCountKeepsItsSlot) {
  Position p = positionOf("position startpos");
  PerftHash hash;
  hash.resize(20);  // one slot for every position
  EXPECT_EQ(perftCount(hash, p, 3), 8902u);
  ASSERT_EQ(hash.entries()[0].keyLow, uint32_t(p.hashKey));
  EXPECT_EQ(hash.entries()[0].depth, 3);
  EXPECT_EQ(perftCount(hash, p, 1), 20u);
  EXPECT_EQ(hash.entries()[0].depth, 3);
  EXPECT_EQ(perftCount(hash, p, 3), 8902u);
  // Depth 0 neither reads nor takes the slot.
  EXPECT_EQ(perftCount(hash, p, 0), 1u);
  EXPECT_EQ(hash.entries()[0].depth, 3);
  EXPECT_EQ(perftCount(hash, p, 3), 8902u);
  EXPECT_EQ(perftCount(hash, p, -4), 0u);
  EXPECT_EQ(perftCount(hash, p, PerftHash::MaxDepth + 1), 0u);
}

class PerftCommandTest : public ::testing::Test {
 protected:
  EngineObjects engine;
  std::vector<std::string> run(const std::string& line) {
    engine.output.take();
    engine.line(line);
    return engine.output.take();
  }
};

TEST_F(PerftCommandTest, PrintsDepthTimeAndNodes) {
  const std::regex total(R"(info depth (-?\d+) time \d+ nodes (\d+))");
  const struct {
    const char* line;
    const char* depth;
    const char* nodes;
  } cases[] = {
      {"perft depth 1", "1", "20"},           {"perft depth 2", "2", "400"},
      {"perft depth 3", "3", "8902"},         {"perft depth 3 Hash 1", "3", "8902"},
      {"perft Hash 4 depth 3", "3", "8902"},  {"perft depth 0", "0", "1"},
      {"perft depth -2", "-2", "0"},          {"perft depth 2 Hash -9", "2", "400"},
  };
  engine.line("position startpos");
  for (const auto& c : cases) {
    const std::vector<std::string> lines = run(c.line);
    ASSERT_EQ(lines.size(), 1u) << c.line;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, total)) << lines[0];
    EXPECT_EQ(m[1], c.depth) << c.line;
    EXPECT_EQ(m[2], c.nodes) << c.line;
  }
}

TEST_F(PerftCommandTest, CountsTheCurrentPosition) {
  const std::regex total(R"(info depth 3 time \d+ nodes 97862)");
  engine.line("position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  const std::vector<std::string> lines = run("perft depth 3 Hash 1");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], total)) << lines[0];
  engine.line("position startpos moves e2e4 e7e5");
  const std::vector<std::string> after = run("perft depth 1");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_TRUE(std::regex_match(after[0], std::regex(R"(info depth 1 time \d+ nodes 29)"))) << after[0];
}

// The divide lines name every legal root move once, in the root's own
// coordinate text, and their counts add up to the plain count.
void checkDivide(EngineObjects& engine, const std::string& positionLine, int depth, uint64_t total,
                 bool chess960) {
  engine.line(positionLine);
  const Position root = positionOf(positionLine);
  engine.output.take();
  engine.line("perft depth " + std::to_string(depth) + " divide");
  const std::vector<std::string> lines = engine.output.take();
  const std::regex divide(R"(info move (\S+) depth (-?\d+) time \d+ nodes (\d+))");
  std::set<Move> seen;
  uint64_t sum = 0;
  for (const std::string& l : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, divide)) << l;
    Position p = root;
    Move move;
    EXPECT_TRUE(testsupport::readWireMove(p, m[1], chess960, move)) << l;
    EXPECT_TRUE(seen.insert(move).second) << l;
    EXPECT_EQ(std::stoi(m[2]), depth - 1) << l;
    // At depth 1 each root move is one leaf.
    if (depth == 1) {
      EXPECT_EQ(m[3], "1") << l;
    }
    sum += std::stoull(m[3]);
  }
  Position p = root;
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), AllMoves);
  size_t legal = 0;
  UndoRecord undo;
  undo.save(p);
  for (const MoveListEntry* e = list.begin(); e < list.end(); ++e)
    if (p.makeMove(e->move, undo)) {
      ++legal;
      undo.restore();
    }
  EXPECT_EQ(seen.size(), legal) << positionLine;
  EXPECT_EQ(sum, total) << positionLine;
}

TEST_F(PerftCommandTest, DivideSplitsTheCountByRootMove) {
  checkDivide(engine, "position startpos", 3, 8902, false);
  checkDivide(engine, "position startpos", 1, 20, false);
  checkDivide(engine, "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2,
              2039, false);
  checkDivide(engine, "position fen 8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1", 3, 1928, false);
  engine.line("setoption name UCI_Chess960 value true");
  checkDivide(engine, "position fen bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 2, 528,
              true);
  checkDivide(engine, "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2,
              2039, true);
}

// The count a plain perft of the current position prints.
uint64_t plainCount(EngineObjects& engine, int depth) {
  engine.output.take();
  engine.line("perft depth " + std::to_string(depth));
  const std::vector<std::string> lines = engine.output.take();
  std::smatch m;
  if (lines.size() != 1 || !std::regex_match(lines[0], m, std::regex(R"(info depth -?\d+ time \d+ nodes (\d+))"))) {
    ADD_FAILURE() << "perft depth " << depth << " printed " << lines.size() << " lines";
    return ~uint64_t(0);
  }
  return std::stoull(m[1]);
}

TEST_F(PerftCommandTest, DivideAddsUpToThePlainCountAtEveryDepth) {
  std::vector<testsupport::PerftCase> cases = testsupport::loadPerftSuite();
  ASSERT_FALSE(cases.empty());
  // Positions without a legal move: no divide lines, a plain count of 0,
  // and still the one leaf at depth 0.
  cases.push_back({"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", "mated", {{1, 0}, {2, 0}}});
  cases.push_back({"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "stalemate", {{1, 0}, {2, 0}}});
  for (const testsupport::PerftCase& c : cases) {
    const std::string positionLine = "position fen " + c.fen;
    const bool chess960 = positionOf(positionLine).chess960;
    engine.line(std::string("setoption name UCI_Chess960 value ") + (chess960 ? "true" : "false"));
    engine.line(positionLine);
    EXPECT_EQ(plainCount(engine, 0), 1u) << c.comment;
    for (const auto& [depth, count] : c.counts) {
      if (depth > 2) continue;
      engine.line(positionLine);
      const uint64_t plain = plainCount(engine, depth);
      EXPECT_EQ(plain, count) << c.comment << " depth " << depth;
      checkDivide(engine, positionLine, depth, plain, chess960);
    }
  }
}

TEST_F(PerftCommandTest, WithoutADepthThereIsOnlyTheDiagnostic) {
  for (const char* line : {"perft", "perft divide", "perft depth", "perft depth x", "perft Hash 3", "perft 3"}) {
    EXPECT_TRUE(run(line).empty()) << line;
    engine.line("debug on");
    EXPECT_EQ(run(line), std::vector<std::string>{"info string perft ohne depth"}) << line;
    engine.line("debug off");
  }
  engine.line("debug on");
  EXPECT_EQ(run("perft depth 31"), std::vector<std::string>{"info string perft: depth zu gro\xdf perft depth 31"});
  EXPECT_EQ(run("perft depth 999999999999 divide"),
            std::vector<std::string>{"info string perft: depth zu gro\xdf perft depth 999999999999 divide"});
}

}  // namespace
