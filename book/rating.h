// Performance ratings of the players of a PGN file, computed from the
// results of that file's games alone, with the mean over all players held
// at 2400. The book and material statistics use them in place of the Elo
// tags when asked to ("CalcELO").
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Rating work record of one player.
struct PlayerRating {
  double rating = 2400.0;
  double opponentSum = 0.0;  // opponents' ratings of the current pass
  double offset = 0.0;       // performance offset from the score
  int points = 0;            // 2 per win, 1 per draw
  int games = 0;
};

// Reads every game of the file (up to the first that cannot be read) and
// fills `ratings` with the rating, truncated toward zero, of every player
// of a game with a known result. False, with `ratings` untouched, when the
// file cannot be opened; the reader reports that and any PGN error on
// `errors`.
bool computeRatings(const char* fileName, std::map<std::string, int>& ratings);
bool computeRatings(const char* fileName, std::map<std::string, int>& ratings, std::FILE* errors);

// The same from a list of (white, black, white's points) results, points
// being 2 for a white win, 0 for a loss and 1 for a draw; the file reader
// above feeds it.
struct RatedGame {
  std::string white;
  std::string black;
  int whitePoints;
};
void ratePlayers(const std::vector<RatedGame>& games, std::map<std::string, int>& ratings);
