#include "eval/material_trainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "board/position.h"
#include "board/random_generator.h"
#include "eval/evaluator.h"
#include "eval/material_net.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::fileLines;
using testsupport::tempPath;
using testsupport::readFile;
using testsupport::TempDirectory;
using testsupport::TempTextFile;

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// One line of the material statistics table.
std::string line(unsigned larger, unsigned smaller, int bishop, double score, long games, double value) {
  char text[200];
  std::snprintf(text, sizeof text, "%05x %05x %2d %3d %8.6f %10ld %10.3f %6.1f\n", larger, smaller, bishop,
                materialSignatureValue(larger) - materialSignatureValue(smaller), score, games, value, 40.0);
  return text;
}

constexpr unsigned P = 0x1, N = 0x10, B = 0x100, R = 0x1000, Q = 0x10000;
constexpr unsigned Full = Q + 2 * R + 2 * B + 2 * N + 8 * P;

double weightOf(double p, double n) {
  const double a = (n - 350000) / 75000 + 0.001;
  const double b = std::sqrt(n / 1000) - std::sqrt(350.0) + 0.001;
  return 4 * p * (1 - p) / (1 / a + 1 / b);
}

TEST(MaterialTrainer, TableLinesBecomeRecordsOrAreDropped) {
  struct Case {
    std::string text;
    bool accepted;
    double target;  // when accepted
  };
  const Case cases[] = {
      {line(Full, Full - P, 0, 0.6, 349999, 0), false, 0},
      {line(Full, Full - P, 0, 0.995, 400000, 0), false, 0},
      {line(Full, Full - P, 0, 0.005, 400000, 0), false, 0},
      {line(Full, Full - P, 0, 0.994, 350000, 0), true, 0.994},
      {line(Full, Full - P, 0, 0.5, 400000, 400), true, 1.0 / 11},
      {line(Full, Full - P, 0, 0.5, 400000, -251), false, 0},  // value against the material
      {line(2 * R, 0, 0, 0.9, 400000, 0), false, 0},           // one kind, count a power of two
      {line(2 * B, 0, 0, 0.9, 400000, 0), false, 0},
      {line(3 * N, 0, 0, 0.9, 400000, 0), true, 0.9},
      {line(5 * P, 0, 0, 0.9, 400000, 0), false, 0},  // pawns alone against a bare king
      {line(R, B + N, 0, 0.4, 400000, 0), false, 0},
      {line(R + B, R + P, 0, 0.6, 400000, 0), false, 0},
      {line(B, 2 * N, 0, 0.4, 400000, 0), false, 0},
      {line(R + P, B + N, 0, 0.6, 400000, 0), true, 0.6},
  };
  for (const Case& c : cases) {
    TempTextFile table("table.txt", c.text);
    TrainingSet set;
    ASSERT_TRUE(readTrainingSet(set, table.c_str())) << c.text;
    ASSERT_EQ(set.records.size(), c.accepted ? 1u : 0u) << c.text;
    if (!c.accepted) continue;
    EXPECT_NEAR(set.records[0].target, c.target, 1e-12) << c.text;
    EXPECT_DOUBLE_EQ(set.totalWeight, set.records[0].weight);
  }
  // The smallest accepted line: weight (1/2000) * 4 * 0.994 * 0.006.
  TempTextFile table("edge.txt", line(Full, Full - P, -1, 0.994, 350000, 0));
  TrainingSet set;
  ASSERT_TRUE(readTrainingSet(set, table.c_str()));
  ASSERT_EQ(set.records.size(), 1u);
  EXPECT_NEAR(set.records[0].weight, 4 * 0.994 * 0.006 / 2000, 1e-9);
  const TrainingRecord& r = set.records[0];
  const int expected[10] = {1, 2, 2, 2, 8, 1, 2, 2, 2, 7};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(r.counts[i], expected[i]) << i;
  EXPECT_EQ(r.bishopRelation, -1);
  EXPECT_EQ(r.materialDifference, 1);
  EXPECT_EQ(r.games, 350000);
}

