// The output object of xboard mode: thinking lines ("post"), the analysis
// status line, hints, "Info:" and "Error (" lines. The engine's best move
// goes to the xboard adapter, which writes the "move" line and keeps the
// game, the clock and the pondering going. The search thread reaches the
// adapter only through here.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "board/position.h"
#include "protocol/engine_output.h"

class Searcher;
class TimeManager;
class XboardAdapter;
class UciProtocol;

// A search score in xboard units: centipawns, a mate in p plies as
// 32767 - p, being mated in p plies as -(32767 - p).
int xboardScore(int score);

// Writes the move of the position as xboard expects it (coordinates; in
// Chess960 castling as "O-O" / "O-O-O") into buffer (at least 16 bytes).
// False when the move is not legal there.
bool xboardMoveText(const Position& position, Move move, char* buffer);

class XboardOutput : public EngineOutput {
 public:
  // A repeated variation is shown again once this much of the search has
  // passed.
  static constexpr int64_t RepeatPvAfterMs = 900;
  static constexpr size_t TextSize = 7;  // six characters and the end

  XboardOutput(Searcher* searcher, TimeManager* clock);

  void setAdapter(XboardAdapter* adapter) { adapter_ = adapter; }
  // The UCI side whose BookFile option tells whether a book problem is
  // only the default book missing.
  void setUciProtocol(const UciProtocol* uci) { uci_ = uci; }

  void printPv(Searcher& searcher, int score, int alpha, int beta) override;
  void printCurrentMove(Move move, int number) override;
  void printMultiPv(Searcher&, int, Move, int, int, int) override {}
  void diagnostic(const char* text, const char* argument) override;
  // Error lines are written whatever the debug mode.
  bool showsDiagnostics() const override { return !isSilent(); }
  void infoString(const char* text, const char* argument) override;
  void printBestMove(const Move* best, const Move* ponder) override;
  void printStatus() override {}
  void snapshotPosition() override;

  // Lines and the silent flag share one lock, so once the output has been
  // muted no line is half written and none follows.
  void writeLine(const char* text) override;
  void setSilent(bool on) override;
  // Mutes the output for the rest of the run ("quit"); no later unmuting
  // (a queued "NoOutput false") lets a line out.
  void silenceForGood();
  // The adapter's own answers (features, pong, "move", results, errors of
  // commands): written even while a silent stop mutes the search, since
  // that mute runs on the worker at a time the command thread cannot see;
  // only "quit" ends them.
  void writeAnswer(const char* text);
  // The "pong" of a queued "ping": written even after silenceForGood.
  void writeEcho(const char* text);
  void answerDiagnostic(const char* text, const char* argument);
  bool silencedForGood() const { return final_.load(std::memory_order_relaxed) != 0; }

  void setPost(bool on) { post_.store(on ? 1 : 0, std::memory_order_relaxed); }
  bool post() const { return post_.load(std::memory_order_relaxed) != 0; }
  // Analysis on: clears the hint and the current move and starts the
  // analysis clock.
  void setAnalyzing(bool on);
  bool analyzing() const { return analyzing_.load(std::memory_order_relaxed) != 0; }
  // The "stat01:" line, only while analysing.
  void printAnalysisStatus();
  // "Hint: " with the first move of the last thinking line; false when
  // there is none.
  bool printHint();
  // The move being pondered on (at most six characters; null for none);
  // thinking lines start with it.
  void setPonderText(const char* text);

 private:
  Searcher* searcher_;
  TimeManager* clock_;
  XboardAdapter* adapter_ = nullptr;
  const UciProtocol* uci_ = nullptr;
  Position snapshot_;
  std::atomic<uint8_t> post_{1};
  std::atomic<uint8_t> analyzing_{0};
  std::atomic<uint8_t> final_{0};
  uint8_t bookNoticeGiven_ = 0;  // worker thread only
  // What the analysis status line shows, recorded on the search thread.
  std::atomic<int32_t> currentMoveNumber_{0};
  std::atomic<int32_t> depth_{0};
  std::atomic<int32_t> rootMoves_{0};
  std::atomic<int32_t> threads_{1};
  std::atomic<int64_t> analysisStart_{0};
  // Guards the three texts below (set and read on different threads).
  pthread_mutex_t textMutex_;
  char hint_[TextSize] = {};
  char ponderText_[TextSize] = {};
  char currentMove_[22] = {};
  // Taken around every line and every change of the silent flag.
  pthread_mutex_t lineMutex_;

 public:
  ~XboardOutput() override;
};
