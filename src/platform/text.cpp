// Bounded text helpers.
#include "platform/text.h"
#include <stdio.h>
#include <string.h>

size_t CopyTextN(char* out, size_t size, const char* text, size_t count) {
    if (!out || size == 0) return 0;
    size_t n = 0;
    if (text) {
        while (n < count && n + 1 < size && text[n])
            n++;
        memmove(out, text, n);
    }
    out[n] = 0;
    return n;
}

size_t CopyText(char* out, size_t size, const char* text) {
    return CopyTextN(out, size, text, (size_t)-1);
}

size_t AppendText(char* out, size_t size, const char* text) {
    if (!out || size == 0) return 0;
    size_t len = strnlen(out, size - 1);
    return len + CopyText(out + len, size - len, text);
}

size_t FormatText(char* out, size_t size, const char* format, ...) {
    if (!out || size == 0) return 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, size, format, args);
    va_end(args);
    if (n < 0) {
        out[0] = 0;
        return 0;
    }
    return (size_t)n < size ? (size_t)n : size - 1;
}

int StartsWith(const char* text, const char* prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

const char* PathFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (IsPathSeparator(*p)) name = p + 1;
    return name;
}
