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


// --- Win-chance measure ---

int winChanceMeasure(const Position& p, Color strongColour) {
  const SideState& S = strongColour == White ? p.white : p.black;
  const SideState& W = strongColour == White ? p.black : p.white;
  const bool strongToMove = bool(p.whiteToMove) == (strongColour == White);
  const int wk = W.kingSquare();
  const int sk = S.kingSquare();
  const Bitboard wkBit = squareBit(wk);
  const Bitboard weakMen = W.pieces[0];
  const Bitboard weakOthers = weakMen & ~wkBit;
  const Bitboard kingSteps = attackTables.kingAttacks[wk];
  // W.attacked: squares the strong side attacks; S.attacked: squares the weak side attacks.
  const Bitboard attackedWeak = W.attacked & weakMen;

  if (strongToMove) {
    // A knight fork one jump away.
    if (S.pieces[Knight]) {
      Bitboard forks = 0;
      for (Bitboard b = attackTables.knightAttacks[wk]; b; b &= b - 1) {
        const int sq = AttackTables::lowestSquare(b);
        if (attackTables.knightAttacks[sq] & weakOthers) forks |= squareBit(sq);
      }
      for (Bitboard n = S.pieces[Knight]; n; n &= n - 1)
        if (attackTables.knightAttacks[AttackTables::lowestSquare(n)] & forks) return 10;
    }
    // A weak man exposed on a line from the weak king.
    if (S.pieces[Bishop] && (AttackTables::bishopAttacks(wk, p.occupied) & weakOthers & ~kingSteps)) return 10;
    if (S.pieces[Rook] && (AttackTables::rookAttacks(wk, p.occupied) & weakOthers & ~kingSteps)) {
      static const Bitboard EdgeMiddles = squaresToBitboard("D8E8A5H5A4H4D1E1");
      const int weakRook = W.lists[Rook][0];
      const int bishop = S.lists[Bishop][0];
      const bool line = W.counts[Rook] == 1 && S.counts[Bishop] == 1 && S.counts[Rook] == 1 &&
                        (EdgeMiddles & wkBit) && !(kingSteps & attackTables.kingAttacks[sk]) && !attackedWeak;
      if (line) {
        const int order[4] = {weakRook, bishop, sk, wk};
        const bool sameFile = fileOf(weakRook) == fileOf(bishop) && fileOf(bishop) == fileOf(sk) &&
                              fileOf(sk) == fileOf(wk);
        const bool sameRow = rowOf(weakRook) == rowOf(bishop) && rowOf(bishop) == rowOf(sk) && rowOf(sk) == rowOf(wk);
        const bool ascending = order[0] < order[1] && order[1] < order[2] && order[2] < order[3];
        const bool descending = order[0] > order[1] && order[1] > order[2] && order[2] > order[3];
        if ((sameFile || sameRow) && (ascending || descending)) return 0;
      }
      return 10;
    }
  }

  // Attacked weak men.
  const bool twice = (W.attackedTwice & weakMen) != 0;
  if (strongToMove) {
    if ((attackedWeak & ~S.attacked) || twice || AttackTables::popCount(attackedWeak) >= 2) return 10;
    if (S.pieces[Rook] && S.counts[0] >= 3) {
      for (Bitboard r = attackedWeak & W.pieces[Rook] & ~attackTables.kingAttacks[sk]; r; r &= r - 1)
        if (!(AttackTables::rookAttacks(AttackTables::lowestSquare(r), p.occupied) & S.pieces[Rook])) return 10;
    }
  }
  const int c = int((W.attacked & wkBit) != 0) + int(attackedWeak != 0);
  const int t = !strongToMove && twice ? 1 : 0;

  static const Bitboard CentreBox = squaresToBitboard("C3D3E3F3C4D4E4F4C5D5E5F5C6D6E6F6");
  const int D = t + int((BoardEdge & wkBit) != 0) + int(!(CentreBox & wkBit)) + int(!(kingSteps & weakOthers)) + c + 1;

  int E = D - 1;
  const Bitboard lightBishops = S.pieces[Bishop] & LightSquares;
  const Bitboard darkBishops = S.pieces[Bishop] & ~LightSquares;
  if (LightCornerZone & wkBit) {
    if (lightBishops) return 10;
    E += 1;
    if (darkBishops) E -= 2;
  } else if (DarkCornerZone & wkBit) {
    if (darkBishops) return 10;
    E += 1;
    if (lightBishops) E -= 2;
  }

  int result = E + int((kingSteps & attackTables.kingAttacks[sk]) != 0) + int((W.pieces[Knight] & CornerDiagonalSquares) != 0) +
               int(AttackTables::popCount(kingSteps & W.attacked) < 3) + int(W.pieces[Knight] && !S.attackedTwice);
  return result < 0 ? 0 : result;
}

