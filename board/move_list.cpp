// Move generation: full, evasion and quiescence lists.
#include "board/move_list.h"

namespace {

// The pawn geometry of one colour. A step is the change of square index,
// to = from + step: White moves toward a8 (index 0), Black toward h1.
template <bool White>
struct PawnSteps {
  static constexpr int Push = White ? -8 : 8;
  static constexpr int DoublePush = 2 * Push;
  static constexpr int CaptureTowardA = White ? -9 : 7;
  static constexpr int CaptureTowardH = White ? -7 : 9;
  static constexpr Bitboard LastRank = White ? Rank8 : Rank1;
  // Where a single push from the starting rank lands.
  static constexpr Bitboard SinglePushRow = White ? rowMask(5) : rowMask(2);
};

// A knight's steps, in the form of the slider look-ups (occupancy unused).
inline Bitboard knightSteps(int square, Bitboard) { return attackTables.knightAttacks[square]; }

// The squares the men of b reach by moving Step squares.
template <int Step>
inline Bitboard shiftBy(Bitboard b) {
  if constexpr (Step < 0) return b >> -Step;
  else return b << Step;
}

}  // namespace

MoveList::MoveList(MoveStack& stack, const Position& position, const HistoryTable& history, int type,
                   const Move* hashMove, const KillerSlot* killers, InProgressSet* inProgress)
    : stack_(&stack), position_(&position), history_(&history), inProgress_(inProgress) {
  // The list starts empty at the owner's stack top.
  mover_ = &position.toMove();
  enemy_ = &position.notToMove();
  begin_ = cursor_ = end_ = generatedEnd_ = stack.top;
  scored_ = false;
  recaptureSquare_ = NoSquare;
  epSquare_ = position.epSquare;
  keyLow_ = uint32_t(position.hashKey);
  scorer_ = Scorer::All;
  hashEntry_ = {0, 0};

  // The hash move, or else the square to recapture on.
  if (hashMove) {
    stage_ = 0;
    hashMove_ = *hashMove;
  } else {
    stage_ = 1;
    hashMove_ = 0;
    const Bitboard last = position.lastMoveMask & enemy_->pieces[0];
    if (last) {
      const int s = AttackTables::lowestSquare(last);
      const Bitboard b = squareBit(s);
      if ((enemy_->pieces[Rook] | enemy_->pieces[Queen]) & b || !(mover_->attackedTwice & b))
        recaptureSquare_ = int8_t(s);
    }
  }

  // Killers; a side in check always gets evasions.
  killer1_ = killer2_ = 0;
  if (mover_->attacked & mover_->pieces[King]) type = Evasions;
  if (killers) {
    const int k = type == Evasions ? 2 : 0;
    killer1_ = killers[k].move;
    killer2_ = killers[k + 1].move;
  }
  type_ = type;

  // Generation, and the scorer that goes with the list type.
  switch (type) {
    case AllMoves:
      generateFull();
      break;
    case Evasions:
      generateEvasions();
      scorer_ = Scorer::Evasions;
      break;
    case ChecksAndPushes:
    case ChecksAndCaptures:
    case Captures:
      generateQuiescence();
      scorer_ = Scorer::Quiescence;
      break;
    default:
      break;
  }

  // The owner's next list starts after this one.
  end_ = generatedEnd_;
  stack.top = generatedEnd_;
}

template <bool AllPromotions>
void MoveList::addPawnSet(Bitboard to, int offset, bool promote) {
  for (; to; to &= to - 1) {
    const int t = AttackTables::lowestSquare(to);
    if (!promote) add(t + offset, t, Pawn);
    else if (AllPromotions) addPromotions(t + offset, t);
    else add(t + offset, t, Pawn, Queen);
  }
}

void MoveList::addTargets(int from, Bitboard targets, int piece) {
  for (; targets; targets &= targets - 1) add(from, AttackTables::lowestSquare(targets), piece);
}

bool MoveList::holds(int from, int to, int piece) const {
  const Move m = encodeMove(from, to, piece);
  for (const MoveListEntry* e = begin_; e < generatedEnd_; ++e)
    if (e->move == m) return true;
  return false;
}

