#include "eval/endgame_table.h"

#include "board/attack_tables.h"
#include "board/position.h"

const Bitboard LongDiagonals = squaresToBitboard("A1B2C3D4E5F6G7H8A8B7C6D5E4F3G2H1");
const Bitboard SecondRing = squaresToBitboard("C2D2E2F2C7D7E7F7B3B4B5B6G3G4G5G6");
const Bitboard CornerDiagonalSquares = squaresToBitboard("A1A8H1H8B2B7G2G7");
const Bitboard LightCornerZone = squaresToBitboard("A7A8B8G1H1H2");
const Bitboard DarkCornerZone = squaresToBitboard("B1A1A2G8H8H7");

EndgameTable::EndgameTable()
    : slots_{&defaultEndgame, &draw,         &kNNvK,         &kPvK,          &kvKP,         &kXvK,
             &kvKX,           &kXvKX,        &kQvKR,         &kRvKQ,         &kPvKM,        &kMvKP,
             &kRvKM,          &kMvKR,        &kvKMP,         &kMPvK,         &kBNvK,        &kvKBN,
             &kRMvKR,         &kRvKRM,       &kMMvKM,        &kMvKMM,        &kMMvKR,       &kRvKMM,
             &kQMvKQ,         &kQvKQM,       &kRvKMP,        &kMPvKR,        &kRPvKR,       &kRvKRP,
             &kRMvKRP,        &kRPvKRM,      &kNNvKP,        &pawnEnding,    &bishopEnding, &knightEnding,
             &queenEnding,    &bishopKnightEnding, &oneSidedPawns} {}

int EndgameTable::slotOf(const EndgameEvaluator* evaluator) const {
  for (int i = 0; i < kSlots; ++i)
    if (slots_[i] == evaluator) return i;
  return -1;
}

void createEndgameTable(EndgameTable*& slot) { slot = new EndgameTable(); }

void destroyEndgameTable(EndgameTable*& slot) {
  delete slot;
  slot = nullptr;
}

namespace {

// The piece counts the selection rules read.
struct MaterialCounts {
  int Wn, Bn;  // all men, king included
  int wP, wN, wB, wR, wQ, wM;
  int bP, bN, bB, bR, bQ, bM;

