// Colour symmetry: a position and its colour mirror evaluate the same for
// the side to move, and every term changes sign, over positions from random
// play (openings, castled middlegames, endgames, passed pawns).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "board/attack_tables.h"
#include "board/position.h"
#include "eval/evaluator.h"
#include "support/reference_moves.h"

namespace {

const char* const kSeeds[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r1bq1rk1/pp3ppp/2nbpn2/3p4/2PP4/2NBPN2/PP3PPP/R1BQ1RK1 w - -",
    "2kr3r/ppp2ppp/2n1bn2/2b1p3/4P3/2NP1N2/PPP1BPPP/R1B2RK1 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "8/5pk1/6p1/p7/P2R4/1r4P1/5PK1/8 w - -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "8/8/4k3/3p4/2pP1p2/2P2P2/4K3/8 w - -",
    "6k1/5ppp/8/8/8/8/1B3PPP/6K1 w - -",
    "3qk3/pp3ppp/8/8/8/8/PP3PPP/3QK3 w - -",
    "4k3/8/8/2b5/8/8/4N3/4K3 w - -",
    "8/3k4/8/8/8/8/3PK3/8 w - -",
};

// Positions along random games from each seed, captures preferred half of
// the time so that the games reach endings.
std::vector<Position> randomPositions() {
  std::mt19937 rng(20240611);
  std::vector<Position> out;
  for (const char* fen : kSeeds) {
    for (int game = 0; game < 3; ++game) {
      Position p;
      if (!p.setFen(fen)) continue;
      for (int ply = 0; ply < 60; ++ply) {
        out.push_back(p);
        std::vector<Move> moves = testsupport::legalMoves(p);
        if (moves.empty()) break;
        std::vector<Move> captures;
        for (Move m : moves)
          if (p.notToMove().pieces[0] & squareBit(moveTo(m))) captures.push_back(m);
        const std::vector<Move>& pool = (!captures.empty() && rng() % 2) ? captures : moves;
        const Move m = pool[rng() % pool.size()];
        UndoRecord undo;
        undo.save(p);
        if (!p.makeMove(m, undo)) break;
      }
    }
  }
  return out;
}

// Every term of the evaluation of the evaluator's last position.
struct Terms {
  int material, pawnMg, pawnEg, mobilityMg, mobilityEg, pieceMg, pieceEg, kingSafety, endgameKing;
};

Terms termsOf(Evaluator& ev) {
  Terms t{};
  t.material = ev.lastMaterialScore();
  ev.positional(t.material);  // makes the pawn entry current
  t.pawnMg = ev.pawnEntry().mg;
  t.pawnEg = ev.pawnEntry().eg;
  ev.mobilityAndSpace(&t.mobilityMg, &t.mobilityEg);
  ev.pieceTerms(&t.pieceMg, &t.pieceEg, true, true);
  t.kingSafety = ev.kingSafety();
  t.endgameKing = ev.endgameKingTerms();
  return t;
}

TEST(EvaluatorSymmetry, MirroredPositionsEvaluateAlike) {
  const std::vector<Position> positions = randomPositions();
  ASSERT_GT(positions.size(), 500u);
  Evaluator warm;  // one evaluator for all: hash hits as in a search
  int endings = 0, passers = 0;
  for (const Position& p : positions) {
    Position m;
    m.setMirrored(p);
    char fen[96];
    p.toFen(fen);
    Evaluator fresh;
    const int e = fresh.evaluate(p);
    EXPECT_EQ(fresh.evaluate(m), e) << fen;
    EXPECT_EQ(warm.evaluate(p), e) << fen;
    EXPECT_EQ(warm.evaluate(m), e) << fen;
    EXPECT_EQ(warm.evaluateWithoutMaterial(p), warm.evaluateWithoutMaterial(m)) << fen;
    endings += p.white.material + p.black.material < 28000;
    warm.evaluate(p);
    passers += warm.passedPawns() != 0;
  }
  // The sample reaches the parts that only endings and passed pawns use.
  EXPECT_GT(endings, 100);
  EXPECT_GT(passers, 100);
}

TEST(EvaluatorSymmetry, EveryTermChangesSign) {
  Evaluator ev;
  for (const Position& p : randomPositions()) {
    Position m;
    m.setMirrored(p);
    char fen[96];
    p.toFen(fen);
    ev.evaluate(p);
    const Terms a = termsOf(ev);
    const PawnHashEntry pe = ev.pawnEntry();
    ev.evaluate(m);
    const Terms b = termsOf(ev);
    const PawnHashEntry me = ev.pawnEntry();
    EXPECT_EQ(a.material, -b.material) << fen;
    EXPECT_EQ(a.pawnMg, -b.pawnMg) << fen;
    EXPECT_EQ(a.pawnEg, -b.pawnEg) << fen;
    EXPECT_EQ(a.mobilityMg, -b.mobilityMg) << fen;
    EXPECT_EQ(a.mobilityEg, -b.mobilityEg) << fen;
    EXPECT_EQ(a.pieceMg, -b.pieceMg) << fen;
    EXPECT_EQ(a.pieceEg, -b.pieceEg) << fen;
    EXPECT_EQ(a.kingSafety, -b.kingSafety) << fen;
    EXPECT_EQ(a.endgameKing, -b.endgameKing) << fen;
    // The pawn entry's sets swap colours and flip.
    EXPECT_EQ(me.whiteFrontSpan, flipVertical(pe.blackFrontSpan)) << fen;
    EXPECT_EQ(me.blackFrontSpan, flipVertical(pe.whiteFrontSpan)) << fen;
    EXPECT_EQ(me.whitePassedFiles, flipVertical(pe.blackPassedFiles)) << fen;
    EXPECT_EQ(me.passedPawns, flipVertical(pe.passedPawns)) << fen;
    EXPECT_EQ(me.backwardPawns, flipVertical(pe.backwardPawns)) << fen;
    EXPECT_EQ(me.openFiles, flipVertical(pe.openFiles)) << fen;
    EXPECT_EQ(me.openFileCount, pe.openFileCount) << fen;
    EXPECT_EQ(me.whiteBarrierRegion, flipVertical(pe.blackBarrierRegion)) << fen;
    EXPECT_EQ(me.blackBarrierRegion, flipVertical(pe.whiteBarrierRegion)) << fen;
  }
}

}  // namespace