// Pawn captures into targets: toward the a-file, then toward the h-file,
// those onto the last rank first in each direction.
template <bool White, bool AllPromotions>
void MoveList::addPawnCapturesInto(Bitboard pawns, Bitboard targets) {
  using S = PawnSteps<White>;
  const Bitboard left = shiftBy<S::CaptureTowardA>(pawns & ~FileA) & targets;
  addPawnSet<AllPromotions>(left & S::LastRank, -S::CaptureTowardA, true);
  addPawnSet<AllPromotions>(left & ~S::LastRank, -S::CaptureTowardA, false);
  const Bitboard right = shiftBy<S::CaptureTowardH>(pawns & ~FileH) & targets;
  addPawnSet<AllPromotions>(right & S::LastRank, -S::CaptureTowardH, true);
  addPawnSet<AllPromotions>(right & ~S::LastRank, -S::CaptureTowardH, false);
}

// Pawn moves of a full or evasion list, in this order: captures (all four
// promotions), pushes onto the last rank, double pushes, other single
// pushes.
template <bool White>
void MoveList::addPawnMovesInto(Bitboard pawns, Bitboard captureTargets, Bitboard pushTargets) {
  using S = PawnSteps<White>;
  addPawnCapturesInto<White, true>(pawns, captureTargets);
  const Bitboard empty = ~position_->occupied;
  const Bitboard push = shiftBy<S::Push>(pawns) & empty;
  addPawnSet<true>(push & S::LastRank & pushTargets, -S::Push, true);
  addPawnSet<true>(shiftBy<S::Push>(push & S::SinglePushRow) & empty & pushTargets, -S::DoublePush, false);
  addPawnSet<true>(push & ~S::LastRank & pushTargets, -S::Push, false);
}

// Full-list pawn moves: every pawn, captures of enemy men and en passant.
template <bool White>
void MoveList::addPawnMoves() {
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  addPawnMovesInto<White>(mover_->pieces[Pawn], targets, ~Bitboard(0));
}

// Evasion pawn moves into `targets`, pinned pawns staying put. En passant
// counts only when the pawn that just double-stepped gives the check: it
// stands one push beyond the en-passant square, diagonally in front of the
// king.
template <bool White>
void MoveList::addPawnEvasions(Bitboard targets) {
  using S = PawnSteps<White>;
  Bitboard captureTargets = enemy_->pieces[0] & targets;
  const int king = mover_->kingSquare();
  if (epSquare_ >= 0 && (epSquare_ == king + S::Push + S::CaptureTowardH ||
                         epSquare_ == king + S::Push + S::CaptureTowardA))
    captureTargets |= squareBit(epSquare_);
  addPawnMovesInto<White>(mover_->pieces[Pawn] & ~position_->pinned, captureTargets, targets);
}

// Quiescence pawn moves: captures (en passant included), promotions as a
// queen only, then pushes onto the last rank.
template <bool White>
void MoveList::addPawnCaptures() {
  using S = PawnSteps<White>;
  const Bitboard pawns = mover_->pieces[Pawn];
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  addPawnCapturesInto<White, false>(pawns, targets);
  addPawnSet<false>(shiftBy<S::Push>(pawns) & ~position_->occupied & S::LastRank, -S::Push, true);
}

// Single pushes onto an empty square from which the pawn attacks the enemy
// king: the a-file side first. A pawn on t attacks t + CaptureTowardA and
// t + CaptureTowardH, so it checks from king - CaptureTowardH (the a-file
// side) and king - CaptureTowardA (the h-file side); the pusher stands one
// push behind t, which must be on the board.
template <bool White>
void MoveList::addPawnCheckPushes() {
  using S = PawnSteps<White>;
  const int k = enemy_->kingSquare();
  const Bitboard pawns = mover_->pieces[Pawn], occ = position_->occupied;
  auto tryPush = [&](int t) {
    if ((White ? t < 56 : t >= 8) && !(occ & squareBit(t)) && (pawns & squareBit(t - S::Push)))
      add(t - S::Push, t, Pawn);
  };
  if (fileOf(k) > 0) tryPush(k - S::CaptureTowardH);
  if (fileOf(k) < 7) tryPush(k - S::CaptureTowardA);
}

void MoveList::addWhitePawnMoves() { addPawnMoves<true>(); }
void MoveList::addBlackPawnMoves() { addPawnMoves<false>(); }
void MoveList::addWhitePawnEvasions(Bitboard targets) { addPawnEvasions<true>(targets); }
void MoveList::addBlackPawnEvasions(Bitboard targets) { addPawnEvasions<false>(targets); }
void MoveList::addWhitePawnCaptures() { addPawnCaptures<true>(); }
void MoveList::addBlackPawnCaptures() { addPawnCaptures<false>(); }
void MoveList::addWhitePawnCheckPushes() { addPawnCheckPushes<true>(); }
void MoveList::addBlackPawnCheckPushes() { addPawnCheckPushes<false>(); }