  explicit MaterialCounts(const Position& p)
      : Wn(p.white.counts[0]),
        Bn(p.black.counts[0]),
        wP(p.white.counts[Pawn]),
        wN(p.white.counts[Knight]),
        wB(p.white.counts[Bishop]),
        wR(p.white.counts[Rook]),
        wQ(p.white.counts[Queen]),
        wM(wN + wB),
        bP(p.black.counts[Pawn]),
        bN(p.black.counts[Knight]),
        bB(p.black.counts[Bishop]),
        bR(p.black.counts[Rook]),
        bQ(p.black.counts[Queen]),
        bM(bN + bB) {}
};

// The rules for up to six men; null when they end in the general rules.
const EndgameEvaluator* fewMenEvaluator(const EndgameTable& t, const MaterialCounts& c) {
  const int total = c.Wn + c.Bn;
  switch (total) {
    case 2:
      return &t.draw;
    case 3:
      if (c.wM + c.bM > 0) return &t.draw;
      if (c.wP > 0) return &t.kPvK;
      if (c.bP > 0) return &t.kvKP;
      if (c.Wn > 1) return &t.kXvK;
      if (c.Bn > 1) return &t.kvKX;
      return nullptr;
    case 4:
      if (c.Wn == c.Bn) {
        if (c.wM == 1 && c.bM == 1) return &t.draw;
        if ((c.wR == 1 && c.bR == 1) || (c.wQ == 1 && c.bQ == 1)) return &t.kXvKX;
        if (c.wR == 1 && c.bQ == 1) return &t.kRvKQ;
        if (c.wQ == 1 && c.bR == 1) return &t.kQvKR;
        if (c.wR == 1 && c.bM == 1) return &t.kRvKM;
        if (c.bR == 1 && c.wM == 1) return &t.kMvKR;
        if (c.wP == 1 && c.bM == 1) return &t.kPvKM;
        if (c.bP == 1 && c.wM == 1) return &t.kMvKP;
        return nullptr;
      }
      if (c.Wn == 3) {
        if (c.wM == 2) {
          if (c.wN == 2) return &t.kNNvK;
          if (c.wN == 1) return &t.kBNvK;
          return nullptr;  // two bishops
        }
        if (c.wM == 1 && c.wP == 1) return &t.kMPvK;
        return nullptr;
      }
      if (c.Bn == 3) {
        if (c.bM == 2) {
          if (c.bN == 2) return &t.kNNvK;
          if (c.bN == 1) return &t.kvKBN;
          return nullptr;
        }
        if (c.bM == 1 && c.bP == 1) return &t.kvKMP;
        return nullptr;
      }
      return nullptr;
    case 5:
      if (c.wR == 1 && c.bR == 1) {
        if (c.wP == 1) return &t.kRPvKR;
        if (c.bP == 1) return &t.kRvKRP;
        if (c.wM == 1) return &t.kRMvKR;
        if (c.bM == 1) return &t.kRvKRM;
        return nullptr;
      }
      if (c.bM == 1) {
        if (c.wR == 1 && c.bP == 1) return &t.kRvKMP;
        if (c.wQ == 1 && c.bQ == 1) return &t.kQvKQM;
        if (c.wM == 2) return &t.kMMvKM;
        if (c.bB == 1 && c.bP > 0 && c.wP + c.bP == 2) return &t.kvKMP;
        return nullptr;
      }
      if (c.wM == 1) {
        if (c.bR == 1 && c.wP == 1) return &t.kMPvKR;
        if (c.wQ == 1 && c.bQ == 1) return &t.kQMvKQ;
        if (c.bM == 2) return &t.kMvKMM;
        if (c.wB == 1 && c.wP > 0 && c.wP + c.bP == 2) return &t.kMPvK;
        return nullptr;
      }
      if (c.wM == 2) {
        if (c.bR == 1) return &t.kMMvKR;
        if (c.bP == 1 && c.wN == 2) return &t.kNNvKP;
        return nullptr;
      }
      if (c.bM == 2) {
        if (c.wR == 1) return &t.kRvKMM;
        if (c.wP == 1 && c.bN == 2) return &t.kNNvKP;
        return nullptr;
      }
      return nullptr;
    case 6:
      if (c.wR == 1 && c.bR == 1) {
        if (c.wM == 1 && c.bP == 1) return &t.kRMvKRP;
        if (c.bM == 1 && c.wP == 1) return &t.kRPvKRM;
      }
      if (c.wP + c.bP == 3) {
        if (c.wB == 1 && c.wP > 0) return &t.kMPvK;
        if (c.bB == 1 && c.bP > 0) return &t.kvKMP;
      }
      return nullptr;
    default:
      return nullptr;
  }
}

// The general rules, for any number of men.
const EndgameEvaluator* generalEvaluator(const EndgameTable& t, const MaterialCounts& c) {
  const int kingsAndPieces = c.Wn + c.Bn - c.wP - c.bP;
  if (kingsAndPieces == 2) return &t.pawnEnding;
  if (kingsAndPieces <= 4 && c.Wn - c.wP == 2 && c.Bn - c.bP == 2) {
    if (c.wB == 1 && c.bB == 1) return &t.bishopEnding;
    if (c.wN == 1 && c.bN == 1) return &t.knightEnding;
    if ((c.wB == 1 && c.bN == 1) || (c.bB == 1 && c.wN == 1)) return &t.bishopKnightEnding;
    if (c.wQ == 1 && c.bQ == 1) return &t.queenEnding;
  }
  if ((c.wP > 0) != (c.bP > 0)) return &t.oneSidedPawns;
  return &t.defaultEndgame;
}

}  // namespace

const EndgameEvaluator* selectEndgameEvaluator(const EndgameTable& table, const Position& position) {
  const MaterialCounts counts(position);
  if (counts.Wn + counts.Bn <= 6) {
    if (const EndgameEvaluator* pick = fewMenEvaluator(table, counts)) return pick;
  }
  return generalEvaluator(table, counts);
}

bool hasEndgameKnowledge(const EndgameTable& table, const Position& position) {
  return isKnowledgeEvaluator(table, selectEndgameEvaluator(table, position));
}