TEST(MaterialTrainer, ReadingStopsAtTheFirstMalformedLine) {
  TempTextFile table("malformed.txt", line(Full, Full - P, 0, 0.6, 500000, 0) + "12227 12226 0 1 0.6\n" +
                                          line(Full, Full - 2 * P, 0, 0.7, 500000, 0));
  TrainingSet set;
  ASSERT_TRUE(readTrainingSet(set, table.c_str()));
  ASSERT_EQ(set.records.size(), 1u);
  EXPECT_NEAR(set.totalWeight, weightOf(0.6, 500000), 1e-12);

  TrainingSet untouched;
  untouched.totalWeight = 5;
  EXPECT_FALSE(readTrainingSet(untouched, "/nonexistent/dir/table.txt"));
  EXPECT_EQ(untouched.totalWeight, 5);
}

TEST(MaterialTrainer, FlipFindAndSmooth) {
  TrainingRecord queenAndPawn;  // Q + P against Q
  queenAndPawn.counts[0] = 1;
  queenAndPawn.counts[4] = 1;
  queenAndPawn.counts[5] = 1;
  queenAndPawn.target = 0.6;
  queenAndPawn.materialDifference = 1;
  TrainingRecord pawn;  // P against nothing
  pawn.counts[4] = 1;
  pawn.target = 0.9;

  TrainingRecord flipped = queenAndPawn;
  flipped.flip();
  EXPECT_EQ(flipped.counts[0], 1);
  EXPECT_EQ(flipped.counts[4], 0);
  EXPECT_EQ(flipped.counts[9], 1);
  EXPECT_DOUBLE_EQ(flipped.target, 0.4);
  EXPECT_EQ(flipped.materialDifference, -1);

  TrainingSet set;
  set.records = {queenAndPawn, pawn};
  smoothMaterialTable(set);
  ASSERT_EQ(set.records.size(), 2u);
  double target = 0;
  ASSERT_TRUE(set.findTarget(pawn, target));
  EXPECT_DOUBLE_EQ(target, 0.9);  // nothing simpler: unchanged
  ASSERT_TRUE(set.findTarget(queenAndPawn, target));
  // Taking a queen from each side leads to the pawn: weight 1, over 3 men.
  const double lambda = 0.333 / (2 + 3);
  EXPECT_DOUBLE_EQ(target, (1 - lambda) * 0.6 + lambda * 0.9);
  EXPECT_FALSE(set.findTarget(flipped, target));
}

class TrainerRun : public ::testing::Test {
 protected:
  std::string network = tempPath("materialwerte.txt");
  std::string log = tempPath("NeuroLrn.txt");
  RandomGenerator rng{2024};

  void TearDown() override {
    std::remove(network.c_str());
    std::remove(log.c_str());
  }

  TrainingSet smallSet() {
    std::string text;
    text += line(Full, Full - P, 0, 0.62, 900000, 0);
    text += line(Full, Full - N, 0, 0.80, 800000, 0);
    text += line(Full, Full - R, 0, 0.90, 700000, 0);
    text += line(Full - P, Full - 2 * P, 0, 0.60, 600000, 0);
    text += line(R + P, R, 0, 0.65, 500000, 0);
    text += line(Q, R, 0, 0.85, 450000, 0);
    TempTextFile table("train.txt", text);
    TrainingSet set;
    EXPECT_TRUE(readTrainingSet(set, table.c_str()));
    EXPECT_EQ(set.records.size(), 6u);
    return set;
  }

  void train(TrainingSet& set, MaterialNet& net, long epochs) {
    TrainerSettings settings;
    settings.networkFile = network.c_str();
    settings.logFile = log.c_str();
    settings.rng = &rng;
    settings.stop = [epochs](long epoch) { return epoch >= epochs; };
    trainMaterialNet(set, net, settings);
  }
};

TEST_F(TrainerRun, SavesFirstAtEpochOneHundredAndLogsEveryHundred) {
  TrainingSet set = smallSet();
  MaterialNet net;
  train(set, net, 99);
  EXPECT_FALSE(exists(network));
  EXPECT_TRUE(fileLines(log).empty());

  MaterialNet fresh;
  train(set, fresh, 450);
  const std::vector<std::string> lines = fileLines(log);
  ASSERT_EQ(lines.size(), 4u);
  const std::regex format(R"([* ] {3}[1-4]00 0\.00001  0\.\d{7} [ \d-]{4}\d)");
  for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, format)) << l;
  EXPECT_EQ(lines[0].substr(0, 8), "*   100 ");
  // Sorted by descending weight, the records were trained; the saved
  // network is the one of the best epoch and loads as a material network.
  ASSERT_TRUE(exists(network));
  MaterialNet loaded;
  ASSERT_TRUE(loaded.load(network.c_str()));
  // Rms of the last save, as logged, against the loaded network's error.
  std::string lastSave;
  for (const std::string& l : lines)
    if (l[0] == '*') lastSave = l;
  double rms = 0;
  ASSERT_EQ(std::sscanf(lastSave.c_str() + 15, "%lf", &rms), 1);
  EXPECT_LT(rms, 0.5);
}

