#include <gtest/gtest.h>

#include <algorithm>

#include "board/attack_tables.h"

namespace {

int sq(const char* name) { return squareFromText(name); }

int probe(bool strongToMove, const char* strongKing, const char* weakKing, const char* pawn) {
  return KpkBitbase::probe(attackTables, strongToMove, sq(strongKing), sq(weakKing), sq(pawn));
}

struct KpkCase {
  const char* strongKing;
  const char* weakKing;
  const char* pawn;
  bool strongToMove;
  int expected;
};

TEST(KpkBitbase, KnownDistancesAndDraws) {
  const KpkCase cases[] = {
      {"e6", "e8", "e5", true, 9},   {"e6", "e8", "e5", false, 8},  {"e4", "e6", "e3", true, -1},
      {"e4", "e6", "e3", false, 20}, {"f7", "h8", "g6", true, 3},   {"b6", "b8", "a5", true, -1},
      {"e1", "e8", "e2", true, 27},  {"a5", "a3", "a2", true, -1},  {"c1", "h8", "a7", true, 1},
  };
  for (const KpkCase& c : cases)
    EXPECT_EQ(probe(c.strongToMove, c.strongKing, c.weakKing, c.pawn), c.expected)
        << c.strongKing << " " << c.weakKing << " " << c.pawn << (c.strongToMove ? " strong" : " weak") << " to move";
}

TEST(KpkBitbase, ImpossiblePlacementsAndTheTakenPawn) {
  EXPECT_EQ(probe(true, "e4", "e5", "a2"), 127);   // kings side by side
  EXPECT_EQ(probe(false, "c3", "c3", "a2"), 127);  // kings on one square
  EXPECT_EQ(probe(true, "a2", "h8", "a2"), 127);   // strong king on the pawn
  EXPECT_EQ(probe(true, "h1", "b4", "b4"), -1);    // the weak king has just taken the pawn
  EXPECT_EQ(probe(false, "h1", "b4", "b4"), 127);
  EXPECT_EQ(probe(true, "h1", "c5", "b4"), 127);   // weak king in check, strong side to move
}

TEST(KpkBitbase, StalematedWeakKingIsADraw) {
  // The pawn takes b8 from the king on a8, the king on b6 guards a7 and b7.
  EXPECT_EQ(probe(false, "b6", "a8", "a7"), -1);
  // The king on f7 takes g8 and g7 from the king on h8, the pawn on g6 takes h7.
  EXPECT_EQ(probe(false, "f7", "h8", "g6"), -1);
}

TEST(KpkBitbase, FilesEToHMirrorFilesAToD) {
  for (int pawn = 8; pawn < 56; ++pawn) {
    if (fileOf(pawn) < 4) continue;
    for (int w = 0; w < 64; w += 3)
      for (int s = 1; s < 64; s += 5)
        for (int stm = 0; stm < 2; ++stm)
          ASSERT_EQ(KpkBitbase::probe(attackTables, uint8_t(stm), s, w, pawn),
                    KpkBitbase::probe(attackTables, uint8_t(stm), s ^ 7, w ^ 7, pawn ^ 7));
  }
}

TEST(KpkBitbase, EveryStoredValueIsFinalAndTheLongestWinIs38) {
  int longest = 0;
  for (int pawn = 8; pawn < 56; ++pawn)
    for (int w = 0; w < 64; ++w)
      for (int s = 0; s < 64; ++s)
        for (int stm = 0; stm < 2; ++stm) {
          const int r = KpkBitbase::probe(attackTables, uint8_t(stm), s, w, pawn);
          ASSERT_NE(r, 0);
          ASSERT_NE(r, 126);
          if (r != 127) longest = std::max(longest, r);
        }
  EXPECT_EQ(longest, 38);
}

TEST(KpkBitbase, PawnOnTheFirstOrLastRankIsNeverLookedUp) {
  EXPECT_EQ(probe(true, "e1", "e8", "a8"), 127);
  EXPECT_EQ(probe(false, "e1", "e6", "h1"), 127);
  EXPECT_EQ(KpkBitbase::isWin(127), false);
  EXPECT_EQ(KpkBitbase::isWin(-1), false);
  EXPECT_EQ(KpkBitbase::isWin(38), true);
}

}  // namespace
