// Developer tools for tuning the pawn square tables: the value of one
// square under a parameter set, and source-text dumps of the generated
// tables. Nothing in the engine calls them.
#pragma once

#include "eval/eval_tables.h"

// The four parameter sets, in dump order.
enum class PstSet { PawnMg, PawnEg, PassedMg, PassedEg };

// The fixed file the dumps append to.
constexpr const char* PstDumpFile = "F:\\Werte.txt";

// Gives back the parameters of one set.
const evaltables::PstParams& pstParams(PstSet set);

// Gives back the rule's value of one square under one set (any rank).
int pstValue(PstSet set, int square);

// Appends the generated table of a parameter set (0 on ranks 1 and 8) to
// the dump file as a brace-enclosed source initialiser; false when the file
// cannot be opened or written.
bool dumpPstTable(const evaltables::PstParams& params);

// Appends the four generated tables in set order; false when any fails.
bool dumpPstTables();
