#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "board/attack_tables.h"
#include "board/position.h"
#include "support/perft_suite.h"
#include "support/reference_moves.h"

namespace {

using testsupport::legalMoves;

int sq(const char* name) { return squareFromText(name); }

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

// Everything derived must equal a derivation from scratch, and the lists
// must hold exactly the squares of the bitboards.
void expectDerivedFieldsFresh(const Position& p, const std::string& context) {
  Position fresh = p;
  fresh.computeAttackMaps();
  fresh.computePinned();
  fresh.computeKeys();
  ASSERT_EQ(fresh.hashKey, p.hashKey) << context;
  ASSERT_EQ(fresh.pawnKey, p.pawnKey) << context;
  ASSERT_EQ(fresh.pinned, p.pinned) << context;
  ASSERT_EQ(p.occupied, p.white.pieces[0] | p.black.pieces[0]) << context;
  for (int c = 0; c < 2; ++c) {
    const SideState& a = c ? p.black : p.white;
    const SideState& b = c ? fresh.black : fresh.white;
    ASSERT_EQ(a.attacked, b.attacked) << context;
    ASSERT_EQ(a.attackedTwice, b.attackedTwice) << context;
    ASSERT_EQ(a.pawnAttacked, b.pawnAttacked) << context;
    ASSERT_EQ(a.threatened, b.threatened) << context;
    ASSERT_EQ(a.materialKey, b.materialKey) << context;
    int material = 0, total = 0;
    Bitboard all = 0;
    for (int t = Pawn; t <= King; ++t) {
      ASSERT_EQ(a.counts[t], AttackTables::popCount(a.pieces[t])) << context;
      Bitboard fromList = 0;
      for (int i = 0; i < a.counts[t]; ++i) fromList |= squareBit(a.lists[t][i]);
      ASSERT_EQ(fromList, a.pieces[t]) << context << " type " << t;
      material += a.counts[t] * PieceValues[t];
      total += a.counts[t];
      all |= a.pieces[t];
    }
    ASSERT_EQ(a.pieces[0], all) << context;
    ASSERT_EQ(a.counts[0], total) << context;
    ASSERT_EQ(a.material, material) << context;
  }
}

struct MoveCase {
  const char* name;
  const char* fen;
  const char* from;
  const char* to;
  int piece;
  int promotion;
  int captured;
  const char* fenAfter;
};

const MoveCase kMoveCases[] = {
    {"quiet", "4k3/8/8/8/8/8/8/4K1N1 w - -", "g1", "f3", Knight, 0, 0, "4k3/8/8/8/8/5N2/8/4K3 b - -"},
    {"capture", "4k3/8/8/3r4/8/8/8/3RK3 w - -", "d1", "d5", Rook, 0, Rook, "4k3/8/8/3R4/8/8/8/4K3 b - -"},
    {"double push", "4k3/8/8/8/3p4/8/4P3/4K3 w - -", "e2", "e4", Pawn, 0, 0, "4k3/8/8/8/3pP3/8/8/4K3 b - e3"},
    {"double push, no taker", "4k3/8/8/8/8/8/4P3/4K3 w - -", "e2", "e4", Pawn, 0, 0, "4k3/8/8/8/4P3/8/8/4K3 b - -"},
    {"en passant", "4k3/8/8/3Pp3/8/8/8/4K3 w - e6", "d5", "e6", Pawn, 0, Pawn, "4k3/8/4P3/8/8/8/8/4K3 b - -"},
    {"queen promotion", "4k3/1P6/8/8/8/8/8/4K3 w - -", "b7", "b8", Pawn, Queen, 0, "1Q2k3/8/8/8/8/8/8/4K3 b - -"},
    {"rook promotion", "4k3/1P6/8/8/8/8/8/4K3 w - -", "b7", "b8", Pawn, Rook, 0, "1R2k3/8/8/8/8/8/8/4K3 b - -"},
    {"bishop promotion", "4k3/1P6/8/8/8/8/8/4K3 w - -", "b7", "b8", Pawn, Bishop, 0, "1B2k3/8/8/8/8/8/8/4K3 b - -"},
    {"knight promotion", "4k3/1P6/8/8/8/8/8/4K3 w - -", "b7", "b8", Pawn, Knight, 0, "1N2k3/8/8/8/8/8/8/4K3 b - -"},
    {"promotion with capture", "r3k3/1P6/8/8/8/8/8/4K3 w q -", "b7", "a8", Pawn, Queen, Rook, "Q3k3/8/8/8/8/8/8/4K3 b - -"},
    {"black promotion capture", "4k3/8/8/8/8/8/6p1/4K2R b K -", "g2", "h1", Pawn, Knight, Rook, "4k3/8/8/8/8/8/8/4K2n w - -"},
    {"short castling", "4k3/8/8/8/8/8/8/4K2R w K -", "e1", "h1", King, 0, 0, "4k3/8/8/8/8/8/8/5RK1 b - -"},
    {"long castling", "r3k3/8/8/8/8/8/8/4K3 b q -", "e8", "a8", King, 0, 0, "2kr4/8/8/8/8/8/8/4K3 w - -"},
    {"960 king and rook swap", "4k3/8/8/8/8/8/8/5RK1 w F -", "g1", "f1", King, 0, 0, "4k3/8/8/8/8/8/8/2KR4 b - -"},
    {"960 short, king on target's rook", "4k3/8/8/8/8/8/8/5KR1 w G -", "f1", "g1", King, 0, 0, "4k3/8/8/8/8/8/8/5RK1 b - -"},
    {"960 rook shields king", "4k3/8/8/8/8/8/8/1KR5 w C -", "b1", "c1", King, 0, 0, "4k3/8/8/8/8/8/8/5RK1 b - -"},
    {"960 long, king stays", "4k3/8/8/8/8/8/8/1RK5 w B -", "c1", "b1", King, 0, 0, "4k3/8/8/8/8/8/8/2KR4 b - -"},
    {"rook move drops right", "4k3/8/8/8/8/8/8/R3K2R w KQ -", "a1", "a2", Rook, 0, 0, "4k3/8/8/8/8/8/R7/4K2R b K -"},
    {"capture on rook square", "r3k2r/8/8/8/8/8/8/4K2Q w kq -", "h1", "h8", Queen, 0, Rook, "r3k2Q/8/8/8/8/8/8/4K3 b q -"},
    {"king move drops both", "r3k2r/8/8/8/8/8/8/4K3 b kq -", "e8", "d7", King, 0, 0, "r6r/3k4/8/8/8/8/8/4K3 w - -"},
};

TEST(MakeMove, EveryKindOfMoveIsMadeAndRestoredExactly) {
  for (const MoveCase& c : kMoveCases) {
    SCOPED_TRACE(c.name);
    Position p = fromFen(c.fen);
    Position before;
    std::memcpy(static_cast<void*>(&before), &p, sizeof p);
    const Move m = encodeMove(sq(c.from), sq(c.to), c.piece, c.promotion);
    for (bool fast : {false, true}) {
      UndoRecord undo;
      undo.save(p);
      ASSERT_TRUE(fast ? p.makeMoveFast(m, undo) : p.makeMove(m, undo));
      EXPECT_EQ(undo.captured, c.captured);
      char fen[96];
      p.toFen(fen);
      EXPECT_STREQ(fen, c.fenAfter);
      EXPECT_LE(undo.byteLogCount, 10);
      EXPECT_LE(undo.wordLogCount, 5);
      if (!fast) {
        expectDerivedFieldsFresh(p, c.name);
      } else {
        // The fast make leaves the maps of the position before the move.
        EXPECT_EQ(p.white.attacked, before.white.attacked);
        EXPECT_EQ(p.pinned, before.pinned);
        Position fresh = p;
        fresh.computeKeys();
        EXPECT_EQ(fresh.hashKey, p.hashKey);
      }
      undo.restore();
      EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0) << (fast ? "fast" : "full");
      EXPECT_EQ(undo.byteLogCount, 0);
      EXPECT_EQ(undo.wordLogCount, 0);
    }
  }
}

