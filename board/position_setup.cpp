// Setting a Position from the start position, a Chess960 number, a FEN or a
// German piece list, validating it, and writing it back as FEN.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "board/attack_tables.h"
#include "board/position.h"

namespace {

const char StartFen[] = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
const char* skipBlanks(const char* s) {
  while (isBlank(*s)) ++s;
  return s;
}
bool isFileLetter(char c) { return (c >= 'a' && c <= 'h') || (c >= 'A' && c <= 'H'); }
int fileOfLetter(char c) { return c >= 'a' ? c - 'a' : c - 'A'; }

int pieceTypeOfLetter(char c) {
  switch (c) {
    case 'p': case 'P': return Pawn;
    case 'n': case 'N': return Knight;
    case 'b': case 'B': return Bishop;
    case 'r': case 'R': return Rook;
    case 'q': case 'Q': return Queen;
    case 'k': case 'K': return King;
    default: return NoPiece;
  }
}

// The squares from a to b on one rank, both included.
Bitboard rankSpan(int a, int b) {
  if (a == b) return squareBit(a);
  return attackTables.betweenMask[a | b << 6] | squareBit(a) | squareBit(b);
}

// The outermost own rook on the home rank beyond the king toward the wing
// whose file lies in mask; 255 when there is none.
uint8_t findCastlingRook(const SideState& s, int kingSquare, bool shortWing, Bitboard mask) {
  uint8_t found = NoSquareByte;
  const int step = shortWing ? 1 : -1;
  for (int f = fileOf(kingSquare) + step; f >= 0 && f < 8; f += step) {
    int sq = kingSquare - fileOf(kingSquare) + f;
    if ((s.pieces[Rook] & squareBit(sq)) && (mask & squareBit(sq))) found = uint8_t(sq);
  }
  return found;
}

// The king square when the colour's king stands on its home rank, else -1.
int homeKingSquare(const SideState& s) {
  Bitboard king = s.pieces[King] & s.homeRank;
  return king ? AttackTables::lowestSquare(king) : -1;
}

// Castling geometry of one wing, given its rook square (255: no castling).
void setWing(SideState& s, int kingSquare, bool shortWing, uint8_t rook) {
  Bitboard& empty = shortWing ? s.shortEmpty : s.longEmpty;
  Bitboard& safe = shortWing ? s.shortSafe : s.longSafe;
  (shortWing ? s.shortRookSquare : s.longRookSquare) = rook;
  if (rook == NoSquareByte) {
    empty = 0;
    safe = ~Bitboard(0);
    return;
  }
  const int kingTarget = shortWing ? s.shortKingTarget : s.longKingTarget;
  const int rookTarget = shortWing ? s.shortRookTarget : s.longRookTarget;
  safe = rankSpan(kingSquare, kingTarget);
  empty = (safe | attackTables.betweenMask[kingSquare | rook << 6] | squareBit(rookTarget)) &
          ~(squareBit(kingSquare) | squareBit(rook));
}

void setupSide(SideState& s, Bitboard shortMask, Bitboard longMask, bool doShort, bool doLong) {
  const int k = homeKingSquare(s);
  uint8_t shortRook = NoSquareByte, longRook = NoSquareByte;
  if (k >= 0) {
    if (doShort) shortRook = findCastlingRook(s, k, true, shortMask);
    if (doLong) longRook = findCastlingRook(s, k, false, longMask);
  }
  setWing(s, k, true, shortRook);
  setWing(s, k, false, longRook);
}

}  // namespace

void SideState::setupCastling(Bitboard shortMask, Bitboard longMask) {
  setupSide(*this, shortMask, longMask, true, true);
}

void Position::setupCastling(Bitboard shortMask, Bitboard longMask) {
  setupSide(white, shortMask, longMask, castlingRights & WhiteShort, castlingRights & WhiteLong);
  setupSide(black, shortMask, longMask, castlingRights & BlackShort, castlingRights & BlackLong);
}

