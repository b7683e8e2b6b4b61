#include "protocol/xboard_output.h"

#include <cstdio>
#include <cstring>

#include "board/legality.h"
#include "board/notation.h"
#include "common/input_file.h"
#include "protocol/uci_protocol.h"
#include "protocol/xboard_adapter.h"
#include "search/searcher.h"
#include "search/time_manager.h"

namespace {

constexpr int XboardMateBase = 467233;  // 500000 - p becomes 32767 - p
constexpr const char* BookReadError = "Opening book read error";
constexpr const char* DefaultBookFile = "Brakken.opn";

// Copies at most size - 1 characters and terminates.
void copyText(char* out, size_t size, const char* text) {
  size_t n = 0;
  if (text)
    for (; n + 1 < size && text[n]; ++n) out[n] = text[n];
  out[n] = 0;
}

}  // namespace

int xboardScore(int score) {
  if (score > MateThreshold) return score - XboardMateBase;
  if (score < -MateThreshold) return score + XboardMateBase;
  if (score > 1) return (score + 9) / 10;
  if (score < -1) return (score - 9) / 10;
  return 0;
}

bool xboardMoveText(const Position& position, Move move, char* buffer) {
  Position p = position;
  // Castling in Chess960 is "O-O" for xboard, whatever way the set-up
  // wrote the castling rights.
  p.castlingAsFiles = 0;
  if (!isLegalMove(p, move)) {
    buffer[0] = 0;
    return false;
  }
  formatMove(p, move, Coordinate, buffer);
  return true;
}

XboardOutput::XboardOutput(Searcher* searcher, TimeManager* clock) : searcher_(searcher), clock_(clock) {
  pthread_mutex_init(&textMutex_, nullptr);
  pthread_mutex_init(&lineMutex_, nullptr);
}

XboardOutput::~XboardOutput() {
  pthread_mutex_destroy(&lineMutex_);
  pthread_mutex_destroy(&textMutex_);
}

void XboardOutput::writeLine(const char* text) {
  pthread_mutex_lock(&lineMutex_);
  if (!silencedForGood()) EngineOutput::writeLine(text);
  pthread_mutex_unlock(&lineMutex_);
}

void XboardOutput::setSilent(bool on) {
  pthread_mutex_lock(&lineMutex_);
  EngineOutput::setSilent(on);
  pthread_mutex_unlock(&lineMutex_);
}

void XboardOutput::silenceForGood() {
  pthread_mutex_lock(&lineMutex_);
  final_.store(1, std::memory_order_relaxed);
  EngineOutput::setSilent(true);
  pthread_mutex_unlock(&lineMutex_);
}

void XboardOutput::writeAnswer(const char* text) {
  // Every line of this output passes the line mutex, so the writer may be
  // called directly here.
  pthread_mutex_lock(&lineMutex_);
  if (!silencedForGood()) emit(text);
  pthread_mutex_unlock(&lineMutex_);
}

void XboardOutput::writeEcho(const char* text) {
  // A "ping" answered before "quit" was asked before it too: its "pong" is
  // owed even when the output has been silenced for good.
  pthread_mutex_lock(&lineMutex_);
  emit(text);
  pthread_mutex_unlock(&lineMutex_);
}

void XboardOutput::answerDiagnostic(const char* text, const char* argument) {
  char line[1024];
  std::snprintf(line, sizeof line, "Error (%s): %s", text, argument ? argument : "internal error");
  writeAnswer(line);
}

void XboardOutput::snapshotPosition() { snapshot_ = searcher_->position(); }

void XboardOutput::printPv(Searcher& searcher, int score, int, int) {
  Move pv[Searcher::MaxPvLength];
  int length = 0;
  searcher.extractPv(&length, pv, nullptr);
  if (length < 0) length = 0;
  if (length > Searcher::MaxPvLength) length = Searcher::MaxPvLength;
  depth_.store(searcher.iteration() + 1, std::memory_order_relaxed);
  threads_.store(searcher.threadCount(), std::memory_order_relaxed);
  if (!post()) return;

  const int64_t elapsed = clock_->sinceStart();
  if (!searcher.firstIteration() && elapsed < RepeatPvAfterMs && isRepeatedPv(pv, length, score)) return;
  rememberPv(pv, length, score);

  char ponder[TextSize];
  pthread_mutex_lock(&textMutex_);
  std::memcpy(ponder, ponderText_, TextSize);
  pthread_mutex_unlock(&textMutex_);

  char line[800];
  const double nodes = double(searcher.nodes()) * double(searcher.threadCount());
  int used = std::snprintf(line, sizeof line, "%d %d %.0f %.0f %s", searcher.iteration() + 1, xboardScore(score),
                           double(elapsed / 10), nodes, ponder);
  if (used < 0 || size_t(used) >= sizeof line) used = int(std::strlen(line));

  Position p = snapshot_;
  p.castlingAsFiles = 0;
  char first[TextSize] = {};
  for (int i = 0; i < length; ++i) {
    char text[16];
    // A move that does not fit (the table may hand out a stale one) ends
    // the variation rather than being written wrongly.
    if (!xboardMoveText(p, pv[i], text)) break;
    const size_t n = std::strlen(text);
    if (size_t(used) + n + 2 >= sizeof line) break;
    line[used++] = ' ';
    std::memcpy(line + used, text, n + 1);
    used += int(n);
    if (i == 0) copyText(first, sizeof first, text);
    UndoRecord undo;
    undo.save(p);
    if (!p.makeMove(pv[i], undo)) break;
  }
  if (analyzing() && first[0]) {
    pthread_mutex_lock(&textMutex_);
    copyText(hint_, sizeof hint_, first);
    pthread_mutex_unlock(&textMutex_);
  }
  writeLine(line);
}

