// Mates in one found from the attack maps alone, and the value of what the
// side to move is about to lose. In the maps, squares "we" attack are in
// the opponent's SideState, squares "they" attack in ours.
#include "board/attack_tables.h"
#include "search/searcher.h"

bool Searcher::findQueenMate(const SideState& us, const SideState& them, Move* out) const {
  const Position& p = game_.position;
  const int k = them.kingSquare();
  const Bitboard Z = attackTables.kingAttacks[k];
  // Squares next to their king where a queen is protected and only the
  // king attacks it.
  const Bitboard T = Z & ~us.pieces[0] & ~us.attackedTwice & them.attackedTwice;
  if (!T || !us.counts[Queen]) return false;
  const Bitboard occ = p.occupied;
  const Bitboard withoutKing = occ & ~them.pieces[King];
  const int ourKing = us.kingSquare();
  const Bitboard straight = them.pieces[Rook] | them.pieces[Queen];
  const Bitboard diagonal = them.pieces[Bishop] | them.pieces[Queen];
  // Each queen move onto such a square.
  for (int i = 0; i < us.counts[Queen]; ++i) {
    const int q = us.lists[Queen][i];
    const Bitboard fromQueen = AttackTables::queenAttacks(q, occ);
    for (Bitboard targets = fromQueen & T; targets; targets &= targets - 1) {
      const int t = AttackTables::lowestSquare(targets);
      const Bitboard tBit = squareBit(t);
      // Every flight square stays covered.
      const Bitboard X = AttackTables::queenAttacks(t, withoutKing);
      const Bitboard covered = them.pieces[0] | them.attackedTwice | (them.attacked & ~fromQueen) | X;
      if (Z & ~covered) continue;
      // The queen must not be pinned to our king.
      const Bitboard lines[4] = {AttackTables::rankAttacks(q, occ), AttackTables::fileAttacks(q, occ),
                                 AttackTables::diagA1H8Attacks(q, occ), AttackTables::diagA8H1Attacks(q, occ)};
      bool pinned = false;
      for (int l = 0; l < 4 && !pinned; ++l) {
        if (!(lines[l] & (squareBit(ourKing) | tBit))) continue;
        const Bitboard movers = (l < 2 ? straight : diagonal) & lines[l] & ~squareBit(ourKing) & ~tBit;
        pinned = movers != 0;
      }
      if (pinned) continue;
      *out = encodeMove(q, t, Queen);
      return true;
    }
  }
  return false;
}

bool Searcher::findMate(int pieceType, Bitboard candidates, int target, Bitboard escapes, Move* out) const {
  const Bitboard occ = game_.position.occupied;
  for (; candidates; candidates &= candidates - 1) {
    const int c = AttackTables::lowestSquare(candidates);
    const Bitboard reach = pieceType == Queen ? AttackTables::queenAttacks(c, occ) : AttackTables::fileAttacks(c, occ);
    if (!(reach & escapes)) {
      *out = encodeMove(c, target, pieceType);
      return true;
    }
  }
  return false;
}

