// The material score: classical formula, network values and the blend.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "board/position.h"
#include "eval/evaluator.h"
#include "eval/material_hash.h"
#include "eval/material_net.h"

namespace {

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

// Material score of the position as the evaluator stores it.
int materialOf(Evaluator& ev, const char* fen) {
  ev.evaluate(fromFen(fen));
  return ev.lastMaterialScore();
}

TEST(MaterialScore, EqualCountsScoreZeroWhateverTheBishops) {
  Evaluator ev;
  for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                          "4k3/p7/8/2b5/8/8/P4B2/4K3 w - -",     // opposite-coloured bishops
                          "4k3/p7/8/3b4/8/8/P4B2/4K3 w - -",     // same colour
                          "4k3/8/8/8/8/8/8/4K3 w - -"})
    EXPECT_EQ(materialOf(ev, fen), 0) << fen;
}

TEST(MaterialScore, ClassicalFormula) {
  Evaluator ev;
  ev.setNeuroMaterial(0);
  // An extra knight: the difference plus its trade-down bonus only.
  const int W = 8000 + 2 * 3400, B = 8000 + 3400;
  EXPECT_EQ(materialOf(ev, "1n2k3/pppppppp/8/8/8/8/PPPPPPPP/1N2K1N1 w - -"), 3400 + 128 * 3400 / (W + B + 100));
  // Bishop pairs: +49 for white's; two each cancel.
  EXPECT_EQ(materialOf(ev, "4k3/8/8/8/8/8/8/2B1KB2 w - -"), 7000 + 128 * 7000 / 7100 + 49);
  EXPECT_EQ(materialOf(ev, "2b1kb2/8/8/8/8/8/8/2BBKB2 w - -"), 3500 + 128 * 3500 / (17500 + 100));
  // A black surplus truncates toward zero like a white one.
  EXPECT_EQ(materialOf(ev, "4k3/8/8/8/8/8/8/1n2K3 w - -"), -(3400 + 128 * 3400 / 3500));
}

// Sides with chosen counts and material values, for totals that no real
// position reaches exactly.
struct Sides {
  SideState white, black;
  Sides(int whitePawns, int whiteMaterial, int blackPawns, int blackMaterial) {
    const Position p;
    white = p.white;
    black = p.black;
    white.counts[Pawn] = int8_t(whitePawns);
    black.counts[Pawn] = int8_t(blackPawns);
    white.material = whiteMaterial;
    black.material = blackMaterial;
  }
};

TEST(MaterialScore, PawnCountTermFadesWithTheTotal) {
  // 8 pawns against 7: d = -175 - (-225) = 50 in full up to 28000.
  struct Case {
    int total;
    int term;
  };
  const Case cases[] = {
      {28000, 50},   // in full
      {28001, 0},    // nothing just above
      {28063, 0},
      {28064, 0},    // 50 * 1 / 256
      {33184, 15},   // 50 * 81 / 256
      {44383, 49},   // 50 * 255 / 256
      {44384, 0},    // absent
  };
  for (const Case& c : cases) {
    const int W = c.total / 2 + 500, B = c.total - W;
    const Sides s(8, W, 7, B);
    const int base = (W - B) + (128 * (W - B)) / (W + B + 100);
    EXPECT_EQ(classicalMaterial(s.white, s.black) - base, c.term) << c.total;
    const Sides mirrored(7, B, 8, W);
    EXPECT_EQ(classicalMaterial(mirrored.white, mirrored.black), -classicalMaterial(s.white, s.black)) << c.total;
  }
  // The table itself, one side against no pawns.
  const int table[9] = {0, 56, 62, 8, -62, -139, -197, -225, -175};
  for (int n = 1; n <= 8; ++n) {
    const Sides s(n, 20000, 0, 8000);
    EXPECT_EQ(classicalMaterial(s.white, s.black) - (12000 + 128 * 12000 / 28100), table[n]) << n;
  }
}

TEST(MaterialScore, NetworkOutputsAreLimitedBeforeTheLogarithm) {
  const int atLow = expectedResultToMilliPawns(0.02);
  const int atHigh = expectedResultToMilliPawns(0.98);
  EXPECT_EQ(atLow, -6146);  // -400 log10(49) * 1000 / 110
  EXPECT_EQ(atHigh, 6146);
  EXPECT_EQ(expectedResultToMilliPawns(0.5), 0);
  EXPECT_EQ(expectedResultToMilliPawns(0.75), int(-400.0L * std::log10(1.0L / 3.0L) * 1000.0L / 110.0L));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double p;
    int expected;
  };
  const Case cases[] = {{0.019, atLow}, {-3.0, atLow}, {-inf, atLow}, {0.981, atHigh}, {1.362, atHigh},
                        {inf, atHigh},  {nan, 0}};
  for (const Case& c : cases) EXPECT_EQ(expectedResultToMilliPawns(c.p), c.expected) << c.p;
}

