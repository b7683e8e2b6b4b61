// The "book" and "testpos" commands: the book statistics live from the
// first "book add" until a book has been written or "book delete" drops
// them; "testpos" extracts test positions from the games a control file
// names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class BookStats;

struct BookStatsDeleter {
  void operator()(BookStats* stats) const;
};
using BookStatsHolder = std::unique_ptr<BookStats, BookStatsDeleter>;

// What a "book" line asks for.
struct BookArguments {
  enum Action { None, Add, Write, Write960, WriteEpd };
  static constexpr size_t MaxFileName = 1023;

  // " delete" stands in the line, followed by a blank or a line end or
  // ending it; it only acts when there are statistics to drop, and the
  // line is otherwise read as "add" or a write.
  bool deleteWord = false;
  Action action = None;
  std::string file;
  uint32_t value = 1000;
  int elo = -1;
  bool calcElo = false;
  bool all = false;
  int threshold = 3000;
  int width = 25;  // hundredths
};

// Reads a whole "book ..." line.
BookArguments parseBookArguments(const char* line);

// Runs a "book ..." line on the statistics, creating them on "add" and
// dropping them after a successful write or on "delete". Errors go to
// `errors`.
void runBookCommand(BookStatsHolder& stats, const char* line, std::FILE* errors = stderr);

// Runs a "testpos <control file>" line.
void runTestPositionCommand(const char* line);
