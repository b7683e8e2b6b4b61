#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/console_driver.h"
#include "support/engine_process.h"

namespace {

struct Read {
  LineRead kind;
  std::string text;
  bool operator==(const Read& o) const { return kind == o.kind && (kind == LineRead::End || text == o.text); }
};

std::ostream& operator<<(std::ostream& out, const Read& r) {
  return out << (r.kind == LineRead::Line ? "Line" : r.kind == LineRead::Overlong ? "Overlong" : "End") << " '"
             << r.text << "'";
}

// Every read of the input until its end, taking lines of at most
// maxLength characters.
std::vector<Read> readAll(const std::string& input, size_t maxLength) {
  std::vector<char> data(input.begin(), input.end());
  std::FILE* in = fmemopen(data.empty() ? nullptr : data.data(), data.size(), "r");
  if (!in) in = std::tmpfile();
  std::string line = "left over from before";
  std::vector<Read> reads;
  for (int guard = 0; guard < 100; ++guard) {
    const LineRead kind = readInputLine(in, line, maxLength);
    reads.push_back({kind, kind == LineRead::End ? "" : line});
    if (kind == LineRead::End) break;
  }
  std::fclose(in);
  return reads;
}

TEST(InputLineTest, LinesComeWithoutTheirEnds) {
  const struct {
    std::string input;
    size_t maxLength;
    std::vector<Read> reads;
  } cases[] = {
      {"", 15, {{LineRead::End, ""}}},
      {"uci\nisready\n", 15, {{LineRead::Line, "uci"}, {LineRead::Line, "isready"}, {LineRead::End, ""}}},
      {"quit", 15, {{LineRead::Line, "quit"}, {LineRead::End, ""}}},
      {"\n\n", 15, {{LineRead::Line, ""}, {LineRead::Line, ""}, {LineRead::End, ""}}},
      {std::string("go\0depth 3\n", 11), 15, {{LineRead::Line, "go depth 3"}, {LineRead::End, ""}}},
      {"1234567\nab\n", 7, {{LineRead::Line, "1234567"}, {LineRead::Line, "ab"}, {LineRead::End, ""}}},
      {"12345678\nab\n", 7, {{LineRead::Overlong, "1234567"}, {LineRead::Line, "ab"}, {LineRead::End, ""}}},
      {"123456789012345678901234567890", 7, {{LineRead::Overlong, "1234567"}, {LineRead::End, ""}}},
      {"\xff\xfe\r\n", 7, {{LineRead::Line, "\xff\xfe\r"}, {LineRead::End, ""}}},
      // Lines far longer than any fixed buffer come whole.
      {std::string(200000, 'x') + "\nab", 300000,
       {{LineRead::Line, std::string(200000, 'x')}, {LineRead::Line, "ab"}, {LineRead::End, ""}}},
  };
  for (const auto& c : cases) EXPECT_EQ(readAll(c.input, c.maxLength), c.reads) << c.input.substr(0, 40);
}

TEST(InputLineTest, TrailingWhiteSpaceIsCut) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"go  \t\r\n\v\f", "go"}, {"  ", ""}, {"", ""}, {" a b ", " a b"}, {"x\xa0", "x\xa0"}};
  for (const auto& c : cases) {
    std::string s = c.in;
    std::vector<char> buffer(s.begin(), s.end());
    buffer.push_back(0);
    trimTrailingWhiteSpace(buffer.data());
    EXPECT_STREQ(buffer.data(), c.out) << '"' << c.in << '"';
  }
}

// The hidden options are listed whatever else the command line holds.
TEST(CommandLineTest, HiddenOptionsFlagInAnyOrder) {
  const std::vector<std::vector<std::string>> lines = {
      {"VersteckteOptionen"},
      {"games.pgn", "VersteckteOptionen"},
      {"VersteckteOptionen", "\"quoted name.pgn\"", "VersteckteOptionen"},
      {"\"unclosed.pgn", "VersteckteOptionen"},
      {std::string("\"") + std::string(700, 'x') + "\"", "VersteckteOptionen"},
  };
  for (const std::vector<std::string>& arguments : lines) {
    testsupport::EngineProcess engine(arguments);
    ASSERT_TRUE(engine.started());
    engine.send("uci");
    bool found = false;
    const std::vector<std::string> answer = engine.readUntil("uciok", found);
    ASSERT_TRUE(found);
    EXPECT_EQ(answer[answer.size() - 2], "option name AlwaysClearHash type check default false");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
  }
  testsupport::EngineProcess plain({"Versteckte", "games.pgn"});
  plain.send("uci");
  bool found = false;
  const std::vector<std::string> answer = plain.readUntil("uciok", found);
  ASSERT_TRUE(found);
  EXPECT_EQ(answer[answer.size() - 2], "option name TimeLogfile type string default /dev/null");
  plain.send("quit");
  EXPECT_EQ(plain.waitExit(), 0);
}

}  // namespace
