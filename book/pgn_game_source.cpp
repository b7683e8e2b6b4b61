#include "book/pgn_game_source.h"

#include <string>

#include "board/legality.h"

PgnGameSource::PgnGameSource(const char* fileName, std::FILE* errors)
    : lexer_(fileName, errors), done_(!lexer_.isOpen()) {}

bool PgnGameSource::loadNextGame() {
  moves_.clear();
  std::vector<Move> moves;
  std::string fen;
  if (!lexer_.readNextGame(moves, nullptr, nullptr, &fen, nullptr, nullptr, -1)) return false;
  Position position;
  if (fen.empty()) position.setStartPosition();
  else if (!position.setFen(fen.c_str(), lexer_.fenCastling())) return false;
  moves_.reserve(moves.size());
  for (const Move move : moves) {
    // Moves read before a later FEN tag belong to another position; the
    // line ends where the moves stop fitting the board.
    if (!isLegalMove(position, move)) break;
    const uint64_t key = position.hashKey;
    moves_.push_back({uint32_t(key), uint32_t(key >> 32), move});
    UndoRecord undo;
    undo.save(position);
    position.makeMove(move, undo);
  }
  return true;
}

bool PgnGameSource::nextMove(uint32_t keyLow, uint32_t keyHigh, Move* move) {
  const uint64_t key = uint64_t(keyHigh) << 32 | keyLow;
  while (!done_) {
    if (index_ < moves_.size()) {
      const PosMove& record = moves_[index_];
      if (record.key() != key) {
        done_ = true;
        return false;
      }
      *move = record.move;
      index_ += 2;
      return true;
    }
    if (!loadNextGame()) {
      done_ = true;
      return false;
    }
    // The engine moves first in this game when the position is the game's
    // first; otherwise it must be the one after the game's first move.
    index_ = moves_.size() <= 1 || moves_[0].key() == key ? 0 : 1;
  }
  return false;
}

bool PgnGameSource::probe(Position& position, Move* move, Move* reply) {
  if (reply) *reply = 0;
  // The interface marks every position of a Chess960 game (UCI_Chess960
  // on, xboard fischerandom); in standard chess it drops the rights a FEN
  // spells that the standard castlings cannot use, and so must the line,
  // or its keys never match the board's.
  lexer_.setFenCastling(position.chess960 ? FenCastling::Detect : FenCastling::StandardChess);
  const uint64_t key = position.hashKey;
  return nextMove(uint32_t(key), uint32_t(key >> 32), move);
}
