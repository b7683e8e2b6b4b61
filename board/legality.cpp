#include "board/legality.h"

#include "board/move_list.h"

bool isLegalMove(Position& position, Move move) {
  LocalMoveStack stack;
  MoveList list(stack, position, legalityHistoryTable(), AllMoves);
  bool listed = false;
  for (const MoveListEntry* e = list.begin(); e < list.end(); ++e)
    if (e->move == move) {
      listed = true;
      break;
    }
  if (!listed) return false;
  UndoRecord undo;
  undo.save(position);
  if (!position.makeMoveFast(move, undo)) return false;
  undo.restore();
  return true;
}

bool Position::noLegalMove(int* result) {
  LocalMoveStack stack;
  MoveList list(stack, *this, legalityHistoryTable(), AllMoves);
  UndoRecord undo;
  undo.save(*this);
  while (const MoveListEntry* e = list.next()) {
    if (makeMoveFast(e->move, undo)) {
      undo.restore();
      return false;
    }
  }
  if (result) {
    *result = 0;
    if (inCheck()) *result = whiteToMove ? -1 : 1;
  }
  return true;
}

bool onlyLegalMove(Position& position, Move& move) {
  LocalMoveStack stack;
  MoveList list(stack, position, legalityHistoryTable(), AllMoves);
  UndoRecord undo;
  undo.save(position);
  int count = 0;
  while (count < 2) {
    const MoveListEntry* e = list.next();
    if (!e) break;
    if (position.makeMoveFast(e->move, undo)) {
      move = e->move;
      undo.restore();
      ++count;
    }
  }
  return count == 1;
}
