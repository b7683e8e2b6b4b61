#include "book/material_stats.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/game.h"
#include "board/notation.h"
#include "board/random_generator.h"
#include "book/pgn_lexer.h"
#include "book/rating.h"
#include "eval/evaluator.h"
#include "support/fifo_reader.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::fileLines;
using testsupport::tempPath;
using testsupport::readFile;
using testsupport::dataFile;
using testsupport::TempTextFile;

// The position after the first plies moves of a SAN move text from the start.
Position positionAfter(const std::string& san, int plies) {
  Game game;
  game.setPosition(nullptr);
  std::istringstream in(san);
  std::string token;
  int played = 0;
  while (played < plies && in >> token) {
    if (token.back() == '.') continue;
    Move m;
    EXPECT_TRUE(parseMove(game.position, token.c_str(), m, SanText)) << token;
    game.playMove(m);
    ++played;
  }
  return game.position;
}

// The value column of a position: the evaluation without material, in the
// larger side's view, at 110 per 1000 milli-pawns, plus the rating term.
double valueColumn(Position p, bool largerIsWhite, int ratingTerm) {
  Evaluator evaluator;
  int q = evaluator.evaluateWithoutMaterial(p);
  if ((p.whiteToMove != 0) != largerIsWhite) q = -q;
  return q * 110.0 / 1000.0 + ratingTerm;
}

std::string tableLine(const char* larger, const char* smaller, int bishop, int difference, double score, long weight,
                      double value, double pliesLeft) {
  char text[200];
  std::snprintf(text, sizeof text, "%s %s %2d %3d %8.6f %10ld %10.3f %6.1f", larger, smaller, bishop, difference, score,
                weight, value, pliesLeft);
  return text;
}

const char kPawnUpMoves[] = "1. e4 d5 2. exd5 c6 3. dxc6 Nxc6 4. Nf3 Nf6";
const char kBlackUpMoves[] = "1. e4 d5 2. a3 dxe4 3. Nh3 Nf6";

class MaterialStatsTest : public ::testing::Test {
 protected:
  void SetUp() override { RandomGenerator::instance().seed(12345); }
};

TEST_F(MaterialStatsTest, KeysAndSignaturesOfPositions) {
  Position p;
  p.setStartPosition();
  EXPECT_EQ(sideMaterialSignature(p, true), 0x12228u);
  EXPECT_EQ(materialStatisticsKey(p), 0u);  // equal material
  EXPECT_EQ(materialSignatureValue(0x12228), 8 + 6 + 6 + 10 + 9);
  // White queen and rook against rook: the larger signature lands above
  // bit 31 of the key, which needs a 64-bit shift.
  ASSERT_NE(p.setFen("4k2r/8/8/8/8/8/8/R3K2Q w - -"), nullptr);
  ASSERT_TRUE(p.finishSetup());
  EXPECT_EQ(materialStatisticsKey(p), (uint64_t(0x11000) << 24) | (uint64_t(0x01000) << 4));
  // Black larger, one bishop each on opposite colours (relation 1).
  ASSERT_NE(p.setFen("4kb2/8/8/8/8/8/8/4KB1q w - -"), nullptr);
  ASSERT_TRUE(p.finishSetup());
  EXPECT_EQ(materialStatisticsKey(p), (uint64_t(0x10100) << 24) | (uint64_t(0x00100) << 4) | 1u);
}

// One game a pawn up for white, won by white: the position after 4...Nf6 is
// the first whose material has stood for two plies; later ones have the
// same balance and are not recorded again.
TEST_F(MaterialStatsTest, AddRecordsTheSettledBalanceOncePerGame) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_pawn_up.pgn").c_str(), 1000, false, -1));
  // The 32-ply game is ignored; the 40-ply one gives one position.
  EXPECT_EQ(stats.signatures().size(), 1u);
  ASSERT_EQ(stats.positions().size(), 1u);
  const Position p = positionAfter(kPawnUpMoves, 8);
  EXPECT_EQ(stats.positions().begin()->first, p.hashKey);

  const std::string table = tempPath("pawn_up.txt");
  ASSERT_TRUE(stats.writeTable(table.c_str()));
  // 40 plies, recorded at ply 8: the figure counts the plies from the move
  // that led to the position, 40 - 7.
  const std::vector<std::string> expected = {
      tableLine("12227", "12226", 0, 1, 1.0, 1000, valueColumn(p, true, 0), 33.0)};
  EXPECT_EQ(fileLines(table), expected);
  std::remove(table.c_str());
}

