// The console driver: owns every long-lived engine object for the run,
// reads standard input line by line, chooses the protocol from the first
// line that has a word, hands every line to the command handler and at the
// end tears everything down in a fixed order.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// What reading one input line found.
enum class LineRead {
  Line,      // a whole line (also the last one without a line end)
  Overlong,  // a line longer than the limit: read to its end and dropped
  End,       // end of input (or a read error that will not go away)
};

// Reads one line from input into line without its line end; line grows as
// needed up to maxLength characters. A longer line is read to its end and
// reported as Overlong, with line holding its first maxLength characters.
// A NUL byte inside the line becomes a blank, so the text after it is not
// lost unseen. Interrupted reads are retried.
LineRead readInputLine(std::FILE* input, std::string& line, size_t maxLength);

// Cuts trailing white space (blank, tab, line feed, vertical tab, form
// feed, carriage return) off text, in place.
void trimTrailingWhiteSpace(char* text);

class ConsoleDriver {
 public:
  // The longest line taken as a command. The longest legal game makes a
  // "position ... moves" line of about 60,000 characters; a line beyond
  // this is no command of the engine's.
  static constexpr size_t MaxLineLength = size_t(1) << 20;
  static constexpr size_t HashBytes = 3 * 1048576;

  // Runs the engine until the input ends or "quit" is given. pgnFile names
  // the forced opening lines (null for none); hiddenOptions lists the
  // hidden options in the answer to "uci".
  void run(const char* pgnFile, bool hiddenOptions);
};
