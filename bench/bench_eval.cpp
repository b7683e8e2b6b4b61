// Micro-benchmarks of the static evaluation: time per Evaluator::evaluate
// over a fixed set of positions, with the pawn and material hashes warm
// (every probe hits) and cold (emptied before each pass, every probe misses).
#include <benchmark/benchmark.h>

#include <vector>

#include "board/position.h"
#include "eval/evaluator.h"

namespace {

// Openings, castled middlegames, endings with and without pawns: each with
// its own pawn structure and material.
const char* const kEvalFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r1bq1rk1/pp3ppp/2nbpn2/3p4/2PP4/2NBPN2/PP3PPP/R1BQ1RK1 w - -",
    "2kr3r/ppp2ppp/2n1bn2/2b1p3/4P3/2NP1N2/PPP1BPPP/R1B2RK1 b - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "8/5pk1/6p1/p7/P2R4/1r4P1/5PK1/8 w - -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "8/8/4k3/3p4/2pP1p2/2P2P2/4K3/8 w - -",
    "6k1/5ppp/8/8/8/8/1B3PPP/6K1 b - -",
    "3qk3/pp3ppp/8/8/8/8/PP3PPP/3QK3 w - -",
    "4k3/8/8/2b5/8/8/4N3/4K3 w - -",
    "7k/8/8/8/8/8/1R6/RK6 b - -",
    "8/3k4/8/8/8/8/3PK3/8 w - -",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/3P4/1PN1PN2/PBQ1BPPP/R4RK1 w - -",
};

// Endings the endgame knowledge judges: king and pawn, mating material,
// rook endings, minor pieces against pawns, same-piece endings with pawns
// and pawn endings.
const char* const kEndgameFens[] = {
    "8/8/8/4k3/8/8/4P3/4K3 w - -",      "8/4p3/8/8/3K4/8/8/4k3 b - -",
    "8/8/8/3k4/8/8/8/R3K3 w - -",       "8/8/3k4/8/8/8/8/2BNK3 w - -",
    "8/8/8/3k4/8/8/8/1NN1K3 b - -",     "4k3/r7/4P3/4K3/8/8/8/1R6 b - -",
    "1k6/8/8/8/8/8/2r5/R4K2 w - -",    "8/8/4k3/4p3/8/3N4/8/4K3 w - -",
    "8/2b5/4k3/8/2P5/4K3/8/8 b - -",    "6k1/8/8/b7/P7/1K6/8/8 w - -",
    "8/5k2/3b4/3P1p2/5P2/3BK3/8/8 w - -", "8/4k3/4n3/p7/P4P2/4K3/3N4/8 w - -",
    "3q4/5k2/5p2/8/8/2P5/3Q1K2/8 w - -", "8/5k2/3n1p2/8/2P5/2B1K3/8/8 b - -",
    "8/p4k2/1p6/8/8/8/5K2/4R3 w - -",   "8/pp3k2/8/8/8/8/P4K1P/8 w - -",
    "8/6k1/8/4K3/8/8/3R4/5r2 w - -",     "8/8/8/3k4/8/4B3/4K3/1r6 b - -",
};

std::vector<Position> positionsOf(const char* const* fens, size_t count) {
  std::vector<Position> out;
  for (size_t i = 0; i < count; ++i) {
    Position p;
    if (p.setFen(fens[i])) out.push_back(p);
  }
  return out;
}

std::vector<Position> benchPositions() {
  std::vector<Position> out;
  for (const char* fen : kEvalFens) {
    Position p;
    if (p.setFen(fen)) out.push_back(p);
  }
  return out;
}

// Time per evaluation, shown as the inverse rate of evaluations.
void reportPerEvaluation(benchmark::State& state, size_t evaluationsPerPass) {
  const double evaluations = double(state.iterations()) * double(evaluationsPerPass);
  state.SetItemsProcessed(int64_t(evaluations));
  state.counters["per_eval"] = benchmark::Counter(evaluations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EvaluateWarm(benchmark::State& state) {
  const std::vector<Position> positions = benchPositions();
  Evaluator evaluator;
  for (const Position& p : positions) evaluator.evaluate(p);
  for (auto _ : state) {
    for (const Position& p : positions) benchmark::DoNotOptimize(evaluator.evaluate(p));
  }
  reportPerEvaluation(state, positions.size());
  state.SetLabel("pawn and material hash hits");
}
BENCHMARK(BM_EvaluateWarm);

void BM_EvaluateCold(benchmark::State& state) {
  const std::vector<Position> positions = benchPositions();
  Evaluator evaluator;
  for (auto _ : state) {
    state.PauseTiming();
    evaluator.clearHashes();
    state.ResumeTiming();
    for (const Position& p : positions) benchmark::DoNotOptimize(evaluator.evaluate(p));
  }
  reportPerEvaluation(state, positions.size());
  state.SetLabel("hashes emptied before each pass");
}
BENCHMARK(BM_EvaluateCold);

void BM_EvaluateEndgames(benchmark::State& state) {
  const std::vector<Position> positions = positionsOf(kEndgameFens, sizeof kEndgameFens / sizeof *kEndgameFens);
  Evaluator evaluator;
  for (const Position& p : positions) evaluator.evaluate(p);
  for (auto _ : state) {
    for (const Position& p : positions) benchmark::DoNotOptimize(evaluator.evaluate(p));
  }
  reportPerEvaluation(state, positions.size());
  state.SetLabel("endings, hashes warm");
}
BENCHMARK(BM_EvaluateEndgames);

void BM_ClearHashes(benchmark::State& state) {
  Evaluator evaluator;
  for (auto _ : state) {
    evaluator.clearHashes();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ClearHashes);

}  // namespace