void Position::setStartPosition() {
  castlingAsFiles = 0;
  setFen(StartFen);
  lastMoveMask = 0;
}

void Position::setChess960(unsigned n) {
  n %= 960;
  char rank[8];
  std::memset(rank, 0, sizeof rank);
  rank[2 * (n % 4) + 1] = 'b';        // light-squared bishop: b, d, f, h
  rank[2 * ((n / 4) % 4)] = 'b';      // dark-squared bishop: a, c, e, g
  auto placeOnEmpty = [&rank](int index, char piece) {
    for (int f = 0; f < 8; ++f)
      if (!rank[f] && index-- == 0) {
        rank[f] = piece;
        return;
      }
  };
  placeOnEmpty(int((n / 16) % 6), 'q');
  static const int knightPairs[10][2] = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2},
                                         {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};
  const int* pair = knightPairs[n / 96];
  placeOnEmpty(pair[1], 'n');  // the higher one first, so the lower index is unchanged
  placeOnEmpty(pair[0], 'n');
  placeOnEmpty(0, 'r');
  placeOnEmpty(0, 'k');
  placeOnEmpty(0, 'r');
  char fen[96];
  char upper[9], lower[9];
  for (int f = 0; f < 8; ++f) {
    lower[f] = rank[f];
    upper[f] = char(rank[f] - 'a' + 'A');
  }
  lower[8] = upper[8] = 0;
  std::snprintf(fen, sizeof fen, "%s/pppppppp/8/8/8/8/PPPPPPPP/%s w KQkq - 0 1", lower, upper);
  castlingAsFiles = 0;
  setFen(fen);
}

