// The search's scores, depths, margins and extension amounts in one place:
// every rule of the search that compares against a number names it here, so
// a reader sees the rule and a tuner finds the knob. Depths are in eighths
// of a ply (OnePly); scores are milli-pawns in the side to move's view.
#pragma once

#include "board/types.h"

// --- scores ---

// Wider than any score: the full window is (-WindowBound, WindowBound).
constexpr int WindowBound = MateScore + 1;
// Below every result a node can give back (being mated scores ply - MateScore).
constexpr int WorstScore = -MateScore;
// The largest score that is no mate score.
constexpr int MaxPlainScore = MateThreshold - 1;
// The score of a root move whose position is not in the table yet.
constexpr int UnknownRootMoveScore = -999999;
// The score of an empty killer slot.
constexpr int EmptyKillerScore = -9999;
// Killer scores are kept in 16 bits.
constexpr int MaxKillerScore = 32767;
// The default resign threshold (the hidden Resign option sets it).
constexpr int DefaultResignThreshold = -7000;

// The plies of the last and the previous null move before any was made:
// above the root, far enough that no rule on recent null moves applies.
constexpr int NoLastNullPly = -1;
constexpr int NoPreviousNullPly = -10;

// --- node entry ---

// Deeper than this the node asks the clock whether it must stop.
constexpr int StopCheckDepth = OnePly;
// From this depth on the game's own repetitions and draw rules are consulted.
constexpr int GameDrawCheckDepth = 2 * OnePly;
// A late-move-reduced move whose two static evaluations sum below this
// (the mover gained more than two pawns) fails high in the parent anyway.
constexpr int ReducedMoveGainMargin = -200;

// --- transposition table ---

// A stored move is the hash move when the entry is at most this much
// shallower than the node (a quiescence entry: QsHashMoveDepthGap).
constexpr int HashMoveDepthGap = 3 * OnePly;
constexpr int QsHashMoveDepthGap = 2 * OnePly;

// --- frontier pruning and the null move ---

// Frontier pruning needs the static evaluation this far above beta, and
// answers with the evaluation minus the hanging material minus the safety margin.
constexpr int FrontierMargin = 124;
constexpr int FrontierSafetyMargin = 125;
// The null move is reduced by NullMoveReduction, or by DeepNullMoveReduction
// from DeepNullMoveDepth on (with two free pieces, or from
// VeryDeepNullMoveDepth on with any).
constexpr int NullMoveReduction = 2 * OnePly;
constexpr int DeepNullMoveReduction = 3 * OnePly;
constexpr int DeepNullMoveDepth = 6 * OnePly;
constexpr int VeryDeepNullMoveDepth = 8 * OnePly;

// --- move list and move loop ---

// Below this depth other threads' in-progress marks defer moves.
constexpr int InProgressDepth = 4 * OnePly;
// From this depth (node depth plus extension) the enhanced transposition
// cutoff runs.
constexpr int TranspositionCutoffDepth = 4 * OnePly;
// A table entry found by the enhanced transposition cutoff refutes a
// position in check only when it is deeper than needed by this much.
constexpr int CheckedCutoffDepthMargin = 2;
// Late-move reductions from this depth on; a reduced move loses one ply.
constexpr int ReductionDepth = 2 * OnePly;
constexpr int LateMoveReduction = OnePly;
// Futility: a quiet move at the horizon is skipped when alpha is this far
// above the static evaluation.
constexpr int FutilityMargin = 1200;
// A capture answering check that ends its child at once with a draw score,
// while alpha is above this, marks a mate threat.
constexpr int DrawnEvasionAlpha = 500;
// Killer bonus for the refutation of a null move.
constexpr int NullMoveRefutationBonus = 184;

// --- extensions, in eighths of a ply ---

constexpr int MateThreatExtension = 7;
constexpr int SingleReplyExtension = 7;
constexpr int CheckEvasionExtension = 4;
constexpr int SeventhRankPawnExtension = 6;
constexpr int SixthRankPawnExtension = 5;
// A check right after the opponent's king moved.
constexpr int CheckAfterKingMoveExtension = 3;
// A check by the piece that moved two plies earlier, off its old lines.
constexpr int RepeatedCheckerExtension = 2;
constexpr int RecaptureExtension = 4;
// A quiet promotion is shortened from this depth on, by one ply, or by two
// from DeepPromotionDepth on.
constexpr int PromotionReductionDepth = 3 * OnePly;
constexpr int DeepPromotionDepth = 4 * OnePly;

// --- quiescence ---

// Quiescence depths: the first ply below the horizon; the last depth whose
// lists still hold checks (check evasions near the horizon go down to it);
// and the depth of plain capture search below it.
constexpr int QsFirstDepth = -1;
constexpr int QsLastCheckDepth = -3;
constexpr int QsCaptureDepth = -4;
// The delta filter is built only when the evaluation lies this far below alpha.
constexpr int DeltaFilterMargin = 3400;
// Margin added to each capture's material estimate in the delta filter.
constexpr int DeltaEstimateMargin = 2000;
// Near enough to alpha at the first quiescence ply, quiet pawn pushes join
// the checks.
constexpr int QuietPushMargin = 3500;

// --- root ---

// The score of a book or forced move, reported with a window of one either side.
constexpr int OpeningMoveScore = 10;

// A fail-high root move is searched again with beta this far above its
// score, and further when it failed high by more than FailHighJump.
constexpr int FailHighWindow = 500;
constexpr int FailHighJump = 250;
constexpr int FailHighExtraWindow = 400;
// The bonus to the best-move-change estimate on the first search after a book move.
constexpr int AfterBookChangeBonus = 25;
// The change estimate used with several principal variations.
constexpr int MultiPvChangePercent = 15;
// Root ordering: a move's node share counts with weight
// RootShareWeight + thread index * HelperShareWeight / thread count.
constexpr double RootShareWeight = 1000.0;
constexpr double HelperShareWeight = 3000.0;
// A draw-like move that cost almost nothing counts as if it cost most.
constexpr double CheapShare = 0.005;
constexpr double CheapDrawShare = 0.99;
// The starting node share of a root move, known or not to the table.
constexpr double StoredRootMoveShare = 0.1;
constexpr double UnknownRootMoveShare = 0.01;

// The sleep between two looks at the pondering flag, in microseconds.
constexpr unsigned PonderPollMicroseconds = 20000;
