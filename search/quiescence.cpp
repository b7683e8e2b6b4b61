// The quiescence search below the horizon.
#include <algorithm>

#include "board/attack_tables.h"
#include "eval/endgame_evaluators.h"
#include "search/ply_scope.h"
#include "search/searcher.h"

namespace {

constexpr Bitboard LightSquaresByHalf = 0xAA55AA55AA55AA55ULL;
constexpr Bitboard DarkSquaresByHalf = 0x55AA55AA55AA55AAULL;

}  // namespace

// The delta filter: estimate each kind of capture from the material
// evaluation alone, and let through only the targets whose capture might
// reach alpha. Gives back the targets; *bestSkipped rises to the best
// estimate of a capture filtered out.
__attribute__((always_inline)) inline Bitboard Searcher::deltaFilter(const SideState& us, SideState& them, int eval,
                                                                     int alpha, int* bestSkipped) {
  const Position& p = game_.position;
  Bitboard filter = them.pieces[Queen] | (them.pieces[0] & p.pinned & (them.attackedTwice | ~us.attacked));
  --them.counts[0];
  auto estimate = [&](int type) {
    const int count = them.counts[type] - 1;
    --them.counts[type];
    them.material -= PieceValues[type];
    them.materialKey ^= (*them.materialKeyDeltas)[type - 1][count];
    const int m = eval + DeltaEstimateMargin + evaluator_.materialDelta();
    them.materialKey ^= (*them.materialKeyDeltas)[type - 1][count];
    them.material += PieceValues[type];
    ++them.counts[type];
    return m;
  };
  // Bishops by square colour: the light ones are estimated with only the
  // dark ones left, and the other way round.
  const Bitboard bishops = them.pieces[Bishop];
  if (bishops & LightSquaresByHalf) {
    them.pieces[Bishop] = bishops & DarkSquaresByHalf;
    const int m = estimate(Bishop);
    them.pieces[Bishop] = bishops;
    if (m >= alpha) filter |= bishops & LightSquaresByHalf;
    else if (m > -MateScore) *bestSkipped = std::max(*bestSkipped, m);
  }
  if (bishops & DarkSquaresByHalf) {
    them.pieces[Bishop] = bishops & LightSquaresByHalf;
    const int m = estimate(Bishop);
    them.pieces[Bishop] = bishops;
    if (m >= alpha) filter |= bishops & DarkSquaresByHalf;
    else *bestSkipped = std::max(*bestSkipped, m);
  }
  for (int type : {Pawn, Knight, Rook}) {
    if (!them.counts[type]) continue;
    const int m = estimate(type);
    if (m >= alpha) filter |= them.pieces[type];
    else *bestSkipped = std::max(*bestSkipped, m);
  }
  ++them.counts[0];
  return filter;
}

