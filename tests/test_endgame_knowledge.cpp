// The endgame knowledge classes through the evaluator and their bound
// probes, each class against its worked examples, and colour symmetry of
// every class on generated positions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/endgame_table.h"
#include "eval/evaluator.h"
#include "support/material_positions.h"

namespace {

Position positionOf(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

// Evaluator::evaluate of the position (side to move's view).
int evaluateFen(const char* fen) {
  Evaluator evaluator;
  const Position p = positionOf(fen);
  return evaluator.evaluate(p);
}

// The knowledge object the evaluator picks for the position.
const EndgameEvaluator* knowledgeFor(Evaluator& evaluator, const Position& p) {
  evaluator.evaluate(p);
  return evaluator.endgameEvaluator();
}

struct ProbeAnswer {
  bool cut;
  int score;
  short depthChange;
};

ProbeAnswer probeFen(const char* fen, int alpha, int beta, int depth = 40, short depthChange = 0) {
  Evaluator evaluator;
  const Position p = positionOf(fen);
  ProbeAnswer a{false, 0, depthChange};
  a.cut = knowledgeFor(evaluator, p)->probe(p, &a.score, alpha, beta, depth, &a.depthChange);
  return a;
}

// The knowledge object's own evaluate (white's view) with a starting score.
struct Judgement {
  bool exact;
  int score;
};

Judgement judge(const char* fen, int startScore = 0) {
  Evaluator evaluator;
  const Position p = positionOf(fen);
  Judgement j{false, startScore};
  j.exact = selectEndgameEvaluator(evaluator.endgameTable(), p)->evaluate(p, &j.score);
  return j;
}

struct EvalCase {
  const char* fen;
  int expected;  // side to move's view
};

TEST(EndgameKnowledge, KingAndPawnAgainstKingFromTheBitbase) {
  const EvalCase cases[] = {
      {"4k3/8/4K3/4P3/8/8/8/8 w - -", 9450 - 9},   // won in 9 plies
      {"4k3/8/4K3/4P3/8/8/8/8 b - -", -(9450 - 8)},
      {"8/8/4k3/8/4K3/4P3/8/8 w - -", 1},           // the draw scores one step above zero
      {"8/8/4k3/8/4K3/4P3/8/8 b - -", -(9450 - 20)},  // won with the defender to move
      {"7k/5K2/6P1/8/8/8/8/8 w - -", 9450 - 3},
      {"1k6/8/1K6/P7/8/8/8/8 w - -", 1},
      {"4k3/8/8/8/8/8/4P3/4K3 w - -", 9450 - 27},
      // The same with colours exchanged.
      {"8/8/8/8/4p3/4k3/8/4K3 b - -", 9450 - 9},
      {"8/8/8/8/4p3/4k3/8/4K3 w - -", -(9450 - 8)},
      {"8/8/4p3/4k3/8/4K3/8/8 b - -", 1},
      {"8/8/4p3/4k3/8/4K3/8/8 w - -", -(9450 - 20)},
  };
  for (const EvalCase& c : cases) EXPECT_EQ(evaluateFen(c.fen), c.expected) << c.fen;
}

TEST(EndgameKnowledge, KingAndPawnProbeBounds) {
  // Won for the side to move: cut at any beta up to 9350.
  ProbeAnswer a = probeFen("4k3/8/4K3/4P3/8/8/8/8 w - -", 9000, 9350);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 9350);
  EXPECT_FALSE(probeFen("4k3/8/4K3/4P3/8/8/8/8 w - -", 9350, 9351).cut);
  // Won for the side not to move: cut at any alpha from -9350 up.
  a = probeFen("8/8/8/8/4p3/4k3/8/4K3 w - -", -9350, 0);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, -9350);
  // A draw lies in [-1, 1].
  a = probeFen("8/8/4k3/8/4K3/4P3/8/8 w - -", 1, 50);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 1);
  a = probeFen("8/8/4k3/8/4K3/4P3/8/8 w - -", -50, -1);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, -1);
  EXPECT_FALSE(probeFen("8/8/4k3/8/4K3/4P3/8/8 w - -", -1, 1).cut);
}

