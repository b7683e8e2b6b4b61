#include "eval/endgame_evaluators.h"

#include "board/position.h"

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

bool DefaultEndgameEvaluator::evaluate(const Position&, int*) const { return false; }
bool DefaultEndgameEvaluator::evaluateForSide(const Position&, int*) const { return false; }
bool DefaultEndgameEvaluator::probe(const Position&, int*, int, int, int, short*) const { return false; }

// The knowledge classes whose rules are still to come answer as the default
// member: nothing exact, the score and the depth change left alone.
#define ANSWER_AS_DEFAULT(Class)                                                \
  bool Class::evaluate(const Position&, int*) const { return false; }          \
  bool Class::evaluateForSide(const Position&, int*) const { return false; }   \
  bool Class::probe(const Position&, int*, int, int, int, short*) const { return false; }

ANSWER_AS_DEFAULT(DrawEvaluator)
ANSWER_AS_DEFAULT(KNNvKEvaluator)
ANSWER_AS_DEFAULT(KPvKEvaluator)
ANSWER_AS_DEFAULT(KvKPEvaluator)
ANSWER_AS_DEFAULT(KXvKEvaluator)
ANSWER_AS_DEFAULT(KvKXEvaluator)
ANSWER_AS_DEFAULT(KXvKXEvaluator)
ANSWER_AS_DEFAULT(KQvKREvaluator)
ANSWER_AS_DEFAULT(KRvKQEvaluator)
ANSWER_AS_DEFAULT(KPvKMEvaluator)
ANSWER_AS_DEFAULT(KMvKPEvaluator)
ANSWER_AS_DEFAULT(KRvKMEvaluator)
ANSWER_AS_DEFAULT(KMvKREvaluator)
ANSWER_AS_DEFAULT(KvKMPEvaluator)
ANSWER_AS_DEFAULT(KMPvKEvaluator)
ANSWER_AS_DEFAULT(KBNvKEvaluator)
ANSWER_AS_DEFAULT(KvKBNEvaluator)
ANSWER_AS_DEFAULT(KRMvKREvaluator)
ANSWER_AS_DEFAULT(KRvKRMEvaluator)
ANSWER_AS_DEFAULT(KMMvKMEvaluator)
ANSWER_AS_DEFAULT(KMvKMMEvaluator)
ANSWER_AS_DEFAULT(KMMvKREvaluator)
ANSWER_AS_DEFAULT(KRvKMMEvaluator)
ANSWER_AS_DEFAULT(KQMvKQEvaluator)
ANSWER_AS_DEFAULT(KQvKQMEvaluator)
ANSWER_AS_DEFAULT(KRvKMPEvaluator)
ANSWER_AS_DEFAULT(KMPvKREvaluator)
ANSWER_AS_DEFAULT(KRPvKREvaluator)
ANSWER_AS_DEFAULT(KRvKRPEvaluator)
ANSWER_AS_DEFAULT(KRMvKRPEvaluator)
ANSWER_AS_DEFAULT(KRPvKRMEvaluator)
ANSWER_AS_DEFAULT(KNNvKPEvaluator)
ANSWER_AS_DEFAULT(PawnEndingEvaluator)
ANSWER_AS_DEFAULT(BishopEndingEvaluator)
ANSWER_AS_DEFAULT(KnightEndingEvaluator)
ANSWER_AS_DEFAULT(QueenEndingEvaluator)
ANSWER_AS_DEFAULT(BishopKnightEndingEvaluator)
ANSWER_AS_DEFAULT(OneSidedPawnsEvaluator)

#undef ANSWER_AS_DEFAULT
