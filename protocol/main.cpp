// Program entry: reads the command line and runs the console driver.
#include <cstring>

#include "protocol/console_driver.h"

int main(int argc, char** argv) {
  bool hiddenOptions = false;
  const char* pgnFile = nullptr;
  static char quotedName[512];
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!std::strcmp(argument, "VersteckteOptionen")) {
      hiddenOptions = true;
    } else if (argument[0] == '"') {
      // A quoted name loses its quotes; a closing one is not required.
      std::strncpy(quotedName, argument + 1, sizeof quotedName - 1);
      quotedName[sizeof quotedName - 1] = 0;
      const size_t n = std::strlen(quotedName);
      if (n > 0 && quotedName[n - 1] == '"') quotedName[n - 1] = 0;
      pgnFile = quotedName;
    } else {
      pgnFile = argument;
    }
  }
  ConsoleDriver().run(pgnFile, hiddenOptions);
  return 0;
}
