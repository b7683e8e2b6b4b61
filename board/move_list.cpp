// Move generation: full, evasion and quiescence lists.
#include "board/move_list.h"

namespace {

constexpr Bitboard Row(int r) { return Rank8 << (8 * r); }

}  // namespace

MoveList::MoveList(MoveStack& stack, const Position& position, const HistoryTable& history, int type,
                   const Move* hashMove, const KillerSlot* killers, InProgressSet* inProgress)
    : stack_(&stack), position_(&position), history_(&history), inProgress_(inProgress) {
  // 1. Common part.
  mover_ = &position.toMove();
  enemy_ = &position.notToMove();
  begin_ = cursor_ = end_ = generatedEnd_ = stack.top;
  scored_ = false;
  recaptureSquare_ = NoSquare;
  epSquare_ = position.epSquare;
  keyLow_ = uint32_t(position.hashKey);
  scorer_ = Scorer::All;
  hashEntry_ = {0, 0};

  // 2. The hash move, or else the square to recapture on.
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

  // 3. Killers; a side in check always gets evasions.
  killer1_ = killer2_ = 0;
  if (mover_->attacked & mover_->pieces[King]) type = Evasions;
  if (killers) {
    const int k = type == Evasions ? 2 : 0;
    killer1_ = killers[k].move;
    killer2_ = killers[k + 1].move;
  }
  type_ = type;

  // 4. Generation.
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

  // 5.
  end_ = generatedEnd_;
  stack.top = generatedEnd_;
}

void MoveList::addPawnSet(Bitboard to, int offset, bool promote) {
  for (; to; to &= to - 1) {
    const int t = AttackTables::lowestSquare(to);
    if (promote) addPromotions(t + offset, t);
    else add(t + offset, t, Pawn);
  }
}

void MoveList::addPawnSetQueenOnly(Bitboard to, int offset, bool promote) {
  for (; to; to &= to - 1) {
    const int t = AttackTables::lowestSquare(to);
    add(t + offset, t, Pawn, promote ? Queen : 0);
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

// Full-list pawn moves: captures toward the a-file (promotions first), toward
// the h-file (promotions first), pushes onto the last rank, double pushes,
// other single pushes.
void MoveList::addWhitePawnMoves() {
  const Position& p = *position_;
  const Bitboard pawns = mover_->pieces[Pawn];
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) >> 9) & targets;
  addPawnSet(left & Rank8, 9, true);
  addPawnSet(left & ~Rank8, 9, false);
  const Bitboard right = ((pawns & ~FileH) >> 7) & targets;
  addPawnSet(right & Rank8, 7, true);
  addPawnSet(right & ~Rank8, 7, false);
  const Bitboard push = (pawns >> 8) & ~p.occupied;
  addPawnSet(push & Rank8, 8, true);
  addPawnSet(((push & Row(5)) >> 8) & ~p.occupied, 16, false);
  addPawnSet(push & ~Rank8, 8, false);
}

void MoveList::addBlackPawnMoves() {
  const Position& p = *position_;
  const Bitboard pawns = mover_->pieces[Pawn];
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) << 7) & targets;
  addPawnSet(left & Rank1, -7, true);
  addPawnSet(left & ~Rank1, -7, false);
  const Bitboard right = ((pawns & ~FileH) << 9) & targets;
  addPawnSet(right & Rank1, -9, true);
  addPawnSet(right & ~Rank1, -9, false);
  const Bitboard push = (pawns << 8) & ~p.occupied;
  addPawnSet(push & Rank1, -8, true);
  addPawnSet(((push & Row(2)) << 8) & ~p.occupied, -16, false);
  addPawnSet(push & ~Rank1, -8, false);
}

// Evasion pawn moves into `targets`; the caller adds the en-passant square to
// the capture targets when the double-stepped pawn gives the check.
void MoveList::addWhitePawnEvasions(Bitboard targets) {
  const Position& p = *position_;
  const Bitboard pawns = mover_->pieces[Pawn] & ~p.pinned;
  Bitboard captureTargets = enemy_->pieces[0] & targets;
  const int king = mover_->kingSquare();
  if (epSquare_ >= 0 && (epSquare_ == king - 15 || epSquare_ == king - 17)) captureTargets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) >> 9) & captureTargets;
  addPawnSet(left & Rank8, 9, true);
  addPawnSet(left & ~Rank8, 9, false);
  const Bitboard right = ((pawns & ~FileH) >> 7) & captureTargets;
  addPawnSet(right & Rank8, 7, true);
  addPawnSet(right & ~Rank8, 7, false);
  const Bitboard push = (pawns >> 8) & ~p.occupied;
  addPawnSet(push & Rank8 & targets, 8, true);
  addPawnSet(((push & Row(5)) >> 8) & ~p.occupied & targets, 16, false);
  addPawnSet(push & ~Rank8 & targets, 8, false);
}

