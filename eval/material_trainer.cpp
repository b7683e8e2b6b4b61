#include "eval/material_trainer.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/random_generator.h"
#include "common/append_without_waiting.h"
#include "common/input_file.h"
#include "common/output_file.h"
#include "eval/material_net.h"

namespace {

// Too few games make a line's score noise.
constexpr double MinimumGames = 350000.0;
constexpr double SqrtMinimumGamesInThousands = 18.708286933869708;  // sqrt(350)

// Moduli of the hold-out phases.
constexpr int HoldOutPrimes[16] = {7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67};

// Signatures by man type: P, N, B, R, Q.
constexpr uint32_t P = 0x1, N = 0x10, B = 0x100, R = 0x1000, Q = 0x10000;

struct BalancePair {
  uint32_t larger;
  uint32_t smaller;
};

// Balances whose result the material says little about: draws despite the
// extra material, or wins that depend on technique rather than material.
constexpr BalancePair IgnoredBalances[] = {
    {2 * N, 0},         {2 * N, P},
    {Q + B, Q},         {Q + N, Q},
    {B + N, 0},         {B + N, N},         {B + N, B},
    {R, B},             {R, N},             {R, B + P},     {R, N + P},
    {R, 2 * N},         {R, B + N},         {R, 2 * B},
    {R + B, R},         {R + N, R},         {R + B, R + P}, {R + N, R + P},
    {2 * N, N},         {B + N, N},         {2 * B, N},
    {2 * N, B},         {B + N, B},         {2 * B, B},
    {B, 2 * N},
};

bool ignoredBalance(uint32_t larger, uint32_t smaller) {
  for (const BalancePair& p : IgnoredBalances)
    if (p.larger == larger && p.smaller == smaller) return true;
  // Pawns alone against a bare king, and one kind of man in a count of 1,
  // 2, 4 or 8 against a bare king.
  if (smaller == 0 && (larger <= 15 || (larger & (larger - 1)) == 0)) return true;
  return false;
}

void countsFromSignature(uint32_t s, int32_t* counts) {
  counts[0] = int32_t(s >> 16);
  counts[1] = int32_t((s >> 12) & 15);
  counts[2] = int32_t((s >> 8) & 15);
  counts[3] = int32_t((s >> 4) & 15);
  counts[4] = int32_t(s & 15);
}

// The milli-pawn value of the score 0.5 + rms, for the log. An rms of 0.5
// or more has no finite value and shows as the largest the field holds; an
// undefined rms (no records) as 0.
long ratingOfRms(double rms) {
  constexpr double Largest = 99999.0;
  if (std::isnan(rms)) return 0;
  const double odds = 1.0 / (rms + 0.5) - 1.0;
  if (!(odds > 0.0)) return long(Largest);
  const double q = -400.0 * std::log10(odds) * 1000.0 / 110.0;
  if (!std::isfinite(q)) return q < 0 ? -long(Largest) : long(Largest);
  return long(std::clamp(q, -Largest, Largest));
}

// Writes the network the way the tools write their files: a regular file
// (or the one a link names) is replaced whole, or not at all, a read-only
// one is kept, and a FIFO or device is written straight into. The text is
// the one MaterialNet::save gives. False when the file was not written.
bool saveNetwork(const MaterialNet& net, const char* name) {
  std::ostringstream text;
  if (!net.write(text)) return false;
  text << '\n';
  OutputFile out;
  if (!out.open(name)) return false;
  const std::string bytes = text.str();
  if (std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) != bytes.size()) return false;
  return out.commit();
}

// Tells the settings' hook about a file that cannot be written, once: the
// training goes on as long as it is left running, and a word at every
// failed save or log line would bury everything else.
class UnwritableFile {
 public:
  UnwritableFile(const TrainerSettings& settings, const char* name) : settings_(settings), name_(name) {}
  void failed() {
    if (told_) return;
    told_ = true;
    if (settings_.cannotWrite && name_) settings_.cannotWrite(name_);
  }

 private:
  const TrainerSettings& settings_;
  const char* name_;
  bool told_ = false;
};

enum class Phase { Full, HoldOut, Prefix };

}  // namespace

int materialSignatureValue(uint32_t s) {
  return int(s & 15) + 3 * int((s >> 4) & 15) + 3 * int((s >> 8) & 15) + 5 * int((s >> 12) & 15) +
         9 * int(s >> 16);
}

