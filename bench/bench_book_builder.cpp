// Book builder and test-position extractor speed: "book add" on a
// generated PGN of 10000 random games with results (games per second),
// the write of the resulting book, and "testpos" at its full node budget
// (positions examined and kept per minute). The files are generated into
// /tmp when the benchmark starts and removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/book_stats.h"
#include "book/test_positions.h"

namespace {

std::string tmpPath(const char* suffix) { return "/tmp/brakken_bench_builder_" + std::to_string(getpid()) + suffix; }

// Random legal games of 40 to 100 plies in SAN with random results. The
// first moves come from a few common choices, so that the games share
// positions the way a real collection does.
void generateGames(const std::string& path, int games, uint32_t seed) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return;
  RandomGenerator random(seed);
  const char* results[] = {"1-0", "0-1", "1/2-1/2"};
  for (int g = 0; g < games; ++g) {
    const char* result = results[random.next() % 3];
    std::fprintf(f, "[Event \"Bench\"]\n[White \"Player %u\"]\n[Black \"Player %u\"]\n[Result \"%s\"]\n"
                    "[WhiteElo \"%u\"]\n[BlackElo \"%u\"]\n\n",
                 random.next() % 200, random.next() % 200, result, 2000 + random.next() % 700,
                 2000 + random.next() % 700);
    Position p;
    p.setStartPosition();
    const int plies = 40 + int(random.next() % 61);
    for (int ply = 0; ply < plies; ++ply) {
      const std::vector<Move> moves = legalMoves(p);
      if (moves.empty()) break;
      // Early on, choose among the first few moves only.
      const size_t choices = ply < 8 ? std::min<size_t>(moves.size(), 3) : moves.size();
      const Move m = moves[random.next() % choices];
      char text[16];
      formatMove(p, m, SanEnglish, text);
      if (ply % 2 == 0) std::fprintf(f, "%d. ", ply / 2 + 1);
      std::fprintf(f, "%s ", text);
      if (ply % 10 == 9) std::fputc('\n', f);
      UndoRecord undo;
      undo.save(p);
      p.makeMove(m, undo);
    }
    std::fprintf(f, "%s\n\n", result);
  }
  std::fclose(f);
}

constexpr int Games = 10000;

void BM_BookAddAndWrite(benchmark::State& state) {
  const std::string pgn = tmpPath(".pgn"), book = tmpPath(".opn");
  generateGames(pgn, Games, 4711);
  double addSeconds = 0, writeSeconds = 0;
  size_t positions = 0;
  for (auto _ : state) {
    BookStats stats;
    auto t0 = std::chrono::steady_clock::now();
    stats.addPgn(pgn.c_str(), 1000, false, state.range(0) != 0, -1);
    auto t1 = std::chrono::steady_clock::now();
    std::FILE* keep = stdout;
    stdout = std::fopen("/dev/null", "w");
    stats.write(book.c_str(), 0, 0.25);
    std::fclose(stdout);
    stdout = keep;
    auto t2 = std::chrono::steady_clock::now();
    addSeconds += std::chrono::duration<double>(t1 - t0).count();
    writeSeconds += std::chrono::duration<double>(t2 - t1).count();
    positions = stats.positionCount();
  }
  state.counters["games_per_s"] = Games * state.iterations() / addSeconds;
  state.counters["write_ms"] = 1000 * writeSeconds / state.iterations();
  state.counters["positions"] = double(positions);
  std::ifstream in(book, std::ios::ate);
  state.counters["book_bytes"] = double(in.tellg());
  std::remove(pgn.c_str());
  std::remove(book.c_str());
}
// Argument 1: with CalcELO (the file is read twice).
BENCHMARK(BM_BookAddAndWrite)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_TestPositions(benchmark::State& state) {
  const std::string pgn = tmpPath("_tp.pgn"), control = tmpPath("_tp.ctl");
  const std::string middle = tmpPath("_tp.mid"), end = tmpPath("_tp.end");
  generateGames(pgn, 8, 99);
  double seconds = 0;
  size_t kept = 0;
  for (auto _ : state) {
    std::remove(middle.c_str());
    std::remove(end.c_str());
    std::ofstream(control) << middle << "\n" << end << "\n0\n" << pgn << "\n";
    std::FILE* keep = stdout;
    stdout = std::fopen("/dev/null", "w");
    auto t0 = std::chrono::steady_clock::now();
    extractTestPositions(control.c_str());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fclose(stdout);
    stdout = keep;
    for (const std::string& f : {middle, end}) {
      std::ifstream in(f);
      for (std::string l; std::getline(in, l);) ++kept;
    }
  }
  state.counters["kept_per_min"] = 60.0 * double(kept) / seconds;
  for (const std::string& f : {pgn, control, middle, end}) std::remove(f.c_str());
}
BENCHMARK(BM_TestPositions)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
