#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "board/legality.h"
#include "board/move_list.h"
#include "support/list_perft.h"
#include "support/perft_suite.h"
#include "support/reference_moves.h"

namespace {

int sq(const char* name) { return squareFromText(name); }

Position fromFen(const char* fen) {
  Position p;
  EXPECT_NE(p.setFen(fen), nullptr) << fen;
  return p;
}

std::vector<Move> listed(Position& p, int type, const Move* hash = nullptr, InProgressSet* set = nullptr) {
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), type, hash, nullptr, set);
  std::vector<Move> out;
  while (const MoveListEntry* e = list.next()) out.push_back(e->move);
  return out;
}

std::vector<Move> legalOf(Position& p, const std::vector<Move>& moves) {
  std::vector<Move> legal;
  UndoRecord undo;
  undo.save(p);
  for (Move m : moves)
    if (p.makeMove(m, undo)) {
      legal.push_back(m);
      undo.restore();
    }
  std::sort(legal.begin(), legal.end());
  return legal;
}

bool givesCheck(Position& p, Move m) {
  UndoRecord undo;
  undo.save(p);
  if (!p.makeMove(m, undo)) return false;
  bool check = p.inCheck();
  undo.restore();
  return check;
}

void runSuite(uint64_t maxNodes, uint64_t minNodes) {
  auto suite = testsupport::loadPerftSuite();
  ASSERT_GT(suite.size(), 10u);
  testsupport::SearchStack stack;
  for (const auto& c : suite) {
    Position p = fromFen(c.fen.c_str());
    for (auto [depth, count] : c.counts) {
      if (count > maxNodes || count < minNodes) continue;
      EXPECT_EQ(testsupport::listPerft(p, depth, stack), count) << c.comment << " (" << c.fen << ") depth " << depth;
    }
  }
}

TEST(MoveGeneration, PerftMatchesPublishedCounts) { runSuite(3000000, 0); }

TEST(MoveGenerationDeep, PerftMatchesPublishedCounts) { runSuite(UINT64_MAX, 3000001); }

// Random playouts from varied starts: the full (or evasion) list holds
// exactly the legal moves the plain reference generator finds, and never a
// move twice.
TEST(MoveGeneration, FullListsMatchTheReferenceGenerator) {
  std::mt19937 rng(77);
  const char* starts[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "rbbqn1kr/pp2p1pp/6n1/2pp1p2/2P4P/P7/BP1PPPP1/R1BQNNKR w HAha - 0 9",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
  };
  for (const char* fen : starts)
    for (int game = 0; game < 30; ++game) {
      Position p = fromFen(fen);
      for (int ply = 0; ply < 150; ++ply) {
        std::vector<Move> generated = listed(p, AllMoves);
        std::set<Move> unique(generated.begin(), generated.end());
        ASSERT_EQ(unique.size(), generated.size()) << fen;
        std::vector<Move> expected = testsupport::legalMoves(p);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(legalOf(p, generated), expected) << fen << " ply " << ply;
        if (expected.empty()) break;
        UndoRecord keep;
        keep.save(p);
        ASSERT_TRUE(p.makeMove(expected[rng() % expected.size()], keep));
      }
    }
}

TEST(MoveGeneration, ListTypesHoldWhatTheyShould) {
  std::mt19937 rng(5);
  const char* starts[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
  };
  int checksSeen = 0, seventhSeen = 0;
  for (const char* fen : starts)
    for (int game = 0; game < 20; ++game) {
      Position p = fromFen(fen);
      for (int ply = 0; ply < 80; ++ply) {
        const bool inCheck = p.inCheck();
        for (int type = AllMoves; type <= Captures; ++type) {
          LocalMoveStack stack;
          MoveList list(stack, p, legalityHistoryTable(), type);
          // In check every request becomes an evasion list.
          ASSERT_EQ(list.type(), inCheck ? int(Evasions) : type);
          std::vector<Move> moves(list.size());
          std::transform(list.begin(), list.end(), moves.begin(), [](const MoveListEntry& e) { return e.move; });
          std::set<Move> unique(moves.begin(), moves.end());
          ASSERT_EQ(unique.size(), moves.size()) << fen << " type " << type;
          if (inCheck || type < ChecksAndPushes) continue;
          const SideState& us = p.toMove();
          const SideState& them = p.notToMove();
          for (Move m : moves) {
            const Bitboard T = squareBit(moveTo(m));
            const bool capture = (them.pieces[0] & T) || (movePiece(m) == Pawn && moveTo(m) == p.epSquare);
            const int promotion = movePromotion(m);
            ASSERT_TRUE(promotion == 0 || promotion == Queen);
            const bool quiet = !capture && !promotion;
            if (type == Captures) {
              ASSERT_FALSE(quiet) << "quiet move in a capture list";
              if (movePiece(m) == Rook) {
                ASSERT_FALSE(them.pieces[Pawn] & us.pawnAttacked & T);
              }
              if (movePiece(m) == Queen && !(them.pieces[Queen] & T)) {
                ASSERT_FALSE(us.pawnAttacked & T);
              }
              if (movePiece(m) == King) {
                ASSERT_FALSE(us.attacked & T);
              }
            } else if (quiet) {
              const bool seventh = movePiece(m) == Pawn && rowOf(moveTo(m)) == (p.whiteToMove ? 1 : 6);
              if (type == ChecksAndPushes && seventh && !givesCheck(p, m)) {
                ++seventhSeen;
                continue;
              }
              // Quiet moves are checks; a pinned mover may fail to make.
              UndoRecord undo;
              undo.save(p);
              if (p.makeMove(m, undo)) {
                ASSERT_TRUE(p.inCheck()) << fen << " quiet non-check in type " << type;
                undo.restore();
                ++checksSeen;
              }
            }
          }
        }
        auto legal = testsupport::legalMoves(p);
        if (legal.empty()) break;
        UndoRecord keep;
        keep.save(p);
        ASSERT_TRUE(p.makeMove(legal[rng() % legal.size()], keep));
      }
    }
  EXPECT_GT(checksSeen, 0);
  EXPECT_GT(seventhSeen, 0);
}