// Moves of the men on a piece list's squares, or on a bitboard's squares,
// to the squares of Reach(square, occupancy) within targets.
template <Bitboard (*Reach)(int, Bitboard)>
void MoveList::addReachFromList(const int8_t* squares, int count, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (int i = 0; i < count; ++i) addTargets(squares[i], Reach(squares[i], occ) & targets, pieceType);
}

template <Bitboard (*Reach)(int, Bitboard)>
void MoveList::addReachFromSet(Bitboard pieces, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (; pieces; pieces &= pieces - 1) {
    const int s = AttackTables::lowestSquare(pieces);
    addTargets(s, Reach(s, occ) & targets, pieceType);
  }
}

void MoveList::addKnightStepsFromList(const int8_t* squares, int count, Bitboard targets) {
  addReachFromList<knightSteps>(squares, count, targets, Knight);
}
void MoveList::addKnightStepsFromSet(Bitboard pieces, Bitboard targets) {
  addReachFromSet<knightSteps>(pieces, targets, Knight);
}
void MoveList::addBishopLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType) {
  addReachFromList<AttackTables::bishopAttacks>(squares, count, targets, pieceType);
}
void MoveList::addBishopLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType) {
  addReachFromSet<AttackTables::bishopAttacks>(pieces, targets, pieceType);
}
void MoveList::addRookLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType) {
  addReachFromList<AttackTables::rookAttacks>(squares, count, targets, pieceType);
}
void MoveList::addRookLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType) {
  addReachFromSet<AttackTables::rookAttacks>(pieces, targets, pieceType);
}

// Knight, bishop, rook and queen moves from the piece lists, each kind
// into its own targets; the diagonals of all queens before their straight
// lines.
void MoveList::addPieceMoves(Bitboard knightTargets, Bitboard bishopTargets, Bitboard rookTargets,
                             Bitboard queenTargets) {
  const SideState& us = *mover_;
  addKnightStepsFromList(us.lists[Knight], us.counts[Knight], knightTargets);
  addBishopLinesFromList(us.lists[Bishop], us.counts[Bishop], bishopTargets, Bishop);
  addRookLinesFromList(us.lists[Rook], us.counts[Rook], rookTargets, Rook);
  addBishopLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets, Queen);
  addRookLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets, Queen);
}

void MoveList::addKingSteps(Bitboard targets) {
  const int k = mover_->kingSquare();
  addTargets(k, attackTables.kingAttacks[k] & targets, King);
}

void MoveList::addCastlingMoves() {
  const SideState& us = *mover_;
  const Position& p = *position_;
  const uint8_t shortRight = us.rightsMask & (WhiteShort | BlackShort);
  const uint8_t longRight = us.rightsMask & (WhiteLong | BlackLong);
  if ((p.castlingRights & shortRight) && !(p.occupied & us.shortEmpty) && !(us.attacked & us.shortSafe))
    add(us.kingSquare(), us.shortRookSquare, King);
  if ((p.castlingRights & longRight) && !(p.occupied & us.longEmpty) && !(us.attacked & us.longSafe))
    add(us.kingSquare(), us.longRookSquare, King);
}

void MoveList::generateFull() {
  const SideState& us = *mover_;
  const Bitboard notOwn = ~us.pieces[0];
  if (position_->whiteToMove) addWhitePawnMoves();
  else addBlackPawnMoves();
  addPieceMoves(notOwn, notOwn, notOwn, notOwn);
  // The king never steps onto an attacked square.
  addKingSteps(notOwn & ~us.attacked);
  addCastlingMoves();
}

