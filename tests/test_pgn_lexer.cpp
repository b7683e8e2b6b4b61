// The PGN reader: tokens, tags, comments, variations, SAN moves, the
// termination marker, and every error with the line and column it names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/legality.h"
#include "board/notation.h"
#include "book/pgn_lexer.h"
#include "support/memory_stream.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::TempTextFile;

// Collects what is written on the error stream.
using ErrorSink = testsupport::MemoryStream;

// The moves of a game in coordinate text, replayed from its start. A FEN
// tag may have replaced the board after some moves: a move that does not
// fit is tried once more on the FEN's position.
std::string coordinates(const PgnGame& game) {
  Position p;
  if (game.fen.empty() || !p.setFen(game.fen.c_str())) p.setStartPosition();
  bool fenPending = !game.fen.empty() && game.moves.size() && !isLegalMove(p, game.moves[0]);
  if (fenPending) p.setStartPosition();
  std::string out;
  for (const Move m : game.moves) {
    char text[16];
    if (!out.empty()) out += ' ';
    if (!isLegalMove(p, m)) {
      if (!fenPending || !p.setFen(game.fen.c_str()) || !isLegalMove(p, m)) return out + "?";
      fenPending = false;
    }
    out += formatMove(p, m, Coordinate, text);
    UndoRecord undo;
    undo.save(p);
    p.makeMove(m, undo);
  }
  return out;
}

struct ReadResult {
  std::vector<std::string> games;  // the moves of each game read
  std::string error;               // what the reader reported, without its prefix
};

ReadResult readAll(const std::string& text) {
  TempTextFile file("games.pgn", text);
  ErrorSink errors;
  ReadResult result;
  {
    PgnLexer lexer(file.c_str(), errors.file());
    PgnGame game;
    while (lexer.next(game)) result.games.push_back(coordinates(game));
  }
  result.error = errors.text();
  const std::string prefix = "info string PGN-Parser: file " + file.path() + " ";
  if (result.error.compare(0, prefix.size(), prefix) == 0) result.error.erase(0, prefix.size());
  return result;
}

const std::string Tags = "[White \"a\"]\n[Black \"b\"]\n[Result \"*\"]\n";  // three lines

