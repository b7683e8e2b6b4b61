// The one operation every command handler offers: one command line, without
// its line end. The next line is handed over only when the call returns.
#pragma once

class CommandHandler {
 public:
  virtual ~CommandHandler() = default;
  virtual void handleLine(const char* line) = 0;
};