TEST(EndgameKnowledge, DeadDrawsScoreZero) {
  const char* const fens[] = {
      "8/8/3k4/8/8/4K3/8/8 w - -",       "8/8/3k4/8/8/4K3/8/2N5 b - -",  "8/2b5/3k4/8/8/4K3/8/2N5 w - -",
      "8/8/3k4/8/8/4K3/8/1NN5 w - -",    "8/8/3k4/8/8/4K3/8/1NN5 b - -", "1nn5/8/3k4/8/8/4K3/8/8 w - -",
      "7r/8/3k4/8/8/4K3/8/R7 w - -",
  };
  for (const char* fen : fens) EXPECT_EQ(evaluateFen(fen), 0) << fen;
}

TEST(EndgameKnowledge, DrawAndTwoKnightsProbes) {
  ProbeAnswer a = probeFen("8/8/3k4/8/8/4K3/8/8 w - -", -100, 100, 40);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 0);
  EXPECT_EQ(a.depthChange, -40);
  // Two knights: never a cut, the remaining depth cut to one ply.
  a = probeFen("8/8/3k4/8/8/4K3/8/1NN5 w - -", -100, 100, 40, 5);
  EXPECT_FALSE(a.cut);
  EXPECT_EQ(a.depthChange, 8 - 40);
  EXPECT_EQ(probeFen("8/8/3k4/8/8/4K3/8/1NN5 w - -", -100, 100, 8, 5).depthChange, 0);
}

TEST(EndgameKnowledge, RookOrQueenAgainstKingProbe) {
  // No white man attacked: a certain win of at least 7150 (12450 with a queen).
  ProbeAnswer a = probeFen("8/8/3k4/8/8/8/8/R3K3 w - -", 0, 7150);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 7150);
  EXPECT_FALSE(probeFen("8/8/3k4/8/8/8/8/R3K3 w - -", 0, 7151).cut);
  EXPECT_EQ(probeFen("8/8/3k4/8/8/8/8/Q3K3 w - -", 0, 12450).score, 12450);
  a = probeFen("8/8/3k4/8/8/8/8/R3K3 b - -", -7150, 0);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, -7150);
  // The black king attacks the rook: never a cut.
  EXPECT_FALSE(probeFen("8/8/8/8/8/4k3/3R4/6K1 b - -", -500000, -499999).cut);
  EXPECT_FALSE(probeFen("8/8/8/8/8/4k3/3R4/6K1 w - -", 0, 1).cut);
  // The rook side's mirror.
  EXPECT_TRUE(probeFen("r3k3/8/8/8/8/3K4/8/8 b - -", 0, 7150).cut);
}

TEST(EndgameKnowledge, EqualMajorsAreDrawnWhenQuiet) {
  // Quiet: nothing attacked, kings off the edge with room.
  const char* quiet = "7r/8/3k4/8/8/4K3/8/R7 w - -";
  Evaluator evaluator;
  const Position p = positionOf(quiet);
  const EndgameEvaluator* e = knowledgeFor(evaluator, p);
  int score = 77;
  EXPECT_TRUE(e->evaluateForSide(p, &score));
  EXPECT_EQ(score, 0);
  EXPECT_TRUE(probeFen(quiet, -10, 10).cut);
  // A rook attacked: no cut, the depth rounded to whole plies.
  const char* loud = "8/8/2k5/8/3r4/3RK3/8/8 w - -";
  ProbeAnswer a = probeFen(loud, -10, 10, 21, 3);
  EXPECT_FALSE(a.cut);
  EXPECT_EQ(a.depthChange, -5);
  EXPECT_EQ(probeFen(loud, -10, 10, 29, 3).depthChange, -8 - 5);
  EXPECT_EQ(probeFen(loud, -10, 10, 16, 3).depthChange, 3);
}