TEST(PgnLexer, GamesThatRead) {
  const struct {
    const char* what;
    std::string text;
    std::vector<std::string> games;
  } cases[] = {
      {"plain game", Tags + "1. e4 e5 2. Nf3 *\n", {"e2e4 e7e5 g1f3"}},
      {"comments of every kind",
       "% a first-line comment\n" + Tags +
           "{ a comment\nover two lines } 1. e4 ; e4 e4 e4\n%e4 in column 1\n1... e5 {x}2. Nf3 *",
       {"e2e4 e7e5 g1f3"}},
      {"nested variations, illegal moves inside", Tags + "1. e4 (1. d4 (1. Kxx9 ) d5 ) (1. c4) e5 *", {"e2e4 e7e5"}},
      {"numeric annotation glyphs", Tags + "1. e4 $1 $14 e5$2 *", {"e2e4 e7e5"}},
      {"move numbers in every form", Tags + "1.e4 e5 2. Nf3 2... Nc6 3.Bb5 *", {"e2e4 e7e5 g1f3 b8c6 f1b5"}},
      {"German piece letters", Tags + "1. e4 e5 2. Sf3 Sc6 3. Lb5 *", {"e2e4 e7e5 g1f3 b8c6 f1b5"}},
      {"check and mate marks",
       "[White \"a\"]\n[Black \"b\"]\n[Result \"1-0\"]\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0",
       {"e2e4 e7e5 d1h5 b8c6 f1c4 g8f6 h5f7"}},
      {"castling", Tags + "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O Nf6 5. d3 0-0 *",
       {"e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 e1g1 g8f6 d2d3 e8g8"}},
      {"promotion from a FEN", Tags + "[FEN \"8/P7/8/8/8/8/8/k6K w - - 0 1\"]\n1. a8=Q+ *", {"a7a8q"}},
      {"FEN tag after moves replaces the board", Tags + "1. e4 [FEN \"4k3/8/8/8/8/8/8/4K3 w - - 0 1\"] Kd2 *",
       {"e2e4 e1d2"}},
      {"draw marker", "[White \"a\"]\n[Black \"b\"]\n[Result \"1/2-1/2\"]\n1. d4 1/2-1/2", {"d2d4"}},
      {"carriage returns", "[White \"a\"]\r\n[Black \"b\"]\r\n[Result \"*\"]\r\n\r\n1. e4 ; x\r\ne5 *\r\n",
       {"e2e4 e7e5"}},
      {"a game without moves", Tags + "*", {""}},
      {"two games", Tags + "1. e4 *\n\n" + Tags + "1. d4 d5 *\n", {"e2e4", "d2d4 d7d5"}},
      {"a complete game, then one without a marker", Tags + "1. e4 *\n\n" + Tags + "1. d4 d5\n", {"e2e4"}},
      {"high bytes in comments", Tags + "{caf\xe9 \xff} 1. e4 ; \xfe\xfd\n*", {"e2e4"}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    const ReadResult r = readAll(c.text);
    EXPECT_EQ(r.games, c.games) << c.what;
    EXPECT_EQ(r.error, "") << c.what;
  }
}

TEST(PgnLexer, EveryErrorWithItsLineAndColumn) {
  const struct {
    const char* what;
    std::string text;
    std::string error;  // after "file F "
  } cases[] = {
      {"illegal move inside a line", Tags + "1. e4 Ke2 e5 *\n", "line 4 char 10: illegal move Ke2"},
      {"illegal move at a line end", Tags + "1. e4 e5 Qxf7\n*", "line 5 char 0: illegal move Qxf7"},
      {"annotation mark after a move", Tags + "1. e4! e5 *\n", "line 4 char 7: illegal move !"},
      // Marks are single characters: "??" is two symbols.
      {"annotation mark alone", Tags + "1. e4 ?? e5 *\n", "line 4 char 8: illegal move ?"},
      {"a high byte as a move", Tags + "1. e4 \xe4 *", "line 4 char 8: illegal move \xe4"},
      {"percent sign not in column 1", Tags + " % 1. e4 *", "line 4 char 3: illegal move %"},
      {"string among the moves", Tags + "1. e4 \"hello\" e5 *", "line 4 char 14: unexpected string hello"},
      {"closing parenthesis without a variation", Tags + "1. e4 ) e5 *", "line 4 char 8: unexpected ')'"},
      {"closing bracket outside a tag", Tags + "1. e4 ] *", "line 4 char 8: unexpected ']'"},
      {"end of file inside a variation", Tags + "1. e4 (1. d4 d5", "line 4 char 16: unexpected end of file"},
      {"tag without a name", "[\"x\" \"y\"]\n", "line 1 char 5: symbol expected"},
      {"tag name without a string", "[White x]\n", "line 1 char 9: String erwartet"},
      {"tag value without a bracket", "[White \"a\" \"b\"]\n", "line 1 char 15: ']' expected"},
      {"marker other than the Result tag",
       "[White \"a\"]\n[Black \"b\"]\n[Result \"1-0\"]\n1. e4 0-1 \n",
       "line 4 char 10: Game termination marker different from Result"},
      {"decisive marker without a Result tag", "[White \"a\"]\n[Black \"b\"]\n1. e4 1-0 ",
       "line 3 char 10: Game termination marker different from Result"},
      {"star without a Result tag", "[White \"a\"]\n[Black \"b\"]\n1. e4 * ",
       "line 3 char 8: 'Result' missing (in game above current line)"},
      {"White missing", "[Black \"b\"]\n[Result \"*\"]\n* ",
       "line 3 char 2: 'White' missing (in game above current line)"},
      {"Black missing", "[White \"a\"]\n[Result \"*\"]\n* ",
       "line 3 char 2: 'Black' missing (in game above current line)"},
      {"FEN the board refuses", "[FEN \"bad\"]\n", "line 1 char 11: illegal FEN bad"},
  };
  for (const auto& c : cases) {
    const ReadResult r = readAll(c.text);
    EXPECT_TRUE(r.games.empty()) << c.what;
    EXPECT_EQ(r.error, c.error + "\n") << c.what;
  }
  // The first game is kept when the second fails; reading stops there.
  const ReadResult r = readAll(Tags + "1. e4 *\n" + Tags + "1. e5 *\n" + Tags + "1. d4 *\n");
  EXPECT_EQ(r.games, std::vector<std::string>{"e2e4"});
  EXPECT_EQ(r.error, "line 8 char 6: illegal move e5\n");
}

// A file with a line longer than 2^31 characters, or with more than 2^31
// lines, must still name the true place of an error. The counters are
// started just below the 32-bit limits instead of reading that much text.
TEST(PgnLexer, ErrorPlacesBeyondThirtyTwoBits) {
  constexpr int64_t Int32Max = 2147483647;   // 2^31 - 1
  constexpr int64_t Uint32Max = 4294967295;  // 2^32 - 1
  const struct {
    const char* what;
    int64_t line, column;  // where the text's first character stands
    std::string text;
    std::string error;  // after "file F "
  } cases[] = {
      // "?" ends at the text's 8th character: 7 columns on from the start.
      {"column past 2^31 on a long line", 1, Int32Max - 3, "1. e4 ?? e5 *",
       "line 1 char 2147483651: illegal move ?"},
      {"column past 2^32 on a long line", 7, Uint32Max - 1, "1. e4 ?? e5 *",
       "line 7 char 4294967301: illegal move ?"},
      {"end of file past 2^31 columns", 1, Int32Max, "1. e4 (1. d4 d5",
       "line 1 char 2147483662: unexpected end of file"},
      {"line past 2^31", Int32Max - 1, 5, "; a\n\n\n1. e4 ?? e5 *", "line 2147483649 char 8: illegal move ?"},
      {"line past 2^32", Uint32Max, 1, ";\n\n1. e4 ?? e5 *", "line 4294967297 char 8: illegal move ?"},
      // The line end resets the column, even from beyond 2^31.
      {"next line after a long one", Int32Max, Int32Max + 10, "; x\n1. e4 Ke2 *",
       "line 2147483648 char 10: illegal move Ke2"},
  };
  for (const auto& c : cases) {
    TempTextFile file("far.pgn", c.text);
    ErrorSink errors;
    {
      PgnLexer lexer(file.c_str(), errors.file());
      lexer.startCountingAt(c.line, c.column);
      PgnGame game;
      EXPECT_FALSE(lexer.next(game)) << c.what;
      // The reader stops at the error; its counters say the same.
      const std::string place =
          "line " + std::to_string(lexer.line()) + " char " + std::to_string(lexer.column()) + ":";
      EXPECT_EQ(c.error.compare(0, place.size(), place), 0) << c.what << ": " << place;
    }
    EXPECT_EQ(errors.text(), "info string PGN-Parser: file " + file.path() + " " + c.error + "\n") << c.what;
  }
}

TEST(PgnLexer, TokensAndTheirTexts) {
  TempTextFile file("tokens.pgn", "[Tag \"v\\\"x\\\\\"] 12. e4! $7 ( ) * 1-0 1/2-1/2 {c} ;c\n%c\nO-O#");
  PgnLexer lexer(file.c_str());
  const std::vector<std::pair<int, std::string>> expected = {
      {PgnOpenBracket, "["}, {PgnSymbol, "Tag"},   {PgnString, "v\"x\\"},  {PgnCloseBracket, "]"},
      {PgnInteger, "12"},    {PgnDot, "."},        {PgnSymbol, "e4"},      {PgnSymbol, "!"},
      {PgnGlyph, "7"},       {PgnOpenParen, "("},  {PgnCloseParen, ")"},   {PgnStar, "*"},
      {PgnSymbol, "1-0"},    {PgnSymbol, "1/2-1/2"}, {PgnSymbol, "O-O#"}, {PgnEndOfFile, ""},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(lexer.nextToken(), e.first) << e.second;
    EXPECT_EQ(lexer.tokenText(), e.second);
  }
  EXPECT_EQ(lexer.nextToken(), PgnEndOfFile);
}

TEST(PgnLexer, TagsResultsAndRatings) {
  TempTextFile file("tags.pgn",
                    "[Event \"A \\\"quoted\\\" \\\\ back\"]\n[White \"Ann\"]\n[Black \"Bo\"]\n[Result \"0-1\"]\n"
                    "[WhiteElo \"2400\"]\n1. f3 e5 2. g4 Qh4# 0-1\n\n"
                    "[White \"C\"]\n[Black \"D\"]\n[Result \"1-0\"]\n[WhiteElo \"1500\"]\n"
                    "[BlackElo \"1600\"]\n1. e4 1-0\n"
                    "[White \"E\"]\n[Black \"F\"]\n[Result \"1/2-1/2\"]\n[WhiteElo \"  2350xyz\"]\n"
                    "[BlackElo \"2200\"]\n"
                    "[White \"G\"]\n1. d4 1/2-1/2\n");
  PgnLexer lexer(file.c_str());
  PgnGame game;
  ASSERT_TRUE(lexer.next(game));
  EXPECT_EQ(game.tag("Event"), "A \"quoted\" \\ back");
  EXPECT_EQ(game.tag("White"), "Ann");
  EXPECT_EQ(game.tag("Round"), "");
  EXPECT_EQ(game.result, BlackWins);
  EXPECT_EQ(game.whiteElo, 2400);
  EXPECT_EQ(game.blackElo, 0);
  EXPECT_EQ(game.moves.size(), 4u);
  EXPECT_EQ(game.fen, "");
  // Games below the minimum rating are passed over.
  ASSERT_TRUE(lexer.next(game, 2000));
  EXPECT_EQ(game.result, Draw);
  EXPECT_EQ(game.whiteElo, 2350);
  EXPECT_EQ(game.blackElo, 2200);
  EXPECT_EQ(game.tag("White"), "G");  // a later tag replaces the earlier one
  EXPECT_FALSE(lexer.next(game));
}

TEST(PgnLexer, FileThatCannotBeOpened) {
  ErrorSink errors;
  PgnLexer lexer("/nonexistent/brakken/games.pgn", errors.file());
  EXPECT_FALSE(lexer.isOpen());
  EXPECT_EQ(errors.text(),
            "info string PGN-Parser: file /nonexistent/brakken/games.pgn line 1 char 0: Cannot open file\n");
  PgnGame game;
  EXPECT_FALSE(lexer.next(game));
  EXPECT_EQ(lexer.nextToken(), PgnEndOfFile);
}

}  // namespace
