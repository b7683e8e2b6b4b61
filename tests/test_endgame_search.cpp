// Known endings searched by the engine: mates delivered within a node
// budget, king-and-pawn wins and draws judged as the bitbase says, and
// drawn material scored as a draw.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "board/position.h"
#include "search/searcher.h"

namespace {

constexpr size_t TestHash = 16u << 20;

struct SearchResult {
  Move best;
  int score;
  uint64_t nodes;
};

SearchResult runSearch(Searcher& s, int iterations) {
  SearchLimits limits(iterations);
  s.setListener(nullptr);
  s.setupRootMoves();
  s.startSearch(false);
  limits.start();
  s.think(&limits);
  return {s.bestMove(), s.score(), s.nodes()};
}

struct PlayOut {
  bool mated;      // the defender was checkmated
  int moves;       // moves of the attacker played
  uint64_t nodes;  // nodes searched by both sides
};

// Both sides played by the engine at a fixed depth per move until the
// defender is mated or the attacker has made `maxMoves` moves.
PlayOut playOut(const char* fen, int depth, int maxMoves) {
  auto s = std::make_unique<Searcher>(TestHash);
  EXPECT_TRUE(s->game().setFen(fen)) << fen;
  const bool attackerIsWhite = s->game().position.whiteToMove;
  PlayOut out{false, 0, 0};
  for (int ply = 0; ply < 2 * maxMoves; ++ply) {
    const SearchResult r = runSearch(*s, depth);
    out.nodes += r.nodes;
    if (!r.best) break;
    if (bool(s->game().position.whiteToMove) == attackerIsWhite) ++out.moves;
    s->game().playMove(r.best);
    if (std::getenv("BRAKKEN_TRACE")) {
      char f[128];
      s->game().toFen(f);
      std::printf("%s %d\n", f, r.score);
    }
    int result = 0;
    if (s->game().position.noLegalMove(&result)) {
      out.mated = result == (attackerIsWhite ? 1 : -1);
      break;
    }
  }
  return out;
}

TEST(EndgameSearch, RookAndQueenMateALoneKingFromTheCentre) {
  const char* const fens[] = {
      "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",  // KRK
      "8/8/8/3k4/8/8/8/2Q1K3 w - - 0 1",  // KQK
      "r3k3/8/8/8/3K4/8/8/8 b - - 0 1",  // KRK, black mates
  };
  for (const char* fen : fens) {
    const PlayOut p = playOut(fen, 6, 40);
    EXPECT_TRUE(p.mated) << fen << " moves " << p.moves;
    EXPECT_LT(p.nodes, 3000000u) << fen;
  }
}

TEST(EndgameSearch, DeepBishopAndKnightMateFromTheCentre) {
  const char* const fens[] = {
      "8/8/8/4k3/8/8/8/2B1KN2 w - - 0 1",  // dark-squared bishop
      "8/8/8/3k4/8/8/8/3BK1N1 w - - 0 1",  // light-squared bishop
      "3bk1n1/8/8/3K4/8/8/8/8 b - - 0 1",  // black mates
  };
  for (const char* fen : fens) {
    const PlayOut p = playOut(fen, 12, 50);
    EXPECT_TRUE(p.mated) << fen << " moves " << p.moves;
    EXPECT_LT(p.nodes, 60000000u) << fen;
    std::printf("%s: mate after %d moves, %llu nodes\n", fen, p.moves, (unsigned long long)p.nodes);
  }
}

struct ScoreCase {
  const char* fen;
  int low, high;  // expected score range, side to move's view
};

void expectScores(const ScoreCase* cases, size_t count, int depth) {
  for (size_t i = 0; i < count; ++i) {
    auto s = std::make_unique<Searcher>(TestHash);
    ASSERT_TRUE(s->game().setFen(cases[i].fen)) << cases[i].fen;
    const SearchResult r = runSearch(*s, depth);
    EXPECT_GE(r.score, cases[i].low) << cases[i].fen;
    EXPECT_LE(r.score, cases[i].high) << cases[i].fen;
  }
}

TEST(EndgameSearch, KingAndPawnWinsAndDrawsAsTheBitbaseSays) {
  const ScoreCase cases[] = {
      {"4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", 9000, MateScore},   // won
      {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", -MateScore, -9000},
      {"8/8/4k3/8/4K3/4P3/8/8 w - - 0 1", -50, 50},           // drawn, strong side to move
      {"8/8/4k3/8/4K3/4P3/8/8 b - - 0 1", -MateScore, -9000}, // won, defender to move
      {"1k6/8/1K6/P7/8/8/8/8 w - - 0 1", -50, 50},            // rook pawn drawn
      {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", 9000, MateScore},   // won from the start
      {"8/8/8/8/4p3/4k3/8/4K3 b - - 0 1", 9000, MateScore},   // colours exchanged
      {"8/8/4p3/4k3/8/4K3/8/8 b - - 0 1", -50, 50},
  };
  expectScores(cases, sizeof cases / sizeof *cases, 12);
}

TEST(EndgameSearch, DrawnMaterialScoresADraw) {
  const ScoreCase cases[] = {
      {"8/8/3k4/8/8/4K3/8/8 w - - 0 1", 0, 0},             // KvK
      {"8/8/3k4/8/8/4K3/8/1NN5 w - - 0 1", 0, 0},          // KNNvK
      {"1nn5/8/3k4/8/8/4K3/8/8 b - - 0 1", 0, 0},
      {"8/8/3k4/8/8/4K3/8/2N5 w - - 0 1", 0, 0},           // KNvK
  };
  expectScores(cases, sizeof cases / sizeof *cases, 10);
}

TEST(EndgameSearch, PhilidorDefencesScoreNearADraw) {
  // The pawn on the sixth, the defending king on the promotion square and
  // its rook checking from behind on the first rank: well below the pawn's
  // worth (the search is not colour-symmetric, so the two colours may end
  // on different leaves).
  const ScoreCase cases[] = {
      {"4k3/8/4P3/4K3/8/8/1R6/r7 b - - 0 1", -700, 700},
      {"4k3/8/4P3/4K3/8/8/1R6/r7 w - - 0 1", -700, 700},
      {"R7/1r6/8/8/4k3/4p3/8/4K3 w - - 0 1", -700, 700},  // colours exchanged
      {"R7/1r6/8/8/4k3/4p3/8/4K3 b - - 0 1", -700, 700},
  };
  expectScores(cases, sizeof cases / sizeof *cases, 10);
}

TEST(EndgameSearch, OppositeBishopsAreScaledTowardADraw) {
  int scores[2];
  const char* const fens[2] = {"8/8/4k3/8/2b5/8/3PPK2/4B3 w - - 0 1",   // opposite bishops
                               "8/8/4k3/8/3b4/8/3PPK2/4B3 w - - 0 1"};  // same colour
  for (int i = 0; i < 2; ++i) {
    auto s = std::make_unique<Searcher>(TestHash);
    ASSERT_TRUE(s->game().setFen(fens[i]));
    scores[i] = runSearch(*s, 8).score;
  }
  EXPECT_LT(scores[0], scores[1] - 500);
  EXPECT_GT(scores[0], 0);
}

}  // namespace
