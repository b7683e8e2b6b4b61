// Building a book through the engine binary, as a user does in one
// session: "book add" a PGN collection, "book write" the book, then play
// from the written book with BookFile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

using testsupport::EngineProcess;

const std::string DataDir = std::string(BRAKKEN_SOURCE_DIR) + "/tests/data/";

class BookBuilderSession : public ::testing::Test {
 protected:
  std::unique_ptr<EngineProcess> engine;
  std::string book = ::testing::TempDir() + "brakken_" + std::to_string(getpid()) + "_built.opn";

  void SetUp() override {
    engine = std::make_unique<EngineProcess>();
    ASSERT_TRUE(engine->started());
    engine->send("uci");
    bool found = false;
    engine->readUntil("uciok", found);
    ASSERT_TRUE(found);
  }

  void TearDown() override {
    engine->send("quit");
    EXPECT_EQ(engine->waitExit(10000), 0);
    std::remove(book.c_str());
  }

  std::vector<std::string> sync() {
    engine->send("isready");
    bool found = false;
    std::vector<std::string> lines = engine->readUntil("readyok", found);
    EXPECT_TRUE(found);
    if (found) lines.pop_back();
    return lines;
  }

  // The answer, which must come at once from the book.
  std::string bookAnswer(const std::string& position) {
    engine->send(position);
    engine->send("go wtime 10000 btime 10000");
    bool found = false;
    const std::vector<std::string> lines = engine->readUntil("bestmove", found, 20000);
    EXPECT_TRUE(found);
    EXPECT_EQ(lines.size(), 1u) << position << " searched";
    return found ? lines.back() : "";
  }
};

TEST_F(BookBuilderSession, AddWriteAndPlayFromTheBook) {
  engine->send("book add " + DataDir + "book_small.pgn all");
  engine->send("book add " + DataDir + "book_small.pgn all value 1000");
  // A write that fails keeps the games; the next one writes them.
  engine->send("book write /nonexistent/dir/book.opn");
  engine->send("book write " + book + " threshold 2000 width 200");
  // The file added twice doubles every score: 1.e4 leads so clearly that
  // c4 and d4 lose their weight; d4 stays as the path to its reply.
  EXPECT_EQ(sync(), (std::vector<std::string>{"white moves:         2", "black moves:         2",
                                              "moves:               4"}));
  EXPECT_EQ(engine->errorText(), "info string error opening the output file /nonexistent/dir/book.opn\n");
  // The statistics went with the write: another write does nothing.
  engine->send("book write " + book + ".again");
  EXPECT_EQ(sync(), std::vector<std::string>{});
  EXPECT_NE(access((book + ".again").c_str(), F_OK), 0);

  engine->send("setoption name BookFile value " + book);
  engine->send("ucinewgame");
  EXPECT_EQ(bookAnswer("position startpos"), "bestmove e2e4 ponder e7e5");
  EXPECT_EQ(bookAnswer("position startpos moves e2e4"), "bestmove e7e5");
  EXPECT_EQ(bookAnswer("position startpos moves d2d4"), "bestmove d7d5");
}

}  // namespace
