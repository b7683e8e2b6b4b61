// The "book" command line: sub-commands, option words and file names,
// including names that hold the option words; and the statistics'
// lifetime from the first "add" to a successful write or "delete", also
// when the write goes into a FIFO whose reader hangs up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "book/book_stats.h"
#include "book/material_stats.h"
#include "protocol/book_command.h"
#include "support/fifo_reader.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::tempPath;
using testsupport::readFile;
using testsupport::FifoReader;
using testsupport::TempDirectory;
const std::string DataDir = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/";

TEST(BookCommand, ParsesEverySubCommandAndOption) {
  using A = BookArguments;
  const std::string longName(1500, 'n');
  const struct {
    const char* line;
    bool deleteWord;
    A::Action action;
    std::string file;
    uint32_t value;
    int elo;
    bool calcElo, all;
    int threshold, width;
  } cases[] = {
      {"book add games.pgn", false, A::Add, "games.pgn", 1000, -1, false, false, 3000, 25},
      {"book add  games.pgn", false, A::Add, "games.pgn", 1000, -1, false, false, 3000, 25},
      {"book add ", false, A::Add, "", 1000, -1, false, false, 3000, 25},
      {"book add games.pgn value 3000000000 ELO 2200 CalcELO all", false, A::Add, "games.pgn", 3000000000u, 2200,
       true, true, 3000, 25},
      {"book add games.pgn value 5 ELO 2200 CalcELO all", false, A::Add, "games.pgn", 5, 2200, true, true, 3000, 25},
      {"book add games.pgn all\r", false, A::Add, "games.pgn", 1000, -1, false, true, 3000, 25},
      {"book add games.pgn all\n", false, A::Add, "games.pgn", 1000, -1, false, true, 3000, 25},
      {"book add games.pgn CalcELO", false, A::Add, "games.pgn", 1000, -1, true, false, 3000, 25},
      {"book add games.pgn allx CalcELOs", false, A::Add, "games.pgn", 1000, -1, false, false, 3000, 25},
      // "ELO" inside "CalcELO" and option words inside the name are not options.
      {"book add CalcELO_value_all.pgn", false, A::Add, "CalcELO_value_all.pgn", 1000, -1, false, false, 3000, 25},
      {"book add games.pgn CalcELO 2000", false, A::Add, "games.pgn", 1000, -1, true, false, 3000, 25},
      // A negative value is held at zero rather than wrapped; numbers saturate.
      {"book add games.pgn ELO -5 value -3", false, A::Add, "games.pgn", 0, -5, false, false, 3000, 25},
      {"book add games.pgn value 99999999999 ELO -99999999999", false, A::Add, "games.pgn", UINT32_MAX, INT32_MIN,
       false, false, 3000, 25},
      {"book add games.pgn value x ELO", false, A::Add, "games.pgn", 1000, -1, false, false, 3000, 25},
      // The word after "add" is always the name, and the options are read in
      // the whole line.
      {"book add value 5", false, A::Add, "value", 5, -1, false, false, 3000, 25},
      // "add" wins over a write anywhere in the line.
      {"book write x.opn add games.pgn", false, A::Add, "games.pgn", 1000, -1, false, false, 3000, 25},
      {"book write my.opn", false, A::Write, "my.opn", 1000, -1, false, false, 3000, 25},
      {"book write my.opn threshold 100 width 50", false, A::Write, "my.opn", 1000, -1, false, false, 100, 50},
      {"book write w.opn width50", false, A::Write, "w.opn", 1000, -1, false, false, 3000, 50},
      {"book write w.opn widthx", false, A::Write, "w.opn", 1000, -1, false, false, 3000, 25},
      {"book write w.opn threshold99999999999", false, A::Write, "w.opn", 1000, -1, false, false, INT32_MAX - 1000,
       25},
      {"book write my.opn \t threshold 100\r\n", false, A::Write, "my.opn", 1000, -1, false, false, 100, 25},
      {"book write   spaced name.opn  \r\n", false, A::Write, "spaced name.opn", 1000, -1, false, false, 3000, 25},
      // The name ends before the first "threshold" or "width" even inside a
      // word; an option is read only at the first " width" / " threshold".
      {"book write  my width.opn  width 10\n", false, A::Write, "my", 1000, -1, false, false, 3000, 25},
      {"book write abcwidth 5", false, A::Write, "ab", 1000, -1, false, false, 3000, 25},
      // An option word at once gives an empty name.
      {"book write threshold.opn", false, A::Write, "", 1000, -1, false, false, 3000, 25},
      {"book write width 0", false, A::Write, "", 1000, -1, false, false, 3000, 0},
      {"book writethreshold 7", false, A::Write, "", 1000, -1, false, false, 3000, 25},
      {"book write", false, A::Write, "", 1000, -1, false, false, 3000, 25},
      {"book write960 c.opn threshold -100", false, A::Write960, "c.opn", 1000, -1, false, false, -100, 25},
      {"book writeEPD t.epd width 5", false, A::WriteEpd, "t.epd", 1000, -1, false, false, 3000, 5},
      {"book writeEPD\tt.epd", false, A::WriteEpd, "t.epd", 1000, -1, false, false, 3000, 25},
      // The long forms at the end of the line have an empty name.
      {"book write960", false, A::Write960, "", 1000, -1, false, false, 3000, 25},
      {"book writeEPD\r\n", false, A::WriteEpd, "", 1000, -1, false, false, 3000, 25},
      // Anything else after "write" starts the name.
      {"book write9600 x", false, A::Write, "9600 x", 1000, -1, false, false, 3000, 25},
      {"book writer x", false, A::Write, "r x", 1000, -1, false, false, 3000, 25},
      {"book delete", true, A::None, "", 1000, -1, false, false, 3000, 25},
      {"book delete\r", true, A::None, "", 1000, -1, false, false, 3000, 25},
      {"book delete\n", true, A::None, "", 1000, -1, false, false, 3000, 25},
      {"book delete now", true, A::None, "", 1000, -1, false, false, 3000, 25},
      // " delete" anywhere in the line, read as add or write when there are
      // no statistics to drop.
      {"book add delete", true, A::Add, "delete", 1000, -1, false, false, 3000, 25},
      {"book write delete", true, A::Write, "delete", 1000, -1, false, false, 3000, 25},
      {"book write x.opn delete", true, A::Write, "x.opn delete", 1000, -1, false, false, 3000, 25},
      {"book deleted", false, A::None, "", 1000, -1, false, false, 3000, 25},
      {"book undelete", false, A::None, "", 1000, -1, false, false, 3000, 25},
      {"book", false, A::None, "", 1000, -1, false, false, 3000, 25},
  };
  for (const auto& c : cases) {
    const A a = parseBookArguments(c.line);
    EXPECT_EQ(a.deleteWord, c.deleteWord) << c.line;
    EXPECT_EQ(a.action, c.action) << c.line;
    EXPECT_EQ(a.file, c.file) << c.line;
    EXPECT_EQ(a.value, c.value) << c.line;
    EXPECT_EQ(a.elo, c.elo) << c.line;
    EXPECT_EQ(a.calcElo, c.calcElo) << c.line;
    EXPECT_EQ(a.all, c.all) << c.line;
    EXPECT_EQ(a.threshold, c.threshold) << c.line;
    EXPECT_EQ(a.width, c.width) << c.line;
  }
  EXPECT_EQ(parseBookArguments(("book add " + longName + " all").c_str()).file, longName.substr(0, 1023));
  const A cut = parseBookArguments(("book add " + longName + " all").c_str());
  EXPECT_TRUE(cut.all);
  EXPECT_EQ(parseBookArguments(("book write " + longName + " width 3").c_str()).file, longName.substr(0, 1023));
  // The name is cut first and then loses the blanks that end up at its end.
  const std::string spaced = longName.substr(0, 1020) + "     x";
  EXPECT_EQ(parseBookArguments(("book write " + spaced).c_str()).file, longName.substr(0, 1020));
  EXPECT_EQ(parseBookArguments(("book writeEPD " + longName).c_str()).file, longName.substr(0, 1023));
}

