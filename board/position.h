// The board record read by every part of the engine: men on the board plus
// everything derived from them and kept current move by move (keys,
// material, attack maps, pinned men, castling geometry, piece lists).
// A Position is plain data: it is copied byte for byte and owns nothing.
#pragma once

#include <cstdint>

#include "board/keys.h"
#include "board/types.h"

class UndoRecord;

// Castling rights bits.
constexpr uint8_t WhiteShort = 1;
constexpr uint8_t WhiteLong = 2;
constexpr uint8_t BlackShort = 4;
constexpr uint8_t BlackLong = 8;

// How a FEN's castling field is read. Detect takes the field as written and
// marks the position Chess960 when its rights need a king or rook off the
// standard squares. StandardChess is for a game the interface plays as
// standard chess: a right counts only with its king on e1 (e8) and its rook
// on the corner of its wing, every other right is dropped, and the position
// stays standard chess.
enum class FenCastling : uint8_t { Detect, StandardChess };

struct SideState {
  Bitboard attacked;       // squares the enemy attacks
  Bitboard attackedTwice;  // squares reached by at least two enemy attack sets
  Bitboard pawnAttacked;   // squares enemy pawns attack
  Bitboard threatened;     // own men attacked by a lower-valued enemy class
  const ZobristTable* zobrist;
  const MaterialKeyStepTable* materialKeyDeltas;
  int32_t material;  // own material without the king, milli-pawns
  uint32_t materialKey;
  Bitboard homeRank;
  Bitboard shortEmpty;  // must be empty for short castling
  Bitboard longEmpty;
  Bitboard shortSafe;  // king path of short castling: none may be attacked
  Bitboard longSafe;
  int8_t push;  // -8 white, +8 black
  uint8_t shortRookSquare;  // 255 none
  uint8_t longRookSquare;
  uint8_t longKingTarget;
  uint8_t longRookTarget;
  uint8_t shortRookTarget;
  uint8_t shortKingTarget;
  uint8_t rightsMask;  // this colour's bits of castlingRights
  int8_t counts[7];    // men by type; entry 0 all own men
  Bitboard pieces[7];  // bitboards by type; entry 0 all own men
  int8_t lists[7][10];  // squares by type, counts[t] valid entries; row 0 unused

  // Zobrist key of a man of this colour.
  uint64_t key(int type, int square) const { return (*zobrist)[type][square]; }
  int kingSquare() const { return lists[King][0]; }

  void computeMaterial();
  // Rebuilds counts and lists (ascending squares) from pieces.
  void buildPieceLists();
  // Decrements counts[0], removes square from the type's list (the last
  // entry fills the gap, both logged), updates material key, count and
  // material. Logs neither count: its callers do.
  void removeFromList(int type, int square, UndoRecord& undo);
  // This colour's four maps: attacks of enemy against this side.
  void computeAttackMaps(const SideState& enemy, Bitboard occupied, bool enemyIsWhite);
  // Own men pinned against the own king by enemy sliders.
  Bitboard pinnedPieces(const SideState& enemy, Bitboard occupied) const;
  // Castling geometry of this colour from the masks of allowed rook files,
  // without looking at the rights.
  void setupCastling(Bitboard shortMask, Bitboard longMask);
  bool shortRookIsOutermost() const;
  bool longRookIsOutermost() const;
};

class Position {
 public:
  Bitboard occupied;
  Bitboard lastMoveMask;  // from and to of the last move; after castling the king's square
  uint64_t hashKey;
  uint64_t pawnKey;
  Bitboard pinned;  // men of either colour pinned against their own king
  int8_t epSquare;  // top bit set: none
  uint8_t castlingRights;
  uint8_t whiteToMove;
  uint8_t chess960;         // castling written "O-O" / "O-O-O"
  uint8_t castlingAsFiles;  // rights were given as bare rook files
  SideState white;
  SideState black;

  Position();

  SideState& side(bool isWhite) { return isWhite ? white : black; }
  const SideState& side(bool isWhite) const { return isWhite ? white : black; }
  SideState& toMove() { return whiteToMove ? white : black; }
  const SideState& toMove() const { return whiteToMove ? white : black; }
  SideState& notToMove() { return whiteToMove ? black : white; }
  const SideState& notToMove() const { return whiteToMove ? black : white; }
  bool hasEpSquare() const { return epSquare >= 0; }
  bool inCheck() const { return (toMove().attacked & toMove().pieces[King]) != 0; }

