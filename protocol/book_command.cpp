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

// The first place in text, at or after from, where word stands as a word
// of its own: after a blank (or at the start) and before white space or
// the end.
size_t findWord(const std::string& text, const char* word, size_t from = 0) {
  const size_t length = std::strlen(word);
  for (size_t at = text.find(word, from); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool before = at == 0 || isSpace(text[at - 1]);
    const bool after = at + length == text.size() || isSpace(text[at + length]);
    if (before && after) return at;
  }
  return std::string::npos;
}

// The first place where keyword stands as an option: a word of its own
// followed, after optional white space, by a number (with a sign when
// allowed).
size_t findOption(const std::string& text, const char* keyword, bool signedNumber, size_t from = 0) {
  const size_t length = std::strlen(keyword);
  for (size_t at = text.find(keyword, from); at != std::string::npos; at = text.find(keyword, at + 1)) {
    if (at != 0 && !isSpace(text[at - 1])) continue;
    size_t i = at + length;
    if (i < text.size() && !isSpace(text[i])) continue;
    while (i < text.size() && isSpace(text[i])) ++i;
    if (signedNumber && i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) return at;
  }
  return std::string::npos;
}

bool readOption(const std::string& text, const char* keyword, bool signedNumber, int64_t& value) {
  const size_t at = findOption(text, keyword, signedNumber);
  return at != std::string::npos && readInteger(text.c_str() + at + std::strlen(keyword), value);
}

void trimEnd(std::string& s) {
  while (!s.empty() && isSpace(s.back())) s.pop_back();
}

}  // namespace

BookArguments parseBookArguments(const char* line) {
  BookArguments a;
  // Everything after the command word, with its separator.
  const std::string text = restAfter(line, 4);

  const size_t add = findWord(text, "add");
  size_t write = std::string::npos;
  size_t keywordLength = 0;
  for (const auto& form : {std::make_pair("write", BookArguments::Write),
                           std::make_pair("write960", BookArguments::Write960),
                           std::make_pair("writeEPD", BookArguments::WriteEpd)}) {
    const size_t at = findWord(text, form.first);
    if (at < write) {
      write = at;
      keywordLength = std::strlen(form.first);
      if (add == std::string::npos || at < add) a.action = form.second;
    }
  }
  if (add != std::string::npos && add < write) a.action = BookArguments::Add;
  // "delete" counts where it stands before any file name.
  const size_t del = findWord(text, "delete");
  a.deleteWord = del != std::string::npos && del < add && del < write;

  if (a.action == BookArguments::Add) {
    // One word; a longer one is cut, and the options are looked for
    // everywhere but in it.
    size_t begin = add + 3;
    while (begin < text.size() && isSpace(text[begin])) ++begin;
    size_t end = begin;
    while (end < text.size() && !isSpace(text[end])) ++end;
    a.file = text.substr(begin, std::min(end - begin, BookArguments::MaxFileName));
    const std::string options = text.substr(0, begin) + " " + text.substr(end);
    int64_t v = 0;
    if (readOption(options, "value", false, v)) a.value = uint32_t(clampValue(v, 0, UINT32_MAX));
    if (readOption(options, "ELO", true, v)) a.elo = int(clampValue(v, INT32_MIN, INT32_MAX));
    a.calcElo = findWord(options, "CalcELO") != std::string::npos;
    a.all = findWord(options, "all") != std::string::npos;
  } else if (a.action != BookArguments::None) {
    // The name runs to the first option, so it may hold blanks and words
    // like "width" that are not followed by a number.
    size_t begin = write + keywordLength;
    while (begin < text.size() && isSpace(text[begin])) ++begin;
    const size_t end =
        std::min({text.size(), findOption(text, "threshold", true, begin), findOption(text, "width", true, begin)});
    a.file = text.substr(begin, end - begin);
    trimEnd(a.file);
    if (a.file.size() > BookArguments::MaxFileName) a.file.resize(BookArguments::MaxFileName);
    const std::string options = text.substr(end);
    int64_t v = 0;
    if (readOption(options, "threshold", true, v)) a.threshold = int(clampValue(v, INT32_MIN + 1000, INT32_MAX - 1000));
    if (readOption(options, "width", true, v)) a.width = int(clampValue(v, INT32_MIN, INT32_MAX));
  }
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