TEST(BookCommand, StatisticsLiveFromAddToASuccessfulWrite) {
  BookStatsHolder stats;
  const std::string pgn = DataDir + "book_small.pgn";
  const std::string path = tempPath("command.opn");
  std::FILE* errors = std::tmpfile();
  testing::internal::CaptureStdout();

  runBookCommand(stats, ("book write " + path).c_str(), errors);
  EXPECT_FALSE(stats);
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "a write without statistics writes nothing";

  runBookCommand(stats, ("book add " + pgn + " all").c_str(), errors);
  ASSERT_TRUE(stats);
  const size_t positions = stats->positionCount();
  runBookCommand(stats, ("book add " + pgn + " all").c_str(), errors);
  EXPECT_EQ(stats->positionCount(), positions);
  runBookCommand(stats, "book add /nonexistent/games.pgn", errors);
  EXPECT_TRUE(stats);

  runBookCommand(stats, "book write /nonexistent/dir/x.opn", errors);
  EXPECT_TRUE(stats) << "a failed write keeps the statistics";
  runBookCommand(stats, ("book write " + path + " threshold 2000 width 200").c_str(), errors);
  EXPECT_FALSE(stats);
  EXPECT_EQ(access(path.c_str(), F_OK), 0);

  runBookCommand(stats, ("book add " + pgn + " all").c_str(), errors);
  runBookCommand(stats, "book delete", errors);
  EXPECT_FALSE(stats);
  testing::internal::GetCapturedStdout();

  std::rewind(errors);
  std::string text;
  for (int c; (c = std::fgetc(errors)) != EOF;) text += char(c);
  std::fclose(errors);
  EXPECT_EQ(text,
            "info string PGN-Parser: file /nonexistent/games.pgn line 1 char 0: Cannot open file\n"
            "info string error opening the output file /nonexistent/dir/x.opn\n");
  std::remove(path.c_str());
}