TEST(MaterialScore, BlendShareFallsWithTheAverage) {
  struct Case {
    int m, v, neuroMaterial, neuroWidth;
    int expected;
  };
  const Case cases[] = {
      {1000, -1000, 40, 500, 200},    // average 0: 40 % network
      {4000, 6000, 40, 500, 4400},    // average 5 pawns: 20 %
      {-4000, -6000, 40, 500, -4400}, // the same for black, truncated toward zero
      {3000, 5000, 0, 500, 3000},     // no share
      {1000, -1000, 250, 500, -1000}, // a share above 1 is held at 1
      {1000, -1000, 40, 0, 200},      // zero width and zero average: the full share
      {3000, 5000, 40, 0, 3000},      // zero width elsewhere: no share
  };
  for (const Case& c : cases) {
    EXPECT_EQ(blendMaterial(c.m, c.v, c.neuroMaterial, c.neuroWidth), c.expected)
        << c.m << " " << c.v << " " << c.neuroMaterial << " " << c.neuroWidth;
  }
  // The full share scaled by u^2 / (u^2 + w^2), here u = 5 and w = 4.
  const double k100 = 25.0 / (25.0 + 16.0);
  EXPECT_EQ(blendMaterial(3000, 5000, 100, 500), int(k100 * 5000 + (1 - k100) * 3000));
  // Widths below 100 work in fractions of a pawn, never dividing 0 by 0.
  for (int width : {1, 50, 99}) {
    const double u = width / 100.0, w = (3000 + 5000) / 2000.0;
    const double k = (40 * u * u / 100) / (u * u + w * w);
    EXPECT_EQ(blendMaterial(3000, 5000, 40, width), int(k * 5000 + (1 - k) * 3000)) << width;
    EXPECT_GE(blendMaterial(3000, 5000, 40, width), 3000) << width;
  }
}

TEST(MaterialScore, EvaluatorBlendsTheNetworkValue) {
  Evaluator ev;
  MaterialNet net;
  for (const char* fen : {"4k3/pppppppp/8/8/8/8/PPPPPPPP/1N2K1N1 w - -", "4k3/pppp4/8/8/8/8/PPP5/3QK3 w - -",
                          "2b1k3/pp6/8/8/8/8/8/2B1K3 b - -", "2b1k3/pp6/8/8/8/8/8/3BK3 b - -"}) {
    const Position p = fromFen(fen);
    ev.evaluate(p);
    const int relation = bishopRelation(p.bishopColours());
    const int expected = blendMaterial(classicalMaterial(p.white, p.black),
                                       neuralMaterial(net, p.white, p.black, relation), 40, 500);
    EXPECT_EQ(ev.lastMaterialScore(), expected) << fen;
  }
  // The network value for white, from both sides' expected results.
  const Position p = fromFen("4k3/pppp4/8/8/8/8/PPP5/3QK3 w - -");
  const double own = net.evaluate(1, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0);
  const double other = net.evaluate(0, 0, 0, 0, 4, 1, 0, 0, 0, 3, 0);
  EXPECT_EQ(neuralMaterial(net, p.white, p.black, 0),
            (expectedResultToMilliPawns(own) - expectedResultToMilliPawns(other)) / 2);
}

TEST(MaterialScore, BishopRelationAndSignature) {
  EXPECT_EQ(bishopRelation(0), 0);
  EXPECT_EQ(bishopRelation(1), -1);
  EXPECT_EQ(bishopRelation(2), 1);
  EXPECT_EQ(bishopRelation(3), 0);
  const Position opposite = fromFen("2b1k3/8/8/8/8/8/8/2B1K3 w - -");
  const Position same = fromFen("2b1k3/8/8/8/8/8/8/3BK3 w - -");
  ASSERT_EQ(opposite.bishopColours(), 1);
  ASSERT_EQ(same.bishopColours(), 2);
  EXPECT_EQ(materialSignature(opposite, -1) ^ materialSignature(same, 1),
            BishopRelationKeys[0] ^ BishopRelationKeys[2]);
  Evaluator ev;
  ev.evaluate(opposite);
  const uint32_t key = materialSignature(opposite, -1);
  const MaterialHashEntry& slot = ev.materialHashSlot(int(key & (Evaluator::MaterialHashSize - 1)));
  EXPECT_EQ(slot.key, key);
  EXPECT_EQ(slot.score, ev.lastMaterialScore());
  EXPECT_EQ(slot.evaluator, ev.endgameEvaluator());
}

}  // namespace