TEST(MoveGeneration, EdgeCases) {
  Position p;
  EXPECT_EQ(listed(p, AllMoves).size(), 20u);
  // Double check: king moves only.
  p = fromFen("4k3/8/8/8/8/5n2/8/r3K3 w - -");
  for (Move m : listed(p, AllMoves)) EXPECT_EQ(movePiece(m), King);
  // The king cannot step back along the checking rook's line.
  p = fromFen("4k3/8/8/8/8/8/8/r3K3 w - -");
  for (Move m : listed(p, AllMoves)) EXPECT_NE(moveTo(m), sq("f1"));
  // A pinned piece moves in a full list, never in evasions.
  p = fromFen("4k3/4r3/8/8/8/8/4N3/4K3 w - -");
  auto full = listed(p, AllMoves);
  EXPECT_TRUE(std::any_of(full.begin(), full.end(), [](Move m) { return movePiece(m) == Knight; }));
  p = fromFen("4k3/4r3/8/b7/8/8/4N3/4K3 w - -");  // checked by the bishop, knight pinned
  for (Move m : listed(p, AllMoves)) EXPECT_NE(movePiece(m), Knight);
  // Promotions: four entries in full lists, one queen in quiescence lists.
  p = fromFen("4k3/1P6/8/8/8/8/8/4K3 w - -");
  auto promotions = listed(p, AllMoves);
  EXPECT_EQ(std::count_if(promotions.begin(), promotions.end(), [](Move m) { return movePromotion(m) != 0; }), 4);
  auto captures = listed(p, Captures);
  ASSERT_EQ(captures.size(), 1u);
  EXPECT_EQ(movePromotion(captures[0]), Queen);
  // En passant in an evasion list only against the pawn that gives check.
  const Move exd3 = encodeMove(sq("e4"), sq("d3"), Pawn);
  p = fromFen("8/8/8/2k5/3Pp3/8/8/4K3 b - d3");  // the d4 pawn checks the c5 king
  auto evasions = listed(p, AllMoves);
  EXPECT_TRUE(std::count(evasions.begin(), evasions.end(), exd3));
  p = fromFen("8/8/8/8/3Pp3/8/8/k3K2R b K d3");  // no check: a full list
  auto withEp = listed(p, AllMoves);
  EXPECT_TRUE(std::count(withEp.begin(), withEp.end(), exd3));
  EXPECT_TRUE(std::count(withEp.begin(), withEp.end(), exd3));
  p = fromFen("8/8/8/8/3Pp3/8/8/k3K2R b K d3");
  auto quiescence = listed(p, Captures);
  EXPECT_TRUE(std::count(quiescence.begin(), quiescence.end(), exd3));
  p = fromFen("8/8/8/8/3Pp3/8/8/k2RK3 b - d3");  // in check by the rook: no en passant
  auto otherCheck = listed(p, AllMoves);
  EXPECT_FALSE(std::count(otherCheck.begin(), otherCheck.end(), exd3));
  // Castling is the king onto the rook; through an attacked square it is absent.
  p = fromFen("4k3/8/8/8/8/8/8/4K2R w K -");
  auto castle = listed(p, AllMoves);
  EXPECT_TRUE(std::count(castle.begin(), castle.end(), encodeMove(60, 63, King)));
  p = fromFen("4kr2/8/8/8/8/8/8/4K2R w K -");  // f1 attacked
  castle = listed(p, AllMoves);
  EXPECT_FALSE(std::count(castle.begin(), castle.end(), encodeMove(60, 63, King)));
}

