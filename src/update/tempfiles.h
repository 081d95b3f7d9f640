// The program's temporary folder and the temporary file names the downloads go to.
#pragma once
#include <stddef.h>

// The program's temporary folder of this run, with a trailing separator
// ("...\Temp\QXUpdate-1f2e3d4c5b6a7988\"); empty when it could not be made. The first call
// makes it: new, under a name nobody can foresee, for the administrators only, and held open
// until DeleteProgramTempFolder so that it cannot be swapped for a link.
size_t ProgramTempFolder(char* out, size_t size);
// Deletes the files of the program's temporary folder, then the folder. What this run did
// not make (a folder, a link) stays, and nothing is deleted once the folder is not the one
// made (renamed away and replaced by a link).
void DeleteProgramTempFolder();
// A name nobody can foresee: 16 random hex digits. Returns 0 or an error (out is then empty).
int MakeRandomName(char* out, size_t size);
// A path that names no existing file. With an empty buffer and template: the program
// temporary folder and the first of the names 1, 2, 3, ... that is free. Returns the number
// used (1 for a template name), or 0 with an empty buffer when there is none.
unsigned MakeTempFileName(const char* fileTemplate, char* buffer, size_t size);