void TrainingRecord::flip() {
  for (int i = 0; i < 5; ++i) std::swap(counts[i], counts[i + 5]);
  target = 1.0 - target;
  materialDifference = -materialDifference;
}

bool countsLess(const TrainingRecord& a, const TrainingRecord& b) {
  return std::lexicographical_compare(a.counts, a.counts + 10, b.counts, b.counts + 10);
}

bool TrainingSet::findTarget(const TrainingRecord& record, double& target) const {
  auto it = std::lower_bound(records.begin(), records.end(), record, countsLess);
  if (it == records.end() || !std::equal(it->counts, it->counts + 10, record.counts)) return false;
  target = it->target;
  return true;
}

bool readTrainingSet(TrainingSet& set, const char* fileName) {
  std::FILE* f = openInputFile(fileName, "r");
  if (!f) return false;
  set.totalWeight = 0.0;
  char line[512];
  while (std::fgets(line, sizeof line, f)) {
    unsigned long larger = 0, smaller = 0;
    int bishop = 0, difference = 0;
    double p = 0, n = 0, v = 0, pliesLeft = 0;
    if (std::sscanf(line, "%lx %lx %d %d %lf %lf %lf %lf", &larger, &smaller, &bishop, &difference, &p, &n, &v,
                    &pliesLeft) != 8)
      break;
    // Signatures have 20 bits, and every figure is a number: anything else
    // is not a table line.
    if (larger > 0xFFFFF || smaller > 0xFFFFF || !std::isfinite(p) || !std::isfinite(n) || !std::isfinite(v))
      break;
    if (!(n >= MinimumGames)) continue;
    if (!(p >= 0.006 && p <= 0.994)) continue;
    if ((v < -250 && difference > 0) || (v > 250 && difference < 0)) continue;
    if (ignoredBalance(uint32_t(larger), uint32_t(smaller))) continue;

    TrainingRecord r;
    // The score the material alone would give: the observed score with the
    // value (position and rating advantage) taken out.
    const double e = -400.0 * std::log10(1.0 / p - 1.0);
    r.target = 1.0 / (1.0 + std::pow(10.0, (e - v) / -400.0));
    const double a = (n - MinimumGames) / 75000.0 + 0.001;
    const double b = std::sqrt(n / 1000.0) - SqrtMinimumGamesInThousands + 0.001;
    const double h = 1.0 / (1.0 / a + 1.0 / b);
    r.weight = h * 4.0 * p * (1.0 - p);
    countsFromSignature(uint32_t(larger), r.counts);
    countsFromSignature(uint32_t(smaller), r.counts + 5);
    r.bishopRelation = bishop;
    r.games = n;
    r.materialDifference = difference;
    set.records.push_back(r);
    set.totalWeight += r.weight;
  }
  std::fclose(f);
  return true;
}

