// The endgame table: one object of every endgame knowledge class, in a
// fixed order, and the choice of the object for a position by its piece
// counts. Also the constant square sets the knowledge classes read.
#pragma once

#include "board/types.h"
#include "eval/endgame_evaluators.h"

class Position;

struct EndgameTable {
  static constexpr int kSlots = 39;

  EndgameTable();
  EndgameTable(const EndgameTable&) = delete;
  EndgameTable& operator=(const EndgameTable&) = delete;

  // The object in slot i (0 = the default member), in table order.
  const EndgameEvaluator* member(int i) const { return slots_[i]; }
  // The slot of an object of this table, -1 for any other pointer.
  int slotOf(const EndgameEvaluator* evaluator) const;

  DefaultEndgameEvaluator defaultEndgame;
  DrawEvaluator draw;
  KNNvKEvaluator kNNvK;
  KPvKEvaluator kPvK;
  KvKPEvaluator kvKP;
  KXvKEvaluator kXvK;
  KvKXEvaluator kvKX;
  KXvKXEvaluator kXvKX;
  KQvKREvaluator kQvKR;
  KRvKQEvaluator kRvKQ;
  KPvKMEvaluator kPvKM;
  KMvKPEvaluator kMvKP;
  KRvKMEvaluator kRvKM;
  KMvKREvaluator kMvKR;
  KvKMPEvaluator kvKMP;
  KMPvKEvaluator kMPvK;
  KBNvKEvaluator kBNvK;
  KvKBNEvaluator kvKBN;
  KRMvKREvaluator kRMvKR;
  KRvKRMEvaluator kRvKRM;
  KMMvKMEvaluator kMMvKM;
  KMvKMMEvaluator kMvKMM;
  KMMvKREvaluator kMMvKR;
  KRvKMMEvaluator kRvKMM;
  KQMvKQEvaluator kQMvKQ;
  KQvKQMEvaluator kQvKQM;
  KRvKMPEvaluator kRvKMP;
  KMPvKREvaluator kMPvKR;
  KRPvKREvaluator kRPvKR;
  KRvKRPEvaluator kRvKRP;
  KRMvKRPEvaluator kRMvKRP;
  KRPvKRMEvaluator kRPvKRM;
  KNNvKPEvaluator kNNvKP;
  PawnEndingEvaluator pawnEnding;
  BishopEndingEvaluator bishopEnding;
  KnightEndingEvaluator knightEnding;
  QueenEndingEvaluator queenEnding;
  BishopKnightEndingEvaluator bishopKnightEnding;
  OneSidedPawnsEvaluator oneSidedPawns;
 private:
  const EndgameEvaluator* slots_[kSlots];
};

// Allocates a table with all its objects and stores it in the slot.
void createEndgameTable(EndgameTable*& slot);
// Frees the table in the slot, if any, and clears the slot, so that a
// second call does nothing.
void destroyEndgameTable(EndgameTable*& slot);

// Gives back the table's object for the position's material (the default
// member when nothing applies); never null. Reads the piece counts only.
const EndgameEvaluator* selectEndgameEvaluator(const EndgameTable& table, const Position& position);

// Gives back whether the object is other than the table's default member.
inline bool isKnowledgeEvaluator(const EndgameTable& table, const EndgameEvaluator* evaluator) {
  return evaluator != &table.defaultEndgame;
}

// Gives back whether the position's material has a knowledge object.
bool hasEndgameKnowledge(const EndgameTable& table, const Position& position);

// Constant square sets, built before main from their square-list texts.
extern const Bitboard LongDiagonals;          // a1-h8 and a8-h1
extern const Bitboard SecondRing;             // c2-f2, c7-f7, b3-b6, g3-g6
extern const Bitboard CornerDiagonalSquares;  // a1, a8, h1, h8, b2, b7, g2, g7
extern const Bitboard LightCornerZone;        // a7, a8, b8, g1, h1, h2
extern const Bitboard DarkCornerZone;         // b1, a1, a2, g8, h8, h7