namespace {

// The files on which each wing's castling rook may stand; both colours
// share them.
struct RookFiles {
  Bitboard shortWing = ~Bitboard(0);
  Bitboard longWing = ~Bitboard(0);
  // The field named a rook file (a bare file or a hint after K, Q, k, q):
  // a Chess960 field, which is taken exactly as written.
  bool named = false;
  // The file each right's rook was named on, by right bit (K, Q, k, q);
  // -1 for a plain letter, whose rook is the outermost one of its wing.
  int8_t rightFile[4] = {-1, -1, -1, -1};
};

int rightIndex(uint8_t right) { return right == WhiteShort ? 0 : right == WhiteLong ? 1 : right == BlackShort ? 2 : 3; }

// Empties the board and resets the fields a FEN sets.
void clearForFen(Position& p) {
  for (int t = 0; t <= King; ++t) p.white.pieces[t] = p.black.pieces[t] = 0;
  p.white.attacked = p.black.attacked = 0;
  p.occupied = p.lastMoveMask = 0;
  p.castlingRights = 0;
  p.whiteToMove = 0;
  p.epSquare = NoSquare;
}

// Piece placement: the ranks from the eighth to the first, separated by
// '/', each from the a-file to the h-file, with piece letters and digits
// for runs of empty squares. Refused unless it is eight ranks of eight
// squares ending in a blank.
const char* readPlacement(Position& p, const char* s) {
  int row = 0, file = 0;
  for (;; ++s) {
    char c = *s;
    if (c == ' ' || c == '\t') break;
    if (c == '/') {
      if (file != 8 || row == 7) return nullptr;
      ++row;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
      if (file > 8) return nullptr;
    } else if (int type = pieceTypeOfLetter(c)) {
      if (file >= 8) return nullptr;
      SideState& side = (c >= 'A' && c <= 'Z') ? p.white : p.black;
      side.pieces[type] |= squareBit(file + 8 * row);
      ++file;
    } else {
      return nullptr;  // a bad character, or the text ends inside the field
    }
  }
  if (row != 7 || file != 8) return nullptr;
  return s;
}

// Side to move: "w" or "b" in either case, followed by a blank.
const char* readSideToMove(Position& p, const char* s) {
  if (*s == 'w' || *s == 'W') p.whiteToMove = 1;
  else if (*s == 'b' || *s == 'B') p.whiteToMove = 0;
  else return nullptr;
  ++s;
  if (!isBlank(*s)) return nullptr;
  return s;
}

// Castling availability: "-", or the letters K, Q, k, q, each optionally
// followed by its rook's file, or bare rook files (upper case White, lower
// case Black) whose side of the king tells the wing. Refused when a right
// names a colour without a king.
const char* readCastlingField(Position& p, const char* s, RookFiles& files) {
  if (*s == '-') {
    ++s;
    if (*s && !isBlank(*s)) return nullptr;
    return s;
  }
  const Bitboard whiteKing = p.white.pieces[King], blackKing = p.black.pieces[King];
  bool rightWithoutKing = false;
  char previous = 0;
  for (; !isBlank(*s); previous = *s, ++s) {
    const char c = *s;
    if (c == 0) return nullptr;
    uint8_t letterRight = 0;
    switch (c) {
      case 'K': letterRight = WhiteShort; break;
      case 'Q': letterRight = WhiteLong; break;
      case 'k': letterRight = BlackShort; break;
      case 'q': letterRight = BlackLong; break;
      default: break;
    }
    if (letterRight) {
      p.castlingRights |= letterRight;
      p.castlingAsFiles = 0;
      files.rightFile[rightIndex(letterRight)] = -1;
      rightWithoutKing |= !((letterRight & (WhiteShort | WhiteLong)) ? whiteKing : blackKing);
      continue;
    }
    if (!isFileLetter(c)) return nullptr;
    const int f = fileOfLetter(c);
    files.named = true;
    if (previous == 'K' || previous == 'k') {
      files.shortWing = fileMask(f);
      files.rightFile[rightIndex(previous == 'K' ? WhiteShort : BlackShort)] = int8_t(f);
      p.castlingAsFiles = 0;
    } else if (previous == 'Q' || previous == 'q') {
      files.longWing = fileMask(f);
      files.rightFile[rightIndex(previous == 'Q' ? WhiteLong : BlackLong)] = int8_t(f);
      p.castlingAsFiles = 0;
    } else {
      // A bare rook file: its side of the king tells the wing.
      const bool isWhite = c <= 'H';
      const Bitboard king = isWhite ? whiteKing : blackKing;
      if (!king) return nullptr;
      const int kingFile = fileOf(AttackTables::lowestSquare(king));
      const uint8_t right = f <= kingFile ? (isWhite ? WhiteLong : BlackLong) : (isWhite ? WhiteShort : BlackShort);
      p.castlingRights |= right;
      (f <= kingFile ? files.longWing : files.shortWing) = fileMask(f);
      files.rightFile[rightIndex(right)] = int8_t(f);
      p.castlingAsFiles = 1;
    }
  }
  if (rightWithoutKing) return nullptr;
  return s;
}

// Rights for both colours need the kings facing each other on one file,
// White's on the first rank and Black's on the eighth.
bool kingsFitRights(const Position& p) {
  const bool whiteRights = p.castlingRights & (WhiteShort | WhiteLong);
  const bool blackRights = p.castlingRights & (BlackShort | BlackLong);
  if (!whiteRights || !blackRights) return true;
  const int wk = AttackTables::lowestSquare(p.white.pieces[King]);
  const int bk = AttackTables::lowestSquare(p.black.pieces[King]);
  return fileOf(wk) == fileOf(bk) && rankOf(wk) == 1 && rankOf(bk) == 8;
}

// Set-up dialogs write "KQkq" after a king has left its square. With the
// plain letters such a field is read as standard chess, where a right
// needs its king on e1 or e8: the rights of a colour whose king stands
// elsewhere are stale and go, before the castling rooks are looked for,
// so that they neither refuse the text nor make it look like Chess960.
void dropStaleStandardRights(Position& p) {
  if (p.white.pieces[King] != squareBit(60)) p.castlingRights &= uint8_t(~p.white.rightsMask);
  if (p.black.pieces[King] != squareBit(4)) p.castlingRights &= uint8_t(~p.black.rightsMask);
}

// Standard chess knows one castling per wing: the king from e1 (e8) with
// the rook in the corner. A right the field gives for anything else (a king
// that has moved, a rook elsewhere or named on another file) cannot be used
// in the game the interface plays, so it goes, and the geometry is that of
// the standard start.
void keepStandardRights(Position& p, const RookFiles& files) {
  struct Wing {
    uint8_t right;
    const SideState* side;
    int kingSquare;
    int cornerSquare;
  };
  const Wing wings[4] = {{WhiteShort, &p.white, 60, 63},
                         {WhiteLong, &p.white, 60, 56},
                         {BlackShort, &p.black, 4, 7},
                         {BlackLong, &p.black, 4, 0}};
  for (const Wing& w : wings) {
    if (!(p.castlingRights & w.right)) continue;
    const int named = files.rightFile[rightIndex(w.right)];
    const bool fits = w.side->pieces[King] == squareBit(w.kingSquare) &&
                      (w.side->pieces[Rook] & squareBit(w.cornerSquare)) &&
                      (named < 0 || named == fileOf(w.cornerSquare));
    if (!fits) p.castlingRights &= uint8_t(~w.right);
  }
  p.castlingAsFiles = 0;
  p.setupCastling(fileMask(7), fileMask(0));
  p.chess960 = 0;
}

// With both colours' rights on a wing, only the files beyond the white
// king that hold two rooks or more, as a file shared by both castling rooks
// does: that tells the castling rook in X-FEN Chess960 positions.
RookFiles sharedRookFiles(const Position& p, const RookFiles& files) {
  RookFiles shared = files;
  const Bitboard whiteKing = p.white.pieces[King];
  if (!whiteKing) return shared;
  const Bitboard rooks = p.white.pieces[Rook] | p.black.pieces[Rook];
  const int kingFile = fileOf(AttackTables::lowestSquare(whiteKing));
  if ((p.castlingRights & (WhiteShort | BlackShort)) == (WhiteShort | BlackShort)) {
    for (int f = 7; f > kingFile; --f)
      if (AttackTables::popCount(rooks & fileMask(f)) <= 1) shared.shortWing &= ~fileMask(f);
    for (int f = kingFile; f >= 0; --f) shared.shortWing &= ~fileMask(f);
  }
  if ((p.castlingRights & (WhiteLong | BlackLong)) == (WhiteLong | BlackLong)) {
    for (int f = 0; f < kingFile; ++f)
      if (AttackTables::popCount(rooks & fileMask(f)) <= 1) shared.longWing &= ~fileMask(f);
    for (int f = kingFile; f < 8; ++f) shared.longWing &= ~fileMask(f);
  }
  return shared;
}

// Castling geometry from the field's rights and rook files. A side whose
// rook is not on a shared file keeps its own outermost rook, so a missing
// rook of one side never costs the other side its right.
void setupCastlingFromField(Position& p, const RookFiles& files) {
  const RookFiles shared = sharedRookFiles(p, files);
  p.setupCastling(shared.shortWing, shared.longWing);
  for (SideState* side : {&p.white, &p.black}) {
    const int k = homeKingSquare(*side);
    if (k < 0) continue;
    const uint8_t shortRight = side->rightsMask & (WhiteShort | BlackShort);
    const uint8_t longRight = side->rightsMask & (WhiteLong | BlackLong);
    if ((p.castlingRights & shortRight) && side->shortRookSquare == NoSquareByte)
      setWing(*side, k, true, findCastlingRook(*side, k, true, files.shortWing));
    if ((p.castlingRights & longRight) && side->longRookSquare == NoSquareByte)
      setWing(*side, k, false, findCastlingRook(*side, k, false, files.longWing));
  }
}

// Chess960 when a usable right needs a rook or king off the standard
// squares; a right without its rook is dropped later and says nothing.
bool castlingNeedsChess960(const Position& p) {
  struct Wing {
    uint8_t right;
    const SideState* side;
    bool shortWing;
    int standardRook;
  };
  const Wing wings[4] = {{WhiteShort, &p.white, true, 63},
                         {WhiteLong, &p.white, false, 56},
                         {BlackShort, &p.black, true, 7},
                         {BlackLong, &p.black, false, 0}};
  bool odd = false, whiteUsable = false, blackUsable = false;
  for (const Wing& w : wings) {
    const uint8_t rook = w.shortWing ? w.side->shortRookSquare : w.side->longRookSquare;
    if (!(p.castlingRights & w.right) || rook == NoSquareByte) continue;
    (w.side == &p.white ? whiteUsable : blackUsable) = true;
    odd |= rook != w.standardRook;
  }
  if (whiteUsable && p.white.pieces[King] != squareBit(60)) odd = true;
  if (blackUsable && p.black.pieces[King] != squareBit(4)) odd = true;
  return odd;
}

// En passant: "-", or the square behind a pawn that has just made its
// double step (rank 6 with White to move, rank 3 with Black), which also
// gives the last move's from- and to-square.
const char* readEnPassant(Position& p, const char* s) {
  if (*s == '-') {
    ++s;
  } else if (isFileLetter(s[0]) && (s[1] == '3' || s[1] == '6')) {
    if ((s[1] == '6') != (p.whiteToMove != 0)) return nullptr;
    const int ep = makeSquare(fileOfLetter(s[0]), s[1] - '0');
    p.epSquare = int8_t(ep);
    p.lastMoveMask = squareBit(ep - 8) | squareBit(ep + 8);
    s += 2;
  } else {
    return nullptr;
  }
  if (*s && !isBlank(*s)) return nullptr;
  return s;
}

}  // namespace

