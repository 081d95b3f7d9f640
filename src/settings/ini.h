// The settings file dialect, on a whole text held in memory.
//
// - A section header is a line whose first byte is '['; such a '[' counts only at the start of
//   the text (after a UTF-8 byte order mark, if any) or right after a LF. "[Name]" matches the
//   name exactly (case-sensitive); the rest of the line is ignored; the first match wins.
// - A section's body runs from the line after its header to the next line that begins with '['
//   (a valid header or not), or to the end of the text.
// - A key line begins at its first byte with the key name (case-sensitive), then spaces (0x20
//   only) and '='. The value follows '=' and its spaces and runs to CR, LF or the end of text;
//   trailing spaces belong to it. There is no quoting, escaping or comment syntax.
// - CR, LF and CRLF each end a line when reading; everything written uses CRLF.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Finds a key; returns the start of its value, or NULL. *length receives the value's length.
const char* IniFindValue(const char* text, const char* section, const char* key, size_t* length);

// Editing functions work on a text allocated with malloc (NULL for none) and return 1 when the
// text changed, 0 when it did not, and -1 when memory ran out (the old text then stays valid).
int IniWriteValue(char** text, const char* section, const char* key, const char* value);
int IniDeleteKey(char** text, const char* section, const char* key);
int IniDeleteSection(char** text, const char* section);

// Calls proc for every "name=value" line of a section's body, in file order; a line without
// '=' or with nothing before it is skipped; nothing is trimmed. A nonzero result stops the
// walk. Returns the number of lines handed to proc (0 also when proc threw).
typedef int (*IniEntryProc)(const char* name, const char* value, void* context);
int IniEnumEntries(const char* text, const char* section, IniEntryProc proc, void* context);

// Parses up to count comma-separated numbers (all zeroed first); "#" in front makes them
// hexadecimal. Parsing stops at CR or the end of text. Returns the number of items parsed.
int ParseIntList(const char* text, int32_t* values, int count);
// Formats count numbers joined by ',' (hex: "#" and "%lx" items; else signed or unsigned).
size_t FormatIntList(const int32_t* values, int count, int isSigned, int hex, char* out, size_t size);