void MoveList::generateEvasions() {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const int k = us.kingSquare();
  const Bitboard occ = p.occupied;
  const Bitboard straight = them.pieces[Rook] | them.pieces[Queen];
  const Bitboard diagonal = them.pieces[Bishop] | them.pieces[Queen];

  // Forbidden king squares; a slider's whole line through the king is
  // forbidden but for the checker itself, so the king cannot step back
  // along it.
  Bitboard forbidden = us.pieces[0] | us.attacked;
  Bitboard checkers = 0;
  const Bitboard lines[4] = {AttackTables::rankAttacks(k, occ), AttackTables::fileAttacks(k, occ),
                             AttackTables::diagA1H8Attacks(k, occ), AttackTables::diagA8H1Attacks(k, occ)};
  for (int i = 0; i < 4; ++i) {
    const Bitboard sliders = lines[i] & (i < 2 ? straight : diagonal);
    if (sliders) {
      checkers |= sliders;
      forbidden |= lines[i] & ~sliders;
    }
  }
  addKingSteps(~forbidden);
  // Knights and pawns that give check.
  checkers |= attackTables.knightAttacks[k] & them.pieces[Knight];
  // Enemy pawns attack the king from where an own pawn on it would attack.
  const Bitboard kingBit = squareBit(k);
  checkers |= (p.whiteToMove ? whitePawnAttacks(kingBit) : blackPawnAttacks(kingBit)) & them.pieces[Pawn];
  if (checkers & (checkers - 1)) return;  // double check: king moves only
  if (!checkers) return;                  // not reached for a side in check
  // A single checker: capture it or block its line.
  const int c = AttackTables::lowestSquare(checkers);
  const Bitboard targets = checkers | attackTables.betweenMask[k | c << 6];
  // Only men that are not pinned.
  const Bitboard free = ~p.pinned;
  if (p.whiteToMove) addWhitePawnEvasions(targets);
  else addBlackPawnEvasions(targets);
  addKnightStepsFromSet(us.pieces[Knight] & free, targets);
  addBishopLinesFromSet(us.pieces[Bishop] & free, targets, Bishop);
  addRookLinesFromSet(us.pieces[Rook] & free, targets, Rook);
  addBishopLinesFromSet(us.pieces[Queen] & free, targets, Queen);
  addRookLinesFromSet(us.pieces[Queen] & free, targets, Queen);
}

void MoveList::generateQuiescence() {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const Bitboard enemies = them.pieces[0];
  const Bitboard undefendedByPawns = ~us.pawnAttacked;
  // Targets of each piece kind: captures (rooks spare pawn-defended pawns,
  // queens pawn-defended men other than queens, the king defended men).
  const Bitboard minorTargets = enemies;
  const Bitboard rookTargets = enemies & ~(them.pieces[Pawn] & us.pawnAttacked);
  const Bitboard queenTargets = (enemies & undefendedByPawns) | them.pieces[Queen];
  const Bitboard kingTargets = enemies & ~us.attacked;

  if (type_ == Captures) {
    // Captures only.
    if (p.whiteToMove) addWhitePawnCaptures();
    else addBlackPawnCaptures();
    addPieceMoves(minorTargets, minorTargets, rookTargets, queenTargets);
    addKingSteps(kingTargets);
    return;
  }

  // Captures and checks; a checking capture is one target of one set, so
  // no move is listed twice.
  const int ek = them.kingSquare();
  const Bitboard occ = p.occupied;
  // Safe: not own, and not attacked by the enemy or attacked twice by us.
  const Bitboard safe = ~us.pieces[0] & (~us.attacked | them.attackedTwice);
  const Bitboard knightChecks = attackTables.knightAttacks[ek] & safe;
  const Bitboard bishopChecks = AttackTables::bishopAttacks(ek, occ) & safe;
  const Bitboard rookChecks = AttackTables::rookAttacks(ek, occ) & safe;
  if (p.whiteToMove) {
    addWhitePawnCheckPushes();
    addWhitePawnCaptures();
  } else {
    addBlackPawnCheckPushes();
    addBlackPawnCaptures();
  }
  addPieceMoves(minorTargets | knightChecks, minorTargets | bishopChecks, rookTargets | rookChecks,
                queenTargets | bishopChecks | rookChecks);
  addKingSteps(kingTargets);
  generateChecks();
  if (type_ == ChecksAndPushes) addSeventhRankPushes();
}

