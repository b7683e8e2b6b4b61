// Staged move generator and picker for one position: full, evasion and
// quiescence lists written into a slice of the owner's move stack, handed
// out hash move first, then recaptures and en passant, then by sort key.
#pragma once

#include <cstdint>

#include "board/attack_tables.h"
#include "board/position.h"
#include "board/types.h"
#include "board/history_table.h"
#include "board/in_progress_set.h"

struct MoveListEntry {
  Move move;
  int32_t key;  // sort key, written by the list's scorer
};

// A killer record of one ply: two slots for nodes not in check, two for
// nodes in check.
struct KillerSlot {
  Move move;
  int16_t score;
};

// The owner's stack of entries: lists of nested plies take consecutive
// slices from top and give them back in reverse order. A list never writes
// at or past limit: when the room runs out its moves are cut short.
struct MoveStack {
  MoveListEntry* top = nullptr;
  MoveListEntry* limit = nullptr;
};

// A stack for one list built outside a search.
struct LocalMoveStack : MoveStack {
  static constexpr int Capacity = 230;
  MoveListEntry entries[Capacity];
  LocalMoveStack() {
    top = entries;
    limit = entries + Capacity;
  }
  LocalMoveStack(const LocalMoveStack&) = delete;
  LocalMoveStack& operator=(const LocalMoveStack&) = delete;
};

enum MoveListType : int {
  AllMoves = 0,
  Evasions = 1,
  ChecksAndPushes = 2,
  ChecksAndCaptures = 3,
  Captures = 4,
};

// Constant move-ordering values: victim value and mover penalty by type,
// and a square value by type and to-square seen from White.
struct MoveOrderTable {
  static const int32_t victimValue[7];
  static const int32_t moverPenalty[7];
  static const int32_t squareValue[7][64];
};

class MoveList {
 public:
  MoveList(MoveStack& stack, const Position& position, const HistoryTable& history, int type,
           const Move* hashMove = nullptr, const KillerSlot* killers = nullptr,
           InProgressSet* inProgress = nullptr);
  ~MoveList() { stack_->top = begin_; }
  MoveList(const MoveList&) = delete;
  MoveList& operator=(const MoveList&) = delete;

  // The next move to try, or null once the list is exhausted.
  const MoveListEntry* next();
  void rewind();
  void rewindWithHashMove(Move move);
  // Rewinds; the move becomes the hash move only when the list has none.
  // Unused by the engine; kept as part of the list's picking interface.
  void rewindWithFallbackHashMove(Move move);
  // Takes the hash move (all 32 bits equal) out of the range still to be
  // handed out, parking it just above; true when it was there.
  bool removeHashMove();
  // Whether a move with the same from- and to-square is still to come.
  // Unused (the legality test compares whole words); kept as a list query.
  bool contains(Move move) const;
  // Whether a hash move, a recapture or a killer is still to come.
  // Unused by the search; kept as a list query.
  bool hasPreferredMove() const;

  int type() const { return type_; }
  int size() const { return int(generatedEnd_ - begin_); }
  const MoveListEntry* begin() const { return begin_; }
  const MoveListEntry* end() const { return generatedEnd_; }
  Move hashMove() const { return hashMove_; }

  // Scorers, each writing the key of every entry in [from, to).
  void scoreAll(MoveListEntry* from, MoveListEntry* to);
  void scoreEvasions(MoveListEntry* from, MoveListEntry* to);
  void scoreQuiescence(MoveListEntry* from, MoveListEntry* to);

  // --- generation steps, each appending at the generated end ---
  void addWhitePawnMoves();
  void addBlackPawnMoves();
  void addWhitePawnEvasions(Bitboard targets);
  void addBlackPawnEvasions(Bitboard targets);
  void addWhitePawnCaptures();
  void addBlackPawnCaptures();
  void addWhitePawnCheckPushes();
  void addBlackPawnCheckPushes();
  void addKnightStepsFromList(const int8_t* squares, int count, Bitboard targets);
  void addKnightStepsFromSet(Bitboard pieces, Bitboard targets);
  void addBishopLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType);
  void addBishopLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType);
  void addRookLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType);
  void addRookLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType);
  void addKingSteps(Bitboard targets);
  void addCastlingMoves();
  void addQuietMovesOffLine(int square, Bitboard line);
  void generateEvasions();
  void generateChecks();
  void addSeventhRankPushes();

 private:
  enum class Scorer : uint8_t { All, Evasions, Quiescence };

  void add(int from, int to, int piece, int promotion = 0) {
    if (generatedEnd_ < stack_->limit) (generatedEnd_++)->move = encodeMove(from, to, piece, promotion);
  }
  void addPromotions(int from, int to) {
    add(from, to, Pawn, Queen);
    add(from, to, Pawn, Rook);
    add(from, to, Pawn, Bishop);
    add(from, to, Pawn, Knight);
  }
  // Colour-parameterised bodies of the pawn steps above.
  template <bool White, bool AllPromotions>
  void addPawnCapturesInto(Bitboard pawns, Bitboard targets);
  template <bool White>
  void addPawnMovesInto(Bitboard pawns, Bitboard captureTargets, Bitboard pushTargets);
  template <bool White>
  void addPawnMoves();
  template <bool White>
  void addPawnEvasions(Bitboard targets);
  template <bool White>
  void addPawnCaptures();
  template <bool White>
  void addPawnCheckPushes();
  // Bodies of the knight, bishop and rook steps above.
  template <Bitboard (*Reach)(int, Bitboard)>
  void addReachFromList(const int8_t* squares, int count, Bitboard targets, int pieceType);
  template <Bitboard (*Reach)(int, Bitboard)>
  void addReachFromSet(Bitboard pieces, Bitboard targets, int pieceType);
  // Knight, bishop, rook and queen moves from the piece lists, each kind
  // into its own targets.
  void addPieceMoves(Bitboard knightTargets, Bitboard bishopTargets, Bitboard rookTargets, Bitboard queenTargets);
  // Pawn moves onto the squares of `to`, each from `to + offset`; with
  // promote, all four promotions or a queen only.
  template <bool AllPromotions>
  void addPawnSet(Bitboard to, int offset, bool promote);
  void addTargets(int from, Bitboard targets, int piece);
  // Whether the list holds the non-promotion move from -> to of that type.
  bool holds(int from, int to, int piece) const;
  void generateFull();
  void generateQuiescence();
  void runScorer(MoveListEntry* from, MoveListEntry* to);

  int32_t stage_;
  MoveListEntry* begin_;
  MoveListEntry* cursor_;
  MoveListEntry* end_;
  MoveListEntry* generatedEnd_;
  MoveStack* stack_;
  const Position* position_;
  const SideState* mover_;
  const SideState* enemy_;
  int8_t recaptureSquare_;
  int8_t epSquare_;
  const HistoryTable* history_;
  Move hashMove_;
  Move killer1_;
  Move killer2_;
  InProgressSet* inProgress_;
  uint32_t keyLow_;
  bool scored_;
  Scorer scorer_;
  int type_;
  MoveListEntry hashEntry_;
};
