#include "board/game.h"

#include <cstdio>

#include "board/attack_tables.h"
#include "board/keys.h"
#include "board/legality.h"

void HistoryKey::set(const Position& p) {
  const SideState& w = p.white;
  const SideState& b = p.black;
  pawns = w.pieces[Pawn] | b.pieces[Pawn];
  whiteMen = w.pieces[0];
  rooksAndKings = w.pieces[Rook] | b.pieces[Rook] | w.pieces[King] | b.pieces[King];
  kingsBishopsQueens = w.pieces[King] | b.pieces[King] | w.pieces[Bishop] | b.pieces[Bishop] | w.pieces[Queen] |
                       b.pieces[Queen];
  queensAndKnights = w.pieces[Queen] | b.pieces[Queen] | w.pieces[Knight] | b.pieces[Knight];
  flags = p.castlingRights | (p.epSquare >= 0 ? p.epSquare : 0) | (p.whiteToMove ? 0x80 : 0);
}

int HistoryKey::menCount() const {
  return AttackTables::popCount(pawns | rooksAndKings | kingsBishopsQueens | queensAndKnights);
}

bool HistoryKey::irreversibleSince(const Position& p) const {
  const Bitboard nowPawns = p.white.pieces[Pawn] | p.black.pieces[Pawn];
  return nowPawns != pawns || p.white.pieces[Pawn] != (pawns & whiteMen) ||
         AttackTables::popCount(p.occupied) != menCount();
}

bool HistoryKey::irreversibleSince(const HistoryKey& o) const {
  return o.pawns != pawns || (o.pawns & o.whiteMen) != (pawns & whiteMen) || o.menCount() != menCount();
}

Game::Game() : count(1), fullMoveNumber(1) { history[0].set(position); }

void Game::setPosition(const Position* source) {
  if (source) {
    position = *source;
    position.finishSetup();
  } else {
    position.setStartPosition();
  }
  fullMoveNumber = 1;
  resetHistory();
}

void Game::setChess960(unsigned n) {
  position.setChess960(n);
  fullMoveNumber = 1;
  resetHistory();
}

bool Game::setFen(const char* text, FenCastling castling) {
  const char* rest = position.setFen(text, castling);
  if (!rest) return false;
  int halfMoves = 0, moveNumber = 1;
  const int read = std::sscanf(rest, "%d %d", &halfMoves, &moveNumber);
  if (read < 1) halfMoves = 0;
  if (read < 2 || moveNumber < 1 || moveNumber > 100000) moveNumber = 1;
  fullMoveNumber = moveNumber;
  if (halfMoves < 0) {
    resetHistory();
    return true;
  }
  // The record holds a hundred reversible plies; a longer clock is the same
  // draw claim.
  if (halfMoves > HistorySize - 1) halfMoves = HistorySize - 1;
  for (int i = 0; i < halfMoves; ++i) history[i] = HistoryKey();
  history[halfMoves].set(position);
  count = halfMoves + 1;
  return true;
}

void Game::resetHistory() {
  history[0].set(position);
  count = 1;
}

void Game::playMove(Move move) {
  UndoRecord undo;
  undo.save(position);
  const bool blackMoved = !position.whiteToMove;
  if (!position.makeMove(move, undo)) return;  // callers pass legal moves only
  if (blackMoved) ++fullMoveNumber;
  // An irreversible move starts the repetition history afresh.
  if (history[count - 1].irreversibleSince(position)) {
    history[0].set(position);
    count = 1;
  } else if (count < HistorySize) {
    history[count++].set(position);
  }
}

void Game::toFen(char* out) const {
  position.toFen(out);
  char* end = out;
  while (*end) ++end;
  std::snprintf(end, 24, " %d %d", count - 1, fullMoveNumber);
}

namespace {

// The king's region: squares reached by king steps over squares without own
// pawns and not attacked by enemy pawns.
Bitboard kingRegion(int king, Bitboard ownPawns, Bitboard enemyPawnAttacks) {
  const Bitboard open = ~ownPawns & ~enemyPawnAttacks;
  Bitboard region = squareBit(king), grown;
  do {
    grown = region;
    for (Bitboard b = region; b; b &= b - 1) region |= attackTables.kingAttacks[AttackTables::lowestSquare(b)] & open;
  } while (region != grown);
  return region;
}

}  // namespace

int Position::staticDrawStatus() const {
  const SideState& w = white;
  const SideState& b = black;
  const int total = w.counts[0] + b.counts[0];
  // Bare kings, or a single minor piece.
  if (total == 2) return DrawByMaterial;
  if (total == 3 && w.counts[Knight] + w.counts[Bishop] + b.counts[Knight] + b.counts[Bishop] == 1)
    return DrawByMaterial;
  // Only bishops, all on one square colour.
  const Bitboard bishops = w.pieces[Bishop] | b.pieces[Bishop];
  if (total == AttackTables::popCount(bishops) + 2 && (!(bishops & LightSquares) || !(bishops & DarkSquares)))
    return DrawByMaterial;
  // Only kings and pawns, all pawns blocked head to head, and neither
  // king able to walk to an enemy pawn.
  const Bitboard wp = w.pieces[Pawn], bp = b.pieces[Pawn];
  if (total == AttackTables::popCount(wp | bp) + 2 && (wp >> 8) == bp && (bp << 8) == wp &&
      !(wp & w.pawnAttacked) && !(bp & b.pawnAttacked) &&
      !(kingRegion(w.kingSquare(), wp, w.pawnAttacked) & bp) &&
      !(kingRegion(b.kingSquare(), bp, b.pawnAttacked) & wp))
    return DrawByBlockedPawns;
  return NoDraw;
}

int Game::repetitionStatus() const {
  const HistoryKey& last = history[count - 1];
  if (!last.irreversibleSince(position)) {
    // A full record is a hundred reversible plies: the fifty-move draw can
    // be claimed, unless the last move mated.
    if (count >= HistorySize) {
      Position copy = position;  // the test of mate makes moves on it
      if (!position.inCheck() || !copy.noLegalMove()) return DrawByFiftyMoves;
    }
    HistoryKey now;
    now.set(position);
    int matches = 0;
    for (int i = 0; i < count; ++i) matches += history[i] == now;
    if (matches == 1) return DrawByRepetitionOnce;
    if (matches >= 2) return DrawByRepetition;
  }
  return position.staticDrawStatus();
}

int Game::drawStatus() const {
  if (count > 100) return DrawByFiftyMoves;
  if (count >= 2) {
    int matches = 0;
    for (int i = 0; i < count - 1; ++i) matches += history[i] == history[count - 1];
    if (matches >= 2) return DrawByRepetition;
  }
  return position.staticDrawStatus();
}

int Game::movesBeforeGameEnd(const Move* line, int length) const {
  Game rest = *this;
  for (int i = 0; i < length; ++i) {
    if (!isLegalMove(rest.position, line[i])) return i;
    rest.playMove(line[i]);
    // A full record is a hundred reversible plies: the fifty-move rule
    // ends the game here, and a move that mates ends it as well.
    if (rest.count >= HistorySize) return i + 1;
    const HistoryKey& now = rest.history[rest.count - 1];
    int earlier = 0;
    for (int k = 0; k < rest.count - 1; ++k) earlier += rest.history[k] == now;
    if (earlier >= 2) return i + 1;
  }
  return length;
}
