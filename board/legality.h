// Legality questions answered without a search, each over a full move list
// on a local stack; the position is unchanged when they return.
#pragma once

#include "board/position.h"

// Whether exactly this move word (squares, moving type and promotion) is a
// generated move of the position and leaves the mover's king safe. A stale
// or torn word never matches, so it can never reach the board.
bool isLegalMove(Position& position, Move move);

// Whether the side to move has exactly one legal move; it is stored in
// `move` (which otherwise holds the last legal move found, if any).
bool onlyLegalMove(Position& position, Move& move);
