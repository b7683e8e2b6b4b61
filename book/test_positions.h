// Extracts quiet test positions from PGN games. A control file names the
// middlegame and endgame position files and the game file, and counts the
// games already processed. Each game is walked in random steps; quiet
// positions that are not too simple and not yet known are searched with a
// fixed node budget and kept when the search agrees with the game's result
// better than the static score does. After every kept position the
// control file records the game being processed, so a new run resumes
// after it.
#pragma once

#include <cstddef>
#include <cstdint>

struct TestPositionSettings {
  uint64_t nodes = 300000;          // node budget of every search
  size_t hashBytes = 20971520;      // transposition table of the game's searcher
};

void extractTestPositions(const char* controlFile);
void extractTestPositions(const char* controlFile, const TestPositionSettings& settings);
