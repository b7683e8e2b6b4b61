#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/attack_tables.h"
#include "board/notation.h"
#include "board/position.h"
#include "support/list_perft.h"
#include "support/perft_suite.h"

namespace {

int sq(const char* name) { return squareFromText(name); }

std::string fenOf(const Position& p) {
  char out[96];
  p.toFen(out);
  return out;
}

// Every derived field must agree with a fresh derivation from the men.
void expectConsistent(const Position& p) {
  Position fresh = p;
  fresh.buildPieceLists();
  fresh.computeAttackMaps();
  fresh.computePinned();
  fresh.computeKeys();
  EXPECT_EQ(fresh.hashKey, p.hashKey);
  EXPECT_EQ(fresh.pawnKey, p.pawnKey);
  EXPECT_EQ(fresh.pinned, p.pinned);
  for (int c = 0; c < 2; ++c) {
    const SideState& a = c ? p.black : p.white;
    const SideState& b = c ? fresh.black : fresh.white;
    EXPECT_EQ(a.attacked, b.attacked);
    EXPECT_EQ(a.attackedTwice, b.attackedTwice);
    EXPECT_EQ(a.pawnAttacked, b.pawnAttacked);
    EXPECT_EQ(a.threatened, b.threatened);
    EXPECT_EQ(a.materialKey, b.materialKey);
  }
}

TEST(PositionSetup, StartPosition) {
  Position p;
  EXPECT_EQ(fenOf(p), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
  EXPECT_EQ(p.castlingRights, 15);
  EXPECT_EQ(p.lastMoveMask, 0u);
  EXPECT_EQ(p.chess960, 0);
  EXPECT_EQ(p.white.material, 42550);
  EXPECT_EQ(p.black.material, 42550);
  EXPECT_EQ(p.pinned, 0u);
  EXPECT_EQ(p.white.shortRookSquare, sq("h1"));
  EXPECT_EQ(p.white.shortEmpty, squaresToBitboard("f1g1"));
  EXPECT_EQ(p.white.shortSafe, squaresToBitboard("e1f1g1"));
  EXPECT_EQ(p.white.longRookSquare, sq("a1"));
  EXPECT_EQ(p.white.longEmpty, squaresToBitboard("b1c1d1"));
  EXPECT_EQ(p.white.longSafe, squaresToBitboard("c1d1e1"));
  EXPECT_EQ(p.black.shortEmpty, squaresToBitboard("f8g8"));
  EXPECT_EQ(p.black.longSafe, squaresToBitboard("c8d8e8"));
  int codes[64];
  p.toPieceCodes(codes);
  EXPECT_EQ(codes[0], 4);
  EXPECT_EQ(codes[32], 6);
  EXPECT_EQ(codes[7], 10);
  EXPECT_EQ(codes[3], 0);
  // After set-up the piece lists are in ascending square order.
  for (int t = Pawn; t <= King; ++t)
    for (int i = 1; i < p.white.counts[t]; ++i) EXPECT_LT(p.white.lists[t][i - 1], p.white.lists[t][i]);
  expectConsistent(p);
}

TEST(PositionSetup, Chess960Numbers) {
  struct Case {
    unsigned number;
    const char* firstRank;
    int chess960;
  };
  const Case cases[] = {
      {0, "BBQNNRKR", 1}, {518, "RNBQKBNR", 0}, {959, "RKRNNQBB", 1}, {1478, "RNBQKBNR", 0}, {414, nullptr, 0},
  };
  for (const Case& c : cases) {
    Position p;
    p.setChess960(c.number);
    std::string fen = fenOf(p);
    if (c.firstRank) {
      EXPECT_EQ(fen.substr(fen.find_last_of('/') + 1, 8), c.firstRank) << c.number;
    }
    EXPECT_EQ(p.chess960, c.chess960) << c.number;
    EXPECT_EQ(p.castlingRights, 15) << c.number;
  }
  Position p;
  p.setChess960(959);
  EXPECT_EQ(p.white.longRookSquare, sq("a1"));
  EXPECT_EQ(p.white.shortRookSquare, sq("c1"));
  EXPECT_EQ(p.white.kingSquare(), sq("b1"));
  // The 18 numbers with rooks on a and h and the king on e count as standard.
  int standard = 0;
  for (unsigned n = 0; n < 960; ++n) {
    Position q;
    q.setChess960(n);
    ASSERT_EQ(q.white.counts[0], 16) << n;
    ASSERT_EQ(q.castlingRights, 15) << n;
    standard += q.chess960 == 0;
  }
  EXPECT_EQ(standard, 18);
}

TEST(PositionSetup, EnPassantField) {
  Position p;
  const char* rest = p.setFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, " 0 1");
  EXPECT_EQ(p.epSquare, sq("e3"));
  EXPECT_EQ(p.lastMoveMask, squaresToBitboard("e2e4"));
  Position without;
  without.setFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
  EXPECT_EQ(p.hashKey ^ without.hashKey, enPassantKey(sq("e3")));
}

TEST(PositionSetup, RefusedFens) {
  const char* refused[] = {
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e6 0 1",  // ep rank for the wrong side
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq",         // no ep field
      "rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // nine ranks
      "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",       // seven ranks
      "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",      // seven squares
      "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // nine squares
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN1R w KQkq - 0 1",    // nine squares by a digit
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1",     // bad letter
      "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",     // bad digit
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",     // bad side
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQxq - 0 1",     // bad castling letter
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4 0 1",    // bad ep rank
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",                  // ends inside the record
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ",             // ends inside castling
      "rnbqkbnr/pppp",                                                // ends inside the board
      "",
      "8/8/8/8/8/8/8/8 w KQkq - 0 1",                                 // no kings for the rights
      "8/8/8/8/8/8/8/8 w A - 0 1",                                    // rook file, no king
      "8/8/8/8/8/8/8/8 w - - 0 1",                                    // no kings at all
      "4k3/8/8/8/8/8/8/4K2K w - - 0 1",                               // two kings
      "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",                               // pawn on the first rank
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                               // pawn on the eighth rank
      "4k3/8/8/8/8/8/PPPPPPPP/QQQQKQQQ w - - 0 1",                    // queens + pawns over 9
      "4k3/8/8/8/8/8/NNNNNNNN/NNNK4 w - - 0 1",                       // 11 knights
      "4k3/pppppppp/pppppppp/8/8/8/8/4K3 w - - 0 1",                  // 16 pawns
      "4k3/8/8/8/8/8/4r3/4K3 b - - 0 1",                              // side not to move in check
      // Rights for both as rook files, kings on different files: Chess960,
      // where no right can be judged stale.
      "r2k3r/8/8/8/8/8/8/R3K2R w HAha - 0 1",
      "r2k3r/8/8/8/8/8/8/R3K2R w KhQakq - 0 1",
      "4k2r/8/8/8/8/8/8/R4K2 w Ak - 0 1",
      "4k3/8/8/3Pn3/8/8/8/4K3 w - e6 0 1",                            // a knight "just moved"
      "4k3/8/4p3/3Pp3/8/8/8/4K3 w - e6 0 1",                          // ep square occupied
      "4k3/4b3/8/3Pp3/8/8/8/4K3 w - e6 0 1",                          // pawn came through a piece
      "4k3/8/8/8/3pP3/8/8/4K3 b - d3 0 1",                            // no white pawn beyond d3
      "4k3/8/8/3Pp3/8/8/8/4K3 w - d6 0 1",                            // own pawn beyond d6
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -- 0 1",    // junk after ep
  };
  for (const char* fen : refused) {
    Position p;
    p.setFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Position before = p;
    EXPECT_EQ(p.setFen(fen), nullptr) << fen;
    // A refusal leaves the previous position untouched and usable.
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0) << fen;
    EXPECT_NE(p.setFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), nullptr) << fen;
  }
}