int Searcher::quiesce(SideState& us, SideState& them, int alpha, int beta, int qsDepth) {
  Position& p = game_.position;
  // Enter the node.
  PlyScope scope(ply_);
  if (ply_ > selectiveDepth_) selectiveDepth_ = ply_;
  SearchStackEntry& e = entry(ply_);
  e.bestMove = 0;
  e.movesSearched = 0;
  if (ply_ > MaxPly) return evaluator_.evaluate(p);
  // Mates in one found from the attack maps alone.
  const bool inCheck = (us.attacked & us.pieces[King]) != 0;
  if (!inCheck) {
    if ((us.counts[Queen] && findQueenMate(us, them, &e.bestMove)) ||
        ((them.pieces[King] & BoardEdge) && findMateInOne(us, them, &e.bestMove)))
      return MateScore - (ply_ + 1);
    e.bestMove = 0;
  }
  // Only the repetition four plies up is looked for here.
  const uint64_t key = p.hashKey;
  if (ply_ >= 4 && entry(ply_ - 4).key == key) return 0;
  // The transposition table: a cutoff at any window, else the hash move.
  e.key = key;
  Move hashMove = 0;
  TTProbe probe;
  if (tt_->probe(key, ply_, probe)) {
    if (TTEntry::allowsCutoff(probe, alpha, beta, qsDepth)) {
      if (probe.score > alpha) e.bestMove = probe.move;
      return probe.score;
    }
    if (moveKey(probe.move)) hashMove = probe.move;
  }
  countNode();
  const int eval = evaluator_.evaluate(p);
  e.staticEval = eval;

  int best;
  bool filterOn = false;
  Bitboard filter = them.pieces[0];
  int bestSkipped = WorstScore;
  if (!inCheck) {
    // Stand pat.
    if (eval >= beta) return eval;
    // Deep enough, with nothing to capture and no promotion pending, the
    // evaluation is the answer.
    const Bitboard ourPawnAttacks = them.pawnAttacked;
    if (qsDepth < QsLastCheckDepth && !(ourPawnAttacks & (Rank1 | Rank8)) && !(them.pieces[0] & them.attacked))
      return eval;
    if (eval > alpha) {
      alpha = eval;
      best = eval;
    } else if (qsDepth >= QsLastCheckDepth || eval + DeltaFilterMargin >= alpha) {
      best = eval;
    } else {
      filter = deltaFilter(us, them, eval, alpha, &bestSkipped);
      best = eval;
      filterOn = true;
    }
  } else {
    // In check: mated unless an evasion is found.
    best = ply_ - MateScore;
  }
  // Endgame knowledge may settle the node.
  const EndgameEvaluator* endgame = evaluator_.endgameEvaluator();
  int known = 0;
  if (endgame && endgame->evaluateForSide(p, &known)) return known;
  // The moves: checks and pushes near alpha at the first ply, checks and
  // captures down to the last checking depth, then captures (evasions in check).
  int type = Captures;
  if (qsDepth == QsFirstDepth) type = eval + QuietPushMargin >= alpha ? ChecksAndPushes : ChecksAndCaptures;
  else if (qsDepth >= QsLastCheckDepth) type = ChecksAndCaptures;
  MoveList list(moveStack_, p, history_[p.whiteToMove], type, &hashMove, e.killers, nullptr);
  // The children's depth: evasions near the horizon keep the checks going
  // (a single evasion costs nothing), everything else searches captures.
  int childQs = QsCaptureDepth;
  if (inCheck && qsDepth >= QsLastCheckDepth)
    childQs = std::min(QsFirstDepth, qsDepth - 1 + (list.size() == 1 ? 2 : 0));
  // The move loop.
  const int standPatAlpha = alpha;
  int alphaNow = alpha;
  e.undo.save(p);
  while (const MoveListEntry* picked = list.next()) {
    const Move m = picked->move;
    if (filterOn && !(filter & squareBit(moveTo(m))) && movePromotion(m) != Queen) continue;
    e.move = m;
    if (!p.makeMove(m, e.undo)) continue;
    const bool captured = e.undo.captured != 0;
    const int v = -quiesce(them, us, -beta, -alphaNow, childQs);
    e.undo.restore();
    ++e.movesSearched;
    if (v >= beta) {
      tt_->store(key, m, v, ttWord(qsDepth, TTLowerBound), ply_);
      return v;
    }
    if (v > best) {
      e.bestMove = m;
      // Once a capture answers the check, the deep search tries only
      // captures and queen promotions.
      if (inCheck && qsDepth < QsLastCheckDepth && v >= -MaxPlainScore && captured) {
        filterOn = true;
        filter = them.pieces[0];
      }
      alphaNow = std::max(alphaNow, v);
      best = v;
    }
  }
  // The node's result: at least the best filtered-out estimate.
  if (!inCheck && best < bestSkipped) best = bestSkipped;
  if (moveKey(e.bestMove))
    tt_->store(key, e.bestMove, best, ttWord(qsDepth, best > standPatAlpha ? TTExact : TTUpperBound), ply_);
  return best;
}

bool Searcher::quietScore(int width, int* scoreOut) {
  iteration_ = 0;
  selectiveDepth_ = 0;
  ply_ = -1;
  lastNullPly_ = NoLastNullPly;
  previousNullPly_ = NoPreviousNullPly;
  nodes_.store(0, std::memory_order_relaxed);
  clearSearchState();
  tt_->age();
  if (alwaysClearHash_) {
    tt_->clear();
    evaluator_.clearHashes();
  }
  Position& p = game_.position;
  const int e = evaluator_.evaluate(p);
  const int v = quiesce(p.toMove(), p.notToMove(), e - width - 1, e + width + 1, QsFirstDepth);
  if (scoreOut) *scoreOut = v;
  return e - width - 1 < v && v < e + width + 1;
}