namespace {

// The exact score of a win-chance family in the strong side's view, and
// whether evaluateForSide may hand it out.
template <WinChanceFamily Family>
int winChanceScore(const Position& p, Color strong, bool* exactForSide) {
  const SideState& S = strong == White ? p.white : p.black;
  constexpr bool twoMinors =
      Family == WinChanceFamily::TwoMinorsAgainstMinor || Family == WinChanceFamily::TwoMinorsAgainstRook;
  if (twoMinors && S.counts[Knight] == 2) {
    *exactForSide = true;
    return 1;
  }
  const int measure = winChanceMeasure(p, strong);
  *exactForSide = measure <= 1;
  const int a = measure > 0 ? measure - 1 : 0;
  return (twoMinors ? 20 : 33) * a * a + 1;
}

}  // namespace

template <Color Strong, WinChanceFamily Family>
bool WinChanceEvaluator<Strong, Family>::evaluate(const Position& p, int* score) const {
  bool exactForSide = false;
  *score = Side<Strong>::sign * winChanceScore<Family>(p, Strong, &exactForSide);
  return true;
}

template <Color Strong, WinChanceFamily Family>
bool WinChanceEvaluator<Strong, Family>::evaluateForSide(const Position& p, int* score) const {
  bool exactForSide = false;
  const int value = Side<Strong>::sign * winChanceScore<Family>(p, Strong, &exactForSide);
  if (!exactForSide) return false;
  *score = p.whiteToMove ? value : -value;
  return true;
}

template <Color Strong, WinChanceFamily Family>
bool WinChanceEvaluator<Strong, Family>::probe(const Position& p, int* score, int alpha, int beta, int,
                                               short*) const {
  if (Family == WinChanceFamily::RookMinorAgainstRook) return false;
  return cutNotLosing<Strong>(p, alpha, beta, score);
}

template class WinChanceEvaluator<White, WinChanceFamily::RookAgainstMinor>;
template class WinChanceEvaluator<Black, WinChanceFamily::RookAgainstMinor>;
template class WinChanceEvaluator<White, WinChanceFamily::RookMinorAgainstRook>;
template class WinChanceEvaluator<Black, WinChanceFamily::RookMinorAgainstRook>;
template class WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstMinor>;
template class WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstMinor>;
template class WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstRook>;
template class WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstRook>;

// --- Pawn against minor piece ---

namespace {

// The pawn-advance value that replaces the material score when no draw is
// recognised: the pawn's rank counted from its owner.
inline int pawnAdvanceValue(int relativePawn) {
  const int rank = rankOf(relativePawn);
  return rank == 7 ? 256 : rank == 6 ? 64 : 1;
}

// The race of the knight's reach against the pawn, all squares seen from
// the pawn's owner. True when the knight catches the pawn.
bool knightCatchesPawn(int knight, int pawn, int pawnKing, int minorKing, bool minorToMove) {
  Bitboard reach = squareBit(knight);
  if (minorToMove) reach |= attackTables.knightAttacks[knight];
  if (reach & squareBit(pawn)) return true;
  if (rankOf(pawn) == 2) {
    pawn -= 8;
    if (reach & squareBit(pawn)) return true;
  }
  const Bitboard kingRow = squareBit(minorKing) | sideways(squareBit(minorKing));
  Bitboard guarded = squareBit(pawnKing) | north(kingRow) | south(kingRow);
  while (rankOf(pawn) < 8) {
    guarded = kingDilation(guarded);
    const Bitboard kept = reach & ~squareBit(minorKing) & ~whitePawnAttacks(squareBit(pawn)) & ~Corners &
                          (~guarded | kingRow);
    if (!kept) return false;
    reach = kept;
    for (Bitboard b = kept; b; b &= b - 1) reach |= attackTables.knightAttacks[AttackTables::lowestSquare(b)];
    pawn -= 8;
    if (reach & squareBit(pawn)) return !(Corners & squareBit(pawn));
  }
  return false;
}

}  // namespace