TEST(EndgameKnowledge, QueenAgainstRookAndQueenMinorAgainstQueen) {
  // Queen against rook in a quiet position: at least 6300 for the queen.
  ProbeAnswer a = probeFen("7r/8/3k4/8/8/4K3/Q7/8 w - -", 0, 6300);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 6300);
  // Queen and knight against queen: exact mop-up score, never a cut.
  Evaluator evaluator;
  const Position p = positionOf("8/8/2k1q3/8/8/3QK3/8/2N5 w - -");
  const int e = evaluator.evaluate(p);
  const int kBase = 333;
  const int expected = kBase + 62 * 2 + 21 * 1 - 42 * 5 - 16 * 3;  // black king c6, white king e3
  EXPECT_EQ(e, expected);
  EXPECT_FALSE(probeFen("8/8/2k1q3/8/8/3QK3/8/2N5 w - -", -500000, -499999).cut);
  EXPECT_EQ(probeFen("8/8/2k1q3/8/8/3QK3/8/2N5 w - -", 0, 1, 43, 2).depthChange, -8 - 3);
  EXPECT_EQ(probeFen("8/8/2k1q3/8/8/3QK3/8/2N5 w - -", 0, 1, 27, 2).depthChange, -3);
}

TEST(EndgameKnowledge, BishopAndKnightDriveTheKingToTheRightCorner) {
  // Light-squared bishop: a8 and h1 are the target corners.
  const int rightCorner = evaluateFen("k7/8/1K6/8/8/8/8/3BN3 w - -");
  const int wrongCorner = evaluateFen("7k/8/6K1/8/8/8/8/3BN3 w - -");
  const int centre = evaluateFen("8/8/8/3k4/8/8/8/3BNK2 w - -");
  EXPECT_GT(rightCorner, wrongCorner);
  EXPECT_GT(wrongCorner, centre);
  EXPECT_GT(centre, 6000);
  // The probe: at least 4325 for the strong side; 1 with its knight in a corner.
  EXPECT_TRUE(probeFen("8/8/8/3k4/8/8/8/3BNK2 w - -", 0, 4325).cut);
  EXPECT_FALSE(probeFen("8/8/8/3k4/8/8/8/3BNK2 w - -", 0, 4326).cut);
  EXPECT_TRUE(probeFen("8/8/8/3k4/8/8/8/2B2K1N w - -", 0, 1).cut);
  EXPECT_FALSE(probeFen("8/8/8/3k4/8/8/8/2B2K1N w - -", 0, 2).cut);
}

TEST(EndgameKnowledge, BishopAndKnightMeasureInTheCorner) {
  // The black king on a8 (a target corner of the light bishop) has no
  // free step: no distance or escape term, kings two steps apart (+1), and
  // the room count leaves the king's own square out (n = 0).
  EXPECT_EQ(judge("k7/3N4/1K6/8/8/7B/8/8 w - -").score, 3000 + 1);
  // The bishop in the other target corner: -3 inside the inner ball and,
  // counted on its own, -2 for the long diagonal.
  EXPECT_EQ(judge("k7/8/1KN5/8/8/8/8/7B w - -").score, 3000 - 3 - 2 + 1);
  // The same with colours exchanged, in white's view.
  EXPECT_EQ(judge("7b/8/8/8/8/1kn5/8/K7 b - -").score, -(3000 - 3 - 2 + 1));
}

TEST(EndgameKnowledge, HeldValueReplacesTheMaterialAndCapsTheSideWithoutPawns) {
  Evaluator evaluator;
  const EndgameTable& t = evaluator.endgameTable();
  const Position p = positionOf("8/4k3/8/3np3/8/8/8/R3K3 w - -");  // KRvKNP
  int score = 5000;
  EXPECT_FALSE(t.kRvKMP.evaluate(p, &score));
  EXPECT_EQ(score, 100);
  EXPECT_EQ(t.kRvKMP.scale(p, evaluator, 700), 0);
  EXPECT_EQ(t.kRvKMP.scale(p, evaluator, -700), -700);
  const Position q = positionOf("r3k3/8/8/8/3NP3/8/4K3/8 w - -");  // KNPvKR
  EXPECT_EQ(t.kMPvKR.scale(q, evaluator, 700), 700);
  EXPECT_EQ(t.kMPvKR.scale(q, evaluator, -700), 0);
  // Through the evaluator the rook side never stands better than even.
  for (const char* fen : {"8/4k3/8/3np3/8/8/8/R3K3 w - -", "8/4k3/8/3np3/8/8/8/R3K3 b - -"}) {
    const Position r = positionOf(fen);
    const int e = evaluator.evaluate(r);
    EXPECT_LE(r.whiteToMove ? e : -e, 0) << fen;
  }
}

