#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/attack_tables.h"
#include "board/legality.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "support/reference_moves.h"

namespace {

int sq(const char* name) { return squareFromText(name); }

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

struct ParseCase {
  const char* fen;
  const char* text;
  int mode;
  Move expected;  // 0: rejected
};

const Move WhiteShortCastle = encodeMove(60, 63, King);
const char* const CastleReady = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
const char* const NoShortRight = "r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1";
const char* const Promotion = "7k/4P3/8/8/8/8/8/4K3 w - - 0 1";
const char* const TwoKnights = "4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1";  // b1 and g1 knights
const char* const Italian = "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq - 2 3";
const char* const EnPassant = "4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1";

const ParseCase kParseCases[] = {
    // Castling in every written form, and never without the right.
    {CastleReady, "e1g1", CoordinateText, WhiteShortCastle},
    {CastleReady, "e1h1", CoordinateText, WhiteShortCastle},
    {CastleReady, "e1g1k", CoordinateText, WhiteShortCastle},
    {CastleReady, "O-O", SanText, WhiteShortCastle},
    {CastleReady, "0-0", CoordinateText, WhiteShortCastle},
    {CastleReady, "O-O-O", SanText, encodeMove(60, 56, King)},
    {CastleReady, "Kg1", SanText, WhiteShortCastle},
    {NoShortRight, "e1g1", CoordinateText, 0},
    {NoShortRight, "e1h1", CoordinateText, 0},
    {NoShortRight, "e1g1k", CoordinateText, 0},
    {NoShortRight, "O-O", SanText, 0},
    // Promotions.
    {Promotion, "e7e8q", CoordinateText, encodeMove(sq("e7"), sq("e8"), Pawn, Queen)},
    {Promotion, "e7e8Q", CoordinateText, encodeMove(sq("e7"), sq("e8"), Pawn, Queen)},
    {Promotion, "e7e8n", CoordinateText, encodeMove(sq("e7"), sq("e8"), Pawn, Knight)},
    {Promotion, "e8=Q", SanText, encodeMove(sq("e7"), sq("e8"), Pawn, Queen)},
    {Promotion, "e8Q", SanText, encodeMove(sq("e7"), sq("e8"), Pawn, Queen)},
    {Promotion, "e8/D", SanText, encodeMove(sq("e7"), sq("e8"), Pawn, Queen)},
    {Promotion, "e8=T", SanText, encodeMove(sq("e7"), sq("e8"), Pawn, Rook)},
    {Promotion, "e8=q", SanText, 0},
    {Promotion, "e7e8", CoordinateText, 0},   // onto the last rank without a piece
    {Promotion, "e8", SanText, 0},
    {Promotion, "e1e2q", CoordinateText, 0},  // a promotion letter on a king move
    // Knights, long algebraic and disambiguation.
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Nf3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Sf3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Ng1f3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Ng1-f3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Nxf3", SanText, 0},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2-e4", SanText, encodeMove(sq("e2"), sq("e4"), Pawn)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2-e4", CoordinateText, encodeMove(sq("e2"), sq("e4"), Pawn)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e4", SanText, encodeMove(sq("e2"), sq("e4"), Pawn)},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e5", SanText, 0},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2e5", CoordinateText, 0},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e3e4", CoordinateText, 0},  // no man there
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "  g1f3", CoordinateText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"4k3/8/8/8/2n5/8/8/4K1N1 w - - 0 1", "Nf3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"4k3/8/8/8/2n5/8/8/4K1N1 w - - 0 1", "Nf3", SanText, encodeMove(sq("g1"), sq("f3"), Knight)},
    {"3k4/8/8/8/8/8/8/1N2K1N1 w - - 0 1", "Nd2", SanText, encodeMove(sq("b1"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/8/8/1N2K1N1 w - - 0 1", "Ne2", SanText, encodeMove(sq("g1"), sq("e2"), Knight)},
    // b1 and f3 both reach d2: the file tells them apart.
    {"3k4/8/8/8/8/5N2/8/1N1K4 w - - 0 1", "Nbd2", SanText, encodeMove(sq("b1"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/5N2/8/1N1K4 w - - 0 1", "Nfd2", SanText, encodeMove(sq("f3"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/5N2/8/1N1K4 w - - 0 1", "Nf3d2", SanText, encodeMove(sq("f3"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/5N2/8/1N1K4 w - - 0 1", "Nd2", SanText, 0},
    // b1 and b3 both reach d2: the rank tells them apart.
    {"3k4/8/8/8/8/1N6/8/1N1K4 w - - 0 1", "N1d2", SanText, encodeMove(sq("b1"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/1N6/8/1N1K4 w - - 0 1", "N3d2", SanText, encodeMove(sq("b3"), sq("d2"), Knight)},
    {"3k4/8/8/8/8/1N6/8/1N1K4 w - - 0 1", "Nbd2", SanText, 0},
    // Plain Nd2 is fine when the other knight is pinned.
    {"3k4/8/8/8/8/1N6/8/1N1K4 w - - 0 1", "Nd2", SanText, 0},
    {"3k4/8/8/8/8/5N2/8/qN1K4 w - - 0 1", "Nd2", SanText, encodeMove(sq("f3"), sq("d2"), Knight)},
    // Marks: checks, mates, e.p., annotations.
    {Italian, "Qxf7#", SanText, encodeMove(sq("f3"), sq("f7"), Queen)},
    {Italian, "Qxf7++", SanText, encodeMove(sq("f3"), sq("f7"), Queen)},
    {Italian, "Qxf7+", SanText, encodeMove(sq("f3"), sq("f7"), Queen)},
    {Italian, "Qxf7", SanText, encodeMove(sq("f3"), sq("f7"), Queen)},
    {Italian, "Qf7#", SanText, 0},  // a capture without the x
    {Italian, "Qxf7+#", SanText, 0},
    {Italian, "Qh5+", SanText, 0},  // not a check
    {Italian, "Qh5", SanText, encodeMove(sq("f3"), sq("h5"), Queen)},
    {Italian, "Bxf7+", SanText, encodeMove(sq("c4"), sq("f7"), Bishop)},
    {Italian, "Bxf7#", SanText, 0},  // check, not mate
    {Italian, "d4!", SanText, encodeMove(sq("d2"), sq("d4"), Pawn)},
    {Italian, "d4!?", SanText, encodeMove(sq("d2"), sq("d4"), Pawn)},
    {Italian, "d4!!?", SanText, 0},
    {Italian, "d4 ", SanText, encodeMove(sq("d2"), sq("d4"), Pawn)},
    {EnPassant, "dxe6 e.p.", SanText, encodeMove(sq("d5"), sq("e6"), Pawn)},
    {EnPassant, "dxe6", SanText, encodeMove(sq("d5"), sq("e6"), Pawn)},
    {EnPassant, "dxe6ep", SanText, encodeMove(sq("d5"), sq("e6"), Pawn)},
    {EnPassant, "dxe6e.p.", SanText, encodeMove(sq("d5"), sq("e6"), Pawn)},
    {EnPassant, "dxe6 e.p.ep", SanText, 0},
    {EnPassant, "d5e6", CoordinateText, encodeMove(sq("d5"), sq("e6"), Pawn)},
    {EnPassant, "d6 e.p.", SanText, 0},  // an e.p. mark on a push
    // Garbage.
    {Italian, "", SanText, 0},
    {Italian, "x", SanText, 0},
    {Italian, "Zf3", SanText, 0},
    {Italian, "i9i8", CoordinateText, 0},
    {Italian, "e2e4e5e6e7", CoordinateText, 0},
    {Italian, "\x01\xff", CoordinateText, 0},
};

TEST(Notation, ParsesEveryFormAndRejectsTheRest) {
  for (const ParseCase& c : kParseCases) {
    Position p = fromFen(c.fen);
    const Position before = p;
    Move m = 0xFFFFFFFF;
    const bool ok = parseMove(p, c.text, m, c.mode);
    EXPECT_EQ(ok, c.expected != 0) << c.fen << " '" << c.text << "'";
    if (c.expected) {
      EXPECT_EQ(m, c.expected) << c.text;
    } else {
      EXPECT_EQ(m, 0xFFFFFFFFu) << c.text;  // untouched on failure
    }
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0) << c.text;
  }
}

TEST(Notation, ChessNineSixtyCastlingTexts) {
  // King b1, rooks a1 and c1: castling onto the rooks' squares.
  Position p = fromFen("1k6/8/8/8/8/8/8/RKR5 w CA - 0 1");
  EXPECT_EQ(p.chess960, 1);
  p.castlingAsFiles = 0;
  const Move shortCastle = encodeMove(sq("b1"), sq("c1"), King);
  char text[16];
  EXPECT_STREQ(formatMove(p, shortCastle, Coordinate, text), "O-O");
  EXPECT_STREQ(formatMove(p, shortCastle, SanEnglish, text), "0-0");
  for (const char* form : {"O-O", "0-0", "b1c1"}) {
    Move m = 0;
    EXPECT_TRUE(parseMove(p, form, m, CoordinateText)) << form;
    EXPECT_EQ(m, shortCastle) << form;
  }
  // Rights given as rook files: castling is written as king takes rook.
  p.castlingAsFiles = 1;
  EXPECT_STREQ(formatMove(p, shortCastle, Coordinate, text), "b1c1");
}

TEST(Notation, FormatsEveryStyle) {
  struct Case {
    const char* fen;
    Move move;
    int style;
    const char* text;
  };
  const Move exd5 = encodeMove(sq("e4"), sq("d5"), Pawn);
  const char* const openGame = "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2";
  const Case cases[] = {
      {openGame, exd5, SanEnglish, "exd5"},
      {openGame, exd5, Coordinate, "e4d5"},
      {openGame, exd5, LongGerman, "e4xd5"},
      {openGame, encodeMove(sq("g1"), sq("f3"), Knight), SanGermanMarked, "Sf3"},
      {openGame, encodeMove(sq("g1"), sq("f3"), Knight), LongGermanMarked, "Sg1-f3"},
      {"3k4/8/8/8/8/8/8/1N2K1N1 w - - 0 1", encodeMove(sq("b1"), sq("d2"), Knight), SanEnglish, "Nd2"},
      {"3k4/8/8/8/8/5N2/8/1N1K4 w - - 0 1", encodeMove(sq("b1"), sq("d2"), Knight), SanEnglish, "Nbd2"},
      {"3k4/8/8/8/8/1N6/8/1N1K4 w - - 0 1", encodeMove(sq("b1"), sq("d2"), Knight), SanEnglish, "N1d2"},
      {"k7/8/8/8/8/8/8/K3R2R w - - 0 1", encodeMove(sq("e1"), sq("f1"), Rook), SanEnglish, "Ref1"},
      {"k7/8/8/4R3/8/8/8/K3R3 w - - 0 1", encodeMove(sq("e1"), sq("e3"), Rook), SanEnglish, "R1e3"},
      // Three queens reach e1: neither file nor rank alone tells h4 apart.
      {"1k6/8/8/8/4Q2Q/8/8/K3r2Q w - - 0 1", encodeMove(sq("h4"), sq("e1"), Queen), SanEnglish, "Qh4xe1"},
      {"1k6/8/8/8/4Q2Q/8/8/K3r2Q w - - 0 1", encodeMove(sq("h1"), sq("e1"), Queen), SanEnglish, "Q1xe1"},
      {"1k6/8/8/8/4Q2Q/8/8/K3r2Q w - - 0 1", encodeMove(sq("e4"), sq("e1"), Queen), SanEnglish, "Qexe1"},
      {"r3k3/8/8/8/8/8/8/4K3 b q - 0 1", encodeMove(4, 0, King), SanEnglish, "0-0-0"},
      {"r3k3/8/8/8/8/8/8/4K3 b q - 0 1", encodeMove(4, 0, King), Coordinate, "e8c8"},
      {CastleReady, WhiteShortCastle, Coordinate, "e1g1"},
      {CastleReady, WhiteShortCastle, SanGermanMarked, "0-0"},
      {"4k3/8/8/8/8/8/8/3QK1N1 w - - 0 1", encodeMove(sq("g1"), sq("f3"), Knight), SanGermanMarked, "Sf3"},
      {"4k3/8/8/8/8/8/8/4K1N1 w - - 0 1", encodeMove(sq("g1"), sq("f3"), Knight), SanGermanMarked, "Sf3"},
      {"8/8/8/8/8/4k3/8/4K1N1 w - - 0 1", encodeMove(sq("g1"), sq("f3"), Knight), SanGermanMarked, nullptr},
      {"6k1/8/8/8/8/8/8/4K1N1 w - - 0 1", encodeMove(sq("g1"), sq("h3"), Knight), SanEnglish, "Nh3"},
      {"8/8/8/8/8/8/4k3/4K1N1 w - - 0 1", encodeMove(sq("g1"), sq("f3"), Knight), LongGermanMarked, nullptr},
      {EnPassant, encodeMove(sq("d5"), sq("e6"), Pawn), SanGermanMarked, "dxe6 e.p."},
      {EnPassant, encodeMove(sq("d5"), sq("e6"), Pawn), LongGermanMarked, "d5xe6 e.p."},
      {EnPassant, encodeMove(sq("d5"), sq("e6"), Pawn), SanEnglish, "dxe6"},
      {Promotion, encodeMove(sq("e7"), sq("e8"), Pawn, Queen), Coordinate, "e7e8q"},
      {Promotion, encodeMove(sq("e7"), sq("e8"), Pawn, Queen), SanEnglish, "e8Q"},
      {Promotion, encodeMove(sq("e7"), sq("e8"), Pawn, Queen), SanGermanMarked, "e8D+"},
      {Promotion, encodeMove(sq("e7"), sq("e8"), Pawn, Rook), SanGermanSlash, "e8/R"},
      {Promotion, encodeMove(sq("e7"), sq("e8"), Pawn, Knight), SanGermanLetters, "e8N"},
      {Italian, encodeMove(sq("f3"), sq("f7"), Queen), SanGermanMarked, "Dxf7#"},
      {Italian, encodeMove(sq("f3"), sq("f7"), Queen), LongGermanMarked, "Df3xf7#"},
      {Italian, encodeMove(sq("c4"), sq("f7"), Bishop), SanGermanMarked, "Lxf7+"},
  };
  for (const Case& c : cases) {
    if (!c.text) continue;
    Position p = fromFen(c.fen);
    const Position before = p;
    char text[16];
    EXPECT_STREQ(formatMove(p, c.move, c.style, text), c.text) << c.fen;
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
  }
}

// Every legal move, written in each style, reads back as the same move.
TEST(Notation, EveryWrittenMoveReadsBack) {
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1",
      "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w KQkq - 2 9",
      "1rqbkrbn/1ppppp1p/1n6/p1N3p1/8/2P4P/PP1PPPP1/1RQBKRBN w FBfb - 0 9",
  };
  for (const char* fen : fens) {
    Position p = fromFen(fen);
    for (Move m : testsupport::legalMoves(p)) {
      char text[16];
      for (int style : {Coordinate, SanEnglish, SanGermanMarked, SanGermanLetters, SanGermanSlash}) {
        formatMove(p, m, style, text);
        Move back = 0;
        EXPECT_TRUE(parseMove(p, text, back, style == Coordinate ? CoordinateText : SanText))
            << fen << " style " << style << " '" << text << "'";
        EXPECT_EQ(back, m) << fen << " '" << text << "'";
      }
    }
  }
}

}  // namespace