template <Color Strong>
bool PawnAgainstMinorEvaluator<Strong>::evaluate(const Position& p, int* score) const {
  using S = Side<Strong>;
  const SideState& us = S::us(p);
  const SideState& them = S::them(p);
  const bool usToMove = S::toMove(p);
  const int minor = them.pieces[Knight] ? them.lists[Knight][0] : them.lists[Bishop][0];
  const Bitboard minorBit = squareBit(minor);
  const int pawn = S::square(us.lists[Pawn][0]);
  const int ownKing = S::square(us.kingSquare());
  const int otherKing = S::square(them.kingSquare());

  *score = S::sign;
  if (usToMove && (them.pawnAttacked & minorBit)) return false;

  if (!p.inCheck()) {
    const int r = S::kpk(usToMove, us.kingSquare(), them.kingSquare(), us.lists[Pawn][0]);
    if (r == KpkBitbase::Draw) {
      if (them.pieces[Knight] && rankOf(pawn) == 7) {
        const int knight = S::square(minor);
        if (knight == pawn - 1 && otherKing == pawn - 2) return false;
        if (knight == pawn + 1) return otherKing != pawn + 2;
      }
      return true;
    }
  }

  if (usToMove && (them.attacked & minorBit)) return false;

  bool draw;
  if (them.pieces[Bishop]) {
    // The pawn's path: ahead of it to the promotion square, from two
    // squares ahead on its first move, with its own square when the minor's
    // side is to move.
    Bitboard path = northFill(north(squareBit(pawn)));
    if (rankOf(pawn) == 2) path &= ~north(squareBit(pawn));
    if (!usToMove) path |= squareBit(pawn);
    // us.attacked: squares the minor's side attacks; them.attacked: squares the pawn's side attacks.
    const Bitboard held = S::squares((us.attacked & ~them.attacked) | us.attackedTwice);
    draw = (path & held) != 0;
  } else {
    draw = knightCatchesPawn(S::square(minor), pawn, ownKing, otherKing, !usToMove);
  }
  if (draw) return true;
  *score = S::sign * pawnAdvanceValue(pawn);
  return false;
}

template <Color Strong>
bool PawnAgainstMinorEvaluator<Strong>::evaluateForSide(const Position& p, int* score) const {
  return evaluateForSideGeneric(p, score);
}

template <Color Strong>
bool PawnAgainstMinorEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                              short*) const {
  const SideState& us = Side<Strong>::us(p);
  const SideState& them = Side<Strong>::them(p);
  const bool kingInCornerZone = them.pieces[Knight] && (us.pieces[Pawn] & (FileA | FileH)) &&
                                ((LightCornerZone | DarkCornerZone) & us.pieces[King]);
  int exact = 0;
  if (evaluate(p, &exact)) {
    if (kingInCornerZone) return false;
    *score = p.whiteToMove ? exact : -exact;
    return true;
  }
  if (kingInCornerZone) return false;
  return cutForSide<Strong>(p, 0, MateScore, alpha, beta, score);
}

template class PawnAgainstMinorEvaluator<White>;
template class PawnAgainstMinorEvaluator<Black>;

// --- Minor piece and rook pawns against king ---