TEST_F(MaterialStatsTest, TheSameGameInTwoFilesCountsOnce) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_pawn_up.pgn").c_str(), 1000, false, -1));
  ASSERT_TRUE(stats.addPgn(dataFile("material_pawn_up.pgn").c_str(), 1000, false, -1));
  ASSERT_EQ(stats.positions().size(), 1u);
  EXPECT_EQ(stats.positions().begin()->second.weightSum, 1000);
}

// White rated 100 above black: +100 when white is the larger side, -100
// when black is, whoever is to move; a draw gives each side half.
// Two different games through the same position: the position's weight
// 2000 folds into the balance with b = (1 - 0.6^2) / 0.8 = 0.8.
TEST_F(MaterialStatsTest, APositionFromManyGamesCountsLessThanInProportion) {
  const std::string text = readFile(dataFile("material_pawn_up.pgn"));
  const std::string first = text.substr(0, text.find("[Event", 1));
  std::string second = first;
  second.replace(second.rfind("Nf6 1-0"), 7, "Nh6 1-0");
  TempTextFile pgn("two_games.pgn", first + second);
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(pgn.c_str(), 1000, false, -1));
  EXPECT_EQ(stats.signatures().size(), 2u);
  ASSERT_EQ(stats.positions().size(), 1u);
  EXPECT_EQ(stats.positions().begin()->second.weightSum, 2000);
  const std::string table = tempPath("fold.txt");
  ASSERT_TRUE(stats.writeTable(table.c_str()));
  // The weight column is truncated: 0.8 * 2000 comes to just below 1600.
  const std::vector<std::string> expected = {
      tableLine("12227", "12226", 0, 1, 1.0, 1599, valueColumn(positionAfter(kPawnUpMoves, 8), true, 0), 33.0)};
  EXPECT_EQ(fileLines(table), expected);
  std::remove(table.c_str());
}

TEST_F(MaterialStatsTest, RatingTermFollowsTheLargerSide) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const std::string table = tempPath("rated.txt");
  ASSERT_TRUE(stats.writeTable(table.c_str()));
  const Position whiteUp = positionAfter(kPawnUpMoves, 8);
  // The second game has 38 plies and is recorded at ply 6: 38 - 5 left.
  const Position blackUp = positionAfter(kBlackUpMoves, 6);
  const std::vector<std::string> expected = {
      tableLine("12227", "12226", 0, 1, 0.5, 1000, valueColumn(whiteUp, true, 100), 33.0),
      tableLine("12228", "12227", 0, 1, 1.0, 1000, valueColumn(blackUp, false, -100), 33.0)};
  EXPECT_EQ(fileLines(table), expected);
  std::remove(table.c_str());

  // A minimum Elo above either player's skips both games.
  MaterialStatistics strict;
  ASSERT_TRUE(strict.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, 2450));
  EXPECT_TRUE(strict.positions().empty());
  EXPECT_TRUE(strict.signatures().empty());
}

TEST_F(MaterialStatsTest, CalcEloRatesThePlayersFromTheFile) {
  // The tags say 2500 against 2400; the file's own results rate A (a draw
  // and a loss against B) below B.
  std::map<std::string, int> ratings;
  ASSERT_TRUE(computeRatings(dataFile("material_rated.pgn").c_str(), ratings));
  const int difference = ratings["A"] - ratings["B"];
  ASSERT_LT(difference, 0);
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, true, -1));
  const std::string table = tempPath("calc.txt");
  ASSERT_TRUE(stats.writeTable(table.c_str()));
  const std::vector<std::string> expected = {
      tableLine("12227", "12226", 0, 1, 0.5, 1000, valueColumn(positionAfter(kPawnUpMoves, 8), true, difference),
                33.0),
      tableLine("12228", "12227", 0, 1, 1.0, 1000, valueColumn(positionAfter(kBlackUpMoves, 6), false, -difference),
                33.0)};
  EXPECT_EQ(fileLines(table), expected);
  std::remove(table.c_str());
}

