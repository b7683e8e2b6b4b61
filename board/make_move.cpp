// Making moves in place and unmaking them from an UndoRecord.
#include "board/attack_tables.h"
#include "board/position.h"

void UndoRecord::save(Position& p) {
  position = &p;
  whiteMaterialKey = p.white.materialKey;
  whiteMaterial = p.white.material;
  blackMaterialKey = p.black.materialKey;
  blackMaterial = p.black.material;
  occupied = p.occupied;
  lastMoveMask = p.lastMoveMask;
  hashKey = p.hashKey;
  pawnKey = p.pawnKey;
  pinned = p.pinned;
  epSquare = p.epSquare;
  castlingRights = p.castlingRights;
  whiteToMove = p.whiteToMove;
  captured = 0;
  blackMaps[0] = p.black.attacked;
  blackMaps[1] = p.black.attackedTwice;
  blackMaps[2] = p.black.pawnAttacked;
  blackMaps[3] = p.black.threatened;
  whiteMaps[0] = p.white.attacked;
  whiteMaps[1] = p.white.attackedTwice;
  whiteMaps[2] = p.white.pawnAttacked;
  whiteMaps[3] = p.white.threatened;
}

void UndoRecord::restore() {
  Position& p = *position;
  p.white.materialKey = whiteMaterialKey;
  p.white.material = whiteMaterial;
  p.black.materialKey = blackMaterialKey;
  p.black.material = blackMaterial;
  p.occupied = occupied;
  p.lastMoveMask = lastMoveMask;
  p.hashKey = hashKey;
  p.pawnKey = pawnKey;
  p.pinned = pinned;
  p.epSquare = epSquare;
  p.castlingRights = castlingRights;
  p.whiteToMove = whiteToMove;
  p.black.attacked = blackMaps[0];
  p.black.attackedTwice = blackMaps[1];
  p.black.pawnAttacked = blackMaps[2];
  p.black.threatened = blackMaps[3];
  p.white.attacked = whiteMaps[0];
  p.white.attackedTwice = whiteMaps[1];
  p.white.pawnAttacked = whiteMaps[2];
  p.white.threatened = whiteMaps[3];
  // Backwards, so a location logged twice ends with its oldest value.
  for (int i = wordLogCount - 1; i >= 0; --i) *wordAddress[i] = wordValue[i];
  for (int i = byteLogCount - 1; i >= 0; --i) *byteAddress[i] = byteValue[i];
  wordLogCount = 0;
  byteLogCount = 0;
}

void SideState::removeFromList(int type, int square, UndoRecord& undo) {
  --counts[0];
  int n = counts[type] - 1;  // index of the last entry, and the new count
  int8_t* row = lists[type];
  int i = 0;
  while (row[i] != square) ++i;
  undo.logByte(row[n]);
  undo.logByte(row[i]);
  row[i] = row[n];
  materialKey ^= (*materialKeyDeltas)[type - 1][n];
  counts[type] = int8_t(n);
  material -= PieceValues[type];
}