namespace {

// The rook-pawn draw with the minor piece's side C to move or not.
template <Color C>
bool rookPawnDraw(const Position& p) {
  using S = Side<C>;
  const SideState& us = S::us(p);
  const SideState& them = S::them(p);
  const Bitboard pawns = us.pieces[Pawn] | them.pieces[Pawn];
  if (pawns & ~(FileA | FileH)) return false;
  if (AttackTables::popCount(pawns) >= 2 && (pawns & FileA) && (pawns & FileH)) return false;

  // Seen from the minor's side: its pawns move toward rank 8.
  const Bitboard ownPawns = S::squares(us.pieces[Pawn]);
  const Bitboard otherPawns = S::squares(them.pieces[Pawn]);
  const int weakKing = S::square(them.kingSquare());
  const int strongKing = S::square(us.kingSquare());
  const int promotion = fileOf(S::square(us.lists[Pawn][0]));  // on rank 8: square = file
  const Bitboard weakKingBit = squareBit(weakKing);
  const Bitboard nearWeakKing = attackTables.kingAttacks[weakKing];

  if (Corners & weakKingBit) {
    if (weakKing != promotion) return false;
    if (us.pieces[Bishop]) {
      if (isLight(promotion) == isLight(S::square(us.lists[Bishop][0]))) return false;
      // The most advanced own pawn is the lowest square.
      const int front = AttackTables::lowestSquare(ownPawns);
      const Bitboard behindFront = southFill(south(squareBit(front)));
      return !(otherPawns & fileMask(promotion) & behindFront);
    }
    return (ownPawns & nearWeakKing) && !(ownPawns & attackTables.kingAttacks[strongKing]);
  }
  if (!S::toMove(p) || !us.pieces[Knight]) return false;
  const int knight = S::square(us.lists[Knight][0]);
  return (Corners & Rank8 & squareBit(strongKing)) && (ownPawns & attackTables.kingAttacks[strongKing]) &&
         (nearWeakKing & attackTables.kingAttacks[strongKing]) && isLight(weakKing) == isLight(knight) &&
         rowOf(weakKing) <= 1;
}

}  // namespace

template <Color Strong>
bool MinorAndPawnsEvaluator<Strong>::evaluate(const Position& p, int* score) const {
  if (!rookPawnDraw<Strong>(p)) return false;
  *score = Side<Strong>::sign;
  return true;
}

template <Color Strong>
bool MinorAndPawnsEvaluator<Strong>::evaluateForSide(const Position& p, int* score) const {
  return evaluateForSideGeneric(p, score);
}

template <Color Strong>
bool MinorAndPawnsEvaluator<Strong>::probe(const Position& p, int* score, int alpha, int beta, int,
                                           short*) const {
  if (rookPawnDraw<Strong>(p)) {
    *score = p.whiteToMove == (Strong == White) ? 1 : -1;
    return true;
  }
  if (Side<Strong>::them(p).counts[0] != 1) return false;
  return cutForSide<Strong>(p, 0, MateScore, alpha, beta, score);
}

template class MinorAndPawnsEvaluator<White>;
template class MinorAndPawnsEvaluator<Black>;

// --- Rook and pawn against rook ---

template <Color PawnSide>
bool RookPawnAgainstRookEvaluator<PawnSide>::evaluate(const Position& p, int* score) const {
  using S = Side<PawnSide>;
  const RookPawnRankMasks& ranks = PawnSide == White ? whitePawn_ : blackPawn_;
  const SideState& us = S::us(p);
  const SideState& them = S::them(p);
  const int pawn = us.lists[Pawn][0];
  const Bitboard pawnBit = squareBit(pawn);
  const int pawnFile = fileOf(pawn);
  const int defenderKing = them.kingSquare();
  const Bitboard defenderRooks = them.pieces[Rook];
  const bool defenderToMove = !S::toMove(p);
  const bool defenderInCheck = (them.attacked & them.pieces[King]) != 0;
  const bool attackerInCheck = (us.attacked & us.pieces[King]) != 0;
  // Squares ahead of the pawn, toward its promotion rank.
  const Bitboard ahead = PawnSide == White ? northFill(north(pawnBit)) : southFill(south(pawnBit));

  // The defending king on the promotion square.
  if (ranks.promotionRank & fileMask(pawnFile) & squareBit(defenderKing)) {
    const Bitboard rookNotAttacked = defenderRooks & ~them.attacked;
    if ((ranks.sixthRank | ranks.seventhRank) & pawnBit) {
      if ((defenderRooks & ranks.firstRank) && ((defenderToMove && !defenderInCheck) || attackerInCheck)) {
        *score = S::sign;
        return true;
      }
    } else if ((defenderRooks & ranks.sixthRank) &&
               (defenderToMove || (rookNotAttacked & ranks.sixthRank))) {
      *score = S::sign;
      return true;
    }
    if (!((fileMask(2) | fileMask(3) | fileMask(4) | fileMask(5)) & pawnBit) &&
        (defenderRooks & ranks.promotionRank) && (defenderToMove || (rookNotAttacked & ranks.promotionRank))) {
      *score = S::sign;
      return true;
    }
  }

  // The long-side defence: the rook far to one side, the king on the
  // pawn's file or on the other side.
  const int rookFile = fileOf(them.lists[Rook][0]);
  const int kingFile = fileOf(defenderKing);
  const int rookSide = rookFile > pawnFile ? 1 : -1;
  if ((rookFile - pawnFile) * rookSide >= 4 && (kingFile == pawnFile || (kingFile - pawnFile) * rookSide < 0)) {
    *score -= S::sign * 200;
    const Bitboard path = pawnBit | ahead;
    const Bitboard strip = rookSide > 0 ? west(path) : east(path);
    const int attackerKing = us.kingSquare();
    // us.attacked: squares the defender attacks.
    const Bitboard kingRoom = (squareBit(attackerKing) | attackTables.kingAttacks[attackerKing]) & ~us.attacked;
    const Bitboard attackerRooks = us.pieces[Rook];
    const bool rookBehind = (attackerRooks & fileMask(pawnFile)) && !(attackerRooks & ahead);
    if (!(kingRoom & strip) && !rookBehind && (defenderToMove || attackerInCheck)) {
      *score = S::sign;
      return true;
    }
  }

  if ((ranks.seventhRank & pawnBit) && (us.pieces[Rook] & ranks.fifthRank) &&
      (attackTables.kingAttacks[us.kingSquare()] & pawnBit))
    *score += S::sign * 60;
  return false;
}

