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

}  // namespace

bool parseMove(Position& p, const char* text, Move& result, int mode) {
  // Work on a bounded copy; the text itself stays as it is.
  char buffer[64];
  const size_t total = std::strlen(text);
  if (total >= sizeof buffer) return false;
  std::memcpy(buffer, text, total + 1);
  const char* start = buffer;
  while (*start == ' ' || *start == '\t') ++start;

  // 1. Marks at the end, one at a time.
  int n = int(total);
  int checkKind = NoMark;
  bool epMark = false, annotation = false;
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
      if (checkKind) return false;
      checkKind = MateMark;
      n -= 2;
    } else if (n > 1 && (last == '#' || last == '+')) {
      if (checkKind) return false;
      checkKind = last == '#' ? MateMark : CheckMark;
      --n;
    } else if (const int k = (n > 5 && endsWith("e. p.")) ? 5 : (n > 4 && endsWith("e.p.")) ? 4
                             : (n > 2 && endsWith("ep"))      ? 2 : 0) {
      if (epMark) return false;
      epMark = true;
      n -= k;
    } else if (n > 2 && isNote(last) && isNote(buffer[n - 2])) {
      if (annotation) return false;
      annotation = true;
      n -= 2;
    } else if (n > 1 && isNote(last)) {
      if (annotation) return false;
      annotation = true;
      --n;
    } else {
      break;
    }
  }
  if (buffer + n < start) return false;
  buffer[n] = 0;
  char* s = const_cast<char*>(start);
  int len = int(std::strlen(s));
  if (len < 2 || len > 6) return false;

  const SideState& us = p.toMove();
  const SideState& them = p.notToMove();
  int from = -1, to = -1, piece = NoPiece, promotion = 0;

  if (!std::strcmp(s, "0-0") || !std::strcmp(s, "O-O") || !std::strcmp(s, "0-0-0") || !std::strcmp(s, "O-O-O")) {
    // 2. Castling text.
    const bool isShort = len == 3;
    const uint8_t right = us.rightsMask & (isShort ? (WhiteShort | BlackShort) : (WhiteLong | BlackLong));
    const uint8_t rook = isShort ? us.shortRookSquare : us.longRookSquare;
    if (!(p.castlingRights & right) || rook == NoSquareByte) return false;
    from = us.kingSquare();
    to = rook;
    piece = King;
  } else if (mode == CoordinateText) {
    // 3. Coordinate text; a '-' between the squares is allowed.
    bool castlingMarker = false;
    switch (s[len - 1]) {
      case 'n': case 'N': promotion = Knight; break;
      case 'b': case 'B': promotion = Bishop; break;
      case 'r': case 'R': promotion = Rook; break;
      case 'q': case 'Q': promotion = Queen; break;
      case 'k': case 'K': castlingMarker = true; break;
      default: break;
    }
    if (promotion || castlingMarker) s[--len] = 0;
    if (len == 5 && s[2] == '-') {
      std::memmove(s + 2, s + 3, 3);
      --len;
    }
    if (len != 4 || !isFile(s[0]) || !isRank(s[1]) || !isFile(s[2]) || !isRank(s[3])) return false;
    from = squareOf(s[0], s[1]);
    to = squareOf(s[2], s[3]);
    if (castlingMarker) {
      const uint8_t rook = s[2] == 'g' ? us.shortRookSquare : us.longRookSquare;
      if (rook == NoSquareByte) return false;
      to = rook;
      piece = King;
    } else {
      piece = typeOn(us, from);
      if (!piece) return false;
    }
  } else {
    // 4. SAN.
    const char* body = s;
    if (isFile(*body)) {
      piece = Pawn;
    } else {
      piece = sanPieceOf(*body);
      if (!piece) return false;
      ++body;
    }
    char* endText = s + len;
    if (endText - body >= 1) {
      if (const int promo = sanPieceOf(endText[-1]); promo && promo != King) {
        promotion = promo;
        *--endText = 0;
        if (endText > body && (endText[-1] == '=' || endText[-1] == '/')) *--endText = 0;
      }
    }
    if (endText - body < 2 || !isFile(endText[-2]) || !isRank(endText[-1])) return false;
    to = squareOf(endText[-2], endText[-1]);
    endText -= 2;
    const bool capture = (them.pieces[0] & squareBit(to)) || (piece == Pawn && to == p.epSquare);
    if (capture) {
      if (endText <= body || endText[-1] != 'x') return false;
      --endText;
    } else if (endText > body && endText[-1] == '-') {
      --endText;
    }
    // 5. Candidates. A pawn push comes from one or two squares behind; a
    // written from-square (e2-e4) narrows them down below.
    Bitboard candidates;
    if (piece == Pawn && !capture) {
      const int one = to - us.push;
      candidates = 0;
      if (isSquare(one) && (us.pieces[Pawn] & squareBit(one))) {
        candidates = squareBit(one);
      } else if (rankOf(to) == (p.whiteToMove ? 4 : 5) && isSquare(one - us.push) &&
                 (us.pieces[Pawn] & squareBit(one - us.push))) {
        candidates = squareBit(one - us.push);
      }
    } else {
      candidates = attackersOf(p, piece, to);
    }
    // 6. Disambiguation, right to left.
    for (const char* c = endText - 1; c >= body; --c) {
      if (isFile(*c)) candidates &= fileMask(*c - 'a');
      else if (isRank(*c)) candidates &= rowMask(8 - (*c - '0'));
      else return false;
    }
    // 7.
    if (candidates & (candidates - 1)) {
      for (Bitboard b = candidates; b; b &= b - 1) {
        const int c = AttackTables::lowestSquare(b);
        int target = to;
        if (piece == King && !normaliseKingMove(p, c, target)) target = -1;
        if (target < 0 || !isLegalMove(p, encodeMove(c, target, piece, promotion))) candidates &= ~squareBit(c);
      }
    }
    if (!candidates || (candidates & (candidates - 1))) return false;
    from = AttackTables::lowestSquare(candidates);
  }

  // 5. King steps of two squares and king-takes-rook become castling.
  if (piece == King && !normaliseKingMove(p, from, to)) return false;

  // 6. Final checks.
  const Move move = encodeMove(from, to, piece, promotion);
  if (!isLegalMove(p, move)) return false;
  if (checkKind) {
    UndoRecord undo;
    undo.save(p);
    if (!p.makeMove(move, undo)) return false;
    bool ok;
    if (checkKind == MateMark) {
      int mated = 0;
      ok = p.noLegalMove(&mated) && mated != 0;
    } else {
      ok = p.inCheck();
    }
    undo.restore();
    if (!ok) return false;
  }
  if (epMark && !(piece == Pawn && to == p.epSquare)) return false;
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