TEST_F(MaterialStatsTest, ShortGamesRefusedFensAndTinyMaterialAreNotRecorded) {
  MaterialStatistics stats;
  std::vector<Move> none;
  EXPECT_FALSE(stats.addGame(none, "", 0, 0, 1000, 1));
  EXPECT_FALSE(stats.addGame(none, "not a fen", 0, 0, 1000, 1));
  // King and rook against king: three men, never sampled, but the game
  // (long enough) is remembered.
  Game g;
  ASSERT_TRUE(g.setFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"));
  std::vector<Move> moves;
  for (int i = 0; i < 10; ++i) {
    for (const char* m : {"Ra2", "Kd8", "Ra1", "Ke8"}) {
      Move mv;
      ASSERT_TRUE(parseMove(g.position, m, mv, SanText));
      g.playMove(mv);
      moves.push_back(mv);
    }
  }
  EXPECT_TRUE(stats.addGame(moves, "4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0, 0, 1000, 1));
  EXPECT_TRUE(stats.positions().empty());
  EXPECT_EQ(stats.signatures().size(), 1u);
}

// A FEN tag after moves leaves moves that belong to another position; the
// walk must not play them on the FEN's board.
TEST_F(MaterialStatsTest, MovesThatDoNotFitTheFenAreNotPlayed) {
  PgnLexer lexer(dataFile("material_pawn_up.pgn").c_str());
  PgnGame game;
  ASSERT_TRUE(lexer.next(game));
  ASSERT_EQ(game.moves.size(), 40u);
  MaterialStatistics stats;
  const char* blackToMove = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1";
  stats.addGame(game.moves, blackToMove, 0, 0, 1000, 1);
  EXPECT_TRUE(stats.positions().empty());
}

TEST_F(MaterialStatsTest, MemoryImageRoundTripsByteForByte) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const std::string image = tempPath("image.mem");
  ASSERT_TRUE(stats.writeMem(image.c_str()));
  const std::string bytes = readFile(image);
  // Keys, signature count and two signatures, record count and two records.
  ASSERT_EQ(bytes.size(), 153600u + 4 + 2 * 8 + 4 + 2 * 40);
  uint32_t firstKey;
  std::memcpy(&firstKey, bytes.data(), 4);
  EXPECT_EQ(firstKey, stats.randomKeys()[0]);

  RandomGenerator::instance().seed(999);  // other keys
  MaterialStatistics restored;
  ASSERT_NE(restored.randomKeys(), stats.randomKeys());
  ASSERT_TRUE(restored.readMem(image.c_str()));
  EXPECT_EQ(restored.randomKeys(), stats.randomKeys());
  EXPECT_EQ(restored.signatures(), stats.signatures());
  ASSERT_EQ(restored.positions().size(), stats.positions().size());
  const std::string again = tempPath("image2.mem");
  ASSERT_TRUE(restored.writeMem(again.c_str()));
  EXPECT_EQ(readFile(again), bytes);

  // Both give the same table.
  const std::string t1 = tempPath("t1.txt"), t2 = tempPath("t2.txt");
  ASSERT_TRUE(stats.writeTable(t1.c_str()));
  ASSERT_TRUE(restored.writeTable(t2.c_str()));
  EXPECT_EQ(readFile(t1), readFile(t2));
  for (const std::string& f : {image, again, t1, t2}) std::remove(f.c_str());
}

TEST_F(MaterialStatsTest, TruncatedMemoryImageIsRefusedWhole) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const std::string image = tempPath("full.mem");
  ASSERT_TRUE(stats.writeMem(image.c_str()));
  const std::string bytes = readFile(image);
  // Cut inside the keys, the signature count, a signature, the record
  // count and the last record.
  for (size_t cut : {size_t(0), size_t(1000), size_t(153602), size_t(153610), size_t(153622), bytes.size() - 1}) {
    TempTextFile damaged("cut.mem", bytes.substr(0, cut));
    RandomGenerator::instance().seed(7);
    MaterialStatistics target;
    const std::vector<uint32_t> keys = target.randomKeys();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(target.readMem(damaged.c_str())) << cut;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("truncated"), std::string::npos);
    EXPECT_EQ(target.randomKeys(), keys);
    EXPECT_TRUE(target.positions().empty());
  }
  std::remove(image.c_str());
}

