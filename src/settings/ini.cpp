// The settings file dialect on an in-memory text; see ini.h for the rules.
#include "settings/ini.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <new>
#include "platform/text.h"

static const char kBom[] = "\xEF\xBB\xBF";

static int IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// First byte where a header may stand: the text's start, after a byte order mark.
static const char* TextStart(const char* text) {
    return StartsWith(text, kBom) ? text + 3 : text;
}

static const char* FindHeader(const char* text, const char* section) {
    if (!text || !section) return NULL;
    size_t n = strlen(section);
    for (const char* p = TextStart(text);;) {
        if (p[0] == '[' && strncmp(p + 1, section, n) == 0 && p[1 + n] == ']') return p;
        p = strchr(p, '\n');
        if (!p) return NULL;
        p++;
    }
}

static const char* SkipLine(const char* p) {
    while (*p && !IsLineEnd(*p))
        p++;
    while (IsLineEnd(*p))
        p++;
    return p;
}

// The first byte after the header line and its one line end (CRLF, CR or LF).
static const char* BodyStart(const char* header) {
    const char* p = header;
    while (*p && !IsLineEnd(*p))
        p++;
    if (p[0] == '\r' && p[1] == '\n') return p + 2;
    return IsLineEnd(*p) ? p + 1 : p;
}

// The first byte of the next line that begins with '[' after body, or the end of text.
static const char* BodyEnd(const char* body) {
    if (*body == '[') return body;
    for (const char* p = body; (p = strchr(p, '\n')) != NULL;) {
        p++;
        if (*p == '[') return p;
    }
    return body + strlen(body);
}

// A key line at p: returns the value's start or NULL.
static const char* MatchKey(const char* p, const char* key, size_t keyLength) {
    if (strncmp(p, key, keyLength) != 0) return NULL;
    p += keyLength;
    while (*p == ' ')
        p++;
    if (*p != '=') return NULL;
    p++;
    while (*p == ' ')
        p++;
    return p;
}

// Finds the key line in [body, end); returns the line start, and the value through *value.
static const char* FindKeyLine(const char* body, const char* end, const char* key, const char** value) {
    size_t n = strlen(key);
    if (n == 0) return NULL;
    for (const char* p = body; p < end; p = SkipLine(p)) {
        const char* v = MatchKey(p, key, n);
        if (v) {
            *value = v;
            return p;
        }
    }
    return NULL;
}

static size_t LineLength(const char* p) {
    const char* q = p;
    while (*q && !IsLineEnd(*q))
        q++;
    return (size_t)(q - p);
}

const char* IniFindValue(const char* text, const char* section, const char* key, size_t* length) {
    const char* header = FindHeader(text, section);
    if (!header || !key) return NULL;
    const char* body = SkipLine(header);
    const char* value;
    if (!FindKeyLine(body, BodyEnd(body), key, &value)) return NULL;
    *length = LineLength(value);
    return value;
}

// Replaces count bytes at offset of *text by insert. Returns 1, or -1 without memory.
static int Splice(char** text, size_t offset, size_t count, const char* insert, size_t insertLength) {
    size_t length = *text ? strlen(*text) : 0;
    size_t newLength = length - count + insertLength;
    char* result = (char*)malloc(newLength + 1);
    if (!result) return -1;
    if (offset) memcpy(result, *text, offset);
    if (insertLength) memcpy(result + offset, insert, insertLength);
    if (length > offset + count)
        memcpy(result + offset + insertLength, *text + offset + count, length - offset - count);
    result[newLength] = 0;
    free(*text);
    *text = result;
    return 1;
}

static int EndsWithTwoLines(const char* start, const char* end) {
    return end - start >= 4 && memcmp(end - 4, "\r\n\r\n", 4) == 0;
}

// Builds printf-style text in a heap buffer (freed by the caller), or NULL.
static char* Build(const char* format, const char* a, const char* b, const char* c, const char* d,
                   const char* e, const char* f) {
    int n = snprintf(NULL, 0, format, a, b, c, d, e, f);
    if (n < 0) return NULL;
    char* out = (char*)malloc((size_t)n + 1);
    if (out) snprintf(out, (size_t)n + 1, format, a, b, c, d, e, f);
    return out;
}

