// The complete state of one search thread: the root game, the per-ply
// search stack, the root moves, history and killers, a private evaluator,
// the best-move-change predictor, the search options and the flags other
// threads steer it with. All searchers share one transposition table.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "board/game.h"
#include "board/move_list.h"
#include "eval/evaluator.h"
#include "board/history_table.h"
#include "search/move_change_net.h"
#include "search/opening_source.h"
#include "search/search_constants.h"
#include "search/search_limits.h"
#include "search/search_listener.h"
#include "search/transposition_table.h"

struct SearchStackEntry {
  Move move = 0;      // low 16 bits 0 while a null move is searched
  Move bestMove = 0;  // after a null move at the parent: the opponent's threat
  uint64_t key = 0;
  int32_t staticEval = 0;
  int32_t movesSearched = 0;  // -1 while a null move is searched from here
  int16_t extension = 0;      // eighths of a ply
  uint8_t reduced = 0;        // searched with a late-move reduction
  KillerSlot killers[4] = {{0, EmptyKillerScore}, {0, EmptyKillerScore}, {0, EmptyKillerScore}, {0, EmptyKillerScore}};
  UndoRecord undo;

  void clear();
};

struct RootMove {
  Move move = 0;
  int32_t score = 0;
  double nodeShare = 0;
  uint8_t raised = 0;
};

struct ScoredMove {
  Move move = 0;
  int32_t score = 0;
};

class Searcher {
 public:
  static constexpr int StackSize = 103;
  static constexpr int MaxRootMoves = 230;
  static constexpr int MaxMultiPv = 255;
  static constexpr int MoveStackSize = 18000;
  static constexpr int MaxPly = 99;
  static constexpr int MaxPvLength = 100;

  // The master: a transposition table of ttBytes bytes of its own.
  explicit Searcher(size_t ttBytes);
  // A helper sharing the master's table, refreshed from the master.
  Searcher(Searcher* master, int threadIndex);
  ~Searcher();
  Searcher(const Searcher&) = delete;
  Searcher& operator=(const Searcher&) = delete;

  // --- refresh and options ---
  void copyFrom(const Searcher& master);
  void resetOptions();
  bool setOwnBook(bool on);
  bool setMultiPv(int lines);
  void setTimeLogfile(const char* name);
  bool resizeHash(size_t bytes);
  void setAlwaysClearHash(bool on) { alwaysClearHash_ = on; }
  void setResignThreshold(int milliPawns) { resignThreshold_ = milliPawns; }
  void setThreadCount(int n) { threadCount_ = n; }
  void setListener(SearchListener* l) { listener_ = l ? l : &nullListener_; }
  SearchListener* listener() const { return listener_; }

  // --- opening book and forced lines (master only) ---
  // Takes ownership of the book the front end built for this searcher.
  void setBook(OpeningBook* b) { book_.reset(b); }
  // Names the book file without reading it.
  bool setBookFile(const char* name);
  // Reloads the book with OwnBook on, empties it with OwnBook off; false
  // when the book could not be read.
  bool openBook();
  // After a failed openBook: whether the failure is worth a report.
  bool bookFailureWorthReporting();
  // The forced lines asked before the book; not owned, may be null.
  void setForcedLineSource(OpeningSource* source) { forcedLines_ = source; }

  // --- flags, set from other threads ---
  void startSearch(bool ponder);
  void requestStop();
  void ponderHit();
  // The wait think() ends with, offered to callers that run the search
  // themselves; the engine's own driver does not need it.
  void waitWhilePondering() const;
  bool stopped() const { return stop_.load(std::memory_order_relaxed) != 0; }
  bool pondering() const { return pondering_.load(std::memory_order_relaxed) != 0; }

  // --- root moves and results ---
  // The legal root moves, optionally only (or all but) those whose
  // coordinate text occurs in filter.
  void setupRootMoves(const char* filter = nullptr, bool exclude = false);
  void findPonderMove();
  // Runs the search under the given limits (null: keep the current ones).
  // False when it ended by its stop flag.
  bool think(SearchLimits* limits);
  // The principal variation starting with first (null: the best move),
  // as clients are shown it: it ends with the move after which the game
  // would be over by threefold repetition or the fifty-move rule.
  void extractPv(int* length, Move* pv, const Move* first);

