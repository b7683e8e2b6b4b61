// Endgame knowledge: the abstract EndgameEvaluator and one class per
// material configuration (or family) the engine knows something about.
// Every EndgameTable holds one object of each class; selectEndgameEvaluator
// picks one by the piece counts of a position.
//
// Scores handed to evaluate() and scale() and given back by them are in
// white's view; evaluateForSide() and probe() work in the side to move's
// view. The objects hold only constant data, so one object may serve any
// number of positions and every operation is const.
#pragma once

#include "board/types.h"
#include "eval/bitboard_shifts.h"

class Evaluator;
class Position;

class EndgameEvaluator {
 public:
  virtual ~EndgameEvaluator();

  // score holds the material score in white's view. True: *score is now the
  // exact evaluation (white's view). False: the normal evaluation continues
  // from *score, which may have been changed.
  virtual bool evaluate(const Position& position, int* score) const = 0;

  // As evaluate(), in the side to move's view.
  virtual bool evaluateForSide(const Position& position, int* score) const = 0;

  // alpha, beta and depth (eighths of a ply) in the side to move's view.
  // True: the node can be cut with *score. False: the search goes on, with
  // *depthChange possibly replaced or added to; the search adds it to the
  // remaining depth.
  virtual bool probe(const Position& position, int* score, int alpha, int beta, int depth,
                     short* depthChange) const = 0;

  // Gives back the positional evaluation (white's view) adjusted by the
  // class's knowledge; the evaluator gives access to the current pawn entry.
  virtual int scale(const Position& position, const Evaluator& evaluator, int score) const;

  // The bound test: the true score in white's view lies in [whiteLow,
  // whiteHigh]. Turned to the side to move's view, a lower end at or above
  // beta cuts with the lower end, else an upper end at or below alpha cuts
  // with the upper end. Gives back whether the node is cut.
  static bool cutAtBounds(const Position& position, int whiteLow, int whiteHigh, int alpha, int beta,
                          int* score);

 protected:
  EndgameEvaluator() = default;

  // evaluate() with *score turned to the side to move's view (negated when
  // black is to move); gives back evaluate()'s answer.
  bool evaluateForSideGeneric(const Position& position, int* score) const;
};

// The rank masks of rook and pawn against rook, counted from the side that
// owns the pawn: its first rank, its promotion rank, its seventh, sixth and
// fifth ranks, and its sixth to eighth and fifth to eighth ranks.
struct RookPawnRankMasks {
  Bitboard firstRank;
  Bitboard promotionRank;
  Bitboard seventhRank;
  Bitboard sixthRank;
  Bitboard fifthRank;
  Bitboard sixthToEighth;
  Bitboard fifthToEighth;

  static constexpr RookPawnRankMasks forWhitePawn() {
    using evalbits::rankMask;
    using evalbits::rankRange;
    return {rankMask(1), rankMask(8), rankMask(7), rankMask(6), rankMask(5), rankRange(6, 8), rankRange(5, 8)};
  }
  static constexpr RookPawnRankMasks forBlackPawn() {
    using evalbits::rankMask;
    using evalbits::rankRange;
    return {rankMask(8), rankMask(1), rankMask(2), rankMask(3), rankMask(4), rankRange(1, 3), rankRange(1, 4)};
  }
};

// A class that knows nothing by default: evaluate, evaluateForSide and
// probe answer false and leave the score and the depth change alone. The
// knowledge classes override what they know.
class NoAnswerEndgameEvaluator : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// The table's default member: no knowledge, every answer false, the score
// unchanged.
class DefaultEndgameEvaluator final : public NoAnswerEndgameEvaluator {};

// The knowledge classes, in table order. A white-strong class and its
// black-strong mirror are one template over the strong side's colour;
// squares of the black side are turned top to bottom (square ^ 56), so that
// a position and its colour-mirrored copy are judged alike.

// KvK, KMvK, KvKM, KMvKM: a dead draw, searched no deeper.
class DrawEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Two knights against a bare king, either colour: a draw, searched at most
// one ply deep.
class KNNvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// King and pawn against king from the bitbase (Strong owns the pawn).
template <Color Strong>
class PawnAgainstKingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KPvKEvaluator = PawnAgainstKingEvaluator<White>;
using KvKPEvaluator = PawnAgainstKingEvaluator<Black>;

// Rook or queen against a bare king: a material bonus, and the bound of a
// certain win while no man of the strong side hangs.
template <Color Strong>
class MajorAgainstKingEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KXvKEvaluator = MajorAgainstKingEvaluator<White>;
using KvKXEvaluator = MajorAgainstKingEvaluator<Black>;

// KRvKR, KQvKQ: a draw in a quiet position.
class KXvKXEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Queen against rook (Strong has the queen).
template <Color Strong>
class QueenAgainstRookEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KQvKREvaluator = QueenAgainstRookEvaluator<White>;
using KRvKQEvaluator = QueenAgainstRookEvaluator<Black>;

// Pawn against a minor piece (Strong owns the pawn).
template <Color Strong>
class PawnAgainstMinorEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KPvKMEvaluator = PawnAgainstMinorEvaluator<White>;
using KMvKPEvaluator = PawnAgainstMinorEvaluator<Black>;

