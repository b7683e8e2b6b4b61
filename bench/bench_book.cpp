// Opening book and PGN reading speed: loading a generated book of about
// 100000 entries, probing it, and reading a generated file of 10000 games
// through the PGN reader. The files are generated into /tmp when the
// benchmark starts and removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/book.h"
#include "book/pgn_lexer.h"

namespace {

// A uniform tree: the first `branching` legal moves of every position down
// to maxDepth plies; 10 moves over 5 plies give 111110 entries.
void writeTree(BookWriter& writer, Position& p, int depth, int maxDepth, int branching, long& count) {
  const std::vector<Move> moves = legalMoves(p);
  for (int i = 0; i < branching && i < int(moves.size()); ++i) {
    char text[16];
    formatMove(p, moves[i], Coordinate, text);
    writer.beginItem(depth, i == 0, text, 1 + i);
    ++count;
    if (depth + 1 < maxDepth) {
      UndoRecord undo;
      undo.save(p);
      p.makeMove(moves[i], undo);
      writeTree(writer, p, depth + 1, maxDepth, branching, count);
      undo.restore();
    }
    writer.endItem();
  }
}

std::string bookPath() { return "/tmp/brakken_bench_" + std::to_string(getpid()) + ".opn"; }
std::string pgnPath() { return "/tmp/brakken_bench_" + std::to_string(getpid()) + ".pgn"; }

long generateBook() {
  std::FILE* f = std::fopen(bookPath().c_str(), "w");
  if (!f) return 0;
  BookWriter writer(f);
  Position p;
  long count = 0;
  writeTree(writer, p, 0, 5, 10, count);
  writer.finish();
  std::fclose(f);
  return count;
}

// Random games of up to 80 plies in SAN, with tags, comments and glyphs
// sprinkled in as real files have them.
void generateGames(int games) {
  std::FILE* f = std::fopen(pgnPath().c_str(), "w");
  if (!f) return;
  RandomGenerator random(4711);
  for (int g = 0; g < games; ++g) {
    std::fprintf(f,
                 "[Event \"Bench\"]\n[Site \"here\"]\n[Round \"%d\"]\n[White \"Player %u\"]\n[Black \"Player %u\"]\n"
                 "[Result \"*\"]\n[WhiteElo \"%u\"]\n[BlackElo \"%u\"]\n\n",
                 g, random.next() % 100, random.next() % 100, 2000 + random.next() % 700, 2000 + random.next() % 700);
    Position p;
    for (int ply = 0; ply < 80; ++ply) {
      const std::vector<Move> moves = legalMoves(p);
      if (moves.empty()) break;
      const Move m = moves[random.next() % moves.size()];
      char text[16];
      formatMove(p, m, SanEnglish, text);
      if (ply % 2 == 0) std::fprintf(f, "%d. ", ply / 2 + 1);
      std::fprintf(f, "%s ", text);
      if (ply % 17 == 5) std::fputs("{a comment} ", f);
      if (ply % 23 == 7) std::fputs("$1 ", f);
      if (ply % 10 == 9) std::fputc('\n', f);
      UndoRecord undo;
      undo.save(p);
      p.makeMove(m, undo);
    }
    std::fputs("*\n\n", f);
  }
  std::fclose(f);
}

void BM_BookLoad(benchmark::State& state) {
  const long entries = generateBook();
  Book book;
  book.setFileName(bookPath().c_str());
  for (auto _ : state) {
    if (!book.load()) state.SkipWithError("book did not load");
    benchmark::DoNotOptimize(book.entries().data());
  }
  state.counters["entries"] = double(entries);
  state.SetItemsProcessed(state.iterations() * int64_t(book.entries().size()));
  std::remove(bookPath().c_str());
}
BENCHMARK(BM_BookLoad)->Unit(benchmark::kMillisecond);

void BM_BookProbe(benchmark::State& state) {
  generateBook();
  Book book;
  book.setFileName(bookPath().c_str());
  if (!book.load()) state.SkipWithError("book did not load");
  std::remove(bookPath().c_str());
  Position p;
  Move move, reply;
  for (auto _ : state) benchmark::DoNotOptimize(book.probe(p, &move, &reply));
}
BENCHMARK(BM_BookProbe);

void BM_PgnGames(benchmark::State& state) {
  const int games = 10000;
  generateGames(games);
  int64_t read = 0;
  for (auto _ : state) {
    PgnLexer lexer(pgnPath().c_str());
    PgnGame game;
    int n = 0;
    while (lexer.next(game)) ++n;
    if (n != games) state.SkipWithError("not every game was read");
    read += n;
  }
  state.SetItemsProcessed(read);
  std::remove(pgnPath().c_str());
}
BENCHMARK(BM_PgnGames)->Unit(benchmark::kMillisecond);

}  // namespace
