#include "protocol/console_driver.h"

#include <cerrno>
#include <cstring>

#include "book/book.h"
#include "book/pgn_game_source.h"
#include "protocol/uci_output.h"
#include "protocol/uci_protocol.h"
#include "protocol/xboard_adapter.h"
#include "protocol/xboard_output.h"
#include "search/search_controller.h"
#include "search/searcher.h"
#include "search/time_manager.h"

LineRead readInputLine(std::FILE* input, std::string& line, size_t maxLength) {
  line.clear();
  bool overlong = false;
  bool any = false;
  for (;;) {
    const int c = std::getc(input);
    if (c == EOF) {
      if (std::ferror(input) && errno == EINTR) {
        std::clearerr(input);
        continue;
      }
      if (!any) return LineRead::End;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() < maxLength) line.push_back(c == 0 ? ' ' : char(c));
    else overlong = true;
  }
  return overlong ? LineRead::Overlong : LineRead::Line;
}

void trimTrailingWhiteSpace(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && std::strchr(" \t\n\v\f\r", text[n - 1])) --n;
  text[n] = 0;
}

void ConsoleDriver::run(const char* pgnFile, bool hiddenOptions) {
  Searcher* searcher = new Searcher(HashBytes);
  searcher->setBook(new Book());
  TimeManager* clock = new TimeManager();
  // The forced lines are used only when their file opened; the object
  // lives until the end either way.
  PgnGameSource* forcedLines = pgnFile ? new PgnGameSource(pgnFile) : nullptr;
  if (forcedLines && forcedLines->isOpen()) searcher->setForcedLineSource(forcedLines);
  std::setvbuf(stdin, nullptr, _IONBF, 0);

  EngineOutput* output = nullptr;
  SearchController* controller = nullptr;
  CommandHandler* handler = nullptr;
  UciProtocol* innerUci = nullptr;       // xboard only: the adapter's UCI side
  XboardAdapter* adapter = nullptr;      // xboard only: the handler
  // Grows with the longest line read so far, on the heap.
  std::string line;

  for (;;) {
    if (std::feof(stdin)) break;
    if (controller && controller->quitRequested()) break;
    const LineRead read = readInputLine(stdin, line, MaxLineLength);
    if (read == LineRead::End) break;
    if (read == LineRead::Overlong) {
      // A cut line could still look like a command and do the wrong
      // thing; a line that long is no command of the engine's.
      if (output) output->diagnostic("Eingabezeile zu lang, ignoriert", nullptr);
      else std::fputs("'uci' or 'xboard' expected\n", stderr);
      continue;
    }
    trimTrailingWhiteSpace(&line[0]);
    line.resize(std::strlen(line.c_str()));
    char word[17];
    if (std::sscanf(line.c_str(), "%16s", word) != 1) continue;
    // Whoever started the engine by hand can always leave it.
    if (!output && !std::strcmp(word, "quit")) break;

    if (!output && !std::strcmp(word, "xboard")) {
      XboardOutput* xboardOutput = new XboardOutput(searcher, clock);
      output = xboardOutput;
      controller = new SearchController(searcher, output, clock);
      innerUci = new UciProtocol(searcher, output, controller, true);
      adapter = new XboardAdapter(innerUci, xboardOutput);
      xboardOutput->setAdapter(adapter);
      xboardOutput->setUciProtocol(innerUci);
      searcher->setListener(output);
      handler = adapter;
    } else if (!output) {
      const bool test = !std::strcmp(word, "ucitest");
      if (!test && std::strcmp(word, "uci")) {
        std::fputs("'uci' or 'xboard' expected\n", stderr);
        continue;
      }
      output = test ? new UciTestOutput(searcher, clock) : new UciOutput(searcher, clock);
      controller = new SearchController(searcher, output, clock);
      handler = new UciProtocol(searcher, output, controller, hiddenOptions);
      searcher->setListener(output);
      if (test) line = "uci";
    }
    handler->handleLine(line.c_str());
  }

  // Under xboard the queue goes first: its worker runs what is queued
  // (which may start a search) and ends; a finishing search can then no
  // longer post to it.
  if (adapter) adapter->closeQueue();
  // A search may still run (end of input without "quit"): it ends as under
  // "quit", without an answer, before anything it uses goes away.
  if (controller) {
    output->setSilent(true);
    controller->setQuit();
    controller->stop();
  }
  delete handler;
  delete innerUci;
  delete controller;
  searcher->setListener(nullptr);
  delete output;
  searcher->setForcedLineSource(nullptr);
  delete forcedLines;
  delete clock;
  delete searcher;
}
