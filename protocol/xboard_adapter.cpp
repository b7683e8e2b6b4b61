#include "protocol/xboard_adapter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "board/notation.h"
#include "common/input_file.h"
#include "protocol/command_text.h"
#include "protocol/uci_protocol.h"
#include "protocol/xboard_output.h"
#include "search/search_limits.h"

namespace {

constexpr const char* IniFile = "Brakken.ini";
constexpr const char* SetoptionPrefix = "setoption ";
constexpr const char* MuteText = "setoption name NoOutput value true";
constexpr const char* UnmuteText = "setoption name NoOutput value false";

const char* const Features[] = {
    "feature myname=\"Brakken 2.5\"", "feature ping=1",    "feature setboard=1",
    "feature playother=1",            "feature usermove=1", "feature sigint=0",
    "feature variants=\"normal,fischerandom\"", "feature colors=0", "feature ics=0",
    "feature name=1",
};

// Pads text with blanks to exactly six characters (a longer one is cut).
void padMoveText(const char* text, char* out) {
  size_t n = 0;
  for (; n < XboardAdapter::MoveTextWidth && text[n]; ++n) out[n] = text[n];
  for (; n < XboardAdapter::MoveTextWidth; ++n) out[n] = ' ';
  out[n] = 0;
}

// The first word of text after offset characters, at most six characters.
void readMoveWord(const char* line, size_t offset, char* out) {
  const char* s = skipWhiteSpace(restAfter(line, offset));
  size_t n = 0;
  while (n < XboardAdapter::MoveTextWidth && s[n] && !std::strchr(" \t\n\v\f\r", s[n])) {
    out[n] = s[n];
    ++n;
  }
  out[n] = 0;
}

}  // namespace

void XboardAdapter::QueueTarget::handleLine(const char* line) {
  const size_t n = std::strlen(EchoWord);
  if (!std::strncmp(line, EchoWord, n)) output_->writeEcho(line + n);
  else inner_->handleLine(line);
}

XboardAdapter::XboardAdapter(UciProtocol* inner, XboardOutput* output)
    : inner_(inner), output_(output), target_(inner, output), queue_(&target_) {
  pthread_mutex_init(&mutex_, nullptr);
  moveStart_ = nowMs();
}

XboardAdapter::~XboardAdapter() {
  queue_.close();
  pthread_mutex_destroy(&mutex_);
}

std::string XboardAdapter::moveList() {
  pthread_mutex_lock(&mutex_);
  std::string copy = moveList_;
  pthread_mutex_unlock(&mutex_);
  return copy;
}

bool XboardAdapter::post(const char* text, uint64_t tag) {
  const CommandQueue::PostResult result = queue_.post(text, tag);
  if (result == CommandQueue::PostResult::Full) {
    // The worker is far behind (63 texts wait): the text is refused rather
    // than waited for, since the worker may itself wait for a search that
    // needs the adapter's lock.
    char shortText[64];
    copyBounded(shortText, text, sizeof shortText - 1);
    output_->answerDiagnostic("command queue full", shortText);
  }
  return result == CommandQueue::PostResult::Queued;
}

bool XboardAdapter::thinkingOnOwnMove() const { return awaited_ != 0 && !pondering_ && !analyse_; }

void XboardAdapter::releaseHeldPongs() {
  if (heldPongs_.empty()) return;
  // One text for them all, so that no number of pings can crowd the queue.
  post((EchoWord + heldPongs_).c_str());
  heldPongs_.clear();
}

void XboardAdapter::markVariant() {
  // In Chess960 castling is written "O-O" / "O-O-O", also from the
  // standard array.
  if (chess960_) game_.position.chess960 = 1;
}

FenCastling XboardAdapter::fenCastling() const {
  // Variant normal is standard chess, where the UCI side drops the same
  // rights, so both sides see one position.
  return chess960_ ? FenCastling::Detect : FenCastling::StandardChess;
}

