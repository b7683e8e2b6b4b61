// The conversions between Move words and text: coordinate text for the
// protocols and the book, SAN with English or German letters for PGN and
// the tools.
#pragma once

#include "board/position.h"

// parseMove modes.
constexpr int SanText = 0;
constexpr int CoordinateText = 1;

// formatMove styles.
enum MoveTextStyle : int {
  LongGermanMarked = 0,   // Sg1-f3, with " e.p." and check/mate marks
  LongGerman = 1,         // Sg1-f3
  Coordinate = 2,         // g1f3, e7e8q; castling per the position's flags
  SanEnglish = 3,         // Nf3
  SanGermanMarked = 4,    // Sf3+, exd6 e.p.
  SanGermanLetters = 5,   // German piece letters, English promotion letters
  SanGermanSlash = 6,     // promotion written "/Q"
};

// Reads a move of the position from text (mode SanText or CoordinateText);
// on success stores the complete move word and answers true. Every move it
// accepts is legal in the position. The position is unchanged.
bool parseMove(Position& position, const char* text, Move& move, int mode);

// Writes the text of a legal move of the position into buffer (at least 16
// bytes) and returns buffer. The position is unchanged.
char* formatMove(Position& position, Move move, int style, char* buffer);