TEST_F(TrainerRun, TrainingLowersTheError) {
  TrainingSet set = smallSet();
  MaterialNet net;
  train(set, net, 2000);
  const std::vector<std::string> lines = fileLines(log);
  ASSERT_GE(lines.size(), 2u);
  double first = 0, last = 0;
  std::sscanf(lines.front().c_str() + 15, "%lf", &first);
  std::sscanf(lines.back().c_str() + 15, "%lf", &last);
  EXPECT_LT(last, first);
}

// Without records nothing is saved, the log still shows every hundredth
// epoch, and the undefined error neither crashes nor becomes a figure.
TEST_F(TrainerRun, EmptySetTrainsWithoutSaving) {
  TrainingSet set;
  MaterialNet net;
  train(set, net, 250);
  EXPECT_FALSE(exists(network));
  const std::vector<std::string> lines = fileLines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "    100 0.00001        nan     0");
  EXPECT_EQ(lines[1], "    200 0.00001        nan     0");
}

// After the first full phase of 9999 epochs a set of fewer than 300 records
// goes into a hold-out phase: its lines are marked X and nothing is saved.
TEST_F(TrainerRun, HoldOutPhaseFollowsTheFirstFullPhase) {
  TrainingSet set = smallSet();
  MaterialNet net;
  train(set, net, 10700);
  bool sawHoldOut = false;
  for (const std::string& l : fileLines(log)) {
    long epoch = std::stol(l.substr(1, 6));
    if (epoch <= 9999) {
      EXPECT_NE(l[0], 'X') << l;
    } else if (epoch <= 11000) {
      EXPECT_EQ(l[0], 'X') << l;
      sawHoldOut = true;
      EXPECT_EQ(l.substr(7, 8), " 0.00100") << l;
    }
  }
  EXPECT_TRUE(sawHoldOut);
}

TEST_F(TrainerRun, UnwritableLogIsSkipped) {
  TrainingSet set = smallSet();
  MaterialNet net;
  log = "/nonexistent/dir/NeuroLrn.txt";
  train(set, net, 150);
  EXPECT_TRUE(exists(network));
}

