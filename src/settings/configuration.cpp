// The configuration dialog's reading and writing of the settings.
#include "settings/configuration.h"
#include <string.h>
#include "catalogue/lists.h"
#include "platform/text.h"
#include "settings/store.h"

// The leading decimal digits of at most length bytes; 0 above 65535 (however many digits).
static uint32_t ParsePort(const char* text, size_t length) {
    uint32_t n = 0;
    for (size_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; i++) {
        n = n * 10 + (uint32_t)(text[i] - '0');
        if (n > 65535) return 0;
    }
    return n;
}

void ParseSystemProxy(const char* value, char* address, size_t size, uint32_t* port) {
    const char* equals = strchr(value, '=');
    const char* entry = equals ? equals + 1 : value;
    size_t length = strcspn(entry, ";");
    const char* colon = (const char*)memchr(entry, ':', length);
    if (!colon) {
        CopyText(address, size, "");
        return;
    }
    CopyTextN(address, size, entry, (size_t)(colon - entry));
    *port = ParsePort(colon + 1, length - (size_t)(colon + 1 - entry));
}

void ReadProxyFields(Store* store, SystemProxyReader readSystemProxy, ProxyFields* fields) {
    ReadText(store, PROXY_SECTION, "Adr", "", fields->address, sizeof fields->address);
    fields->port = (uint32_t)ReadInt(store, PROXY_SECTION, "Port", 0);
    char system[1024];
    if (!fields->address[0] && readSystemProxy && readSystemProxy(system, sizeof system) == 0)
        ParseSystemProxy(system, fields->address, sizeof fields->address, &fields->port);
    if (fields->port == 0) fields->port = PROXY_DEFAULT_PORT;
}

struct EditionWalk {
    Store* store;
    EditionProc proc;
    void* context;
};

static int VisitEdition(const char* key, void* context) {
    EditionWalk* walk = (EditionWalk*)context;
    if (strcmp(key, "Default") == 0 || strcmp(key, "*") == 0) return 0;
    char chosen[256], name[256];
    ReadText(walk->store, EDITION_SECTION, "Default", "", chosen, sizeof chosen);
    ReadText(walk->store, EDITION_SECTION, key, "", name, sizeof name);
    if (name[0]) walk->proc(key[0], name, strcmp(key, chosen) == 0, walk->context);
    return 0;
}

void ListEditions(Store* store, EditionProc proc, void* context) {
    EditionWalk walk = {store, proc, context};
    EnumKeys(store, EDITION_SECTION, VisitEdition, &walk);
}

static void SetBit(uint32_t* options, uint32_t bit, int on) {
    *options = on ? (*options | bit) : (*options & ~bit);
}

void SaveConfiguration(Store* store, uint32_t* options, const ConfigChoice* choice) {
    SetBit(options, OPTION_FULL_ROW_SELECT, choice->fullRowSelect);
    SetBit(options, OPTION_GRID_LINES, choice->gridLines);
    SetBit(options, OPTION_ALWAYS_ON_TOP, choice->alwaysOnTop);
    if (choice->edition) {
        char letter[2] = {choice->edition, 0};
        WriteText(store, EDITION_SECTION, "Default", letter);
    }
    SetBit(options, OPTION_USE_PROXY, choice->useProxy);
    WriteText(store, PROXY_SECTION, "Adr", choice->proxyAddress);
    WriteText(store, PROXY_SECTION, "Port", choice->proxyPort);
    WriteOptions(store, PROGRAM_SECTION, *options);
}