// Quiet moves of the man on `square` to empty squares off `line`, each only
// when the list does not hold it yet.
void MoveList::addQuietMovesOffLine(int square, Bitboard line) {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const Bitboard empty = ~p.occupied & ~line;
  const Bitboard b = squareBit(square);
  Bitboard targets;
  int piece;
  if (us.pieces[Pawn] & b) {
    piece = Pawn;
    const int one = square + us.push;
    targets = 0;
    if (!(p.occupied & squareBit(one))) {
      targets = squareBit(one);
      const int startRow = us.push < 0 ? 6 : 1;
      const int two = one + us.push;
      if (rowOf(square) == startRow && !(p.occupied & squareBit(two))) targets |= squareBit(two);
    }
    targets &= empty & ~(Rank1 | Rank8);
  } else if (us.pieces[Knight] & b) {
    piece = Knight;
    targets = attackTables.knightAttacks[square] & empty;
  } else if (us.pieces[Bishop] & b) {
    piece = Bishop;
    targets = AttackTables::bishopAttacks(square, p.occupied) & empty;
  } else if (us.pieces[Rook] & b) {
    piece = Rook;
    targets = AttackTables::rookAttacks(square, p.occupied) & empty;
  } else if (us.pieces[Queen] & b) {
    piece = Queen;
    targets = AttackTables::queenAttacks(square, p.occupied) & empty;
  } else {
    // The king never steps onto an attacked square, so that every list
    // stays safe for the fast make, which does not look at the enemy king.
    piece = King;
    targets = attackTables.kingAttacks[square] & empty & ~us.attacked;
  }
  for (; targets; targets &= targets - 1) {
    const int to = AttackTables::lowestSquare(targets);
    if (!holds(square, to, piece)) add(square, to, piece);
  }
}

// Discovered checks: own men standing first on a line from the enemy king
// with an own slider of that line behind them step off the line.
void MoveList::generateChecks() {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const int ek = them.kingSquare();
  const Bitboard occ = p.occupied;
  // Own men that our pieces attack other than only through pawns.
  const Bitboard covered = (them.attacked & ~them.pawnAttacked) | them.attackedTwice;
  const Bitboard ownStraight = us.pieces[Rook] | us.pieces[Queen];
  const Bitboard ownDiagonal = us.pieces[Bishop] | us.pieces[Queen];
  if (ownStraight) {
    for (Bitboard c = AttackTables::rookAttacks(ek, occ) & us.pieces[0] & covered; c; c &= c - 1) {
      const int s = AttackTables::lowestSquare(c);
      const bool sameRank = rowOf(s) == rowOf(ek);
      const Bitboard beyond = sameRank ? AttackTables::rankAttacks(s, occ) : AttackTables::fileAttacks(s, occ);
      if (!(beyond & ownStraight)) continue;
      const Bitboard line = (sameRank ? attackTables.rankLine[ek] : attackTables.fileLine[ek]) | squareBit(ek);
      addQuietMovesOffLine(s, line);
    }
  }
  if (ownDiagonal) {
    for (Bitboard c = AttackTables::bishopAttacks(ek, occ) & us.pieces[0] & covered; c; c &= c - 1) {
      const int s = AttackTables::lowestSquare(c);
      const bool a1h8 = (attackTables.diagA1H8Line[ek] & squareBit(s)) != 0;
      const Bitboard beyond = a1h8 ? AttackTables::diagA1H8Attacks(s, occ) : AttackTables::diagA8H1Attacks(s, occ);
      if (!(beyond & ownDiagonal)) continue;
      const Bitboard line = (a1h8 ? attackTables.diagA1H8Line[ek] : attackTables.diagA8H1Line[ek]) | squareBit(ek);
      addQuietMovesOffLine(s, line);
    }
  }
}

// Pushes to the seventh rank below a promotion square that is free, or next
// to an enemy man a capture could take.
void MoveList::addSeventhRankPushes() {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const Bitboard promotionRank = them.homeRank;
  const Bitboard enemyThere = them.pieces[0] & promotionRank;
  const Bitboard open =
      (promotionRank & ~them.pieces[0]) | (((enemyThere << 1) & ~FileA) | ((enemyThere >> 1) & ~FileH));
  const Bitboard seventh = us.push < 0 ? open << 8 : open >> 8;
  // Only when our pawns cover part of the seventh rank there.
  if (!(seventh & them.pawnAttacked)) return;
  const Bitboard pawns = us.pieces[Pawn];
  const Bitboard pushes = seventh & ~p.occupied & (us.push < 0 ? pawns >> 8 : pawns << 8);
  for (Bitboard t = pushes; t; t &= t - 1) {
    const int to = AttackTables::lowestSquare(t);
    const int from = to - us.push;
    if (!holds(from, to, Pawn)) add(from, to, Pawn);
  }
}
