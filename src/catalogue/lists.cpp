// The class and edition lists: downloading them into the settings, and the 64-bit offer.
#include "catalogue/lists.h"
#include <stdlib.h>
#include <string.h>
#include "catalogue/catalogue.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/store.h"

// A code or letter that can be a key of the settings file: printable, non-blank ASCII, and
// neither '=' (it would end the key) nor a '[' in front (the line would end the section).
static int UsableKey(const char* key, size_t n) {
    if (key[0] == '[') return 0;
    for (size_t i = 0; i < n; i++)
        if ((unsigned char)key[i] <= ' ' || (unsigned char)key[i] >= 0x7F || key[i] == '=') return 0;
    return 1;
}

static int WriteClassLine(const char* line, void* context) {
    if (strlen(line) <= 2 || !UsableKey(line, 2)) return 0;
    char code[3];
    CopyTextN(code, sizeof code, line, 2);
    WriteText((Store*)context, CLASS_SECTION, code, line + 2);
    return 0;
}

void StoreClassList(Store* store, const char* text) {
    ForEachLine(text, WriteClassLine, store);
}

int RefreshClassList(Store* store) {
    int refused;
    char* text = DownloadList("dw/cls.txt", store, &refused);
    if (!text) return refused;
    StoreClassList(store, text);
    free(text);
    return 0;
}

struct EditionWalk {
    Store* store;
    char chosen[2];
};

static int WriteEditionLine(const char* line, void* context) {
    EditionWalk* walk = (EditionWalk*)context;
    // "*" is the key of the year of the last download.
    if (strlen(line) <= 2 || line[0] == '*' || !UsableKey(line, 1)) return 0;
    char letter[2] = {line[0], 0};
    WriteText(walk->store, EDITION_SECTION, letter, line + 1);
    if (!walk->chosen[0]) walk->chosen[0] = line[0];
    return 0;
}

void StoreEditionList(Store* store, const char* text, int year) {
    char old[1024];
    ReadValue(store, EDITION_SECTION, "Default", "", old, sizeof old);
    EditionWalk walk = {store, {old[0], 0}};
    DeleteSection(store, EDITION_SECTION);
    ForEachLine(text, WriteEditionLine, &walk);
    WriteText(store, EDITION_SECTION, "Default", walk.chosen);
    WriteInt(store, EDITION_SECTION, "*", (uint32_t)year);
}

int RefreshEditionList(Store* store) {
    int refused;
    char* text = DownloadList("dw/edi.txt", store, &refused);
    if (!text) return refused;
    SysTime now;
    SysUtcTime(&now);
    StoreEditionList(store, text, now.year);
    free(text);
    return 0;
}

int EditionStartAction(Store* store) {
    char letter[32];
    ReadValue(store, EDITION_SECTION, "Default", "", letter, sizeof letter);
    if (!letter[0]) return EDITION_JOB_FORCED;
    SysTime now;
    SysUtcTime(&now);
    return ReadInt(store, EDITION_SECTION, "*", 0) == now.year ? EDITION_OFFER_NOW : EDITION_JOB;
}

struct OfferWalk {
    Store* store;
    int force;
    const EditionHost* host;
};

static int OfferEntry(const char* key, const char* name, void* context) {
    OfferWalk* walk = (OfferWalk*)context;
    if (strcmp(key, "Default") == 0 || strcmp(key, "*") == 0 || !strstr(name, "64")) return 0;
    char letter[2] = {key[0], 0};
    if (walk->force) {
        WriteText(walk->store, EDITION_SECTION, "Default", letter);
    } else {
        if (walk->host->askSwitchTo64(walk->host->context))
            WriteText(walk->store, EDITION_SECTION, "Default", letter);
        WriteInt(walk->store, PROGRAM_SECTION, "64", 1);
    }
    return 1;
}

void OfferWin64Edition(Store* store, int force, const EditionHost* host) {
    if (!host->isWow64()) return;
    if (!force && ReadInt(store, PROGRAM_SECTION, "64", 0) != 0) return;
    char letter[32], name[32];
    ReadValue(store, EDITION_SECTION, "Default", "", letter, sizeof letter);
    ReadValue(store, EDITION_SECTION, letter, "", name, sizeof name);
    if (strstr(name, "64")) return;
    OfferWalk walk = {store, force, host};
    EnumKeyValues(store, EDITION_SECTION, OfferEntry, &walk);
}
