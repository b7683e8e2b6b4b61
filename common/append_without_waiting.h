// Appending a line to a log whose reader may be slow, stuck or gone (a
// FIFO, a terminal, a device) without ever waiting for it: a line that
// cannot be written at once is skipped, never waited for.
//
// Every open here refuses a regular file without any write permission bit,
// whoever runs the engine, root included, and leaves it as it was.
#pragma once

#include <cstddef>
#include <cstdio>

// Opens name for appending, creating a regular file (0666 less the umask)
// when it is missing, without waiting: a FIFO that nobody reads is refused
// at once. Gives back the descriptor, or -1 when the name cannot be opened
// that way; the caller closes it.
int openForAppendWithoutWaiting(const char* name);

// Appends the length bytes of text to the named file in one write, without
// waiting (see above); false when the file cannot be opened or the text
// not written whole at once.
bool appendWithoutWaiting(const char* name, const char* text, size_t length);

// Opens name as a stdio stream for writing, creating a regular file when it
// is missing, without waiting for a reader: a FIFO that nobody reads is
// refused at once (null). With append the text goes after what the file
// holds; otherwise a regular file is emptied first. Writes then wait as
// usual.
std::FILE* openStreamWithoutWaiting(const char* name, bool append);