  // --- the search itself ---
  int searchRoot(SideState& us, SideState& them, int depth);
  void orderRootMoves();
  int search(SideState& us, SideState& them, int alpha, int beta, int depth);
  int quiesce(SideState& us, SideState& them, int alpha, int beta, int qsDepth);
  bool quietScore(int width, int* score);
  int childDepth(int depth, SearchStackEntry& entry);
  void advancedPawnBonus(SearchStackEntry& entry, const SideState& us, const SideState& them);
  bool tryTranspositionCutoff(SideState& us, SideState& them, int beta, MoveList& list,
                              InProgressSet* inProgress, int childDepth);
  // A full-window presearch of every move that puts the best one first;
  // kept as a move-ordering aid for experiments, the search does not use it.
  void searchMoveList(SideState& us, SideState& them, MoveList& list, int alpha, int beta, int depth);
  bool findQueenMate(const SideState& us, const SideState& them, Move* out) const;
  bool findMateInOne(const SideState& us, const SideState& them, Move* out) const;
  bool findMate(int pieceType, Bitboard candidates, int target, Bitboard escapes, Move* out) const;
  // Both detectors in the order the search runs them, for callers outside
  // the search; the search inlines the same test.
  bool findAnyMateInOne(const SideState& us, const SideState& them, Move* out) const;
  int hangingValue(const SideState& us, const SideState& them) const;

  // --- accessors for the front end ---
  // The root game; the front end sets positions on it between searches.
  Game& game() { return game_; }
  const Game& game() const { return game_; }
  Position& position() { return game_.position; }
  Evaluator& evaluator() { return evaluator_; }
  TranspositionTable& transpositionTable() { return *tt_; }
  uint64_t nodes() const { return nodes_.load(std::memory_order_relaxed); }
  int rootMoveCount() const { return rootMoveCount_; }
  const RootMove& rootMove(int i) const { return rootMoves_[i]; }
  int resultCount() const { return resultCount_; }
  const ScoredMove& result(int i) const { return results_[i]; }
  SearchLimits* limits() const { return limits_.load(std::memory_order_relaxed); }
  const SearchStackEntry& stackEntry(int ply) const { return stack_[ply + 2]; }

  // The results of the search, read on the search thread (by the listener)
  // or after it has ended.
  // Finished iterations: also the depth in plies of the one being searched.
  int iteration() const { return iteration_; }
  int selectiveDepth() const { return selectiveDepth_; }
  // The score of the last finished iteration and the current root window.
  int score() const { return score_; }
  int rootAlpha() const { return rootAlpha_; }
  int rootBeta() const { return rootBeta_; }
  bool firstIteration() const { return firstIteration_ != 0; }
  Move bestMove() const { return bestMove_; }
  Move ponderMove() const { return ponderMove_; }

  // The options, as set.
  bool ownBook() const { return ownBook_ != 0; }
  bool alwaysClearHash() const { return alwaysClearHash_ != 0; }
  const char* timeLogfile() const { return timeLogfile_; }
  int resignThreshold() const { return resignThreshold_; }
  int threadCount() const { return threadCount_; }
  int threadIndex() const { return threadIndex_; }
  int multiPv() const { return multiPv_; }
  // Searches since the book was last (re)loaded.
  int searchesSinceBook() const { return searchesSinceBook_; }

