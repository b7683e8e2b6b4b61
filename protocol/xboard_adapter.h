// The xboard front end: translates each xboard command into answers and
// UCI command texts for the inner UCI interpreter, which a worker thread
// runs from the command queue. The adapter keeps the game as xboard sees
// it, the clock, the modes (force, analyse, ponder) and the draw and
// resignation state; the engine's best move comes back through the xboard
// output and is played here.
//
// Every search the adapter starts carries a number; a best move is played
// only when it comes from the search the adapter still waits for, so a
// search stopped for "new", "force", "setboard", "undo", "remove" or
// "result" can never have its move written or played, however the threads
// interleave.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <string>
#include <vector>

#include "board/game.h"
#include "protocol/command_handler.h"
#include "protocol/command_queue.h"
#include "protocol/xboard_clock.h"

class UciProtocol;
class XboardOutput;

class XboardAdapter : public CommandHandler {
 public:
  static constexpr size_t MoveTextWidth = 6;
  static constexpr size_t MaxFenLength = 255;
  static constexpr size_t MaxNameLength = 200;
  // A text starting with this word is written by the queue worker itself
  // (a "pong" that must follow every earlier command).
  static constexpr const char* EchoWord = "echo ";
  // Room in the command queue that every command waits for before it takes
  // the adapter's lock: the most texts one command posts (nine for "new"
  // while analysing) and the two of a ponder search that a best move may
  // post meanwhile, at most two of them positions too long for a small
  // slot. A text that finds no room is lost, and waiting for room under
  // the lock could wait for a search that needs the lock for its move.
  static constexpr int CommandRoom = 16;

  XboardAdapter(UciProtocol* inner, XboardOutput* output);
  ~XboardAdapter() override;
  XboardAdapter(const XboardAdapter&) = delete;
  XboardAdapter& operator=(const XboardAdapter&) = delete;

  void handleLine(const char* line) override;

  // The end of a search (search thread, from the xboard output): plays and
  // writes the move when it is the answer the adapter waits for. score,
  // rootMoves and resignThreshold are the master searcher's.
  void onSearchResult(const Move* best, const Move* ponder, int score, int rootMoves, int resignThreshold);

  // Closes the command queue: refuses further texts, runs the queued
  // ones, joins the worker (the first step of the teardown).
  void closeQueue() { queue_.close(); }

  // For tests: the moves played, six characters each.
  std::string moveList();

 private:
  // The queue's target: runs echo texts itself, passes the rest on.
  class QueueTarget : public CommandHandler {
   public:
    QueueTarget(UciProtocol* inner, XboardOutput* output) : inner_(inner), output_(output) {}
    void handleLine(const char* line) override;

   private:
    UciProtocol* inner_;
    XboardOutput* output_;
  };

  // False when the text was not queued.
  bool post(const char* text, uint64_t tag = 0);
  // A real search (not pondering, not analysing) is under way and its
  // move will be written.
  bool thinkingOnOwnMove() const;
  // Queues the held pongs behind what is already queued.
  void releaseHeldPongs();
  void postPosition(const char* ponderText);
  void startThinking(const char* ponderText);
  void stopThinking();
  void restartAnalysis();
  void replayMoves();
  // Answers the handshake and collects the "setoption " lines of the
  // initialisation file, which the caller posts without the lock and
  // follows with "feature done=1". False when the version is refused.
  bool protover(const char* line, std::vector<std::string>& iniLines);
  void newGame();
  void userMove(const char* line);
  void setBoard(const char* line);
  void undo();
  void remove();
  void analyze();
  void exitAnalysis();
  void hint();
  // After the engine's move has been written: the clock, the game record,
  // the result or resignation line. False when the game goes no further
  // (ended, or resigned).
  bool onEngineMove(Move best, Move ponder, int score, int rootMoves, int resignThreshold);
  // Starts the ponder search on the expected ponder move, when pondering
  // is on and the time control leaves room for it.
  void startPondering();
  // Writes the result line when the game on the adapter's board has ended.
  bool reportGameEnd();
  bool checkDrawOffer(int score, int rootMoves);
  bool checkResign(int resignThreshold);
  void resetDrawHistory();
  // The coordinate text of a move on the adapter's board, padded to six.
  bool paddedMoveText(Move move, char* out);
  int pliesPlayed() const { return int(moveList_.size() / MoveTextWidth); }
  void markVariant();
  // How a setboard FEN's castling field is read in the current variant.
  FenCastling fenCastling() const;

  pthread_mutex_t mutex_;
  UciProtocol* inner_;
  XboardOutput* output_;
  QueueTarget target_;
  CommandQueue queue_;
  Game game_;
  Move expectedPonder_ = 0;
  std::string startText_ = "startpos";
  std::string moveList_;
  XboardClock clock_;
  int64_t moveStart_ = 0;
  uint8_t force_ = 0;
  uint8_t analyse_ = 0;
  uint8_t ponder_ = 0;
  uint8_t pondering_ = 0;
  uint8_t chess960_ = 0;
  int32_t protocolVersion_ = 1;
  // Draw and resignation state: the last four scores, newest first.
  int32_t scores_[4] = {};
  int32_t scoreCount_ = 0;
  int32_t ownMoves_ = 0;
  uint8_t drawOffered_ = 0;
  uint8_t sideFlag_ = 0;
  // The search bookkeeping: searchCount_ numbers every search posted,
  // awaited_ is the number whose move is wanted (0: none), searchMayRun_
  // says whether a search may still be running.
  uint64_t searchCount_ = 0;
  uint64_t awaited_ = 0;
  uint8_t searchMayRun_ = 0;
  uint8_t quitting_ = 0;
  // The answers to pings that came while the engine thought on its own
  // move, one line each: written after that move, or queued behind the
  // stop that ends the search without one.
  std::string heldPongs_;
};
