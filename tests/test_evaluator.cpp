// The evaluation entry, the settings and the read accessors.
#include "eval/evaluator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "eval/endgame_table.h"
#include "support/material_positions.h"

namespace {

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

int towardZero(int e) { return e > 0 ? e - 1 : e < 0 ? e + 1 : 0; }
int awayFromZero(int e) { return e > 0 ? e + 1 : e < 0 ? e - 1 : 0; }
int forSideToMove(const Position& p, int whiteView) { return p.whiteToMove ? whiteView : -whiteView; }

int usedMaterialSlots(const Evaluator& ev) {
  int n = 0;
  for (int i = 0; i < Evaluator::MaterialHashSize; ++i) n += ev.materialHashSlot(i).evaluator != nullptr;
  return n;
}
int usedPawnSlots(const Evaluator& ev) {
  int n = 0;
  for (int i = 0; i < Evaluator::PawnHashSize; ++i) n += ev.pawnHashSlot(i).key != 0;
  return n;
}

// White king a1 and pawn a2, boxed in by the black king on c2, the pawn on
// a3 and the bishop on d5: white to move has no move at all.
const char* const kBoxedKing = "8/8/8/3b4/8/p7/P1k5/K7 w - -";
// The same with a white h-pawn that can still step forward.
const char* const kBoxedKingPawnStep = "8/8/8/3b4/8/p7/P1k4P/K7 w - -";

TEST(EvaluatorEntry, StartPositionScores34ForEitherSide) {
  Evaluator ev;
  Position p;
  EXPECT_EQ(ev.evaluate(p), 34);
  Position black = fromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
  EXPECT_EQ(ev.evaluate(black), 34);
  EXPECT_EQ(ev.evaluate(p), 34);  // again with both hashes warm
  EXPECT_EQ(ev.lastMaterialScore(), 0);
}

TEST(EvaluatorEntry, SideWithoutMovesScoresZero) {
  Evaluator ev;
  const Position boxed = fromFen(kBoxedKing);
  EXPECT_EQ(ev.evaluate(boxed), 0);
  Position mirrored;
  mirrored.setMirrored(boxed);
  EXPECT_EQ(ev.evaluate(mirrored), 0);
  // Zero evaluation: without material it is minus the material score.
  const int withoutMaterial = ev.evaluateWithoutMaterial(boxed);
  EXPECT_EQ(withoutMaterial, -ev.lastMaterialScore());
  EXPECT_NE(ev.lastMaterialScore(), 0);
}

TEST(EvaluatorEntry, BoxedKingWithAPawnMoveCosts150) {
  Evaluator ev;
  const Position p = fromFen(kBoxedKingPawnStep);
  const int e = ev.evaluate(p);
  ASSERT_NE(e, 0);
  const int m = ev.lastMaterialScore();
  // Pure endgame phase: the positional score is linear in the material score.
  EXPECT_EQ(e, awayFromZero(ev.positional(m - 150)));
  EXPECT_EQ(ev.positional(m) - ev.positional(m - 150), 150);
  // Not in the test when a step square is free of attack.
  const Position free = fromFen("8/8/8/3b4/8/p7/P3k2P/K7 w - -");
  const int f = ev.evaluate(free);
  EXPECT_EQ(f, awayFromZero(ev.positional(ev.lastMaterialScore())));
}

TEST(EvaluatorEntry, PawnlessEndingsDriveTheKingAndGiveTheMoverThree) {
  Evaluator ev;
  // Two rooks against a bare king (no knowledge class), either side to move.
  for (const char* fen : {"7k/8/8/8/8/8/1R6/RK6 w - -", "7k/8/8/8/8/8/1R6/RK6 b - -"}) {
    const Position p = fromFen(fen);
    const int e = ev.evaluate(p);
    const int expected = mopUpScore(ev.lastMaterialScore(), p.white, p.black);
    EXPECT_EQ(e, p.whiteToMove ? expected + 3 : 3 - expected) << fen;
    Position m;
    m.setMirrored(p);
    EXPECT_EQ(ev.evaluate(m), e) << fen;
  }
  // Equal material: only the two mating drives, a third of their difference.
  for (const char* fen : {"r6k/1r6/8/8/8/8/1R6/RK6 w - -", "r6k/1r6/8/8/8/8/1R6/RK6 b - -"}) {
    const Position p = fromFen(fen);
    const int drive = (mopUpScore(0, p.white, p.black) - mopUpScore(0, p.black, p.white)) / 3;
    EXPECT_EQ(ev.evaluate(p), p.whiteToMove ? drive + 3 : 3 - drive) << fen;
  }
}

TEST(EvaluatorEntry, WithoutMaterialIsTheRestOfTheScore) {
  Evaluator ev;
  for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
                          "8/5k2/8/3P4/8/8/2K5/8 w - -", "7k/8/8/8/8/8/1R6/RK6 b - -"}) {
    const Position p = fromFen(fen);
    const int e = ev.evaluate(p);
    EXPECT_EQ(ev.evaluateWithoutMaterial(p), towardZero(e) - forSideToMove(p, ev.lastMaterialScore())) << fen;
  }
}

