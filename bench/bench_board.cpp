// Micro-benchmarks of the board core: make/unmake, slider look-ups and
// building the attack tables.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "board/attack_tables.h"
#include "board/position.h"

namespace {

// Kiwipete: castling, captures and promotions-to-be in one position.
const char* const kBenchFen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// The pseudo-legal moves of a position, found by trying every from/to pair
// on a copy (benchmark set-up, not measured).
std::vector<Move> benchMoves(const Position& start) {
  std::vector<Move> moves;
  Position p = start;
  UndoRecord undo;
  undo.save(p);
  const SideState& us = p.toMove();
  for (int from = 0; from < 64; ++from) {
    if (!(us.pieces[0] & squareBit(from))) continue;
    int type = Pawn;
    while (!(us.pieces[type] & squareBit(from))) ++type;
    Bitboard targets = 0;
    switch (type) {
      case Knight: targets = attackTables.knightAttacks[from]; break;
      case Bishop: targets = AttackTables::bishopAttacks(from, p.occupied); break;
      case Rook: targets = AttackTables::rookAttacks(from, p.occupied); break;
      case Queen: targets = AttackTables::queenAttacks(from, p.occupied); break;
      case King: targets = attackTables.kingAttacks[from] & ~us.attacked; break;
      default: {
        int one = from + us.push;
        if (!(p.occupied & squareBit(one))) targets |= squareBit(one);
        targets |= (us.push < 0 ? whitePawnAttacks(squareBit(from)) : blackPawnAttacks(squareBit(from))) &
                   p.notToMove().pieces[0];
      }
    }
    for (Bitboard t = targets & ~us.pieces[0]; t; t &= t - 1) {
      Move m = encodeMove(from, AttackTables::lowestSquare(t), type);
      if (p.makeMove(m, undo)) {
        moves.push_back(m);
        undo.restore();
      }
    }
  }
  return moves;
}

void BM_MakeMoveRestore(benchmark::State& state) {
  Position p;
  p.setFen(kBenchFen);
  const std::vector<Move> moves = benchMoves(p);
  UndoRecord undo;
  undo.save(p);
  size_t i = 0;
  for (auto _ : state) {
    bool ok = p.makeMove(moves[i], undo);
    benchmark::DoNotOptimize(ok);
    undo.restore();
    if (++i == moves.size()) i = 0;
  }
}
BENCHMARK(BM_MakeMoveRestore);

void BM_MakeMoveFastRestore(benchmark::State& state) {
  Position p;
  p.setFen(kBenchFen);
  const std::vector<Move> moves = benchMoves(p);
  UndoRecord undo;
  undo.save(p);
  size_t i = 0;
  for (auto _ : state) {
    bool ok = p.makeMoveFast(moves[i], undo);
    benchmark::DoNotOptimize(ok);
    undo.restore();
    if (++i == moves.size()) i = 0;
  }
}
BENCHMARK(BM_MakeMoveFastRestore);

template <bool Rook>
void BM_SliderLookup(benchmark::State& state) {
  std::mt19937_64 rng(1);
  std::vector<Bitboard> occupancies(1024);
  for (Bitboard& b : occupancies) b = rng() & rng();
  size_t i = 0;
  int s = 0;
  for (auto _ : state) {
    Bitboard a = Rook ? AttackTables::rookAttacks(s, occupancies[i]) : AttackTables::bishopAttacks(s, occupancies[i]);
    benchmark::DoNotOptimize(a);
    i = (i + 1) & 1023;
    s = (s + 1) & 63;
  }
}
BENCHMARK(BM_SliderLookup<true>)->Name("BM_RookAttacks");
BENCHMARK(BM_SliderLookup<false>)->Name("BM_BishopAttacks");

void BM_BuildAttackTables(benchmark::State& state) {
  for (auto _ : state) {
    auto tables = std::make_unique<AttackTables>();
    benchmark::DoNotOptimize(tables.get());
  }
  state.SetLabel("whole start-up build");
}
BENCHMARK(BM_BuildAttackTables)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
