// A deliberately plain move generator for tests: every pseudo-legal move
// found square by square, with no cleverness shared with the engine's own
// generator, so that perft counts through it check make/unmake on their own.
#pragma once

#include <vector>

#include "board/attack_tables.h"
#include "board/position.h"

namespace testsupport {

inline void addPawnMove(std::vector<Move>& out, int from, int to) {
  if (rowOf(to) == 0 || rowOf(to) == 7) {
    for (int promotion : {Queen, Rook, Bishop, Knight}) out.push_back(encodeMove(from, to, Pawn, promotion));
  } else {
    out.push_back(encodeMove(from, to, Pawn));
  }
}

// Pseudo-legal moves of the side to move; castling as king onto rook.
inline std::vector<Move> pseudoLegalMoves(const Position& p) {
  std::vector<Move> out;
  const SideState& us = p.toMove();
  const SideState& them = p.notToMove();
  const Bitboard own = us.pieces[0], enemy = them.pieces[0];
  for (int from = 0; from < 64; ++from) {
    const Bitboard fromBit = squareBit(from);
    if (!(own & fromBit)) continue;
    int type = Pawn;
    while (!(us.pieces[type] & fromBit)) ++type;
    Bitboard targets = 0;
    switch (type) {
      case Pawn: {
        const int one = from + us.push;
        if (!(p.occupied & squareBit(one))) {
          addPawnMove(out, from, one);
          const int startRow = us.push < 0 ? 6 : 1;
          const int two = one + us.push;
          if (rowOf(from) == startRow && !(p.occupied & squareBit(two))) out.push_back(encodeMove(from, two, Pawn));
        }
        for (int df : {-1, 1}) {
          const int file = fileOf(from) + df;
          if (file < 0 || file > 7) continue;
          const int to = one + df;
          if (enemy & squareBit(to)) addPawnMove(out, from, to);
          else if (p.epSquare == to) out.push_back(encodeMove(from, to, Pawn));
        }
        continue;
      }
      case Knight: targets = attackTables.knightAttacks[from]; break;
      case Bishop: targets = traceBishopAttacks(from, p.occupied); break;
      case Rook: targets = traceRookAttacks(from, p.occupied); break;
      case Queen: targets = traceRookAttacks(from, p.occupied) | traceBishopAttacks(from, p.occupied); break;
      case King: targets = attackTables.kingAttacks[from]; break;
    }
    targets &= ~own;
    for (int to = 0; to < 64; ++to)
      if (targets & squareBit(to)) out.push_back(encodeMove(from, to, type));
  }
  // Castling: the empty set clear and the king's path unattacked.
  const int king = us.kingSquare();
  const uint8_t shortBit = us.rightsMask & (WhiteShort | BlackShort);
  const uint8_t longBit = us.rightsMask & (WhiteLong | BlackLong);
  if ((p.castlingRights & shortBit) && !(p.occupied & us.shortEmpty) && !(us.attacked & us.shortSafe))
    out.push_back(encodeMove(king, us.shortRookSquare, King));
  if ((p.castlingRights & longBit) && !(p.occupied & us.longEmpty) && !(us.attacked & us.longSafe))
    out.push_back(encodeMove(king, us.longRookSquare, King));
  return out;
}

inline std::vector<Move> legalMoves(Position& p) {
  std::vector<Move> legal;
  UndoRecord undo;
  undo.save(p);
  for (Move m : pseudoLegalMoves(p))
    if (p.makeMove(m, undo)) {
      legal.push_back(m);
      undo.restore();
    }
  return legal;
}

inline uint64_t referencePerft(Position& p, int depth) {
  if (depth == 0) return 1;
  UndoRecord undo;
  undo.save(p);
  uint64_t nodes = 0;
  for (Move m : pseudoLegalMoves(p)) {
    if (!p.makeMove(m, undo)) continue;
    nodes += depth == 1 ? 1 : referencePerft(p, depth - 1);
    undo.restore();
  }
  return nodes;
}

}  // namespace testsupport
