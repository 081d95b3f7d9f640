// The generator of the program's pictures: icons and toolbar strips as Windows resource
// files. A library function, so that the tool and the test produce the files the same way.
#pragma once

// Writes program.ico, state70.ico .. state74.ico, toolbar.bmp and toolbar_hot.bmp (24
// pixels) and toolbar30, toolbar36 and toolbar48 (.bmp and _hot.bmp) into folder (which
// must exist). Returns 0 on success, otherwise the number of files that
// could not be written.
int WriteArtwork(const char* folder);