TEST(MoveGeneration, ShortStackCutsListsSafely) {
  // 218 legal moves; a stack of 50 entries holds the first 50 and no more.
  Position p = fromFen("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
  LocalMoveStack big;
  {
    MoveList list(big, p, legalityHistoryTable(), AllMoves);
    EXPECT_EQ(list.size(), 218);
  }
  std::vector<MoveListEntry> room(60);
  const Move sentinel = 0xDEADBEEF;
  for (auto& e : room) e.move = sentinel;
  MoveStack small;
  small.top = room.data();
  small.limit = room.data() + 50;
  {
    MoveList list(small, p, legalityHistoryTable(), AllMoves);
    EXPECT_EQ(list.size(), 50);
    int handedOut = 0;
    while (list.next()) ++handedOut;
    EXPECT_EQ(handedOut, 50);
  }
  EXPECT_EQ(small.top, room.data());
  for (int i = 50; i < 60; ++i) EXPECT_EQ(room[i].move, sentinel);
}

TEST(MovePicking, EveryMoveOnceWhateverTheHashMove) {
  Position p = fromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  auto plain = listed(p, AllMoves);
  std::vector<Move> sortedPlain = plain;
  std::sort(sortedPlain.begin(), sortedPlain.end());
  const Move inList = encodeMove(sq("e2"), sq("a6"), Bishop);
  const Move stale = encodeMove(sq("a1"), sq("a8"), Rook);  // not a move here
  const Move tornType = encodeMove(sq("e2"), sq("a6"), Queen);  // right squares, wrong type
  for (Move hash : {inList, stale, tornType, Move(0)}) {
    auto out = listed(p, AllMoves, &hash);
    if (hash == inList) {
      EXPECT_EQ(out.front(), inList);
    }
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, sortedPlain);
  }
  EXPECT_EQ(plain.size(), 48u);
}

TEST(MovePicking, RewindRepeatsTheOrderWithTheHashMoveFirst) {
  Position p = fromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  LocalMoveStack stack;
  const Move hash = encodeMove(sq("d5"), sq("e6"), Pawn);
  MoveList list(stack, p, legalityHistoryTable(), AllMoves, &hash);
  // Each pass: the hash move first, then keys never rising (equal keys may
  // come in either order), every move exactly once.
  auto pass = [&list](std::vector<Move>& moves) {
    int32_t previous = INT32_MAX;
    bool first = true;
    while (const MoveListEntry* e = list.next()) {
      if (!first) {
        EXPECT_LE(e->key, previous);
        previous = e->key;
      }
      first = false;
      moves.push_back(e->move);
    }
  };
  std::vector<Move> first, second;
  pass(first);
  list.rewind();
  pass(second);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front(), hash);
  EXPECT_EQ(second.front(), hash);
  std::sort(first.begin(), first.end());
  std::sort(second.begin(), second.end());
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 48u);
  // A different hash move comes first after rewinding with it.
  const Move other = encodeMove(sq("e5"), sq("f7"), Knight);
  list.rewindWithHashMove(other);
  EXPECT_EQ(list.next()->move, other);
  int rest = 0;
  while (list.next()) ++rest;
  EXPECT_EQ(rest, 47);
  EXPECT_EQ(list.next(), nullptr);
}

TEST(MovePicking, SingleAndEmptyLists) {
  Position p = fromFen("k7/8/8/8/8/8/8/7K w - -");
  LocalMoveStack stack;
  {
    MoveList list(stack, p, legalityHistoryTable(), Captures);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
  }
  p = fromFen("k7/8/8/8/8/8/6n1/7K w - -");  // Kxg2 is the only capture
  MoveList list(stack, p, legalityHistoryTable(), Captures);
  const MoveListEntry* e = list.next();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->move, encodeMove(63, sq("g2"), King));
  EXPECT_EQ(list.next(), nullptr);
}

TEST(MovePicking, RecapturesComeFirst) {
  Position p;
  UndoRecord u;
  u.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("e2"), sq("e4"), Pawn), u));
  UndoRecord u2;
  u2.save(p);
  ASSERT_TRUE(p.makeMove(encodeMove(sq("d7"), sq("d5"), Pawn), u2));
  // exd5 takes the pawn that just moved, before anything is scored.
  EXPECT_EQ(listed(p, AllMoves).front(), encodeMove(sq("e4"), sq("d5"), Pawn));
}