void XboardAdapter::handleLine(const char* line) {
  char word[17];
  if (std::sscanf(line, "%16s", word) != 1) return;
  bool quit = false;
  // protover's answer ends after the lines of the initialisation file,
  // which are posted without the lock.
  bool handshake = false;
  std::vector<std::string> iniLines;
  // Pongs held for a search that "quit" ends without a move.
  std::string quitPongs;
  queue_.waitForRoom(CommandRoom, CommandQueue::LargeSlots);
  pthread_mutex_lock(&mutex_);
  if (!std::strcmp(word, "xboard")) {
    output_->writeAnswer("");
  } else if (!std::strcmp(word, "protover")) {
    handshake = protover(line, iniLines);
    quit = quitting_ != 0;
  } else if (protocolVersion_ < 2) {
    char argument[200];
    copyBounded(argument, line, sizeof argument - 1);
    output_->answerDiagnostic("protocol version 2 required", argument);
    quitting_ = 1;
    quit = true;
  } else if (!std::strcmp(word, "accepted") || !std::strcmp(word, "random") || !std::strcmp(word, "otim") ||
             !std::strcmp(word, "rating") || !std::strcmp(word, "computer")) {
    // Nothing to do.
  } else if (!std::strcmp(word, "rejected")) {
    char argument[200];
    copyBounded(argument, line, sizeof argument - 1);
    output_->answerDiagnostic("not implemented", argument);
  } else if (!std::strcmp(word, "new")) {
    newGame();
  } else if (!std::strcmp(word, "variant")) {
    chess960_ = std::strstr(line, "fischerandom") != nullptr;
    post(chess960_ ? "setoption name UCI_Chess960 value true" : "setoption name UCI_Chess960 value false");
    markVariant();
  } else if (!std::strcmp(word, "quit")) {
    quitting_ = 1;
    quit = true;
    if (!heldPongs_.empty()) quitPongs = EchoWord + heldPongs_;
    heldPongs_.clear();
  } else if (!std::strcmp(word, "force")) {
    stopThinking();
    force_ = 1;
  } else if (!std::strcmp(word, "go")) {
    force_ = 0;
    moveStart_ = nowMs();
    startThinking(nullptr);
  } else if (!std::strcmp(word, "playother")) {
    force_ = 0;
  } else if (!std::strcmp(word, "level")) {
    if (!clock_.setLevel(restAfter(line, 5))) {
      char argument[200];
      copyBounded(argument, line, sizeof argument - 1);
      output_->answerDiagnostic("bad parameters", argument);
    }
  } else if (!std::strcmp(word, "st")) {
    clock_.setSearchTime(restAfter(line, 2));
  } else if (!std::strcmp(word, "sd")) {
    clock_.setSearchDepth(restAfter(line, 2));
  } else if (!std::strcmp(word, "time")) {
    clock_.setClock(restAfter(line, 4));
  } else if (!std::strcmp(word, "usermove")) {
    userMove(line);
  } else if (!std::strcmp(word, "?")) {
    if (!(ponder_ && pondering_)) post("stop");
  } else if (!std::strcmp(word, "ping")) {
    // The answer waits behind every earlier text. While the engine thinks
    // on its own move it also waits for that move (and the result line
    // after it), or for the stop that ends the search without one: "go"
    // only starts the search, so a queued pong would come first.
    char text[40];
    const size_t echo = std::strlen(EchoWord);
    std::snprintf(text, sizeof text, "%s%.29s", EchoWord, line);
    text[echo + 1] = 'o';
    const char* pong = text + echo;
    // The held pongs leave as one queued text, which must fit a slot; the
    // pings beyond that (thousands during one search) are answered as
    // when no search runs.
    const bool room = echo + heldPongs_.size() + 1 + std::strlen(pong) < size_t(CommandQueue::LargeCapacity);
    if (thinkingOnOwnMove() && room) {
      if (!heldPongs_.empty()) heldPongs_ += '\n';
      heldPongs_ += pong;
    } else {
      post(text);
    }
  } else if (!std::strcmp(word, "draw")) {
    drawOffered_ = 1;
  } else if (!std::strcmp(word, "result")) {
    stopThinking();
  } else if (!std::strcmp(word, "setboard")) {
    setBoard(line);
  } else if (!std::strcmp(word, "hint")) {
    hint();
  } else if (!std::strcmp(word, "bk")) {
    output_->writeAnswer("");
  } else if (!std::strcmp(word, "undo")) {
    undo();
  } else if (!std::strcmp(word, "remove")) {
    remove();
  } else if (!std::strcmp(word, "hard")) {
    ponder_ = 1;
  } else if (!std::strcmp(word, "easy")) {
    if (pondering_) stopThinking();
    ponder_ = 0;
  } else if (!std::strcmp(word, "post")) {
    output_->setPost(true);
  } else if (!std::strcmp(word, "nopost")) {
    output_->setPost(false);
  } else if (!std::strcmp(word, "analyze")) {
    analyze();
  } else if (!std::strcmp(word, "name")) {
    char name[MaxNameLength + 1];
    copyBounded(name, restAfter(line, 5), MaxNameLength);
    std::string text = "setoption name Opponent value ";
    text += name;
    post(text.c_str());
  } else if (!std::strcmp(word, "exit")) {
    exitAnalysis();
  } else if (!std::strcmp(word, ".")) {
    if (analyse_) output_->printAnalysisStatus();
  } else {
    char argument[200];
    copyBounded(argument, line, sizeof argument - 1);
    output_->answerDiagnostic("unknown command", argument);
  }
  if (quit) {
    // Nothing is written from now on, not even a move that a search
    // still delivers.
    output_->silenceForGood();
  }
  pthread_mutex_unlock(&mutex_);

  if (handshake) {
    // The initialisation file may hold more lines than the queue has room
    // for: each waits for room like a command, without the adapter's lock,
    // so none is lost and the worker can finish what it runs.
    for (const std::string& text : iniLines) {
      queue_.waitForRoom(CommandRoom, CommandQueue::LargeSlots);
      while (queue_.post(text.c_str()) == CommandQueue::PostResult::Full) queue_.waitForRoom(1, 0);
    }
    output_->writeAnswer("feature done=1");
  }

  if (quit) {
    // Posted and waited for without the adapter's lock: the worker may be
    // joining a search that wants the lock for its move. A full queue only
    // delays the texts, it never loses "quit" or a pong. The held pongs
    // may go before the search ends: its move is never written now.
    for (const char* text : {quitPongs.c_str(), MuteText, "quit"}) {
      if (!*text) continue;
      while (queue_.post(text) == CommandQueue::PostResult::Full) usleep(1000);
    }
    queue_.waitIdle();
  }
}

