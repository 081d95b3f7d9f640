// Installed-product detection: the registry folders searched at start-up, the scan of the
// fixed drives, and the version resources of the program files found.
#pragma once
#include <stddef.h>
#include "catalogue/product.h"

// Reads CompanyName (at most 63 characters), ProductName (63) and FileVersion (31) of a
// program file's version resource into zero-filled buffers of 64, 64 and 32 bytes. A file
// without a version resource gets defaultText in all three; a string that cannot be found
// or is empty gets defaultText.
void ReadVersionStrings(const char* path, char* company, char* product, char* version,
                        const char* defaultText);
// Sets the record's instVersion from the FileVersion of the file at its location, when that
// FileVersion is not empty.
void ReadInstalledVersion(Product* record);