void MoveList::addBlackPawnEvasions(Bitboard targets) {
  const Position& p = *position_;
  const Bitboard pawns = mover_->pieces[Pawn] & ~p.pinned;
  Bitboard captureTargets = enemy_->pieces[0] & targets;
  const int king = mover_->kingSquare();
  if (epSquare_ >= 0 && (epSquare_ == king + 15 || epSquare_ == king + 17)) captureTargets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) << 7) & captureTargets;
  addPawnSet(left & Rank1, -7, true);
  addPawnSet(left & ~Rank1, -7, false);
  const Bitboard right = ((pawns & ~FileH) << 9) & captureTargets;
  addPawnSet(right & Rank1, -9, true);
  addPawnSet(right & ~Rank1, -9, false);
  const Bitboard push = (pawns << 8) & ~p.occupied;
  addPawnSet(push & Rank1 & targets, -8, true);
  addPawnSet(((push & Row(2)) << 8) & ~p.occupied & targets, -16, false);
  addPawnSet(push & ~Rank1 & targets, -8, false);
}

// Quiescence pawn moves: captures (en passant included), promotions as a
// queen only, then pushes onto the last rank.
void MoveList::addWhitePawnCaptures() {
  const Bitboard pawns = mover_->pieces[Pawn];
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) >> 9) & targets;
  addPawnSetQueenOnly(left & Rank8, 9, true);
  addPawnSetQueenOnly(left & ~Rank8, 9, false);
  const Bitboard right = ((pawns & ~FileH) >> 7) & targets;
  addPawnSetQueenOnly(right & Rank8, 7, true);
  addPawnSetQueenOnly(right & ~Rank8, 7, false);
  addPawnSetQueenOnly((pawns >> 8) & ~position_->occupied & Rank8, 8, true);
}

void MoveList::addBlackPawnCaptures() {
  const Bitboard pawns = mover_->pieces[Pawn];
  Bitboard targets = enemy_->pieces[0];
  if (epSquare_ >= 0) targets |= squareBit(epSquare_);
  const Bitboard left = ((pawns & ~FileA) << 7) & targets;
  addPawnSetQueenOnly(left & Rank1, -7, true);
  addPawnSetQueenOnly(left & ~Rank1, -7, false);
  const Bitboard right = ((pawns & ~FileH) << 9) & targets;
  addPawnSetQueenOnly(right & Rank1, -9, true);
  addPawnSetQueenOnly(right & ~Rank1, -9, false);
  addPawnSetQueenOnly((pawns << 8) & ~position_->occupied & Rank1, -8, true);
}

// Single pushes onto an empty square from which the pawn attacks the enemy
// king: the a-file side first.
void MoveList::addWhitePawnCheckPushes() {
  const int k = enemy_->kingSquare();
  const Bitboard pawns = mover_->pieces[Pawn], occ = position_->occupied;
  if (fileOf(k) > 0 && k + 7 < 56) {
    const int t = k + 7;
    if (!(occ & squareBit(t)) && (pawns & squareBit(t + 8))) add(t + 8, t, Pawn);
  }
  if (fileOf(k) < 7 && k + 9 < 56) {
    const int t = k + 9;
    if (!(occ & squareBit(t)) && (pawns & squareBit(t + 8))) add(t + 8, t, Pawn);
  }
}

void MoveList::addBlackPawnCheckPushes() {
  const int k = enemy_->kingSquare();
  const Bitboard pawns = mover_->pieces[Pawn], occ = position_->occupied;
  if (fileOf(k) > 0 && k - 9 >= 8) {
    const int t = k - 9;
    if (!(occ & squareBit(t)) && (pawns & squareBit(t - 8))) add(t - 8, t, Pawn);
  }
  if (fileOf(k) < 7 && k - 7 >= 8) {
    const int t = k - 7;
    if (!(occ & squareBit(t)) && (pawns & squareBit(t - 8))) add(t - 8, t, Pawn);
  }
}

