// The program's temporary folder and the temporary file names the downloads go to.
#pragma once
#include <stddef.h>

// The user's temporary folder and the program's file name without its extension, with a
// trailing separator ("...\Temp\QXUpdate\"); empty when either is unknown.
size_t ProgramTempFolder(char* out, size_t size);
// A path that names no existing file. With an empty buffer and template: the program
// temporary folder and the first of the names 1, 2, 3, ... that is free. Returns the number
// used (1 for a template name), or 0 with an empty buffer when there is none.
unsigned MakeTempFileName(const char* fileTemplate, char* buffer, size_t size);
