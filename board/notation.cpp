#include "board/notation.h"

#include <cstring>

#include "board/attack_tables.h"
#include "board/legality.h"

namespace {

const char* const GermanPieceLetters = "  SLTDK";
const char* const EnglishPieceLetters = "  NBRQK";

bool isFile(char c) { return c >= 'a' && c <= 'h'; }
bool isRank(char c) { return c >= '1' && c <= '8'; }
int squareOf(char file, char rank) { return makeSquare(file - 'a', rank - '0'); }

int typeOn(const SideState& side, int square) {
  const Bitboard b = squareBit(square);
  for (int t = Pawn; t <= King; ++t)
    if (side.pieces[t] & b) return t;
  return NoPiece;
}

int sanPieceOf(char c) {
  switch (c) {
    case 'K': return King;
    case 'B': case 'L': return Bishop;
    case 'D': case 'Q': return Queen;
    case 'N': case 'S': return Knight;
    case 'R': case 'T': return Rook;
    default: return NoPiece;
  }
}

// Squares of own men of `type` that reach `to` under the current occupancy.
Bitboard attackersOf(const Position& p, int type, int to) {
  const SideState& us = p.toMove();
  switch (type) {
    case Knight: return attackTables.knightAttacks[to] & us.pieces[Knight];
    case Bishop: return AttackTables::bishopAttacks(to, p.occupied) & us.pieces[Bishop];
    case Rook: return AttackTables::rookAttacks(to, p.occupied) & us.pieces[Rook];
    case Queen: return AttackTables::queenAttacks(to, p.occupied) & us.pieces[Queen];
    case King: return us.pieces[King];
    case Pawn:
      return (p.whiteToMove ? blackPawnAttacks(squareBit(to)) : whitePawnAttacks(squareBit(to))) & us.pieces[Pawn];
    default: return 0;
  }
}

// A king's two-square step from the e-file in standard notation, or the
// king's move onto its own rook, both become the castling move word. False
// when the side has no rook for that wing.
bool normaliseKingMove(const Position& p, int from, int& to) {
  const SideState& us = p.toMove();
  const bool home = from == 60 || from == 4;
  const int file = fileOf(to);
  if (home && rowOf(to) == rowOf(from) && (file == 6 || file == 2)) {
    const uint8_t rook = file == 6 ? us.shortRookSquare : us.longRookSquare;
    // Only a genuine castling: a two-square step is never a plain king move.
    if (rook == NoSquareByte) return false;
    to = rook;
  }
  return true;
}

enum MarkKind { NoMark = 0, CheckMark = 1, MateMark = 2 };

// The marks found at the end of a move text.
struct MoveMarks {
  int check = NoMark;
  bool enPassant = false;
  bool annotation = false;
};

// The parts of a move read from its text.
struct ParsedMove {
  int from = -1;
  int to = -1;
  int piece = NoPiece;
  int promotion = 0;
};

// Takes the marks off the end of the text in buffer[0, n) one at a time:
// blanks, mate and check marks, en-passant marks, annotations. Lengths count
// from the buffer's start, leading blanks included, so a text is never cut
// before its first character. Answers the length left, or -1 when a mark of
// a kind already seen comes again.
int stripMarks(const char* buffer, int n, MoveMarks& marks) {
  auto endsWith = [&](const char* suffix) {
    const int k = int(std::strlen(suffix));
    return n >= k && std::memcmp(buffer + n - k, suffix, size_t(k)) == 0;
  };
  auto isNote = [](char c) { return c == '!' || c == '?'; };
  while (n > 0) {
    const char last = buffer[n - 1];
    if (n > 1 && last >= '1' && last <= '8') break;
    if (last == ' ' || last == '\t') {
      --n;
    } else if (n > 2 && endsWith("++")) {
      if (marks.check) return -1;
      marks.check = MateMark;
      n -= 2;
    } else if (n > 1 && (last == '#' || last == '+')) {
      if (marks.check) return -1;
      marks.check = last == '#' ? MateMark : CheckMark;
      --n;
    } else if (const int k = (n > 5 && endsWith("e. p.")) ? 5 : (n > 4 && endsWith("e.p.")) ? 4
                             : (n > 2 && endsWith("ep"))      ? 2 : 0) {
      if (marks.enPassant) return -1;
      marks.enPassant = true;
      n -= k;
    } else if (n > 2 && isNote(last) && isNote(buffer[n - 2])) {
      if (marks.annotation) return -1;
      marks.annotation = true;
      n -= 2;
    } else if (n > 1 && isNote(last)) {
      if (marks.annotation) return -1;
      marks.annotation = true;
      --n;
    } else {
      break;
    }
  }
  return n;
}

bool isCastlingText(const char* s) {
  return !std::strcmp(s, "0-0") || !std::strcmp(s, "O-O") || !std::strcmp(s, "0-0-0") || !std::strcmp(s, "O-O-O");
}

// "0-0" / "O-O" and "0-0-0" / "O-O-O": the king onto its castling rook,
// when the side holds that right.
bool readCastlingText(const Position& p, int len, ParsedMove& m) {
  const SideState& us = p.toMove();
  const bool isShort = len == 3;
  const uint8_t right = us.rightsMask & (isShort ? (WhiteShort | BlackShort) : (WhiteLong | BlackLong));
  const uint8_t rook = isShort ? us.shortRookSquare : us.longRookSquare;
  if (!(p.castlingRights & right) || rook == NoSquareByte) return false;
  m.from = us.kingSquare();
  m.to = rook;
  m.piece = King;
  return true;
}

// Coordinate text: from- and to-square, optionally a '-' between them, and
// a trailing promotion letter or a 'k' that marks castling.
bool readCoordinateText(const Position& p, char* s, int len, ParsedMove& m) {
  const SideState& us = p.toMove();
  bool castlingMarker = false;
  switch (s[len - 1]) {
    case 'n': case 'N': m.promotion = Knight; break;
    case 'b': case 'B': m.promotion = Bishop; break;
    case 'r': case 'R': m.promotion = Rook; break;
    case 'q': case 'Q': m.promotion = Queen; break;
    case 'k': case 'K': castlingMarker = true; break;
    default: break;
  }
  if (m.promotion || castlingMarker) s[--len] = 0;
  if (len == 5 && s[2] == '-') {
    std::memmove(s + 2, s + 3, 3);
    --len;
  }
  if (len != 4 || !isFile(s[0]) || !isRank(s[1]) || !isFile(s[2]) || !isRank(s[3])) return false;
  m.from = squareOf(s[0], s[1]);
  m.to = squareOf(s[2], s[3]);
  if (castlingMarker) {
    const uint8_t rook = s[2] == 'g' ? us.shortRookSquare : us.longRookSquare;
    if (rook == NoSquareByte) return false;
    m.to = rook;
    m.piece = King;
    return true;
  }
  m.piece = typeOn(us, m.from);
  return m.piece != NoPiece;
}

// SAN promotion: a trailing upper-case piece letter other than K, with an
// optional '=' or '/' before it; both are taken off the end of [body, end).
void readSanPromotion(const char* body, const char*& end, int& promotion) {
  if (end - body < 1) return;
  const int promo = sanPieceOf(end[-1]);
  if (!promo || promo == King) return;
  promotion = promo;
  --end;
  if (end > body && (end[-1] == '=' || end[-1] == '/')) --end;
}

// SAN destination at the end of [body, end) and the capture mark before it,
// both taken off the end. A capture must be written with 'x'; a quiet move
// may have a '-' before its destination. Sets capture.
bool readSanDestination(const Position& p, const char* body, const char*& end, ParsedMove& m, bool& capture) {
  if (end - body < 2 || !isFile(end[-2]) || !isRank(end[-1])) return false;
  m.to = squareOf(end[-2], end[-1]);
  end -= 2;
  capture = (p.notToMove().pieces[0] & squareBit(m.to)) || (m.piece == Pawn && m.to == p.epSquare);
  if (capture) {
    if (end <= body || end[-1] != 'x') return false;
    --end;
  } else if (end > body && end[-1] == '-') {
    --end;
  }
  return true;
}

// The own men that could make the SAN move: for a pawn push the pawn one
// square behind the destination, or two from its starting rank; for every
// other move the men of that type that reach the destination.
Bitboard sanCandidates(const Position& p, const ParsedMove& m, bool capture) {
  if (m.piece != Pawn || capture) return attackersOf(p, m.piece, m.to);
  const SideState& us = p.toMove();
  const int one = m.to - us.push;
  if (isSquare(one) && (us.pieces[Pawn] & squareBit(one))) return squareBit(one);
  if (rankOf(m.to) == (p.whiteToMove ? 4 : 5) && isSquare(one - us.push) &&
      (us.pieces[Pawn] & squareBit(one - us.push)))
    return squareBit(one - us.push);
  return 0;
}

// Narrows the candidates by the files and ranks written between the piece
// letter and the destination, read right to left (Nbd2, R1e2, Ng1f3, e2e4);
// false on any other character.
bool narrowByWrittenSquares(const char* body, const char* end, Bitboard& candidates) {
  for (const char* c = end - 1; c >= body; --c) {
    if (isFile(*c)) candidates &= fileMask(*c - 'a');
    else if (isRank(*c)) candidates &= rowMask(8 - (*c - '0'));
    else return false;
  }
  return true;
}

// When the text leaves more than one candidate, drops those whose move is
// illegal (a pinned man); true when exactly one is left.
bool keepTheLegalCandidate(Position& p, const ParsedMove& m, Bitboard& candidates) {
  if (candidates & (candidates - 1)) {
    for (Bitboard b = candidates; b; b &= b - 1) {
      const int c = AttackTables::lowestSquare(b);
      int target = m.to;
      if (m.piece == King && !normaliseKingMove(p, c, target)) target = -1;
      if (target < 0 || !isLegalMove(p, encodeMove(c, target, m.piece, m.promotion))) candidates &= ~squareBit(c);
    }
  }
  return candidates && !(candidates & (candidates - 1));
}

// SAN with English or German piece letters: the piece letter (none for a
// pawn), the from-square's file and/or rank where needed, 'x' for a
// capture, the destination and the promotion letter.
bool readSanText(Position& p, const char* s, int len, ParsedMove& m) {
  const char* body = s;
  if (isFile(*body)) {
    m.piece = Pawn;
  } else {
    m.piece = sanPieceOf(*body);
    if (!m.piece) return false;
    ++body;
  }
  const char* end = s + len;
  readSanPromotion(body, end, m.promotion);
  bool capture = false;
  if (!readSanDestination(p, body, end, m, capture)) return false;
  Bitboard candidates = sanCandidates(p, m, capture);
  if (!narrowByWrittenSquares(body, end, candidates)) return false;
  if (!keepTheLegalCandidate(p, m, candidates)) return false;
  m.from = AttackTables::lowestSquare(candidates);
  return true;
}

// Whether the legal move fits its marks: a claimed check or mate must be
// one, an en-passant mark needs a pawn moving onto the en-passant square.
bool marksHold(Position& p, Move move, const MoveMarks& marks) {
  if (marks.check) {
    UndoRecord undo;
    undo.save(p);
    if (!p.makeMove(move, undo)) return false;
    bool ok;
    if (marks.check == MateMark) {
      int mated = 0;
      ok = p.noLegalMove(&mated) && mated != 0;
    } else {
      ok = p.inCheck();
    }
    undo.restore();
    if (!ok) return false;
  }
  return !marks.enPassant || (movePiece(move) == Pawn && moveTo(move) == p.epSquare);
}

}  // namespace