TEST(EvaluatorSettings, ChangedValuesEmptyBothHashes) {
  Evaluator ev;
  const Position p = fromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  const Position q = fromFen("8/5k2/8/3P4/8/8/2K5/8 w - -");
  auto fill = [&] {
    ev.evaluate(p);
    ev.evaluate(q);
    ASSERT_GT(usedMaterialSlots(ev), 0);
    ASSERT_GT(usedPawnSlots(ev), 0);
  };
  auto expectKept = [&](const char* what) {
    EXPECT_GT(usedMaterialSlots(ev), 0) << what;
    EXPECT_GT(usedPawnSlots(ev), 0) << what;
  };
  auto expectEmpty = [&](const char* what) {
    EXPECT_EQ(usedMaterialSlots(ev), 0) << what;
    EXPECT_EQ(usedPawnSlots(ev), 0) << what;
  };

  EXPECT_EQ(ev.neuroMaterial(), 40);
  EXPECT_EQ(ev.neuroWidth(), 500);
  EXPECT_EQ(ev.materialFile(), "");

  fill();
  EXPECT_TRUE(ev.setNeuroMaterial(40));
  expectKept("same NeuroMaterial");
  EXPECT_TRUE(ev.setNeuroMaterial(41));
  expectEmpty("new NeuroMaterial");
  EXPECT_EQ(ev.neuroMaterial(), 41);

  fill();
  EXPECT_TRUE(ev.setNeuroWidth(500));
  expectKept("same NeuroWidth");
  EXPECT_TRUE(ev.setNeuroWidth(20000));  // no range check here
  expectEmpty("new NeuroWidth");
  EXPECT_EQ(ev.neuroWidth(), 20000);

  fill();
  EXPECT_TRUE(ev.setMaterialFile(nullptr));  // null is the stored empty name
  EXPECT_TRUE(ev.setMaterialFile(""));
  expectKept("same MaterialFile");
  EXPECT_TRUE(ev.setMaterialFile("(internal)"));
  expectEmpty("new MaterialFile");
  EXPECT_EQ(ev.materialFile(), "(internal)");

  fill();
  ev.clearHashes();
  expectEmpty("clearHashes");
}

