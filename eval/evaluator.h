// The static evaluation of one search thread: material (classical formula
// blended with the material network, cached in the material hash), pawn
// structure (cached in the pawn hash), mobility, space, piece terms, king
// safety with pawn shelter, endgame king terms and the endgame knowledge of
// its own EndgameTable. Nothing in it is shared between threads.
//
// Inside, every score is in white's view; evaluate(), evaluateWithoutMaterial()
// and materialDelta() answer in the side to move's view, in milli-pawns.
#pragma once

#include <memory>
#include <string>

#include "board/types.h"
#include "eval/material_hash.h"
#include "eval/material_net.h"
#include "eval/pawn_hash.h"

class EndgameEvaluator;
class Position;
struct EndgameTable;
struct SideState;

class Evaluator {
 public:
  static constexpr int PawnHashSize = 1024;
  static constexpr int MaterialHashSize = 8192;

  // Built-in material network, a fresh endgame table, both hashes
  // allocated and empty, NeuroMaterial 40, NeuroWidth 500.
  Evaluator();
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // Gives back the static evaluation of the position, side to move's view.
  // The position must stay alive and unchanged for the read accessors below
  // and for materialDelta() until the next evaluation.
  int evaluate(const Position& position);

  // Gives back evaluate() moved one step toward zero, minus the material
  // score in the side to move's view.
  int evaluateWithoutMaterial(const Position& position);

  // Gives back the change of the material score of the last evaluated
  // position, in its present state, against the score stored by the last
  // evaluation (side to move's view); 1000000 when its material has endgame
  // knowledge; 0 before the first evaluation.
  int materialDelta();

  // Each stores a changed value and then empties both hashes; an equal
  // value changes nothing. Always true.
  bool setNeuroMaterial(int value);
  bool setNeuroWidth(int value);
  // A null name counts as empty. An equal name changes nothing (true);
  // otherwise both hashes are emptied and the network loaded ("",
  // "(internal)" and null give the built-in one). A load that works stores
  // the name; one that fails keeps the network and the name it had, so the
  // stored name is always that of the network in use. Gives back the
  // result of the load.
  bool setMaterialFile(const char* name);
  // Takes over another evaluator's material network and its name, unless
  // the name is already this one's: a helper gets the network its master
  // uses without reading the file again (which may be gone, or a FIFO read
  // once). Gives back false, with this network kept, when it cannot.
  bool takeMaterialNetworkOf(const Evaluator& other);

  int neuroMaterial() const { return neuroMaterial_; }
  int neuroWidth() const { return neuroWidth_; }
  const std::string& materialFile() const { return materialFile_; }

  // Empties the pawn hash and the material hash.
  void clearHashes();

  // --- read access to the last evaluated position ---
  // Its pawn-hash entry (the zero entry for a position without pawns).
  const PawnHashEntry& pawnEntry() const { return *currentPawn_; }
  Bitboard passedPawns() const { return currentPawn_->passedPawns; }
  // The endgame object chosen for its material; null before the first evaluation.
  const EndgameEvaluator* endgameEvaluator() const { return currentEndgame_; }
  // Its material score in white's view.
  int lastMaterialScore() const { return lastMaterial_; }
  const Position* position() const { return position_; }

  const EndgameTable& endgameTable() const { return *endgameTable_; }
  MaterialNet& materialNet() { return net_; }

  // --- the parts of the evaluation, white's view, on the stored position ---

  // Gives back the material score; with delta false it also becomes the
  // current endgame object and the last material score, with delta true
  // neither changes and the answer is the change against the last score
  // (+-1000000 for knowledge materials, white's view).
  int material(bool delta);

  // Gives back the evaluation without endgame knowledge, built on the
  // material score.
  int positional(int materialScore);

  // Gives back the pawn entry of the position (probed, or computed and
  // stored) and makes it the current pawn entry.
  const PawnHashEntry* pawnStructure();

  // Adds mobility and space to both sums.
  void mobilityAndSpace(int* mg, int* eg) const;

  // Gives back white's king-safety value minus black's, each scaled by the
  // attacking side's material.
  int kingSafety() const;

  // Shelter values of a side by its castling rights, each in its own
  // side's view: no right (the king's own file), short only, long only, both.
  int whiteShelter(Bitboard king) const;
  int blackShelter(Bitboard king) const;
  int whiteShelterShort() const;
  int whiteShelterLong() const;
  int whiteShelterBoth() const;
  int blackShelterShort() const;
  int blackShelterLong() const;
  int blackShelterBoth() const;

  // Adds pins, hanging men, weak and passed pawns, development, outposts,
  // trapped and bad bishops, rook placement to both sums; the
  // middlegame-only and endgame-only parts are skipped when unused.
  void pieceTerms(int* mg, int* eg, bool middlegameUsed, bool endgameUsed) const;

  // Gives back the endgame king terms: centralisation, king cover against
  // a queen, races to the squares ahead of passed pawns, king activity.
  int endgameKingTerms() const;

  // The hash slots, for inspection.
  const PawnHashEntry& pawnHashSlot(int i) const { return pawnHash_[i]; }
  const MaterialHashEntry& materialHashSlot(int i) const { return materialHash_[i]; }

 private:
  int computeMaterialScore(int relation);

  std::unique_ptr<PawnHashEntry[]> pawnHash_;
  std::unique_ptr<MaterialHashEntry[]> materialHash_;
  std::string materialFile_;
  MaterialNet net_;
  int neuroMaterial_ = 40;
  int neuroWidth_ = 500;
  PawnHashEntry zeroPawn_{};
  const PawnHashEntry* currentPawn_ = &zeroPawn_;
  EndgameTable* endgameTable_ = nullptr;
  const Position* position_ = nullptr;
  const EndgameEvaluator* currentEndgame_ = nullptr;
  int lastMaterial_ = 0;
};

// Gives back base plus the strong side's drive to mate a lone king: the
// weak king's distance from the centre, less the distance between the kings.
int mopUpScore(int base, const SideState& strong, const SideState& weak);

// Gives back the number of king-step floods (each kept inside mask) that it
// takes the start set to meet the target set: 0 when they already meet, at
// most 8 (also when they never meet).
int floodDistance(Bitboard start, Bitboard target, Bitboard mask);

// Adds one side's piece mobility to both sums, as the positional evaluation
// counts it; occupancy is the full board.
void sideMobility(const SideState& own, const SideState& other, Bitboard occupancy, int* mg, int* eg);

// Gives back 0, 1 or 2: the number of squares, reachable by an own queen,
// neither own men nor attacked by the enemy, from which a queen would
// attack a square of the set (capped at 2).
int safeQueenChecks(const SideState& own, Bitboard occupancy, Bitboard squares);