TEST(EndgameKnowledge, TwoKnightsAgainstPawnMeasure) {
  // White knights, black king d5 (in the box), white king f3, black pawn e5
  // (four squares to its promotion square), white to move.
  const int v = 1000 + 0 + 0 - 42 * 4 - 16 * 2 + 200;
  EXPECT_EQ(evaluateFen("8/8/8/3kp3/8/5K2/8/1NN5 w - -"), v);
  EXPECT_EQ(evaluateFen("1nn5/8/5k2/8/3KP3/8/8/8 b - -"), v);
}

TEST(EndgameKnowledge, WinChanceMeasureOfRookAgainstMinor) {
  // Rook side to move, nothing attacked, no pattern: measure 5, a = 4.
  const Position p = positionOf("7k/8/8/8/8/8/8/b3K1R1 w - -");
  EXPECT_EQ(winChanceMeasure(p, White), 5);
  EXPECT_EQ(evaluateFen("7k/8/8/8/8/8/8/b3K1R1 w - -"), 33 * 16 + 1);
  // Colours exchanged.
  EXPECT_EQ(evaluateFen("B3k1r1/8/8/8/8/8/8/7K b - -"), 33 * 16 + 1);
  // A hanging bishop: a tactical measure of 10.
  EXPECT_EQ(winChanceMeasure(positionOf("7k/8/8/8/8/8/8/b5RK w - -"), White), 10);
  // Two knights against a knight: always 1.
  EXPECT_EQ(judge("7k/8/3n4/8/8/8/8/1NN1K3 b - -").score, 1);
  EXPECT_TRUE(judge("7k/8/3n4/8/8/8/8/1NN1K3 b - -").exact);
  EXPECT_EQ(judge("1nn1k3/8/8/8/8/3N4/8/7K w - -").score, -1);
}

TEST(EndgameKnowledge, RookAgainstMinorSideDoesNotLose) {
  // The rook side to move, not in check, not on the edge against a rook.
  ProbeAnswer a = probeFen("7k/8/8/8/8/4K3/8/b5R1 w - -", -100, 0);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 0);
  a = probeFen("7k/8/8/8/8/4K3/8/b5R1 b - -", 0, 100);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 0);
  EXPECT_FALSE(probeFen("7k/8/8/8/8/4K3/8/b5R1 w - -", 0, 1).cut);
}

TEST(EndgameKnowledge, PawnAgainstMinor) {
  // Bitbase draw: exact 1.
  Judgement j = judge("8/8/8/8/8/4k3/4P3/2n1K3 w - -");
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // Pawn on rank 6, black to move; the bishop holds e8, which no white man attacks.
  j = judge("8/8/4P3/1b3K2/8/8/7k/8 b - -");
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // The bishop holds no path square: the evaluation continues from 64.
  j = judge("8/8/4P3/5K2/8/8/7k/b7 b - -", 5000);
  EXPECT_FALSE(j.exact);
  EXPECT_EQ(j.score, 64);
  // White to move with the pawn attacking the knight: 1, not the advance value.
  j = judge("8/3n4/4P3/5K2/8/8/7k/8 w - -", 5000);
  EXPECT_FALSE(j.exact);
  EXPECT_EQ(j.score, 1);
  // The knight race: with black to move the knight reaches c3 in time.
  j = judge("7k/8/8/8/3K4/8/2P5/1n6 b - -", 5000);
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // With white to move the white king's region swallows the knight's reach.
  j = judge("7k/8/8/8/3K4/8/2P5/1n6 w - -", 5000);
  EXPECT_FALSE(j.exact);
  EXPECT_EQ(j.score, 1);
  // Colours exchanged.
  j = judge("1N6/2p5/8/3k4/8/8/8/7K w - -", -5000);
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, -1);
}

