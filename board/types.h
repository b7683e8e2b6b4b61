// Basic vocabulary shared by every part of the engine: squares, bitboards,
// piece types, the 32-bit move word and score constants.
#pragma once

#include <cstdint>

using Bitboard = uint64_t;
using Move = uint32_t;

// Square index 0..63: 0 = a8, 7 = h8, 56 = a1, 63 = h1 (file + 8 * (8 - rank)).
// Stored in a signed byte; any value with the top bit set means "no square".
using Square = int8_t;
constexpr int NoSquare = -1;
constexpr uint8_t NoSquareByte = 255;

inline constexpr bool isSquare(int s) { return (s & ~63) == 0; }
inline constexpr int fileOf(int s) { return s & 7; }
inline constexpr int rowOf(int s) { return s >> 3; }       // row 0 = eighth rank
inline constexpr int rankOf(int s) { return 8 - (s >> 3); }  // 1..8
inline constexpr int makeSquare(int file, int rank) { return file + 8 * (8 - rank); }
inline constexpr Bitboard squareBit(int s) { return Bitboard(1) << s; }

enum PieceType : int {
  NoPiece = 0,
  Pawn = 1,
  Knight = 2,
  Bishop = 3,
  Rook = 4,
  Queen = 5,
  King = 6,
};

enum Color : int { White = 0, Black = 1 };

// Move word: from bits 0-5, to bits 6-11, bits 12-15 zero, moving type
// bits 16-23, promotion type bits 24-31. Castling is the king moving onto
// its own rook's square.
inline constexpr Move encodeMove(int from, int to, int piece, int promotion = 0) {
  return Move(from) | (Move(to) << 6) | (Move(piece) << 16) | (Move(promotion) << 24);
}
inline constexpr int moveFrom(Move m) { return int(m & 63); }
inline constexpr int moveTo(Move m) { return int((m >> 6) & 63); }
inline constexpr int movePiece(Move m) { return int((m >> 16) & 255); }
inline constexpr int movePromotion(Move m) { return int(m >> 24); }
// The low 16 bits identify a move in tables and lists.
inline constexpr uint16_t moveKey(Move m) { return uint16_t(m & 0xFFFF); }

constexpr Move NullMove = 0;

// Scores in milli-pawns from the side to move's point of view.
constexpr int MateScore = 500000;       // mating at ply p scores MateScore - p
constexpr int MateThreshold = 400000;   // |score| >= this is a mate score
constexpr int DrawScore = 0;

// Depth is counted in eighths of a ply.
constexpr int OnePly = 8;