bool Searcher::findMateInOne(const SideState& us, const SideState& them, Move* out) const {
  const Position& p = game_.position;
  const Bitboard occ = p.occupied;
  // A rook or queen of ours, their king on its back rank, and our attacks there.
  if (!(us.pieces[Rook] | us.pieces[Queen])) return false;
  const Bitboard R = them.homeRank;
  const Bitboard kingBit = them.pieces[King];
  if (!(them.attacked & R) || !(kingBit & R)) return false;
  // Flight squares off the back rank must all be covered or blocked.
  const int k = them.kingSquare();
  const Bitboard Z = attackTables.kingAttacks[k];
  if (Z & ~R & ~them.attacked & ~them.pieces[0]) return false;
  // Landing squares on the back rank, grown from beside the king.
  const Bitboard beside = (((kingBit << 1) & ~FileA) | ((kingBit >> 1) & ~FileH)) & R;
  Bitboard L = beside & ~us.pieces[0] & ~us.attackedTwice;
  for (Bitboard grown = 0; grown != L;) {
    grown = L;
    const Bitboard open = L & ~them.pieces[0];
    L |= (((open << 1) & ~FileA) | ((open >> 1) & ~FileH)) & R & ~us.pieces[0] & ~us.attacked;
  }
  L &= them.attacked & (them.attackedTwice | ~Z);
  if (!L) return false;
  // Squares only one of our pieces covers: that piece must stay.
  const Bitboard G = Z & ~R & ~them.pieces[0] & them.attacked & ~them.attackedTwice;
  // Each landing square, by rank and by diagonal.
  for (Bitboard landing = L; landing; landing &= landing - 1) {
    const int s = AttackTables::lowestSquare(landing);
    const Bitboard sBit = squareBit(s);
    // Rooks and queens along the rank.
    const Bitboard rankMovers =
        AttackTables::rankAttacks(s, occ) & (us.pieces[Rook] | us.pieces[Queen]) & ~us.attackedTwice;
    if (rankMovers && (!(rankMovers & us.attacked) || (sBit & (them.pieces[Rook] | them.pieces[Queen])))) {
      for (Bitboard m = rankMovers; m; m &= m - 1) {
        const int c = AttackTables::lowestSquare(m);
        if (us.pieces[Rook] & squareBit(c)) {
          if (!(AttackTables::fileAttacks(c, occ) & G)) {
            *out = encodeMove(c, s, Rook);
            return true;
          }
        } else if (!(AttackTables::queenAttacks(c, occ) & G)) {
          *out = encodeMove(c, s, Queen);
          return true;
        }
      }
    }
    // Queens arriving on a diagonal.
    const Bitboard diagonalMovers = AttackTables::bishopAttacks(s, occ) & us.pieces[Queen] & ~us.attackedTwice;
    if (diagonalMovers) {
      if (findMate(Queen, diagonalMovers & ~us.attacked, s, G, out)) return true;
      if ((diagonalMovers & us.attacked) && (sBit & (them.pieces[Bishop] | them.pieces[Queen])) &&
          findMate(Queen, diagonalMovers, s, G, out))
        return true;
    }
  }
  return false;
}

bool Searcher::findAnyMateInOne(const SideState& us, const SideState& them, Move* out) const {
  if (us.counts[Queen] && findQueenMate(us, them, out)) return true;
  if ((them.pieces[King] & BoardEdge) && findMateInOne(us, them, out)) return true;
  *out = 0;
  return false;
}

int Searcher::hangingValue(const SideState& us, const SideState& them) const {
  const Position& p = game_.position;
  const Bitboard H = (us.pieces[0] & us.attacked & (~them.attacked | us.attackedTwice)) | us.threatened;
  // A pawn of theirs about to promote outweighs everything else.
  if (us.pawnAttacked & (Rank1 | Rank8)) {
    const bool theyAreWhite = them.push < 0;
    const Bitboard seventh = theyAreWhite ? rowMask(1) : rowMask(6);
    const Bitboard pawns = them.pieces[Pawn] & seventh;
    const Bitboard inFront = theyAreWhite ? pawns >> 8 : pawns << 8;
    if (inFront & ~us.pieces[0]) return PieceValues[Queen] + (H ? PieceValues[Pawn] : 0);
  }
  (void)p;
  // Otherwise the most valuable piece that hangs, a pawn more when several do.
  if (!H) return 0;
  int value = PieceValues[Pawn];
  if (H & us.pieces[Queen]) value = PieceValues[Queen];
  else if (H & us.pieces[Rook]) value = PieceValues[Rook];
  else if (H & us.pieces[Bishop]) value = PieceValues[Bishop];
  else if (H & us.pieces[Knight]) value = PieceValues[Knight];
  return value + (H & (H - 1) ? PieceValues[Pawn] : 0);
}
