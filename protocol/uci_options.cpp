// The answer to "uci" and the "setoption" command.
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "common/append_without_waiting.h"
#include "protocol/command_text.h"
#include "protocol/engine_output.h"
#include "protocol/uci_protocol.h"
#include "search/search_controller.h"
#include "search/move_change_net.h"
#include "search/searcher.h"

namespace {

constexpr int64_t MaxMultiPv = 255;

const char* const ListedOptions[] = {
    "option name Hash type spin default 3 min 1 max 2047",
    "option name Ponder type check default true",
    "option name OwnBook type check default true",
    "option name Clear Hash type button",
    "option name MultiPV type spin default 1 min 1 max 255",
    "option name UCI_Chess960 type check default false",
    "option name BookFile type string default Brakken.opn",
    "option name Opponent type string default unknown",
    "option name NumberOfProcessors type spin default 1 min 1 max 8",
    "option name NeuroMaterial type spin default 40 min 0 max 100",
    "option name NeuroWidth type spin default 500 min 1 max 10000",
    "option name MaterialFile type string default (internal)",
    "option name TimeLogfile type string default /dev/null",
};

const char* const HiddenOptions[] = {
    "option name blocking type check default false",
    "option name NoOutput type check default false",
    "option name Resign type spin default 700 min 400 max 2000",
    "option name AlwaysClearHash type check default false",
};

}  // namespace

void UciProtocol::printIdAndOptions() {
  output_->writeLine("id name Brakken 2.5");
  output_->writeLine("id author Quendrix");
  for (const char* line : ListedOptions) output_->writeLine(line);
  if (hiddenOptions_)
    for (const char* line : HiddenOptions) output_->writeLine(line);
  output_->writeLine("uciok");
}

bool UciProtocol::checkValue(const char* line, const char* name, bool& value) {
  char word[9];
  if (readWordAfter(line, "value", word, 8)) {
    if (!strcasecmp(word, "true")) {
      value = true;
      return true;
    }
    if (!strcasecmp(word, "false")) {
      value = false;
      return true;
    }
  }
  char text[80];
  std::snprintf(text, sizeof text, "Unzul\xe4ssiger Wert f\xfcr '%s'", name);
  diagnostic(text, line);
  return false;
}

bool UciProtocol::fileNameValue(const char* line, const char* name, char* out) {
  const char* at = std::strstr(line, "value");
  copyBounded(out, skipWhiteSpace(restAfter(at, 6)), MaxFileName);
  if (*out) return true;
  char text[80];
  std::snprintf(text, sizeof text, "Kein Dateiname f\xfcr '%s'", name);
  diagnostic(text, line);
  return false;
}