// Everything a memory image can change, compared field by field.
void expectSameCollection(const MaterialStatistics& a, const MaterialStatistics& b, const std::string& what) {
  EXPECT_EQ(a.randomKeys(), b.randomKeys()) << what;
  EXPECT_EQ(a.signatures(), b.signatures()) << what;
  ASSERT_EQ(a.positions().size(), b.positions().size()) << what;
  for (auto i = a.positions().begin(), j = b.positions().begin(); i != a.positions().end(); ++i, ++j) {
    EXPECT_EQ(i->first, j->first) << what;
    EXPECT_EQ(i->second.key(), j->second.key()) << what;
    // Bit for bit, so that a NaN that slipped in is seen too.
    EXPECT_EQ(std::memcmp(&i->second.valueSum, &j->second.valueSum, sizeof(double)), 0) << what;
    EXPECT_EQ(i->second.scoreSum, j->second.scoreSum) << what;
    EXPECT_EQ(i->second.weightSum, j->second.weightSum) << what;
    EXPECT_EQ(std::memcmp(&i->second.pliesLeftSum, &j->second.pliesLeftSum, sizeof(double)), 0) << what;
  }
}

// Where the fields of a position record stand in the memory image: after
// the keys, the signature count, the signatures and the record count.
size_t recordField(const MaterialStatistics& written, size_t record, size_t field) {
  return size_t(MaterialStatistics::KeyBytes) + 4 + 8 * written.signatures().size() + 4 + 40 * record + field;
}
constexpr size_t ValueSumField = 16, ScoreSumField = 24, WeightSumField = 28, PliesLeftSumField = 32;

std::string patchedDouble(std::string bytes, size_t at, double d) {
  std::memcpy(&bytes[at], &d, sizeof d);
  return bytes;
}
std::string patchedInt32(std::string bytes, size_t at, int32_t v) {
  std::memcpy(&bytes[at], &v, sizeof v);
  return bytes;
}

