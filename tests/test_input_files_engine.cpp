// The files the engine reads, through the binary: a name that cannot be
// opened at once (a FIFO that nobody writes) fails exactly the way a
// missing file fails, with the same diagnostic and the same fall-back, and
// the engine goes on answering; a FIFO that a writer holds open is read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/build_speed.h"
#include "support/engine_process.h"
#include "support/fifo_writer.h"
#include "support/temp_text_file.h"

namespace {

using testsupport::EngineProcess;
using testsupport::TempDirectory;

// Generous: the engine answers at once when nothing waits.
const int AnswerMs = 5000 * testsupport::kBuildSlowdown;

// Puts name in place of every "{}" of text.
std::string named(std::string text, const std::string& name) {
  for (size_t at; (at = text.find("{}")) != std::string::npos;) text.replace(at, 2, name);
  return text;
}

bool searched(const std::vector<std::string>& lines) {
  for (const std::string& l : lines)
    if (l.compare(0, 11, "info depth ") == 0) return true;
  return false;
}

// An engine in a directory of its own with an empty default book, so that
// nothing but the file under test is read.
class InputFileSession : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(directory.ok()); }

  void start(const std::vector<std::string>& arguments = {}) {
    std::ofstream(directory.path("Brakken.opn"), std::ios::binary) << "* -1\n";
    engine = std::make_unique<EngineProcess>(arguments, BRAKKEN_BINARY, directory.path().c_str());
    ASSERT_TRUE(engine->started());
    engine->send("uci");
    bool found = false;
    engine->readUntil("uciok", found, AnswerMs);
    ASSERT_TRUE(found) << "no uciok";
    engine->send("debug on");
  }

  void stop() {
    if (!engine) return;
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(AnswerMs), 0);
    engine.reset();
  }

  void TearDown() override { stop(); }

  // The lines before readyok; found tells whether it came in time.
  std::vector<std::string> sync(bool& found) {
    engine->send("isready");
    std::vector<std::string> lines = engine->readUntil("readyok", found, AnswerMs);
    if (found) lines.pop_back();
    return lines;
  }

  // A FIFO in the directory that nobody writes.
  std::string fifo(const std::string& name) {
    const std::string path = directory.path(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return path;
  }

  TempDirectory directory;
  std::unique_ptr<EngineProcess> engine;
};

TEST_F(InputFileSession, FifoWithoutWriterFailsLikeAMissingFile) {
  const struct {
    const char* what;
    std::vector<std::string> arguments;  // on the command line
    std::vector<std::string> commands;
    std::vector<std::string> answer;  // before readyok
    std::string errors;               // on standard error
  } cases[] = {
      {"MaterialFile",
       {},
       {"setoption name MaterialFile value {}"},
       {"info string Lesefehler bei 'MaterialFile', das bisherige Netz bleibt: {}"},
       ""},
      // The book is read at the next position that sets up the start.
      {"BookFile", {}, {"setoption name BookFile value {}", "position startpos"}, {"info string Opening book read error"}, ""},
      {"book add", {}, {"book add {}"}, {}, "info string PGN-Parser: file {} line 1 char 0: Cannot open file\n"},
      {"mat add", {}, {"mat add {}"}, {}, "info string PGN-Parser: file {} line 1 char 0: Cannot open file\n"},
      {"mat readmem", {}, {"mat readmem {}"}, {}, "info string error opening the input file {}\n"},
      {"mat learn", {}, {"mat learn {}"}, {}, "info string error opening the input file {}\n"},
      {"forced lines", {"{}"}, {}, {}, "info string PGN-Parser: file {} line 1 char 0: Cannot open file\n"},
  };
  for (const auto& c : cases) {
    for (const bool asFifo : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (asFifo ? ", FIFO without a writer" : ", missing file"));
      const std::string file = asFifo ? fifo("input.fifo") : directory.path("missing");
      std::vector<std::string> arguments;
      for (const std::string& a : c.arguments) arguments.push_back(named(a, file));
      start(arguments);
      if (HasFatalFailure()) return;
      for (const std::string& command : c.commands) engine->send(named(command, file));
      bool found = false;
      const std::vector<std::string> lines = sync(found);
      EXPECT_TRUE(found) << "no readyok: the engine waits";
      if (found) {
        std::vector<std::string> answer;
        for (const std::string& a : c.answer) answer.push_back(named(a, file));
        EXPECT_EQ(lines, answer);
        EXPECT_EQ(engine->errorText(), named(c.errors, file));
        // And it still plays.
        engine->send("position startpos moves e2e4");
        engine->send("go depth 3");
        const std::vector<std::string> search = engine->readUntil("bestmove", found, AnswerMs * 4);
        EXPECT_TRUE(found) << "no bestmove";
        EXPECT_TRUE(searched(search));
        stop();
      } else {
        engine->killNow();
        engine.reset();
      }
      if (asFifo) {
        struct stat st;
        EXPECT_TRUE(stat(file.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
        unlink(file.c_str());
      }
    }
  }
}

// A book that a writer feeds through a FIFO is read: the book move comes at
// once. The writer stays until the engine has answered, so the engine does
// not wait for it to close either.
TEST_F(InputFileSession, BookFromAFifoWithAWriterIsPlayed) {
  std::ifstream in(std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/sample.opn", std::ios::binary);
  const std::string book((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(book.empty());
  const std::string path = fifo("book.fifo");
  testsupport::FifoWriter writer(path, book);
  ASSERT_TRUE(writer.ok());

  start();
  engine->send("setoption name BookFile value " + path);
  engine->send("position startpos");
  engine->send("go wtime 10000 btime 10000");
  bool found = false;
  const std::vector<std::string> lines = engine->readUntil("bestmove", found, AnswerMs);
  writer.close();
  ASSERT_TRUE(found);
  ASSERT_EQ(lines.size(), 1u) << lines.front();
  EXPECT_TRUE(lines[0] == "bestmove e2e4 ponder e7e5" || lines[0] == "bestmove d2d4") << lines[0];
  EXPECT_EQ(engine->errorText(), "");
}

// In xboard mode: a Brakken.ini and a default book that are FIFOs without a
// writer are reported as missing ones are, and the engine answers.
TEST_F(InputFileSession, XboardFilesThatAreFifosWithoutWriterCountAsMissing) {
  for (const bool asFifo : {false, true}) {
    SCOPED_TRACE(asFifo ? "FIFOs without a writer" : "missing files");
    TempDirectory own;
    ASSERT_TRUE(own.ok());
    if (asFifo) {
      ASSERT_EQ(mkfifo(own.path("Brakken.ini").c_str(), 0600), 0);
      ASSERT_EQ(mkfifo(own.path("Brakken.opn").c_str(), 0600), 0);
    }
    EngineProcess xboard({}, BRAKKEN_BINARY, own.path().c_str());
    ASSERT_TRUE(xboard.started());
    xboard.send("xboard");
    xboard.send("protover 2");
    bool found = false;
    std::vector<std::string> lines = xboard.readUntil("feature done=1", found, AnswerMs);
    ASSERT_TRUE(found) << "no feature done=1: the engine waits";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "feature name=1");
    xboard.send("new");
    xboard.send("ping 1");
    lines = xboard.readUntil("pong 1", found, AnswerMs);
    ASSERT_TRUE(found) << "no pong: the engine waits";
    EXPECT_EQ(lines, (std::vector<std::string>{"Info: no opening book Brakken.opn", "pong 1"}));
    xboard.send("quit");
    EXPECT_EQ(xboard.waitExit(AnswerMs), 0);
  }
}

}  // namespace