TEST(EvaluatorSettings, MaterialFileLoadsAndReturnsToTheBuiltInNetwork) {
  const Position p = fromFen("k7/8/8/8/8/8/8/3QK3 w - -");
  Evaluator builtIn;
  builtIn.evaluate(p);
  const int builtInScore = builtIn.lastMaterialScore();

  // A network whose output is 0.9 x own queens + 0.1 x other queens.
  const std::string path = ::testing::TempDir() + "brakken_eval_queens_net.txt";
  {
    std::ofstream out(path, std::ios::trunc);
    out << "15 3 0 12 1 0 2 1 0 0 2 0 0 6 2 0 0.9 0.1 0";
  }
  Evaluator ev;
  EXPECT_TRUE(ev.setMaterialFile(path.c_str()));
  ev.evaluate(p);
  const int expected = blendMaterial(classicalMaterial(p.white, p.black),
                                     (expectedResultToMilliPawns(0.9) - expectedResultToMilliPawns(0.1)) / 2, 40, 500);
  EXPECT_EQ(ev.lastMaterialScore(), expected);
  EXPECT_NE(expected, builtInScore);

  // A missing file: false, the hashes emptied, the network and its name
  // kept.
  EXPECT_FALSE(ev.setMaterialFile("/nonexistent/brakken/net.txt"));
  EXPECT_EQ(ev.materialFile(), path);
  EXPECT_EQ(usedMaterialSlots(ev), 0);
  ev.evaluate(p);
  EXPECT_EQ(ev.lastMaterialScore(), expected);

  // The name of a load that failed is tried again once the file is there.
  const std::string late = ::testing::TempDir() + "brakken_eval_late_net.txt";
  std::remove(late.c_str());
  EXPECT_FALSE(ev.setMaterialFile(late.c_str()));
  EXPECT_FALSE(ev.setMaterialFile(late.c_str()));
  {
    std::ofstream out(late, std::ios::trunc);
    out << "15 3 0 12 1 0 2 1 0 0 2 0 0 6 2 0 0.1 0.9 0";
  }
  EXPECT_TRUE(ev.setMaterialFile(late.c_str()));
  EXPECT_EQ(ev.materialFile(), late);
  ev.evaluate(p);
  EXPECT_NE(ev.lastMaterialScore(), expected);
  std::remove(late.c_str());

  // Null: the empty name, the hashes emptied, the built-in network back.
  EXPECT_TRUE(ev.setMaterialFile(nullptr));
  EXPECT_EQ(ev.materialFile(), "");
  EXPECT_EQ(usedMaterialSlots(ev), 0);
  ev.evaluate(p);
  EXPECT_EQ(ev.lastMaterialScore(), builtInScore);
  std::remove(path.c_str());
}

