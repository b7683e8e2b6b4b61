// Searches magic multipliers for one slider on all 64 squares and keeps the
// best row per square in a results file (merged with the file's rows from
// earlier runs). Usage: find_magics rook|bishop <results file>
// The rows (square, bits, mulHi, mulLo, spare slots, entries) give the
// constants of the attack tables: mulLo, mulHi, bits, entries.
#include <cstdio>
#include <cstring>

#include "board/magic_finder.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "rook") != 0 && std::strcmp(argv[1], "bishop") != 0)) {
    std::fprintf(stderr, "usage: %s rook|bishop <results file>\n", argc > 0 ? argv[0] : "find_magics");
    return 2;
  }
  const int directions =
      std::strcmp(argv[1], "rook") == 0 ? MagicFinder::RookDirections : MagicFinder::BishopDirections;
  MagicFinder finder;
  return finder.run(directions, argv[2]) ? 0 : 1;
}
