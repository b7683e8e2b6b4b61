// The pawn structure and the pawn-hash entry.
#include <gtest/gtest.h>

#include <initializer_list>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/evaluator.h"
#include "eval/pawn_hash.h"

namespace {

Bitboard squares(std::initializer_list<const char*> names) {
  Bitboard b = 0;
  for (const char* n : names) b |= squareBit(squareFromText(n));
  return b;
}

Bitboard files(std::initializer_list<int> list) {
  Bitboard b = 0;
  for (int f : list) b |= fileMask(f);
  return b;
}

class PawnStructureTest : public ::testing::Test {
 protected:
  const PawnHashEntry& entryOf(const char* fen) {
    EXPECT_NE(position_.setFen(fen), nullptr) << fen;
    evaluator_.evaluate(position_);
    return evaluator_.pawnEntry();
  }

  Position position_;
  Evaluator evaluator_;
};

struct StructureCase {
  const char* what;
  const char* fen;
  int mg, eg;
};

const StructureCase kStructures[] = {
    // Square tables, isolated pawn, defended and undefended tables, passed tables
    // (queens keep the king-and-pawn knowledge, which needs no pawn entry, away).
    {"lone pawn e2", "3qk3/8/8/8/8/8/4P3/3QK3 w - -", -225, -137},
    // All three backward; black pays twice for c6; the b-d majority is white's.
    {"b5 and d5 against c7", "4k3/2p5/8/1P1P4/8/8/8/4K3 w - -", -9, -247},
    {"doubled and isolated", "4k3/8/8/8/8/4P3/4P3/K7 w - -", -550, -492},
    {"tripled", "4k3/8/8/8/4P3/4P3/4P3/K7 w - -", -1086, -1119},
    {"centre pair", "4k3/8/8/8/3PP3/8/8/K7 w - -", 69, -66},
};

TEST_F(PawnStructureTest, WorkedExamplesAndTheirMirrors) {
  for (const StructureCase& c : kStructures) {
    const PawnHashEntry& e = entryOf(c.fen);
    EXPECT_EQ(e.mg, c.mg) << c.what;
    EXPECT_EQ(e.eg, c.eg) << c.what;
    const Position original = position_;
    Position mirrored;
    mirrored.setMirrored(original);
    evaluator_.evaluate(mirrored);
    EXPECT_EQ(evaluator_.pawnEntry().mg, -c.mg) << c.what << " mirrored";
    EXPECT_EQ(evaluator_.pawnEntry().eg, -c.eg) << c.what << " mirrored";
  }
}

TEST_F(PawnStructureTest, SquareSetsOfTheEntry) {
  const PawnHashEntry& e = entryOf("4k3/2p5/8/1P1P4/8/8/8/4K3 w - -");
  EXPECT_EQ(e.key, position_.pawnKey);
  EXPECT_EQ(e.backwardPawns, squares({"b5", "d5", "c7"}));
  EXPECT_EQ(e.passedPawns, 0u);
  EXPECT_EQ(e.whiteFrontSpan, squares({"b6", "b7", "b8", "d6", "d7", "d8"}));
  EXPECT_EQ(e.blackFrontSpan, squares({"c6", "c5", "c4", "c3", "c2", "c1"}));
  EXPECT_EQ(e.openFiles, files({0, 4, 5, 6, 7}));
  EXPECT_EQ(e.openFileCount, 5);

  // Passed pawns: the foremost of each file enters the set, every square
  // of its file the passed files; the rear pawn's square is in the span.
  const PawnHashEntry& p = entryOf("4k3/5p2/8/8/P7/8/P6p/4K3 w - -");
  EXPECT_EQ(p.passedPawns, squares({"a4", "f7", "h2"}));
  EXPECT_EQ(p.whitePassedFiles, files({0}));
  EXPECT_EQ(p.blackPassedFiles, files({5, 7}));
  EXPECT_EQ(p.whiteFrontSpan, squares({"a3", "a4", "a5", "a6", "a7", "a8"}));
  EXPECT_EQ(p.blackFrontSpan, squares({"f6", "f5", "f4", "f3", "f2", "f1", "h1"}));
  EXPECT_EQ(p.openFileCount, 5);
}

TEST_F(PawnStructureTest, PositionsWithoutPawnsUseTheZeroEntry) {
  const PawnHashEntry& e = entryOf("7k/8/8/8/8/8/1R6/RK6 w - -");
  const PawnHashEntry zero{};
  EXPECT_EQ(e.key, zero.key);
  EXPECT_EQ(e.mg, 0);
  EXPECT_EQ(e.eg, 0);
  EXPECT_EQ(e.openFileCount, 0);
  EXPECT_EQ(e.openFiles | e.passedPawns | e.backwardPawns | e.whiteFrontSpan | e.whiteBarrierRegion, 0u);
  for (int i = 0; i < Evaluator::PawnHashSize; ++i) EXPECT_EQ(evaluator_.pawnHashSlot(i).key, 0u);
}

TEST_F(PawnStructureTest, HashReplacesOnAMiss) {
  const PawnHashEntry& first = entryOf("3qk3/8/8/8/8/8/4P3/3QK3 w - -");
  const PawnHashEntry* slot = &first;
  const int mg = first.mg;
  // The same pawns with other pieces hit the stored entry.
  EXPECT_EQ(&entryOf("4k3/8/8/8/8/8/4P3/R3K3 w - -"), slot);
  EXPECT_EQ(slot->mg, mg);
  // Clearing the entry field by field leaves nothing behind.
  PawnHashEntry copy = *slot;
  clearPawnHashEntry(copy);
  EXPECT_EQ(copy.key | copy.openFiles | copy.passedPawns | copy.blackBarrierRegion, 0u);
  EXPECT_EQ(copy.mg | copy.eg | copy.openFileCount, 0);
}

TEST(BarrierRegion, FloodsAroundTheBarrier) {
  EXPECT_EQ(barrierRegion(0, 7), 0u);
  // A full wall on rank 4 shuts both floods in: they never meet.
  EXPECT_EQ(barrierRegion(rowMask(4), 7), 0u);
  // A wall with a gap on d4: closed to the first flood, open to the second.
  const Bitboard gapped = rowMask(4) & ~squares({"d4"});
  const Bitboard expected = rowMask(0) | rowMask(1) | rowMask(2) | squares({"b5", "c5", "d5", "e5", "f5", "g5", "d4"});
  EXPECT_EQ(barrierRegion(gapped, 7), expected);
  // Black's side of the same picture, mirrored.
  EXPECT_EQ(barrierRegion(flipVertical(gapped), 0), flipVertical(expected));
  // A short wall: the first flood goes round it to rank 1.
  EXPECT_EQ(barrierRegion(squares({"c4", "d4", "e4"}), 7), 0u);
}

TEST_F(PawnStructureTest, BarriersOfALockedChain) {
  // White d4, e5, f4 against black d5, e6, f5: every white pawn a kept ram.
  const PawnHashEntry& e = entryOf("k7/8/4p3/3pPp2/3P1P2/8/8/7K w - -");
  EXPECT_EQ(e.backwardPawns, squares({"d4", "f4", "e6"}));
  // White: the rams, the backward pawns and the squares the blockers attack.
  const Bitboard whiteBarrier = squares({"d4", "e5", "f4", "c4", "e4", "d5", "f5", "g4"});
  // Black: the blockers, the backward pawns and the squares the rams attack.
  const Bitboard blackBarrier = squares({"d5", "e6", "f5", "c5", "e5", "d6", "f6", "g5"});
  EXPECT_EQ(e.whiteBarrierRegion, barrierRegion(whiteBarrier, 7));
  EXPECT_EQ(e.blackBarrierRegion, barrierRegion(blackBarrier, 0));
  EXPECT_NE(e.whiteBarrierRegion, 0u);
  EXPECT_NE(e.blackBarrierRegion, 0u);
}

}  // namespace
