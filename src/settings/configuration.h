// What the configuration dialog shows and stores, apart from its window: the proxy fields
// (from the settings or the system's proxy setting), the edition choices, and the keys it
// writes on OK.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct Store;

// Option bits, the program section's "Opt" key; other bits are carried through unchanged.
enum {
    OPTION_ALWAYS_ON_TOP = 2,
    OPTION_FULL_ROW_SELECT = 4,
    OPTION_GRID_LINES = 8,
    OPTION_USE_PROXY = 16, // stored only: downloads use the system's Internet settings
};

#define PROXY_SECTION "ProxyServer"
#define PROXY_DEFAULT_PORT 8000

// Host and port of the system's proxy setting, as the Internet settings keep it: "host:port",
// or one entry per protocol ("http=host:port;https=host:port"), of which the first counts.
// Without a ':' the address is empty and the port unchanged; a port above 65535 becomes 0.
void ParseSystemProxy(const char* value, char* address, size_t size, uint32_t* port);

// Reads the system's proxy setting into out; 0 when there is one.
typedef int (*SystemProxyReader)(char* out, size_t size);

struct ProxyFields {
    char address[1024];
    uint32_t port;
};
// The proxy fields as the dialog shows them: the stored address and port; the system's proxy
// when no address is stored (the reader is asked only then); port 0 shows as 8000.
void ReadProxyFields(Store* store, SystemProxyReader readSystemProxy, ProxyFields* fields);

// Called for each named edition of the "Edition" section, in file order.
typedef void (*EditionProc)(char letter, const char* name, int isDefault, void* context);
// The editions the user can choose: every key but "Default" and "*" whose name is not empty.
void ListEditions(Store* store, EditionProc proc, void* context);

// What OK stores. edition is 0 when there is none to choose (the default stays as it is).
struct ConfigChoice {
    int fullRowSelect, gridLines, alwaysOnTop, useProxy;
    char edition;
    char proxyAddress[1024];
    char proxyPort[32];
};
// Sets the option bits from the choice (other bits kept) and writes them with the edition
// and the proxy fields to the settings.
void SaveConfiguration(Store* store, uint32_t* options, const ConfigChoice* choice);