TEST(MakeMove, CastlingSetsKingOnlyLastMoveMask) {
  Position p = fromFen("4k3/8/8/8/8/8/8/4K2R w K -");
  UndoRecord undo;
  undo.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(60, 63, King), undo));
  EXPECT_EQ(p.lastMoveMask, squareBit(sq("g1")));
  EXPECT_EQ(p.castlingRights, 0);
  // A position reached by castling is accepted again by finishSetup.
  Position copy = p;
  EXPECT_TRUE(copy.finishSetup());
}

TEST(MakeMove, PromotionWithCaptureFillsBothLogs) {
  Position p = fromFen("r3k3/1P6/8/8/8/8/8/4K3 w q -");
  UndoRecord undo;
  undo.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("b7"), sq("a8"), Pawn, Queen), undo));
  EXPECT_EQ(undo.byteLogCount, 10);
  EXPECT_EQ(undo.wordLogCount, 5);
  EXPECT_EQ(p.castlingRights, 0);
}

TEST(MakeMove, EnPassantSequenceFromTheStart) {
  Position p;
  UndoRecord u1, u2, u3, u4, u5;
  u1.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("e2"), sq("e4"), Pawn), u1));
  EXPECT_LT(p.epSquare, 0);  // no black pawn attacks e3
  u2.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("d7"), sq("d5"), Pawn), u2));
  u3.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("e4"), sq("e5"), Pawn), u3));
  u4.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("f7"), sq("f5"), Pawn), u4));
  EXPECT_EQ(p.epSquare, sq("f6"));
  Position fresh = p;
  fresh.computeKeys();
  EXPECT_EQ(fresh.hashKey, p.hashKey);
  u5.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("e5"), sq("f6"), Pawn), u5));
  EXPECT_EQ(u5.captured, Pawn);
  EXPECT_FALSE(p.black.pieces[Pawn] & squareBit(sq("f5")));
  expectDerivedFieldsFresh(p, "exf6");
}

