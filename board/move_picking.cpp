// Move scoring and staged picking.
#include <algorithm>
#include <cstdint>

#include "board/move_list.h"

const int32_t MoveOrderTable::victimValue[7] = {0, 0x4000000, 0xC000000, 0xC000000, 0x14000000, 0x24000000, 0};
const int32_t MoveOrderTable::moverPenalty[7] = {0, 0x300000, 0x3200000, 0x3200000, 0x3400000, 0x3800000, 0};

// By type, indexed by the to-square seen from White: each block below is a
// board with the eighth rank on top and the a-file on the left (a8 = 0,
// h1 = 63), so Black's moves look their to-square up mirrored.
const int32_t MoveOrderTable::squareValue[7][64] = {
    {},  // no piece
    {
        // pawn
          8,   6,  18,  12,  24,   8,  10,  12,
        110, 140, 130,  72, 112, 116, 108, 152,
         44,  24,  32,  20,  20,  40,  28,  50,
         24,  28,  22,  24,  30,  26,  20,  36,
          8,  12,  16,  34,  30,  14,   4,   6,
          4,  20,  18,  18,  28,  18,  16,   8,
          0,   0,   0,   0,   0,   0,   0,   0,
          0,   0,   0,   0,   0,   0,   0,   0,
    },
    {
        // knight
          6,   2,  34,  14,  16,   8,   4,   6,
         16,  14,  20,  28,  28,  10,   2,  10,
         22,  14,  32,  32,  28,  32,   6,  34,
          6,  28,  18,  34,  32,  22,  24,   8,
          6,  14,  18,  14,  16,  14,  12,   6,
         10,  38,  42,  34,  38,  38,  44,   4,
          2,   4,   8,  14,   8,  14,   4,   0,
          0,   2,   4,   2,   2,   2,   0,   0,
    },
    {
        // bishop
          0,   6,  10,   2,   6,   2,   4,   0,
          4,  10,   6,  22,   8,   6,   0,   4,
          8,   2,  24,   6,  22,   2,   2,   8,
         18,  22,  24,  20,  10,  16,  18,  12,
         20,  18,  28,  18,  24,  14,  30,  18,
         22,  22,  22,  24,  20,  20,  46,  20,
         14,  18,  10,  22,  24,  30,  16,  12,
          2,   2,  16,   6,   2,  12,   2,   4,
    },
    {
        // rook
         24,  20,  22,  22,  20,  12,  20,  18,
         28,  26,  22,  36,  24,  26,  22,  22,
         20,  16,  22,  16,  28,  22,  22,  16,
         26,  18,  12,  14,  18,  24,  16,  18,
         22,   6,  10,  14,  16,  14,  16,  26,
         20,  12,  12,  10,  18,  12,  18,  10,
         20,   6,   8,  10,  12,   6,   6,   6,
         14,   4,  18,  16,   8,  10,   4,  10,
    },
    {
        // queen
         16,  30,  32,  24,  22,   8,  22,  28,
         12,   8,   8,  14,  10,  32,   6,  24,
          6,   2,  12,   8,  12,  24,   4,  12,
         14,  24,  16,  28,  14,  34,  18,  20,
         18,  18,  12,  14,  12,  10,  12,  10,
         26,  32,  16,  24,  16,  24,  12,  10,
         14,  12,  14,  12,  22,  18,  12,   2,
          4,   4,   6,   8,   8,  10,  14,   2,
    },
    {
        // king
          0,   0,   2,   8,  18,   8,  10,   0,
          2,  26,  12,  12,  52,  34,  32,  16,
         24,  16,  16,  14,  26,  22,  64,  32,
         10,  26,  30,  36,  44,  34,  42,  28,
          8,  34,  32,  38,  48,  38,  32,  18,
         14,  22,  24,  32,  32,  34,  28,   8,
         36,  22,  16,  12,  18,  20,  22,   8,
          2,  10,   8,   6,   8,   6,  10,   2,
    },
};

