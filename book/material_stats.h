// Material statistics: how material balances turn out in practice. From
// PGN games it samples quiet positions whose material has settled and
// records the result for the side with more material, a value from the
// positional evaluation and the rating difference, and the plies left;
// from random games it records results per balance directly. writeTable()
// aggregates everything by balance into the training table of the material
// network trainer; writeMem() and readMem() save and restore the raw data.
//
// Files that cannot be opened are reported on standard error.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/types.h"
#include "eval/material_trainer.h"  // materialSignatureValue

class Position;
class RandomGenerator;

// Four bits per man type: pawns 0-3, knights 4-7, bishops 8-11, rooks
// 12-15, queens from bit 16.
uint32_t sideMaterialSignature(const Position& position, bool white);

// (larger signature << 24) | (smaller signature << 4) | bishop relation of
// the position (Position::bishopColours); 0 when both sides have the same
// material.
uint64_t materialStatisticsKey(const Position& position);

// One sampled position, also the record of the memory image.
struct PositionStat {
  uint32_t keyLow = 0;   // material-statistics key
  uint32_t keyHigh = 0;
  double valueSum = 0.0;
  // 64 bits in memory, so that a position seen in millions of games cannot
  // overflow; the memory image holds them as 32-bit values.
  int64_t scoreSum = 0;
  int64_t weightSum = 0;
  double pliesLeftSum = 0.0;

  uint64_t key() const { return (uint64_t(keyHigh) << 32) | keyLow; }
};

// The aggregate of one material balance.
struct MaterialKeyStat {
  double valueSum = 0.0;
  double scoreSum = 0.0;
  double weight = 0.0;
  double pliesLeftSum = 0.0;
};

class MaterialStatistics {
 public:
  static constexpr int KeyBlocks = 300;
  static constexpr int KeyCount = KeyBlocks * 128;
  // Bytes of the random keys at the start of the memory image.
  static constexpr long KeyBytes = KeyCount * 4L;

  // Draws the random keys from the process-wide generator.
  MaterialStatistics();

  // Adds every game of the file (up to the first that cannot be read).
  // With calcElo the players' ratings are computed from the file itself.
  // Games in which either Elo is below minimumElo (when it is 0 or more)
  // are skipped. False only when the file cannot be opened.
  bool addPgn(const char* fileName, int value, bool calcElo, int minimumElo);

  // One game; resultSign +1 white won, -1 black won, 0 draw. False for a
  // refused FEN and for a game of 32 plies or fewer; true (adding nothing)
  // for a game seen before.
  bool addGame(const std::vector<Move>& moves, const std::string& fen, int whiteElo, int blackElo, int value,
               int resultSign);

  // Plays count random Chess960 games and records their balances. The
  // generator is reseeded with seed first (0: from the clock).
  bool addRandomGames(long count, uint32_t seed = 0);

  // Writes the table of the balances with the positions folded in (the
  // statistics themselves stay as they are). False when the file cannot be
  // written.
  bool writeTable(const char* fileName) const;

  bool writeMem(const char* fileName) const;
  // Replaces the keys and the game signatures by the image's and merges its
  // positions. A short image (also one whose counts promise more than the
  // file holds), or one with a figure no collection can hold (signatures
  // out of their ascending order; a sum that is not finite; a weight, score
  // or plies-left sum below zero), or one larger than the memory holds, is
  // refused with a message, and nothing of it is taken.
  bool readMem(const char* fileName);

  // --- inspection ---
  const std::vector<uint32_t>& randomKeys() const { return keys_; }
  const std::set<std::pair<uint32_t, uint32_t>>& signatures() const { return signatures_; }
  const std::map<uint64_t, PositionStat>& positions() const { return positions_; }
  const std::map<uint64_t, MaterialKeyStat>& balances() const { return balances_; }

 private:
  std::vector<uint32_t> keys_;
  std::set<std::pair<uint32_t, uint32_t>> signatures_;
  std::map<uint64_t, PositionStat> positions_;
  std::map<uint64_t, MaterialKeyStat> balances_;
};

// Writes games random games from the start position as a PGN file (the
// generator reseeded with seed first, 0: from the clock). False, with a
// message, when the file cannot be written.
bool writeMonteCarloPgn(const char* fileName, long games = 500000, uint32_t seed = 0);
