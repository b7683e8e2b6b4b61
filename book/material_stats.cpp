#include "book/material_stats.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>

#include "board/attack_tables.h"
#include "board/game.h"
#include "board/history_table.h"
#include "board/legality.h"
#include "board/move_list.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random_generator.h"
#include "book/pgn_lexer.h"
#include "book/rating.h"
#include "common/input_file.h"
#include "common/output_file.h"
#include "search/searcher.h"

namespace {

// A position is sampled only while this many men stand on the board.
constexpr int MinimumMen = 4;
// Plies of a game that take part in its signature and its sampling.
constexpr int MaxSampledPlies = 300;
// A game this short or shorter says little about its material.
constexpr int MinimumPlies = 32;
// Transposition table of the private searcher that judges quietness.
constexpr size_t SampleSearcherBytes = 10000;
// Weight and score share of one game in the random-game statistics.
constexpr int RandomGameWeight = 1000;

void reportOpenError(const char* direction, const char* fileName) {
  std::fprintf(stderr, "info string error opening the %s file %s\n", direction, fileName);
  std::fflush(stderr);
}

// Little-endian byte images of the memory file's fields.
void putU32(std::vector<unsigned char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void putU64(std::vector<unsigned char>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void putDouble(std::vector<unsigned char>& out, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  putU64(out, bits);
}

// Reads exactly n bytes; false at a short read.
bool readBytes(std::FILE* f, unsigned char* buffer, size_t n) { return std::fread(buffer, 1, n, f) == n; }
uint32_t getU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t getU64(const unsigned char* p) { return uint64_t(getU32(p)) | uint64_t(getU32(p + 4)) << 32; }
double getDouble(const unsigned char* p) {
  const uint64_t bits = getU64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Whether a record of a memory image holds figures a collection can
// produce: every sum finite; weight, score and plies-left sums, made of game
// weights and shares of them, not below zero. The value sum may be negative
// (the evaluation can favour the smaller side). writeMem's scaling of large
// records keeps all of this. Whether a score stays within its weight is
// not checked: such a record still gives finite figures in the table.
bool plausible(const PositionStat& s) {
  return std::isfinite(s.valueSum) && std::isfinite(s.pliesLeftSum) && s.pliesLeftSum >= 0 && s.scoreSum >= 0 &&
         s.weightSum >= 0;
}

enum class ImageFault { None, Truncated, Damaged };

// Whether what is left of the file can hold count fields of size bytes and
// then trailing bytes: a count is checked before anything is read for it,
// so a header that promises more than the file has is refused at once. A
// stream whose length is unknown (a FIFO, a device) passes; its containers
// grow only with what has actually been read.
bool fitsInRest(std::FILE* f, uint32_t count, uint64_t size, uint64_t trailing) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  const off_t at = ftello(f);
  if (at < 0) return true;
  const uint64_t rest = st.st_size > at ? uint64_t(st.st_size - at) : 0;
  return uint64_t(count) * size + trailing <= rest;
}

// Reads a memory image after its opening into keys, signatures and
// records (a later record of the same key replacing an earlier one).
ImageFault readImage(std::FILE* f, std::vector<uint32_t>& keys, std::set<std::pair<uint32_t, uint32_t>>& signatures,
                     std::map<uint64_t, PositionStat>& records) {
  {
    std::vector<unsigned char> buffer(static_cast<size_t>(MaterialStatistics::KeyBytes));
    if (!readBytes(f, buffer.data(), buffer.size())) return ImageFault::Truncated;
    keys.resize(MaterialStatistics::KeyCount);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = getU32(&buffer[i * 4]);
  }
  unsigned char b[40];
  if (!readBytes(f, b, 4)) return ImageFault::Truncated;
  const uint32_t n = getU32(b);
  if (!fitsInRest(f, n, 8, 4)) return ImageFault::Truncated;
  for (uint32_t i = 0; i < n; ++i) {
    if (!readBytes(f, b, 8)) return ImageFault::Truncated;
    const std::pair<uint32_t, uint32_t> signature(getU32(b), getU32(b + 4));
    // The image holds a set in its order: anything else is not an image,
    // and noise (read from a device, say) is refused within a few
    // signatures instead of filling the memory.
    if (!signatures.empty() && !(*signatures.rbegin() < signature)) return ImageFault::Damaged;
    signatures.emplace_hint(signatures.end(), signature);
  }
  if (!readBytes(f, b, 4)) return ImageFault::Truncated;
  const uint32_t m = getU32(b);
  if (!fitsInRest(f, m, 40, 0)) return ImageFault::Truncated;
  for (uint32_t i = 0; i < m; ++i) {
    if (!readBytes(f, b, 40)) return ImageFault::Truncated;
    PositionStat s;
    s.keyLow = getU32(b + 8);
    s.keyHigh = getU32(b + 12);
    s.valueSum = getDouble(b + 16);
    s.scoreSum = int32_t(getU32(b + 24));
    s.weightSum = int32_t(getU32(b + 28));
    s.pliesLeftSum = getDouble(b + 32);
    if (!plausible(s)) return ImageFault::Damaged;
    records.insert_or_assign(records.end(), getU64(b), s);
  }
  return ImageFault::None;
}

// Men on the board, kings included.
int menCount(const Position& p) { return AttackTables::popCount(p.occupied); }

// Type order of the random-game capture bonus: knights and bishops equal.
int captureRank(int type) {
  static const int rank[7] = {0, 1, 2, 2, 4, 5, 6};
  return rank[type];
}

// The mover gets a bonus for a move that leaves none of its men on the
// move's squares hanging, or that takes a man of a higher class.
bool safeOrWinning(const SideState& mover, Move move, int captured) {
  const Bitboard squares = squareBit(moveFrom(move)) | squareBit(moveTo(move));
  const Bitboard own = squares & mover.pieces[0];
  if (own && !(own & mover.attacked)) return true;
  return captured != 0 && captureRank(captured) > captureRank(movePiece(move));
}

// Weighted random choice among the legal moves of the game's position, or
// 0 when there is none. weigh(position, move, undo) is called after the
// move was made and before it is undone.
template <class Weigh>
Move pickRandomMove(Game& game, RandomGenerator& rng, Weigh weigh) {
  static const HistoryTable emptyHistory;
  Position& p = game.position;
  LocalMoveStack stack;
  MoveList list(stack, p, emptyHistory, AllMoves);
  Move moves[LocalMoveStack::Capacity];
  uint32_t weights[LocalMoveStack::Capacity];
  int n = 0;
  uint32_t total = 0;
  UndoRecord undo;
  undo.save(p);
  for (const MoveListEntry* e = list.begin(); e != list.end(); ++e) {
    if (!p.makeMove(e->move, undo)) continue;
    const uint32_t w = weigh(p, e->move, undo);
    undo.restore();
    moves[n] = e->move;
    weights[n++] = w;
    total += w;
  }
  if (n == 0) return 0;
  uint32_t draw = rng.range(0, total - 1);
  for (int i = 0; i < n; ++i) {
    if (draw < weights[i]) return moves[i];
    draw -= weights[i];
  }
  return moves[n - 1];
}

// Whether the move just made mates; only a check can, which spares the
// search for a legal reply after most moves.
bool mates(Position& after) {
  int result = 0;
  return after.inCheck() && after.noLegalMove(&result) && result != 0;
}

// Plays one random game on game (already set up) with the given move
// weights; gives back +1 when black is mated, -1 when white is, else 0.
template <class Weigh>
int playRandomGame(Game& game, RandomGenerator& rng, std::vector<Move>& moves, Weigh weigh) {
  for (;;) {
    if (game.drawStatus() > 1) return 0;
    const Move m = pickRandomMove(game, rng, weigh);
    if (m == 0) return game.position.inCheck() ? (game.position.whiteToMove ? -1 : 1) : 0;
    game.playMove(m);
    moves.push_back(m);
  }
}

// Weights of the statistics' random games: prefer mates, saving hanging
// men, safe moves, winning captures and queen promotions.
uint32_t statisticsMoveWeight(Position& after, Move move, const UndoRecord& undo) {
  const bool moverWhite = after.whiteToMove == 0;
  const SideState& mover = after.side(moverWhite);
  uint32_t w = 100;
  if (mates(after)) w += 10000;
  // The maps of the position before the move were saved by the undo record:
  // index 0 of each side's maps is its attacked set.
  const Bitboard from = squareBit(moveFrom(move));
  const Bitboard attackedBefore = moverWhite ? undo.whiteMaps[0] : undo.blackMaps[0];
  const Bitboard defendedBefore = moverWhite ? undo.blackMaps[0] : undo.whiteMaps[0];
  if ((attackedBefore & from) && !(defendedBefore & from)) w += 100;
  const bool queenPromotion = movePromotion(move) == Queen;
  if (safeOrWinning(mover, move, undo.captured)) w += queenPromotion ? 200 : 100;
  else if (queenPromotion) w += 100;
  return w;
}

}  // namespace

uint32_t sideMaterialSignature(const Position& position, bool white) {
  const SideState& s = position.side(white);
  return uint32_t(s.counts[Pawn] & 15) | uint32_t(s.counts[Knight] & 15) << 4 |
         uint32_t(s.counts[Bishop] & 15) << 8 | uint32_t(s.counts[Rook] & 15) << 12 |
         uint32_t(s.counts[Queen]) << 16;
}

uint64_t materialStatisticsKey(const Position& position) {
  const uint32_t w = sideMaterialSignature(position, true);
  const uint32_t b = sideMaterialSignature(position, false);
  if (w == b) return 0;
  const uint64_t larger = w > b ? w : b;
  const uint64_t smaller = w > b ? b : w;
  return larger << 24 | smaller << 4 | uint64_t(position.bishopColours());
}

MaterialStatistics::MaterialStatistics() : keys_(KeyCount) {
  RandomGenerator& rng = RandomGenerator::instance();
  for (uint32_t& k : keys_) {
    rng.skip(20);
    k = rng.next();
  }
}

bool MaterialStatistics::addPgn(const char* fileName, int value, bool calcElo, int minimumElo) {
  PgnLexer lexer(fileName);
  if (!lexer.isOpen()) return false;
  std::map<std::string, int> ratings;
  if (calcElo) computeRatings(fileName, ratings);
  auto ratingOf = [&ratings](const std::string& name) {
    auto it = ratings.find(name);
    return it == ratings.end() ? 0 : it->second;
  };
  std::vector<Move> moves;
  PgnTags tags;
  int result = UnknownResult;
  std::string fen;
  int whiteElo = 0, blackElo = 0;
  while (lexer.readNextGame(moves, &tags, &result, &fen, &whiteElo, &blackElo, -1)) {
    if (calcElo) {
      auto w = tags.find("White");
      auto b = tags.find("Black");
      whiteElo = w == tags.end() ? 0 : ratingOf(w->second);
      blackElo = b == tags.end() ? 0 : ratingOf(b->second);
    }
    if (minimumElo >= 0 && (whiteElo < minimumElo || blackElo < minimumElo)) continue;
    int sign;
    if (result == WhiteWins) sign = 1;
    else if (result == BlackWins) sign = -1;
    else if (result == Draw) sign = 0;
    else continue;
    addGame(moves, fen, whiteElo, blackElo, value, sign);
  }
  return true;
}

bool MaterialStatistics::addGame(const std::vector<Move>& moves, const std::string& fen, int whiteElo,
                                 int blackElo, int value, int resultSign) {
  const int n = static_cast<int>(moves.size());
  const long long eloDifference = whiteElo > 0 && blackElo > 0 ? (long long)whiteElo - blackElo : 0;
  const long long whiteShare = resultSign > 0 ? value : resultSign < 0 ? 0 : value / 2;

  Game walk;
  if (fen.empty()) walk.setPosition(nullptr);
  else if (!walk.setFen(fen.c_str())) return false;

  const int plies = n < MaxSampledPlies ? n : MaxSampledPlies;
  uint32_t low = 0, high = 0;
  for (int p = 0; p < plies; ++p) {
    low ^= keys_[size_t(p) * 128 + size_t(moveFrom(moves[p]))];
    high ^= keys_[size_t(p) * 128 + 64 + size_t(moveTo(moves[p]))];
  }
  if (n <= MinimumPlies) return false;
  if (!signatures_.insert({low, high}).second) return true;

  std::unique_ptr<Searcher> judge(new Searcher(SampleSearcherBytes));
  judge->evaluator().setNeuroMaterial(40);
  judge->evaluator().setNeuroWidth(500);
  Game& judgeGame = judge->game();

  int stable = 0, needed = 2;
  uint64_t previousKey = 0, lastRecorded = 0;
  double pliesLeft = double(value) * plies;
  for (int k = 1; k < plies && menCount(walk.position) >= MinimumMen; ++k) {
    // Moves read before a later FEN tag belong to another position; the
    // walk ends where the moves stop fitting the board.
    if (!isLegalMove(walk.position, moves[k - 1])) break;
    walk.playMove(moves[k - 1]);
    const Position& p = walk.position;
    const bool inCheck = p.inCheck();
    if (inCheck) ++needed;
    const uint64_t key = materialStatisticsKey(p);
    const bool whiteLarger =
        key != 0 && sideMaterialSignature(p, true) > sideMaterialSignature(p, false);
    const long long share = key == 0 ? 0 : whiteLarger ? whiteShare : value - whiteShare;
    if (key != previousKey) {
      if (menCount(p) < MinimumMen) break;
      stable = 0;
      needed = 2;
    } else {
      ++stable;
      bool record = stable >= needed && key != 0 && key != lastRecorded && !inCheck;
      if (record) {
        judgeGame.setPosition(&p);
        record = judge->quietScore(0, nullptr);
      }
      if (record) record = isLegalMove(judgeGame.position, moves[k]);
      if (record) {
        judgeGame.playMove(moves[k]);
        record = judge->quietScore(0, nullptr);
      }
      if (record) {
        int q = judge->evaluator().evaluateWithoutMaterial(p);
        if ((p.whiteToMove != 0) != whiteLarger) q = -q;
        const long long d = whiteLarger ? eloDifference : -eloDifference;
        PositionStat& s = positions_[p.hashKey];
        s.keyLow = uint32_t(key);
        s.keyHigh = uint32_t(key >> 32);
        s.weightSum += value;
        s.scoreSum += share;
        s.valueSum += double(value) * (q * 110.0 / 1000.0 + double(d));
        s.pliesLeftSum += pliesLeft;
        lastRecorded = key;
      }
    }
    previousKey = key;
    pliesLeft -= value;
  }
  return true;
}

bool MaterialStatistics::addRandomGames(long count, uint32_t seed) {
  RandomGenerator& rng = RandomGenerator::instance();
  rng.seed(seed);
  rng.skip(20);
  std::vector<Move> moves;
  for (long g = 0; g < count; ++g) {
    const unsigned start = rng.range(1, 960);
    Game game;
    game.setChess960(start);
    moves.clear();
    const int result = playRandomGame(game, rng, moves, statisticsMoveWeight);
    const int whiteScore = result > 0 ? RandomGameWeight : result < 0 ? 0 : RandomGameWeight / 2;

    Game replay;
    replay.setChess960(start);
    uint64_t previous = 0, lastCounted = 0;
    for (Move m : moves) {
      replay.playMove(m);
      const Position& p = replay.position;
      const uint64_t key = materialStatisticsKey(p);
      if (key != 0 && key == previous && key != lastCounted) {
        const bool whiteLarger = sideMaterialSignature(p, true) > sideMaterialSignature(p, false);
        MaterialKeyStat& s = balances_[key];
        s.weight += RandomGameWeight;
        s.scoreSum += whiteLarger ? whiteScore : RandomGameWeight - whiteScore;
        s.valueSum = 0.0;
        lastCounted = key;
      }
      previous = key;
    }
  }
  return true;
}

bool MaterialStatistics::writeTable(const char* fileName) const {
  // An empty collection (a memory image of random games holds no position
  // records) would replace a good table with an empty one.
  if (positions_.empty() && balances_.empty()) {
    std::fprintf(stderr, "info string no material statistics to write\n");
    return false;
  }
  // A position seen in many games counts less than in proportion, so that
  // no single position outweighs the rest: its weight stays below 2500.
  // The positions are folded into a copy of the balances, so that a write
  // that fails, or a second write, finds the statistics as they were.
  std::map<uint64_t, MaterialKeyStat> table = balances_;
  for (const auto& entry : positions_) {
    const PositionStat& ps = entry.second;
    const double x = double(ps.weightSum) / 1000.0;
    const double b = ps.weightSum <= 1000 ? 1.0 : (1.0 - std::pow(0.6, x)) / (0.4 * x);
    MaterialKeyStat& s = table[ps.key()];
    s.valueSum += b * ps.valueSum;
    s.scoreSum += b * double(ps.scoreSum);
    s.weight += b * double(ps.weightSum);
    s.pliesLeftSum += b * ps.pliesLeftSum;
  }

  OutputFile out;
  if (!out.open(fileName)) {
    reportOpenError("output", fileName);
    return false;
  }
  for (const auto& entry : table) {
    const MaterialKeyStat& s = entry.second;
    if (s.weight == 0) continue;
    const uint64_t key = entry.first;
    const uint32_t larger = uint32_t(key >> 24);
    const uint32_t smaller = uint32_t((key >> 4) & 0xFFFFF);
    const int relation = int(key & 15);
    const int bishopTerm = relation == 1 ? -1 : relation == 2 ? 1 : 0;
    std::fprintf(out.stream(), "%05x %05x %2d %3d %8.6f %10lld %10.3f %6.1f\n", unsigned(larger), unsigned(smaller),
                 bishopTerm, materialSignatureValue(larger) - materialSignatureValue(smaller),
                 s.scoreSum / s.weight, static_cast<long long>(s.weight), s.valueSum / s.weight,
                 s.pliesLeftSum / s.weight);
  }
  if (!out.commit()) {
    std::fprintf(stderr, "info string error writing the output file %s\n", fileName);
    return false;
  }
  return true;
}

bool MaterialStatistics::writeMem(const char* fileName) const {
  OutputFile out;
  if (!out.open(fileName)) {
    reportOpenError("output", fileName);
    return false;
  }
  std::vector<unsigned char> bytes;
  bytes.reserve(size_t(KeyBytes) + 8 + 8 * signatures_.size() + 40 * positions_.size());
  for (uint32_t k : keys_) putU32(bytes, k);
  putU32(bytes, uint32_t(signatures_.size()));
  for (const auto& s : signatures_) {
    putU32(bytes, s.first);
    putU32(bytes, s.second);
  }
  putU32(bytes, uint32_t(positions_.size()));
  for (const auto& entry : positions_) {
    const PositionStat& s = entry.second;
    // The image keeps 32-bit sums; a larger position is scaled down as a
    // whole, which keeps its averages.
    const int64_t largest = std::max(s.weightSum < 0 ? -s.weightSum : s.weightSum,
                                     s.scoreSum < 0 ? -s.scoreSum : s.scoreSum);
    const double scale =
        largest > INT32_MAX ? double(INT32_MAX) / double(largest) : 1.0;
    putU64(bytes, entry.first);
    putU32(bytes, s.keyLow);
    putU32(bytes, s.keyHigh);
    putDouble(bytes, s.valueSum * scale);
    putU32(bytes, uint32_t(int32_t(scale == 1.0 ? s.scoreSum : int64_t(double(s.scoreSum) * scale))));
    putU32(bytes, uint32_t(int32_t(scale == 1.0 ? s.weightSum : int64_t(double(s.weightSum) * scale))));
    putDouble(bytes, s.pliesLeftSum * scale);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
  if (!out.commit()) {
    std::fprintf(stderr, "info string error writing the output file %s\n", fileName);
    return false;
  }
  return true;
}

bool MaterialStatistics::readMem(const char* fileName) {
  std::FILE* f = openInputFile(fileName, "rb");
  if (!f) {
    reportOpenError("input", fileName);
    return false;
  }
  // Everything is read and checked first; a damaged image changes nothing.
  std::vector<uint32_t> keys;
  std::set<std::pair<uint32_t, uint32_t>> signatures;
  std::map<uint64_t, PositionStat> records;
  ImageFault fault = ImageFault::None;
  try {
    fault = readImage(f, keys, signatures, records);
  } catch (const std::bad_alloc&) {
    // More than the memory holds (a stream whose length nobody knows can
    // promise anything): refused like any other bad image instead of
    // ending the engine.
    fault = ImageFault::Damaged;
  } catch (const std::length_error&) {
    fault = ImageFault::Damaged;
  }
  std::fclose(f);
  if (fault != ImageFault::None) {
    // What was read goes before anything else is done.
    std::vector<uint32_t>().swap(keys);
    signatures.clear();
    records.clear();
    std::fprintf(stderr, "info string error reading the input file %s: the memory image is %s\n", fileName,
                 fault == ImageFault::Damaged ? "damaged" : "truncated");
    return false;
  }
  // Nothing from here on allocates or throws, so the image is taken whole.
  keys_.swap(keys);
  signatures_.swap(signatures);
  // New keys move their nodes over; those the collection holds already stay
  // behind in records and have their figures replaced by the image's.
  positions_.merge(records);
  for (const auto& r : records) positions_.find(r.first)->second = r.second;
  return true;
}

bool writeMonteCarloPgn(const char* fileName, long games, uint32_t seed) {
  RandomGenerator& rng = RandomGenerator::instance();
  rng.seed(seed);
  rng.skip(20);
  OutputFile out;
  if (!out.open(fileName)) {
    reportOpenError("output", fileName);
    return false;
  }
  // Mates first, recaptures on the opponent's last squares next.
  auto weigh = [](Position& after, Move move, const UndoRecord& undo) -> uint32_t {
    uint32_t w = 100;
    if (mates(after)) w += 10000;
    const Bitboard squares = squareBit(moveFrom(move)) | squareBit(moveTo(move));
    if (undo.captured != 0 && (undo.lastMoveMask & squares)) w += 200;
    return w;
  };
  std::vector<Move> moves;
  char text[32];
  for (long g = 0; g < games; ++g) {
    Game game;
    game.setPosition(nullptr);
    moves.clear();
    const int result = playRandomGame(game, rng, moves, weigh);
    const char* resultText = result > 0 ? "1-0" : result < 0 ? "0-1" : "1/2-1/2";
    std::FILE* f = out.stream();
    std::fprintf(f,
                 "[Event \"Monte Carlo Test\"]\n[Site \"Morvin's Mountain\"]\n[Date \"????.??.??\"]\n"
                 "[Round \"?\"]\n[White \"W\"]\n[Black \"B\"]\n[Result \"%s\"]\n",
                 resultText);
    Game replay;
    replay.setPosition(nullptr);
    for (size_t i = 0; i < moves.size(); ++i) {
      if (replay.position.whiteToMove) std::fprintf(f, "%zu. ", i / 2 + 1);
      std::fputs(formatMove(replay.position, moves[i], SanEnglish, text), f);
      std::fputc(i % 10 == 9 ? '\n' : ' ', f);
      replay.playMove(moves[i]);
    }
    std::fprintf(f, "%s\n\n", resultText);
  }
  if (!out.commit()) {
    std::fprintf(stderr, "info string error writing the output file %s\n", fileName);
    return false;
  }
  return true;
}