TEST(EndgameKnowledge, RookPawnWithTheWrongBishop) {
  // a8 is light, the bishop dark: exact 1.
  Judgement j = judge("k7/8/8/P7/8/8/8/2B1K3 w - -");
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // The right bishop wins: no draw.
  EXPECT_FALSE(judge("k7/8/8/P7/8/8/8/3BK3 w - -").exact);
  // Colours exchanged: a1 is dark, the bishop light.
  j = judge("2b1k3/8/8/8/p7/8/8/K7 b - -");
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, -1);
  EXPECT_EQ(evaluateFen("k7/8/8/P7/8/8/8/2B1K3 w - -"), 1);
  // Against a bare king the minor's side does not lose.
  ProbeAnswer a = probeFen("k7/8/8/8/P7/8/8/3BK3 w - -", -50, 0);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.score, 0);
}

TEST(EndgameKnowledge, RookAndPawnAgainstRookBookDraws) {
  // Pawn e6, black king on e8, black rook on the first rank, black to move.
  Judgement j = judge("4k3/8/4P3/4K3/8/8/8/r3R3 b - -", 2000);
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // Philidor's third-rank defence with the pawn on the fifth.
  j = judge("4k3/8/r7/4P3/4K3/8/8/7R w - -", 2000);
  EXPECT_TRUE(j.exact);
  // Colours exchanged: exact -1.
  j = judge("R3r3/8/8/8/4k3/4p3/8/4K3 w - -", -2000);
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, -1);
  // No defence: the score goes on from the material.
  j = judge("8/8/4k3/8/4PK2/8/8/r6R w - -", 2000);
  EXPECT_FALSE(j.exact);
  // Pawn on the seventh, rook on the fifth, pawn next to the king: +60.
  j = judge("8/3kP3/5K2/R7/8/8/8/7r b - -", 2000);
  EXPECT_FALSE(j.exact);
  EXPECT_EQ(j.score, 2060);
}

TEST(EndgameKnowledge, OppositeBishopsWithOnePawn) {
  // The dark bishop on a3 watches e7 on the pawn's front span along a
  // diagonal of several squares; the white king is on neither of its diagonals.
  Judgement j = judge("8/8/8/4P3/3K4/b7/8/4kB2 w - -");
  EXPECT_TRUE(j.exact);
  EXPECT_EQ(j.score, 1);
  // Same-coloured bishops: no draw test.
  EXPECT_FALSE(judge("8/8/8/4P3/3K4/b7/8/4k1B1 w - -").exact);
  // The white king on the bishop's diagonal: no answer.
  EXPECT_FALSE(judge("8/8/8/4P3/1K6/b7/8/4kB2 w - -").exact);
}

TEST(EndgameKnowledge, ScalesOfSameMaterialEndings) {
  Evaluator evaluator;
  const EndgameTable& t = evaluator.endgameTable();
  // Opposite bishops, equal pawns: h = 1500 reduced to 1000.
  Position p = positionOf("4k3/p4b2/8/8/8/8/P4B2/4K3 w - -");
  evaluator.evaluate(p);
  EXPECT_EQ(t.bishopEnding.scale(p, evaluator, 3000), 2000);
  EXPECT_EQ(t.bishopEnding.scale(p, evaluator, -3000), -2000);
  EXPECT_EQ(t.bishopEnding.scale(p, evaluator, 800), 400);
  // Knights with white pawns on the a- and h-files only.
  p = positionOf("4k3/8/3n4/8/P6P/8/3N4/4K3 w - -");
  evaluator.evaluate(p);
  EXPECT_EQ(t.knightEnding.scale(p, evaluator, 0), 126);
  // Bishop against knight with pawns on files c to f: A = -9 toward the bishop.
  p = positionOf("4k3/2p2p2/8/8/8/8/2P2P2/3BKn2 w - -");
  evaluator.evaluate(p);
  EXPECT_EQ(t.bishopKnightEnding.scale(p, evaluator, 0), -9);
  // One-sided pawns: a bishop against a pawn.
  p = positionOf("4k3/p7/8/8/8/8/8/2B1K3 w - -");
  const int d = p.white.material - p.black.material;
  const int expected = 2000 - (3 * d) / 4 > 0 ? 2000 - (3 * d) / 4 : 0;
  EXPECT_EQ(t.oneSidedPawns.scale(p, evaluator, 2000), expected);
  EXPECT_LT(expected, 2000);
  EXPECT_EQ(t.oneSidedPawns.scale(p, evaluator, -2000), -2000);
}

