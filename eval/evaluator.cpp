#include "eval/evaluator.h"

#include <cstring>
#include <sstream>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/endgame_table.h"
#include "eval/eval_weights.h"

using namespace evalweights;

Evaluator::Evaluator()
    : pawnHash_(new PawnHashEntry[PawnHashSize]), materialHash_(new MaterialHashEntry[MaterialHashSize]) {
  createEndgameTable(endgameTable_);
  net_.load();
  clearHashes();
}

Evaluator::~Evaluator() { destroyEndgameTable(endgameTable_); }

void Evaluator::clearHashes() {
  std::memset(pawnHash_.get(), 0, sizeof(PawnHashEntry) * PawnHashSize);
  for (int i = 0; i < MaterialHashSize; ++i) materialHash_[i] = MaterialHashEntry{0, 0, nullptr};
}

bool Evaluator::setNeuroMaterial(int value) {
  if (value != neuroMaterial_) {
    clearHashes();
    neuroMaterial_ = value;
  }
  return true;
}

bool Evaluator::setNeuroWidth(int value) {
  if (value != neuroWidth_) {
    clearHashes();
    neuroWidth_ = value;
  }
  return true;
}

bool Evaluator::setMaterialFile(const char* name) {
  const char* text = name ? name : "";
  if (materialFile_ == text) return true;
  clearHashes();
  if (!net_.load(name)) {
    // The network in use is still the one of the stored name, so the same
    // name given again (the file since put in place) is loaded then, and
    // helpers copying the name get the network the master has.
    return false;
  }
  materialFile_ = text;
  return true;
}

bool Evaluator::takeMaterialNetworkOf(const Evaluator& other) {
  if (materialFile_ == other.materialFile_) return true;
  // Through the text form at full precision: the copy is the same network
  // to the last bit.
  std::stringstream text;
  text.precision(17);
  if (!other.net_.write(text) || !net_.loadStream(text)) return false;
  clearHashes();
  materialFile_ = other.materialFile_;
  return true;
}

int Evaluator::computeMaterialScore(int relation) {
  const Position& p = *position_;
  if (equalMaterialCounts(p.white, p.black)) return 0;
  const int m = classicalMaterial(p.white, p.black);
  if (neuroMaterial_ <= 0) return m;
  return blendMaterial(m, neuralMaterial(net_, p.white, p.black, relation), neuroMaterial_, neuroWidth_);
}

int Evaluator::material(bool delta) {
  const Position& p = *position_;
  const int relation = bishopRelation(p.bishopColours());
  const uint32_t key = materialSignature(p, relation);
  MaterialHashEntry& entry = materialHash_[key & (MaterialHashSize - 1)];
  // An empty slot has no evaluator, so a signature of 0 cannot hit it.
  if (entry.evaluator == nullptr || entry.key != key) {
    entry.key = key;
    entry.score = computeMaterialScore(relation);
    entry.evaluator = selectEndgameEvaluator(*endgameTable_, p);
  }
  if (!delta) {
    currentEndgame_ = entry.evaluator;
    lastMaterial_ = entry.score;
    return entry.score;
  }
  if (isKnowledgeEvaluator(*endgameTable_, entry.evaluator)) return p.whiteToMove ? 1000000 : -1000000;
  return entry.score - lastMaterial_;
}

int Evaluator::materialDelta() {
  if (!position_) return 0;
  const int d = material(true);
  return position_->whiteToMove ? d : -d;
}

int Evaluator::evaluate(const Position& position) {
  const Position& p = position;
  // The position and the pawn entry of a pawnless board.
  position_ = &p;
  currentPawn_ = &zeroPawn_;

  // Material, which also picks the endgame object.
  int m = material(false);

  // With much material on the board only the positional path applies.
  const int total = p.white.material + p.black.material;
  if (total < PositionalOnlyMaterial) {
    // A side to move with king and pawns only, every king step attacked
    // and not in check, is short of moves.
    const SideState& us = p.toMove();
    const SideState& them = p.notToMove();
    const int king = us.kingSquare();
    if (us.counts[0] - us.counts[Pawn] == 1 && !(attackTables.kingAttacks[king] & ~us.attacked) &&
        !(us.attacked & squareBit(king))) {
      m += p.whiteToMove ? -KingWithoutStepPenalty : KingWithoutStepPenalty;
      const Bitboard steps = p.whiteToMove ? evalbits::north(us.pieces[Pawn]) : evalbits::south(us.pieces[Pawn]);
      // them.pawnAttacked holds the squares our pawns attack.
      if (!(steps & ~p.occupied) && !(them.pawnAttacked & them.pieces[0])) return 0;
    }

    // Exact endgame knowledge.
    if (currentEndgame_->evaluate(p, &m)) return p.whiteToMove ? m : -m;

    // No pawns: drive the weaker king to the edge.
    if (!p.white.pieces[Pawn] && !p.black.pieces[Pawn]) {
      if (p.white.material > p.black.material)
        m = mopUpScore(m, p.white, p.black);
      else if (p.black.material > p.white.material)
        m = -mopUpScore(-m, p.black, p.white);
      else
        m = (mopUpScore(0, p.white, p.black) - mopUpScore(0, p.black, p.white)) / EqualMopUpDivisor;
      return p.whiteToMove ? m + MopUpTempo : MopUpTempo - m;
    }
  }

  // Positional path, scaled by the endgame object; a non-zero score
  // moves one step away from zero.
  int s = currentEndgame_->scale(p, *this, positional(m));
  if (!p.whiteToMove) s = -s;
  return s > 0 ? s + 1 : s < 0 ? s - 1 : 0;
}

int Evaluator::evaluateWithoutMaterial(const Position& position) {
  int e = evaluate(position);
  e = e > 0 ? e - 1 : e < 0 ? e + 1 : 0;
  return e - (position.whiteToMove ? lastMaterial_ : -lastMaterial_);
}

const PawnHashEntry* Evaluator::pawnStructure() {
  const Position& p = *position_;
  // No pawns: the zero entry, the hash untouched.
  if (!p.white.pieces[Pawn] && !p.black.pieces[Pawn]) {
    currentPawn_ = &zeroPawn_;
    return currentPawn_;
  }
  // Probe; an empty slot holds key 0, so a key of 0 never counts as a hit.
  PawnHashEntry& entry = pawnHash_[p.pawnKey & (PawnHashSize - 1)];
  currentPawn_ = &entry;
  if (entry.key == p.pawnKey && p.pawnKey != 0) return currentPawn_;
  // A miss recomputes every field.
  clearPawnHashEntry(entry);
  entry.key = p.pawnKey;
  computePawnStructure(p, entry);
  return currentPawn_;
}
