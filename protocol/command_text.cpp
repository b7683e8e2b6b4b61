#include "protocol/command_text.h"

#include <cstring>

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads digits into a magnitude, saturating at INT64_MAX + 1 so that the
// most negative value is still reachable.
bool readDigits(const char* s, bool negative, int64_t& value) {
  if (!isDigit(*s)) return false;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  uint64_t magnitude = 0;
  for (; isDigit(*s); ++s) {
    const uint64_t digit = uint64_t(*s - '0');
    if (magnitude > (limit - digit) / 10) magnitude = limit;
    else magnitude = magnitude * 10 + digit;
  }
  if (negative) value = magnitude == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -int64_t(magnitude);
  else value = int64_t(magnitude);
  return true;
}

}  // namespace

const char* restAfter(const char* text, size_t offset) {
  for (size_t i = 0; i < offset; ++i)
    if (!text[i]) return text + i;
  return text + offset;
}

const char* skipWhiteSpace(const char* text) {
  while (isWhite(*text)) ++text;
  return text;
}

bool readInteger(const char* text, int64_t& value) {
  const char* s = skipWhiteSpace(text);
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  return readDigits(s, negative, value);
}

int64_t readClockValue(const char* text) {
  const char* s = skipWhiteSpace(text);
  bool negative = false;
  if (*s == '-') {
    negative = true;
    ++s;
  }
  int64_t value = 0;
  return readDigits(s, negative, value) ? value : 0;
}

bool readNumberAfter(const char* line, const char* keyword, int64_t& value) {
  const char* at = std::strstr(line, keyword);
  return at && readInteger(at + std::strlen(keyword), value);
}

bool hasFlag(const char* text, const char* word) {
  const size_t n = std::strlen(word);
  for (const char* at = std::strstr(text, word); at; at = std::strstr(at + 1, word)) {
    const char after = at[n];
    if (after == '\0' || after == ' ' || after == '\r' || after == '\n') return true;
  }
  return false;
}

bool readWordAfter(const char* line, const char* keyword, char* word, size_t maxLength) {
  const char* at = std::strstr(line, keyword);
  if (!at) return false;
  const char* s = skipWhiteSpace(at + std::strlen(keyword));
  size_t n = 0;
  while (n < maxLength && s[n] && !isWhite(s[n])) {
    word[n] = s[n];
    ++n;
  }
  word[n] = 0;
  return n > 0;
}

void copyBounded(char* out, const char* text, size_t maxLength) {
  size_t n = 0;
  while (n < maxLength && text[n]) {
    out[n] = text[n];
    ++n;
  }
  out[n] = 0;
}

int64_t clampValue(int64_t value, int64_t lo, int64_t hi) { return value < lo ? lo : value > hi ? hi : value; }

size_t cutMoveToken(const char* text, char* out) {
  size_t length = 0;
  while (text[length] && !isWhite(text[length])) ++length;
  if (std::strncmp(text, "O-O", 3) == 0) {
    std::strcpy(out, length >= 5 && std::strncmp(text, "O-O-O", 5) == 0 ? "O-O-O" : "O-O");
    return length;
  }
  size_t n = length < 4 ? length : 4;
  std::memcpy(out, text, n);
  if (length >= 5 && isLetter(text[4])) out[n++] = text[4];
  out[n] = 0;
  return length;
}