const char* Position::setFen(const char* text, FenCastling castling) {
  // Parse into a copy so that a refused text leaves this position as it was.
  Position p = *this;
  clearForFen(p);
  RookFiles rookFiles;
  const char* s = readPlacement(p, skipBlanks(text));
  if (s) s = readSideToMove(p, skipBlanks(s));
  if (s) s = readCastlingField(p, skipBlanks(s), rookFiles);
  if (!s) return nullptr;
  if (castling == FenCastling::StandardChess) {
    keepStandardRights(p, rookFiles);
  } else {
    if (!kingsFitRights(p)) {
      // Rook files make it a Chess960 field, whose rights cannot be judged
      // stale: kings apart are refused. Otherwise the drop leaves rights to
      // both colours only with the kings on e1 and e8, which fit.
      if (rookFiles.named) return nullptr;
      dropStaleStandardRights(p);
    }
    setupCastlingFromField(p, rookFiles);
    p.chess960 = castlingNeedsChess960(p) ? 1 : 0;
  }
  s = readEnPassant(p, skipBlanks(s));
  if (!s || !p.finishSetup()) return nullptr;
  *this = p;
  return s;
}

bool Position::finishSetup() {
  // Counts and material limits.
  for (SideState* side : {&white, &black}) {
    SideState& c = *side;
    int total = 0;
    for (int t = Pawn; t <= King; ++t) {
      c.counts[t] = int8_t(AttackTables::popCount(c.pieces[t]));
      total += c.counts[t];
    }
    if (total > 16) return false;
    c.counts[0] = int8_t(total);
    const int pawns = c.counts[Pawn];
    if (c.counts[King] != 1 || pawns > 8 || pawns + c.counts[Queen] > 9 || pawns + c.counts[Rook] > 10 ||
        pawns + c.counts[Bishop] > 10 || pawns + c.counts[Knight] > 10)
      return false;
  }
  buildPieceLists();
  // No pawn on the first or the last rank.
  if ((white.pieces[Pawn] | black.pieces[Pawn]) & (Rank1 | Rank8)) return false;
  // No square holds two men.
  for (SideState* side : {&white, &black}) {
    SideState& c = *side;
    c.pieces[0] = 0;
    for (int t = Pawn; t <= King; ++t) c.pieces[0] |= c.pieces[t];
    if (AttackTables::popCount(c.pieces[0]) != c.counts[0]) return false;
  }
  if (white.pieces[0] & black.pieces[0]) return false;
  occupied = white.pieces[0] | black.pieces[0];

  // The last move must fit the side that made it.
  const SideState& mover = notToMove();
  const int lastSquares = AttackTables::popCount(lastMoveMask);
  if (lastSquares == 1) {
    if (lastMoveMask != mover.pieces[King]) return false;
  } else if (lastSquares == 2) {
    if (AttackTables::popCount(lastMoveMask & mover.pieces[0]) != 1) return false;
  } else if (lastSquares != 0) {
    return false;
  }
  // An en-passant square needs the enemy pawn that just passed it: the pawn
  // on the square beyond, the square itself and the one it came from empty,
  // and the last move being that double push (an en-passant capture clears
  // exactly those two squares).
  if (epSquare >= 0) {
    const SideState& us = toMove();
    const int ep = epSquare;
    if (rowOf(ep) != (whiteToMove ? 2 : 5)) return false;
    const int pawnSquare = ep - us.push;
    const int origin = ep + us.push;
    if (!(mover.pieces[Pawn] & squareBit(pawnSquare))) return false;
    if (occupied & (squareBit(ep) | squareBit(origin))) return false;
    if (lastMoveMask != (squareBit(pawnSquare) | squareBit(origin))) return false;
  }

  // Rights need the king at home and the rook on its square.
  for (SideState* side : {&white, &black}) {
    SideState& c = *side;
    if (!(c.pieces[King] & c.homeRank)) castlingRights &= uint8_t(~c.rightsMask);
    const uint8_t shortRight = c.rightsMask & (WhiteShort | BlackShort);
    const uint8_t longRight = c.rightsMask & (WhiteLong | BlackLong);
    if (c.shortRookSquare == NoSquareByte || !(c.pieces[Rook] & squareBit(c.shortRookSquare)))
      castlingRights &= uint8_t(~shortRight);
    if (c.longRookSquare == NoSquareByte || !(c.pieces[Rook] & squareBit(c.longRookSquare)))
      castlingRights &= uint8_t(~longRight);
  }
  white.computeMaterial();
  black.computeMaterial();
  // The side not to move must not be in check.
  computeAttackMaps();
  if (mover.attacked & mover.pieces[King]) return false;
  computePinned();
  computeKeys();
  return true;
}

