// Extracts quiet test positions from PGN games. A control file names the
// middlegame and endgame position files and the game file, and counts the
// games already processed. Each game is walked in random steps; quiet
// positions that are not too simple and not yet known are searched with a
// fixed node budget and kept when the search agrees with the game's result
// better than the static score does. After every kept position the
// control file records the game being processed, so a new run resumes
// after it. A control file or game file that cannot be read ends the run
// before any position file is touched; a position file that cannot be
// opened switches its class off; a control file that cannot be written
// loses the count, but the positions are still kept. Each is told once a
// run on standard error as an "info string" line naming the file.
#pragma once

#include <cstddef>
#include <cstdint>

struct TestPositionSettings {
  uint64_t nodes = 300000;          // node budget of every search
  size_t hashBytes = 20971520;      // transposition table of the game's searcher
};

void extractTestPositions(const char* controlFile);
void extractTestPositions(const char* controlFile, const TestPositionSettings& settings);