int IniWriteValue(char** text, const char* section, const char* key, const char* value) {
    if (!section || !key || !value) return 0;
    const char* header = FindHeader(*text, section);
    if (header) {
        const char* body = SkipLine(header);
        const char* end = BodyEnd(body);
        const char* old;
        if (FindKeyLine(body, end, key, &old)) {
            size_t oldLength = LineLength(old), n = strlen(value);
            if (oldLength == n && memcmp(old, value, n) == 0) return 0;
            return Splice(text, (size_t)(old - *text), oldLength, value, n);
        }
        // A blank line before the next header stays after the new key. The body is measured
        // from the line after the header, so a body of blank lines only keeps them in front.
        const char* at = end;
        if (at - BodyStart(header) >= 5 && EndsWithTwoLines(header, at)) at -= 2;
        const char* lead = (at - *text >= 2 && memcmp(at - 2, "\r\n", 2) == 0) ? "" : "\r\n";
        char* line = Build("%s%s=%s%s%s%s", lead, key, value, "\r\n", "", "");
        if (!line) return -1;
        int r = Splice(text, (size_t)(at - *text), 0, line, strlen(line));
        free(line);
        return r;
    }
    char* added;
    size_t length = *text ? strlen(*text) : 0;
    if (length == 0) {
        added = Build("[%s]%s%s=%s%s%s", section, "\r\n", key, value, "\r\n", "");
    } else {
        if (length > 4 && EndsWithTwoLines(*text, *text + length)) length -= 2;
        added = Build("%s[%s]%s%s=%s%s", "\r\n", section, "\r\n", key, value, "\r\n");
    }
    if (!added) return -1;
    size_t total = *text ? strlen(*text) : 0;
    int r = Splice(text, length, total - length, added, strlen(added));
    free(added);
    return r;
}

int IniDeleteKey(char** text, const char* section, const char* key) {
    const char* header = FindHeader(*text, section);
    if (!header || !key) return 0;
    const char* body = SkipLine(header);
    const char* value;
    const char* line = FindKeyLine(body, BodyEnd(body), key, &value);
    if (!line) return 0;
    const char* end = value + LineLength(value);
    if (*end == '\r') end++;
    if (*end == '\n') end++;
    return Splice(text, (size_t)(line - *text), (size_t)(end - line), "", 0);
}

int IniDeleteSection(char** text, const char* section) {
    const char* header = FindHeader(*text, section);
    if (!header) return 0;
    const char* end = BodyEnd(SkipLine(header));
    return Splice(text, (size_t)(header - *text), (size_t)(end - header), "", 0);
}

int IniEnumEntries(const char* text, const char* section, IniEntryProc proc, void* context) {
    const char* header = FindHeader(text, section);
    if (!header) return 0;
    const char* body = SkipLine(header);
    const char* end = BodyEnd(body);
    // The lines are copied first, so that proc may change the store's text.
    size_t size = (size_t)(end - body);
    char* lines = new (std::nothrow) char[size + 2];
    if (!lines) return 0;
    size_t used = 0;
    for (const char* p = body; p < end;) {
        size_t n = LineLength(p);
        if (p + n > end) n = (size_t)(end - p);
        if (n) {
            memcpy(lines + used, p, n);
            lines[used + n] = 0;
            used += n + 1;
        }
        p += n;
        while (p < end && IsLineEnd(*p))
            p++;
    }
    lines[used] = 0;
    int count = 0;
    try {
        for (char* line = lines; *line; line += strlen(line) + 1) {
            char* eq = strchr(line, '=');
            if (!eq || eq == line) continue;
            *eq = 0;
            count++;
            int stop = proc(line, eq + 1, context);
            *eq = '=';
            if (stop) break;
        }
    } catch (...) {
        count = 0;
    }
    delete[] lines;
    return count;
}

int ParseIntList(const char* text, int32_t* values, int count) {
    for (int i = 0; i < count; i++)
        values[i] = 0;
    if (!text) return 0;
    int hex = *text == '#';
    const char* p = text + hex;
    int parsed = 0;
    while (parsed < count && *p && *p != '\r') {
        char* end;
        if (!hex && *p == '-')
            values[parsed] = (int32_t)strtol(p, &end, 10);
        else
            values[parsed] = (int32_t)strtoul(p, &end, hex ? 16 : 10);
        parsed++;
        p = end;
        while (*p && *p != ',' && *p != '\r')
            p++;
        if (*p != ',') break;
        p++;
    }
    return parsed;
}

size_t FormatIntList(const int32_t* values, int count, int isSigned, int hex, char* out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    size_t n = 0;
    if (hex) n = AppendText(out, size, "#");
    for (int i = 0; i < count; i++) {
        char item[24];
        if (hex)
            FormatText(item, sizeof item, "%lx", (unsigned long)(uint32_t)values[i]);
        else if (isSigned)
            FormatText(item, sizeof item, "%ld", (long)values[i]);
        else
            FormatText(item, sizeof item, "%lu", (unsigned long)(uint32_t)values[i]);
        if (i) n = AppendText(out, size, ",");
        n = AppendText(out, size, item);
    }
    return n;
}