// An image with a sum that no collection can produce is refused whole,
// like a truncated one: the collection keeps its keys, signatures and
// positions, and a later table cannot be given NaN or infinite figures.
TEST_F(MaterialStatsTest, DamagedMemoryImageIsRefusedWhole) {
  MaterialStatistics written;
  ASSERT_TRUE(written.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  ASSERT_EQ(written.positions().size(), 2u);
  const std::string image = tempPath("good.mem");
  ASSERT_TRUE(written.writeMem(image.c_str()));
  const std::string bytes = readFile(image);
  std::remove(image.c_str());

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const size_t signatureCount = size_t(MaterialStatistics::KeyBytes), firstSignature = signatureCount + 4;
  const size_t recordCount = firstSignature + 8 * written.signatures().size();
  std::string swapped = bytes;
  std::swap_ranges(&swapped[firstSignature], &swapped[firstSignature + 8], &swapped[firstSignature + 8]);
  std::string twice = bytes;
  std::copy_n(&bytes[firstSignature], 8, &twice[firstSignature + 8]);
  // The largest signature count the rest of the file could hold (with the
  // record count after it) is 12, of records 2.
  const struct {
    const char* what;
    std::string image;
    const char* fault = "damaged";
  } cases[] = {
      {"2^32 - 1 signatures", patchedInt32(bytes, signatureCount, -1), "truncated"},
      {"13 signatures", patchedInt32(bytes, signatureCount, 13), "truncated"},
      {"2^32 - 1 records", patchedInt32(bytes, recordCount, -1), "truncated"},
      {"3 records", patchedInt32(bytes, recordCount, 3), "truncated"},
      {"last record cut short", bytes.substr(0, bytes.size() - 1), "truncated"},
      {"signatures out of order", swapped},
      {"a signature twice", twice},
      {"NaN value sum", patchedDouble(bytes, recordField(written, 0, ValueSumField), nan)},
      {"+inf value sum", patchedDouble(bytes, recordField(written, 1, ValueSumField), inf)},
      {"-inf value sum", patchedDouble(bytes, recordField(written, 1, ValueSumField), -inf)},
      {"negative score sum", patchedInt32(bytes, recordField(written, 0, ScoreSumField), -1)},
      {"negative weight sum", patchedInt32(bytes, recordField(written, 1, WeightSumField), -1000)},
      {"NaN plies-left sum", patchedDouble(bytes, recordField(written, 0, PliesLeftSumField), nan)},
      {"+inf plies-left sum", patchedDouble(bytes, recordField(written, 1, PliesLeftSumField), inf)},
      {"negative plies-left sum", patchedDouble(bytes, recordField(written, 1, PliesLeftSumField), -0.5)},
  };
  for (const auto& c : cases) {
    TempTextFile damaged("damaged.mem", c.image);
    RandomGenerator::instance().seed(7);  // keys other than the image's
    MaterialStatistics target;
    ASSERT_TRUE(target.addPgn(dataFile("material_pawn_up.pgn").c_str(), 500, false, -1));
    const MaterialStatistics before = target;
    ASSERT_FALSE(target.positions().empty());
    ASSERT_FALSE(target.signatures().empty());
    ASSERT_NE(target.randomKeys(), written.randomKeys());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(target.readMem(damaged.c_str())) << c.what;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "info string error reading the input file " + damaged.path() + ": the memory image is " + c.fault +
                  "\n")
        << c.what;
    expectSameCollection(target, before, c.what);
  }

  // Figures a collection can hold are taken as they are: a value sum below
  // zero (the evaluation favoured the smaller side), zero sums and the
  // largest 32-bit ones.
  std::string edges = patchedDouble(bytes, recordField(written, 0, ValueSumField), -1234.5);
  edges = patchedInt32(edges, recordField(written, 0, ScoreSumField), 0);
  edges = patchedInt32(edges, recordField(written, 0, WeightSumField), 0);
  edges = patchedDouble(edges, recordField(written, 0, PliesLeftSumField), 0.0);
  edges = patchedInt32(edges, recordField(written, 1, ScoreSumField), INT32_MAX);
  edges = patchedInt32(edges, recordField(written, 1, WeightSumField), INT32_MAX);
  for (const std::string& good : {bytes, edges}) {
    TempTextFile file("good.mem", good);
    MaterialStatistics restored;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(restored.readMem(file.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(restored.randomKeys(), written.randomKeys());
    EXPECT_EQ(restored.signatures(), written.signatures());
    const std::string again = tempPath("again.mem");
    ASSERT_TRUE(restored.writeMem(again.c_str()));
    EXPECT_EQ(readFile(again), good);
    std::remove(again.c_str());
  }
}

// A sanitizer's shadow memory rules an address-space limit out.
#if defined(BRAKKEN_SANITIZE) || defined(BRAKKEN_TSAN)
constexpr bool AddressSpaceCanBeLimited = false;
#else
constexpr bool AddressSpaceCanBeLimited = true;
#endif

// Limits this process's address space to what it uses now and 512 MiB
// more.
bool limitAddressSpace() {
  if (!AddressSpaceCanBeLimited) return false;
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  if (pages <= 0) return false;
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(1) << 29);
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

// A process that writes the bytes into the FIFO; when endless, then
// well-ordered signatures without end, until it is killed. The FIFO is
// opened for writing before the process starts, so that the reader finds
// its writer there (a FIFO without one is refused as a missing file is).
// keeper is a reader of this process's own, which lets that open go
// through without waiting and keeps the feeder's writes from finding the
// FIFO without a reader before the reader under test comes; the caller
// closes it once that reader is done.
pid_t feedFifo(const std::string& fifo, const std::string& bytes, bool endless, int& keeper) {
  keeper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int fd = keeper < 0 ? -1 : open(fifo.c_str(), O_WRONLY);
  if (fd < 0) return -1;
  const pid_t pid = fork();
  if (pid != 0) {
    close(fd);
    return pid;
  }
  close(keeper);
  auto writeAll = [fd](const unsigned char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = write(fd, data, size);
      if (n <= 0) _exit(0);
      data += n;
      size -= size_t(n);
    }
  };
  writeAll(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  for (uint64_t next = 0; endless;) {
    unsigned char block[8192];
    for (size_t i = 0; i < sizeof block; i += 8, ++next) {
      const uint32_t low = uint32_t(next >> 32), high = uint32_t(next);
      std::memcpy(block + i, &low, 4);
      std::memcpy(block + i + 4, &high, 4);
    }
    writeAll(block, sizeof block);
  }
  _exit(0);
}

// An image that promises far more than the memory holds ends with the
// error and the collection as it was, never with the engine ended by an
// allocation failure, also under an address-space limit (set in a child
// process, so that it stays there): a sparse 4 GiB file claiming 2^32 - 1
// signatures or records, and a FIFO (whose length nobody knows
// beforehand) delivering noise, or well-ordered signatures until the
// memory runs out. A valid image through a FIFO is still read under the
// same limit. A device is no file to read an image from: it is refused as
// a missing file is.
TEST_F(MaterialStatsTest, OversizedImagesEndWithAnErrorUnderAMemoryLimit) {
  MaterialStatistics written;
  ASSERT_TRUE(written.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const std::string image = tempPath("fits.mem");
  ASSERT_TRUE(written.writeMem(image.c_str()));
  const std::string bytes = readFile(image);
  std::remove(image.c_str());
  const std::string keys = bytes.substr(0, size_t(MaterialStatistics::KeyBytes));
  const std::string most("\xff\xff\xff\xff", 4), none(4, '\0');

  testsupport::TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string manySignatures = dir.path("signatures.mem"), manyRecords = dir.path("records.mem");
  // One FIFO for each, so that a feeder left over from one cannot write
  // into the other.
  const std::string endlessFifo = dir.path("endless.fifo"), validFifo = dir.path("valid.fifo"),
                    noiseFifo = dir.path("noise.fifo");
  std::string noise(1 << 18, '\0');
  uint32_t state = 7;
  for (char& c : noise) {
    state = state * 1664525u + 1013904223u;
    c = char(state >> 24);
  }
  for (const auto& sparse :
       {std::make_pair(manySignatures, keys + most), std::make_pair(manyRecords, keys + none + most)}) {
    std::ofstream(sparse.first, std::ios::binary) << sparse.second;
    ASSERT_EQ(truncate(sparse.first.c_str(), off_t(4) << 30), 0);
  }
  for (const std::string& fifo : {endlessFifo, validFifo, noiseFifo}) ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  const struct {
    const char* what;
    std::string path;
    std::string fed;    // into the FIFO at path; empty: path is no FIFO
    bool endless;       // well-ordered signatures after what was fed
    const char* fault;  // what standard error says; null: the image is read
  } cases[] = {
      {"sparse file, 2^32 - 1 signatures", manySignatures, "", false, "the memory image is truncated"},
      {"sparse file, 2^32 - 1 records", manyRecords, "", false, "the memory image is truncated"},
      {"a device", "/dev/urandom", "", false, "error opening the input file /dev/urandom"},
      {"noise through a FIFO", noiseFifo, noise, false, "the memory image is damaged"},
      {"endless signatures through a FIFO", endlessFifo, keys + most, true, "the memory image is damaged"},
      {"valid image through a FIFO", validFifo, bytes, false, nullptr},
  };
  for (const auto& c : cases) {
    // Without a limit the endless FIFO would take all of the machine.
    if (c.endless && !AddressSpaceCanBeLimited) continue;
    auto readInChild = [&] {
      // The child starts with the failures its parent had; only new ones
      // count.
      const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
      const int failuresBefore = result.total_part_count();
      RandomGenerator::instance().seed(7);
      MaterialStatistics target;
      EXPECT_TRUE(target.addPgn(dataFile("material_pawn_up.pgn").c_str(), 500, false, -1));
      const MaterialStatistics before = target;
      EXPECT_EQ(limitAddressSpace(), AddressSpaceCanBeLimited);
      int keeper = -1;
      const pid_t feeder = c.fed.empty() ? -1 : feedFifo(c.path, c.fed, c.endless, keeper);
      EXPECT_TRUE(c.fed.empty() || feeder > 0) << c.what;
      const bool read = target.readMem(c.path.c_str());
      if (feeder > 0) {
        kill(feeder, SIGKILL);
        waitpid(feeder, nullptr, 0);
      }
      if (keeper >= 0) close(keeper);
      if (c.fault) {
        EXPECT_FALSE(read);
        expectSameCollection(target, before, c.what);
      } else {
        EXPECT_TRUE(read);
        EXPECT_EQ(target.randomKeys(), written.randomKeys());
        EXPECT_EQ(target.signatures(), written.signatures());
      }
      std::fflush(stdout);
      std::exit(result.total_part_count() > failuresBefore ? 1 : 0);
    };
    const std::string told = c.fault ? std::string(c.fault) : std::string("^$");
    EXPECT_EXIT(readInChild(), ::testing::ExitedWithCode(0), told) << c.what;
  }
}

TEST_F(MaterialStatsTest, UnopenableFilesAreReportedOnStandardError) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));  // something to write
  testing::internal::CaptureStderr();
  EXPECT_FALSE(stats.readMem("/nonexistent/dir/x.mem"));
  EXPECT_FALSE(stats.writeMem("/nonexistent/dir/x.mem"));
  EXPECT_FALSE(stats.writeTable("/nonexistent/dir/x.txt"));
  EXPECT_FALSE(stats.addPgn("/nonexistent/dir/x.pgn", 1000, false, -1));
  EXPECT_FALSE(writeMonteCarloPgn("/nonexistent/dir/x.pgn", 1, 1));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("info string error opening the input file /nonexistent/dir/x.mem\n"), std::string::npos);
  EXPECT_NE(err.find("info string error opening the output file /nonexistent/dir/x.mem\n"), std::string::npos);
  EXPECT_NE(err.find("info string error opening the output file /nonexistent/dir/x.txt\n"), std::string::npos);
}

