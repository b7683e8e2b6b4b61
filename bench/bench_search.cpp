// Fixed-depth search over a fixed set of positions, one thread: total nodes
// (the same on every run) and nodes per second.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "search/searcher.h"

namespace {

std::vector<std::string> benchPositions() {
  std::vector<std::string> fens;
  std::ifstream in(std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/bench_positions.txt");
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) fens.push_back(line);
  return fens;
}

void BM_SearchFixedDepth(benchmark::State& state) {
  const int depth = int(state.range(0));
  const std::vector<std::string> fens = benchPositions();
  uint64_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    for (const std::string& fen : fens) {
      auto s = std::make_unique<Searcher>(16u << 20);
      s->game().setFen(fen.c_str());
      SearchLimits limits(depth);
      s->setupRootMoves();
      s->startSearch(false);
      limits.start();
      s->think(&limits);
      nodes += s->nodes();
    }
  }
  state.counters["positions"] = double(fens.size());
  state.counters["nodes"] = double(nodes);
  state.counters["nps"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SearchFixedDepth)->Arg(9)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
