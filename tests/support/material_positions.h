// Positions with a given material, for tests that care about the counts
// and not about where the men stand: "KRPvKR" is white king, rook and pawn
// against black king and rook.
#pragma once

#include <string>

#include "board/position.h"

namespace testsupport {

// The piece-placement field of a FEN for a board of 64 characters, a8
// first, '.' for an empty square.
inline std::string placementText(const char board[64]) {
  std::string fen;
  for (int row = 0; row < 8; ++row) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const char c = board[row * 8 + file];
      if (c == '.') {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      fen += c;
    }
    if (empty) fen += char('0' + empty);
    if (row < 7) fen += '/';
  }
  return fen;
}

// Builds a FEN with the white king on h1 and the black king on a8, white
// pawns along rank 2 and pieces along rank 3 (then 4), black pawns along
// rank 7 and pieces along rank 6 (then 5), on squares chosen so that no man
// gives check except along the a8-h1 diagonal when a side has six or more
// pieces. At most 11 pieces a side.
inline std::string materialFen(const std::string& signature, bool whiteToMove) {
  char board[64];
  for (char& c : board) c = '.';
  auto place = [&](int file, int rank, char piece) { board[makeSquare(file, rank)] = piece; };
  place(7, 1, 'K');
  place(0, 8, 'k');
  const std::string::size_type v = signature.find('v');
  const std::string white = signature.substr(0, v), black = signature.substr(v + 1);
  const int whiteSquares[] = {makeSquare(2, 3), makeSquare(3, 3), makeSquare(4, 3), makeSquare(6, 3),
                              makeSquare(1, 3), makeSquare(5, 3), makeSquare(1, 4), makeSquare(2, 4),
                              makeSquare(3, 4), makeSquare(5, 4), makeSquare(6, 4)};
  const int blackSquares[] = {makeSquare(5, 6), makeSquare(4, 6), makeSquare(3, 6), makeSquare(1, 6),
                              makeSquare(6, 6), makeSquare(2, 6), makeSquare(1, 5), makeSquare(2, 5),
                              makeSquare(4, 5), makeSquare(5, 5), makeSquare(6, 5)};
  int wPawn = 0, wPiece = 0, bPawn = 0, bPiece = 0;
  for (char c : white) {
    if (c == 'K') continue;
    if (c == 'P')
      place(wPawn++, 2, 'P');
    else
      board[whiteSquares[wPiece++]] = c;
  }
  for (char c : black) {
    if (c == 'K') continue;
    const char lower = char(c - 'A' + 'a');
    if (c == 'P')
      place(bPawn++, 7, 'p');
    else
      board[blackSquares[bPiece++]] = lower;
  }
  std::string fen = placementText(board);
  fen += whiteToMove ? " w - -" : " b - -";
  return fen;
}

// Sets the position to the material, black to move if that set-up is
// accepted, else white to move; false when neither is.
inline bool setMaterial(Position& p, const std::string& signature) {
  return p.setFen(materialFen(signature, false).c_str()) != nullptr ||
         p.setFen(materialFen(signature, true).c_str()) != nullptr;
}

}  // namespace testsupport