bool XboardAdapter::protover(const char* line, std::vector<std::string>& iniLines) {
  int64_t version = 0;
  readInteger(restAfter(line, 8), version);
  protocolVersion_ = int32_t(clampValue(version, INT32_MIN, INT32_MAX));
  if (protocolVersion_ < 2) {
    char argument[200];
    copyBounded(argument, skipWhiteSpace(restAfter(line, 8)), sizeof argument - 1);
    output_->answerDiagnostic("protocol version 2 required", argument);
    quitting_ = 1;
    return false;
  }
  post("debug on");
  output_->writeAnswer("feature done=0");
  for (const char* feature : Features) output_->writeAnswer(feature);
  if (std::FILE* f = openInputFile(IniFile, "r")) {
    char buffer[CommandQueue::SmallCapacity];
    bool atLineStart = true;
    while (std::fgets(buffer, sizeof buffer, f)) {
      size_t n = std::strlen(buffer);
      const bool ended = n > 0 && buffer[n - 1] == '\n';
      // Only whole lines count: the pieces of an overlong line are no
      // commands. The last line may lack its line end.
      const bool whole = atLineStart && (ended || std::feof(f));
      atLineStart = ended;
      if (!whole) continue;
      while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = 0;
      if (!std::strncmp(buffer, SetoptionPrefix, std::strlen(SetoptionPrefix))) iniLines.emplace_back(buffer);
    }
    std::fclose(f);
  } else if (errno != ENOENT && errno != ENOTDIR && errno != ENXIO) {
    // No initialisation file is the usual set-up and says nothing: an
    // interface takes an error line that names protover for an engine
    // without protocol 2. One that is there but cannot be read is told on
    // a comment line, which interfaces show in their logs only.
    char comment[160];
    std::snprintf(comment, sizeof comment, "# file '%s' cannot be read: %s", IniFile, std::strerror(errno));
    output_->writeAnswer(comment);
  }
  return true;
}