// A network or log that cannot be written is told through the hook, each
// file once and the first time it fails: the log when it is opened (or
// when its first line cannot be written), the network at its first save.
// The training goes on, and later failures, with or without a successful
// save in between, tell nothing more. The targets refuse root as well: a
// directory cannot be opened as a file, and /dev/full takes the open but
// not the write.
TEST_F(TrainerRun, UnwritableFilesAreToldOnceEach) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string networkFolder = dir.path("materialwerte.txt"), logFolder = dir.path("NeuroLrn.txt");
  ASSERT_EQ(mkdir(networkFolder.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(logFolder.c_str(), 0755), 0);
  // A log nobody reads is refused at once, not waited for.
  const std::string logFifo = dir.path("log.fifo");
  ASSERT_EQ(mkfifo(logFifo.c_str(), 0600), 0);
  // A log without any write permission bit is refused by its mode, root
  // included, and keeps its text.
  const std::string logReadOnly = dir.path("read-only.txt"), oldLog = "*   100 0.00100  0.1000000  1234\n";
  std::ofstream(logReadOnly) << oldLog;
  ASSERT_EQ(chmod(logReadOnly.c_str(), 0444), 0);
  // The network folder is gone from epoch 150 on, so that the save after
  // it succeeds, and back from epoch 250 on.
  bool savedInBetween = false;
  auto folderGoesAndComes = [&](long epoch) {
    if (epoch == 150) savedInBetween = rmdir(networkFolder.c_str()) == 0;
    if (epoch == 250) {
      struct stat st;
      savedInBetween = savedInBetween && stat(networkFolder.c_str(), &st) == 0 && S_ISREG(st.st_mode);
      std::remove(networkFolder.c_str());
      mkdir(networkFolder.c_str(), 0755);
    }
  };
  struct Told {
    std::string name;
    long afterEpochs;
  };
  const struct {
    const char* what;
    std::string network, log;
    std::vector<Told> told;
    bool folderChanges;
  } cases[] = {
      {"both folders", networkFolder, logFolder, {{logFolder, 0}, {networkFolder, 99}}, false},
      {"network on a full device", "/dev/full", logFolder, {{logFolder, 0}, {"/dev/full", 99}}, false},
      {"log on a full device", networkFolder, "/dev/full", {{networkFolder, 99}, {"/dev/full", 99}}, false},
      {"log on a FIFO nobody reads", networkFolder, logFifo, {{logFifo, 0}, {networkFolder, 99}}, false},
      {"log without a write bit", network, logReadOnly, {{logReadOnly, 0}}, false},
      {"network saved between failures", networkFolder, log, {{networkFolder, 99}}, true},
  };
  for (const auto& c : cases) {
    std::remove(log.c_str());
    TrainingSet set = smallSet();
    MaterialNet net;
    long done = 0;
    std::vector<Told> told;
    TrainerSettings settings;
    settings.networkFile = c.network.c_str();
    settings.logFile = c.log.c_str();
    settings.rng = &rng;
    settings.cannotWrite = [&](const char* name) { told.push_back({name, done}); };
    settings.stop = [&](long epoch) {
      done = epoch;
      if (c.folderChanges) folderGoesAndComes(epoch);
      return epoch >= 450;
    };
    trainMaterialNet(set, net, settings);
    EXPECT_EQ(done, 450) << c.what;
    ASSERT_EQ(told.size(), c.told.size()) << c.what;
    for (size_t i = 0; i < told.size(); ++i) {
      EXPECT_EQ(told[i].name, c.told[i].name) << c.what;
      EXPECT_EQ(told[i].afterEpochs, c.told[i].afterEpochs) << c.what << " " << told[i].name;
    }
    if (!c.folderChanges) continue;
    EXPECT_TRUE(savedInBetween);
    // Saves were tried after the folder came back (the log marks them).
    long lastSave = 0;
    for (const std::string& l : fileLines(log))
      if (l[0] == '*') lastSave = std::stol(l.substr(1, 6));
    EXPECT_GT(lastSave, 250);
  }
  EXPECT_EQ(readFile(logReadOnly), oldLog);
  struct stat st;
  ASSERT_EQ(stat(logReadOnly.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// The network is saved the way the tools save their files: through a link
// the file it names is replaced and the link kept, a read-only file keeps
// its text, and nothing is left beside either. The text is the one a save
// into a plain file gives.
TEST_F(TrainerRun, TheSavedNetworkFollowsALinkAndKeepsAReadOnlyFile) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string file = dir.path("materialwerte.txt"), link = dir.path("link");
  const std::string plain = network;
  // A fresh network trained from the same seed saves the same text.
  auto trainInto = [&](const std::string& target, uint32_t seed) {
    network = target;
    rng = RandomGenerator(seed);
    TrainingSet set = smallSet();
    MaterialNet net;
    train(set, net, 150);
    network = plain;
  };
  trainInto(plain, 2024);
  ASSERT_TRUE(exists(plain));
  std::ofstream(file) << "old";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  trainInto(link, 2024);
  struct stat st;
  EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(file), readFile(plain));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link", "materialwerte.txt"}));

  // Refused by its mode bits, also when root runs the tests.
  const std::string before = readFile(file);
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  trainInto(link, 7);
  EXPECT_EQ(readFile(file), before);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link", "materialwerte.txt"}));
}

// The trained network, loaded as MaterialFile, changes the evaluation of an
// unbalanced position and leaves a balanced one alone.
TEST_F(TrainerRun, TrainedNetworkLoadsThroughMaterialFile) {
  TrainingSet set = smallSet();
  MaterialNet net;
  train(set, net, 300);
  ASSERT_TRUE(exists(network));

  Position p;
  ASSERT_NE(p.setFen("rnbqkbnr/pppp1ppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"), nullptr);
  ASSERT_TRUE(p.finishSetup());
  Evaluator builtIn, trained;
  ASSERT_TRUE(trained.setMaterialFile(network.c_str()));
  EXPECT_NE(builtIn.evaluate(p), trained.evaluate(p));
  Position start;
  start.setStartPosition();
  EXPECT_EQ(builtIn.evaluate(start), trained.evaluate(start));
  ASSERT_TRUE(trained.setMaterialFile("(internal)"));
  EXPECT_EQ(builtIn.evaluate(p), trained.evaluate(p));
}

}  // namespace
