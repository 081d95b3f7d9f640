// Bounded text helpers: every copy into a fixed-size buffer goes through these,
// so a longer text is cut and the buffer is always terminated.
#pragma once
#include <stddef.h>
#include <stdarg.h>

// Copies at most size - 1 bytes of text into out and terminates it. Returns the bytes copied.
size_t CopyText(char* out, size_t size, const char* text);
// Like CopyText, but takes at most count bytes of text.
size_t CopyTextN(char* out, size_t size, const char* text, size_t count);
// Appends text to the terminated string in out, cutting at the buffer size. Returns the new length.
size_t AppendText(char* out, size_t size, const char* text);
// snprintf into out; the result is cut at the buffer size. Returns the length written.
size_t FormatText(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
// True when text begins with prefix (exact bytes).
int StartsWith(const char* text, const char* prefix);
// Paths: '\' and '/' both separate folders.
inline int IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}
// The file-name part of a path: what follows its last separator.
const char* PathFileName(const char* path);