void Position::doMove(SideState& S, SideState& E, Move move, UndoRecord& U) {
  const int f = moveFrom(move), t = moveTo(move), m = movePiece(move), p = movePromotion(move);
  const Bitboard fromTo = attackTables.fromToMask[move & 0xFFF];
  const Bitboard toBit = squareBit(t);

  // The moving man's bitboards, side to move, key.
  U.logWord(S.pieces[m]);
  U.logWord(S.pieces[0]);
  lastMoveMask = fromTo;
  whiteToMove ^= 1;
  S.pieces[m] ^= fromTo;
  S.pieces[0] ^= fromTo;
  hashKey ^= S.key(m, f) ^ S.key(m, t) ^ SideToMoveKey;

  // Its list entry.
  int8_t* entry = S.lists[m];
  while (*entry != f) ++entry;
  U.logByte(*entry);
  *entry = int8_t(t);

  // A capture.
  U.captured = 0;
  if (E.pieces[0] & toBit) {
    int c = Pawn;
    while (!(E.pieces[c] & toBit)) ++c;
    U.captured = c;
    U.logWord(E.pieces[c]);
    U.logWord(E.pieces[0]);
    U.logByte(E.counts[0]);
    U.logByte(E.counts[c]);
    E.pieces[c] ^= toBit;
    E.pieces[0] ^= toBit;
    E.removeFromList(c, t, U);
    hashKey ^= E.key(c, t);
    if (c == Pawn) pawnKey ^= E.key(Pawn, t);
  }

  // The old en-passant square goes.
  if (epSquare >= 0) {
    hashKey ^= enPassantKey(epSquare);
    epSquare = NoSquare;
  }

  // Pawn moves: promotion, double push, en-passant capture.
  if (m == Pawn) {
    pawnKey ^= S.key(Pawn, f) ^ S.key(Pawn, t);
    if (p) {
      U.logWord(S.pieces[p]);
      U.logByte(S.counts[Pawn]);
      U.logByte(S.counts[p]);
      S.pieces[Pawn] ^= toBit;
      S.pieces[p] |= toBit;
      S.removeFromList(Pawn, t, U);
      ++S.counts[0];
      int8_t& slot = S.lists[p][S.counts[p]];
      U.logByte(slot);
      slot = int8_t(t);
      S.materialKey ^= (*S.materialKeyDeltas)[p - 1][S.counts[p]];
      ++S.counts[p];
      S.material += PieceValues[p];
      hashKey ^= S.key(Pawn, t) ^ S.key(p, t);
      pawnKey ^= S.key(Pawn, t);
    } else if (U.captured == 0) {
      const int d = f - t;
      if (d == 16 || d == -16) {
        // Only a push that an enemy pawn could take leaves an ep square.
        const int passed = (f + t) >> 1;
        if (S.pawnAttacked & squareBit(passed)) {
          epSquare = int8_t(passed);
          hashKey ^= enPassantKey(passed);
        }
      } else if (d & 1) {
        const int q = t - S.push;
        hashKey ^= E.key(Pawn, q);
        pawnKey ^= E.key(Pawn, q);
        U.logByte(E.counts[0]);
        U.logByte(E.counts[Pawn]);
        U.logWord(E.pieces[0]);
        U.logWord(E.pieces[Pawn]);
        // The enemy's double push is the last move: its to-square holds the pawn.
        E.pieces[0] &= ~U.lastMoveMask;
        E.pieces[Pawn] &= ~U.lastMoveMask;
        U.captured = Pawn;
        E.removeFromList(Pawn, q, U);
      }
    }
  } else if (m == King) {
    // King moves lose both rights; onto an own rook it is castling.
    castlingRights &= uint8_t(~S.rightsMask);
    if (S.pieces[Rook] & toBit) {
      int rookTarget, kingTarget;
      if (t == S.shortRookSquare) {
        rookTarget = S.shortRookTarget;
        kingTarget = S.shortKingTarget;
      } else {
        rookTarget = S.longRookTarget;
        kingTarget = S.longKingTarget;
      }
      U.logWord(S.pieces[Rook]);
      S.pieces[Rook] = (S.pieces[Rook] & ~toBit) | squareBit(rookTarget);
      S.pieces[King] = squareBit(kingTarget);
      S.pieces[0] |= squareBit(rookTarget) | squareBit(kingTarget);
      lastMoveMask = squareBit(kingTarget);
      S.lists[King][0] = int8_t(kingTarget);
      int8_t* rookEntry = S.lists[Rook];
      while (*rookEntry != t) ++rookEntry;
      U.logByte(*rookEntry);
      *rookEntry = int8_t(rookTarget);
      hashKey ^= S.key(Rook, t) ^ S.key(Rook, rookTarget) ^ S.key(King, t) ^ S.key(King, kingTarget);
    }
  }

  occupied = white.pieces[0] | black.pieces[0];

  // A right whose rook has left or been taken is dropped.
  if (U.castlingRights) {
    const Bitboard whiteRooks = white.pieces[Rook], blackRooks = black.pieces[Rook];
    auto holds = [](Bitboard rooks, uint8_t square) {
      return square != NoSquareByte && (rooks & squareBit(square));
    };
    if (!holds(whiteRooks, white.longRookSquare)) castlingRights &= uint8_t(~WhiteLong);
    if (!holds(whiteRooks, white.shortRookSquare)) castlingRights &= uint8_t(~WhiteShort);
    if (!holds(blackRooks, black.longRookSquare)) castlingRights &= uint8_t(~BlackLong);
    if (!holds(blackRooks, black.shortRookSquare)) castlingRights &= uint8_t(~BlackShort);
    hashKey ^= castlingKey(U.castlingRights) ^ castlingKey(castlingRights);
  }
}

bool Position::makeMove(Move move, UndoRecord& undo) {
  const bool moverIsWhite = whiteToMove != 0;
  SideState& S = moverIsWhite ? white : black;
  SideState& E = moverIsWhite ? black : white;
  doMove(S, E, move, undo);
  S.computeAttackMaps(E, occupied, !moverIsWhite);
  if (S.attacked & S.pieces[King]) {
    undo.restore();
    return false;
  }
  E.computeAttackMaps(S, occupied, moverIsWhite);
  computePinned();
  return true;
}

bool Position::makeMoveFast(Move move, UndoRecord& undo) {
  const bool moverIsWhite = whiteToMove != 0;
  SideState& S = moverIsWhite ? white : black;
  SideState& E = moverIsWhite ? black : white;
  doMove(S, E, move, undo);
  if (kingAttackedAfterMove(S, E)) {
    undo.restore();
    return false;
  }
  return true;
}

// Whether the mover's king is attacked by enemy sliders, knights or pawns on
// the current occupancy; the enemy king is not looked at.
bool Position::kingAttackedAfterMove(const SideState& S, const SideState& E) const {
  const int k = S.lists[King][0];
  const Bitboard rookLike = E.pieces[Rook] | E.pieces[Queen];
  const Bitboard bishopLike = E.pieces[Bishop] | E.pieces[Queen];
  if ((attackTables.knightAttacks[k] & E.pieces[Knight]) != 0) return true;
  const Bitboard kingBit = squareBit(k);
  // Enemy pawns attack k from the squares that a pawn of the king's colour
  // on k would attack.
  const Bitboard pawnSources = S.push < 0 ? whitePawnAttacks(kingBit) : blackPawnAttacks(kingBit);
  if (pawnSources & E.pieces[Pawn]) return true;
  if (rookLike && (AttackTables::rookAttacks(k, occupied) & rookLike)) return true;
  if (bishopLike && (AttackTables::bishopAttacks(k, occupied) & bishopLike)) return true;
  return false;
}

bool Position::whiteInCheck() const { return kingAttackedAfterMove(white, black); }
bool Position::blackInCheck() const { return kingAttackedAfterMove(black, white); }
