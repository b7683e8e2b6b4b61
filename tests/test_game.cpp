#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/game.h"
#include "board/notation.h"

namespace {

std::string fenOf(const Game& g) {
  char out[128];
  g.toFen(out);
  return out;
}

void play(Game& g, const char* sanMoves) {
  std::string all(sanMoves);
  size_t i = 0;
  while (i < all.size()) {
    size_t j = all.find(' ', i);
    if (j == std::string::npos) j = all.size();
    std::string text = all.substr(i, j - i);
    i = j + 1;
    if (text.empty()) continue;
    Move m = 0;
    ASSERT_TRUE(parseMove(g.position, text.c_str(), m, SanText)) << text;
    g.playMove(m);
  }
}

TEST(Game, FenCountersFollowTheGame) {
  Game g;
  EXPECT_EQ(fenOf(g), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  play(g, "e4 e5 Nf3 Nc6");
  EXPECT_EQ(fenOf(g), "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
  // The move number is the game's own, not derived from the repetition count.
  ASSERT_TRUE(g.setFen("4k3/8/8/8/8/8/8/4K2R w K - 5 40"));
  EXPECT_EQ(fenOf(g), "4k3/8/8/8/8/8/8/4K2R w K - 5 40");
  play(g, "Kd2 Kd7");
  EXPECT_EQ(fenOf(g), "8/3k4/8/8/8/8/3K4/7R w - - 7 41");
  EXPECT_FALSE(g.setFen("not a fen"));
  EXPECT_EQ(fenOf(g), "8/3k4/8/8/8/8/3K4/7R w - - 7 41");
}

TEST(Game, FiftyMoveRule) {
  Game g;
  ASSERT_TRUE(g.setFen("4k3/8/8/8/8/8/8/4K2R w - - 99 80"));
  EXPECT_EQ(g.count, 100);
  EXPECT_EQ(g.drawStatus(), NoDraw);
  play(g, "Rh2");
  EXPECT_EQ(g.count, 101);
  EXPECT_EQ(g.drawStatus(), DrawByFiftyMoves);
  play(g, "Kd7 Rh3 Ke7");
  EXPECT_EQ(g.count, 101);  // the record stops growing
  EXPECT_EQ(g.drawStatus(), DrawByFiftyMoves);
  // A clock of 100 or more is a full record, the draw claimable at once;
  // one above 100 reads as 100, a negative one as 0.
  const struct {
    const char* fen;
    int count;
    int draw;
    const char* written;
  } clocks[] = {
      {"4k3/8/8/8/8/8/8/4K2R w - - 100 80", 101, DrawByFiftyMoves, "4k3/8/8/8/8/8/8/4K2R w - - 100 80"},
      {"4k3/8/8/8/8/8/8/4K2R w - - 150 80", 101, DrawByFiftyMoves, "4k3/8/8/8/8/8/8/4K2R w - - 100 80"},
      {"4k3/8/8/8/8/8/8/4K2R w - - 2147483647 80", 101, DrawByFiftyMoves, "4k3/8/8/8/8/8/8/4K2R w - - 100 80"},
      {"4k3/8/8/8/8/8/8/4K2R w - - -1 80", 1, NoDraw, "4k3/8/8/8/8/8/8/4K2R w - - 0 80"},
  };
  for (const auto& c : clocks) {
    ASSERT_TRUE(g.setFen(c.fen));
    EXPECT_EQ(g.count, c.count) << c.fen;
    EXPECT_EQ(g.drawStatus(), c.draw) << c.fen;
    EXPECT_EQ(fenOf(g), c.written);
  }
}

// The search sees the fifty-move draw in every position reached from a
// full record without a capture or pawn move, unless that move mated.
TEST(Game, FiftyMoveDrawForTheSearch) {
  Game g;
  ASSERT_TRUE(g.setFen("k7/8/1K6/8/8/8/8/n5R1 w - - 100 80"));
  const struct {
    const char* move;
    int status;
  } cases[] = {{"Rg7", DrawByFiftyMoves}, {"Rg8", NoDraw}, {"Rxa1", NoDraw}, {"Kc6", DrawByFiftyMoves}};
  for (const auto& c : cases) {
    UndoRecord undo;
    undo.save(g.position);
    Move m = 0;
    ASSERT_TRUE(parseMove(g.position, c.move, m, SanText)) << c.move;
    ASSERT_TRUE(g.position.makeMove(m, undo));
    EXPECT_EQ(g.repetitionStatus(), c.status) << c.move;
    undo.restore();
  }
  ASSERT_TRUE(g.setFen("k7/8/1K6/8/8/8/8/n5R1 w - - 99 80"));
  EXPECT_NE(g.repetitionStatus(), DrawByFiftyMoves);
}

TEST(Game, ThreefoldRepetition) {
  Game g;
  play(g, "Nf3 Nf6 Ng1 Ng8");
  EXPECT_EQ(g.drawStatus(), NoDraw);
  play(g, "Nf3 Nf6 Ng1 Ng8");
  EXPECT_EQ(g.drawStatus(), DrawByRepetition);
  // A pawn move starts a new record.
  play(g, "e4");
  EXPECT_EQ(g.count, 1);
  EXPECT_EQ(g.drawStatus(), NoDraw);
}

TEST(Game, RepetitionStatusForTheSearch) {
  Game g;
  play(g, "Nf3 Nf6 Ng1 Ng8");
  // The root position (entry 4) occurred once before: a node equal to it
  // finds two matches.
  EXPECT_EQ(g.repetitionStatus(), DrawByRepetition);
  Game fresh;
  EXPECT_EQ(fresh.repetitionStatus(), DrawByRepetitionOnce);
  // A search node that is not the root: make moves on the position itself.
  UndoRecord u1, u2;
  u1.save(fresh.position);
  Move m = 0;
  ASSERT_TRUE(parseMove(fresh.position, "Nf3", m, SanText));
  ASSERT_TRUE(fresh.position.makeMove(m, u1));
  EXPECT_EQ(fresh.repetitionStatus(), NoDraw);
  u1.restore();
  // After a FEN with a half-move clock, placeholders never match.
  ASSERT_TRUE(g.setFen("4k3/8/8/8/8/8/8/R3K3 w - - 7 30"));
  play(g, "Ra2 Kd7 Ra1 Ke8");
  EXPECT_EQ(g.repetitionStatus(), DrawByRepetition);
  EXPECT_EQ(g.drawStatus(), NoDraw);  // twice only
}

// The moves of a line, in SAN, played from the game as it stands.
std::vector<Move> lineOf(const Game& game, const char* sanMoves) {
  Game g = game;
  std::vector<Move> line;
  std::istringstream words(sanMoves);
  std::string text;
  while (words >> text) {
    Move m = 0;
    if (!parseMove(g.position, text.c_str(), m, SanText)) {
      ADD_FAILURE() << text;
      break;
    }
    line.push_back(m);
    g.playMove(m);
  }
  return line;
}

// A line shown to a client ends with the move after which the game would be
// over: a position on the board for the third time (the game's own earlier
// positions count) or a hundred reversible plies.
TEST(Game, ALineEndsWhereTheGameWould) {
  const struct {
    const char* fen;     // null: the start position
    const char* played;  // moves of the game before the line
    const char* line;
    int expected;
  } cases[] = {
      {nullptr, "", "Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 e4", 8},          // the start position a third time
      {nullptr, "Nf3 Nf6 Ng1 Ng8", "Nf3 Nf6 Ng1 Ng8 e4 e5", 4},         // twice in the game already
      {nullptr, "Nf3 Nf6 Ng1 Ng8 Nf3", "Nf6 Ng1 Ng8 Nf3 Nf6", 3},       // the start position a third time
      {nullptr, "Nf3 Nf6 Ng1 Ng8", "e4 e5 Nf3 Nf6", 4},                 // a pawn move ends the old record
      {nullptr, "", "Nf3 Nf6 Ng1 Ng8 Nc3 Nc6 Nb1 Nb8", 8},              // twice is not the end
      {"4k3/8/8/8/8/8/8/4K2R w - - 97 80", "", "Kd2 Kd7 Kd3 Kd6 Kd4", 3},  // the hundredth ply
      {"4k3/8/8/8/8/8/8/4K2R w - - 99 80", "", "Kd2 Kd7", 1},
      {"4k3/8/8/8/8/8/8/4K2R w - - 120 80", "", "Kd2 Kd7", 1},       // a clock past a hundred
      {"6k1/8/6K1/8/8/8/8/R7 w - - 99 80", "", "Ra8#", 1},              // the hundredth ply mates
      {"4k3/8/8/8/8/8/3p4/4K2R w - - 99 80", "", "Kxd2 Kd7 Kd3", 3},    // a capture restarts the count
      {nullptr, "", "", 0},
  };
  for (const auto& c : cases) {
    Game g;
    if (c.fen) {
      ASSERT_TRUE(g.setFen(c.fen)) << c.fen;
    }
    play(g, c.played);
    const std::vector<Move> line = lineOf(g, c.line);
    EXPECT_EQ(g.movesBeforeGameEnd(line.data(), int(line.size())), c.expected) << c.played << " | " << c.line;
  }
}

TEST(Game, ALineEndsBeforeAMoveThatIsNotLegal) {
  Game g;
  std::vector<Move> line = lineOf(g, "e4 e5 Nf3");
  line.insert(line.begin() + 1, lineOf(g, "d4")[0]);  // white to move twice in a row
  EXPECT_EQ(g.movesBeforeGameEnd(line.data(), int(line.size())), 1);
  const Move garbage[] = {line[0], Move(0x00FFFFFFu)};
  EXPECT_EQ(g.movesBeforeGameEnd(garbage, 2), 1);
}

TEST(Game, MaterialAndBlockedPawnDraws) {
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/4K3 w - -", DrawByMaterial},
      {"4k3/8/8/8/8/8/8/4KB2 w - -", DrawByMaterial},
      {"4k3/8/8/8/8/8/8/4KN2 w - -", DrawByMaterial},
      {"4k3/8/8/8/8/8/8/3NKN2 w - -", NoDraw},
      {"2b1k3/8/8/8/8/8/8/4KB2 w - -", DrawByMaterial},   // all on light squares
      {"4kb2/8/8/8/8/8/8/2B1K3 w - -", DrawByMaterial},   // all on dark squares
      {"4kb2/8/8/8/8/8/8/4KB2 w - -", NoDraw},            // one light, one dark
      {"4k3/8/8/8/8/8/8/4K2R w - -", NoDraw},
      {"4k3/8/8/p1p1p1p1/PpPpPpPp/1P1P1P1P/8/4K3 w - -", DrawByBlockedPawns},
      {"4k3/8/8/7p/p1p1p1pP/P1P1P1P1/8/4K3 w - -", DrawByBlockedPawns},
      {"4k3/8/8/p7/P7/8/8/4K3 w - -", NoDraw},  // the kings can walk to the pawns
      {"4k3/8/8/1p1p1p1p/pPpPpPpP/P1P1P1P1/8/4K3 w - -", DrawByBlockedPawns},
      {"4k3/8/8/1p3p1p/pPpPpPpP/P1P1P1P1/8/4K3 w - -", NoDraw},  // d4 not blocked
  };
  for (const Case& c : cases) {
    Position p;
    ASSERT_NE(p.setFen(c.fen), nullptr) << c.fen;
    EXPECT_EQ(p.staticDrawStatus(), c.expected) << c.fen;
  }
}

TEST(Game, CastlingIsReversibleAndSetPositionRestarts) {
  Game g;
  ASSERT_TRUE(g.setFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  play(g, "O-O");
  EXPECT_EQ(g.count, 2);
  EXPECT_NE(g.history[0], g.history[1]);
  Game other;
  other.setPosition(&g.position);
  EXPECT_EQ(other.count, 1);
  EXPECT_EQ(other.position.hashKey, g.position.hashKey);
  other.setPosition(nullptr);
  EXPECT_EQ(fenOf(other), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  other.setChess960(959);
  EXPECT_EQ(other.position.chess960, 1);
}

}  // namespace
