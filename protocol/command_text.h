// Small readers for command lines. Arguments are found by keyword search
// within the line and read the way scanf patterns such as "depth %d" read
// them, but numbers saturate instead of overflowing, and nothing ever reads
// past the end of the line.
#pragma once

#include <cstddef>
#include <cstdint>

// Gives back the text offset characters into text, or the empty text when
// text ends before that point.
const char* restAfter(const char* text, size_t offset);

// Gives back text past any blanks, tabs and other white space.
const char* skipWhiteSpace(const char* text);

// Reads white space, an optional sign and decimal digits; false when no
// digit follows. The value saturates at the 64-bit limits.
bool readInteger(const char* text, int64_t& value);

// Reads a signed clock value: white space, an optional minus sign, digits;
// 0 when no digit follows. Saturates like readInteger.
int64_t readClockValue(const char* text);

// At the first occurrence of keyword in line: the number that follows it
// after optional white space ("keyword %d"); false without the keyword or
// without a number.
bool readNumberAfter(const char* line, const char* keyword, int64_t& value);

// Whether the flag word (given with its leading blank, " CalcELO") stands
// in text: followed by a blank, a carriage return or a line feed, or ending
// the text.
bool hasFlag(const char* text, const char* word);

// At the first occurrence of keyword in line: one word of at most
// maxLength characters after white space ("keyword %8s"), cut there; false
// without the keyword or the word.
bool readWordAfter(const char* line, const char* keyword, char* word, size_t maxLength);

// Copies at most maxLength characters of text into out (terminated).
void copyBounded(char* out, const char* text, size_t maxLength);

// Gives back value limited to lo..hi.
int64_t clampValue(int64_t value, int64_t lo, int64_t hi);

// Cuts one move token of a "position ... moves" list into out (at least 8
// bytes): its first four characters and a fifth when that is a letter (a
// promotion); a token beginning "O-O" becomes "O-O-O" or "O-O". Gives back
// the length of the whole token in text.
size_t cutMoveToken(const char* text, char* out);
