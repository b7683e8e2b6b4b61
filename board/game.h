// A game: the current position plus the positions played since the last
// irreversible move, for repetition and draw-rule questions.
#pragma once

#include <cstdint>

#include "board/position.h"

// Five bitboards that fix every man, plus rights, ep square and side.
struct HistoryKey {
  Bitboard pawns = 0;
  Bitboard whiteMen = 0;
  Bitboard rooksAndKings = 0;
  Bitboard kingsBishopsQueens = 0;
  Bitboard queensAndKnights = 0;
  int32_t flags = 0;  // castlingRights | epSquare (when set) | 0x80 white to move

  HistoryKey() = default;
  void set(const Position& p);
  bool operator==(const HistoryKey& o) const {
    return pawns == o.pawns && whiteMen == o.whiteMen && rooksAndKings == o.rooksAndKings &&
           kingsBishopsQueens == o.kingsBishopsQueens && queensAndKnights == o.queensAndKnights &&
           flags == o.flags;
  }
  bool operator!=(const HistoryKey& o) const { return !(*this == o); }
  // True when pawns, white pawns or the number of men differ.
  bool irreversibleSince(const Position& p) const;
  bool irreversibleSince(const HistoryKey& o) const;
  int menCount() const;
};

// Draw-rule answers.
constexpr int NoDraw = 0;
constexpr int DrawByRepetitionOnce = 1;  // the position occurred once in the record
constexpr int DrawByRepetition = 3;
constexpr int DrawByMaterial = 10;
constexpr int DrawByBlockedPawns = 40;
constexpr int DrawByFiftyMoves = 50;

class Game {
 public:
  static constexpr int HistorySize = 101;

  Position position;
  HistoryKey history[HistorySize];
  int32_t count;
  int32_t fullMoveNumber;  // the move number a FEN of this game carries

  Game();

  // A copy of a position reached by set-up and legal moves (null: the
  // start position), re-derived, with a new record.
  void setPosition(const Position* source);
  void setChess960(unsigned n);
  // False (and the game unchanged) when the FEN is refused.
  bool setFen(const char* text, FenCastling castling = FenCastling::Detect);
  void resetHistory();
  // Makes a legal move and extends the record.
  void playMove(Move move);
  // The position's FEN with the half-move clock and the move number.
  void toFen(char* out) const;
  // For the search: 50 when the record is full (a hundred reversible plies)
  // and no irreversible move or mate followed it, 1 or 3 when the position
  // repeats within the record, else 10 or 40 for a material or blocked-pawn
  // draw, else 0.
  int repetitionStatus() const;
  // For adjudication: 50, 3, 10, 40 or 0.
  int drawStatus() const;
  // How many moves of a line played from here come before the game ends by
  // threefold repetition (the game's earlier positions counted) or by the
  // fifty-move rule: the move that ends it is counted, the moves after it
  // are not. A move that is not legal where it stands ends the line before
  // it.
  int movesBeforeGameEnd(const Move* line, int length) const;
};