 private:
  void initStack();
  void clearSearchState();
  SearchStackEntry& entry(int p) { return stack_[p + 2]; }
  // Another node visited; only this thread writes the count.
  void countNode() { nodes_.store(nodes_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
  // Asks the forced lines, then the book, for the root; a hit becomes the
  // best move and the expected reply the ponder move.
  bool probeOpeningSources();
  int walkPv(Move first, Move* pv, bool setPonder);
  // No move is pondered on, or shown after the best move, when the best
  // move ends the game by threefold repetition or the fifty-move rule.
  void dropPonderMovePastGameEnd();
  // The best move is read by the command thread on "ponderhit": written
  // atomically, read plainly by this thread.
  void setBestMove(Move m) { __atomic_store_n(&bestMove_, m, __ATOMIC_RELAXED); }
  void sortResults(ScoredMove* records, int count) const;

  // What the steps of one interior node hand each other.
  struct NodeState {
    int extension = 0;        // eighths of a ply, for every move of the node
    bool mateThreat = false;  // kept with the node's table entry
    bool nullAllowed = false;
    Move hashMove = 0;
    int threatSquare = -1;    // where the threat a failed null move revealed goes
    Bitboard threatPath = 0;  // the squares it passes on the way
  };
  // The parts of think().
  void setInitialRootScore();
  void iterativeDeepening(SearchLimits* clock);
  void reportIteration(int i, int v);
  // The steps of the interior node (search), in the order it takes them.
  bool reducedMoveFailsHigh(int eval);
  bool probeTable(NodeState& n, uint64_t key, int alpha, int beta, int depth, int* score);
  bool frontierPrune(const NodeState& n, const SideState& us, const SideState& them, int eval, int alpha, int beta,
                     int* score);
  bool tryNullMove(NodeState& n, SideState& us, SideState& them, int alpha, int beta, int depth, int eval,
                   int* score);
  void extendMove(SearchStackEntry& e, const SideState& us, const SideState& them, int depth, int nodeExtension,
                  bool givesCheck);
  bool lateMoveReducible(const NodeState& n, const SideState& us, const SideState& them, int from, int to,
                         Bitboard ownPassed, const Bitboard* ourBefore, const Bitboard* theirBefore);
  void rewardCutoff(SearchStackEntry& e, const SideState& us, Move cutMove, int best, int depth, bool inCheck,
                    Move firstLegal, Move secondLegal);
  // The capture filter of the quiescence search far below alpha.
  Bitboard deltaFilter(const SideState& us, SideState& them, int eval, int alpha, int* bestSkipped);

  Game game_;
  // Options.
  uint8_t ownBook_ = 1;
  uint8_t alwaysClearHash_ = 0;
  char timeLogfile_[512] = {};
  int32_t resignThreshold_ = DefaultResignThreshold;
  int32_t threadCount_ = 1;
  int32_t threadIndex_ = 0;
  int32_t multiPv_ = 1;
  // The state of the running search.
  uint8_t rootRestricted_ = 0;
  int16_t iteration_ = 0;
  int16_t selectiveDepth_ = 0;
  int16_t ply_ = -1;
  int16_t lastNullPly_ = NoLastNullPly;
  int16_t previousNullPly_ = NoPreviousNullPly;
  int32_t rootAlpha_ = -WindowBound;
  int32_t rootBeta_ = WindowBound;
  int32_t score_ = 0;
  uint8_t alphaRaised_ = 0;
  uint8_t firstIteration_ = 0;
  uint8_t rootFail_ = 0;
  Move bestMove_ = 0;
  Move ponderMove_ = 0;
  // The opening sources: only the master plays from them.
  int32_t searchesSinceBook_ = 0;
  std::unique_ptr<OpeningBook> book_;     // owned; none in helpers
  OpeningSource* forcedLines_ = nullptr;  // not owned

  std::atomic<uint8_t> stop_{0};
  std::atomic<uint8_t> pondering_{0};
  std::atomic<uint8_t> mayContinue_{0};
  std::atomic<uint64_t> nodes_{0};
  SearchStackEntry stack_[StackSize];
  RootMove rootMoves_[MaxRootMoves];
  int16_t rootMoveCount_ = 0;
  MoveChangeNet predictor_;
  HistoryTable history_[2];  // indexed by whiteToMove
  std::unique_ptr<MoveListEntry[]> moveStackEntries_;
  MoveStack moveStack_;
  Evaluator evaluator_;
  TranspositionTable* tt_ = nullptr;  // owned by the master only
  NullListener nullListener_;
  SearchListener* listener_ = &nullListener_;
  ScoredMove results_[MaxMultiPv];
  int32_t resultCount_ = 0;
  std::atomic<SearchLimits*> limits_{nullptr};
  SearchLimits unlimited_{100};  // for a searcher nobody gave limits
};
