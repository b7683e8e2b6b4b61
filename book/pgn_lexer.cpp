#include "book/pgn_lexer.h"

#include <cctype>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "board/notation.h"
#include "common/input_file.h"

namespace {

bool isSymbolChar(int c) {
  if (c == EOF || c == 0) return false;
  const unsigned char u = static_cast<unsigned char>(c);
  return std::isdigit(u) || std::isalpha(u) || std::strchr("_+#=:-/", c);
}

bool isResultMarker(const std::string& text) { return text == "1-0" || text == "0-1" || text == "1/2-1/2"; }

// Converted as strtol does: leading blanks skipped, stops at the first
// unfit character, nothing convertible gives 0; a missing tag gives 0.
int eloOf(const PgnTags& tags, const char* name) {
  const auto it = tags.find(name);
  if (it == tags.end()) return 0;
  long v = std::strtol(it->second.c_str(), nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return int(v);
}

int resultCode(const PgnTags& tags) {
  const auto it = tags.find("Result");
  if (it == tags.end()) return UnknownResult;
  if (it->second == "1-0") return WhiteWins;
  if (it->second == "0-1") return BlackWins;
  if (it->second == "1/2-1/2") return Draw;
  return UnknownResult;
}

}  // namespace

const std::string& PgnGame::tag(const std::string& name) const {
  static const std::string none;
  const auto it = tags.find(name);
  return it == tags.end() ? none : it->second;
}

PgnLexer::PgnLexer(const char* fileName, std::FILE* errors)
    : errors_(errors ? errors : stderr), fileName_(fileName ? fileName : "") {
  in_ = openInputFile(fileName_.c_str(), "rb");
  if (!in_) {
    atEnd_ = true;
    error("Cannot open file", nullptr);
    return;
  }
  nextChar();
}

PgnLexer::~PgnLexer() {
  if (in_) std::fclose(in_);
}

void PgnLexer::error(const char* message, const char* extra) {
  std::fprintf(errors_, "info string PGN-Parser: file %s line %" PRId64 " char %" PRId64 ": %s%s\n",
               fileName_.c_str(), line_, column_, message, extra ? extra : "");
  std::fflush(errors_);
}

bool PgnLexer::nextChar() {
  if (atEnd_) return false;
  const int c = getc_unlocked(in_);
  // The end of the file stands one column after the last character.
  ++column_;
  current_ = c;
  if (c == EOF) {
    atEnd_ = true;
    return false;
  }
  if (c == '\n') {
    ++line_;
    column_ = 0;
  }
  return true;
}

bool PgnLexer::skipSpace() {
  for (;;) {
    if (atEnd_) return false;
    const int c = current_;
    if (std::isspace(static_cast<unsigned char>(c))) {
      nextChar();
    } else if (c == ';' || (c == '%' && column_ == 1)) {
      while (nextChar() && current_ != '\n' && current_ != '\r') {
      }
    } else if (c == '{') {
      // Braces do not nest: the first "}" ends the comment.
      while (nextChar() && current_ != '}') {
      }
      nextChar();
    } else {
      return true;
    }
  }
}

PgnTokenKind PgnLexer::nextToken() {
  text_.clear();
  if (!skipSpace()) return PgnEndOfFile;
  PgnTokenKind kind;
  switch (current_) {
    case '"':
      return readString();
    case '$':
      return readNag();
    case '(': kind = PgnOpenParen; break;
    case ')': kind = PgnCloseParen; break;
    case '*': kind = PgnStar; break;
    case '.': kind = PgnDot; break;
    case '[': kind = PgnOpenBracket; break;
    case ']': kind = PgnCloseBracket; break;
    default:
      return readSymbol();
  }
  text_ += char(current_);
  nextChar();
  return kind;
}

PgnTokenKind PgnLexer::readString() {
  while (nextChar()) {
    if (current_ == '\\') {
      // The next character belongs to the text, whatever it is.
      if (!nextChar()) break;
      append(char(current_));
    } else if (current_ == '"') {
      nextChar();
      break;
    } else {
      append(char(current_));
    }
  }
  // A string cut off by the end of the file still counts as one.
  return PgnString;
}

PgnTokenKind PgnLexer::readNag() {
  while (nextChar() && std::isdigit(static_cast<unsigned char>(current_))) append(char(current_));
  return PgnGlyph;
}

PgnTokenKind PgnLexer::readSymbol() {
  bool digitsOnly = std::isdigit(static_cast<unsigned char>(current_)) != 0;
  append(char(current_));
  while (nextChar() && isSymbolChar(current_)) {
    digitsOnly = digitsOnly && std::isdigit(static_cast<unsigned char>(current_));
    append(char(current_));
  }
  return digitsOnly ? PgnInteger : PgnSymbol;
}

bool PgnLexer::checkRequiredTags(const PgnTags& tags) {
  static const char* const required[] = {"White", "Black", "Result"};
  static const char* const messages[] = {"'White' missing (in game above current line)",
                                         "'Black' missing (in game above current line)",
                                         "'Result' missing (in game above current line)"};
  for (int i = 0; i < 3; ++i)
    if (!tags.count(required[i])) {
      error(messages[i], nullptr);
      return false;
    }
  return true;
}

bool PgnLexer::readGame(std::vector<Move>& moves, PgnTags& tags) {
  moves.clear();
  tags.clear();
  std::string expected = "*";
  position_.setStartPosition();
  if (!in_) return false;
  for (;;) {
    switch (nextToken()) {
      case PgnInteger:
      case PgnDot:
      case PgnGlyph:
        // Move numbers and annotation glyphs carry no meaning here.
        break;
      case PgnOpenBracket: {
        if (nextToken() != PgnSymbol) {
          error("symbol expected", nullptr);
          return false;
        }
        const std::string name = text_;
        if (nextToken() != PgnString) {
          error("String erwartet", nullptr);
          return false;
        }
        const std::string& value = tags[name] = text_;
        if (name == "Result") expected = value;
        if (name == "FEN" && !position_.setFen(value.c_str(), fenCastling_)) {
          // Moves read against a board the FEN did not set up would be
          // nonsense or fail later with a misleading message.
          error("illegal FEN ", value.c_str());
          return false;
        }
        if (nextToken() != PgnCloseBracket) {
          error("']' expected", nullptr);
          return false;
        }
        break;
      }
      case PgnOpenParen: {
        // Variations are skipped whole, nested ones included.
        int depth = 1;
        while (depth > 0) {
          const PgnTokenKind kind = nextToken();
          if (kind == PgnEndOfFile) {
            error("unexpected end of file", nullptr);
            return false;
          }
          if (kind == PgnOpenParen) ++depth;
          else if (kind == PgnCloseParen) --depth;
        }
        break;
      }
      case PgnSymbol:
        if (!isResultMarker(text_)) {
          Move move = 0;
          if (!parseMove(position_, text_.c_str(), move, SanText)) {
            error("illegal move ", text_.c_str());
            return false;
          }
          UndoRecord undo;
          undo.save(position_);
          position_.makeMove(move, undo);
          moves.push_back(move);
          break;
        }
        [[fallthrough]];
      case PgnStar:
        if (text_ != expected) {
          error("Game termination marker different from Result", nullptr);
          return false;
        }
        return checkRequiredTags(tags);
      case PgnString:
        error("unexpected string ", text_.c_str());
        return false;
      case PgnCloseParen:
        error("unexpected ')'", nullptr);
        return false;
      case PgnCloseBracket:
        error("unexpected ']'", nullptr);
        return false;
      case PgnEndOfFile:
        return false;
    }
  }
}

bool PgnLexer::readNextGame(std::vector<Move>& moves, PgnTags* tags, int* result, std::string* fen, int* whiteElo,
                            int* blackElo, int minimumElo) {
  if (result) *result = UnknownResult;
  PgnTags own;
  PgnTags& t = tags ? *tags : own;
  int white, black;
  do {
    if (!readGame(moves, t)) return false;
    white = eloOf(t, "WhiteElo");
    black = eloOf(t, "BlackElo");
  } while (white < minimumElo || black < minimumElo);
  if (whiteElo) *whiteElo = white;
  if (blackElo) *blackElo = black;
  if (fen) {
    const auto it = t.find("FEN");
    *fen = it == t.end() ? std::string() : it->second;
  }
  if (result) *result = resultCode(t);
  return true;
}

bool PgnLexer::next(PgnGame& game, int minimumElo) {
  return readNextGame(game.moves, &game.tags, &game.result, &game.fen, &game.whiteElo, &game.blackElo, minimumElo);
}