namespace {

constexpr int64_t WinningCaptureFlag = 0x40000000;
constexpr int64_t PromotionBonus = 0x20000000;
constexpr int64_t CaptureBonus = 0x300000;
constexpr int64_t Killer1Bonus = 0x380000;
constexpr int64_t Killer2Bonus = 0x300000;
constexpr int64_t SafeCheckBonus = 0x1000000;
constexpr int32_t ParkedHashKey = 0x4000000;

inline int32_t clampKey(int64_t key) {
  if (key > INT32_MAX) return INT32_MAX;
  if (key < INT32_MIN) return INT32_MIN;
  return int32_t(key);
}

inline int whiteView(int square, bool white) { return white ? square : square ^ 56; }

// The key every scorer starts from: the history counter, then the value of
// the to-square for the moving type.
inline int64_t historyAndSquareKey(const HistoryTable& history, Move m, bool white) {
  return int64_t(history.term(m)) * 256 + MoveOrderTable::squareValue[movePiece(m)][whiteView(moveTo(m), white)];
}

// The victim's type on `to`, or 0 when no enemy man stands there.
inline int victimType(const SideState& enemy, Bitboard toBit) {
  if (!(enemy.pieces[0] & toBit)) return 0;
  int c = Pawn;
  while (!(enemy.pieces[c] & toBit)) ++c;
  return c;
}

// Material gain of a capture: the victim, minus the mover when it can be
// taken back, minus a small penalty when neither square is attacked.
inline int64_t captureGain(int victim, int mover, bool toAttacked, bool fromAttacked) {
  int64_t gain = MoveOrderTable::victimValue[victim];
  if (toAttacked) gain -= MoveOrderTable::victimValue[mover];
  else if (!fromAttacked) gain -= MoveOrderTable::moverPenalty[mover];
  return gain;
}

}  // namespace

void MoveList::scoreQuiescence(MoveListEntry* from, MoveListEntry* to) {
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const bool white = position_->whiteToMove != 0;
  for (MoveListEntry* e = from; e < to; ++e) {
    const Move m = e->move;
    const int t = movePiece(m), dest = moveTo(m);
    const Bitboard T = squareBit(dest);
    int64_t key = historyAndSquareKey(*history_, m, white);
    if (m == killer1_) key += Killer1Bonus;
    else if (m == killer2_) key += Killer2Bonus;
    // A queen promotion on a square the enemy does not attack.
    if (movePromotion(m) == Queen && !(us.attacked & T)) key += PromotionBonus;
    // A capture that does not lose material.
    if (const int victim = victimType(them, T)) {
      const int64_t gain = captureGain(victim, t, us.attacked & T, us.attacked & squareBit(moveFrom(m)));
      if (gain >= 0) key += gain + CaptureBonus;
    }
    e->key = clampKey(key);
  }
}

void MoveList::scoreEvasions(MoveListEntry* from, MoveListEntry* to) {
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const bool white = position_->whiteToMove != 0;
  for (MoveListEntry* e = from; e < to; ++e) {
    const Move m = e->move;
    const int t = movePiece(m), dest = moveTo(m);
    const Bitboard T = squareBit(dest);
    int64_t key = historyAndSquareKey(*history_, m, white);
    if (const int victim = victimType(them, T)) {
      int64_t gain = MoveOrderTable::victimValue[victim] -
                     ((us.attacked & T) ? MoveOrderTable::victimValue[t] : MoveOrderTable::moverPenalty[t]);
      if (gain >= 0) key += gain + CaptureBonus;
    } else if (t == Pawn && (them.attackedTwice & T)) {
      key += CaptureBonus;
    }
    e->key = clampKey(key);
  }
}

void MoveList::scoreAll(MoveListEntry* from, MoveListEntry* to) {
  const Position& p = *position_;
  const SideState& us = *mover_;
  const SideState& them = *enemy_;
  const bool white = p.whiteToMove != 0;
  // Squares from which each piece type would check the enemy king; none
  // at all in a list with a hash move.
  Bitboard checkSquares[7] = {};
  if (!moveKey(hashMove_)) {
    const int ek = them.kingSquare();
    const Bitboard ekBit = squareBit(ek);
    checkSquares[Pawn] = white ? blackPawnAttacks(ekBit) : whitePawnAttacks(ekBit);
    checkSquares[Knight] = attackTables.knightAttacks[ek];
    checkSquares[Bishop] = AttackTables::bishopAttacks(ek, p.occupied);
    checkSquares[Rook] = AttackTables::rookAttacks(ek, p.occupied);
    checkSquares[Queen] = checkSquares[Bishop] | checkSquares[Rook];
  }
  // Own men the enemy attacks and we do not defend; squares the enemy
  // attacks that we do not cover twice.
  const Bitboard hanging = us.pieces[0] & us.attacked & ~them.attacked;
  const Bitboard unsafe = us.attacked & ~them.attackedTwice;
  for (MoveListEntry* e = from; e < to; ++e) {
    const Move m = e->move;
    const int t = movePiece(m), dest = moveTo(m), origin = moveFrom(m);
    const Bitboard T = squareBit(dest);
    int64_t key = historyAndSquareKey(*history_, m, white);
    // A queen promotion goes before every quiet move; a safe one joins
    // the winning captures.
    if (movePromotion(m) == Queen) {
      key += PromotionBonus;
      if (!(us.attacked & T)) key |= WinningCaptureFlag;
    }
    // Killers.
    if (m == killer1_) key += Killer1Bonus;
    else if (m == killer2_) key += Killer2Bonus;
    // A check from a square the enemy cannot simply take on.
    if ((checkSquares[t] & T) && !(unsafe & T)) key += SafeCheckBonus;
    const int victim = victimType(them, T);
    if (victim) {
      // A capture that does not lose material joins the winning ones.
      const int64_t gain = captureGain(victim, t, us.attacked & T, us.attacked & squareBit(origin));
      if (gain >= 0) key = (key + gain) | WinningCaptureFlag;
    } else {
      // Moving a hanging man to safety gains; stepping onto an unsafe
      // square loses.
      const int64_t share = MoveOrderTable::victimValue[t] / 128;
      if ((hanging & squareBit(origin)) && !(us.attacked & T)) key += share;
      if (unsafe & T) key -= share;
    }
    e->key = clampKey(key);
  }
}

