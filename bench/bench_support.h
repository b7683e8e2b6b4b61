// Helpers the benchmarks share for generating their input files.
#pragma once

#include <vector>

#include "board/history_table.h"
#include "board/move_list.h"

// The legal moves of p in generation order.
inline std::vector<Move> legalMoves(Position& p) {
  std::vector<Move> moves;
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), AllMoves);
  UndoRecord undo;
  undo.save(p);
  while (const MoveListEntry* e = list.next())
    if (p.makeMove(e->move, undo)) {
      moves.push_back(e->move);
      undo.restore();
    }
  return moves;
}