void MoveList::addKnightStepsFromList(const int8_t* squares, int count, Bitboard targets) {
  for (int i = 0; i < count; ++i) addTargets(squares[i], attackTables.knightAttacks[squares[i]] & targets, Knight);
}

void MoveList::addKnightStepsFromSet(Bitboard pieces, Bitboard targets) {
  for (; pieces; pieces &= pieces - 1) {
    const int s = AttackTables::lowestSquare(pieces);
    addTargets(s, attackTables.knightAttacks[s] & targets, Knight);
  }
}

void MoveList::addBishopLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (int i = 0; i < count; ++i)
    addTargets(squares[i], AttackTables::bishopAttacks(squares[i], occ) & targets, pieceType);
}

void MoveList::addBishopLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (; pieces; pieces &= pieces - 1) {
    const int s = AttackTables::lowestSquare(pieces);
    addTargets(s, AttackTables::bishopAttacks(s, occ) & targets, pieceType);
  }
}

void MoveList::addRookLinesFromList(const int8_t* squares, int count, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (int i = 0; i < count; ++i)
    addTargets(squares[i], AttackTables::rookAttacks(squares[i], occ) & targets, pieceType);
}

void MoveList::addRookLinesFromSet(Bitboard pieces, Bitboard targets, int pieceType) {
  const Bitboard occ = position_->occupied;
  for (; pieces; pieces &= pieces - 1) {
    const int s = AttackTables::lowestSquare(pieces);
    addTargets(s, AttackTables::rookAttacks(s, occ) & targets, pieceType);
  }
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
  // 1. Pawns.
  if (position_->whiteToMove) addWhitePawnMoves();
  else addBlackPawnMoves();
  // 2-5. Knights, bishops, rooks, queens (diagonals of all queens first).
  addKnightStepsFromList(us.lists[Knight], us.counts[Knight], notOwn);
  addBishopLinesFromList(us.lists[Bishop], us.counts[Bishop], notOwn, Bishop);
  addRookLinesFromList(us.lists[Rook], us.counts[Rook], notOwn, Rook);
  addBishopLinesFromList(us.lists[Queen], us.counts[Queen], notOwn, Queen);
  addRookLinesFromList(us.lists[Queen], us.counts[Queen], notOwn, Queen);
  // 6. King, never onto an attacked square.
  addKingSteps(notOwn & ~us.attacked);
  // 7.
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

  // 1. Forbidden king squares; a slider's whole line through the king is
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
  // 2.
  addKingSteps(~forbidden);
  // 3. Knights and pawns that give check.
  checkers |= attackTables.knightAttacks[k] & them.pieces[Knight];
  // Enemy pawns attack the king from where an own pawn on it would attack.
  const Bitboard kingBit = squareBit(k);
  checkers |= (p.whiteToMove ? whitePawnAttacks(kingBit) : blackPawnAttacks(kingBit)) & them.pieces[Pawn];
  if (checkers & (checkers - 1)) return;  // double check: king moves only
  if (!checkers) return;                  // not reached for a side in check
  // 4. Capture the checker or block its line.
  const int c = AttackTables::lowestSquare(checkers);
  const Bitboard targets = checkers | attackTables.betweenMask[k | c << 6];
  // 5. Men that are not pinned.
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
    // 4. Captures only.
    if (p.whiteToMove) addWhitePawnCaptures();
    else addBlackPawnCaptures();
    addKnightStepsFromList(us.lists[Knight], us.counts[Knight], minorTargets);
    addBishopLinesFromList(us.lists[Bishop], us.counts[Bishop], minorTargets, Bishop);
    addRookLinesFromList(us.lists[Rook], us.counts[Rook], rookTargets, Rook);
    addBishopLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets, Queen);
    addRookLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets, Queen);
    addKingSteps(kingTargets);
    return;
  }

  // 5. Captures and checks; a checking capture is one target of one set, so
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
  addKnightStepsFromList(us.lists[Knight], us.counts[Knight], minorTargets | knightChecks);
  addBishopLinesFromList(us.lists[Bishop], us.counts[Bishop], minorTargets | bishopChecks, Bishop);
  addRookLinesFromList(us.lists[Rook], us.counts[Rook], rookTargets | rookChecks, Rook);
  addBishopLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets | bishopChecks | rookChecks, Queen);
  addRookLinesFromList(us.lists[Queen], us.counts[Queen], queenTargets | bishopChecks | rookChecks, Queen);
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