namespace {

// Whether no other own rook stands on the home rank beyond the castling
// rook, walking the files by step (+1 toward h, -1 toward a).
bool rookIsOutermost(const SideState& s, uint8_t rook, int step) {
  if (rook == NoSquareByte) return true;
  for (int f = fileOf(rook) + step; f >= 0 && f < 8; f += step)
    if (s.pieces[Rook] & s.homeRank & fileMask(f)) return false;
  return true;
}

}  // namespace

bool SideState::shortRookIsOutermost() const { return rookIsOutermost(*this, shortRookSquare, 1); }
bool SideState::longRookIsOutermost() const { return rookIsOutermost(*this, longRookSquare, -1); }

void Position::toFen(char* out) const {
  static const char letters[] = " pnbrqk";
  char* o = out;
  for (int row = 0; row < 8; ++row) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const Bitboard b = squareBit(file + 8 * row);
      char c = 0;
      for (int t = Pawn; t <= King; ++t) {
        if (white.pieces[t] & b) c = char(letters[t] - 'a' + 'A');
        if (black.pieces[t] & b) c = letters[t];
      }
      if (!c) {
        ++empty;
        continue;
      }
      if (empty) *o++ = char('0' + empty);
      empty = 0;
      *o++ = c;
    }
    if (empty) *o++ = char('0' + empty);
    if (row < 7) *o++ = '/';
  }
  *o++ = ' ';
  *o++ = whiteToMove ? 'w' : 'b';
  *o++ = ' ';
  if (!castlingRights) {
    *o++ = '-';
  } else {
    struct Right {
      uint8_t bit;
      char letter;
      const SideState* side;
      bool shortWing;
    };
    const Right rights[4] = {{WhiteShort, 'K', &white, true},
                             {WhiteLong, 'Q', &white, false},
                             {BlackShort, 'k', &black, true},
                             {BlackLong, 'q', &black, false}};
    for (const Right& r : rights) {
      if (!(castlingRights & r.bit)) continue;
      *o++ = r.letter;
      const bool outermost = r.shortWing ? r.side->shortRookIsOutermost() : r.side->longRookIsOutermost();
      const uint8_t rook = r.shortWing ? r.side->shortRookSquare : r.side->longRookSquare;
      if (!outermost) *o++ = char('a' + fileOf(rook));
    }
  }
  *o++ = ' ';
  if (epSquare < 0) {
    *o++ = '-';
  } else {
    *o++ = char('a' + fileOf(epSquare));
    *o++ = whiteToMove ? '6' : '3';
  }
  *o = 0;
}