void trainMaterialNet(TrainingSet& set, MaterialNet& net, const TrainerSettings& settings) {
  RandomGenerator& rng = settings.rng ? *settings.rng : RandomGenerator::instance();
  UnwritableFile networkTrouble(settings, settings.networkFile), logTrouble(settings, settings.logFile);
  // A log nobody reads (a FIFO) is refused at once, not waited for.
  std::FILE* log = settings.logFile ? openStreamWithoutWaiting(settings.logFile, false) : nullptr;
  if (settings.logFile && !log) logTrouble.failed();
  net.load(settings.networkFile);

  std::stable_sort(set.records.begin(), set.records.end(),
                   [](const TrainingRecord& a, const TrainingRecord& b) { return a.weight > b.weight; });
  const std::vector<TrainingRecord>& records = set.records;
  const long all = long(records.size());
  const double total = set.totalWeight;

  double rate = 1e-5;
  double bestError = 9999999.9;
  Phase phase = Phase::Full;
  long remaining = 9999;
  long used = all;
  long epoch = 0, lastSave = 0, saveThreshold = 99;
  long modulus1 = 7, modulus2 = 13, offset = 0;

  for (;;) {
    double sum = 0.0;
    for (long i = 0; i < used; ++i) {
      if (phase == Phase::HoldOut && ((i + offset) % modulus1 == 0 || (i + offset) % modulus2 == 0)) continue;
      const TrainingRecord& r = records[size_t(i)];
      const int32_t* c = r.counts;
      const double patternWeight = r.weight * rate * 0.5 / total;
      const double p1 = net.evaluate(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], r.bishopRelation);
      sum += r.weight * (p1 - r.target) * (p1 - r.target);
      net.trainSample(r.target, patternWeight);
      const double p2 = net.evaluate(c[5], c[6], c[7], c[8], c[9], c[0], c[1], c[2], c[3], c[4], r.bishopRelation);
      sum += r.weight * (p2 - (1.0 - r.target)) * (p2 - (1.0 - r.target));
      net.trainSample(1.0 - r.target, patternWeight);
    }
    // Without records the error is undefined and never an improvement.
    const double error = total > 0.0 ? sum / (2.0 * total) : std::nan("");
    net.rpropUpdate(rng);
    ++epoch;

    const double rms = std::sqrt(error);
    char mark = 0;
    if (phase == Phase::Full && epoch > saveThreshold && error < bestError) {
      if (!saveNetwork(net, settings.networkFile)) networkTrouble.failed();
      saveThreshold = epoch + 99;
      lastSave = epoch;
      bestError = error;
      mark = '*';
    } else if ((epoch - lastSave) % 100 == 0) {
      mark = phase == Phase::Full ? ' ' : 'X';
    }
    if (mark && log) {
      const bool written =
          std::fprintf(log, "%c%6ld %7.5f %10.7f %5ld\n", mark, epoch, rate, rms, ratingOfRms(rms)) >= 0;
      if (std::fflush(log) != 0 || !written) {
        logTrouble.failed();
        // A full disk may have room again later.
        std::clearerr(log);
      }
    }
    if (settings.stop && settings.stop(epoch)) break;

    if (--remaining > 0) continue;
    used = all;
    if (phase != Phase::Full) {
      phase = Phase::Full;
      remaining = long(rng.range(75000, 125000));
      rate = 0.001;
    } else if (rng.range(0, 99) >= 40 && all >= 300) {
      phase = Phase::Prefix;
      used = long(rng.range(200, uint32_t(all - 1)));
      remaining = long(rng.range(800, 1200));
      rate = 0.001;
    } else {
      phase = Phase::HoldOut;
      remaining = long(rng.range(1000, 1500));
      modulus1 = HoldOutPrimes[rng.range(0, 15)];
      modulus2 = HoldOutPrimes[rng.range(0, 15)];
      offset = long(rng.range(0, 9999));
      rate = 0.001;
    }
  }
  if (log) std::fclose(log);
}

void smoothMaterialTable(TrainingSet& set) {
  std::sort(set.records.begin(), set.records.end(), countsLess);
  std::vector<double> smoothed(set.records.size());
  for (size_t i = 0; i < set.records.size(); ++i) {
    const TrainingRecord& r = set.records[i];
    const int q1 = r.counts[0], r1 = r.counts[1], b1 = r.counts[2], n1 = r.counts[3], p1 = r.counts[4];
    const int q2 = r.counts[5], r2 = r.counts[6], b2 = r.counts[7], n2 = r.counts[8], p2 = r.counts[9];
    double w = 0.0, t = 0.0;
    // The target of the configuration with one man less on each side.
    auto blend = [&](int own, int other, int weight) {
      TrainingRecord probe = r;
      --probe.counts[own];
      --probe.counts[other];
      double target;
      if (set.findTarget(probe, target)) {
        w += weight;
        t += weight * target;
      }
    };
    if (q1 >= 1 && q2 >= 1) blend(0, 5, (q1 + q2) / 2);
    if (r1 >= 1 && r2 >= 1) blend(1, 6, (r1 + r2) / 2);
    if (b1 >= 1 && b2 >= 1 && r.bishopRelation >= 0) blend(2, 7, 1);
    if (b1 >= 1 && n2 >= 1) blend(2, 8, b1 == 2 && b2 == 1 ? 2 * ((n2 + b1) / 4) : (n2 + b1) / 2);
    if (n1 >= 1 && b2 >= 1) blend(3, 7, b1 == 1 && b2 == 2 ? 2 * ((b2 + n1) / 4) : (b2 + n1) / 2);
    if (n1 >= 1 && n2 >= 1) blend(3, 8, (n1 + n2) / 2);
    if (p1 >= 1 && p2 >= 1) blend(4, 9, (p1 + p2) / 2);
    int men = 0;
    for (int c : r.counts) men += c;
    const double lambda = 0.333 * w / (2 + men);
    if (w <= 0) w = 0.1;
    smoothed[i] = (1 - lambda) * r.target + lambda * t / w;
  }
  for (size_t i = 0; i < set.records.size(); ++i) set.records[i].target = smoothed[i];
}