template class RookPawnAgainstRookEvaluator<White>;
template class RookPawnAgainstRookEvaluator<Black>;

// --- Bishops, one each ---

namespace {

// The single-pawn draw of opposite bishops with colour C owning the pawn.
template <Color C>
bool oppositeBishopsHoldPawn(const Position& p) {
  const SideState& us = Side<C>::us(p);
  const SideState& them = Side<C>::them(p);
  const int bishop = them.lists[Bishop][0];
  if (them.attacked & squareBit(bishop)) return false;
  const int king = us.kingSquare();
  if ((attackTables.diagA1H8Line[bishop] | attackTables.diagA8H1Line[bishop]) & squareBit(king)) return false;
  const Bitboard pawnBit = us.pieces[Pawn];
  const Bitboard frontSpan = C == White ? northFill(north(pawnBit)) : southFill(south(pawnBit));
  for (const Bitboard diagonal : {AttackTables::diagA1H8Attacks(bishop, p.occupied),
                                  AttackTables::diagA8H1Attacks(bishop, p.occupied)})
    if ((diagonal & frontSpan) && AttackTables::popCount(diagonal) >= 2) return true;
  return false;
}

inline bool oppositeBishops(const Position& p) {
  return isLight(p.white.lists[Bishop][0]) != isLight(p.black.lists[Bishop][0]);
}

}  // namespace

bool BishopEndingEvaluator::evaluate(const Position& p, int* score) const {
  if (p.white.counts[Pawn] + p.black.counts[Pawn] != 1 || !oppositeBishops(p)) return false;
  if (p.white.pieces[Pawn] ? oppositeBishopsHoldPawn<White>(p) : oppositeBishopsHoldPawn<Black>(p)) {
    *score = p.white.pieces[Pawn] ? 1 : -1;
    return true;
  }
  return false;
}

bool BishopEndingEvaluator::evaluateForSide(const Position& p, int* score) const {
  return evaluateForSideGeneric(p, score);
}

bool BishopEndingEvaluator::probe(const Position& p, int* score, int, int, int, short*) const {
  int exact = *score;
  if (!evaluate(p, &exact)) return false;
  // The cut is in the side to move's view.
  *score = p.whiteToMove ? exact : -exact;
  return true;
}

int BishopEndingEvaluator::scale(const Position& p, const Evaluator&, int score) const {
  if (!oppositeBishops(p)) return score;
  int h = score / 2;
  if (h > 500) h -= (h - 500) / 2;
  if (h < -500) h -= (h + 500) / 2;
  const int whitePawns = p.white.counts[Pawn], blackPawns = p.black.counts[Pawn];
  if (whitePawns == blackPawns) return score - h;
  const Bitboard whiteColour = isLight(p.white.lists[Bishop][0]) ? LightSquares : ~LightSquares;
  if (whitePawns > blackPawns) return score - h - 30 * AttackTables::popCount(p.black.pieces[Pawn] & whiteColour);
  return score - h + 30 * AttackTables::popCount(p.white.pieces[Pawn] & ~whiteColour);
}