  // --- set-up ---
  void setStartPosition();
  // Chess960 start position n modulo 960 (518 is the standard one).
  void setChess960(unsigned n);
  // Reads the first four FEN fields; returns the text after the en-passant
  // field, or null when refused (the position is then unchanged).
  const char* setFen(const char* text, FenCastling castling = FenCastling::Detect);
  // Validates the men, side, rights, geometry, ep square and last-move mask
  // and derives everything else; false when the position is refused.
  bool finishSetup();
  void setupCastling(Bitboard shortMask, Bitboard longMask);
  // First four FEN fields, at most 85 characters plus NUL.
  void toFen(char* out) const;
  // Developer set-up from German piece groups or a board diagram.
  bool setFromPieceList(const char* text);
  void buildPieceLists();

  // --- keys and derived state ---
  void computeKeys();
  void computeAttackMaps();
  void computePinned();
  int bishopColours() const;

  // --- making moves ---
  // Makes the move with every derived field current; false (and restored)
  // when it leaves the mover's king attacked.
  bool makeMove(Move move, UndoRecord& undo);
  // Makes the move testing only the mover's king: the attack maps and the
  // pinned set still describe the position before it, so only examination
  // and restore may follow.
  bool makeMoveFast(Move move, UndoRecord& undo);
  void doMove(SideState& mover, SideState& enemy, Move move, UndoRecord& undo);
  // Whether that colour's king is attacked, the enemy king not counted.
  // Unused by the engine; kept as the per-colour form of makeMoveFast's test.
  bool whiteInCheck() const;
  bool blackInCheck() const;
  // Whether the side to move has no legal move; then result (when given) is
  // 0 for stalemate, -1 when White is mated, +1 when Black is mated.
  bool noLegalMove(int* result = nullptr);
  // The material and blocked-pawn draw tests: 10, 40 or 0.
  int staticDrawStatus() const;

  // --- developer helpers ---
  void setMirrored(const Position& source);
  void toPieceCodes(int out[64]) const;

 private:
  void initConstants();
  bool kingAttackedAfterMove(const SideState& mover, const SideState& enemy) const;
};

// Mirrors a bitboard top to bottom: square s goes to s ^ 56.
inline Bitboard flipVertical(Bitboard b) { return __builtin_bswap64(b); }

// Saved scalars and maps of one Position plus a log of the bytes and words
// a move changed, replayed backwards by restore.
class UndoRecord {
 public:
  Position* position = nullptr;
  uint32_t whiteMaterialKey = 0;
  int32_t whiteMaterial = 0;
  uint32_t blackMaterialKey = 0;
  int32_t blackMaterial = 0;
  Bitboard occupied = 0, lastMoveMask = 0, hashKey = 0, pawnKey = 0, pinned = 0;
  int8_t epSquare = -1;
  uint8_t castlingRights = 0;
  uint8_t whiteToMove = 0;
  int32_t captured = 0;  // type the move took, 0 none
  Bitboard blackMaps[4] = {};
  Bitboard whiteMaps[4] = {};
  int32_t byteLogCount = 0;
  int8_t* byteAddress[10] = {};
  int8_t byteValue[10] = {};
  int32_t wordLogCount = 0;
  Bitboard* wordAddress[5] = {};
  Bitboard wordValue[5] = {};

  void save(Position& p);
  void restore();

  void logByte(int8_t& b) {
    byteAddress[byteLogCount] = &b;
    byteValue[byteLogCount++] = b;
  }
  void logByte(uint8_t& b) { logByte(reinterpret_cast<int8_t&>(b)); }
  void logWord(Bitboard& w) {
    wordAddress[wordLogCount] = &w;
    wordValue[wordLogCount++] = w;
  }
};

// A move from two squares and an optional German promotion letter
// (D, L, S, T); no legality test. A developer's helper.
Move parseGermanCoordinateMove(const Position& position, const char* text);