bool Position::setFromPieceList(const char* text) {
  if (std::strchr(text, '/')) return setFen(text) != nullptr;
  for (int t = 0; t <= King; ++t) white.pieces[t] = black.pieces[t] = 0;
  white.attacked = black.attacked = white.attackedTwice = black.attackedTwice = 0;
  white.pawnAttacked = black.pawnAttacked = white.threatened = black.threatened = 0;
  occupied = 0;
  whiteToMove = 0;
  chess960 = 0;
  lastMoveMask = 0;
  epSquare = NoSquare;
  castlingRights = 15;

  // A board diagram becomes the list form: one group per man, then the side.
  char converted[64 * 6 + 4];
  if (std::strchr(text, '-')) {
    if (std::strlen(text) < 193) return false;
    char* o = converted;
    for (int sq = 0; sq < 64; ++sq) {
      const char* cell = text + 3 * sq;
      if (cell[0] != 'W' && cell[0] != 'S') continue;
      *o++ = cell[0];
      *o++ = cell[1];
      *o++ = char('A' + fileOf(sq));
      *o++ = char('0' + rankOf(sq));
      *o++ = ' ';
    }
    *o++ = text[192];
    *o = 0;
    text = converted;
  }

  // List form: "w"/"s" for the side, "W"/"S" plus a type letter opens a
  // group, squares as upper-case file and rank digit.
  static const char germanTypes[] = " BSLTDK";
  Bitboard* group = nullptr;
  for (const char* s = text;;) {
    s = skipBlanks(s);
    if (!*s) break;
    if (*s == 'w' || *s == 's') {
      whiteToMove = *s == 'w';
      ++s;
    } else if ((*s == 'W' || *s == 'S') && s[1] && std::strchr(germanTypes + 1, s[1])) {
      const int type = int(std::strchr(germanTypes, s[1]) - germanTypes);
      group = &(*s == 'W' ? white : black).pieces[type];
      s += 2;
    } else if (*s >= 'A' && *s <= 'H' && s[1] >= '1' && s[1] <= '8' && group) {
      *group |= fileRankToBitboard(s[0], s[1]);
      s += 2;
    } else {
      return false;
    }
  }
  setupCastling(fileMask(7), fileMask(0));
  return finishSetup();
}

Move parseGermanCoordinateMove(const Position& position, const char* text) {
  const int from = squareFromText(text);
  const int to = squareFromText(text + 2);
  const Bitboard fromBit = squareBit(from);
  const SideState& owner = (position.white.pieces[0] & fromBit) ? position.white : position.black;
  int type = King;
  for (int t = Pawn; t <= King; ++t)
    if (owner.pieces[t] & fromBit) type = t;
  int promotion = 0;
  if (std::strlen(text) != 4) {
    switch (text[4]) {
      case 'D': promotion = Queen; break;
      case 'L': promotion = Bishop; break;
      case 'S': promotion = Knight; break;
      case 'T': promotion = Rook; break;
      default: break;
    }
  }
  return encodeMove(from, to, type, promotion);
}