// A helper takes its master's network as it is in memory: the file it was
// read from may be gone (or a FIFO, read once) by the time the helper is
// refreshed. The copy scores exactly as the master, built-in one included.
TEST(EvaluatorSettings, AHelperTakesTheMastersNetworkWithoutTheFile) {
  const std::vector<Position> positions = {fromFen("k7/8/8/8/8/8/8/3QK3 w - -"),
                                           fromFen("k7/ppp5/8/8/8/8/PP6/1R2K1N1 b - -"),
                                           fromFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKB1R w KQkq -")};
  const std::string path = ::testing::TempDir() + "brakken_eval_master_net.txt";
  {
    std::ofstream out(path, std::ios::trunc);
    out << "15 3 0 12 1 0 2 1 0 0 2 0 0 6 2 0 0.123456789012345 0.1 0";
  }
  Evaluator master, helper;
  ASSERT_TRUE(master.setMaterialFile(path.c_str()));
  std::remove(path.c_str());
  ASSERT_TRUE(helper.takeMaterialNetworkOf(master));
  EXPECT_EQ(helper.materialFile(), path);
  for (const Position& p : positions) {
    master.evaluate(p);
    helper.evaluate(p);
    EXPECT_EQ(helper.lastMaterialScore(), master.lastMaterialScore());
  }
  // Back to the built-in network the same way.
  ASSERT_TRUE(master.setMaterialFile(nullptr));
  ASSERT_TRUE(helper.takeMaterialNetworkOf(master));
  Evaluator builtIn;
  for (const Position& p : positions) {
    builtIn.evaluate(p);
    helper.evaluate(p);
    EXPECT_EQ(helper.lastMaterialScore(), builtIn.lastMaterialScore());
  }
}

TEST(EvaluatorAccess, LastEvaluatedPosition) {
  Evaluator ev;
  EXPECT_EQ(ev.endgameEvaluator(), nullptr);
  EXPECT_EQ(ev.position(), nullptr);
  EXPECT_EQ(ev.materialDelta(), 0);  // nothing evaluated yet

  const Position p = fromFen("4k3/8/8/1P6/8/1P6/8/4K3 w - -");
  ev.evaluate(p);
  EXPECT_EQ(ev.position(), &p);
  EXPECT_EQ(&ev.pawnEntry(), &ev.pawnHashSlot(int(p.pawnKey & (Evaluator::PawnHashSize - 1))));
  EXPECT_EQ(ev.pawnEntry().key, p.pawnKey);
  EXPECT_EQ(ev.passedPawns(), ev.pawnEntry().passedPawns);
  EXPECT_EQ(ev.passedPawns(), squareBit(squareFromText("b5")));  // the foremost of the b-file only
  EXPECT_EQ(ev.endgameEvaluator(), selectEndgameEvaluator(ev.endgameTable(), p));
  EXPECT_EQ(ev.endgameEvaluator(), &ev.endgameTable().pawnEnding);

  // Without pawns: the zero entry, and the pawn hash is not touched.
  const int before = usedPawnSlots(ev);
  const Position pawnless = fromFen("7k/8/8/8/8/8/1R6/RK6 w - -");
  ev.evaluate(pawnless);
  EXPECT_EQ(usedPawnSlots(ev), before);
  EXPECT_EQ(ev.pawnEntry().key, 0u);
  EXPECT_EQ(ev.pawnEntry().mg, 0);
  EXPECT_EQ(ev.pawnEntry().openFiles, 0u);
  EXPECT_EQ(ev.passedPawns(), 0u);
}

TEST(EvaluatorAccess, KeysOfZeroAreNeverReadAsEmptySlots) {
  Evaluator reference, ev;
  Position p = fromFen("4k3/2p5/8/1P1P4/8/8/8/RN2K3 w - -");
  const int expected = reference.evaluate(p);
  const int expectedMaterial = reference.lastMaterialScore();
  const int expectedPawnMg = reference.pawnEntry().mg;

  // A pawn key of 0 must not hit an empty slot.
  p.pawnKey = 0;
  EXPECT_EQ(ev.evaluate(p), expected);
  EXPECT_EQ(ev.pawnEntry().mg, expectedPawnMg);
  EXPECT_EQ(ev.evaluate(p), expected);

  // A material signature of 0 must not hit an empty slot either.
  const int relation = bishopRelation(p.bishopColours());
  p.white.materialKey = p.black.materialKey ^ BishopRelationKeys[relation + 1];
  ASSERT_EQ(materialSignature(p, relation), 0u);
  Evaluator fresh;
  EXPECT_EQ(fresh.evaluate(p), expected);
  EXPECT_EQ(fresh.lastMaterialScore(), expectedMaterial);
  EXPECT_NE(fresh.endgameEvaluator(), nullptr);
}

TEST(EvaluatorMaterialDelta, KnowledgeMaterialGivesAMillionForEitherSide) {
  for (const char* fen : {"8/8/3k4/8/8/2K5/1P6/8 w - -", "8/8/3k4/8/8/2K5/1P6/8 b - -"}) {
    Evaluator ev;
    ev.evaluate(fromFen("8/8/3k4/8/8/2K5/1P6/8 w - -"));
    const Position p = fromFen(fen);
    ev.evaluate(p);
    EXPECT_EQ(ev.materialDelta(), 1000000) << fen;
  }
}

TEST(EvaluatorMaterialDelta, ChangeOfTheEvaluatedPositionInPlace) {
  // The search takes a man off in place, asks for the delta, puts it back.
  for (const char* fen : {"r1bqkb1r/pppppppp/2n2n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -",
                          "r1bqkb1r/pppppppp/2n2n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R b KQkq -"}) {
    Evaluator ev;
    Position p = fromFen(fen);
    ev.evaluate(p);
    const int before = ev.lastMaterialScore();
    const EndgameEvaluator* chosen = ev.endgameEvaluator();

    SideState& black = p.black;
    const int n = black.counts[Knight];
    black.counts[Knight] = int8_t(n - 1);
    black.counts[0]--;
    black.material -= PieceValues[Knight];
    black.materialKey ^= (*black.materialKeyDeltas)[Knight - 1][n - 1];

    Evaluator reference;
    reference.evaluate(fromFen(p.whiteToMove ? "r1bqkb1r/pppppppp/5n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -"
                                             : "r1bqkb1r/pppppppp/5n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R b KQkq -"));
    const int after = reference.lastMaterialScore();
    EXPECT_EQ(ev.materialDelta(), forSideToMove(p, after - before)) << fen;
    // Neither the chosen object nor the stored score moved.
    EXPECT_EQ(ev.lastMaterialScore(), before);
    EXPECT_EQ(ev.endgameEvaluator(), chosen);

    black.counts[Knight] = int8_t(n);
    black.counts[0]++;
    black.material += PieceValues[Knight];
    black.materialKey ^= (*black.materialKeyDeltas)[Knight - 1][n - 1];
    EXPECT_EQ(ev.materialDelta(), 0) << fen;
  }
}

}  // namespace
