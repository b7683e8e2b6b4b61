// The magic-number finder's time for one square with its full settings (the
// 318 MB cost cache and up to 300 generations), and the cost of setting up
// that cache alone. Seeded, so each run searches the same way.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "board/attack_tables.h"
#include "board/magic_finder.h"
#include "board/random_generator.h"

namespace {

void BM_FindMagicOneSquare(benchmark::State& state, const char* square, int directions) {
  std::FILE* sink = std::fopen("/dev/null", "w");
  MagicFinder finder(sink);
  int entries = 0;
  for (auto _ : state) {
    RandomGenerator::instance().seed(1);
    MagicCandidate best;
    if (!finder.findMagic(squareFromText(square), directions, best)) state.SkipWithError("no cost cache");
    entries = finder.shrinkBits(best.mulHi, best.mulLo, squareFromText(square), directions).entries;
  }
  state.counters["entries"] = entries;
  if (sink) std::fclose(sink);
}
BENCHMARK_CAPTURE(BM_FindMagicOneSquare, bishop_a8, "a8", MagicFinder::BishopDirections)
    ->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FindMagicOneSquare, bishop_d5, "d5", MagicFinder::BishopDirections)
    ->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FindMagicOneSquare, rook_a8, "a8", MagicFinder::RookDirections)
    ->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FindMagicOneSquare, rook_d5, "d5", MagicFinder::RookDirections)
    ->Iterations(1)->Unit(benchmark::kSecond);

void BM_CostCacheSetUp(benchmark::State& state) {
  for (auto _ : state) {
    MagicCostCache cache;
    if (!cache.allocate(MagicCostCache::DefaultEntries)) state.SkipWithError("no cost cache");
  }
}
BENCHMARK(BM_CostCacheSetUp)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