// " delete" ends the command when there are statistics, even after a
// write's file name; without them the line is read as it would be
// otherwise.
TEST(BookCommand, DeleteAnywhereDropsTheStatisticsBeforeAnythingElse) {
  BookStatsHolder stats;
  const std::string pgn = DataDir + "book_small.pgn";
  const std::string path = tempPath("deleted.opn");
  std::FILE* errors = std::tmpfile();
  testing::internal::CaptureStdout();

  const std::string write = "book write " + path + " delete";
  runBookCommand(stats, write.c_str(), errors);
  EXPECT_FALSE(stats);

  const std::string add = "book add " + pgn + " all delete";
  runBookCommand(stats, add.c_str(), errors);
  ASSERT_TRUE(stats) << "without statistics the line is an add";
  EXPECT_GT(stats->positionCount(), 0u);
  runBookCommand(stats, add.c_str(), errors);
  EXPECT_FALSE(stats) << "with statistics the same line drops them";

  runBookCommand(stats, add.c_str(), errors);
  ASSERT_TRUE(stats);
  runBookCommand(stats, write.c_str(), errors);
  EXPECT_FALSE(stats);
  testing::internal::GetCapturedStdout();

  EXPECT_NE(access(path.c_str(), F_OK), 0);
  EXPECT_NE(access((path + " delete").c_str(), F_OK), 0);
  std::rewind(errors);
  EXPECT_EQ(std::fgetc(errors), EOF) << "nothing was opened or written";
  std::fclose(errors);
  std::remove(path.c_str());
  std::remove((path + " delete").c_str());
}

}  // namespace

namespace {

// A FIFO whose reader takes the first bytes and hangs up makes the write
// fail part-way, like a full disk: the error is reported, the engine lives
// on, and the statistics it kept give the whole book at the next write.
TEST(BookCommand, AWriteIntoAFifoWhoseReaderHangsUpKeepsTheStatistics) {
  TempDirectory dir;
  ASSERT_TRUE(dir.ok());
  const std::string pgn = dir.path("random.pgn"), fifo = dir.path("out.fifo");
  const std::string retried = dir.path("retried.opn"), fresh = dir.path("fresh.opn");
  // Random games branch at once, so that the book is larger than the pipe.
  ASSERT_TRUE(writeMonteCarloPgn(pgn.c_str(), 20, 99));
  const std::string add = "book add " + pgn + " all", options = " threshold 0 width 2500";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::FILE* errors = std::tmpfile();

  testing::internal::CaptureStdout();
  BookStatsHolder once;
  runBookCommand(once, add.c_str(), errors);
  runBookCommand(once, ("book write " + fresh + options).c_str(), errors);
  BookStatsHolder stats;
  runBookCommand(stats, add.c_str(), errors);
  FifoReader reader(fifo, FifoReader::HangUpAtFirstBytes);
  runBookCommand(stats, ("book write " + fifo + options).c_str(), errors);
  reader.finish();
  const bool kept = bool(stats);
  runBookCommand(stats, ("book write " + retried + options).c_str(), errors);
  testing::internal::GetCapturedStdout();

  ASSERT_TRUE(reader.isOpen());
  EXPECT_GT(readFile(fresh).size(), reader.capacity()) << "the book must not fit into the pipe";
  EXPECT_TRUE(reader.hungUp());
  EXPECT_TRUE(kept) << "a failed write keeps the statistics";
  EXPECT_FALSE(stats);
  EXPECT_EQ(readFile(retried), readFile(fresh));
  struct stat st;
  EXPECT_TRUE(lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

  std::rewind(errors);
  std::string text;
  for (int c; (c = std::fgetc(errors)) != EOF;) text += char(c);
  std::fclose(errors);
  EXPECT_EQ(text, "info string error writing the output file " + fifo + "\n");
}

}  // namespace
