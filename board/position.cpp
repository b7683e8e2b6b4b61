// Position construction, keys, attack maps, pinned men and small helpers.
#include "board/position.h"

#include <cstring>

#include "board/attack_tables.h"

Position::Position() {
  std::memset(static_cast<void*>(this), 0, sizeof *this);
  initConstants();
  setStartPosition();
}

void Position::initConstants() {
  white.homeRank = Rank1;
  black.homeRank = Rank8;
  white.push = -8;
  black.push = 8;
  white.longKingTarget = 58;
  white.longRookTarget = 59;
  white.shortRookTarget = 61;
  white.shortKingTarget = 62;
  black.longKingTarget = 2;
  black.longRookTarget = 3;
  black.shortRookTarget = 5;
  black.shortKingTarget = 6;
  white.rightsMask = WhiteShort | WhiteLong;
  black.rightsMask = BlackShort | BlackLong;
  white.zobrist = &ZobristKeys[White];
  black.zobrist = &ZobristKeys[Black];
  white.materialKeyDeltas = &MaterialKeySteps[White];
  black.materialKeyDeltas = &MaterialKeySteps[Black];
}

void SideState::computeMaterial() {
  material = 0;
  for (int t = Pawn; t <= Queen; ++t) material += counts[t] * PieceValues[t];
}

void SideState::buildPieceLists() {
  counts[0] = 0;
  for (int t = Pawn; t <= King; ++t) {
    int n = 0;
    for (Bitboard b = pieces[t]; b; b &= b - 1) lists[t][n++] = int8_t(AttackTables::lowestSquare(b));
    counts[t] = int8_t(n);
    counts[0] = int8_t(counts[0] + n);
  }
}

void Position::buildPieceLists() {
  white.buildPieceLists();
  black.buildPieceLists();
}

void Position::computeKeys() {
  white.materialKeyDeltas = &MaterialKeySteps[White];
  black.materialKeyDeltas = &MaterialKeySteps[Black];
  hashKey = castlingKey(castlingRights);
  pawnKey = 0;
  for (int c = 0; c < 2; ++c) {
    SideState& s = c == White ? white : black;
    s.materialKey = 0;
    for (int t = Pawn; t <= Queen; ++t) s.materialKey ^= MaterialKeys[c][t - 1][s.counts[t]];
    for (int t = Pawn; t <= King; ++t)
      for (Bitboard b = s.pieces[t]; b; b &= b - 1) {
        uint64_t k = ZobristKeys[c][t][AttackTables::lowestSquare(b)];
        hashKey ^= k;
        if (t == Pawn) pawnKey ^= k;
      }
  }
  if (whiteToMove) hashKey ^= SideToMoveKey;
  if (epSquare >= 0) hashKey ^= enPassantKey(epSquare);
}

int Position::bishopColours() const {
  int index = 0;
  if (white.pieces[Bishop] & LightSquares) index |= 1;
  if (white.pieces[Bishop] & DarkSquares) index |= 2;
  if (black.pieces[Bishop] & LightSquares) index |= 4;
  if (black.pieces[Bishop] & DarkSquares) index |= 8;
  return BishopColourTable[index];
}

void SideState::computeAttackMaps(const SideState& E, Bitboard occ, bool enemyIsWhite) {
  // Pawn captures.
  const Bitboard pawns = E.pieces[Pawn];
  Bitboard left, right;
  if (enemyIsWhite) {
    left = (pawns >> 9) & ~FileH;
    right = (pawns >> 7) & ~FileA;
  } else {
    left = (pawns << 7) & ~FileH;
    right = (pawns << 9) & ~FileA;
  }
  Bitboard all = left | right;
  Bitboard twice = left & right;
  pawnAttacked = all;
  // Anything but a pawn attacked by a pawn is threatened.
  Bitboard threats = all & (pieces[0] & ~pieces[Pawn]);

  // Knights, then bishops; a bishop sees through its own bishops and queens.
  for (int i = 0; i < E.counts[Knight]; ++i) {
    Bitboard a = attackTables.knightAttacks[E.lists[Knight][i]];
    twice |= a & all;
    all |= a;
  }
  const Bitboard diagonalSliders = E.pieces[Bishop] | E.pieces[Queen];
  const Bitboard straightSliders = E.pieces[Rook] | E.pieces[Queen];
  const Bitboard diagonalOcc = occ & ~diagonalSliders;
  const Bitboard straightOcc = occ & ~straightSliders;
  for (int i = 0; i < E.counts[Bishop]; ++i) {
    Bitboard a = AttackTables::bishopAttacks(E.lists[Bishop][i], diagonalOcc);
    twice |= a & all;
    all |= a;
  }
  // Rooks and queens attacked by a minor piece or pawn.
  threats |= all & (pieces[Rook] | pieces[Queen]);
  for (int i = 0; i < E.counts[Rook]; ++i) {
    Bitboard a = AttackTables::rookAttacks(E.lists[Rook][i], straightOcc);
    twice |= a & all;
    all |= a;
  }
  // Rooks attacked by anything up to a rook.
  threats |= all & pieces[Rook];
  // Queens, both line kinds as one set.
  for (int i = 0; i < E.counts[Queen]; ++i) {
    int s = E.lists[Queen][i];
    Bitboard a = AttackTables::rookAttacks(s, straightOcc) | AttackTables::bishopAttacks(s, diagonalOcc);
    twice |= a & all;
    all |= a;
  }
  Bitboard a = attackTables.kingAttacks[E.lists[King][0]];
  twice |= a & all;
  all |= a;

  attacked = all;
  attackedTwice = twice;
  threatened = threats;
}

