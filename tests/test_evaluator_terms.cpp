// The bitboard terms: mop-up, flood distance, shelters, piece terms, endgame
// king terms and the pawn square-table rule with its dump tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/eval_tables.h"
#include "eval/evaluator.h"
#include "eval/pst_dump.h"

namespace {

Bitboard squares(std::initializer_list<const char*> names) {
  Bitboard b = 0;
  for (const char* n : names) b |= squareBit(squareFromText(n));
  return b;
}

// An evaluator that has evaluated one position, so that its terms can be
// asked about that position.
struct Evaluated {
  explicit Evaluated(const char* fen) {
    EXPECT_NE(position.setFen(fen), nullptr) << fen;
    evaluator.evaluate(position);
  }
  Position position;
  Evaluator evaluator;
};

TEST(MopUpScore, WeakKingToTheEdgeStrongKingClose) {
  struct Case {
    const char* fen;  // white strong, black weak
    int base, expected;
  };
  const Case cases[] = {
      {"k7/8/2K5/8/8/8/8/7R w - -", 0, 62 * 6 + 21 * 3 - 42 * 4 - 16 * 2},  // 235
      {"k7/8/2K5/8/8/8/8/7R w - -", 333, 333 + 235},
      {"8/8/8/8/4k3/8/8/K6R w - -", 0, -42 * 7 - 16 * 4},  // weak king in the centre
      {"8/8/8/1k6/8/8/8/K6R w - -", 100, 100 + 62 * 2 + 21 * 2 - 42 * 5 - 16 * 4},
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(mopUpScore(c.base, p.white, p.black), c.expected) << c.fen;
  }
}

TEST(FloodDistance, CountsKingStepFloods) {
  const Bitboard a1 = squares({"a1"}), h8 = squares({"h8"});
  EXPECT_EQ(floodDistance(a1 | h8, h8, ~Bitboard(0)), 0);
  EXPECT_EQ(floodDistance(a1, h8, ~Bitboard(0)), 7);
  EXPECT_EQ(floodDistance(a1, squares({"c3"}), ~Bitboard(0)), 2);
  // A wall on the third rank: never met, 8.
  EXPECT_EQ(floodDistance(a1, h8, ~rowMask(5)), 8);
  // Through a wall with one gap at h3: seven steps to the gap, too far beyond it.
  const Bitboard gapped = ~(rowMask(5) & ~squares({"h3"}));
  EXPECT_EQ(floodDistance(a1, squares({"h3"}), gapped), 7);
  EXPECT_EQ(floodDistance(a1, squares({"a5"}), gapped), 8);
}

TEST(Shelter, KingFileShelter) {
  struct Case {
    const char* fen;
    int white;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/5PP1/6K1 w - -", 0},     // pawn in front and beside
      {"4k3/8/8/8/8/8/6P1/6K1 w - -", -7},     // in front, none beside
      {"4k3/8/8/8/8/6P1/5P2/6K1 w - -", -2},   // one further on, defended from f2
      {"4k3/8/8/8/8/6P1/7P/6K1 w - -", -2},    // defended from h2
      {"4k3/8/8/8/8/6P1/8/6K1 w - -", -24},    // undefended, none beside
      {"4k3/8/8/8/8/8/8/6K1 w - -", -24},      // nothing
      {"4k3/8/8/8/8/7P/7P/K7 w - -", -24},     // h-pawns do not wrap to an a1 king
      {"4k3/8/8/8/8/8/6PP/7K w - -", 0},       // h1: h2 ahead, g2 beside
      {"K3k3/8/8/8/8/8/8/8 w - -", -24},       // on the last rank nothing is ahead
  };
  for (const Case& c : cases) {
    Evaluated e(c.fen);
    const Position& p = e.position;
    EXPECT_EQ(e.evaluator.whiteShelter(p.white.pieces[King]), c.white) << c.fen;
    Position mirrored;
    mirrored.setMirrored(p);
    Evaluator other;
    other.evaluate(mirrored);
    EXPECT_EQ(other.blackShelter(mirrored.black.pieces[King]), c.white) << c.fen << " mirrored";
  }
}

TEST(Shelter, CastlingRightsBlendTheCastledShelter) {
  // Present shelter on e1: nothing on e2 or e3, f2 beside: -17. Castled
  // shelters g2 and c2: 0. Divisions truncate toward zero.
  struct Case {
    const char* fen;
    int shortValue, longValue, bothValue;
  };
  const Case cases[] = {
      // Both castling paths empty and unattacked.
      {"4k3/8/8/8/8/8/PPP2PPP/R3K2R w KQ -", (37 * 0 + 5 * 17) / 32, (28 * 0 - 4 * 17) / 32, (41 * 0 + 9 * 17) / 32},
      // Pieces on both paths.
      {"4k3/8/8/8/8/8/PPP2PPP/RN2KB1R w KQ -", (36 * 0 + 4 * 17) / 32, (22 * 0 - 10 * 17) / 32,
       (39 * 0 + 7 * 17) / 32},
      // Short shelter -2 from a defended g3 pawn; the long side is better.
      {"4k3/8/8/8/8/6P1/PPP2P1P/R3K2R w KQ -", (37 * -2 + 5 * 17) / 32, (28 * 0 - 4 * 17) / 32,
       (25 * 0 - 7 * 17) / 32},
      {"4k3/8/8/8/8/6P1/PPP2P1P/RN2KB1R w KQ -", (36 * -2 + 4 * 17) / 32, (22 * 0 - 10 * 17) / 32,
       (19 * 0 - 13 * 17) / 32},
  };
  for (const Case& c : cases) {
    Evaluated e(c.fen);
    EXPECT_EQ(e.evaluator.whiteShelter(e.position.white.pieces[King]), -17);
    EXPECT_EQ(e.evaluator.whiteShelterShort(), c.shortValue) << c.fen;
    EXPECT_EQ(e.evaluator.whiteShelterLong(), c.longValue) << c.fen;
    EXPECT_EQ(e.evaluator.whiteShelterBoth(), c.bothValue) << c.fen;
    Position mirrored;
    mirrored.setMirrored(e.position);
    Evaluator other;
    other.evaluate(mirrored);
    EXPECT_EQ(other.blackShelterShort(), c.shortValue) << c.fen << " mirrored";
    EXPECT_EQ(other.blackShelterLong(), c.longValue) << c.fen << " mirrored";
    EXPECT_EQ(other.blackShelterBoth(), c.bothValue) << c.fen << " mirrored";
  }
  // Truncation toward zero where an arithmetic shift would round down.
  EXPECT_EQ((28 * 0 - 4 * 17) / 32, -2);
  EXPECT_EQ((36 * -2 + 4 * 17) / 32, 0);
  // A castled shelter no better than the present one keeps the present one.
  Evaluated same("4k3/8/8/8/8/8/PPPPPPPP/R3K2R w KQ -");
  EXPECT_EQ(same.evaluator.whiteShelterShort(), 0);
  EXPECT_EQ(same.evaluator.whiteShelterLong(), 0);
  EXPECT_EQ(same.evaluator.whiteShelterBoth(), 0);
  // The long side better than the short side: the long blend.
  Evaluated longer("4k3/8/8/8/8/8/PPP5/R3K2R w KQ -");
  const int present = -24, longShelter = 0;
  EXPECT_EQ(longer.evaluator.whiteShelterBoth(), (25 * longShelter + 7 * present) / 32);
}

struct PieceTermCase {
  const char* what;
  const char* fen;
  int mg, eg;
};

const PieceTermCase kPieceTerms[] = {
    // Bishop a7 behind a black b6 pawn that c7 defends.
    {"trapped bishop", "6k1/B1p5/1p6/8/8/8/8/6K1 w - -", -980, -980},
    // Without the defender b6 hangs instead.
    {"hanging pawn", "6k1/B7/1p6/8/8/8/8/6K1 w - -", 68, 68},
    // A king in check counts among the men attacked and not defended.
    {"king in check", "R6k/8/8/8/8/8/8/6K1 b - -", 68, 68},
    // Bishop a1 shut in by b2 with b3 occupied, and not developed.
    {"shut-in bishop", "6k1/8/8/8/8/1N6/1P6/B5K1 w - -", -77 - 575 - 72, -77 - 575},
    // Start position: everything cancels.
    {"start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 0, 0},
};

TEST(PieceTerms, WorkedPositions) {
  for (const PieceTermCase& c : kPieceTerms) {
    Evaluated e(c.fen);
    int mg = 0, eg = 0;
    e.evaluator.pieceTerms(&mg, &eg, true, true);
    EXPECT_EQ(mg, c.mg) << c.what;
    EXPECT_EQ(eg, c.eg) << c.what;
    Position mirrored;
    mirrored.setMirrored(e.position);
    Evaluator other;
    other.evaluate(mirrored);
    mg = eg = 0;
    other.pieceTerms(&mg, &eg, true, true);
    EXPECT_EQ(mg, -c.mg) << c.what << " mirrored";
    EXPECT_EQ(eg, -c.eg) << c.what << " mirrored";
  }
}

TEST(EndgameKingTerms, BareKings) {
  // Centralisation 22 x 6, room of the kings 3 x (24 - 8), no pawns.
  Evaluated e("k7/8/8/8/4K3/8/8/8 w - -");
  EXPECT_EQ(e.evaluator.endgameKingTerms(), 22 * 6 + 3 * (24 - 8));
  Position mirrored;
  mirrored.setMirrored(e.position);
  Evaluator other;
  other.evaluate(mirrored);
  EXPECT_EQ(other.endgameKingTerms(), -(22 * 6 + 3 * (24 - 8)));
}

TEST(PawnSquareRule, ValuesAndTables) {
  using evaltables::PawnMgParams;
  EXPECT_EQ(evaltables::pstValue(PawnMgParams, squareFromText("a2")), -179);
  EXPECT_EQ(evaltables::pstValue(PawnMgParams, squareFromText("d7")), 423);
  EXPECT_EQ(evaltables::PawnSquareMg[squareFromText("e2")], -115);
  EXPECT_EQ(evaltables::PassedSquareEg[squareFromText("e2")], 9);
  for (PstSet set : {PstSet::PawnMg, PstSet::PawnEg, PstSet::PassedMg, PstSet::PassedEg}) {
    const evaltables::SquareTable table = evaltables::pstTable(pstParams(set));
    for (int s = 0; s < 64; ++s) {
      const bool edgeRank = rankOf(s) == 1 || rankOf(s) == 8;
      EXPECT_EQ(table[s], edgeRank ? 0 : pstValue(set, s)) << s;
      EXPECT_EQ(table[s], table[s ^ 7]) << s;  // files fold
    }
  }
  // The rule itself runs on every rank: r = 5 on rank 8 (d8: -57 + 150 + 562.5).
  EXPECT_EQ(pstValue(PstSet::PawnMg, squareFromText("d8")), 655);
  EXPECT_EQ(pstValue(PstSet::PawnMg, squareFromText("d1")), -57 - 60 + 90);
}

TEST(PawnSquareRule, DumpAppendsSourceText) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  std::string dir = ::testing::TempDir() + "brakken_pst_dump_XXXXXX";
  ASSERT_NE(mkdtemp(&dir[0]), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const bool ok = dumpPstTables() && dumpPstTable(evaltables::PawnMgParams);
  std::ifstream in(PstDumpFile);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(PstDumpFile);
  ASSERT_EQ(chdir(previous), 0);
  rmdir(dir.c_str());
  ASSERT_TRUE(ok);

  std::string expectedFirst = "{\n";
  const evaltables::SquareTable first = evaltables::PawnSquareMg;
  for (int s = 0; s < 64; ++s) {
    char cell[16];
    std::snprintf(cell, sizeof cell, "%4d,", first[s]);
    expectedFirst += cell;
    if (s % 8 == 7) expectedFirst += "\n";
  }
  expectedFirst += "};\n\n";
  const std::string all = text.str();
  ASSERT_GE(all.size(), expectedFirst.size());
  EXPECT_EQ(all.substr(0, expectedFirst.size()), expectedFirst);
  EXPECT_EQ(all.substr(all.size() - expectedFirst.size()), expectedFirst);  // appended, not rewritten
  size_t blocks = 0;
  for (size_t at = all.find("{\n"); at != std::string::npos; at = all.find("{\n", at + 1)) ++blocks;
  EXPECT_EQ(blocks, 5u);
}

}  // namespace
