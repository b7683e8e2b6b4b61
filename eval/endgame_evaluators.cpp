#include "eval/endgame_evaluators.h"

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/endgame_table.h"
#include "eval/evaluator.h"

using namespace evalbits;

EndgameEvaluator::~EndgameEvaluator() = default;

int EndgameEvaluator::scale(const Position&, const Evaluator&, int score) const { return score; }

bool EndgameEvaluator::cutAtBounds(const Position& position, int whiteLow, int whiteHigh, int alpha, int beta,
                                   int* score) {
  const int low = position.whiteToMove ? whiteLow : -whiteHigh;
  const int high = position.whiteToMove ? whiteHigh : -whiteLow;
  if (low >= beta) {
    *score = low;
    return true;
  }
  if (high <= alpha) {
    *score = high;
    return true;
  }
  return false;
}

bool EndgameEvaluator::evaluateForSideGeneric(const Position& position, int* score) const {
  const bool exact = evaluate(position, score);
  if (!position.whiteToMove) *score = -*score;
  return exact;
}

bool NoAnswerEndgameEvaluator::evaluate(const Position&, int*) const { return false; }
bool NoAnswerEndgameEvaluator::evaluateForSide(const Position&, int*) const { return false; }
bool NoAnswerEndgameEvaluator::probe(const Position&, int*, int, int, int, short*) const { return false; }

namespace {

constexpr Bitboard Corners = squareBit(0) | squareBit(7) | squareBit(56) | squareBit(63);
// The squares of a8's colour.
constexpr Bitboard LightSquares = 0xAA55AA55AA55AA55ULL;

inline bool isLight(int square) { return (LightSquares >> square) & 1; }

// One side of a position seen by a colour: its men, the other side's, and
// squares turned top to bottom for black so that its pawns move toward
// rank 8 as white's do.
template <Color C>
struct Side {
  static constexpr int sign = C == White ? 1 : -1;
  static const SideState& us(const Position& p) { return C == White ? p.white : p.black; }
  static const SideState& them(const Position& p) { return C == White ? p.black : p.white; }
  static bool toMove(const Position& p) { return bool(p.whiteToMove) == (C == White); }
  static int square(int s) { return C == White ? s : s ^ 56; }
  static Bitboard squares(Bitboard b) { return C == White ? b : flipVertical(b); }
  // Bitbase probe with C's pawn: a black pawn's squares are turned through
  // the centre (63 - square), which the bitbase's file mirroring makes
  // the same as turning them top to bottom.
  static int kpk(bool ownToMove, int ownKing, int otherKing, int pawn) {
    if (C == White) return KpkBitbase::probe(attackTables, ownToMove, ownKing, otherKing, pawn);
    return KpkBitbase::probe(attackTables, ownToMove, 63 - ownKing, 63 - otherKing, 63 - pawn);
  }
};

// Whether any man of the side stands in the other side's attack set.
inline bool anyAttacked(const SideState& side) { return (side.attacked & side.pieces[0]) != 0; }

// The bound test for a score known to lie in [low, high] in the view of
// colour C.
template <Color C>
bool cutForSide(const Position& p, int low, int high, int alpha, int beta, int* score) {
  return C == White ? EndgameEvaluator::cutAtBounds(p, low, high, alpha, beta, score)
                    : EndgameEvaluator::cutAtBounds(p, -high, -low, alpha, beta, score);
}

// The score of a side that does not lose: [0, 500000] in its view, except
// when its king is in check, stands in a corner with an enemy knight two
// knight moves away, or stands on the edge against a rook.
template <Color C>
bool cutNotLosing(const Position& p, int alpha, int beta, int* score) {
  const SideState& us = Side<C>::us(p);
  const SideState& them = Side<C>::them(p);
  const int king = us.kingSquare();
  if (us.attacked & squareBit(king)) return false;
  if ((Corners & squareBit(king)) && (attackTables.knightTwoSteps[king] & them.pieces[Knight])) return false;
  if ((BoardEdge & squareBit(king)) && them.counts[Rook]) return false;
  return cutForSide<C>(p, 0, MateScore, alpha, beta, score);
}

// The depth change that rounds a deep search down to whole plies, and from
// the ply count `longFrom` (in eighths) on one ply further.
inline void roundDepth(int depth, int longFrom, short* depthChange) {
  if (depth <= 16) return;
  *depthChange = short(depth < longFrom ? -(depth % 8) : -8 - (depth % 8));
}

// No man attacked, each king covered or unattacked by its own side, with
// more than three safe steps, and off the edge.
bool isQuietPosition(const Position& p) {
  if (anyAttacked(p.white) || anyAttacked(p.black)) return false;
  for (int c = 0; c < 2; ++c) {
    const SideState& us = c == White ? p.white : p.black;
    const SideState& them = c == White ? p.black : p.white;
    const int king = us.kingSquare();
    const Bitboard steps = attackTables.kingAttacks[king];
    if (!(steps & us.pieces[0]) && (them.attacked & squareBit(king))) return false;
    if (AttackTables::popCount(steps & ~us.attacked & ~them.attackedTwice) <= 3) return false;
    if (BoardEdge & squareBit(king)) return false;
  }
  return true;
}

}  // namespace

