// The product information text, the help file walk and the home page address.
#include "settings/about.h"
#include <string.h>
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/pathmacro.h"
#include "settings/store.h"
#include "settings/strings.h"

static const char* const kHelpExtensions[HELP_KINDS] = {"CHM", "HLP", "HTM"};

// The rights notice and the postal address of the vendor.
static const char kNotice[] = "Copyright (c) 2025 Corvanware. All rights reserved.";
static const char kAddress[] = "Corvanware, Hafenstrasse 12, 20457 Hamburg, Germany";

void HelpCandidate(const char* programPath, const char* language, int kind, char* out, size_t size) {
    char path[1024];
    CopyText(path, sizeof path, programPath);
    char* dot = strrchr(path, '.');
    if (dot) *dot = 0;
    char* name = (char*)PathFileName(path);
    if (strlen(name) > 5) name[5] = 0;
    FormatText(out, size, "%s_%s.%s", path, language, kHelpExtensions[kind]);
}

// Opens the candidate when it exists: 1 opened, 0 not there or not opened.
static int TryHelp(const char* programPath, const char* language, int kind, const HelpOpener* opener) {
    char path[1024];
    HelpCandidate(programPath, language, kind, path, sizeof path);
    if (!opener->exists(path, opener->context)) return 0;
    return opener->open(path, kind, opener->context) != 0;
}

int OpenHelpFile(const char* programPath, const char* language, const HelpOpener* opener) {
    for (int kind = 0; kind < HELP_KINDS; kind++)
        if (TryHelp(programPath, language, kind, opener)) return 1;
    // Second pass: English after the user's language, kind by kind.
    int english = SysCompareNoCase(language, "US") == 0;
    for (int kind = 0; kind < HELP_KINDS; kind++) {
        if (TryHelp(programPath, language, kind, opener)) return 1;
        if (!english && TryHelp(programPath, "US", kind, opener)) return 1;
    }
    return 0;
}

void HomepageAddress(const char* base, unsigned systemLanguage, char* out, size_t size) {
    CopyText(out, size, base);
    size_t n = strlen(out);
    // The configured base address usually ends in a slash already: no second one.
    if (n == 0 || !IsPathSeparator(out[n - 1])) AppendText(out, size, "/");
    AppendText(out, size, "up/");
    AppendText(out, size, IsGermanLanguageId(systemLanguage) ? "d.htm" : "e.htm");
    for (char* p = out; *p; p++)
        if (*p == '\\') *p = '/';
}

void GatherProductFolders(Store* store, ProductFolders* folders) {
    ProgramFolder(folders->program, sizeof folders->program);
    ProfileFolder(folders->profile, sizeof folders->profile, NULL);
    ExpandMacros("%TEMP%", folders->temp, sizeof folders->temp);
    // An unknown variable comes back unexpanded: that folder cannot be named.
    if (folders->temp[0] == '%') folders->temp[0] = 0;
    GetFilePath(store, folders->settings, sizeof folders->settings);
}

static void AppendNote(char* out, size_t size, int id, const char* before) {
    char text[1024];
    GetText(id, text, sizeof text);
    if (!text[0]) return;
    AppendText(out, size, before);
    AppendText(out, size, text);
    AppendText(out, size, "\r\n");
}

static void AppendFolder(char* out, size_t size, const char* name, const char* folder) {
    if (!folder[0]) return;
    AppendText(out, size, "\r\n");
    AppendText(out, size, name);
    AppendText(out, size, " - ");
    AppendText(out, size, folder);
}

size_t FormatProductInfo(const char* title, const ProductFolders* folders, char* out, size_t size) {
    FormatText(out, size, "%s\r\nVersion %s (9x)\r\n\r\n%s\r\n%s\r\n", title, PROGRAM_RELEASE, kNotice,
               kAddress);
    AppendNote(out, size, TEXT_ABOUT_1, "\r\n");
    AppendNote(out, size, TEXT_ABOUT_2, "");
    AppendFolder(out, size, "%MY_PATH%", folders->program);
    AppendFolder(out, size, "%APPDATA%", folders->profile);
    AppendFolder(out, size, "%TEMP%", folders->temp);
    AppendFolder(out, size, "INI", folders->settings);
    return strlen(out);
}

void ProductInfoCaption(char* out, size_t size) {
    GetText(TEXT_PRODUCT_INFORMATION, out, size);
    char* dots = strstr(out, "..");
    if (dots) *dots = 0;
    char* to = out;
    for (const char* from = out; *from; from++)
        if (*from != '&') *to++ = *from;
    *to = 0;
}
