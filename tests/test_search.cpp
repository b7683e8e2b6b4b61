#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "board/legality.h"
#include "board/notation.h"
#include "search/searcher.h"
#include "support/recording_listener.h"

namespace {

constexpr size_t TestHash = 4u << 20;

struct SearchResult {
  Move best;
  int score;
  uint64_t nodes;
};

// Searches the searcher's current game to `iterations` iterations.
SearchResult runSearch(Searcher& s, int iterations, SearchListener* listener = nullptr) {
  SearchLimits limits(iterations);
  s.setListener(listener);
  s.setupRootMoves();
  s.startSearch(false);
  limits.start();
  s.think(&limits);
  return {s.bestMove(), s.score(), s.nodes()};
}

std::string text(Searcher& s, Move m) {
  char buf[16];
  return formatMove(s.game().position, m, Coordinate, buf);
}

TEST(Search, FindsMatesWithTheExactScore) {
  struct Case {
    const char* fen;
    int plies;           // mating at ply p scores 500000 - p
    const char* first;   // null: any mating move
    bool chess960;
  };
  const Case cases[] = {
      {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1, "d1d8", false},
      {"3r2k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 1, "d8d1", false},
      {"r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq - 2 3", 1, "f3f7", false},
      {"6bq/5Ppk/6pp/8/8/8/8/K7 w - - 0 1", 1, "f7f8n", false},  // only the knight mates
      {"2rkr3/2p1p3/2P1P3/8/8/8/8/RK6 w A - 0 1", 1, "b1a1", true},  // castling mates
      {"r2qk2r/pb4pp/1n2Pb2/2B2Q2/p1p5/2P5/2B2PPP/RN2R1K1 w - - 1 0", 3, "f5g6", false},
      {"6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1", 3, "g2g1", false},
      {"r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R w - - 0 1", 3, "d2h6", false},
      {"6k1/8/6K1/8/8/8/8/7R w - - 0 1", 3, nullptr, false},  // a quiet first move
      {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1", 5, "f8c5", false},
  };
  for (const Case& c : cases) {
    auto s = std::make_unique<Searcher>(TestHash);
    ASSERT_TRUE(s->game().setFen(c.fen)) << c.fen;
    if (c.chess960) s->game().position.castlingAsFiles = 1;
    const SearchResult r = runSearch(*s, c.plies + 2);
    EXPECT_EQ(r.score, MateScore - c.plies) << c.fen;
    if (c.first) {
      EXPECT_EQ(text(*s, r.best), c.first) << c.fen;
    }
    EXPECT_TRUE(isLegalMove(s->game().position, r.best)) << c.fen;
  }
}

TEST(Search, RootWithoutMovesOrWithOne) {
  struct Case {
    const char* fen;
    bool hasMove;
  };
  const Case none[] = {
      {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", false},  // checkmated
      {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", false},  // stalemated
  };
  for (const Case& c : none) {
    auto s = std::make_unique<Searcher>(TestHash);
    ASSERT_TRUE(s->game().setFen(c.fen));
    testsupport::RecordingListener listener;
    const SearchResult r = runSearch(*s, 5, &listener);
    EXPECT_EQ(moveKey(r.best), 0) << c.fen;
    EXPECT_EQ(r.score, 0);
    EXPECT_TRUE(listener.pvs.empty());
  }
  // One legal move: no deepening, one report with a narrow window.
  auto s = std::make_unique<Searcher>(TestHash);
  ASSERT_TRUE(s->game().setFen("7k/8/8/8/8/8/1q6/K7 w - - 0 1"));
  testsupport::RecordingListener listener;
  const SearchResult r = runSearch(*s, 10, &listener);
  EXPECT_EQ(text(*s, r.best), "a1b2");
  ASSERT_EQ(listener.pvs.size(), 1u);
  EXPECT_EQ(listener.pvs[0].alpha, listener.pvs[0].score - 1);
  EXPECT_EQ(listener.pvs[0].beta, listener.pvs[0].score + 1);
  EXPECT_EQ(s->iteration(), 1);
}

// A lost side that can repeat a position of the game scores a draw.
TEST(Search, RepetitionWithTheGameHistoryIsADraw) {
  auto s = std::make_unique<Searcher>(TestHash);
  ASSERT_TRUE(s->game().setFen("k7/8/8/8/8/5N2/1q6/7K w - - 0 1"));
  for (const char* san : {"Ng1", "Kb8", "Nf3", "Ka8", "Ng1", "Kb8"}) {
    Move m = 0;
    ASSERT_TRUE(parseMove(s->game().position, san, m, SanText)) << san;
    s->game().playMove(m);
  }
  const SearchResult r = runSearch(*s, 6);
  EXPECT_EQ(text(*s, r.best), "g1f3");
  EXPECT_EQ(r.score, 0);
}

// Far behind in material, black holds the draw by checking for ever:
// Qf2+ Kh1 Qf1+ Kh2 Qf2+, with no square for white to interpose.
TEST(Search, PerpetualCheckIsADraw) {
  auto s = std::make_unique<Searcher>(TestHash);
  ASSERT_TRUE(s->game().setFen("7k/1R4pp/8/8/Q2q4/6PP/7K/8 b - - 0 1"));
  const SearchResult r = runSearch(*s, 8);
  EXPECT_EQ(text(*s, r.best), "d4f2");
  EXPECT_EQ(r.score, 0);
}

TEST(Search, StopBeforeTheFirstIterationStillGivesALegalMove) {
  auto s = std::make_unique<Searcher>(TestHash);
  SearchLimits limits(30);
  s->setupRootMoves();
  s->startSearch(false);
  s->requestStop();
  limits.start();
  EXPECT_FALSE(s->think(&limits));
  EXPECT_TRUE(isLegalMove(s->game().position, s->bestMove()));
}

TEST(Search, SearchMovesAndExcludeMovesFilterTheRoot) {
  auto s = std::make_unique<Searcher>(TestHash);
  s->setupRootMoves("e2e4", false);
  ASSERT_EQ(s->rootMoveCount(), 1);
  EXPECT_EQ(text(*s, s->rootMove(0).move), "e2e4");
  s->setupRootMoves("e2e4 d2d4", true);
  EXPECT_EQ(s->rootMoveCount(), 18);
  s->setupRootMoves();
  EXPECT_EQ(s->rootMoveCount(), 20);
}

TEST(Search, HelperCopiesTakeTheMastersGameAndDefaults) {
  auto master = std::make_unique<Searcher>(TestHash);
  master->setMultiPv(3);
  master->setOwnBook(false);
  master->setTimeLogfile("somewhere.log");
  ASSERT_TRUE(master->game().setFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
  auto helper = std::make_unique<Searcher>(master.get(), 1);
  EXPECT_EQ(helper->multiPv(), 1);
  EXPECT_EQ(helper->ownBook(), 1);
  EXPECT_STREQ(helper->timeLogfile(), "");
  EXPECT_EQ(helper->game().position.hashKey, master->game().position.hashKey);
  EXPECT_EQ(&helper->transpositionTable(), &master->transpositionTable());
  helper->copyFrom(*master);
  EXPECT_EQ(helper->multiPv(), 3);
  EXPECT_EQ(helper->ownBook(), 0);
  EXPECT_STREQ(helper->timeLogfile(), "somewhere.log");
}

TEST(Search, PonderHitWithoutBestMoveOnlyClearsPondering) {
  auto s = std::make_unique<Searcher>(TestHash);
  s->startSearch(true);
  EXPECT_TRUE(s->pondering());
  s->ponderHit();
  EXPECT_FALSE(s->pondering());
  EXPECT_FALSE(s->stopped());
}

TEST(Search, MultiPvReportsEveryLine) {
  auto s = std::make_unique<Searcher>(TestHash);
  s->setMultiPv(3);
  testsupport::RecordingListener listener;
  runSearch(*s, 4, &listener);
  ASSERT_GE(listener.multiPvLines.size(), 3u);
  EXPECT_EQ(listener.multiPvLines[0], 1);
  EXPECT_EQ(listener.multiPvLines[1], 2);
  EXPECT_EQ(listener.multiPvLines[2], 3);
}

}  // namespace

namespace {

// A fixed-depth search with one thread is deterministic: this node count
// changes only when the search or the evaluation changes. Update it on
// purpose, never by accident.
TEST(Search, FixedDepthNodeCountSignature) {
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
      "8/5pk1/6p1/3P3p/1p5P/1P4P1/5PK1/8 w - - 0 40",
      "2r3k1/1p2q1pp/2b1pr2/p1pp4/6Q1/1P1PP1R1/P1PN2PP/5RK1 w - - 0 1",
  };
  uint64_t total = 0;
  for (int run = 0; run < 2; ++run) {
    uint64_t nodes = 0;
    for (const char* fen : fens) {
      auto s = std::make_unique<Searcher>(TestHash);
      ASSERT_TRUE(s->game().setFen(fen));
      nodes += runSearch(*s, 6).nodes;
    }
    if (run == 0) total = nodes;
    EXPECT_EQ(nodes, total) << "the same search twice gave different node counts";
  }
  EXPECT_EQ(total, 640042u) << "signature";
}

}  // namespace