void UciProtocol::setOption(const char* line) {
  const char* nameAt = std::strstr(line, "name");
  if (!nameAt) {
    diagnostic("'setoption' ohne 'name'", line);
    return;
  }
  const char* start = skipWhiteSpace(nameAt + 4);
  const char* valueAfterName = std::strstr(start, "value");
  // The name ends one character before "value": the separating blank.
  const size_t length = valueAfterName ? (valueAfterName > start ? size_t(valueAfterName - start - 1) : 0)
                                       : std::strlen(start);
  char name[MaxOptionName + 1];
  copyBounded(name, start, length < size_t(MaxOptionName) ? length : size_t(MaxOptionName));
  if (!*name) {
    diagnostic("Syntaxfehler bei 'setoption'", line);
    return;
  }

  static const char* const Names[] = {"Hash",         "Ponder",     "OwnBook",      "Clear Hash",
                                      "MultiPV",      "UCI_Chess960", "BookFile",   "Opponent",
                                      "NumberOfProcessors", "NeuroMaterial", "NeuroWidth", "MaterialFile",
                                      "TimeLogfile",  "blocking",   "NoOutput",     "Resign",
                                      "AlwaysClearHash"};
  // Interfaces may write an option name in any letter case; from here on
  // the name is the one "uci" lists.
  bool known = false;
  for (const char* n : Names)
    if (!strcasecmp(name, n)) {
      std::strcpy(name, n);
      known = true;
      break;
    }
  if (!known) {
    diagnostic("'setoption': unbekannte Option", line);
    return;
  }
  if (!std::strcmp(name, "Clear Hash")) {
    searcher_->transpositionTable().clear();
    return;
  }

  const char* value = std::strstr(line, "value");
  if (!value) {
    char text[80];
    std::snprintf(text, sizeof text, "'setoption name %s' ohne 'value'", name);
    diagnostic(text, line);
    return;
  }
  char badValue[80];
  std::snprintf(badValue, sizeof badValue, "Unzul\xe4ssiger Wert f\xfcr '%s'", name);
  int64_t number = 0;
  const bool hasNumber = readNumberAfter(line, "value", number);
  bool on = false;
  char file[MaxFileName + 1];

  // The options the search depends on end a running search before they
  // change. It still gives its answer, as at "stop", so that the
  // interface's later "stop" is not left waiting for a bestmove.
  if (!std::strcmp(name, "Hash")) {
    if (!hasNumber || number <= 0) {
      diagnostic(badValue, line);
      return;
    }
    stopWithAnswer(true);
    searcher_->resizeHash(size_t(clampValue(number, 1, UciProtocol::MaxHashMegabytes)) << 20);
  } else if (!std::strcmp(name, "Ponder")) {
    if (checkValue(line, name, on)) controller_->clock()->setPonder(on);
  } else if (!std::strcmp(name, "OwnBook")) {
    if (!checkValue(line, name, on)) return;
    stopWithAnswer(true);
    searcher_->setOwnBook(on);
  } else if (!std::strcmp(name, "MultiPV")) {
    int lines = 1;
    if (!hasNumber || number <= 0) diagnostic(badValue, line);
    else lines = int(clampValue(number, 1, MaxMultiPv));
    stopWithAnswer(true);
    searcher_->setMultiPv(lines);
  } else if (!std::strcmp(name, "UCI_Chess960")) {
    if (checkValue(line, name, on)) chess960_ = on ? 1 : 0;
  } else if (!std::strcmp(name, "BookFile")) {
    if (!fileNameValue(line, name, file)) return;
    stopWithAnswer(true);
    std::strcpy(bookFile_, file);
    searcher_->setBookFile(file);
  } else if (!std::strcmp(name, "Opponent")) {
    char opponent[81];
    if (!readWordAfter(line, "value", opponent, 80)) {
      diagnostic("Lesefehler bei 'Opponent value'", line);
      return;
    }
    if (!std::strcmp(opponent, "Kopra")) diagnostic("Nicht jetzt, nicht schon wieder Du!", nullptr);
  } else if (!std::strcmp(name, "NumberOfProcessors")) {
    int threads = 1;
    if (!hasNumber || number <= 0) diagnostic(badValue, line);
    else threads = int(clampValue(number, 1, SearchController::MaxThreads));
    stopWithAnswer(true);
    controller_->setThreadCount(threads);
  } else if (!std::strcmp(name, "NeuroMaterial")) {
    if (!hasNumber || number < 0 || number > 100) {
      diagnostic(badValue, line);
      return;
    }
    stopWithAnswer(true);
    searcher_->transpositionTable().clear();
    searcher_->evaluator().setNeuroMaterial(int(number));
  } else if (!std::strcmp(name, "NeuroWidth")) {
    if (!hasNumber || number < 1 || number > 10000) {
      diagnostic(badValue, line);
      return;
    }
    stopWithAnswer(true);
    searcher_->transpositionTable().clear();
    searcher_->evaluator().setNeuroWidth(int(number));
  } else if (!std::strcmp(name, "MaterialFile")) {
    if (!fileNameValue(line, name, file)) return;
    stopWithAnswer(true);
    searcher_->transpositionTable().clear();
    if (!searcher_->evaluator().setMaterialFile(file))
      diagnostic("Lesefehler bei 'MaterialFile', das bisherige Netz bleibt:", file);
  } else if (!std::strcmp(name, "TimeLogfile")) {
    if (!fileNameValue(line, name, file)) return;
    // The log is opened for each line it gets; a name that cannot be opened
    // would lose them all without a word. Like the search's own opens this
    // one never waits, for a FIFO nobody reads above all.
    if (timeLogActive(file)) {
      const int log = openForAppendWithoutWaiting(file);
      if (log >= 0) close(log);
      else diagnostic("'TimeLogfile' l\xe4sst sich nicht \xf6" "ffnen:", file);
    }
    std::strcpy(deferredTimeLogfile_, file);
    deferredPending_ |= DeferredTimeLogfile;
    applyDeferredOptions();
  } else if (!std::strcmp(name, "blocking")) {
    if (checkValue(line, name, on)) controller_->setBlocking(on);
  } else if (!std::strcmp(name, "NoOutput")) {
    if (checkValue(line, name, on)) output_->setSilent(on);
  } else if (!std::strcmp(name, "Resign")) {
    if (!hasNumber || number <= 0) {
      diagnostic(badValue, line);
      return;
    }
    deferredResign_ = number >= 2000 ? -MateScore : number <= 400 ? -4000 : int32_t(-10 * number);
    deferredPending_ |= DeferredResign;
    applyDeferredOptions();
  } else if (!std::strcmp(name, "AlwaysClearHash")) {
    if (!checkValue(line, name, on)) return;
    deferredAlwaysClearHash_ = on ? 1 : 0;
    deferredPending_ |= DeferredAlwaysClearHash;
    applyDeferredOptions();
  }
}