// The pawn ending's scale of the position with a positional score of 0.
int pawnEndingScale(const char* fen) {
  Evaluator evaluator;
  const Position p = positionOf(fen);
  evaluator.evaluate(p);
  EXPECT_EQ(evaluator.endgameEvaluator(), &evaluator.endgameTable().pawnEnding) << fen;
  return evaluator.endgameTable().pawnEnding.scale(p, evaluator, 0);
}

TEST(EndgameKnowledge, PawnEndingRaces) {
  // h4 and h5 block each other; the a-pawn runs: 2500, 2188, 1915.
  EXPECT_EQ(pawnEndingScale("7k/8/8/P6p/7P/8/8/6K1 w - -"), 1915);
  EXPECT_EQ(pawnEndingScale("7k/8/P7/7p/7P/8/8/6K1 w - -"), 2188);
  EXPECT_EQ(pawnEndingScale("7k/8/8/7p/7P/8/P7/6K1 w - -"), 1467);  // from a3: five steps
  // Colours exchanged.
  EXPECT_EQ(pawnEndingScale("6k1/8/8/7p/p6P/8/8/7K b - -"), -1915);
}

TEST(EndgameKnowledge, PawnEndingPasserPairs) {
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      {"8/8/1k6/6p1/PP4P1/8/8/7K w - -", 190},   // neighbours
      {"8/8/1k6/6p1/P1P3P1/8/8/7K w - -", 50},   // two files apart
      {"8/8/1k6/6p1/P2P2P1/8/8/7K w - -", 0},    // three files apart count nothing
      {"8/8/1k6/6p1/6P1/P3P3/8/7K w - -", 150},  // four files apart
      {"8/8/1k6/7p/7P/8/P4P2/7K w - -", 200},  // five files apart
      {"8/8/1k6/6p1/P3P1P1/8/8/7K w - -", 1200}, // the e-pawn outside the a-pawn's reach
      {"8/8/1k6/8/P1P5/8/8/7K w - -", 1200},     // no black pawns
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pawnEndingScale(c.fen), c.expected) << c.fen;
  }
}

TEST(EndgameKnowledge, PawnEndingOppositionAndBoxedKing) {
  EXPECT_EQ(pawnEndingScale("8/p7/P3k3/8/4K3/8/8/8 w - -"), -60);
  EXPECT_EQ(pawnEndingScale("8/p7/P7/8/2k1K3/8/8/8 w - -"), -60);
  EXPECT_EQ(pawnEndingScale("8/p7/P3k3/8/4K3/8/8/8 b - -"), 60);
  // A king without a free step: seven eighths of a ply more.
  EXPECT_EQ(probeFen("k7/2P4p/1K6/8/8/8/8/8 b - -", -10, 10, 40, 2).depthChange, 9);
  EXPECT_FALSE(probeFen("k7/2P4p/1K6/8/8/8/8/8 b - -", -10, 10).cut);
}

