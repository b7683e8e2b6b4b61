// The master searcher's opening sources: the book it owns and the forced
// lines it is handed, asked before every search.
#include "board/legality.h"
#include "search/searcher.h"

bool Searcher::setBookFile(const char* name) {
  // The name is kept for the next openBook; a refused (too long) name
  // leaves the old one, and the option itself still counts as set.
  if (book_) book_->setFileName(name);
  return true;
}

bool Searcher::openBook() {
  searchesSinceBook_ = 0;
  // A searcher the front end gave no book_ has nothing to read.
  if (!book_) return true;
  if (!ownBook_) {
    book_->clear();
    return true;
  }
  return book_->load();
}

bool Searcher::bookFailureWorthReporting() { return !book_ || book_->failureWorthReporting(); }

bool Searcher::probeOpeningSources() {
  Position& root = game_.position;
  Move move = 0, reply = 0;
  bool found = forcedLines_ && forcedLines_->probe(root, &move, nullptr);
  if (!found && !rootRestricted_ && ownBook_ && book_) found = book_->probe(root, &move, &reply);
  // A move from a file is played only when it is legal here; a key shared
  // with another position must not put a foreign move on the board.
  if (!found || !isLegalMove(root, move)) return false;
  setBestMove(move);
  ponderMove_ = reply;
  dropPonderMovePastGameEnd();
  return true;
}