void Position::computeAttackMaps() {
  white.computeAttackMaps(black, occupied, false);
  black.computeAttackMaps(white, occupied, true);
}

Bitboard SideState::pinnedPieces(const SideState& E, Bitboard occ) const {
  const int k = lists[King][0];
  Bitboard result = 0;
  // A pinned man is attacked by its pinner, and not only by a pawn.
  const Bitboard suspects = pieces[0] & ((attacked & ~pawnAttacked) | attackedTwice);
  const Bitboard straightSliders = E.pieces[Rook] | E.pieces[Queen];
  const Bitboard diagonalSliders = E.pieces[Bishop] | E.pieces[Queen];
  if (straightSliders) {
    for (Bitboard b = AttackTables::rookAttacks(k, occ) & suspects; b; b &= b - 1) {
      int m = AttackTables::lowestSquare(b);
      Bitboard line = rowOf(m) == rowOf(k) ? AttackTables::rankAttacks(m, occ) : AttackTables::fileAttacks(m, occ);
      if (line & straightSliders) result |= squareBit(m);
    }
  }
  if (diagonalSliders) {
    // A man on the edge has nothing behind it on a diagonal.
    for (Bitboard b = AttackTables::bishopAttacks(k, occ) & suspects & ~BoardEdge; b; b &= b - 1) {
      int m = AttackTables::lowestSquare(b);
      Bitboard line = (attackTables.diagA1H8Line[k] & squareBit(m)) ? AttackTables::diagA1H8Attacks(m, occ)
                                                                    : AttackTables::diagA8H1Attacks(m, occ);
      if (line & diagonalSliders) result |= squareBit(m);
    }
  }
  return result;
}

void Position::computePinned() {
  pinned = white.pinnedPieces(black, occupied) | black.pinnedPieces(white, occupied);
}

void Position::setMirrored(const Position& source) {
  const Position src = source;  // the source may be this very position
  auto flipSquare = [](uint8_t s) { return s == NoSquareByte ? s : uint8_t(s ^ 56); };
  for (int c = 0; c < 2; ++c) {
    SideState& to = c == White ? white : black;
    const SideState& from = c == White ? src.black : src.white;
    for (int t = 0; t <= King; ++t) {
      to.pieces[t] = flipVertical(from.pieces[t]);
      to.counts[t] = from.counts[t];
    }
    to.attacked = flipVertical(from.attacked);
    to.attackedTwice = flipVertical(from.attackedTwice);
    to.pawnAttacked = flipVertical(from.pawnAttacked);
    to.threatened = flipVertical(from.threatened);
    to.shortEmpty = flipVertical(from.shortEmpty);
    to.longEmpty = flipVertical(from.longEmpty);
    to.shortSafe = flipVertical(from.shortSafe);
    to.longSafe = flipVertical(from.longSafe);
    to.material = from.material;
    to.shortRookSquare = flipSquare(from.shortRookSquare);
    to.longRookSquare = flipSquare(from.longRookSquare);
  }
  occupied = flipVertical(src.occupied);
  lastMoveMask = flipVertical(src.lastMoveMask);
  pinned = flipVertical(src.pinned);
  epSquare = src.epSquare < 0 ? int8_t(NoSquare) : int8_t(src.epSquare ^ 56);
  whiteToMove = src.whiteToMove ? 0 : 1;
  chess960 = src.chess960;
  castlingAsFiles = src.castlingAsFiles;
  const uint8_t r = src.castlingRights;
  castlingRights = uint8_t(((r & 1) << 2) | ((r & 4) >> 2) | ((r & 2) << 2) | ((r & 8) >> 2));
  buildPieceLists();
  computeKeys();
}

void Position::toPieceCodes(int out[64]) const {
  for (int file = 0; file < 8; ++file)
    for (int rank = 1; rank <= 8; ++rank) {
      Bitboard b = squareBit(makeSquare(file, rank));
      int code = 0;
      for (int t = Pawn; t <= King; ++t) {
        if (white.pieces[t] & b) code = t;
        if (black.pieces[t] & b) code = t + 6;
      }
      out[8 * file + (rank - 1)] = code;
    }
}