// The families judged by the win-chance measure: a rook, a rook and a minor
// or two minors against a minor or a rook.
enum class WinChanceFamily {
  RookAgainstMinor,     // KRvKM: 33 a^2 + 1, the strong side does not lose
  RookMinorAgainstRook, // KRMvKR: 33 a^2 + 1, no probe
  TwoMinorsAgainstMinor, // KMMvKM: 1 with two knights, else 20 a^2 + 1,
                         // the strong side does not lose
  TwoMinorsAgainstRook,  // KMMvKR: as KMMvKM
};

// The win-chance measure of the strong side, a small integer; 10 stands
// for a tactical situation the measure does not judge.
int winChanceMeasure(const Position& position, Color strong);

template <Color Strong, WinChanceFamily Family>
class WinChanceEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KRvKMEvaluator = WinChanceEvaluator<White, WinChanceFamily::RookAgainstMinor>;
using KMvKREvaluator = WinChanceEvaluator<Black, WinChanceFamily::RookAgainstMinor>;
using KRMvKREvaluator = WinChanceEvaluator<White, WinChanceFamily::RookMinorAgainstRook>;
using KRvKRMEvaluator = WinChanceEvaluator<Black, WinChanceFamily::RookMinorAgainstRook>;

using KMMvKMEvaluator = WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstMinor>;
using KMvKMMEvaluator = WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstMinor>;
using KMMvKREvaluator = WinChanceEvaluator<White, WinChanceFamily::TwoMinorsAgainstRook>;
using KRvKMMEvaluator = WinChanceEvaluator<Black, WinChanceFamily::TwoMinorsAgainstRook>;

// A minor piece and pawns against king (and pawns): the rook-pawn draws
// (Strong has the minor).
template <Color Strong>
class MinorAndPawnsEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KMPvKEvaluator = MinorAndPawnsEvaluator<White>;
using KvKMPEvaluator = MinorAndPawnsEvaluator<Black>;

// Bishop and knight against king: drive the king to a corner of the
// bishop's colour (Strong has the pieces).
template <Color Strong>
class BishopKnightMateEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KBNvKEvaluator = BishopKnightMateEvaluator<White>;
using KvKBNEvaluator = BishopKnightMateEvaluator<Black>;

// Queen and minor against queen (Strong has the minor): the mop-up score,
// never a search cut.
template <Color Strong>
class QueenMinorAgainstQueenEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
using KQMvKQEvaluator = QueenMinorAgainstQueenEvaluator<White>;
using KQvKQMEvaluator = QueenMinorAgainstQueenEvaluator<Black>;

// The material-setting classes: the held value replaces the material
// score, and the side without pawns is never evaluated better than even.
class HeldValueEvaluator : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
  int heldValue() const { return value_; }

 protected:
  explicit HeldValueEvaluator(int value) : value_(value) {}

 private:
  int value_;
};

// KRvKMP.
class KRvKMPEvaluator final : public HeldValueEvaluator {
 public:
  KRvKMPEvaluator() : HeldValueEvaluator(100) {}
};

// KMPvKR.
class KMPvKREvaluator final : public HeldValueEvaluator {
 public:
  KMPvKREvaluator() : HeldValueEvaluator(-100) {}
};

// KRMvKRP.
class KRMvKRPEvaluator final : public HeldValueEvaluator {
 public:
  KRMvKRPEvaluator() : HeldValueEvaluator(100) {}
};

// KRPvKRM.
class KRPvKRMEvaluator final : public HeldValueEvaluator {
 public:
  KRPvKRMEvaluator() : HeldValueEvaluator(-100) {}
};

// Rook and pawn against rook, with the rank masks of both pawn colours
// (PawnSide owns the pawn): book draws and the long-side defence.
template <Color PawnSide>
class RookPawnAgainstRookEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  const RookPawnRankMasks& ranksForWhitePawn() const { return whitePawn_; }
  const RookPawnRankMasks& ranksForBlackPawn() const { return blackPawn_; }

 private:
  RookPawnRankMasks whitePawn_ = RookPawnRankMasks::forWhitePawn();
  RookPawnRankMasks blackPawn_ = RookPawnRankMasks::forBlackPawn();
};
using KRPvKREvaluator = RookPawnAgainstRookEvaluator<White>;
using KRvKRPEvaluator = RookPawnAgainstRookEvaluator<Black>;

// Two knights against king and pawn, either colour: an exact measure.
class KNNvKPEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
};

// Kings and pawns only.
class PawnEndingEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};

// One bishop each, with pawns.
class BishopEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};

// One knight each, with pawns.
class KnightEndingEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};

// One queen each, with pawns.
class QueenEndingEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};

// Bishop against knight, with pawns.
class BishopKnightEndingEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};

// Any material where exactly one side has pawns.
class OneSidedPawnsEvaluator final : public NoAnswerEndgameEvaluator {
 public:
  int scale(const Position& position, const Evaluator& evaluator, int score) const override;
};
