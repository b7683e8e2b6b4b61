// Perft over the engine's own move lists, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "board/move_list.h"

namespace testsupport {

struct SearchStack : MoveStack {
  std::vector<MoveListEntry> entries = std::vector<MoveListEntry>(18000);
  SearchStack() {
    top = entries.data();
    limit = entries.data() + entries.size();
  }
};

// Leaves are counted with the fast make: the full list never offers a king
// step onto an attacked square, which the fast test relies on.
inline uint64_t listPerft(Position& p, int depth, MoveStack& stack) {
  MoveList list(stack, p, legalityHistoryTable(), AllMoves);
  UndoRecord undo;
  undo.save(p);
  uint64_t nodes = 0;
  for (const MoveListEntry* e = list.begin(); e < list.end(); ++e) {
    if (depth == 1) {
      if (p.makeMoveFast(e->move, undo)) {
        ++nodes;
        undo.restore();
      }
    } else if (p.makeMove(e->move, undo)) {
      nodes += listPerft(p, depth - 1, stack);
      undo.restore();
    }
  }
  return nodes;
}

}  // namespace testsupport
