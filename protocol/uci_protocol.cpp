#include "protocol/uci_protocol.h"

#include <cstdio>
#include <cstring>

#include "board/attack_tables.h"
#include "board/notation.h"
#include "protocol/command_text.h"
#include "protocol/engine_output.h"
#include "search/search_controller.h"
#include "search/searcher.h"

namespace {

// The third to sixth ranks: a position with men there has left the opening.
constexpr Bitboard MiddleRanks = 0x0000FFFFFFFF0000ULL;

}  // namespace

UciProtocol::UciProtocol(Searcher* searcher, EngineOutput* output, SearchController* controller, bool hiddenOptions)
    : searcher_(searcher), output_(output), controller_(controller), hiddenOptions_(hiddenOptions ? 1 : 0) {}

void UciProtocol::diagnostic(const char* text, const char* argument) { output_->diagnostic(text, argument); }

void UciProtocol::handleLine(const char* line) {
  // Options kept back while a search ran reach the searcher as soon as
  // it has ended, whatever ended it.
  if (deferredPending_) applyDeferredOptions();
  char word[16];
  if (std::sscanf(line, "%15s", word) != 1) return;
  if (!std::strcmp(word, "uci")) {
    printIdAndOptions();
  } else if (!std::strcmp(word, "debug")) {
    output_->setDebug(std::strstr(line, "off") == nullptr);
  } else if (!std::strcmp(word, "isready")) {
    output_->writeLine("readyok");
  } else if (!std::strcmp(word, "setoption")) {
    setOption(line);
  } else if (!std::strcmp(word, "ucinewgame")) {
    newGame();
  } else if (!std::strcmp(word, "position")) {
    position(line);
  } else if (!std::strcmp(word, "go")) {
    go(line);
  } else if (!std::strcmp(word, "stop")) {
    stopWithAnswer();
  } else if (!std::strcmp(word, "ponderhit")) {
    controller_->ponderHit();
  } else if (!std::strcmp(word, "quit")) {
    quit();
  } else if (!std::strcmp(word, "perft")) {
    perft(line);
  } else if (!std::strcmp(word, "mat")) {
    matCommand(line);
  } else if (!std::strcmp(word, "eval")) {
    evalCommand();
  } else if (!std::strcmp(word, "book")) {
    stopSilently();
    runBookCommand(bookStats_, line);
  } else if (!std::strcmp(word, "testpos")) {
    // Its searches would run beside the master's and share its table; a
    // running search ends first, with its answer, which the interface
    // waits for.
    stopWithAnswer();
    runTestPositionCommand(line);
  }
  // Any other word is ignored without an answer.
}

void UciProtocol::waitForSearchEnd() {
  const int64_t before = nowMs();
  controller_->stop();
  const int64_t after = nowMs();
  if (after > before) {
    if (after - stopWaitEnd_ > StopWaitChargeWindowMs) stopWaitMs_ = 0;
    stopWaitMs_ += after - before;
    stopWaitEnd_ = after;
  }
}

void UciProtocol::stopSilently() {
  const bool wasSilent = output_->isSilent();
  output_->setSilent(true);
  waitForSearchEnd();
  output_->setSilent(wasSilent);
  applyDeferredOptions();
}

void UciProtocol::stopWithAnswer(bool chargeWait) {
  if (chargeWait) waitForSearchEnd();
  else controller_->stop();
  applyDeferredOptions();
}

void UciProtocol::applyDeferredOptions() {
  if (!deferredPending_ || controller_->isRunning()) return;
  if (deferredPending_ & DeferredTimeLogfile) searcher_->setTimeLogfile(deferredTimeLogfile_);
  if (deferredPending_ & DeferredResign) searcher_->setResignThreshold(deferredResign_);
  if (deferredPending_ & DeferredAlwaysClearHash) searcher_->setAlwaysClearHash(deferredAlwaysClearHash_ != 0);
  deferredPending_ = 0;
}

// Prints the static evaluation of the current position: the score in
// centipawns and the values in milli-pawns with the material part. The
// search shares the evaluator, so a running search is stopped first; it
// still gives its best move, which the interface waits for.
void UciProtocol::evalCommand() {
  stopWithAnswer();
  Evaluator& evaluator = searcher_->evaluator();
  const Position& p = searcher_->game().position;
  long v = evaluator.evaluate(p);
  long m = v - evaluator.evaluateWithoutMaterial(p);
  if (m == 1 || m == -1) m = 0;
  if (v > 0) v += 9;
  else if (v < 0) v -= 9;
  char text[200];
  std::snprintf(text, sizeof text, "info score cp %ld", v / 10);
  output_->writeLine(text);
  std::snprintf(text, sizeof text, "info string value %ld mat %ld", v, m);
  output_->writeLine(text);
}

// The sub-commands that draw from the random generator the book probe of a
// search uses, and "learn", which never returns, stop a running search
// first, with its answer; the others only touch the statistics and run
// beside it.
void UciProtocol::matCommand(const char* line) {
  if (!MatCommand::runsBesideASearch(line)) stopWithAnswer();
  mat_.run(line);
}

void UciProtocol::newGame() {
  stopSilently();
  checkBook();
}

void UciProtocol::checkBook() {
  // A missing book file is said once per name, a malformed one every time.
  // Only a diagnostic the interface is shown counts as said, so that the
  // user who turns debug on to learn why the book is not used is told.
  if (!searcher_->openBook() && output_->showsDiagnostics() && searcher_->bookFailureWorthReporting())
    diagnostic("Opening book read error", nullptr);
}

