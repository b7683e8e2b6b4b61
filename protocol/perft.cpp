#include "protocol/perft.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "board/notation.h"
#include "board/position.h"
#include "protocol/command_text.h"
#include "protocol/engine_output.h"
#include "protocol/uci_protocol.h"
#include "search/search_limits.h"
#include "search/searcher.h"

namespace {

// Room for the moves of every ply of the deepest count: no list is ever cut
// short, which would silently lose moves.
constexpr size_t StackEntriesPerPly = 256;

}  // namespace

PerftHash::PerftHash() : stackEntries_(StackEntriesPerPly * (MaxDepth + 1)) {
  stack_.top = stackEntries_.data();
  stack_.limit = stackEntries_.data() + stackEntries_.size();
}

void PerftHash::resize(size_t bytes) {
  history_.reset();
  entries_.reset();
  count_ = 0;
  size_t n = 0;
  if (bytes >= 20) {
    n = 1;
    while (n <= bytes / 20 / 2) n <<= 1;
  }
  while (n > 0) {
    entries_.reset(new (std::nothrow) PerftHashEntry[n]);
    if (entries_) break;
    n >>= 1;
  }
  if (!entries_) return;
  std::memset(static_cast<void*>(entries_.get()), 0, n * sizeof(PerftHashEntry));
  count_ = n;
}

uint64_t perftCount(PerftHash& hash, Position& p, int depth) {
  if (depth < 0 || depth > PerftHash::MaxDepth) return 0;
  // The position itself is the one leaf; answered before the table, whose
  // zeroed entries read as depth 0.
  if (depth == 0) return 1;
  const uint32_t keyLow = uint32_t(p.hashKey), keyHigh = uint32_t(p.hashKey >> 32);
  PerftHashEntry* slot = nullptr;
  if (hash.size()) {
    slot = hash.entries() + (keyLow & (hash.size() - 1));
    if (slot->keyLow == keyLow && slot->keyHigh == keyHigh && slot->depth == depth) return slot->count;
  }
  MoveList list(hash.stack(), p, hash.history(), AllMoves);
  UndoRecord undo;
  undo.save(p);
  uint64_t count = 0;
  for (const MoveListEntry* e = list.begin(); e < list.end(); ++e) {
    if (depth == 1) {
      if (p.makeMoveFast(e->move, undo)) {
        ++count;
        undo.restore();
      }
    } else if (p.makeMove(e->move, undo)) {
      count += perftCount(hash, p, depth - 1);
      undo.restore();
    }
  }
  if (slot && !(slot->depth >= depth && slot->count > 2 * count)) *slot = {keyLow, keyHigh, count, depth};
  return count;
}

void UciProtocol::perft(const char* line) {
  stopSilently();
  const char* args = skipWhiteSpace(restAfter(line, 6));
  int64_t depth = 0;
  if (!readNumberAfter(args, "depth", depth)) {
    diagnostic("perft ohne depth", nullptr);
    return;
  }
  if (depth > PerftHash::MaxDepth) {
    diagnostic("perft: depth zu gro\xdf", line);
    return;
  }
  int64_t megabytes = 0;
  if (!readNumberAfter(args, "Hash", megabytes)) megabytes = 0;
  const size_t bytes = size_t(clampValue(megabytes, 0, UciProtocol::MaxHashMegabytes)) << 20;
  Position& p = searcher_->position();
  SearchLimits watch(32767);
  char text[120];

  if (!std::strstr(args, "divide")) {
    PerftHash hash;
    hash.resize(bytes);
    watch.start();
    const uint64_t n = perftCount(hash, p, int(depth));
    watch.stop();
    std::snprintf(text, sizeof text, "info depth %d time %16.0f nodes %16.0f", int(depth), double(watch.elapsed()),
                  double(n));
    collapseSpaces(text);
    output_->writeLine(text);
    return;
  }

  HistoryTable history;
  LocalMoveStack stack;
  MoveList list(stack, p, history, AllMoves);
  UndoRecord undo;
  undo.save(p);
  while (const MoveListEntry* e = list.next()) {
    char move[16];
    formatMove(p, e->move, Coordinate, move);
    if (!p.makeMove(e->move, undo)) continue;
    PerftHash hash;
    hash.resize(bytes);
    watch.reset();
    watch.start();
    const uint64_t n = perftCount(hash, p, int(depth) - 1);
    watch.stop();
    std::snprintf(text, sizeof text, "info move %s depth %d time %16.0f nodes %16.0f", move, int(depth) - 1,
                  double(watch.elapsed()), double(n));
    collapseSpaces(text);
    output_->writeLine(text);
    undo.restore();
  }
}