void MoveList::runScorer(MoveListEntry* from, MoveListEntry* to) {
  switch (scorer_) {
    case Scorer::All: scoreAll(from, to); break;
    case Scorer::Evasions: scoreEvasions(from, to); break;
    case Scorer::Quiescence: scoreQuiescence(from, to); break;
  }
}

bool MoveList::removeHashMove() {
  for (MoveListEntry* e = begin_; e < end_; ++e) {
    if (e->move != hashMove_) continue;
    --end_;
    *e = *end_;
    end_->move = hashMove_;
    end_->key = ParkedHashKey;
    return true;
  }
  return false;
}

bool MoveList::contains(Move move) const {
  const uint16_t k = moveKey(move);
  for (const MoveListEntry* e = begin_; e < end_; ++e)
    if (moveKey(e->move) == k) return true;
  return false;
}

bool MoveList::hasPreferredMove() const {
  if (moveKey(hashMove_)) return true;
  const uint16_t k1 = moveKey(killer1_), k2 = moveKey(killer2_);
  for (const MoveListEntry* e = cursor_; e < end_; ++e) {
    const uint16_t k = moveKey(e->move);
    if (moveTo(e->move) == recaptureSquare_ || (k1 && k == k1) || (k2 && k == k2)) return true;
  }
  return false;
}

void MoveList::rewind() {
  stage_ = 0;
  cursor_ = begin_;
  end_ = generatedEnd_;
}

void MoveList::rewindWithHashMove(Move move) {
  rewind();
  hashMove_ = move;
}

void MoveList::rewindWithFallbackHashMove(Move move) {
  rewind();
  if (!moveKey(hashMove_)) hashMove_ = move;
}

const MoveListEntry* MoveList::next() {
  switch (stage_) {
    case 0:
      // Hash move first; found, it makes the recapture stage unnecessary.
      stage_ = 1;
      if (moveKey(hashMove_) && removeHashMove()) {
        stage_ = 2;
        hashEntry_.move = hashMove_;
        hashEntry_.key = ParkedHashKey;
        return &hashEntry_;
      }
      [[fallthrough]];
    case 1:
      // Recaptures onto the last move's square, and en passant.
      if (recaptureSquare_ >= 0 || epSquare_ >= 0) {
        for (; cursor_ < end_; ++cursor_) {
          const Move m = cursor_->move;
          const int to = moveTo(m);
          if (to == recaptureSquare_ || (to == epSquare_ && movePiece(m) == Pawn)) {
            --end_;
            std::swap(*cursor_, *end_);
            return end_;
          }
        }
      }
      cursor_ = begin_;
      stage_ = 2;
      [[fallthrough]];
    case 2:
      stage_ = 3;
      if (end_ - begin_ >= 2) {
        if (!scored_) {
          // The whole generated range, so moves handed out early also have
          // keys when a rewound list sorts them again.
          runScorer(begin_, generatedEnd_);
          scored_ = true;
        }
        std::sort(begin_, end_,
                  [](const MoveListEntry& a, const MoveListEntry& b) { return a.key < b.key; });
      }
      [[fallthrough]];
    default: {
      if (begin_ == end_) return nullptr;
      MoveListEntry* candidate = --end_;
      if (!inProgress_) return candidate;
      // Pass over moves another thread is searching right now; when all
      // are taken, the best one is searched anyway.
      for (MoveListEntry* e = candidate; e >= begin_; --e) {
        if (!inProgress_->testAndSet(InProgressSet::bitFor(e->move, keyLow_))) {
          if (e != candidate) std::swap(*e, *candidate);
          return candidate;
        }
        if (e == begin_) break;
      }
      return candidate;
    }
  }
}