TEST(MovePicking, InProgressMarksSpreadThreads) {
  Position p;
  InProgressSet set;
  auto firstThread = listed(p, AllMoves, nullptr, &set);
  // A second list on the same position starts with a move the first did not.
  LocalMoveStack stack;
  InProgressSet fresh;
  MoveList a(stack, p, legalityHistoryTable(), AllMoves, nullptr, nullptr, &fresh);
  const Move first = a.next()->move;
  LocalMoveStack stack2;
  MoveList b(stack2, p, legalityHistoryTable(), AllMoves, nullptr, nullptr, &fresh);
  EXPECT_NE(b.next()->move, first);
  // With everything marked, the best-ordered move still comes.
  auto allMarked = listed(p, AllMoves, nullptr, &set);
  EXPECT_EQ(allMarked.size(), 20u);
  auto unmarked = listed(p, AllMoves);
  EXPECT_EQ(allMarked.front(), unmarked.front());
}

TEST(MovePicking, SortKeysStayInRange) {
  // Promotion with capture of a queen onto a safe square: the biggest key.
  Position p = fromFen("1q2k3/P7/8/8/8/8/8/4K3 w - -");
  LocalMoveStack stack;
  MoveList list(stack, p, legalityHistoryTable(), AllMoves);
  std::vector<MoveListEntry> entries(list.begin(), list.end());
  list.scoreAll(const_cast<MoveListEntry*>(list.begin()), const_cast<MoveListEntry*>(list.end()));
  int32_t best = INT32_MIN;
  Move bestMove = 0;
  for (const MoveListEntry* e = list.begin(); e < list.end(); ++e)
    if (e->key > best) {
      best = e->key;
      bestMove = e->move;
    }
  EXPECT_EQ(bestMove, encodeMove(sq("a7"), sq("b8"), Pawn, Queen));
  EXPECT_GT(best, 0);
  // A queen taking a pawn-defended pawn is not lifted above quiet moves.
  p = fromFen("4k3/8/2p5/3p4/8/8/8/3QK3 w - -");
  LocalMoveStack s2;
  MoveList l2(s2, p, legalityHistoryTable(), AllMoves);
  l2.scoreAll(const_cast<MoveListEntry*>(l2.begin()), const_cast<MoveListEntry*>(l2.end()));
  for (const MoveListEntry* e = l2.begin(); e < l2.end(); ++e)
    if (moveTo(e->move) == sq("d5")) {
      EXPECT_LT(e->key, 0x300000);
    }
}

TEST(Legality, MateStalemateAndSingleMoves) {
  struct Case {
    const char* fen;
    bool none;
    int result;
  };
  const Case cases[] = {
      {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", true, -1},  // fool's mate
      {"7k/6Q1/6K1/8/8/8/8/8 b - -", true, 1},
      {"7k/5Q2/6K1/8/8/8/8/8 b - -", true, 0},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false, 99},
  };
  for (const Case& c : cases) {
    Position p = fromFen(c.fen);
    const Position before = p;
    int result = 99;
    EXPECT_EQ(p.noLegalMove(&result), c.none) << c.fen;
    EXPECT_EQ(result, c.result) << c.fen;
    EXPECT_EQ(p.noLegalMove(nullptr), c.none);
    EXPECT_EQ(p.hashKey, before.hashKey);
    EXPECT_EQ(p.white.attacked, before.white.attacked);
  }
  Move only = 0;
  Position p = fromFen("7k/8/8/8/8/8/1q6/K7 w - -");
  EXPECT_TRUE(onlyLegalMove(p, only));  // Kxb2
  EXPECT_EQ(only, encodeMove(56, sq("b2"), King));
  p = fromFen("7k/8/8/8/8/8/8/K7 w - -");
  EXPECT_FALSE(onlyLegalMove(p, only));
  p = fromFen("7k/5Q2/6K1/8/8/8/8/8 b - -");
  only = 12345;
  EXPECT_FALSE(onlyLegalMove(p, only));
  EXPECT_EQ(only, 12345u);
}

TEST(Legality, IsLegalMoveJudgesTheWholeWord) {
  Position p = fromFen("4k3/1P2r3/8/8/8/8/4N3/4K3 w - -");
  const Position before = p;
  struct Case {
    Move move;
    bool legal;
  };
  const Case cases[] = {
      {encodeMove(sq("b7"), sq("b8"), Pawn, Queen), true},
      {encodeMove(sq("b7"), sq("b8"), Pawn, Knight), true},
      {encodeMove(sq("b7"), sq("b8"), Pawn), false},          // no promotion piece
      {encodeMove(sq("b7"), sq("b8"), Pawn, King), false},    // nonsense promotion
      {encodeMove(sq("b7"), sq("b8"), Queen, Queen), false},  // wrong moving type
      {encodeMove(sq("e2"), sq("c3"), Knight), false},        // pinned knight
      {encodeMove(sq("e1"), sq("d1"), King), true},
      {encodeMove(sq("e1"), sq("d1"), King) | (1u << 12), false},  // bits 12-15 set
      {encodeMove(sq("e1"), sq("e2"), King), false},          // own man there
      {0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isLegalMove(p, c.move), c.legal) << std::hex << c.move;
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
  }
}

}  // namespace
