#include "eval/material_hash.h"

#include <cmath>

#include "board/position.h"
#include "eval/material_net.h"

uint32_t materialSignature(const Position& position, int relation) {
  return position.white.materialKey ^ position.black.materialKey ^ BishopRelationKeys[relation + 1];
}

bool equalMaterialCounts(const SideState& white, const SideState& black) {
  for (int t = Pawn; t <= Queen; ++t)
    if (white.counts[t] != black.counts[t]) return false;
  return true;
}

namespace {

int pawnCountEntry(int pawns) { return PawnCountTable[pawns < 0 ? 0 : pawns > 8 ? 8 : pawns]; }

}  // namespace

int classicalMaterial(const SideState& white, const SideState& black) {
  const int W = white.material, B = black.material;
  const int total = W + B;
  // Difference, plus a bonus for it that grows as material comes off.
  int m = (W - B) + (128 * (W - B)) / (total + 100);
  // Bishop pairs.
  if (white.counts[Bishop] > 1) m += 49;
  if (black.counts[Bishop] > 1) m -= 49;
  // Pawn counts: in full up to 28000, fading in from 28064 up to 44383.
  if (white.counts[Pawn] != black.counts[Pawn] && total <= 44383) {
    const int d = pawnCountEntry(white.counts[Pawn]) - pawnCountEntry(black.counts[Pawn]);
    if (total <= 28000)
      m += d;
    else
      m += (d * ((total - 28000) / 64)) / 256;
  }
  return m;
}

int expectedResultToMilliPawns(double p) {
  if (std::isnan(p)) p = 0.5;
  long double q;
  if (p < 0.02)
    q = 49.0L;
  else if (p > 0.98)
    q = 1.0L / 49.0L;
  else
    q = 1.0L / p - 1.0L;
  return static_cast<int>(-400.0L * std::log10(q) * 1000.0L / 110.0L);
}

int neuralMaterial(MaterialNet& net, const SideState& white, const SideState& black, int relation) {
  const int8_t* w = white.counts;
  const int8_t* b = black.counts;
  const double pWhite = net.evaluate(w[Queen], w[Rook], w[Bishop], w[Knight], w[Pawn], b[Queen], b[Rook], b[Bishop],
                                     b[Knight], b[Pawn], relation);
  const double pBlack = net.evaluate(b[Queen], b[Rook], b[Bishop], b[Knight], b[Pawn], w[Queen], w[Rook], w[Bishop],
                                     w[Knight], w[Pawn], relation);
  return (expectedResultToMilliPawns(pWhite) - expectedResultToMilliPawns(pBlack)) / 2;
}

int blendMaterial(int m, int v, int neuroMaterial, int neuroWidth) {
  const double u = neuroWidth / 100.0;
  const double w = (m + v) / 2000.0;
  const double u2 = u * u;
  const double denominator = u2 + w * w;
  // A zero width with a zero average is the limit of the full share.
  double k = denominator > 0.0 ? (neuroMaterial * u2 / 100.0) / denominator : neuroMaterial / 100.0;
  if (!(k > 0.0)) k = 0.0;
  if (k > 1.0) k = 1.0;
  // A share in [0, 1] keeps the result between m and v.
  return static_cast<int>(k * v + (1.0 - k) * m);
}