// --- Knights, one each ---

int KnightEndingEvaluator::scale(const Position& p, const Evaluator&, int score) const {
  const Bitboard rookFiles[2] = {FileA, FileH};
  for (const Bitboard file : rookFiles)
    score += 63 * (int((p.white.pieces[Pawn] & file) != 0) - int((p.black.pieces[Pawn] & file) != 0));
  auto twoApart = [](int king, int knight) {
    const int df = fileDistance(king, knight), dr = rowDistance(king, knight);
    return (df == 0 || df == 2) && (dr == 0 || dr == 2);
  };
  if (twoApart(p.white.kingSquare(), p.black.lists[Knight][0])) score += 27;
  if (twoApart(p.black.kingSquare(), p.white.lists[Knight][0])) score -= 27;
  return score;
}

// --- Queens, one each ---

int QueenEndingEvaluator::scale(const Position& p, const Evaluator& evaluator, int score) const {
  const Bitboard passed = evaluator.pawnEntry().passedPawns;
  if (!(p.white.attacked & p.white.pieces[King]) && (passed & p.white.pieces[Pawn])) score += 127;
  if (!(p.black.attacked & p.black.pieces[King]) && (passed & p.black.pieces[Pawn])) score -= 127;
  return score + 6 * (centreManhattan(p.black.lists[Queen][0]) - centreManhattan(p.white.lists[Queen][0]));
}

// --- Bishop against knight ---

namespace {

// Squares a minor reaches in up to two moves over squares neither held by
// its own side nor attacked by the other.
template <PieceType Type>
Bitboard minorReach(const Position& p, const SideState& own, int square) {
  auto moves = [&](int from) {
    return Type == Bishop ? AttackTables::bishopAttacks(from, p.occupied) : attackTables.knightAttacks[from];
  };
  const Bitboard allowed = ~own.pieces[0] & ~own.attacked;
  const Bitboard first = moves(square) & allowed;
  Bitboard reach = first;
  for (Bitboard b = first; b; b &= b - 1) reach |= moves(AttackTables::lowestSquare(b)) & allowed;
  return reach;
}

// A side's weak pawns: backward, or blocked by an enemy pawn and not
// defended by an own pawn.
Bitboard weakPawns(const SideState& own, const SideState& other, bool white, Bitboard backward) {
  const Bitboard pawns = own.pieces[Pawn];
  const Bitboard blocked = white ? pawns & south(other.pieces[Pawn]) : pawns & north(other.pieces[Pawn]);
  const Bitboard defended = white ? whitePawnAttacks(pawns) : blackPawnAttacks(pawns);
  return (pawns & backward) | (blocked & ~defended);
}

}  // namespace

int BishopKnightEndingEvaluator::scale(const Position& p, const Evaluator& evaluator, int score) const {
  const bool whiteBishop = p.white.counts[Bishop] == 1;
  const SideState& bishopSide = whiteBishop ? p.white : p.black;
  const SideState& knightSide = whiteBishop ? p.black : p.white;
  const PawnHashEntry& entry = evaluator.pawnEntry();

  const Bitboard pawns = p.white.pieces[Pawn] | p.black.pieces[Pawn];
  int lowFile = 8, highFile = -1;
  for (int f = 0; f < 8; ++f)
    if (pawns & fileMask(f)) {
      if (f < lowFile) lowFile = f;
      highFile = f;
    }
  int A = highFile >= 0 ? 25 * (highFile - lowFile + 1) - 109 : 0;

  const int bishop = bishopSide.lists[Bishop][0];
  const Bitboard passed = entry.passedPawns & bishopSide.pieces[Pawn];
  for (Bitboard b = passed; b; b &= b - 1) {
    const int pawn = AttackTables::lowestSquare(b);
    const int file = fileOf(pawn);
    if (file == 0 || file == 7) {
      const int promotion = whiteBishop ? file : 56 + file;
      A += isLight(promotion) == isLight(bishop) ? 252 : 220;
    } else if (file == 1 || file == 6) {
      A += 125;
    }
  }
  score += whiteBishop ? A : -A;

  const Bitboard whiteWeak = weakPawns(p.white, p.black, true, entry.backwardPawns);
  const Bitboard blackWeak = weakPawns(p.black, p.white, false, entry.backwardPawns);
  const Bitboard bishopReach = minorReach<Bishop>(p, bishopSide, bishop);
  const Bitboard knightReach = minorReach<Knight>(p, knightSide, knightSide.lists[Knight][0]);
  const Bitboard whiteMinorReach = whiteBishop ? bishopReach : knightReach;
  const Bitboard blackMinorReach = whiteBishop ? knightReach : bishopReach;
  score -= 35 * AttackTables::popCount(whiteWeak & blackMinorReach);
  score += 35 * AttackTables::popCount(blackWeak & whiteMinorReach);
  return score;
}

