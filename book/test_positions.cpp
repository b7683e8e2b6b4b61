#include "book/test_positions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "board/legality.h"
#include "board/random_generator.h"
#include "book/pgn_lexer.h"
#include "common/append_without_waiting.h"
#include "common/input_file.h"
#include "common/output_file.h"
#include "search/searcher.h"
#include "search/time_manager.h"

namespace {

constexpr int ControlLineLength = 998;
constexpr int FenColumn = 17;  // the FEN of a position line starts here
constexpr int MinimumPlies = 30;
constexpr int32_t ScoreLimit = 400000;

std::string readControlLine(std::FILE* f, bool trim) {
  char buffer[ControlLineLength + 1];
  if (!std::fgets(buffer, sizeof buffer, f)) return std::string();
  std::string s(buffer);
  if (!s.empty() && s.back() == '\n') {
    s.pop_back();
  } else {
    // The rest of an over-long line is dropped.
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
    }
  }
  if (trim)
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

// Adds the keys of the positions of a position file; lines whose FEN the
// set-up refuses are passed over.
void readKnownPositions(const std::string& name, std::unordered_set<uint64_t>& known) {
  std::FILE* f = openInputFile(name.c_str(), "r");
  if (!f) return;
  std::string line;
  int c;
  do {
    c = std::fgetc(f);
    if (c != EOF && c != '\n') {
      line += char(c);
      continue;
    }
    if (line.size() > size_t(FenColumn)) {
      Position p;
      if (p.setFen(line.c_str() + FenColumn)) known.insert(p.hashKey);
    }
    line.clear();
  } while (c != EOF);
  std::fclose(f);
}

// doing is "opening" or "writing", direction "input" or "output".
void reportFileError(const char* doing, const char* direction, const std::string& name) {
  std::fprintf(stderr, "info string error %s the %s file %s\n", doing, direction, name.c_str());
  std::fflush(stderr);
}

void reportOpenError(const char* direction, const std::string& name) { reportFileError("opening", direction, name); }

// A line cut off by a kill is closed first, so that the next position
// starts a line of its own. Null for a class switched off (a name of three
// characters or fewer), and for a file that cannot be opened, which is told
// once here rather than at every position it would have taken.
std::FILE* openForAppending(const std::string& name) {
  if (name.size() <= 3) return nullptr;
  bool cut = false;
  if (std::FILE* in = openInputFile(name.c_str(), "r")) {
    cut = std::fseek(in, -1, SEEK_END) == 0 && std::fgetc(in) != '\n';
    std::fclose(in);
  }
  std::FILE* out = openStreamWithoutWaiting(name.c_str(), true);
  if (!out) reportOpenError("output", name);
  else if (cut) std::fputc('\n', out);
  return out;
}

// The control file is replaced whole, so a kill while it is written
// leaves the previous count. It is rewritten at every kept position; one
// that cannot be written is told once a run (told), and the positions are
// still kept.
void writeControl(const char* controlFile, const std::string& middlegame, const std::string& endgame, long games,
                  const std::string& pgn, bool& told) {
  OutputFile file;
  const char* failure = nullptr;
  if (!file.open(controlFile)) {
    failure = "opening";
  } else {
    std::fprintf(file.stream(), "%s\n%s\n%ld\n%s\n", middlegame.c_str(), endgame.c_str(), games, pgn.c_str());
    if (!file.commit()) failure = "writing";
  }
  if (!failure || told) return;
  told = true;
  reportFileError(failure, "output", controlFile);
}

}  // namespace

void extractTestPositions(const char* controlFile) { extractTestPositions(controlFile, TestPositionSettings()); }