void UciProtocol::applyCastlingStyle() {
  Position& p = searcher_->game().position;
  if (chess960_) {
    p.chess960 = 1;
    p.castlingAsFiles = 1;
  } else {
    // A position with Chess960 castling geometry has no two-square form
    // that could not be mistaken for a king step; it keeps the king taking
    // its rook.
    p.castlingAsFiles = p.chess960;
  }
}

void UciProtocol::position(const char* line) {
  stopSilently();
  Game& game = searcher_->game();
  const char* text = skipWhiteSpace(restAfter(line, 9));
  bool bookPosition = false;
  if (!std::strncmp(text, "startpos", 8)) {
    game.setPosition(nullptr);
    bookPosition = true;
  } else if (!std::strncmp(text, "Chess960", 8)) {
    const char* s = skipWhiteSpace(text + 8);
    if (*s == '+') ++s;
    if (*s < '0' || *s > '9') {
      diagnostic("'position Chess960' ohne Nummer", nullptr);
      return;
    }
    // Only the number modulo 960 matters, so it is read that way and any
    // length of digits fits.
    unsigned n = 0;
    for (; *s >= '0' && *s <= '9'; ++s) n = (n * 10 + unsigned(*s - '0')) % 960;
    game.setChess960(n);
    bookPosition = true;
  } else {
    const char* fen = std::strstr(text, "fen");
    if (!fen) {
      diagnostic("'position' ohne 'startpos' und ohne 'fen'", nullptr);
      return;
    }
    const char* fenText = skipWhiteSpace(restAfter(fen, 4));
    // A game of standard chess has only the standard castlings: rights
    // the board cannot use there are dropped, never read as Chess960.
    if (!game.setFen(fenText, chess960_ ? FenCastling::Detect : FenCastling::StandardChess)) {
      // The moves that follow belong to the refused position; the board
      // goes back to the start and the output learns of it, so that a
      // following search writes its moves in the right position.
      game.setPosition(nullptr);
      applyCastlingStyle();
      output_->snapshotPosition();
      diagnostic("position: Ung\xfcltiger FEN-String: ", fenText);
      return;
    }
    const Position& p = game.position;
    bookPosition = AttackTables::popCount(p.occupied) == 32 && !(p.occupied & MiddleRanks);
  }
  applyCastlingStyle();

  int played = 0;
  if (const char* moves = std::strstr(text, "moves")) {
    const char* s = restAfter(moves, 6);
    for (;;) {
      s = skipWhiteSpace(s);
      if (!*s) break;
      char token[8];
      const size_t length = cutMoveToken(s, token);
      Move move;
      if (!parseMove(game.position, token, move, CoordinateText)) {
        diagnostic("position: Ung\xfcltiger Zug: ", token);
        output_->snapshotPosition();
        return;
      }
      game.playMove(move);
      ++played;
      s += length;
    }
  }
  output_->snapshotPosition();
  if (bookPosition && played <= 1) checkBook();
}

void UciProtocol::go(const char* line) {
  // The controller holds one search: a running one ends first, and the
  // interface still gets its answer, one bestmove for every "go".
  stopWithAnswer(true);

  const char* filter = nullptr;
  bool exclude = false;
  if (const char* at = std::strstr(line, "searchmoves")) {
    filter = restAfter(at, 12);
  } else if (const char* at2 = std::strstr(line, "excludemoves")) {
    filter = restAfter(at2, 13);
    exclude = true;
  }
  searcher_->setupRootMoves(filter, exclude);

  const bool ponder = std::strstr(line, "ponder") != nullptr;
  const bool white = searcher_->game().position.whiteToMove != 0;
  // A "go" that names no clock for the side to move is told apart from an
  // empty clock, which must be answered at once.
  int64_t time = TimeManager::kNoClock, increment = 0;
  if (const char* at = std::strstr(line, white ? "wtime" : "btime")) time = readClockValue(restAfter(at, 6));
  if (const char* at = std::strstr(line, white ? "winc" : "binc")) increment = readClockValue(restAfter(at, 5));
  // Counts are 16-bit values of the search; larger ones saturate there.
  auto shortValue = [line](const char* keyword) {
    int64_t v = 0;
    return readNumberAfter(line, keyword, v) ? int(clampValue(v, INT16_MIN, INT16_MAX)) : 0;
  };
  const int movesToGo = shortValue("movestogo");
  const int depth = shortValue("depth");
  const int mate = shortValue("mate");
  int64_t nodes = 0, moveTime = 0;
  if (const char* at = std::strstr(line, "nodes")) nodes = readClockValue(restAfter(at, 6));
  if (const char* at = std::strstr(line, "movetime")) moveTime = readClockValue(restAfter(at, 9));
  const bool infinite = std::strstr(line, "infinite") != nullptr;

  // Waits for an earlier search just before this "go" came out of the
  // interface's clock.
  if (nowMs() - stopWaitEnd_ <= StopWaitChargeWindowMs) controller_->clock()->chargeBeforeStart(stopWaitMs_);
  stopWaitMs_ = 0;
  controller_->start(ponder, time, increment, movesToGo, depth, nodes, mate, moveTime, infinite);
}

void UciProtocol::quit() {
  output_->setSilent(true);
  controller_->setQuit();
  controller_->stop();
}
