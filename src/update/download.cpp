// What the downloader reads in an HTTP answer's headers: whether, and how long, the body
// was announced, so that a cut transfer is not taken for the whole resource.
#include "update/download.h"
#include <string.h>

unsigned long gDownloadStallMs = kDownloadStallMs;

static int SameLetters(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return 0;
    }
    return 1;
}

// The value of a header line: from after the colon, blanks trimmed on both sides.
static void HeaderValue(const char* colon, const char* end, const char** value, size_t* count) {
    const char* v = colon + 1;
    while (v < end && (*v == ' ' || *v == '\t'))
        v++;
    while (end > v && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r'))
        end--;
    *value = v;
    *count = (size_t)(end - v);
}

int AnnouncedLength(const char* headers, uint64_t* length) {
    int announced = 0, recoded = 0;
    uint64_t value = 0;
    for (const char* line = headers; line && *line;) {
        const char* end = strchr(line, '\n');
        if (!end) end = line + strlen(line);
        const char* colon = (const char*)memchr(line, ':', (size_t)(end - line));
        if (colon) {
            const char* v;
            size_t count;
            HeaderValue(colon, end, &v, &count);
            size_t nameLength = (size_t)(colon - line);
            if (nameLength == 14 && SameLetters(line, "content-length", 14)) {
                // Digits only, and no second length that disagrees: otherwise nothing is known.
                uint64_t n = 0;
                int good = count > 0 && count <= 18;
                for (size_t i = 0; good && i < count; i++) {
                    if (v[i] < '0' || v[i] > '9') good = 0;
                    n = n * 10 + (uint64_t)(v[i] - '0');
                }
                if (!good || (announced && n != value)) recoded = 1;
                announced = 1, value = n;
            } else if (nameLength == 17 && SameLetters(line, "transfer-encoding", 17)) {
                recoded = 1; // the length then counts nothing the file holds
            } else if (nameLength == 16 && SameLetters(line, "content-encoding", 16)) {
                if (!(count == 8 && SameLetters(v, "identity", 8))) recoded = 1;
            }
        }
        line = *end ? end + 1 : end;
    }
    if (!announced || recoded) return 0;
    *length = value;
    return 1;
}