TEST(MakeMove, IllegalMovesAreRefusedAndUndone) {
  struct Case {
    const char* fen;
    const char* from;
    const char* to;
    int piece;
    bool fastAlsoRefuses;  // the fast make does not look at the enemy king
  };
  const Case cases[] = {
      {"4k3/4r3/8/8/8/8/4B3/4K3 w - -", "e2", "d3", Bishop, true},  // exposes the king to the rook
      {"8/8/8/8/8/3k4/8/4K3 w - -", "e1", "e2", King, false},       // next to the enemy king
      {"4k3/8/8/8/8/8/4p3/4K3 w - -", "e1", "d1", King, true},      // onto a pawn's capture square
      {"4k3/8/8/8/8/5n2/8/4K3 w - -", "e1", "d2", King, true},      // onto a knight's square
      {"4k3/8/8/8/8/8/8/r3K3 w - -", "e1", "f1", King, true},       // along the checking rook's line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    Position p = fromFen(c.fen);
    Position before;
    std::memcpy(static_cast<void*>(&before), &p, sizeof p);
    const Move m = encodeMove(sq(c.from), sq(c.to), c.piece);
    UndoRecord undo;
    undo.save(p);
    EXPECT_FALSE(p.makeMove(m, undo));
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
    EXPECT_EQ(undo.byteLogCount, 0);
    EXPECT_EQ(undo.wordLogCount, 0);
    const bool fast = p.makeMoveFast(m, undo);
    EXPECT_EQ(fast, !c.fastAlsoRefuses);
    if (fast) undo.restore();
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
  }
}

// Random games: after every move the incremental keys, maps, lists and
// material match a fresh derivation, and every unmake is exact.
TEST(MakeMove, IncrementalStateMatchesRecomputationInRandomGames) {
  std::mt19937 rng(2024);
  const char* starts[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9",
      "1rqbkrbn/1ppppp1p/1n6/p1N3p1/8/2P4P/PP1PPPP1/1RQBKRBN w FBfb - 0 9",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
  };
  for (const char* fen : starts) {
    for (int game = 0; game < 40; ++game) {
      Position p = fromFen(fen);
      for (int ply = 0; ply < 120; ++ply) {
        auto moves = legalMoves(p);
        if (moves.empty()) break;
        // Try every move once from here: make, check, restore exactly.
        Position before;
        std::memcpy(static_cast<void*>(&before), &p, sizeof p);
        UndoRecord undo;
        undo.save(p);
        for (Move m : moves) {
          ASSERT_TRUE(p.makeMove(m, undo));
          ASSERT_NO_FATAL_FAILURE(expectDerivedFieldsFresh(p, fen));
          undo.restore();
          ASSERT_EQ(std::memcmp(&before, &p, sizeof p), 0) << fen;
        }
        UndoRecord keep;
        keep.save(p);
        ASSERT_TRUE(p.makeMove(moves[rng() % moves.size()], keep));
      }
    }
  }
}

// Perft through the plain reference generator: checks make/unmake, castling
// geometry and en-passant handling against independently verified counts.
TEST(MakeMove, ReferencePerftMatchesPublishedCounts) {
  auto suite = testsupport::loadPerftSuite();
  ASSERT_GT(suite.size(), 10u);
  for (const auto& c : suite) {
    Position p = fromFen(c.fen.c_str());
    for (auto [depth, count] : c.counts) {
      if (count > 200000) continue;
      EXPECT_EQ(testsupport::referencePerft(p, depth), count) << c.comment << " depth " << depth;
    }
  }
}

}  // namespace
