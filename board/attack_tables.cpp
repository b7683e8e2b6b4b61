#include "board/attack_tables.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

const int RookDirections[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
const int BishopDirections[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
// (file step, row step); row 0 is the eighth rank.
const int FileDirections[2][2] = {{0, 1}, {0, -1}};
const int RankDirections[2][2] = {{1, 0}, {-1, 0}};
const int DiagA1H8Directions[2][2] = {{1, -1}, {-1, 1}};
const int DiagA8H1Directions[2][2] = {{1, 1}, {-1, -1}};

bool onBoard(int file, int row) { return file >= 0 && file < 8 && row >= 0 && row < 8; }

// The empty-board rays of s in the given directions; with inner set, the
// last square of each ray (which always ends it) is left out.
Bitboard rays(int s, const int (*directions)[2], int count, bool inner) {
  Bitboard result = 0;
  for (int d = 0; d < count; ++d) {
    int df = directions[d][0], dr = directions[d][1];
    int f = fileOf(s) + df, r = rowOf(s) + dr;
    while (onBoard(f, r)) {
      if (inner && !onBoard(f + df, r + dr)) break;
      result |= squareBit(f + 8 * r);
      f += df;
      r += dr;
    }
  }
  return result;
}

}  // namespace

// Multipliers found by a plain random search (index bits = mask size).
// Rows in square order a8..h1: mulLo, mulHi, bits, entries. The magic-number
// finder (tools/find_magics) writes rows of the same quantities that can
// replace them.
const MagicConstant rookMagicConstants[64] = {
    {0xA0080A20U, 0x00500400U, 12, 4096},  // a8
    {0x02010082U, 0x00400810U, 11, 2047},  // b8
    {0x00800820U, 0x50100590U, 11, 2048},  // c8
    {0x10440408U, 0x08300041U, 11, 2048},  // d8
    {0x00808004U, 0x600802B0U, 11, 2048},  // e8
    {0x02002802U, 0x00050118U, 11, 2048},  // f8
    {0x20800102U, 0x00022184U, 11, 2048},  // g8
    {0x00800041U, 0x00182080U, 12, 4096},  // h8
    {0xB0020102U, 0x00801020U, 11, 2047},  // a7
    {0x08080604U, 0x010C0080U, 10, 1008},  // b7
    {0x00204048U, 0x62061000U, 10, 1023},  // c7
    {0x40008030U, 0x040800E0U, 10, 1022},  // d7
    {0x28010008U, 0x06252014U, 10, 1024},  // e7
    {0x20008202U, 0x180600A1U, 10, 1023},  // f7
    {0x91181022U, 0x50015C02U, 10, 1020},  // g7
    {0x00480205U, 0x4202108DU, 11, 2048},  // h7
    {0x50404080U, 0x01806004U, 11, 2048},  // a6
    {0x81002820U, 0x10810800U, 10, 1024},  // b6
    {0x04200101U, 0x0210C020U, 10, 1024},  // c6
    {0x18004204U, 0x02201100U, 10, 1024},  // d6
    {0x08400808U, 0x00805004U, 10, 1024},  // e6
    {0x18081A02U, 0x00100402U, 10, 1024},  // f6
    {0x00008081U, 0x00014604U, 10, 1024},  // g6
    {0x00100601U, 0x00010280U, 11, 2048},  // h6
    {0x00020082U, 0x01082040U, 11, 2048},  // a5
    {0x00560882U, 0x05403181U, 10, 1024},  // b5
    {0x00108842U, 0x0A202051U, 10, 1024},  // c5
    {0x31081242U, 0x088A0820U, 10, 1024},  // d5
    {0x20020112U, 0x10080428U, 10, 1024},  // e5
    {0x00021826U, 0x02001002U, 10, 1024},  // f5
    {0x40009004U, 0x08080221U, 10, 1024},  // g5
    {0x020400CAU, 0x02040481U, 11, 2048},  // h5
    {0xC1002080U, 0x00405000U, 11, 2048},  // a4
    {0x90120048U, 0x20202008U, 10, 1024},  // b4
    {0x00006204U, 0x90101080U, 10, 1024},  // c4
    {0x00028108U, 0x00805000U, 10, 1024},  // d4
    {0xA81A0802U, 0x82080400U, 10, 1024},  // e4
    {0x2020805BU, 0x00800C02U, 10, 1024},  // f4
    {0x00002006U, 0x08200401U, 10, 1024},  // g4
    {0x00442085U, 0x00204040U, 11, 2048},  // h4
    {0x200100A0U, 0x04040200U, 11, 2046},  // a3
    {0x80008160U, 0x42020100U, 10, 1023},  // b3
    {0x01B80020U, 0x00410101U, 10, 1023},  // c3
    {0x40087202U, 0x0C002020U, 10, 1024},  // d3
    {0x80004208U, 0x86004004U, 10, 1024},  // e3
    {0x80020084U, 0x01802021U, 10, 1024},  // f3
    {0x0004010AU, 0x08020004U, 10, 1024},  // g3
    {0x00B00241U, 0x80201010U, 11, 2048},  // h3
    {0x00004004U, 0x00309080U, 11, 2047},  // a2
    {0x24002192U, 0x09448040U, 10, 1022},  // b2
    {0x00018012U, 0x05280080U, 10, 1022},  // c2
    {0x80006108U, 0x02801804U, 10, 1023},  // d2
    {0x0000200CU, 0x40054404U, 10, 1023},  // e2
    {0x20004002U, 0x06030040U, 10, 896},  // f2
    {0x01050106U, 0x09020A00U, 10, 1022},  // g2
    {0x42040249U, 0x08008300U, 11, 2048},  // h2
    {0x00221080U, 0x61210045U, 12, 4096},  // a1
    {0x00186003U, 0x00178221U, 11, 2046},  // b1
    {0x0900500AU, 0x10208A42U, 11, 2048},  // c1
    {0x70105822U, 0x00504006U, 11, 2048},  // d1
    {0x80000608U, 0x09010231U, 11, 2047},  // e1
    {0x30005803U, 0x10014401U, 11, 2047},  // f1
    {0x00812006U, 0x00020281U, 11, 2047},  // g1
    {0x14804441U, 0x80602083U, 12, 4096},  // h1
};

const MagicConstant bishopMagicConstants[64] = {
    {0x28025888U, 0x00960040U, 6, 56},  // a8
    {0x00480206U, 0x05382000U, 5, 28},  // b8
    {0x20040103U, 0x1280C000U, 5, 28},  // c8
    {0xD0024081U, 0x20020200U, 5, 32},  // d8
    {0x220110C0U, 0x80000400U, 5, 32},  // e8
    {0x00008A30U, 0x20004000U, 5, 30},  // f8
    {0x42008688U, 0x300C1002U, 5, 28},  // g8
    {0x88024023U, 0x62100440U, 6, 56},  // h8
    {0x40205189U, 0x0206504CU, 5, 28},  // a7
    {0xC4005818U, 0x44404042U, 5, 28},  // b7
    {0x00400C04U, 0x00A30100U, 5, 28},  // c7
    {0x1001020BU, 0x26800000U, 5, 28},  // d7
    {0x00801245U, 0x1868B280U, 5, 30},  // e7
    {0x06200902U, 0x0C040020U, 5, 30},  // f7
    {0x0080032DU, 0x01100810U, 5, 28},  // g7
    {0x14080586U, 0x9402820AU, 5, 28},  // h7
    {0x4020820CU, 0x20040104U, 5, 32},  // a6
    {0x00080010U, 0x0A1829C1U, 5, 32},  // b6
    {0x80020804U, 0x04001290U, 7, 128},  // c6
    {0x00808411U, 0x94001002U, 7, 128},  // d6
    {0x827080C9U, 0x82016804U, 7, 128},  // e6
    {0x00402452U, 0x10908848U, 7, 128},  // f6
    {0x03640181U, 0x8108022AU, 5, 32},  // g6
    {0x00002109U, 0x03039001U, 5, 32},  // h6
    {0x01229528U, 0x62202280U, 5, 31},  // a5
    {0x14022429U, 0x1304C082U, 5, 31},  // b5
    {0x00002209U, 0x10108283U, 7, 128},  // c5
    {0xA0090800U, 0x00320020U, 9, 512},  // d5
    {0x00080443U, 0x12040200U, 9, 511},  // e5
    {0x24080080U, 0x15102080U, 7, 127},  // f5
    {0xA0018208U, 0x09187180U, 5, 31},  // g5
    {0x020A4380U, 0x005A0860U, 5, 31},  // h5
    {0x80012024U, 0x40120580U, 5, 31},  // a4
    {0x0010A822U, 0x0108CAA1U, 5, 31},  // b4
    {0x00012801U, 0x08028440U, 7, 128},  // c4
    {0x10480A38U, 0xC0020080U, 9, 512},  // d4
    {0x2402420CU, 0x00B01240U, 9, 512},  // e4
    {0x01011001U, 0x04818040U, 7, 128},  // f4
    {0x10124444U, 0x000242C0U, 5, 32},  // g4
    {0x054C0142U, 0x000020A2U, 5, 32},  // h4
    {0x80C40104U, 0xE8021000U, 5, 32},  // a3
    {0x08192128U, 0x22020A40U, 5, 32},  // b3
    {0x01018048U, 0x0840068AU, 7, 128},  // c3
    {0x0001000AU, 0x88052190U, 7, 128},  // d3
    {0x0800020AU, 0x20410201U, 7, 128},  // e3
    {0x08040898U, 0x88C42200U, 7, 128},  // f3
    {0x0014310CU, 0x01014408U, 5, 32},  // g3
    {0xB0010C05U, 0x52100040U, 5, 32},  // h3
    {0x00009401U, 0x70301090U, 5, 28},  // a2
    {0x8000288CU, 0x08982000U, 5, 28},  // b2
    {0x50124022U, 0x0C0C0008U, 5, 28},  // c2
    {0x04200803U, 0x0A060002U, 5, 30},  // d2
    {0x0000013AU, 0x04248081U, 5, 30},  // e2
    {0x56A00618U, 0xA288C000U, 5, 30},  // f2
    {0x0004844CU, 0x0215A0A0U, 5, 28},  // g2
    {0x0010A101U, 0x06018B08U, 5, 28},  // h2
    {0x00410042U, 0x1C540280U, 6, 60},  // a1
    {0x08041046U, 0x00881B01U, 5, 28},  // b1
    {0xA008001BU, 0x60840C00U, 5, 30},  // c1
    {0x02400400U, 0x00421201U, 5, 32},  // d1
    {0x00C01120U, 0x8430C406U, 5, 32},  // e1
    {0x36000048U, 0x020E0104U, 5, 30},  // f1
    {0x04800810U, 0x06391048U, 5, 28},  // g1
    {0xC0030418U, 0x04204191U, 6, 56},  // h1
};

AttackTables attackTables;

Bitboard slidingAttacks(int s, Bitboard occ, const int (*directions)[2], int count) {
  Bitboard result = 0;
  for (int d = 0; d < count; ++d) {
    int df = directions[d][0], dr = directions[d][1];
    int f = fileOf(s) + df, r = rowOf(s) + dr;
    while (onBoard(f, r)) {
      Bitboard b = squareBit(f + 8 * r);
      result |= b;
      if (occ & b) break;
      f += df;
      r += dr;
    }
  }
  return result;
}

Bitboard traceRookAttacks(int s, Bitboard occ) { return slidingAttacks(s, occ, RookDirections, 4); }
Bitboard traceBishopAttacks(int s, Bitboard occ) {
  return slidingAttacks(s, occ, BishopDirections, 4);
}

AttackTables::AttackTables() {
  popcount16[0] = 0;
  for (int v = 1; v < 65536; ++v) popcount16[v] = uint8_t(popcount16[v >> 1] + (v & 1));
  buildSteps();
  buildBitScan();
  buildLineTables();
  initMagics();
  buildKpk();
}

AttackTables::~AttackTables() {
  delete[] bishopAttackTable;
  delete[] rookAttackTable;
}

void AttackTables::buildKpk() {
  const Bitboard pawnSquares = squaresToBitboard("A2A3A4A5A6A7B2B3B4B5B6B7C2C3C4C5C6C7D2D3D4D5D6D7");
  std::memset(kpkTable, 0, sizeof kpkTable);
  constexpr int StrongToMove = 4096;

  // Initial marks: impossible placements, the pawn just taken, stalemates
  // and safe promotions at once.
  int blocks = 0;
  for (int p = 0; p < 64; ++p) {
    kpkIndex[p] = -1;
    if (!(pawnSquares & squareBit(p))) continue;
    kpkIndex[p] = blocks++ * 8192;
    const Bitboard pawnAttacks = whitePawnAttacks(squareBit(p));
    const int front = p - 8;
    for (int w = 0; w < 64; ++w) {
      for (int s = 0; s < 64; ++s) {
        uint8_t& defender = kpkTable[kpkIndex[p] + 64 * w + s];
        uint8_t& attacker = kpkTable[kpkIndex[p] + StrongToMove + 64 * w + s];
        if (s == p || s == w || (kingAttacks[w] & squareBit(s))) {
          defender = attacker = 127;
          continue;
        }
        if (w == p) {
          defender = 127;
          attacker = 126;
          continue;
        }
        if (pawnAttacks & squareBit(w)) attacker = 127;
        if (!(kingAttacks[w] & ~pawnAttacks & ~kingAttacks[s])) defender = 126;
        const bool strongKingStuck = !(kingAttacks[s] & ~squareBit(p) & ~kingAttacks[w]);
        if (strongKingStuck && (front == w || front == s)) {
          attacker = 126;
        } else if (rowOf(p) == 1 && front != w && front != s &&
                   (!(kingAttacks[w] & squareBit(front)) || (kingAttacks[s] & squareBit(front))) &&
                   attacker != 127) {
          attacker = 1;
        }
      }
    }
  }

  // Sweeps in ascending index order, updating in place, until one changes
  // nothing. Only entries still unknown are visited, so they are kept in a
  // list that each sweep compacts; the visiting order stays the index order.
  // An entry none of whose successors changed since its last visit would
  // stay unknown again, so it is skipped until a successor changes ("dirty").
  std::vector<int32_t> unknown;
  unknown.reserve(sizeof kpkTable);
  for (int32_t i = 0; i < int32_t(sizeof kpkTable); ++i)
    if (kpkTable[i] == 0) unknown.push_back(i);
  std::vector<uint8_t> dirty(sizeof kpkTable, 1);
  int pawnOfBlock[24];
  for (int p = 0; p < 64; ++p)
    if (kpkIndex[p] >= 0) pawnOfBlock[kpkIndex[p] / 8192] = p;

  bool changed = true;
  while (changed) {
    changed = false;
    size_t kept = 0;
    for (size_t k = 0; k < unknown.size(); ++k) {
      const int32_t i = unknown[k];
      if (!dirty[i]) {
        unknown[kept++] = i;
        continue;
      }
      dirty[i] = 0;
      const int32_t block = i & ~8191;
      const int p = pawnOfBlock[i >> 13];
      const int w = (i >> 6) & 63;
      const int s = i & 63;
      int value = 0;
      if (i & StrongToMove) {
        // The strong king's steps, then the pawn's advances; the first
        // winning successor decides.
        bool open = false;
        int found = 0;
        for (Bitboard b = kingAttacks[s]; b; b &= b - 1) {
          const int v = kpkTable[block + 64 * w + __builtin_ctzll(b)];
          if (v == 0) open = true;
          else if (v < 126) {
            found = v;
            break;
          }
        }
        if (!found) {
          const int front = p - 8;
          int advances[2];
          int count = 0;
          if (rowOf(p) == 6 && front != w && front != s) advances[count++] = p - 16;
          if (rowOf(front) > 0) advances[count++] = front;
          for (int a = 0; a < count; ++a) {
            const int v = kpkTable[kpkIndex[advances[a]] + 64 * w + s];
            if (v == 0) open = true;
            else if (v < 126) {
              found = v;
              break;
            }
          }
        }
        if (found) value = found + 1;
        else if (!open) value = 126;
        if (value) {
          // Its predecessors: the weak king's steps into it.
          for (Bitboard b = kingAttacks[w]; b; b &= b - 1) dirty[block + 64 * __builtin_ctzll(b) + s] = 1;
        }
      } else {
        // The weak king's steps: one drawing reply holds, otherwise the
        // longest win counts.
        bool open = false, drawn = false;
        int longest = 0;
        for (Bitboard b = kingAttacks[w]; b; b &= b - 1) {
          const int v = kpkTable[block + StrongToMove + 64 * __builtin_ctzll(b) + s];
          if (v == 0) open = true;
          else if (v == 126) {
            drawn = true;
            break;
          } else if (v != 127 && v > longest) {
            longest = v;
          }
        }
        if (drawn) value = 126;
        else if (!open) value = longest + 1;
        if (value) {
          // Its predecessors: the strong king's steps into it and the pawn's
          // advances onto this pawn square.
          for (Bitboard b = kingAttacks[s]; b; b &= b - 1)
            dirty[block + StrongToMove + 64 * w + __builtin_ctzll(b)] = 1;
          if (kpkIndex[p + 8] >= 0) dirty[kpkIndex[p + 8] + StrongToMove + 64 * w + s] = 1;
          if (rowOf(p) == 4) dirty[kpkIndex[p + 16] + StrongToMove + 64 * w + s] = 1;
        }
      }
      if (value) {
        kpkTable[i] = uint8_t(value);
        changed = true;
      } else {
        unknown[kept++] = i;
      }
    }
    unknown.resize(kept);
  }
  for (int32_t i : unknown) kpkTable[i] = 126;
}

void AttackTables::buildSteps() {
  const int kingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  const int knightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
  for (int a = 0; a < 64; ++a) {
    kingAttacks[a] = knightAttacks[a] = 0;
    for (int i = 0; i < 8; ++i) {
      int f = fileOf(a) + kingSteps[i][0], r = rowOf(a) + kingSteps[i][1];
      if (onBoard(f, r)) kingAttacks[a] |= squareBit(f + 8 * r);
      f = fileOf(a) + knightSteps[i][0];
      r = rowOf(a) + knightSteps[i][1];
      if (onBoard(f, r)) knightAttacks[a] |= squareBit(f + 8 * r);
    }
    for (int b = 0; b < 64; ++b) {
      fromToMask[a | b << 6] = squareBit(a) | squareBit(b);
      Bitboard between = 0;
      for (int i = 0; i < 8 && a != b; ++i) {
        int df = kingSteps[i][0], dr = kingSteps[i][1];
        Bitboard passed = 0;
        int f = fileOf(a) + df, r = rowOf(a) + dr;
        bool reached = false;
        while (onBoard(f, r)) {
          if (f + 8 * r == b) {
            reached = true;
            break;
          }
          passed |= squareBit(f + 8 * r);
          f += df;
          r += dr;
        }
        if (reached) {
          between = passed;
          break;
        }
      }
      betweenMask[a | b << 6] = between;
    }
  }
  for (int a = 0; a < 64; ++a) {
    knightTwoSteps[a] = 0;
    for (Bitboard b = knightAttacks[a]; b; b &= b - 1)
      knightTwoSteps[a] |= knightAttacks[__builtin_ctzll(b)];
  }
}

void AttackTables::buildBitScan() {
  std::memset(bitScan, -1, sizeof bitScan);
  for (int s = 0; s < 64; ++s) {
    Bitboard m = squareBit(s) - 1;
    uint32_t f = uint32_t(m) ^ uint32_t(m >> 32) ^ 0x01040426U;
    f += f >> 16;
    f += f >> 8;
    bitScan[f & 0xFF] = int8_t(s);
  }
}

void AttackTables::buildLineTables() {
  for (int s = 0; s < 64; ++s) {
    fileLine[s] = rays(s, FileDirections, 2, false);
    rankLine[s] = rays(s, RankDirections, 2, false);
    diagA1H8Line[s] = rays(s, DiagA1H8Directions, 2, false);
    diagA8H1Line[s] = rays(s, DiagA8H1Directions, 2, false);
  }
  for (int pattern = 0; pattern < 64; ++pattern) {
    // The pattern spread over every file (ranks 2-7) or every rank (files b-g).
    Bitboard byRank = 0, byFile = 0;
    for (int k = 0; k < 6; ++k) {
      if (!(pattern & (1 << k))) continue;
      byRank |= rowMask(6 - k);
      byFile |= fileMask(k + 1);
    }
    for (int s = 0; s < 64; ++s) {
      fileAttackTable[s][pattern] = slidingAttacks(s, byRank, FileDirections, 2);
      rankAttackTable[s][pattern] = slidingAttacks(s, byFile, RankDirections, 2);
      diagA1H8AttackTable[s][pattern] = slidingAttacks(s, byFile, DiagA1H8Directions, 2);
      diagA8H1AttackTable[s][pattern] = slidingAttacks(s, byFile, DiagA8H1Directions, 2);
    }
  }
}

int AttackTables::rookTableSize() {
  int total = 0;
  for (const MagicConstant& c : rookMagicConstants) total += c.entries;
  return total;
}

int AttackTables::bishopTableSize() {
  int total = 0;
  for (const MagicConstant& c : bishopMagicConstants) total += c.entries;
  return total;
}

void AttackTables::initMagics() {
  struct Slider {
    const MagicConstant* constants;
    MagicEntry* entries;
    Bitboard** table;
    int size;
    const int (*directions)[2];
  };
  Slider sliders[2] = {
      {bishopMagicConstants, bishopMagics, &bishopAttackTable, bishopTableSize(), BishopDirections},
      {rookMagicConstants, rookMagics, &rookAttackTable, rookTableSize(), RookDirections},
  };
  for (Slider& slider : sliders) {
    delete[] *slider.table;
    *slider.table = new Bitboard[slider.size];
    for (int i = 0; i < slider.size; ++i) (*slider.table)[i] = ~Bitboard(0);
    Bitboard* slice = *slider.table;
    for (int s = 0; s < 64; ++s) {
      const MagicConstant& c = slider.constants[s];
      MagicEntry& e = slider.entries[s];
      e.mulLo = c.mulLo;
      e.mulHi = c.mulHi;
      e.shift = uint32_t(32 - c.bits);
      e.mask = rays(s, slider.directions, 4, true);
      e.attacks = slice;
      // Every subset of the mask, the empty one and the full one included.
      Bitboard subset = 0;
      do {
        uint32_t index = (uint32_t(subset) * e.mulLo ^ uint32_t(subset >> 32) * e.mulHi) >> e.shift;
        slice[index] = slidingAttacks(s, subset, slider.directions, 4);
        subset = (subset - e.mask) & e.mask;
      } while (subset);
      slice += c.entries;
    }
  }
}

Bitboard fileRankToBitboard(char fileChar, char rankChar) {
  int file = std::toupper(static_cast<unsigned char>(fileChar)) - 'A';
  int rank = rankChar - '0';
  return squareBit(makeSquare(file, rank));
}

Bitboard squareToBitboard(const char* text) { return fileRankToBitboard(text[0], text[1]); }

int squareFromText(const char* text) {
  int file = std::toupper(static_cast<unsigned char>(text[0])) - 'A';
  return makeSquare(file, text[1] - '0');
}

Bitboard squaresToBitboard(const char* text) {
  Bitboard result = 0;
  for (; text[0] && text[1]; text += 2) result |= squareToBitboard(text);
  return result;
}

void lineMasks(int s, int directions, Bitboard& full, Bitboard& inner) {
  const int (*sets[4])[2] = {RankDirections, FileDirections, DiagA1H8Directions, DiagA8H1Directions};
  full = inner = 0;
  for (int i = 0; i < 4; ++i) {
    if (!(directions & (1 << i))) continue;
    full |= rays(s, sets[i], 2, false);
    inner |= rays(s, sets[i], 2, true);
  }
}
