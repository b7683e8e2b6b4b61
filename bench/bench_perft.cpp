// Perft speed over the engine's move lists (single thread, no count cache).
#include <benchmark/benchmark.h>

#include "board/move_list.h"
#include "../tests/support/list_perft.h"

namespace {

void runPerft(benchmark::State& state, const char* fen, int depth) {
  Position p;
  p.setFen(fen);
  testsupport::SearchStack stack;
  uint64_t nodes = 0;
  for (auto _ : state) nodes = testsupport::listPerft(p, depth, stack);
  state.counters["nodes"] = double(nodes);
  state.counters["nps"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PerftStart6(benchmark::State& state) {
  runPerft(state, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6);
}
BENCHMARK(BM_PerftStart6)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PerftKiwipete5(benchmark::State& state) {
  runPerft(state, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5);
}
BENCHMARK(BM_PerftKiwipete5)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
