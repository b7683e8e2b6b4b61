// Speed of the material statistics and the material network trainer:
// writes a Monte-Carlo PGN of random games into /tmp, gathers its material
// statistics as "mat add" does (positions recorded per second, games per
// second), writes the table, and trains the material network on it for a
// fixed number of epochs (epochs per second). Nothing is left in /tmp.
//
//   material_bench [games (10000)] [epochs (2000)] [seed (1)]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "book/material_stats.h"
#include "eval/material_net.h"
#include "eval/material_trainer.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long games = argc > 1 ? std::atol(argv[1]) : 10000;
  const long epochs = argc > 2 ? std::atol(argv[2]) : 2000;
  const uint32_t seed = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1;
  const std::string base = "/tmp/brakken_material_bench_" + std::to_string(getpid());
  const std::string pgn = base + ".pgn", table = base + ".txt", network = base + "_net.txt",
                    log = base + "_log.txt";

  auto start = std::chrono::steady_clock::now();
  if (!writeMonteCarloPgn(pgn.c_str(), games, seed)) return 1;
  std::printf("Monte-Carlo PGN: %ld games in %.2f s\n", games, secondsSince(start));

  MaterialStatistics stats;
  start = std::chrono::steady_clock::now();
  stats.addPgn(pgn.c_str(), 1000, false, -1);
  const double addSeconds = secondsSince(start);
  const double positions = double(stats.positions().size());
  std::printf("mat add: %zu games, %.0f positions in %.2f s: %.0f positions/s, %.0f games/s\n",
              stats.signatures().size(), positions, addSeconds, positions / addSeconds,
              double(stats.signatures().size()) / addSeconds);

  start = std::chrono::steady_clock::now();
  stats.addRandomGames(1000, seed);
  std::printf("mat rnd 1000: %.2f s\n", secondsSince(start));

  if (!stats.writeTable(table.c_str())) return 1;
  TrainingSet set;
  readTrainingSet(set, table.c_str());
  std::printf("table: %zu balances, %zu training records\n", stats.balances().size(), set.records.size());

  MaterialNet net;
  TrainerSettings settings;
  settings.networkFile = network.c_str();
  settings.logFile = log.c_str();
  settings.stop = [epochs](long epoch) { return epoch >= epochs; };
  start = std::chrono::steady_clock::now();
  trainMaterialNet(set, net, settings);
  const double trainSeconds = secondsSince(start);
  std::printf("mat learn: %ld epochs over %zu records in %.2f s: %.0f epochs/s\n", epochs, set.records.size(),
              trainSeconds, double(epochs) / trainSeconds);

  // Random games rarely give a balance enough games for the table's
  // threshold; the cost per record is measured on every balance as well.
  TrainingSet synthetic;
  for (const auto& entry : stats.balances()) {
    if (entry.second.weight <= 0) continue;
    TrainingRecord r;
    const uint32_t larger = uint32_t(entry.first >> 24), smaller = uint32_t((entry.first >> 4) & 0xFFFFF);
    const uint32_t sides[2] = {larger, smaller};
    for (int s = 0; s < 2; ++s) {
      r.counts[5 * s] = int32_t(sides[s] >> 16);
      r.counts[5 * s + 1] = int32_t((sides[s] >> 12) & 15);
      r.counts[5 * s + 2] = int32_t((sides[s] >> 8) & 15);
      r.counts[5 * s + 3] = int32_t((sides[s] >> 4) & 15);
      r.counts[5 * s + 4] = int32_t(sides[s] & 15);
    }
    r.target = entry.second.scoreSum / entry.second.weight;
    r.weight = 1.0;
    synthetic.records.push_back(r);
    synthetic.totalWeight += 1.0;
  }
  const long syntheticEpochs = epochs / 10 > 0 ? epochs / 10 : 1;
  settings.stop = [syntheticEpochs](long epoch) { return epoch >= syntheticEpochs; };
  MaterialNet other;
  start = std::chrono::steady_clock::now();
  trainMaterialNet(synthetic, other, settings);
  const double syntheticSeconds = secondsSince(start);
  std::printf("training on every balance: %ld epochs over %zu records in %.2f s: %.1f epochs/s, %.2f us/record\n",
              syntheticEpochs, synthetic.records.size(), syntheticSeconds, double(syntheticEpochs) / syntheticSeconds,
              syntheticSeconds * 1e6 / (double(syntheticEpochs) * double(synthetic.records.size())));

  for (const std::string& f : {pgn, table, network, log}) std::remove(f.c_str());
  return 0;
}