void XboardAdapter::postPosition(const char* ponderText) {
  std::string text = "position ";
  text += startText_;
  if (!moveList_.empty() || ponderText) text += " moves ";
  text += moveList_;
  if (ponderText) text += ponderText;
  post(text.c_str());
}

void XboardAdapter::startThinking(const char* ponderText) {
  // One search at a time: one that may still run gives way silently, so
  // that its move can never count as the answer to this one.
  if (searchMayRun_) stopThinking();
  postPosition(ponderText);
  // The engine's clock has been running since the opponent's move (or
  // "go").
  char go[XboardClock::GoTextSize];
  clock_.goText(pliesPlayed(), ponderText != nullptr, nowMs() - moveStart_, go);
  output_->setPonderText(ponderText);
  awaited_ = ++searchCount_;
  searchMayRun_ = 1;
  if (!post(go, awaited_)) {
    // No search comes of it, so nothing may wait for its move.
    awaited_ = 0;
    searchMayRun_ = 0;
  }
}

void XboardAdapter::stopThinking() {
  post(MuteText);
  post("stop");
  post(UnmuteText);
  output_->setPonderText(nullptr);
  pondering_ = 0;
  awaited_ = 0;
  searchMayRun_ = 0;
  // Queued behind the stop: the pongs come once the search has ended
  // without its move.
  releaseHeldPongs();
}

void XboardAdapter::restartAnalysis() {
  analyse_ = 1;
  postPosition(nullptr);
  output_->setAnalyzing(true);
  // An analysis search never plays its move; it is numbered all the same
  // so that no earlier search can pass for it.
  ++searchCount_;
  awaited_ = 0;
  searchMayRun_ = 1;
  post("go infinite", searchCount_);
}

void XboardAdapter::replayMoves() {
  if (startText_ == "startpos") game_.setPosition(nullptr);
  else if (!game_.setFen(startText_.c_str() + 4, fenCastling())) game_.setPosition(nullptr);
  markVariant();
  for (size_t i = 0; i + MoveTextWidth <= moveList_.size(); i += MoveTextWidth) {
    char text[MoveTextWidth + 1];
    std::memcpy(text, moveList_.data() + i, MoveTextWidth);
    text[MoveTextWidth] = 0;
    for (size_t k = MoveTextWidth; k > 0 && text[k - 1] == ' '; --k) text[k - 1] = 0;
    Move move;
    if (!parseMove(game_.position, text, move, CoordinateText)) {
      // Cannot happen for moves that were legal when played; the list is
      // cut there so that board and list agree.
      moveList_.resize(i);
      break;
    }
    game_.playMove(move);
  }
}

void XboardAdapter::newGame() {
  stopThinking();
  post("position startpos");
  post("setoption name UCI_Chess960 value false");
  post("setoption name Clear Hash value true");
  post("ucinewgame");
  chess960_ = 0;
  game_.setPosition(nullptr);
  expectedPonder_ = 0;
  startText_ = "startpos";
  moveList_.clear();
  clock_.reset();
  resetDrawHistory();
  sideFlag_ = 0;
  force_ = 0;
  if (analyse_) restartAnalysis();
}

bool XboardAdapter::paddedMoveText(Move move, char* out) {
  char text[16];
  if (!xboardMoveText(game_.position, move, text)) return false;
  padMoveText(text, out);
  return true;
}