TEST(PositionSetup, AcceptedFenRoundTrips) {
  struct Case {
    const char* fen;
    const char* back;  // null: the same four fields
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", nullptr},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", nullptr},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"},
      {"4k3/8/8/8/8/8/8/R3K2R w Kq -", "4k3/8/8/8/8/8/8/R3K2R w K -"},
      {"4k3/8/8/8/8/8/8/4KRR1 w Kf -", "4k3/8/8/8/8/8/8/4KRR1 w Kf -"},
      {"4k3/8/8/8/8/8/8/4K1RR w G -", "4k3/8/8/8/8/8/8/4K1RR w Kg -"},
      {"4k3/8/8/8/8/8/8/4K1RR w K -", "4k3/8/8/8/8/8/8/4K1RR w K -"},
      {"8/8/8/8/8/8/8/k1K5 W - -", "8/8/8/8/8/8/8/k1K5 w - -"},
      {"   8/8/8/8/8/8/8/k1K5   b   -   -", "8/8/8/8/8/8/8/k1K5 b - -"},
      {"2r1kr2/8/8/8/8/8/8/2R1KR2 w KQkq -", nullptr},
      {"Q7/8/8/8/5k2/8/8/QQQQKQQQ b - -", nullptr},  // nine queens, no pawns
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(fenOf(p), c.back ? c.back : c.fen) << c.fen;
    expectConsistent(p);
    Position again;
    ASSERT_NE(again.setFen(fenOf(p).c_str()), nullptr);
    EXPECT_EQ(again.hashKey, p.hashKey) << c.fen;
  }
}

