// Reads a PGN file game by game: splits the text into tokens, reads the tag
// pairs, plays the SAN moves (English or German piece letters) on a board,
// skips comments, move numbers, annotation glyphs and variations, and checks
// the termination marker against the Result tag. One reader serves one file
// from its start to the first game that cannot be read; its users stop
// there. Errors go to standard error as
//   info string PGN-Parser: file F line L char C: message
// where L and C are those of the first character after the offending token.
// The end of the file is not an error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "board/position.h"
#include "board/types.h"

enum PgnTokenKind : int {
  PgnString = 0,   // "..." without the quotes, escapes resolved
  PgnInteger = 1,  // a symbol of digits only
  PgnDot = 2,
  PgnStar = 3,
  PgnOpenParen = 4,
  PgnCloseParen = 5,
  PgnOpenBracket = 6,
  PgnCloseBracket = 7,
  PgnGlyph = 8,  // "$" and digits; the text holds the digits
  PgnSymbol = 9,
  PgnEndOfFile = 10,
};

using PgnTags = std::map<std::string, std::string>;

// Result codes of a game.
enum PgnResult : int { WhiteWins = 0, BlackWins = 1, Draw = 2, UnknownResult = 3 };

// One game as the reader hands it out.
struct PgnGame {
  std::vector<Move> moves;  // in the order played
  PgnTags tags;             // a later tag of the same name replaces the earlier one
  int result = UnknownResult;
  int whiteElo = 0;  // 0 when the tag is missing
  int blackElo = 0;
  std::string fen;  // empty without a FEN tag

  // The value of a tag, or an empty text.
  const std::string& tag(const std::string& name) const;
};

class PgnLexer {
 public:
  // Token and tag texts longer than this are cut; the rest is read and
  // dropped, so a runaway string cannot take all memory.
  static constexpr size_t MaxTokenText = 65536;

  // Opens the file and reads its first character. A file that cannot be
  // opened is reported ("Cannot open file") and the reader stays closed.
  // Errors are written to the given stream (standard error by default).
  explicit PgnLexer(const char* fileName, std::FILE* errors = stderr);
  ~PgnLexer();
  PgnLexer(const PgnLexer&) = delete;
  PgnLexer& operator=(const PgnLexer&) = delete;

  bool isOpen() const { return in_ != nullptr; }
  // How the castling rights of the FEN tags of the games read from now on
  // are taken; by default as the board setup detects them.
  void setFenCastling(FenCastling reading) { fenCastling_ = reading; }
  FenCastling fenCastling() const { return fenCastling_; }
  int64_t line() const { return line_; }
  int64_t column() const { return column_; }
  const std::string& tokenText() const { return text_; }

  // Places the current character at the given line and column; the
  // following ones are counted on from there, as if that much text had
  // come before. (The current character is counted when it is read: after a
  // line end the line is already the next one.) Lets a test reach counts
  // past 2^31 without reading gigabytes.
  void startCountingAt(int64_t line, int64_t column) {
    line_ = line;
    column_ = column;
  }

  // The next game with the details of its tags, skipping games in which
  // either Elo is below minimumElo (-1 skips none). False at the end of the
  // file or at the first game that cannot be read.
  bool next(PgnGame& game, int minimumElo = -1);

  // The same with separate outputs; every pointer may be null.
  bool readNextGame(std::vector<Move>& moves, PgnTags* tags, int* result, std::string* fen, int* whiteElo,
                    int* blackElo, int minimumElo);
  // Reads the next game; true only for a complete, consistent game.
  bool readGame(std::vector<Move>& moves, PgnTags& tags);
  // Whether White, Black and Result are present; reports the first missing.
  bool checkRequiredTags(const PgnTags& tags);

  // --- the tokenizer ---
  // One character into the current character; false at the end of the file.
  bool nextChar();
  PgnTokenKind nextToken();
  // Skips white space, ";" and "{" comments and lines with "%" in column 1;
  // false when the end of the file came.
  bool skipSpace();
  PgnTokenKind readString();
  PgnTokenKind readNag();
  PgnTokenKind readSymbol();
  // Writes one error line; extra may be null.
  void error(const char* message, const char* extra);

 private:
  void append(char c) {
    if (text_.size() < MaxTokenText) text_ += c;
  }

  std::FILE* in_ = nullptr;
  std::FILE* errors_;
  // 64 bits: a file may hold more than 2^31 lines, or a line longer than
  // 2^31 characters.
  int64_t line_ = 1;
  int64_t column_ = 0;
  std::string fileName_;
  std::string text_;
  int current_ = EOF;
  bool atEnd_ = false;
  FenCastling fenCastling_ = FenCastling::Detect;
  Position position_;
};