void extractTestPositions(const char* controlFile, const TestPositionSettings& settings) {
  std::FILE* control = openInputFile(controlFile, "r");
  if (!control) {
    reportOpenError("input", controlFile);
    return;
  }
  const std::string middlegameName = readControlLine(control, true);
  const std::string endgameName = readControlLine(control, true);
  const long skip = std::strtol(readControlLine(control, false).c_str(), nullptr, 10);
  const std::string pgnName = readControlLine(control, true);
  // A file that fails while it is read would otherwise pass, with its
  // empty lines, for a control file naming nothing.
  const bool unreadable = std::ferror(control) != 0;
  std::fclose(control);
  if (unreadable) {
    reportOpenError("input", controlFile);
    return;
  }

  // The reader reports a game file it cannot open itself; the position
  // files are not created for a run that has no games.
  PgnLexer lexer(pgnName.c_str());
  if (!lexer.isOpen()) return;

  std::unordered_set<uint64_t> known;
  readKnownPositions(middlegameName, known);
  readKnownPositions(endgameName, known);
  std::FILE* middlegame = openForAppending(middlegameName);
  // The same name for both classes is told about once.
  std::FILE* endgame = !middlegame && endgameName == middlegameName ? nullptr : openForAppending(endgameName);

  bool controlTold = false;
  RandomGenerator& random = RandomGenerator::instance();
  std::vector<Move> moves;
  std::string fen;
  int result = UnknownResult;
  long number = 0;
  while (lexer.readNextGame(moves, nullptr, &result, &fen, nullptr, nullptr, -1)) {
    ++number;
    if (number <= skip || result == UnknownResult || moves.size() < size_t(MinimumPlies)) continue;
    std::printf("M:<%s> E:<%s>: Partie %6ld\n", middlegameName.c_str(), endgameName.c_str(), number);
    std::fflush(stdout);
    uint32_t r = random.range(0, 12);
    auto searcher = std::make_unique<Searcher>(settings.hashBytes);
    Game& game = searcher->game();
    if (fen.empty()) {
      game.setPosition(nullptr);
    } else if (!game.setFen(fen.c_str())) {
      // The moves belong to a position the set-up refused.
      continue;
    }

    size_t next = 0;
    while (next < moves.size()) {
      bool fits = true;
      for (uint32_t i = 0; i < r && next < moves.size(); ++i) {
        if (!isLegalMove(game.position, moves[next])) {
          fits = false;
          break;
        }
        game.playMove(moves[next++]);
      }
      // Moves that stop fitting (a FEN tag after moves) end the game.
      if (!fits) break;
      const int c = game.count;
      r = c < 6 ? random.range(1, 2) : random.range(1, 4);

      const Position& p = game.position;
      const int men = p.white.counts[0] + p.black.counts[0];
      if (men < 6 || c > 20) break;
      if (c > 10) continue;
      const int material = 3 * men + 6 * (p.white.counts[Queen] + p.black.counts[Queen]) +
                           2 * (p.white.counts[Rook] + p.black.counts[Rook]) -
                           2 * (p.white.counts[Pawn] + p.black.counts[Pawn]);
      const bool isEndgame = material < int(random.range(29, 42));
      std::FILE* out = isEndgame ? endgame : middlegame;
      if (!out) continue;
      if (!known.insert(p.hashKey).second) continue;

      searcher->startSearch(false);
      if (p.inCheck()) continue;
      int q = 0;
      if (!searcher->quietScore(0, &q)) continue;
      const int64_t k = int64_t(p.hashKey % 3001);
      if (q < -(k + 500) || q > k + 500) continue;

      searcher->setupRootMoves();
      if (searcher->rootMoveCount() == 0) break;
      TimeManager limits;
      limits.allocate(false, 1000000, 1000, 1, 0, int64_t(settings.nodes), 0, 0, false);
      limits.start();
      searcher->think(&limits);
      limits.stop();
      const int32_t x = std::clamp<int32_t>(searcher->score(), -ScoreLimit, ScoreLimit);
      if (x >= -1 && x <= 1) continue;

      const bool keep = (result == WhiteWins && x >= q) || (result == BlackWins && x <= q) ||
                        (result == Draw && int64_t(q) * q >= int64_t(x) * x);
      if (!keep) continue;
      writeControl(controlFile, middlegameName, endgameName, number, pgnName, controlTold);
      char text[128];
      game.toFen(text);
      std::fprintf(out, "%8ld%8ld %s\n", long(q), long(x), text);
      std::fflush(out);
    }
  }
  if (middlegame) std::fclose(middlegame);
  if (endgame) std::fclose(endgame);
}