TEST(PositionSetup, CastlingNotationFlags) {
  struct Case {
    const char* fen;
    int rights;
    int asFiles;
    int chess960;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1", 15, 1, 0},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 15, 0, 0},
      // Black's short rook is gone: white keeps both rights, still standard chess.
      {"r3k3/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 1 | 2 | 8, 0, 0},
      {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", 1, 0, 0},
      {"4k3/8/8/8/8/8/8/4K2R w Kk - 0 1", 1, 0, 0},
      {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 15, 1, 1},
      {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w KQkq - 2 9", 15, 0, 1},
      {"b1q1rrkb/pppppppp/3nn3/8/P7/1PPP4/4PPPP/BQNNRKRB w GE - 1 9", 3, 1, 1},
      // X-FEN letters with both kings on one file off e stay Chess960.
      {"rnbkqbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKQBNR w KQkq - 0 1", 15, 0, 1},
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(p.castlingRights, c.rights) << c.fen;
    EXPECT_EQ(p.castlingAsFiles, c.asFiles) << c.fen;
    EXPECT_EQ(p.chess960, c.chess960) << c.fen;
  }
  // X-FEN letters find the rooks on the files both sides share.
  Position p;
  ASSERT_NE(p.setFen("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w KQkq -"), nullptr);
  EXPECT_EQ(p.white.shortRookSquare, sq("h1"));
  EXPECT_EQ(p.white.longRookSquare, sq("f1"));
  EXPECT_EQ(p.black.longRookSquare, sq("f8"));
}

// Set-up dialogs write "KQkq" after a king has moved. With the plain
// letters the rights of a colour whose king is off e1 / e8 are dropped,
// and what is left is standard chess: the same position as its FEN with
// only the usable rights, move for move.
TEST(PositionSetup, PlainLettersDropTheRightsOfAKingOffItsSquare) {
  struct Case {
    const char* fen;
    const char* kept;  // the same position with the rights that remain, as toFen writes it
  };
  const Case cases[] = {
      {"4k2r/8/8/8/8/8/8/R4K2 w Qk - 0 1", "4k2r/8/8/8/8/8/8/R4K2 w k -"},
      {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R4K1R w kq -"},
      {"r2k3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1", "r2k3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQ -"},
      {"3k4/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "3k4/8/8/8/8/8/8/R3K2R w KQ -"},
      {"r3k2r/8/8/8/8/8/4K3/R6R b KQkq - 0 1", "r3k2r/8/8/8/8/8/4K3/R6R b kq -"},  // king off its rank
      {"r2k3r/8/8/8/8/8/8/R4K1R w KQkq - 0 1", "r2k3r/8/8/8/8/8/8/R4K1R w - -"},  // both kings moved
  };
  for (const Case& c : cases) {
    Position p, kept;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    ASSERT_NE(kept.setFen(c.kept), nullptr) << c.kept;
    EXPECT_EQ(fenOf(p), c.kept) << c.fen;
    EXPECT_EQ(p.castlingRights, kept.castlingRights) << c.fen;
    EXPECT_EQ(p.chess960, 0) << c.fen;
    EXPECT_EQ(p.hashKey, kept.hashKey) << c.fen;
    expectConsistent(p);
    testsupport::SearchStack stack;
    for (int depth = 1; depth <= 4; ++depth)
      EXPECT_EQ(testsupport::listPerft(p, depth, stack), testsupport::listPerft(kept, depth, stack))
          << c.fen << " depth " << depth;
  }
  // The right that is left castles as the king's two-square step.
  Position p;
  ASSERT_NE(p.setFen("4k2r/8/8/8/8/8/8/R4K2 b Qk - 0 1"), nullptr);
  Move castle;
  ASSERT_TRUE(parseMove(p, "O-O", castle, SanText));
  char text[16];
  EXPECT_STREQ(formatMove(p, castle, Coordinate, text), "e8g8");
}

// Read as standard chess, a right counts only with its king on e1 (e8) and
// its rook in the corner of its wing, whatever letters spell it; the rest
// go, no field is refused for them and the position is never Chess960.
// The Chess960 reading of the same fields is checked beside it.
TEST(PositionSetup, StandardChessKeepsOnlyCornerRights) {
  struct Case {
    const char* fen;
    const char* kept;       // as toFen writes the standard reading
    int detectedChess960;   // the field read as written: -1 refused
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/R4K1R w KQ - 0 1", "4k3/8/8/8/8/8/8/R4K1R w - -", 1},
      {"r2k3r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", "r2k3r/8/8/8/8/8/8/R2K3R w - -", 1},
      {"4k3/8/8/8/8/8/8/4K1R1 w K - 0 1", "4k3/8/8/8/8/8/8/4K1R1 w - -", 1},
      {"4k3/8/8/8/8/8/8/R3K1R1 w KQ - 0 1", "4k3/8/8/8/8/8/8/R3K1R1 w Q -", 1},
      {"4k3/8/8/8/8/8/8/1R2K2R w KQ - 0 1", "4k3/8/8/8/8/8/8/1R2K2R w K -", 1},
      {"r3k1r1/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", "r3k1r1/8/8/8/8/8/8/R3K1R1 w Qq -", 1},
      {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", 0},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KhQakhqa - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", 0},
      {"4k3/8/8/8/8/8/8/R3K1RR w KgQ - 0 1", "4k3/8/8/8/8/8/8/R3K1RR w Q -", 1},
      {"4k3/8/8/8/8/8/8/R3K1RR w GA - 0 1", "4k3/8/8/8/8/8/8/R3K1RR w Q -", 1},
      {"4k3/8/8/8/8/8/8/R3K1RR w KQ - 0 1", "4k3/8/8/8/8/8/8/R3K1RR w KQ -", 0},
      {"1r3k2/8/8/8/8/8/8/1R3KR1 w GBb - 0 1", "1r3k2/8/8/8/8/8/8/1R3KR1 w - -", 1},
      {"4k3/8/8/8/8/8/8/4K2R w Kk - 0 1", "4k3/8/8/8/8/8/8/4K2R w K -", 0},
      // Kings apart with rook files: refused as Chess960, read here.
      {"r2k3r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "r2k3r/8/8/8/8/8/8/R3K2R w KQ -", -1},
      {"r3k2r/8/8/8/8/8/4K3/R6R b KQkq - 0 1", "r3k2r/8/8/8/8/8/4K3/R6R b kq -", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    Position p, kept, detected;
    ASSERT_NE(p.setFen(c.fen, FenCastling::StandardChess), nullptr);
    ASSERT_NE(kept.setFen(c.kept), nullptr);
    EXPECT_EQ(fenOf(p), c.kept);
    EXPECT_EQ(p.castlingRights, kept.castlingRights);
    EXPECT_EQ(p.chess960, 0);
    EXPECT_EQ(p.castlingAsFiles, 0);
    EXPECT_EQ(p.hashKey, kept.hashKey);
    EXPECT_EQ(std::memcmp(&p.white, &kept.white, sizeof p.white), 0);
    EXPECT_EQ(std::memcmp(&p.black, &kept.black, sizeof p.black), 0);
    expectConsistent(p);
    testsupport::SearchStack stack;
    for (int depth = 1; depth <= 3; ++depth)
      EXPECT_EQ(testsupport::listPerft(p, depth, stack), testsupport::listPerft(kept, depth, stack)) << depth;
    const bool read = detected.setFen(c.fen) != nullptr;
    EXPECT_EQ(read, c.detectedChess960 >= 0);
    if (read) {
      EXPECT_EQ(detected.chess960, c.detectedChess960);
    }
  }
  // The rest of the FEN is read as always; a bad field is still refused.
  Position p;
  ASSERT_NE(p.setFen("r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 0 1", FenCastling::StandardChess), nullptr);
  EXPECT_EQ(fenOf(p), "r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3");
  EXPECT_EQ(p.setFen("r3k2r/8/8/8/8/8/8/R3K2R w KQxq - 0 1", FenCastling::StandardChess), nullptr);
  EXPECT_EQ(p.setFen("8/8/8/8/8/8/8/8 w KQkq - 0 1", FenCastling::StandardChess), nullptr);
}

TEST(PositionSetup, EveryPerftFenIsAccepted) {
  auto suite = testsupport::loadPerftSuite();
  ASSERT_GT(suite.size(), 10u);
  for (const auto& c : suite) {
    Position p;
    ASSERT_NE(p.setFen(c.fen.c_str()), nullptr) << c.fen;
    expectConsistent(p);
  }
}

TEST(PositionSetup, ThreatsAndBatteries) {
  struct Case {
    const char* fen;
    const char* square;
    bool threatened;
  };
  const Case threats[] = {
      {"3rk3/8/8/8/8/8/8/3QK3 w - -", "d1", false},  // a queen attacked only by a rook
      {"3rk3/8/8/8/8/8/8/3RK3 w - -", "d1", true},   // a rook attacked by a rook
      {"4k3/8/8/8/8/8/3p4/4K3 w - -", "e1", true},   // a king attacked by a pawn
      {"4k3/8/8/8/8/8/4n3/3BK3 w - -", "d1", false}, // a bishop attacked by a knight
      {"4k3/8/8/8/8/8/4p3/3BK3 w - -", "d1", true},  // a bishop attacked by a pawn
      {"4k3/8/8/8/8/2n5/8/3QK3 w - -", "d1", true},  // a queen attacked by a knight
  };
  for (const Case& c : threats) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ((p.white.threatened & squareToBitboard(c.square)) != 0, c.threatened) << c.fen;
  }
  // A rook behind a queen on a file doubles the attack beyond the queen;
  // a bishop behind it does not.
  Position p;
  ASSERT_NE(p.setFen("3rk3/8/3q4/8/8/8/8/K7 w - -"), nullptr);
  EXPECT_TRUE(p.white.attackedTwice & squareToBitboard("d1"));
  ASSERT_NE(p.setFen("3bk3/8/3q4/8/8/8/8/K7 w - -"), nullptr);
  EXPECT_TRUE(p.white.attacked & squareToBitboard("d1"));
  EXPECT_FALSE(p.white.attackedTwice & squareToBitboard("d1"));
  // A bishop behind a queen on a diagonal sees through it.
  ASSERT_NE(p.setFen("1b2k3/8/3q4/8/8/8/8/K7 w - -"), nullptr);
  EXPECT_TRUE(p.white.attackedTwice & squareToBitboard("f4"));
}

TEST(PositionSetup, PinnedMen) {
  struct Case {
    const char* fen;
    const char* pinned;
  };
  const Case cases[] = {
      {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", "e2"},
      {"4k3/8/8/8/8/8/8/b2RK3 w - -", ""},       // a bishop does not pin along a rank
      {"4k3/8/1q6/8/8/4B3/8/6K1 w - -", "e3"},
      {"4k3/8/8/1b6/8/3P4/8/5K2 w - -", "d3"},
      {"4k3/4n3/4p3/4R3/8/8/8/4K3 w - -", ""},   // two men between: no pin
      {"4k3/4n3/8/4R3/8/8/4B3/4K2q w - -", "e7"},
      {"4k3/8/8/8/q7/8/2P5/4K3 w - -", ""},      // a pawn standing aside the line
      {"4k3/8/8/8/4q3/8/4R3/4K3 w - -", "e2e4"},  // each pins the other
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(p.pinned, squaresToBitboard(c.pinned)) << c.fen;
  }
}

TEST(PositionSetup, MirrorAndKeys) {
  Position start, mirrored;
  mirrored.setMirrored(start);
  EXPECT_EQ(fenOf(mirrored), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
  EXPECT_EQ(mirrored.hashKey ^ start.hashKey, SideToMoveKey);
  EXPECT_EQ(mirrored.pawnKey, start.pawnKey);
  Position p, m;
  ASSERT_NE(p.setFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"), nullptr);
  m.setMirrored(p);
  EXPECT_EQ(fenOf(m), "r3k2r/pppbbppp/2n2q1P/1P2p3/3pn3/BN2PNP1/P1PPQPB1/R3K2R b KQkq -");
  expectConsistent(m);
  EXPECT_EQ(flipVertical(squareBit(0)), squareBit(56));
  EXPECT_EQ(flipVertical(flipVertical(0x123456789ABCDEFULL)), 0x123456789ABCDEFULL);
}

TEST(PositionSetup, BishopColours) {
  // f1 and c8 are light squares, c1 and f8 dark.
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/2B1KB2 w - -", 0},  // black has none
      {"4kb2/8/8/8/8/8/8/2B1KB2 w - -", 3}, // white on both colours
      {"5b2/8/8/8/8/8/8/4KB1k w - -", 1},   // opposite colours
      {"5b2/8/8/8/8/8/8/2B1K2k w - -", 2},  // both dark
      {"4k3/8/8/8/8/8/8/4K3 w - -", 0},
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(p.bishopColours(), c.expected) << c.fen;
  }
}

TEST(PositionSetup, GermanPieceList) {
  Position p;
  ASSERT_TRUE(p.setFromPieceList("WKE1 WTA1 WTH1 SKE8 STA8 w"));
  EXPECT_EQ(fenOf(p), "r3k3/8/8/8/8/8/8/R3K2R w KQq -");
  ASSERT_TRUE(p.setFromPieceList("WK E1 WB E2 D2 SK E8 SD D8 s"));
  EXPECT_EQ(fenOf(p), "3qk3/8/8/8/8/8/3PP3/4K3 b - -");
  EXPECT_FALSE(p.setFromPieceList("WKE1 WXA1 SKE8 w"));
  EXPECT_FALSE(p.setFromPieceList("WKE1 SKE8 E2 w x"));
  std::string diagram;
  for (int s = 0; s < 64; ++s) diagram += s == 60 ? "WK " : s == 4 ? "SK " : s == 52 ? "WB " : "-- ";
  diagram += "w";
  ASSERT_TRUE(p.setFromPieceList(diagram.c_str()));
  EXPECT_EQ(fenOf(p), "4k3/8/8/8/8/8/4P3/4K3 w - -");
  EXPECT_FALSE(p.setFromPieceList("-- -- w"));
  ASSERT_TRUE(p.setFromPieceList("4k3/7P/8/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(parseGermanCoordinateMove(p, "h7h8D"), encodeMove(sq("h7"), sq("h8"), Pawn, Queen));
  EXPECT_EQ(parseGermanCoordinateMove(p, "E1E2"), encodeMove(sq("e1"), sq("e2"), King));
}

}  // namespace
