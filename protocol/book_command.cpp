#include "protocol/book_command.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "book/book_stats.h"
#include "book/test_positions.h"
#include "protocol/command_text.h"

void BookStatsDeleter::operator()(BookStats* stats) const { delete stats; }

namespace {

bool isSpace(char c) { return c && std::isspace(static_cast<unsigned char>(c)); }

void trimEnd(std::string& s) {
  while (!s.empty() && isSpace(s.back())) s.pop_back();
}

// The write form that starts at `at` (the blank before "write"), and how
// many characters the keyword takes with that blank and, for the long
// forms, the one separator after it. A long form at the end of the line or
// before a tab or line end counts too, so that "book write960" alone is not
// a plain book written to a file named "960".
BookArguments::Action writeForm(const std::string& text, size_t at, size_t& keywordLength) {
  for (const auto& form :
       {std::make_pair(" write960", BookArguments::Write960), std::make_pair(" writeEPD", BookArguments::WriteEpd)}) {
    const size_t length = std::strlen(form.first);
    if (text.compare(at, length, form.first) != 0) continue;
    const size_t next = at + length;
    if (next == text.size() || text[next] == ' ' || text[next] == '\t' || text[next] == '\r' ||
        text[next] == '\n') {
      keywordLength = length + 1;
      return form.second;
    }
  }
  keywordLength = 6;
  return BookArguments::Write;
}

}  // namespace

BookArguments parseBookArguments(const char* line) {
  BookArguments a;
  // Everything after the command word, starting with its separator, so
  // that every keyword is found with the blank before it.
  const std::string text = restAfter(line, 4);
  int64_t v = 0;

  a.deleteWord = hasFlag(text.c_str(), " delete");

  const size_t add = text.find(" add ");
  if (add != std::string::npos) {
    a.action = BookArguments::Add;
    // The name is the one word after "add"; the options are searched in
    // the whole line.
    size_t begin = add + 5;
    while (begin < text.size() && isSpace(text[begin])) ++begin;
    size_t end = begin;
    while (end < text.size() && !isSpace(text[end])) ++end;
    a.file = text.substr(begin, std::min(end - begin, BookArguments::MaxFileName));
    if (readNumberAfter(text.c_str(), " value ", v)) a.value = uint32_t(clampValue(v, 0, UINT32_MAX));
    if (readNumberAfter(text.c_str(), " ELO ", v)) a.elo = int(clampValue(v, INT32_MIN, INT32_MAX));
    a.calcElo = hasFlag(text.c_str(), " CalcELO");
    a.all = hasFlag(text.c_str(), " all");
    return a;
  }

  const size_t write = text.find(" write");
  if (write == std::string::npos) return a;
  size_t keywordLength = 0;
  a.action = writeForm(text, write, keywordLength);
  // The name runs up to the first "threshold" or "width" after its start,
  // less the one separator before it, so it may hold blanks but no option
  // word.
  size_t begin = std::min(write + keywordLength, text.size());
  while (begin < text.size() && isSpace(text[begin])) ++begin;
  size_t end = std::min(text.find("threshold", begin), text.find("width", begin));
  end = end == std::string::npos ? text.size() : std::max(end, begin + 1) - 1;
  a.file = text.substr(begin, std::min(end - begin, BookArguments::MaxFileName));
  trimEnd(a.file);
  if (readNumberAfter(text.c_str(), " threshold", v))
    a.threshold = int(clampValue(v, INT32_MIN + 1000, INT32_MAX - 1000));
  if (readNumberAfter(text.c_str(), " width", v)) a.width = int(clampValue(v, INT32_MIN, INT32_MAX));
  return a;
}

void runBookCommand(BookStatsHolder& stats, const char* line, std::FILE* errors) {
  const BookArguments a = parseBookArguments(line);
  if (a.deleteWord && stats) {
    stats.reset();
    return;
  }
  if (a.action == BookArguments::Add) {
    if (!stats) stats.reset(new BookStats(errors));
    stats->addPgn(a.file.c_str(), a.value, a.all, a.calcElo, a.elo);
    return;
  }
  if (a.action == BookArguments::None || !stats) return;
  const double width = a.width / 100.0;
  bool written = false;
  if (a.action == BookArguments::Write960)
    written = stats->write960(a.file.c_str(), a.threshold, width);
  else if (a.action == BookArguments::WriteEpd)
    written = stats->writeEpd(a.file.c_str(), a.threshold, width);
  else
    written = stats->write(a.file.c_str(), a.threshold, width);
  // A write that failed keeps the statistics, so it can be given again.
  if (written) stats.reset();
}

void runTestPositionCommand(const char* line) {
  std::string name = restAfter(line, 8);
  trimEnd(name);
  if (name.size() > BookArguments::MaxFileName) name.resize(BookArguments::MaxFileName);
  extractTestPositions(name.c_str());
}
