// The move-list queries and per-colour check tests that the engine itself
// does not call: they must still answer right for any caller.
#include <gtest/gtest.h>

#include "board/legality.h"
#include "board/move_list.h"
#include "support/perft_suite.h"

namespace {

const char* const Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

int sq(const char* name) { return squareFromText(name); }

TEST(MoveListQueries, ContainsComparesSquaresOfTheMovesStillToCome) {
  Position p;
  ASSERT_NE(p.setFen(Kiwipete), nullptr);
  const Move bishop = encodeMove(sq("e2"), sq("a6"), Bishop);
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), AllMoves, &bishop);
  EXPECT_TRUE(list.contains(bishop));
  EXPECT_TRUE(list.contains(encodeMove(sq("e2"), sq("a6"), Queen, Knight)));  // type and promotion ignored
  EXPECT_FALSE(list.contains(encodeMove(sq("a1"), sq("a8"), Rook)));
  // Once handed out, the hash move is no longer to come; the others are.
  ASSERT_EQ(list.next()->move, bishop);
  EXPECT_FALSE(list.contains(bishop));
  EXPECT_TRUE(list.contains(encodeMove(sq("e5"), sq("f7"), Knight)));
}

TEST(MoveListQueries, PreferredMovesAndTheFallbackHashMove) {
  Position p;
  p.setStartPosition();
  const Move knight = encodeMove(sq("g1"), sq("f3"), Knight);
  const Move pawn = encodeMove(sq("e2"), sq("e4"), Pawn);
  LocalMoveStack stack;
  {
    // No hash move, no killers, no last move to recapture.
    MoveList list(stack, p, legalityHistoryTable(), AllMoves);
    EXPECT_FALSE(list.hasPreferredMove());
    // Without a hash move the fallback becomes one.
    list.rewindWithFallbackHashMove(knight);
    EXPECT_TRUE(list.hasPreferredMove());
    EXPECT_EQ(list.next()->move, knight);
  }
  {
    MoveList list(stack, p, legalityHistoryTable(), AllMoves, &pawn);
    EXPECT_TRUE(list.hasPreferredMove());
    // An existing hash move stays in front of the fallback.
    list.rewindWithFallbackHashMove(knight);
    EXPECT_EQ(list.next()->move, pawn);
  }
  {
    const KillerSlot killers[4] = {{knight, 0}, {0, 0}, {0, 0}, {0, 0}};
    MoveList list(stack, p, legalityHistoryTable(), AllMoves, nullptr, killers);
    EXPECT_TRUE(list.hasPreferredMove());
  }
}

// Over every perft position and its replies: the per-colour tests agree
// with the attack maps (which also count the enemy king, never adjacent in
// a legal position).
TEST(PerColourCheck, AgreesWithTheAttackMaps) {
  int checks = 0;
  for (const auto& c : testsupport::loadPerftSuite()) {
    Position p;
    ASSERT_NE(p.setFen(c.fen.c_str()), nullptr) << c.fen;
    LocalMoveStack stack;
    MoveList list(stack, p, legalityHistoryTable(), AllMoves);
    UndoRecord undo;
    undo.save(p);
    auto agree = [&](const Position& q) {
      EXPECT_EQ(q.whiteInCheck(), (q.white.attacked & q.white.pieces[King]) != 0) << c.fen;
      EXPECT_EQ(q.blackInCheck(), (q.black.attacked & q.black.pieces[King]) != 0) << c.fen;
      checks += q.whiteInCheck() + q.blackInCheck();
    };
    agree(p);
    for (const MoveListEntry* e = list.begin(); e < list.end(); ++e) {
      if (!p.makeMove(e->move, undo)) continue;
      agree(p);
      undo.restore();
    }
  }
  EXPECT_GT(checks, 0);  // the walk met checks at all
}

}  // namespace
