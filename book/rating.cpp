#include "book/rating.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "book/pgn_lexer.h"

namespace {

constexpr double MeanRating = 2400.0;
constexpr double OffsetLimit = 300.0;

// Offset of a player's performance over the mean of its opponents, from
// its share of the points; a clean score counts as 999 to 1.
double performanceOffset(int points, int games) {
  const double p = double(points) / (2.0 * double(games));
  double odds;
  if (p <= 0.0)
    odds = 999.0;
  else if (p >= 1.0)
    odds = 1.0 / 999.0;
  else
    odds = 1.0 / p - 1.0;
  return std::clamp(-400.0 * std::log10(odds), -OffsetLimit, OffsetLimit);
}

}  // namespace

void ratePlayers(const std::vector<RatedGame>& games, std::map<std::string, int>& ratings) {
  std::map<std::string, PlayerRating> players;
  // Both players of a game, once the names are known, as pointers into the
  // map (its nodes never move).
  std::vector<std::pair<PlayerRating*, PlayerRating*>> pairs;
  pairs.reserve(games.size());
  for (const RatedGame& g : games) {
    PlayerRating& white = players[g.white];
    white.points += g.whitePoints;
    white.games += 1;
    PlayerRating& black = players[g.black];
    black.points += 2 - g.whitePoints;
    black.games += 1;
    pairs.emplace_back(&white, &black);
  }
  for (auto& entry : players) entry.second.offset = performanceOffset(entry.second.points, entry.second.games);

  // Each pass moves every rating four fifths of the way to its performance
  // against the ratings of the pass before; the shift of a pass brings the
  // mean performance back to 2400 and is applied in the next one.
  double shift = 0.0;
  double previousChange = 123456789.0;
  for (;;) {
    for (auto& pair : pairs) {
      pair.first->opponentSum += pair.second->rating;
      pair.second->opponentSum += pair.first->rating;
    }
    double largestChange = 0.0;
    double performanceSum = 0.0;
    for (auto& entry : players) {
      PlayerRating& r = entry.second;
      const double performance = r.opponentSum / r.games + r.offset;
      const double change = (r.rating - performance) * (r.rating - performance);
      largestChange = std::max(largestChange, change);
      r.rating = (r.rating + 4.0 * performance) / 5.0 - shift;
      performanceSum += performance;
      r.opponentSum = 0.0;
    }
    if (!(largestChange > 0.01 && largestChange < 0.999 * previousChange)) break;
    shift = performanceSum / double(players.size()) - MeanRating;
    previousChange = largestChange;
  }

  ratings.clear();
  for (const auto& entry : players) ratings[entry.first] = int(entry.second.rating);
}

bool computeRatings(const char* fileName, std::map<std::string, int>& ratings, std::FILE* errors) {
  PgnLexer lexer(fileName, errors);
  if (!lexer.isOpen()) return false;
  std::vector<RatedGame> games;
  std::vector<Move> moves;
  PgnTags tags;
  while (lexer.readGame(moves, tags)) {
    const std::string& result = tags["Result"];
    if (result == "*") continue;
    const int whitePoints = result == "1-0" ? 2 : result == "0-1" ? 0 : 1;
    games.push_back({tags["White"], tags["Black"], whitePoints});
  }
  ratePlayers(games, ratings);
  return true;
}

bool computeRatings(const char* fileName, std::map<std::string, int>& ratings) {
  return computeRatings(fileName, ratings, stderr);
}
