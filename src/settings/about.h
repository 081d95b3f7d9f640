// The product information text, the help files beside the program and the vendor's home
// page: what the three small commands show or open, apart from the windows they use.
#pragma once
#include <stddef.h>

struct Store;

// Help file kinds, in the order they are tried.
enum { HELP_CHM, HELP_HLP, HELP_HTM, HELP_KINDS };

// A help file candidate: the program path without its extension, the file name cut to five
// characters, "_", the language code, ".", the kind's extension ("QXUpd_DE.HTM").
void HelpCandidate(const char* programPath, const char* language, int kind, char* out, size_t size);

struct HelpOpener {
    int (*exists)(const char* path, void* context);
    // Opens an existing help file; nonzero when it opened. Only a compiled help file
    // ("CHM") can fail to open: the walk then goes on.
    int (*open)(const char* path, int kind, void* context);
    void* context;
};
// Opens the help file in the user's language, else in English: first every kind in the
// language, then every kind in the language and then in "US". Nonzero when one opened.
int OpenHelpFile(const char* programPath, const char* language, const HelpOpener* opener);

// The home page: the base address, "up/", then "e.htm", or "d.htm" on a German system.
void HomepageAddress(const char* base, unsigned systemLanguage, char* out, size_t size);

// The folders the program uses; an empty one is left out of the text.
struct ProductFolders {
    char program[1024];  // "%MY_PATH%"
    char profile[1024];  // "%APPDATA%": the profile folder of the settings
    char temp[1024];     // "%TEMP%"
    char settings[1024]; // "INI": the settings file in use
};
void GatherProductFolders(Store* store, ProductFolders* folders);
// The product information text, lines ended by CRLF.
size_t FormatProductInfo(const char* title, const ProductFolders* folders, char* out, size_t size);
// Text 904 up to its first "..", without '&' ("Product Information").
void ProductInfoCaption(char* out, size_t size);