// Random legal placements of a material signature ("KRPvKR": white king,
// rook and pawn against black king and rook), pawns on ranks 2-7.
std::vector<Position> placements(const std::string& signature, int wanted, std::mt19937& rng) {
  std::vector<Position> out;
  const std::string::size_type v = signature.find('v');
  for (int tries = 0; tries < wanted * 20 && int(out.size()) < wanted; ++tries) {
    char board[64];
    for (char& c : board) c = '.';
    bool ok = true;
    for (std::string::size_type i = 0; i < signature.size() && ok; ++i) {
      if (i == v) continue;
      char c = signature[i];
      if (i > v) c = char(c - 'A' + 'a');
      const bool pawn = c == 'P' || c == 'p';
      int square = 0;
      do square = int(rng() % 64);
      while (board[square] != '.' || (pawn && (rowOf(square) == 0 || rowOf(square) == 7)));
      board[square] = c;
    }
    std::string fen = testsupport::placementText(board);
    fen += rng() % 2 ? " w - -" : " b - -";
    Position p;
    if (p.setFen(fen.c_str())) out.push_back(p);
  }
  return out;
}

// Every answer of the knowledge object for a position, side to move's view
// where the interface is.
struct Answers {
  int evaluation;
  bool forSideExact;
  int forSide;
  bool cut[4];
  int cutScore[4];
  short depthChange[4];
};

Answers answersFor(const Position& p) {
  Evaluator evaluator;
  Answers a{};
  a.evaluation = evaluator.evaluate(p);
  const EndgameEvaluator* e = evaluator.endgameEvaluator();
  a.forSide = 0;
  a.forSideExact = e->evaluateForSide(p, &a.forSide);
  if (!a.forSideExact) a.forSide = 0;
  const int windows[4][2] = {{-1, 1}, {0, 1}, {-20000, -9000}, {5000, 20000}};
  for (int i = 0; i < 4; ++i) {
    a.depthChange[i] = 3;
    a.cutScore[i] = 0;
    a.cut[i] = e->probe(p, &a.cutScore[i], windows[i][0], windows[i][1], 40 + i * 3, &a.depthChange[i]);
    if (!a.cut[i]) a.cutScore[i] = 0;
  }
  return a;
}

TEST(EndgameKnowledge, ColourMirroredPositionsGetTheSameAnswers) {
  // At least one signature per knowledge class; the mirrored copy covers
  // each class's colour twin.
  const char* const signatures[] = {
      "KvK",      "KNvK",     "KBvKN",    "KNNvK",    "KPvK",     "KRvK",     "KQvK",     "KRvKR",
      "KQvKQ",    "KQvKR",    "KPvKN",    "KPvKB",    "KRvKN",    "KRvKB",    "KBPvK",    "KNPvK",
      "KBPvKP",   "KBPPvKP",  "KBNvK",    "KRNvKR",   "KRBvKR",   "KNNvKB",   "KBNvKN",   "KNBvKR",
      "KBBvKR",   "KQNvKQ",   "KQBvKQ",   "KRvKNP",   "KRvKBP",   "KRPvKR",   "KRNvKRP",  "KRBvKRP",
      "KNNvKP",   "KPPvKP",   "KPPPvKPP", "KPvKPP",   "KBPPvKBP", "KBPvKB",   "KNPPvKNP", "KQPvKQP",
      "KBPPvKNP", "KNPvKBPP", "KRPPvK",   "KRvKPP",   "KNvKPPP",  "KBPvKNP",
  };
  std::mt19937 rng(20261210);
  for (const char* signature : signatures) {
    const std::vector<Position> positions = placements(signature, 60, rng);
    ASSERT_GT(positions.size(), 10u) << signature;
    for (const Position& p : positions) {
      Position m;
      m.setMirrored(p);
      char fen[96];
      p.toFen(fen);
      const Answers a = answersFor(p), b = answersFor(m);
      EXPECT_EQ(a.evaluation, b.evaluation) << signature << " " << fen;
      EXPECT_EQ(a.forSideExact, b.forSideExact) << signature << " " << fen;
      EXPECT_EQ(a.forSide, b.forSide) << signature << " " << fen;
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.cut[i], b.cut[i]) << signature << " window " << i << " " << fen;
        EXPECT_EQ(a.cutScore[i], b.cutScore[i]) << signature << " window " << i << " " << fen;
        EXPECT_EQ(a.depthChange[i], b.depthChange[i]) << signature << " window " << i << " " << fen;
      }
    }
  }
}

}  // namespace
