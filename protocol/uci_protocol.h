// The UCI command interpreter: sets up positions in the master searcher,
// starts and stops searches through the search controller, sets the
// options and runs the extension commands. Everything it reports goes
// through the output object: protocol lines through its line writer,
// problems through its diagnostic operation (shown only in debug mode).
#pragma once

#include <cstdint>

#include "protocol/book_command.h"
#include "protocol/command_handler.h"
#include "protocol/mat_command.h"

class EngineOutput;
class SearchController;
class Searcher;

class UciProtocol : public CommandHandler {
 public:
  static constexpr int MaxPerftDepth = 30;
  static constexpr int MaxFileName = 511;
  static constexpr int MaxOptionName = 29;
  // The largest hash, in megabytes, the Hash option and perft accept.
  static constexpr int64_t MaxHashMegabytes = 2047;

  UciProtocol(Searcher* searcher, EngineOutput* output, SearchController* controller, bool hiddenOptions);
  ~UciProtocol() override = default;
  UciProtocol(const UciProtocol&) = delete;
  UciProtocol& operator=(const UciProtocol&) = delete;

  void handleLine(const char* line) override;

  // Stops a running search without letting it print anything.
  void stopSilently();
  // Stops a running search the way "stop" does: it gives its final
  // information and its best move before this returns. chargeWait counts
  // the wait for it against the clock of a "go" that follows at once.
  void stopWithAnswer(bool chargeWait = false);

  // --- one handler per command word ---
  void printIdAndOptions();
  void setOption(const char* line);
  void newGame();
  void evalCommand();
  void position(const char* line);
  void go(const char* line);
  void quit();
  void perft(const char* line);
  void checkBook();
  void matCommand(const char* line);

  bool chess960() const { return chess960_ != 0; }
  MatCommand& mat() { return mat_; }
  // The BookFile value as last set.
  const char* bookFile() const { return bookFile_; }

 private:
  // Writes castling the way the interface expects it: under UCI_Chess960 as
  // the king taking its own rook, in standard chess as the king's two-square
  // step; never as "O-O".
  void applyCastlingStyle();
  // Hands the options that the search reads on its own thread to the
  // master, once no search runs.
  void applyDeferredOptions();
  // Tells a running search to stop and waits for its thread; the wait is
  // remembered for the clock of the next "go".
  void waitForSearchEnd();
  void diagnostic(const char* text, const char* argument);
  // Each gives back true when the line carried an acceptable value, which
  // it stores in value; otherwise it has given the diagnostic.
  bool checkValue(const char* line, const char* name, bool& value);
  bool fileNameValue(const char* line, const char* name, char* out);

  Searcher* searcher_;
  EngineOutput* output_;
  SearchController* controller_;
  uint8_t hiddenOptions_;
  uint8_t chess960_ = 0;
  char bookFile_[MaxFileName + 1] = "Brakken.opn";

  // Options whose values the running search reads; they reach the master
  // when no search runs, so no thread reads a half-written value.
  enum DeferredOption : uint8_t { DeferredTimeLogfile = 1, DeferredResign = 2, DeferredAlwaysClearHash = 4 };
  uint8_t deferredPending_ = 0;
  char deferredTimeLogfile_[MaxFileName + 1] = {};
  int32_t deferredResign_ = -7000;
  uint8_t deferredAlwaysClearHash_ = 0;

  // Time spent waiting for an earlier search to wind up (its helpers on a
  // busy machine) while the interface's clock already ran for the next
  // "go": charged to that search's clock when the wait ended shortly
  // before it.
  static constexpr int64_t StopWaitChargeWindowMs = 1000;
  int64_t stopWaitMs_ = 0;
  int64_t stopWaitEnd_ = 0;

  // From the first "book add" until a book is written or "book delete".
  BookStatsHolder bookStats_;

  // The material statistics of "mat", kept between its sub-commands.
  MatCommand mat_;
};