bool parseMove(Position& p, const char* text, Move& result, int mode) {
  // Work on a bounded copy; the text itself stays as it is.
  char buffer[64];
  const size_t total = std::strlen(text);
  if (total >= sizeof buffer) return false;
  std::memcpy(buffer, text, total + 1);
  char* s = buffer;
  while (*s == ' ' || *s == '\t') ++s;

  MoveMarks marks;
  const int n = stripMarks(buffer, int(total), marks);
  if (n < 0 || buffer + n < s) return false;
  buffer[n] = 0;
  const int len = int(std::strlen(s));
  if (len < 2 || len > 6) return false;

  ParsedMove m;
  bool read;
  if (isCastlingText(s)) read = readCastlingText(p, len, m);
  else if (mode == CoordinateText) read = readCoordinateText(p, s, len, m);
  else read = readSanText(p, s, len, m);
  if (!read) return false;

  // King steps of two squares and king-takes-rook become castling.
  if (m.piece == King && !normaliseKingMove(p, m.from, m.to)) return false;

  const Move move = encodeMove(m.from, m.to, m.piece, m.promotion);
  if (!isLegalMove(p, move) || !marksHold(p, move, marks)) return false;
  result = move;
  return true;
}

char* formatMove(Position& p, Move move, int style, char* buffer) {
  const SideState& us = p.toMove();
  const SideState& them = p.notToMove();
  const int from = moveFrom(move), to = moveTo(move), piece = movePiece(move), promotion = movePromotion(move);
  const Bitboard toBit = squareBit(to);
  const bool enPassant = piece == Pawn && fileOf(from) != fileOf(to) && !(them.pieces[0] & toBit);
  const bool capture = (them.pieces[0] & toBit) || enPassant;
  char* o = buffer;
  auto putSquare = [&o](int square) {
    *o++ = char('a' + fileOf(square));
    *o++ = char('0' + rankOf(square));
  };

  if (piece == King && (us.pieces[Rook] & toBit) && !p.castlingAsFiles) {
    // Castling.
    const bool isShort = to == us.shortRookSquare;
    if (style == Coordinate && !p.chess960) {
      putSquare(from);
      *o++ = isShort ? 'g' : 'c';
      *o++ = char('0' + rankOf(to));
    } else {
      const char* text = style == Coordinate ? (isShort ? "O-O" : "O-O-O") : (isShort ? "0-0" : "0-0-0");
      std::strcpy(o, text);
      o += std::strlen(text);
    }
  } else if (style == Coordinate) {
    putSquare(from);
    putSquare(to);
    if (promotion) *o++ = "- nbrqk"[promotion];
  } else {
    const bool german = style == LongGermanMarked || style == LongGerman || style >= SanGermanMarked;
    const char* letters = german ? GermanPieceLetters : EnglishPieceLetters;
    if (piece != Pawn) *o++ = letters[piece];
    if (style == LongGermanMarked || style == LongGerman) {
      putSquare(from);
      *o++ = capture ? 'x' : '-';
    } else {
      const Bitboard others = (piece == Pawn || piece == King) ? 0 : attackersOf(p, piece, to) & ~squareBit(from);
      if (others || (piece == Pawn && capture)) {
        if (!(others & fileMask(fileOf(from)))) *o++ = char('a' + fileOf(from));
        else if (!(others & rowMask(rowOf(from)))) *o++ = char('0' + rankOf(from));
        else putSquare(from);
      }
      if (capture) *o++ = 'x';
    }
    putSquare(to);
    if (piece == Pawn && promotion) {
      if (style == SanGermanSlash) *o++ = '/';
      *o++ = (style == SanGermanMarked ? "- SLTDK" : "- NBRQK")[promotion];
    }
    if (enPassant && (style == LongGermanMarked || style == SanGermanMarked)) {
      std::strcpy(o, " e.p.");
      o += 5;
    }
  }
  if (style == LongGermanMarked || style == SanGermanMarked) {
    UndoRecord undo;
    undo.save(p);
    if (p.makeMove(move, undo)) {
      if (p.inCheck()) *o++ = p.noLegalMove() ? '#' : '+';
      undo.restore();
    }
  }
  *o = 0;
  return buffer;
}
