#include "eval/endgame_table.h"

#include <gtest/gtest.h>

#include <string>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/evaluator.h"
#include "support/material_positions.h"

namespace {

// The class held in each slot, in table order.
const char* const kSlotClass[EndgameTable::kSlots] = {
    "DefaultEndgameEvaluator", "DrawEvaluator",         "KNNvKEvaluator",       "KPvKEvaluator",
    "KvKPEvaluator",           "KXvKEvaluator",         "KvKXEvaluator",        "KXvKXEvaluator",
    "KQvKREvaluator",          "KRvKQEvaluator",        "KPvKMEvaluator",       "KMvKPEvaluator",
    "KRvKMEvaluator",          "KMvKREvaluator",        "KvKMPEvaluator",       "KMPvKEvaluator",
    "KBNvKEvaluator",          "KvKBNEvaluator",        "KRMvKREvaluator",      "KRvKRMEvaluator",
    "KMMvKMEvaluator",         "KMvKMMEvaluator",       "KMMvKREvaluator",      "KRvKMMEvaluator",
    "KQMvKQEvaluator",         "KQvKQMEvaluator",       "KRvKMPEvaluator",      "KMPvKREvaluator",
    "KRPvKREvaluator",         "KRvKRPEvaluator",       "KRMvKRPEvaluator",     "KRPvKRMEvaluator",
    "KNNvKPEvaluator",         "PawnEndingEvaluator",   "BishopEndingEvaluator", "KnightEndingEvaluator",
    "QueenEndingEvaluator",    "BishopKnightEndingEvaluator", "OneSidedPawnsEvaluator",
};

class EndgameTableTest : public ::testing::Test {
 protected:
  void SetUp() override { createEndgameTable(table_); }
  void TearDown() override { destroyEndgameTable(table_); }

  // The class name of the object picked for a material signature.
  std::string pickFor(const std::string& signature) {
    Position p;
    if (!testsupport::setMaterial(p, signature)) return "refused set-up";
    const int slot = table_->slotOf(selectEndgameEvaluator(*table_, p));
    return slot < 0 ? "not a table member" : kSlotClass[slot];
  }