// --- Draws ---

bool DrawEvaluator::evaluate(const Position&, int* score) const {
  *score = 0;
  return true;
}

bool DrawEvaluator::evaluateForSide(const Position&, int* score) const {
  *score = 0;
  return true;
}

bool DrawEvaluator::probe(const Position&, int* score, int, int, int depth, short* depthChange) const {
  *score = 0;
  *depthChange = short(-depth);
  return true;
}

bool KNNvKEvaluator::evaluate(const Position&, int* score) const {
  *score = 0;
  return true;
}

bool KNNvKEvaluator::evaluateForSide(const Position&, int* score) const {
  *score = 0;
  return true;
}

bool KNNvKEvaluator::probe(const Position&, int* score, int, int, int depth, short* depthChange) const {
  *score = 0;
  *depthChange = short(depth > 8 ? 8 - depth : 0);
  return false;
}

// --- King and pawn against king ---

template <Color Strong>
bool PawnAgainstKingEvaluator<Strong>::evaluate(const Position& p, int* score) const {
  using S = Side<Strong>;
  const SideState& us = S::us(p);
  const int r = S::kpk(S::toMove(p), us.kingSquare(), S::them(p).kingSquare(), us.lists[Pawn][0]);
  // An impossible placement is no knowledge: the normal evaluation goes on.
  if (r == KpkBitbase::Impossible) return false;
  *score = S::sign * (r < 0 ? 1 : 9450 - r);
  return true;
}

template <Color Strong>
bool PawnAgainstKingEvaluator<Strong>::evaluateForSide(const Position& p, int* score) const {
  return evaluateForSideGeneric(p, score);
}

template <Color Strong>
bool PawnAgainstKingEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                             short*) const {
  int exact = 0;
  if (!evaluate(p, &exact)) return false;
  if (Side<Strong>::sign * exact >= 2) return cutForSide<Strong>(p, 9350, MateScore, alpha, beta, score);
  return cutAtBounds(p, -1, 1, alpha, beta, score);
}

template class PawnAgainstKingEvaluator<White>;
template class PawnAgainstKingEvaluator<Black>;

// --- Rook or queen against king ---

template <Color Strong>
bool MajorAgainstKingEvaluator<Strong>::evaluate(const Position&, int* score) const {
  *score += Side<Strong>::sign * 4000;
  return false;
}

template <Color Strong>
bool MajorAgainstKingEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                              short*) const {
  const SideState& us = Side<Strong>::us(p);
  if (anyAttacked(us)) return false;
  return cutForSide<Strong>(p, us.counts[Queen] ? 12450 : 7150, MateScore, alpha, beta, score);
}

template class MajorAgainstKingEvaluator<White>;
template class MajorAgainstKingEvaluator<Black>;

// --- Rook against rook, queen against queen ---

bool KXvKXEvaluator::evaluate(const Position&, int* score) const {
  *score = 0;
  return true;
}

bool KXvKXEvaluator::evaluateForSide(const Position& p, int* score) const {
  if (!isQuietPosition(p)) return false;
  *score = 0;
  return true;
}

bool KXvKXEvaluator::probe(const Position& p, int* score, int, int, int depth, short* depthChange) const {
  if (isQuietPosition(p)) {
    *score = 0;
    return true;
  }
  roundDepth(depth, 24, depthChange);
  return false;
}

// --- Queen against rook ---

