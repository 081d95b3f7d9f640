// Settings files in the encodings editors write. The settings dialect works on ANSI text: a
// file that begins with a UTF-16 byte order mark (little or big endian) is read through the
// ANSI code page and written back in its own encoding, with its mark. A line holding a
// character the code page cannot carry is remembered as it stood in the file and written back
// unchanged as long as the program leaves that line's text alone. Any other file is taken byte
// for byte; one the text cannot hold whole (a zero byte, a cut or zero UTF-16 unit) is marked
// damaged, so that its original is kept before it is overwritten.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum { TEXT_ANSI = 0, TEXT_UTF16LE = 1, TEXT_UTF16BE = 2 };

struct KeptLine {
    char* text;      // the line as the program sees it, without its line end
    uint16_t* units; // the line as it stood in the file
    size_t count;
};

struct TextEncoding {
    int kind;    // TEXT_*
    int damaged; // the text ends where the file could no longer be read
    KeptLine* kept;
    size_t keptCount;
};

// Turns a whole file (a buffer from ReadWhole, taken over) into the zero-terminated ANSI text
// the dialect works on and describes the file in *encoding. Returns the text (the same buffer
// for a byte file), or NULL without memory.
char* DecodeText(char* data, size_t size, TextEncoding* encoding);
// The bytes that hold text in the file's encoding: a new buffer (free()) with the mark, or
// NULL for a byte file, whose bytes are the text itself. Returns 0 or ERR_NOT_ENOUGH_MEMORY.
int EncodeText(const TextEncoding* encoding, const char* text, char** data, size_t* size);
void FreeTextEncoding(TextEncoding* encoding);