  EndgameTable* table_ = nullptr;
};

TEST_F(EndgameTableTest, NamedMembersSitInTableOrder) {
  const EndgameTable& t = *table_;
  const EndgameEvaluator* const named[EndgameTable::kSlots] = {
      &t.defaultEndgame, &t.draw,        &t.kNNvK,       &t.kPvK,         &t.kvKP,         &t.kXvK,
      &t.kvKX,           &t.kXvKX,       &t.kQvKR,       &t.kRvKQ,        &t.kPvKM,        &t.kMvKP,
      &t.kRvKM,          &t.kMvKR,       &t.kvKMP,       &t.kMPvK,        &t.kBNvK,        &t.kvKBN,
      &t.kRMvKR,         &t.kRvKRM,      &t.kMMvKM,      &t.kMvKMM,       &t.kMMvKR,       &t.kRvKMM,
      &t.kQMvKQ,         &t.kQvKQM,      &t.kRvKMP,      &t.kMPvKR,       &t.kRPvKR,       &t.kRvKRP,
      &t.kRMvKRP,        &t.kRPvKRM,     &t.kNNvKP,      &t.pawnEnding,   &t.bishopEnding, &t.knightEnding,
      &t.queenEnding,    &t.bishopKnightEnding, &t.oneSidedPawns};
  for (int i = 0; i < EndgameTable::kSlots; ++i) {
    EXPECT_EQ(t.member(i), named[i]) << kSlotClass[i];
    EXPECT_EQ(t.slotOf(named[i]), i) << kSlotClass[i];
    EXPECT_EQ(isKnowledgeEvaluator(t, named[i]), i != 0) << kSlotClass[i];
  }
  int outsider = 0;
  EXPECT_EQ(t.slotOf(reinterpret_cast<const EndgameEvaluator*>(&outsider)), -1);
}

struct SelectionCase {
  const char* material;
  const char* expected;
};

// Every distinction the selection rules make, by number of men.
const SelectionCase kSelection[] = {
    // Two and three men.
    {"KvK", "DrawEvaluator"},
    {"KPvK", "KPvKEvaluator"},
    {"KvKP", "KvKPEvaluator"},
    {"KRvK", "KXvKEvaluator"},
    {"KQvK", "KXvKEvaluator"},
    {"KvKR", "KvKXEvaluator"},
    {"KvKQ", "KvKXEvaluator"},
    {"KNvK", "DrawEvaluator"},
    {"KBvK", "DrawEvaluator"},
    {"KvKN", "DrawEvaluator"},
    {"KvKB", "DrawEvaluator"},
    // Four men, one piece or pawn each.
    {"KNvKB", "DrawEvaluator"},
    {"KBvKB", "DrawEvaluator"},
    {"KNvKN", "DrawEvaluator"},
    {"KRvKR", "KXvKXEvaluator"},
    {"KQvKQ", "KXvKXEvaluator"},
    {"KRvKQ", "KRvKQEvaluator"},
    {"KQvKR", "KQvKREvaluator"},
    {"KRvKN", "KRvKMEvaluator"},
    {"KRvKB", "KRvKMEvaluator"},
    {"KNvKR", "KMvKREvaluator"},
    {"KBvKR", "KMvKREvaluator"},
    {"KPvKN", "KPvKMEvaluator"},
    {"KPvKB", "KPvKMEvaluator"},
    {"KNvKP", "KMvKPEvaluator"},
    {"KBvKP", "KMvKPEvaluator"},
    {"KPvKP", "PawnEndingEvaluator"},
    {"KQvKP", "OneSidedPawnsEvaluator"},
    {"KRvKP", "OneSidedPawnsEvaluator"},
    {"KQvKN", "DefaultEndgameEvaluator"},
    {"KQvKB", "DefaultEndgameEvaluator"},
    // Four men, three against a bare king.
    {"KNNvK", "KNNvKEvaluator"},
    {"KBNvK", "KBNvKEvaluator"},
    {"KBBvK", "DefaultEndgameEvaluator"},
    {"KNPvK", "KMPvKEvaluator"},
    {"KBPvK", "KMPvKEvaluator"},
    {"KRPvK", "OneSidedPawnsEvaluator"},
    {"KPPvK", "PawnEndingEvaluator"},
    {"KRRvK", "DefaultEndgameEvaluator"},
    {"KvKNN", "KNNvKEvaluator"},
    {"KvKBN", "KvKBNEvaluator"},
    {"KvKBB", "DefaultEndgameEvaluator"},
    {"KvKNP", "KvKMPEvaluator"},
    {"KvKBP", "KvKMPEvaluator"},
    {"KvKPP", "PawnEndingEvaluator"},
    // Five men, a rook each.
    {"KRPvKR", "KRPvKREvaluator"},
    {"KRvKRP", "KRvKRPEvaluator"},
    {"KRNvKR", "KRMvKREvaluator"},
    {"KRBvKR", "KRMvKREvaluator"},
    {"KRvKRN", "KRvKRMEvaluator"},
    {"KRvKRB", "KRvKRMEvaluator"},
    {"KRQvKR", "DefaultEndgameEvaluator"},
    // Five men, one black minor piece.
    {"KRvKBP", "KRvKMPEvaluator"},
    {"KRvKNP", "KRvKMPEvaluator"},
    {"KQvKQN", "KQvKQMEvaluator"},
    {"KQvKQB", "KQvKQMEvaluator"},
    {"KNNvKB", "KMMvKMEvaluator"},
    {"KBNvKN", "KMMvKMEvaluator"},
    {"KBBvKN", "KMMvKMEvaluator"},
    {"KPvKBP", "KvKMPEvaluator"},
    {"KvKBPP", "KvKMPEvaluator"},
    {"KPvKNP", "DefaultEndgameEvaluator"},
    {"KPPvKB", "OneSidedPawnsEvaluator"},
    {"KBPvKB", "BishopEndingEvaluator"},
    {"KNPvKB", "BishopKnightEndingEvaluator"},
    // Five men, one white minor piece.
    {"KBPvKR", "KMPvKREvaluator"},
    {"KNPvKR", "KMPvKREvaluator"},
    {"KQNvKQ", "KQMvKQEvaluator"},
    {"KQBvKQ", "KQMvKQEvaluator"},
    {"KNvKNN", "KMvKMMEvaluator"},
    {"KNvKBB", "KMvKMMEvaluator"},
    {"KBPvKP", "KMPvKEvaluator"},
    {"KBPPvK", "KMPvKEvaluator"},
    {"KNPvKP", "DefaultEndgameEvaluator"},
    {"KNvKPP", "OneSidedPawnsEvaluator"},
    // Five men, two minor pieces against no minor piece.
    {"KNNvKR", "KMMvKREvaluator"},
    {"KBNvKR", "KMMvKREvaluator"},
    {"KNNvKP", "KNNvKPEvaluator"},
    {"KBNvKP", "OneSidedPawnsEvaluator"},
    {"KRvKNN", "KRvKMMEvaluator"},
    {"KRvKBB", "KRvKMMEvaluator"},
    {"KPvKNN", "KNNvKPEvaluator"},
    {"KBBvKQ", "DefaultEndgameEvaluator"},
    {"KRRvKR", "DefaultEndgameEvaluator"},
    {"KQPvKP", "DefaultEndgameEvaluator"},
    // Six men.
    {"KRNvKRP", "KRMvKRPEvaluator"},
    {"KRBvKRP", "KRMvKRPEvaluator"},
    {"KRPvKRN", "KRPvKRMEvaluator"},
    {"KRPvKRB", "KRPvKRMEvaluator"},
    {"KBPPvKP", "KMPvKEvaluator"},
    {"KBPvKPP", "KMPvKEvaluator"},
    {"KPvKBPP", "KvKMPEvaluator"},
    {"KRBPvKR", "OneSidedPawnsEvaluator"},
    {"KNPPvKP", "DefaultEndgameEvaluator"},
    {"KRPvKRP", "DefaultEndgameEvaluator"},
    {"KRPPvKR", "OneSidedPawnsEvaluator"},
    {"KBPvKBP", "BishopEndingEvaluator"},
    {"KNPvKNP", "KnightEndingEvaluator"},
    {"KBPvKNP", "BishopKnightEndingEvaluator"},
    {"KNPvKBP", "BishopKnightEndingEvaluator"},
    {"KQPvKQP", "QueenEndingEvaluator"},
    {"KRRvKRR", "DefaultEndgameEvaluator"},
    // More men: the general rules only.
    {"KBPPPvKBPP", "BishopEndingEvaluator"},
    {"KNPPPvKNPP", "KnightEndingEvaluator"},
    {"KQPPPvKQPP", "QueenEndingEvaluator"},
    {"KBPPPvKNPP", "BishopKnightEndingEvaluator"},
    {"KRPPPvKRPP", "DefaultEndgameEvaluator"},
    {"KRPPPvKRBPP", "DefaultEndgameEvaluator"},
    {"KRRPPvKRB", "OneSidedPawnsEvaluator"},
    {"KPPPPPPPPvKPPPPPPPP", "PawnEndingEvaluator"},
    {"KQRRBBNNPPPPPPPPvKQRRBBNNPPPPPPPP", "DefaultEndgameEvaluator"},
    {"KQRRBBNNPPPPPPPPvKQRRBBNN", "OneSidedPawnsEvaluator"},
    {"KQRRBBNNvKQRRBBNN", "DefaultEndgameEvaluator"},
};

TEST_F(EndgameTableTest, SelectionByMaterial) {
  for (const SelectionCase& c : kSelection) EXPECT_EQ(pickFor(c.material), c.expected) << c.material;
}

TEST_F(EndgameTableTest, SelectionReadsCountsOnly) {
  // The same material on other squares and with the other side to move.
  const char* const sameMaterial[] = {"8/8/3k4/8/8/2K5/1P6/8 w - -", "8/1P6/8/8/8/k7/8/7K b - -",
                                      "7k/8/8/8/8/8/6P1/K7 w - -"};
  for (const char* fen : sameMaterial) {
    Position p;
    ASSERT_NE(p.setFen(fen), nullptr) << fen;
    EXPECT_EQ(selectEndgameEvaluator(*table_, p), &table_->kPvK) << fen;
    EXPECT_TRUE(hasEndgameKnowledge(*table_, p)) << fen;
  }
  Position start;
  EXPECT_EQ(selectEndgameEvaluator(*table_, start), &table_->defaultEndgame);
  EXPECT_FALSE(hasEndgameKnowledge(*table_, start));
}

TEST_F(EndgameTableTest, DefaultMemberAnswersNothing) {
  Position p;
  ASSERT_TRUE(testsupport::setMaterial(p, "KRPPvKR"));
  Evaluator evaluator;
  const EndgameEvaluator* e = table_->member(0);
  int score = 1234;
  EXPECT_FALSE(e->evaluate(p, &score));
  EXPECT_EQ(score, 1234);
  EXPECT_FALSE(e->evaluateForSide(p, &score));
  EXPECT_EQ(score, 1234);
  short depthChange = 5;
  EXPECT_FALSE(e->probe(p, &score, -100, 100, 64, &depthChange));
  EXPECT_EQ(score, 1234);
  EXPECT_EQ(depthChange, 5);
  EXPECT_EQ(e->scale(p, evaluator, -777), -777);
}

TEST_F(EndgameTableTest, MemberData) {
  EXPECT_EQ(table_->kRvKMP.heldValue(), 100);
  EXPECT_EQ(table_->kRMvKRP.heldValue(), 100);
  EXPECT_EQ(table_->kMPvKR.heldValue(), -100);
  EXPECT_EQ(table_->kRPvKRM.heldValue(), -100);

  auto rankSet = [](int from, int to) {
    Bitboard b = 0;
    for (int r = from; r <= to; ++r)
      for (int f = 0; f < 8; ++f) b |= squareBit(makeSquare(f, r));
    return b;
  };
  for (const RookPawnRankMasks* m : {&table_->kRPvKR.ranksForWhitePawn(), &table_->kRvKRP.ranksForWhitePawn()}) {
    EXPECT_EQ(m->firstRank, rankSet(1, 1));
    EXPECT_EQ(m->promotionRank, rankSet(8, 8));
    EXPECT_EQ(m->seventhRank, rankSet(7, 7));
    EXPECT_EQ(m->sixthRank, rankSet(6, 6));
    EXPECT_EQ(m->fifthRank, rankSet(5, 5));
    EXPECT_EQ(m->sixthToEighth, rankSet(6, 8));
    EXPECT_EQ(m->fifthToEighth, rankSet(5, 8));
  }
  for (const RookPawnRankMasks* m : {&table_->kRPvKR.ranksForBlackPawn(), &table_->kRvKRP.ranksForBlackPawn()}) {
    EXPECT_EQ(m->firstRank, rankSet(8, 8));
    EXPECT_EQ(m->promotionRank, rankSet(1, 1));
    EXPECT_EQ(m->seventhRank, rankSet(2, 2));
    EXPECT_EQ(m->sixthRank, rankSet(3, 3));
    EXPECT_EQ(m->fifthRank, rankSet(4, 4));
    EXPECT_EQ(m->sixthToEighth, rankSet(1, 3));
    EXPECT_EQ(m->fifthToEighth, rankSet(1, 4));
  }
}

TEST(EndgameTableLifetime, DestroyClearsTheSlot) {
  EndgameTable* slot = nullptr;
  destroyEndgameTable(slot);  // nothing to free
  EXPECT_EQ(slot, nullptr);
  createEndgameTable(slot);
  ASSERT_NE(slot, nullptr);
  destroyEndgameTable(slot);
  EXPECT_EQ(slot, nullptr);
  destroyEndgameTable(slot);  // a second destroy does nothing
  EXPECT_EQ(slot, nullptr);
}

TEST(EndgameBoundTest, CutsAtTheRightEnd) {
  Position whiteToMove, blackToMove;
  ASSERT_NE(whiteToMove.setFen("8/8/3k4/8/8/2K5/1P6/8 w - -"), nullptr);
  ASSERT_NE(blackToMove.setFen("8/8/3k4/8/8/2K5/1P6/8 b - -"), nullptr);
  struct Case {
    const Position* p;
    int low, high, alpha, beta;
    bool cut;
    int score;
  };
  const Case cases[] = {
      {&whiteToMove, 9350, 500000, -100, 9350, true, 9350},      // lower end reaches beta
      {&whiteToMove, 9350, 500000, -100, 9351, false, 0},        // just short of beta
      {&whiteToMove, -1, 1, 1, 50, true, 1},                     // upper end at alpha
      {&whiteToMove, -1, 1, 0, 50, false, 0},                    // window holds the range
      {&blackToMove, 9350, 500000, -10000, 9350, false, 0},      // black sees [-500000, -9350]
      {&blackToMove, 9350, 500000, -9350, 100, true, -9350},     // its upper end at alpha
      {&blackToMove, -500000, -9350, -100, 9000, true, 9350},    // its lower end above beta
  };
  for (const Case& c : cases) {
    int score = 0;
    EXPECT_EQ(EndgameEvaluator::cutAtBounds(*c.p, c.low, c.high, c.alpha, c.beta, &score), c.cut)
        << c.low << " " << c.high << " " << c.alpha << " " << c.beta;
    EXPECT_EQ(score, c.score);
  }
}

TEST(EndgameSquareSets, BuiltFromTheirTexts) {
  auto squares = [](std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names) b |= squareBit(squareFromText(n));
    return b;
  };
  Bitboard diagonals = 0;
  for (int f = 0; f < 8; ++f) diagonals |= squareBit(makeSquare(f, f + 1)) | squareBit(makeSquare(f, 8 - f));
  EXPECT_EQ(LongDiagonals, diagonals);
  EXPECT_EQ(SecondRing, squares({"c2", "d2", "e2", "f2", "c7", "d7", "e7", "f7", "b3", "b4", "b5", "b6", "g3",
                                 "g4", "g5", "g6"}));
  EXPECT_EQ(CornerDiagonalSquares, squares({"a1", "a8", "h1", "h8", "b2", "b7", "g2", "g7"}));
  EXPECT_EQ(LightCornerZone, squares({"a7", "a8", "b8", "g1", "h1", "h2"}));
  EXPECT_EQ(DarkCornerZone, squares({"b1", "a1", "a2", "g8", "h8", "h7"}));
  // The zones hold the corners of their colour.
  EXPECT_EQ(LightCornerZone & ~LightSquares & squares({"a8", "h1"}), 0u);
  EXPECT_EQ(DarkCornerZone & LightSquares & squares({"a1", "h8"}), 0u);
}

}  // namespace