template <Color Strong>
bool QueenAgainstRookEvaluator<Strong>::evaluate(const Position&, int* score) const {
  *score += Side<Strong>::sign * 3000;
  return false;
}

template <Color Strong>
bool QueenAgainstRookEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                              short*) const {
  if (!isQuietPosition(p)) return false;
  return cutForSide<Strong>(p, 6300, MateScore, alpha, beta, score);
}

template class QueenAgainstRookEvaluator<White>;
template class QueenAgainstRookEvaluator<Black>;

// --- Queen and minor against queen ---

template <Color Strong>
bool QueenMinorAgainstQueenEvaluator<Strong>::evaluate(const Position& p, int* score) const {
  *score = Side<Strong>::sign * mopUpScore(333, Side<Strong>::us(p), Side<Strong>::them(p));
  return true;
}

template <Color Strong>
bool QueenMinorAgainstQueenEvaluator<Strong>::probe(const Position&, int*, int, int, int depth,
                                                    short* depthChange) const {
  roundDepth(depth, 40, depthChange);
  return false;
}

template class QueenMinorAgainstQueenEvaluator<White>;
template class QueenMinorAgainstQueenEvaluator<Black>;

// --- Bishop and knight against king ---

template <Color Strong>
bool BishopKnightMateEvaluator<Strong>::evaluate(const Position& p, int* score) const {
  const SideState& us = Side<Strong>::us(p);
  const SideState& them = Side<Strong>::them(p);
  const int weakKing = them.kingSquare();
  const Bitboard weakKingBit = squareBit(weakKing);
  const int bishop = us.lists[Bishop][0];
  // Squares the strong side attacks.
  const Bitboard covered = them.attacked;
  int m = 3000;

  // Distance: grow the corners of the bishop's colour until they hold the king.
  Bitboard ball = isLight(bishop) ? (squareBit(0) | squareBit(63)) : (squareBit(7) | squareBit(56));
  Bitboard inner = ball;
  while (!(ball & weakKingBit)) {
    inner = ball;
    ball = orthogonalDilation(ball);
    m -= 35;
  }
  const Bitboard firstRing = orthogonalDilation(ball) & ~ball;
  const Bitboard secondRing = orthogonalDilation(orthogonalDilation(ball)) & ~orthogonalDilation(ball);

  // Escape squares of the king.
  const Bitboard steps = attackTables.kingAttacks[weakKing];
  const Bitboard freeSteps = steps & ~covered;
  if (freeSteps & secondRing)
    m -= 22;
  else if (freeSteps & firstRing)
    m -= 8;
  else if (steps & ball & ~inner)
    m -= 2;

  // The bishop's post; the long-diagonal term is counted on its own.
  const Bitboard bishopBit = squareBit(bishop);
  if ((SecondRing & bishopBit) && !(inner & bishopBit))
    m += 2;
  else if (inner & bishopBit)
    m -= 3;
  if (LongDiagonals & bishopBit) m -= 2;

  if (chebyshevDistance(us.kingSquare(), weakKing) <= 4) m += 1;

  // Room of the king: squares it reaches in up to three steps over
  // uncovered squares, its own square not counted.
  Bitboard reach = weakKingBit;
  for (int i = 0; i < 3; ++i) reach |= kingDilation(reach) & ~covered;
  const int n = AttackTables::popCount(reach & ~weakKingBit);

  *score += Side<Strong>::sign * (m - n);
  return true;
}

template <Color Strong>
bool BishopKnightMateEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                              short*) const {
  const SideState& us = Side<Strong>::us(p);
  const bool loose = anyAttacked(us) || (us.pieces[Knight] & Corners);
  return cutForSide<Strong>(p, loose ? 1 : 4325, MateScore, alpha, beta, score);
}

template class BishopKnightMateEvaluator<White>;
template class BishopKnightMateEvaluator<Black>;

// --- Material-setting classes ---

bool HeldValueEvaluator::evaluate(const Position&, int* score) const {
  *score = value_;
  return false;
}

int HeldValueEvaluator::scale(const Position& p, const Evaluator&, int score) const {
  if (p.white.pieces[Pawn]) return score > 0 ? score : 0;
  return score < 0 ? score : 0;
}

// --- Two knights against king and pawn ---