// The table and the memory image are replaced like the book files: a
// read-only file stays as it is, and a link keeps naming the new file.
TEST_F(MaterialStatsTest, AReadOnlyFileIsNotReplacedAndALinkIsFollowed) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const std::string path = tempPath("readonly_table.txt"), link = tempPath("table_link.txt");
  for (bool image : {false, true}) {
    auto write = [&](const std::string& name) {
      return image ? stats.writeMem(name.c_str()) : stats.writeTable(name.c_str());
    };
    { std::ofstream(path) << "old"; }
    // Refused by its mode bits, also when root runs the tests.
    chmod(path.c_str(), 0444);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(write(path)) << image;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "info string error opening the output file " + path + "\n");
    EXPECT_EQ(readFile(path), "old");
    chmod(path.c_str(), 0644);
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_TRUE(write(link)) << image;
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << image;
    EXPECT_GT(readFile(path).size(), 3u) << image;
    std::remove(link.c_str());
    std::remove(path.c_str());
  }
}

// Random games from a fixed seed are repeatable; their balances carry no
// value and no plies-left figure, weights are whole games and scores are
// 0, half or whole.
TEST_F(MaterialStatsTest, RandomGamesWithAFixedSeed) {
  MaterialStatistics a, b;
  ASSERT_TRUE(a.addRandomGames(20, 31337));
  ASSERT_TRUE(b.addRandomGames(20, 31337));
  ASSERT_FALSE(a.balances().empty());
  const std::string ta = tempPath("rnd_a.txt"), tb = tempPath("rnd_b.txt");
  ASSERT_TRUE(a.writeTable(ta.c_str()));
  ASSERT_TRUE(b.writeTable(tb.c_str()));
  EXPECT_EQ(readFile(ta), readFile(tb));
  for (const std::string& line : fileLines(ta)) {
    unsigned long larger, smaller;
    int bishop, difference;
    double score, weight, value, plies;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lx %lx %d %d %lf %lf %lf %lf", &larger, &smaller, &bishop, &difference,
                          &score, &weight, &value, &plies),
              8)
        << line;
    EXPECT_GT(larger, smaller);
    EXPECT_EQ(difference, materialSignatureValue(uint32_t(larger)) - materialSignatureValue(uint32_t(smaller)));
    EXPECT_EQ(long(weight) % 1000, 0);
    EXPECT_GE(score, 0.0);
    EXPECT_LE(score, 1.0);
    EXPECT_EQ(line.substr(line.size() - 17), "     0.000    0.0");
  }
  for (const std::string& f : {ta, tb}) std::remove(f.c_str());
}

