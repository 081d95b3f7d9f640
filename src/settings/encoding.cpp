// Settings files in UTF-16: decoding into ANSI text line by line, remembering the lines the
// code page cannot carry, and encoding the text back with them.
#include "settings/encoding.h"
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/sys.h"

enum { MARK = 0xFEFF, BYTES_PER_UNIT = 3 }; // an ANSI code page needs at most 3 bytes a unit

static int IsLineEnd(unsigned c) {
    return c == '\r' || c == '\n';
}

static int KindOf(const unsigned char* bytes, size_t size) {
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return TEXT_UTF16LE;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return TEXT_UTF16BE;
    return TEXT_ANSI;
}

static int Keep(TextEncoding* e, const char* text, const uint16_t* units, size_t count) {
    KeptLine* kept = (KeptLine*)realloc(e->kept, (e->keptCount + 1) * sizeof *kept);
    if (!kept) return ERR_NOT_ENOUGH_MEMORY;
    e->kept = kept;
    KeptLine* k = &kept[e->keptCount];
    k->text = strdup(text);
    k->units = (uint16_t*)malloc(count * sizeof *units + 1);
    if (!k->text || !k->units) {
        free(k->text);
        free(k->units);
        return ERR_NOT_ENOUGH_MEMORY;
    }
    memcpy(k->units, units, count * sizeof *units);
    k->count = count;
    e->keptCount++;
    return 0;
}

// Converts units (zero-terminated, no line end) to ANSI at out; a line whose text does not
// convert back to the same units is kept. Returns the bytes written, or -1 without memory.
static long DecodeLine(TextEncoding* e, const uint16_t* units, size_t count, char* out, size_t size,
                       uint16_t* scratch, size_t scratchCount) {
    size_t n = SysUtf16ToAnsiExact(units, out, size);
    size_t back = SysAnsiToUtf16(out, scratch, scratchCount);
    if (back == count && memcmp(scratch, units, count * sizeof *units) == 0) return (long)n;
    return Keep(e, out, units, count) ? -1 : (long)n;
}

char* DecodeText(char* data, size_t size, TextEncoding* e) {
    memset(e, 0, sizeof *e);
    const unsigned char* bytes = (const unsigned char*)data;
    e->kind = KindOf(bytes, size);
    if (e->kind == TEXT_ANSI) {
        e->damaged = memchr(data, 0, size) != NULL;
        return data;
    }
    size_t count = (size - 2) / 2;
    e->damaged = (size - 2) % 2 != 0;
    uint16_t* units = (uint16_t*)malloc((count + 1) * sizeof *units);
    uint16_t* scratch = (uint16_t*)malloc((BYTES_PER_UNIT * count + 1) * sizeof *scratch);
    char* text = (char*)malloc(BYTES_PER_UNIT * count + 1);
    int failed = !units || !scratch || !text;
    for (size_t i = 0; !failed && i < count; i++) {
        const unsigned char* p = bytes + 2 + 2 * i;
        units[i] = e->kind == TEXT_UTF16LE ? (uint16_t)(p[0] | p[1] << 8) : (uint16_t)(p[0] << 8 | p[1]);
        if (units[i] == 0) {
            e->damaged = 1;
            count = i;
        }
    }
    size_t used = 0;
    for (size_t i = 0; !failed && i < count;) {
        if (IsLineEnd(units[i])) {
            text[used++] = (char)units[i++];
            continue;
        }
        size_t end = i;
        while (end < count && !IsLineEnd(units[end]))
            end++;
        uint16_t saved = units[end];
        units[end] = 0;
        long n = DecodeLine(e, units + i, end - i, text + used, BYTES_PER_UNIT * count + 1 - used, scratch,
                            BYTES_PER_UNIT * count + 1);
        units[end] = saved;
        if (n < 0) failed = 1;
        used += n < 0 ? 0 : (size_t)n;
        i = end;
    }
    free(units);
    free(scratch);
    free(data);
    if (failed) {
        free(text);
        FreeTextEncoding(e);
        return NULL;
    }
    text[used] = 0;
    return text;
}

// The first kept line not used yet whose text is the line's.
static const KeptLine* FindKept(const TextEncoding* e, char* used, const char* line, size_t length) {
    for (size_t i = 0; i < e->keptCount; i++) {
        const KeptLine* k = &e->kept[i];
        if (!used[i] && strlen(k->text) == length && memcmp(k->text, line, length) == 0) {
            used[i] = 1;
            return k;
        }
    }
    return NULL;
}

int EncodeText(const TextEncoding* e, const char* text, char** data, size_t* size) {
    *data = NULL;
    *size = strlen(text);
    if (e->kind == TEXT_ANSI) return 0;
    size_t capacity = *size + 2;
    for (size_t i = 0; i < e->keptCount; i++)
        capacity += e->kept[i].count;
    uint16_t* units = (uint16_t*)malloc(capacity * sizeof *units);
    char* used = (char*)calloc(e->keptCount + 1, 1);
    char* line = (char*)malloc(*size + 1);
    int r = units && used && line ? 0 : ERR_NOT_ENOUGH_MEMORY;
    size_t n = 0;
    if (!r) units[n++] = MARK;
    for (const char* p = text; !r && *p;) {
        if (IsLineEnd((unsigned char)*p)) {
            units[n++] = (uint16_t)*p++;
            continue;
        }
        size_t length = strcspn(p, "\r\n");
        const KeptLine* k = FindKept(e, used, p, length);
        if (k) {
            memcpy(units + n, k->units, k->count * sizeof *units);
            n += k->count;
        } else {
            memcpy(line, p, length);
            line[length] = 0;
            n += SysAnsiToUtf16(line, units + n, capacity - n);
        }
        p += length;
    }
    unsigned char* bytes = r ? NULL : (unsigned char*)malloc(2 * n + 1);
    if (!r && !bytes) r = ERR_NOT_ENOUGH_MEMORY;
    for (size_t i = 0; !r && i < n; i++) {
        unsigned char low = (unsigned char)(units[i] & 0xFF), high = (unsigned char)(units[i] >> 8);
        bytes[2 * i] = e->kind == TEXT_UTF16LE ? low : high;
        bytes[2 * i + 1] = e->kind == TEXT_UTF16LE ? high : low;
    }
    free(units);
    free(used);
    free(line);
    if (r) return r;
    *data = (char*)bytes;
    *size = 2 * n;
    return 0;
}

void FreeTextEncoding(TextEncoding* e) {
    for (size_t i = 0; i < e->keptCount; i++) {
        free(e->kept[i].text);
        free(e->kept[i].units);
    }
    free(e->kept);
    memset(e, 0, sizeof *e);
}