void XboardAdapter::userMove(const char* line) {
  moveStart_ = nowMs();
  char text[MoveTextWidth + 1];
  readMoveWord(line, 8, text);
  char padded[MoveTextWidth + 1];
  padMoveText(text, padded);
  Move move;
  if (!text[0] || !parseMove(game_.position, text, move, CoordinateText)) {
    char answer[40];
    std::snprintf(answer, sizeof answer, "Illegal move: %s", padded);
    output_->writeAnswer(answer);
    return;
  }
  // The list keeps the engine's own text of the move, so that the UCI
  // side reads exactly the move played here, whichever way the interface
  // wrote castling.
  char canonical[MoveTextWidth + 1];
  paddedMoveText(move, canonical);
  moveList_ += canonical;
  game_.playMove(move);

  if (reportGameEnd()) {
    if (analyse_ || (ponder_ && pondering_) || searchMayRun_) stopThinking();
    return;
  }
  if (analyse_) {
    stopThinking();
    restartAnalysis();
    return;
  }
  if (force_) return;
  if (ponder_ && pondering_) {
    if (move == expectedPonder_) {
      // The ponder search becomes the real one; it is no ponder search any
      // more, so "?" moves at once and its lines no longer start with the
      // opponent's move.
      post("ponderhit");
      pondering_ = 0;
      output_->setPonderText(nullptr);
      return;
    }
    stopThinking();
  }
  startThinking(nullptr);
}

void XboardAdapter::onSearchResult(const Move* best, const Move* ponder, int score, int rootMoves,
                                   int resignThreshold) {
  pthread_mutex_lock(&mutex_);
  // Only the search the adapter waits for may move, and only while the
  // output is on (tested again here: a silent stop may have begun while
  // this thread waited for the lock).
  const bool wanted = awaited_ != 0 && queue_.runningTag() == awaited_ && !quitting_ && !analyse_ &&
                      !output_->isSilent() && !output_->silencedForGood();
  if (wanted) {
    awaited_ = 0;
    searchMayRun_ = 0;
    pondering_ = 0;
    char text[16];
    bool goOn = false;
    if (!best || !xboardMoveText(game_.position, *best, text)) {
      output_->answerDiagnostic("no move found", nullptr);
    } else {
      if (checkDrawOffer(score, rootMoves)) output_->writeAnswer("offer draw");
      char line[32];
      std::snprintf(line, sizeof line, "move %s", text);
      output_->writeAnswer(line);
      goOn = onEngineMove(*best, ponder ? *ponder : 0, score, rootMoves, resignThreshold);
    }
    // The pings that came during this search are answered after its move
    // and result line, before a ponder search starts. Every earlier pong
    // has been written: the worker has taken this search's "go", which
    // was queued behind them.
    if (!heldPongs_.empty()) output_->writeEcho(heldPongs_.c_str());
    heldPongs_.clear();
    if (goOn) startPondering();
  }
  pthread_mutex_unlock(&mutex_);
}

bool XboardAdapter::onEngineMove(Move best, Move ponder, int, int, int resignThreshold) {
  const int pliesBefore = pliesPlayed();
  clock_.afterEngineMove(nowMs() - moveStart_, pliesBefore);
  char padded[MoveTextWidth + 1];
  paddedMoveText(best, padded);
  moveList_ += padded;
  game_.playMove(best);
  expectedPonder_ = 0;
  if (reportGameEnd()) return false;
  if (checkResign(resignThreshold)) {
    output_->writeAnswer("resign");
    return false;
  }
  char ponderText[MoveTextWidth + 1];
  if (ponder && paddedMoveText(ponder, ponderText)) expectedPonder_ = ponder;
  return true;
}

void XboardAdapter::startPondering() {
  if (!ponder_) return;
  // A fixed time or depth per move leaves no clock to ponder for.
  char ponderText[MoveTextWidth + 1];
  pondering_ = expectedPonder_ != 0 && clock_.searchDepth() < 0 && clock_.searchTimeMs() < 0 &&
               paddedMoveText(expectedPonder_, ponderText);
  if (pondering_) startThinking(ponderText);
}

bool XboardAdapter::reportGameEnd() {
  Position& p = game_.position;
  const char* result = nullptr;
  int mated = 0;
  if (p.noLegalMove(&mated)) {
    result = mated == 0 ? "1/2-1/2 {Stalemate}" : mated < 0 ? "0-1 {Black mates}" : "1-0 {White mates}";
  } else {
    // Only what the rules make final and interfaces check: a blocked-pawn
    // position is left to the search, which scores it as a draw anyway.
    switch (game_.drawStatus()) {
      case DrawByMaterial: result = "1/2-1/2 {Insufficient material}"; break;
      case DrawByRepetition: result = "1/2-1/2 {Draw by repetition}"; break;
      case DrawByFiftyMoves: result = "1/2-1/2 {Draw by 50 move rule}"; break;
      default: break;
    }
  }
  if (!result) return false;
  output_->writeAnswer(result);
  return true;
}

