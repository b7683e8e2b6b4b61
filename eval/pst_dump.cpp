#include "eval/pst_dump.h"

#include <cstdio>
#include <initializer_list>

const evaltables::PstParams& pstParams(PstSet set) {
  switch (set) {
    case PstSet::PawnMg: return evaltables::PawnMgParams;
    case PstSet::PawnEg: return evaltables::PawnEgParams;
    case PstSet::PassedMg: return evaltables::PassedMgParams;
    case PstSet::PassedEg: break;
  }
  return evaltables::PassedEgParams;
}

int pstValue(PstSet set, int square) { return evaltables::pstValue(pstParams(set), square); }

bool dumpPstTable(const evaltables::PstParams& params) {
  std::FILE* f = std::fopen(PstDumpFile, "a");
  if (!f) return false;
  const evaltables::SquareTable table = evaltables::pstTable(params);
  bool ok = std::fputs("{\n", f) >= 0;
  for (int s = 0; s < 64; ++s) {
    ok = ok && std::fprintf(f, "%4d,", table[s]) > 0;
    if (s % 8 == 7) ok = ok && std::fputc('\n', f) != EOF;
  }
  ok = ok && std::fputs("};\n\n", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

bool dumpPstTables() {
  bool ok = true;
  for (PstSet set : {PstSet::PawnMg, PstSet::PawnEg, PstSet::PassedMg, PstSet::PassedEg})
    ok = dumpPstTable(pstParams(set)) && ok;
  return ok;
}