// Two runs from the clock in one second play different games: when they
// played the same ones every weight would be an even number of games.
TEST_F(MaterialStatsTest, TwoClockSeededRunsPlayDifferentGames) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addRandomGames(30));
  ASSERT_TRUE(stats.addRandomGames(30));
  const std::string table = tempPath("rnd_twice.txt");
  ASSERT_TRUE(stats.writeTable(table.c_str()));
  int oddWeights = 0, lines = 0;
  for (const std::string& line : fileLines(table)) {
    double weight = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%*s %*s %*s %*s %*s %lf", &weight), 1) << line;
    ++lines;
    oddWeights += (long(weight) / 1000) % 2;
  }
  EXPECT_GT(lines, 0);
  EXPECT_GT(oddWeights, 0);
  std::remove(table.c_str());
}

TEST_F(MaterialStatsTest, MonteCarloPgnReadsBackAsLegalGames) {
  const std::string path = tempPath("monte.pgn");
  ASSERT_TRUE(writeMonteCarloPgn(path.c_str(), 3, 4242));
  const std::string text = readFile(path);
  EXPECT_EQ(text.rfind("[Event \"Monte Carlo Test\"]\n[Site \"Morvin's Mountain\"]\n[Date \"????.??.??\"]\n"
                       "[Round \"?\"]\n[White \"W\"]\n[Black \"B\"]\n[Result \"",
                       0),
            0u);
  EXPECT_NE(text.find("1. "), std::string::npos);
  PgnLexer lexer(path.c_str());
  PgnGame game;
  int games = 0;
  while (lexer.next(game)) {
    ++games;
    EXPECT_NE(game.result, UnknownResult);
    EXPECT_GT(game.moves.size(), 0u);
  }
  EXPECT_EQ(games, 3);
  std::remove(path.c_str());
}

}  // namespace

namespace {

// The table, the memory image and the random-game PGN go straight into a
// FIFO, or into the FIFO a link names: it stays a FIFO (the link a link)
// and its reader gets what a regular file would hold.
TEST_F(MaterialStatsTest, AFifoOrALinkToOneIsWrittenStraightInto) {
  MaterialStatistics stats;
  ASSERT_TRUE(stats.addPgn(dataFile("material_rated.pgn").c_str(), 1000, false, -1));
  const struct {
    const char* name;
    std::function<bool(const std::string&)> write;
  } writers[] = {
      {"table", [&](const std::string& name) { return stats.writeTable(name.c_str()); }},
      {"memory image", [&](const std::string& name) { return stats.writeMem(name.c_str()); }},
      {"random games", [](const std::string& name) { return writeMonteCarloPgn(name.c_str(), 2, 4242); }},
  };
  for (const auto& writer : writers) {
    for (const bool viaLink : {false, true}) {
      SCOPED_TRACE(std::string(writer.name) + (viaLink ? " through a link" : ""));
      testsupport::expectWrittenStraightIntoFifo(writer.write, viaLink);
    }
  }
}

}  // namespace
