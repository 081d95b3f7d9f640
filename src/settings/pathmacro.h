// Path macros: a leading "%NAME%" of a path stands for a folder. "%MY_PATH%" and
// "%NAVIGATOR_PATH%" are the program's folder, "%APPDATA%" the user's application-data
// folder; any other name goes to the system's environment expansion. Folders made here
// carry no trailing separator.
#pragma once
#include <stddef.h>

// The vendor folder inside the application-data folder.
#define VENDOR_FOLDER "Corvanware"

// Expands a leading macro, then normalises. out may be the same buffer as path.
void ExpandMacros(const char* path, char* out, size_t size);
// Like ExpandMacros; a path beginning with ".." is taken relative to the program's folder.
void ExpandPath(const char* path, char* out, size_t size);
// Removes "." components and resolves ".." components in place.
void NormalisePath(char* path, size_t size);
// Nonzero when both paths expand to the same path, ignoring case and separator kind.
int PathsEqual(const char* a, const char* b);
// Nonzero when path lies inside folder or equals it, ignoring case.
int PathInside(const char* path, const char* folder);
// "%APPDATA%" expanded, then the vendor folder, then subfolder when given.
void ProfileFolder(char* out, size_t size, const char* subfolder);
// The program file's folder, without the file name and the separator before it.
void ProgramFolder(char* out, size_t size);