// --- Pawns on one side only ---

int OneSidedPawnsEvaluator::scale(const Position& p, const Evaluator&, int score) const {
  const int d = p.white.material - p.black.material;
  const int pieces = (p.white.material - 1000 * p.white.counts[Pawn]) - (p.black.material - 1000 * p.black.counts[Pawn]);
  if (!p.white.pieces[Pawn] && pieces >= 1 && pieces <= 3500 && d > 0 && score > 0) {
    const int s = score - (3 * d) / 4;
    return s > 0 ? s : 0;
  }
  if (!p.black.pieces[Pawn] && pieces >= -3500 && pieces <= -1 && d < 0 && score < 0) {
    const int s = score - (3 * d) / 4;
    return s < 0 ? s : 0;
  }
  return score;
}

// --- Pawn endings ---

bool PawnEndingEvaluator::probe(const Position& p, int*, int, int, int, short* depthChange) const {
  const SideState& us = p.toMove();
  // A boxed-in king: search a little deeper.
  if (!(attackTables.kingAttacks[us.kingSquare()] & ~us.attacked)) *depthChange = short(*depthChange + 7);
  return false;
}

namespace {

// Squares of b moved d files toward the a-file; squares that would leave
// the board drop out.
inline Bitboard westBy(Bitboard b, int d) {
  Bitboard keep = 0;
  for (int f = d; f < 8; ++f) keep |= fileMask(f);
  return (b & keep) >> d;
}

// A passed pawn's race against the other king, every square seen from the
// pawn's owner (moving toward rank 8; the other side's pawns toward rank
// 1). Gives back the race's value, 0 when the pawn is caught or the race
// has no value.
int passedPawnRace(int pawn, Bitboard ownPawns, Bitboard otherPawns, int ownKing, int otherKing, bool ownToMove) {
  const Bitboard otherOwnPawns = ownPawns & ~squareBit(pawn);
  const Bitboard ownKingReach = attackTables.kingAttacks[ownKing];
  const Bitboard fixedClosed = whitePawnAttacks(otherOwnPawns) | ownKingReach;
  if (rankOf(pawn) == 2 && ownKing != pawn - 8) pawn -= 8;

  auto closed = [&]() { return fixedClosed | otherPawns | whitePawnAttacks(squareBit(pawn)); };
  Bitboard area = squareBit(otherKing);
  if (!ownToMove) {
    area |= attackTables.kingAttacks[otherKing] & ~closed();
    if (area & squareBit(pawn)) return 0;
  }
  int n = 2500;
  bool promoted = false;
  for (;;) {
    // The other side's pawns step toward rank 1 unless an own pawn or the
    // own king's reach (where the other king has not come) stops them.
    const Bitboard blockers = otherOwnPawns | squareBit(pawn) | (ownKingReach & ~area);
    const Bitboard movers = otherPawns & ~Rank1;
    otherPawns = (otherPawns & Rank1) | (south(movers) & ~blockers) | (movers & north(blockers));
    if (otherPawns & Rank1) promoted = true;
    if (promoted) {
      n -= 625;
      if (n < 626) return 0;
    }
    area = kingDilation(area) & ~closed();
    const int next = pawn - 8;
    if (next == ownKing) return 0;
    pawn = next;
    if (area & squareBit(pawn)) return 0;
    if (rankOf(pawn) == 8) return n;
    n -= n / 8;
  }
}

// The value of colour C's passed pawns in C's view: the best race, else an
// outside passer, separated passers or the bitbase against a bare king.
template <Color C>
int passedPawnsValue(const Position& p, const PawnHashEntry& entry) {
  using S = Side<C>;
  const SideState& us = S::us(p);
  const SideState& them = S::them(p);
  const Bitboard passed = S::squares(entry.passedPawns & us.pieces[Pawn]);
  if (!passed) return 0;
  const Bitboard ownPawns = S::squares(us.pieces[Pawn]);
  const Bitboard otherPawns = S::squares(them.pieces[Pawn]);
  const int ownKing = S::square(us.kingSquare());
  const int otherKing = S::square(them.kingSquare());
  const bool ownToMove = S::toMove(p);

  int best = 0;
  for (Bitboard b = passed; b; b &= b - 1) {
    const int v = passedPawnRace(AttackTables::lowestSquare(b), ownPawns, otherPawns, ownKing, otherKing, ownToMove);
    if (v > best) best = v;
  }
  if (best > 0) return best;
  // The passed set holds one pawn per file.
  if (AttackTables::popCount(passed) < 2) return 0;

  // An outside passer: a passed file farther away than the pawn's distance
  // to its promotion rank.
  const int topRank = rankOf(AttackTables::lowestSquare(passed));
  const Bitboard topRow = passed & evalbits::rankMask(topRank);
  const Bitboard examined = (passed & ~topRow) ? passed & ~topRow : topRow;
  for (Bitboard b = examined; b; b &= b - 1) {
    const int pawn = AttackTables::lowestSquare(b);
    for (Bitboard o = passed; o; o &= o - 1)
      if (fileDistance(pawn, AttackTables::lowestSquare(o)) > 7 - rankOf(pawn)) return 1200;
  }

  // Separated passers: the closest pair of passers on neighbouring ranks.
  int pairValue = -1;
  const bool frontAttacked = !ownToMove && AttackTables::popCount(topRow) == 1 && (S::squares(us.attacked) & topRow);
  if (!frontAttacked) {
    const Bitboard withBelow = passed | south(passed);
    for (int d = 1; d < 8 && pairValue < 0; ++d) {
      if (d == 3 || !(westBy(withBelow, d) & withBelow)) continue;
      pairValue = d == 1 ? 190 : d == 2 ? 50 : 50 * (d - 1);
    }
  }
  if (pairValue >= 0) return otherPawns ? pairValue : 1200;
  if (otherPawns) return 0;
  for (Bitboard b = entry.passedPawns & us.pieces[Pawn]; b; b &= b - 1) {
    const int r = S::kpk(ownToMove, us.kingSquare(), them.kingSquare(), AttackTables::lowestSquare(b));
    if (KpkBitbase::isWin(r)) return 1200;
  }
  return -400;
}

// The barrier region's value for one king: inside it, or next to it.
inline int barrierValue(Bitboard region, int king) {
  if (!region) return 0;
  if (region & squareBit(king)) return 160;
  return (region & attackTables.kingAttacks[king]) ? 75 : 0;
}

}  // namespace

int PawnEndingEvaluator::scale(const Position& p, const Evaluator& evaluator, int s) const {
  const PawnHashEntry& entry = evaluator.pawnEntry();
  const int wk = p.white.kingSquare(), bk = p.black.kingSquare();
  const Bitboard whitePawns = p.white.pieces[Pawn], blackPawns = p.black.pieces[Pawn];
  const Bitboard pawns = whitePawns | blackPawns;

  // The opposition: the side to move without a spare pawn move pays.
  const int df = fileDistance(wk, bk), dr = rowDistance(wk, bk);
  if (df % 2 == 0 && dr % 2 == 0 && df <= 4 && dr <= 4) {
    if (p.whiteToMove) {
      if (!(south(blackPawns) & ~pawns & ~whitePawnAttacks(whitePawns))) s -= 60;
    } else if (!(north(whitePawns) & ~pawns & ~blackPawnAttacks(blackPawns))) {
      s += 60;
    }
  }
  s += passedPawnsValue<White>(p, entry);
  s -= passedPawnsValue<Black>(p, entry);
  s += barrierValue(entry.whiteBarrierRegion, wk);
  s -= barrierValue(entry.blackBarrierRegion, bk);
  return s;
}
