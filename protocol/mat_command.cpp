#include "protocol/mat_command.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "book/material_stats.h"
#include "eval/material_net.h"
#include "protocol/command_text.h"

namespace {

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The text from begin to end (or to the end of the text), without the
// white space around it, at most MatCommand::MaxFileName characters.
std::string fileName(const char* begin, const char* end = nullptr) {
  begin = skipWhiteSpace(begin);
  if (!end) end = begin + std::strlen(begin);
  while (end > begin && isSpace(end[-1])) --end;
  const size_t length = size_t(end - begin);
  return std::string(begin, length < MatCommand::MaxFileName ? length : MatCommand::MaxFileName);
}

int intAfter(const char* text, const char* keyword, int fallback) {
  int64_t v = 0;
  return readNumberAfter(text, keyword, v) ? int(clampValue(v, INT32_MIN, INT32_MAX)) : fallback;
}

}  // namespace

MatCommand::MatCommand() {
  // A training that cannot save is otherwise lost without a word.
  trainerSettings_.cannotWrite = [](const char* name) {
    std::fprintf(stderr, "info string error opening the output file %s\n", name);
    std::fflush(stderr);
  };
}
MatCommand::~MatCommand() = default;

MaterialStatistics& MatCommand::statistics() {
  if (!statistics_) statistics_.reset(new MaterialStatistics());
  return *statistics_;
}

bool MatCommand::runsBesideASearch(const char* line) {
  const char* text = skipWhiteSpace(restAfter(line, 4));
  for (const char* form : {"learn ", "rnd ", "add ", "readmem "})
    if (startsWith(text, form)) return false;
  return true;
}

void MatCommand::run(const char* line) {
  const char* text = skipWhiteSpace(restAfter(line, 4));
  if (startsWith(text, "learn ")) {
    const std::string name = fileName(text + 5);
    TrainingSet set;
    if (!readTrainingSet(set, name.c_str())) {
      std::fprintf(stderr, "info string error opening the input file %s\n", name.c_str());
      return;
    }
    // Training on nothing would run forever without ever saving.
    if (set.records.empty()) {
      std::fprintf(stderr, "info string no training records in %s\n", name.c_str());
      return;
    }
    MaterialNet net;
    trainMaterialNet(set, net, trainerSettings_);
  } else if (startsWith(text, "delete")) {
    statistics_.reset();
  } else if (startsWith(text, "rnd ")) {
    int64_t count = 0;
    readInteger(text + 4, count);
    statistics().addRandomGames(long(clampValue(count, 0, INT32_MAX)));
  } else if (startsWith(text, "add ")) {
    // The name ends before the first option word; " CalcELO" counts as one
    // too, so that a name followed only by it is not read as part of it.
    const char* rest = text + 4;
    const char* end = nullptr;
    for (const char* keyword : {" value ", " ELO ", " CalcELO"}) {
      const char* at = std::strstr(skipWhiteSpace(rest), keyword);
      if (at && (!end || at < end)) end = at;
    }
    const std::string name = fileName(rest, end);
    const int value = intAfter(text, " value ", 1000);
    const int minimumElo = intAfter(text, " ELO ", -1);
    const bool calcElo = hasFlag(text, " CalcELO");
    statistics().addPgn(name.c_str(), value, calcElo, minimumElo);
  } else if (startsWith(text, "writemem ")) {
    if (statistics_) statistics_->writeMem(fileName(text + 8).c_str());
  } else if (startsWith(text, "readmem ")) {
    statistics().readMem(fileName(text + 7).c_str());
  } else if (startsWith(text, "write ")) {
    // A table that could not be written keeps the statistics, so the write
    // can be given again.
    if (statistics_ && statistics_->writeTable(fileName(text + 5).c_str())) statistics_.reset();
  }
}