void XboardAdapter::resetDrawHistory() {
  scoreCount_ = 0;
  ownMoves_ = 0;
  drawOffered_ = 0;
}

bool XboardAdapter::checkDrawOffer(int score, int rootMoves) {
  const uint8_t side = game_.position.whiteToMove ? 1 : 0;
  if (side != sideFlag_) {
    // The engine has changed colour: its old scores say nothing.
    scoreCount_ = 0;
    ownMoves_ = 0;
    sideFlag_ = side;
  }
  ++ownMoves_;
  if (drawOffered_ && ownMoves_ < pliesPlayed()) ownMoves_ = pliesPlayed();
  if (rootMoves >= 2) {
    for (int i = 3; i > 0; --i) scores_[i] = scores_[i - 1];
    scores_[0] = score;
    if (scoreCount_ < 4) ++scoreCount_;
  }
  if ((ownMoves_ > 20 || drawOffered_) && scoreCount_ == 4) {
    const int lower = drawOffered_ ? -MateScore : -1;
    drawOffered_ = 0;
    bool drawish = true;
    for (int i = 0; i < 3; ++i) drawish &= scores_[i] >= lower && scores_[i] <= 1;
    if (drawish) {
      ownMoves_ = 0;
      return true;
    }
  }
  return false;
}

bool XboardAdapter::checkResign(int resignThreshold) {
  if (scoreCount_ < 4) return false;
  for (int i = 0; i < 4; ++i)
    if (scores_[i] > resignThreshold) return false;
  return scores_[0] <= scores_[1];
}

void XboardAdapter::setBoard(const char* line) {
  stopThinking();
  const char* fen = skipWhiteSpace(restAfter(line, 8));
  const bool fits = std::strlen(fen) <= MaxFenLength;
  if (fits && game_.setFen(fen, fenCastling())) {
    startText_ = "fen ";
    startText_ += fen;
  } else {
    char argument[MaxFenLength + 1];
    copyBounded(argument, fen, MaxFenLength);
    output_->answerDiagnostic("Illegal position", argument);
    game_.setPosition(nullptr);
    startText_ = "startpos";
  }
  markVariant();
  moveList_.clear();
  expectedPonder_ = 0;
  if (analyse_) restartAnalysis();
}

void XboardAdapter::undo() {
  if (force_ || analyse_) {
    if (searchMayRun_ && !analyse_) stopThinking();
    if (!moveList_.empty()) moveList_.resize(moveList_.size() - MoveTextWidth);
    replayMoves();
    expectedPonder_ = 0;
    if (analyse_) {
      stopThinking();
      restartAnalysis();
    }
  }
  resetDrawHistory();
}

void XboardAdapter::remove() {
  // Any search works on the position that is being taken back.
  if (pondering_ || searchMayRun_) stopThinking();
  expectedPonder_ = 0;
  const size_t two = 2 * MoveTextWidth;
  moveList_.resize(moveList_.size() >= two ? moveList_.size() - two : 0);
  resetDrawHistory();
  replayMoves();
  if (analyse_) {
    stopThinking();
    restartAnalysis();
  }
}

void XboardAdapter::analyze() {
  stopThinking();
  restartAnalysis();
}

void XboardAdapter::exitAnalysis() {
  if (!analyse_) return;
  post(MuteText);
  post("stop");
  post(UnmuteText);
  output_->setPonderText(nullptr);
  pondering_ = 0;
  analyse_ = 0;
  awaited_ = 0;
  searchMayRun_ = 0;
  output_->setAnalyzing(false);
  post("setoption name Clear Hash value true");
}

void XboardAdapter::hint() {
  if (analyse_) {
    output_->printHint();
    return;
  }
  char text[16];
  if (expectedPonder_ && xboardMoveText(game_.position, expectedPonder_, text)) {
    char line[24];
    std::snprintf(line, sizeof line, "Hint: %s", text);
    output_->writeAnswer(line);
  }
}