void XboardOutput::printCurrentMove(Move move, int number) {
  currentMoveNumber_.store(number, std::memory_order_relaxed);
  rootMoves_.store(searcher_->rootMoveCount(), std::memory_order_relaxed);
  char text[16];
  xboardMoveText(snapshot_, move, text);
  pthread_mutex_lock(&textMutex_);
  copyText(currentMove_, sizeof currentMove_, text);
  pthread_mutex_unlock(&textMutex_);
}

void XboardOutput::printBestMove(const Move* best, const Move* ponder) {
  if (analyzing() || isSilent() || !adapter_) return;
  // The searcher's own fields are read here, on the search thread that
  // wrote them.
  adapter_->onSearchResult(best, ponder, searcher_->score(), searcher_->rootMoveCount(), searcher_->resignThreshold());
}

void XboardOutput::diagnostic(const char* text, const char* argument) {
  if (!std::strcmp(text, BookReadError) && uci_ && !std::strcmp(uci_->bookFile(), DefaultBookFile)) {
    // Playing without the default book is a normal set-up, not an error
    // to show the user at every game: said once, as information. A book
    // file that exists but cannot be read stays an error.
    if (std::FILE* f = openInputFile(DefaultBookFile, "rb")) {
      std::fclose(f);
    } else {
      if (!bookNoticeGiven_) infoString("no opening book", DefaultBookFile);
      bookNoticeGiven_ = 1;
      return;
    }
  }
  char line[1024];
  std::snprintf(line, sizeof line, "Error (%s): %s", text, argument ? argument : "internal error");
  writeLine(line);
}

void XboardOutput::infoString(const char* text, const char* argument) {
  char line[1024];
  if (argument) std::snprintf(line, sizeof line, "Info: %s %s", text, argument);
  else std::snprintf(line, sizeof line, "Info: %s", text);
  writeLine(line);
}

void XboardOutput::setAnalyzing(bool on) {
  if (on) {
    pthread_mutex_lock(&textMutex_);
    hint_[0] = 0;
    currentMove_[0] = 0;
    pthread_mutex_unlock(&textMutex_);
    currentMoveNumber_.store(0, std::memory_order_relaxed);
    analysisStart_.store(nowMs(), std::memory_order_relaxed);
  }
  analyzing_.store(on ? 1 : 0, std::memory_order_relaxed);
}

void XboardOutput::printAnalysisStatus() {
  if (!analyzing()) return;
  char move[sizeof currentMove_];
  pthread_mutex_lock(&textMutex_);
  std::memcpy(move, currentMove_, sizeof move);
  pthread_mutex_unlock(&textMutex_);
  const int64_t elapsed = nowMs() - analysisStart_.load(std::memory_order_relaxed);
  const double nodes = double(searcher_->nodes()) * double(threads_.load(std::memory_order_relaxed));
  const int rootMoves = rootMoves_.load(std::memory_order_relaxed);
  char line[128];
  std::snprintf(line, sizeof line, "stat01:%13.0f %16.0f %6d %3d %3d %s", double(elapsed) * 0.1, nodes,
                depth_.load(std::memory_order_relaxed),
                rootMoves - currentMoveNumber_.load(std::memory_order_relaxed) + 1, rootMoves, move);
  writeAnswer(line);
}

bool XboardOutput::printHint() {
  char hint[TextSize];
  pthread_mutex_lock(&textMutex_);
  std::memcpy(hint, hint_, TextSize);
  pthread_mutex_unlock(&textMutex_);
  if (!hint[0]) return false;
  char line[20];
  std::snprintf(line, sizeof line, "Hint: %s", hint);
  writeAnswer(line);
  return true;
}

void XboardOutput::setPonderText(const char* text) {
  pthread_mutex_lock(&textMutex_);
  copyText(ponderText_, sizeof ponderText_, text);
  pthread_mutex_unlock(&textMutex_);
}