bool KNNvKPEvaluator::evaluate(const Position& p, int* score) const {
  static const int KingDistanceValue[7] = {0, 20, 55, 105, 170, 230, 250};
  static const int PawnPathValue[8] = {0, -250, 0, 120, 200, 250, 250, 10};
  const bool whiteStrong = p.white.counts[Knight] == 2;
  const SideState& strong = whiteStrong ? p.white : p.black;
  const SideState& weak = whiteStrong ? p.black : p.white;
  const int W = weak.kingSquare();
  const int S = strong.kingSquare();

  int v = 1000 + KingDistanceValue[centreManhattan(W)] + 21 * centreChebyshev(W) - 42 * manhattanDistance(W, S) -
          16 * chebyshevDistance(W, S);
  if (bool(p.whiteToMove) != whiteStrong) {
    // weak.attacked holds the squares the strong side attacks.
    Bitboard free = attackTables.kingAttacks[W] & ~weak.attacked;
    int nearest = 99;
    for (; free; free &= free - 1) {
      const int d = centreManhattan(AttackTables::lowestSquare(free));
      if (d < nearest) nearest = d;
    }
    if (nearest <= centreManhattan(W)) v += 10;
  }
  // Squares from the one ahead of the pawn to its promotion square.
  const int pawn = weak.lists[Pawn][0];
  const int pathLength = whiteStrong ? rankOf(pawn) - 1 : 8 - rankOf(pawn);
  v += PawnPathValue[pathLength];
  *score = whiteStrong ? v : -v;
  return true;
}

// ==== STUBS (replaced below as the rules are written) ====
template <Color C> bool PawnAgainstMinorEvaluator<C>::evaluate(const Position&, int*) const { return false; }
template <Color C> bool PawnAgainstMinorEvaluator<C>::evaluateForSide(const Position&, int*) const { return false; }
template <Color C> bool PawnAgainstMinorEvaluator<C>::probe(const Position&, int*, int, int, int, short*) const { return false; }
template class PawnAgainstMinorEvaluator<White>;
template class PawnAgainstMinorEvaluator<Black>;
template <Color C, WinChanceFamily F> bool WinChanceEvaluator<C, F>::evaluate(const Position&, int*) const { return false; }
template <Color C, WinChanceFamily F> bool WinChanceEvaluator<C, F>::evaluateForSide(const Position&, int*) const { return false; }
template <Color C, WinChanceFamily F> bool WinChanceEvaluator<C, F>::probe(const Position&, int*, int, int, int, short*) const { return false; }
template class WinChanceEvaluator<White, WinChanceFamily::RookAgainstMinor>;
template class WinChanceEvaluator<Black, WinChanceFamily::RookAgainstMinor>;
template class WinChanceEvaluator<White, WinChanceFamily::RookMinorAgainstRook>;
template class WinChanceEvaluator<Black, WinChanceFamily::RookMinorAgainstRook>;
template class WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstMinor>;
template class WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstMinor>;
template class WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstRook>;
template class WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstRook>;
template <Color C> bool MinorAndPawnsEvaluator<C>::evaluate(const Position&, int*) const { return false; }
template <Color C> bool MinorAndPawnsEvaluator<C>::evaluateForSide(const Position&, int*) const { return false; }
template <Color C> bool MinorAndPawnsEvaluator<C>::probe(const Position&, int*, int, int, int, short*) const { return false; }
template class MinorAndPawnsEvaluator<White>;
template class MinorAndPawnsEvaluator<Black>;
template <Color C> bool RookPawnAgainstRookEvaluator<C>::evaluate(const Position&, int*) const { return false; }
template class RookPawnAgainstRookEvaluator<White>;
template class RookPawnAgainstRookEvaluator<Black>;
bool PawnEndingEvaluator::probe(const Position&, int*, int, int, int, short*) const { return false; }
int PawnEndingEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
bool BishopEndingEvaluator::evaluate(const Position&, int*) const { return false; }
bool BishopEndingEvaluator::evaluateForSide(const Position&, int*) const { return false; }
bool BishopEndingEvaluator::probe(const Position&, int*, int, int, int, short*) const { return false; }
int BishopEndingEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
int KnightEndingEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
int QueenEndingEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
int BishopKnightEndingEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
int OneSidedPawnsEvaluator::scale(const Position&, const Evaluator&, int s) const { return s; }
