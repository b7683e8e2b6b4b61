// The material network trainer: fits the material network to the material
// statistics table. readTrainingSet() turns the table lines into training
// records with a target score and a weight; trainMaterialNet() trains the
// network on them in an endless sequence of phases, saving it whenever a
// full-set epoch improves on the best error and logging its progress.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class MaterialNet;
class RandomGenerator;

// The material value of a signature (four bits per man type: pawns 0-3,
// knights 4-7, bishops 8-11, rooks 12-15, queens from bit 16): pawn 1,
// knight 3, bishop 3, rook 5, queen 9.
int materialSignatureValue(uint32_t signature);

struct TrainingRecord {
  // Queens, rooks, bishops, knights and pawns of the larger side, then the
  // same five of the smaller side.
  int32_t counts[10] = {};
  int32_t bishopRelation = 0;  // -1 opposite colours, +1 same colour, 0 otherwise
  double target = 0.0;         // score fraction the network should give the larger side
  double games = 0.0;          // the table's weight column
  double weight = 0.0;         // training weight
  int32_t materialDifference = 0;

  // Exchanges the two sides: counts, target and material difference.
  void flip();
};

// Lexicographic order over the ten counts (the bishop relation not included).
bool countsLess(const TrainingRecord& a, const TrainingRecord& b);

struct TrainingSet {
  std::vector<TrainingRecord> records;
  double totalWeight = 0.0;

  // In a set sorted by counts: the target of the first record with the same
  // ten counts; false when there is none.
  bool findTarget(const TrainingRecord& record, double& target) const;
};

// Reads the table, keeping the lines worth training on (enough games, a
// score that is not nearly certain, no contradiction between value and
// material, no balance known to be a draw or decided by other means).
// Reading stops at the first malformed line. False, with the set unchanged,
// when the file cannot be opened.
bool readTrainingSet(TrainingSet& set, const char* fileName);

// Where the trainer writes, and when it stops. The defaults are those of
// the "mat learn" command: it never stops.
struct TrainerSettings {
  const char* networkFile = "materialwerte.txt";
  const char* logFile = "NeuroLrn.txt";
  // Asked after every epoch with the number of epochs done; true ends the
  // training. Without one the training never ends.
  std::function<bool(long epoch)> stop;
  // The generator of the steps and phases; null: the process-wide one.
  RandomGenerator* rng = nullptr;
  // Told the name of the network or log file the first time that file
  // cannot be opened or written, at most once per file and training (the
  // training goes on). The trainer prints nothing itself; without a hook
  // nobody is told.
  std::function<void(const char* fileName)> cannotWrite;
};

// Trains the network on the set. The network file is replaced as a whole
// (written beside it, then renamed), so that stopping the process never
// leaves a truncated network behind. An unwritable log is skipped.
void trainMaterialNet(TrainingSet& set, MaterialNet& net, const TrainerSettings& settings = TrainerSettings());

// Sorts the set by counts and blends every target with those of simpler
// material configurations. An experiment; the engine does not call it.
void smoothMaterialTable(TrainingSet& set);
