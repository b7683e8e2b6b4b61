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

// The table's default member: no knowledge, every answer false, the score
// unchanged.
class DefaultEndgameEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// The knowledge classes, in table order. Until a class's own rules are
// written it answers exactly as the default member, so selection already
// hands out the right object and the rules can be added one class at a time.

// KvK, KMvK, KvKM, KMvKM.
class DrawEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Two knights against a bare king, either colour.
class KNNvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KPvK.
class KPvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KvKP.
class KvKPEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvK, KQvK.
class KXvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KvKR, KvKQ.
class KvKXEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKR, KQvKQ.
class KXvKXEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KQvKR.
class KQvKREvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKQ.
class KRvKQEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KPvKM.
class KPvKMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KMvKP.
class KMvKPEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKM.
class KRvKMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KMvKR.
class KMvKREvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Black minor and pawns against the white king (and pawns).
class KvKMPEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// White minor and pawns against the black king (and pawns).
class KMPvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KBNvK.
class KBNvKEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KvKBN.
class KvKBNEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRMvKR.
class KRMvKREvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKRM.
class KRvKRMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KMMvKM.
class KMMvKMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KMvKMM.
class KMvKMMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KMMvKR.
class KMMvKREvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKMM.
class KRvKMMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KQMvKQ.
class KQMvKQEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KQvKQM.
class KQvKQMEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// KRvKMP; the held value replaces the material score.
class KRvKMPEvaluator final : public EndgameEvaluator {
 public:
  KRvKMPEvaluator() : value_(100) {}
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int heldValue() const { return value_; }

 private:
  int value_;
};

// KMPvKR; the held value replaces the material score.
class KMPvKREvaluator final : public EndgameEvaluator {
 public:
  KMPvKREvaluator() : value_(-100) {}
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int heldValue() const { return value_; }

 private:
  int value_;
};

// KRPvKR, with the rank masks of both pawn colours.
class KRPvKREvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  const RookPawnRankMasks& ranksForWhitePawn() const { return whitePawn_; }
  const RookPawnRankMasks& ranksForBlackPawn() const { return blackPawn_; }

 private:
  RookPawnRankMasks whitePawn_ = RookPawnRankMasks::forWhitePawn();
  RookPawnRankMasks blackPawn_ = RookPawnRankMasks::forBlackPawn();
};

// KRvKRP, with the rank masks of both pawn colours.
class KRvKRPEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  const RookPawnRankMasks& ranksForWhitePawn() const { return whitePawn_; }
  const RookPawnRankMasks& ranksForBlackPawn() const { return blackPawn_; }

 private:
  RookPawnRankMasks whitePawn_ = RookPawnRankMasks::forWhitePawn();
  RookPawnRankMasks blackPawn_ = RookPawnRankMasks::forBlackPawn();
};

// KRMvKRP; the held value replaces the material score.
class KRMvKRPEvaluator final : public EndgameEvaluator {
 public:
  KRMvKRPEvaluator() : value_(100) {}
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int heldValue() const { return value_; }

 private:
  int value_;
};

// KRPvKRM; the held value replaces the material score.
class KRPvKRMEvaluator final : public EndgameEvaluator {
 public:
  KRPvKRMEvaluator() : value_(-100) {}
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
  int heldValue() const { return value_; }

 private:
  int value_;
};

// Two knights against king and pawn, either colour.
class KNNvKPEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Kings and pawns only.
class PawnEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// One bishop each, with pawns.
class BishopEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// One knight each, with pawns.
class KnightEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// One queen each, with pawns.
class QueenEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Bishop against knight, with pawns.
class BishopKnightEndingEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};

// Any material where exactly one side has pawns.
class OneSidedPawnsEvaluator final : public EndgameEvaluator {
 public:
  bool evaluate(const Position& position, int* score) const override;
  bool evaluateForSide(const Position& position, int* score) const override;
  bool probe(const Position& position, int* score, int alpha, int beta, int depth,
             short* depthChange) const override;
};
