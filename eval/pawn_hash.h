// The pawn-structure record kept per pawn key in the evaluator's pawn hash:
// the structure score of both sides and the square sets that the piece
// terms, the endgame knowledge and the search read.
#pragma once

#include <cstdint>

#include "board/types.h"

class Position;

struct PawnHashEntry {
  uint64_t key;           // the position's pawn key; 0 in an empty slot
  int32_t mg;             // structure score of both sides, white's view
  int32_t eg;
  int32_t openFileCount;  // files without any pawn
  Bitboard openFiles;     // every square of those files
  Bitboard whiteFrontSpan;  // squares ahead of a white pawn on its file
  Bitboard blackFrontSpan;
  Bitboard whitePassedFiles;  // every square of each file holding a white passed pawn
  Bitboard blackPassedFiles;
  Bitboard passedPawns;    // the foremost passed pawn of each file, both colours
  Bitboard backwardPawns;  // both colours
  Bitboard whiteBarrierRegion;  // 0 when white has no such barrier
  Bitboard blackBarrierRegion;
};

// Sets every field of the entry to zero.
void clearPawnHashEntry(PawnHashEntry& entry);

// Fills every field except the key from the pawns of the position; a side
// without pawns contributes nothing to the scores.
void computePawnStructure(const Position& position, PawnHashEntry& entry);

// Gives back the barrier region of one side's barrier set: the first flood
// starts on the row opposite rowToReach and runs through the squares the
// barrier leaves open; when it reaches rowToReach the region is empty,
// otherwise it is where that flood meets a flood from rowToReach through the
// squares outside the barrier, with their orthogonal neighbours. White's
// barrier reaches for row 7 (rank 1), black's for row 0 (rank 8).
Bitboard barrierRegion(Bitboard barrier, int rowToReach);
