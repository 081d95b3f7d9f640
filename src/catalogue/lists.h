// The class list "dw/cls.txt" and the edition list "dw/edi.txt" of the update server.
//
// Class lines: characters 1 and 2 are a product code, the rest the window class of the
// product's main window ("+": the product's display name). Edition lines: character 1 is the
// edition letter, the rest its name; a name containing "64" is a 64-bit edition. Lines of
// two characters or fewer are skipped. Both are kept in the settings, in "Class" and
// "Edition" ("Default": the chosen letter, "*": the UTC year of the last download).
#pragma once

struct Store;

#define CLASS_SECTION "Class"
#define EDITION_SECTION "Edition"

// What the 64-bit offer asks of the system; tests answer for it.
struct EditionHost {
    int (*isWow64)();            // the program runs on 64-bit Windows
    int (*askSwitchTo64)(void*); // the question "Switch to Windows 64 bit?"; nonzero for Yes
    void* context;
};

// Download the list and keep it in the settings. Return 0, or the text id of the reason the
// list was refused (the settings are then unchanged).
int RefreshClassList(Store* store);
int RefreshEditionList(Store* store);
// What the refreshes keep of a downloaded text: the class lines, and the edition lines with
// the year of the download. Lines whose code or letter cannot be a settings key are skipped.
void StoreClassList(Store* store, const char* text);
void StoreEditionList(Store* store, const char* text, int year);

// What the start-up step does: offer the 64-bit edition at once (the list is this year's),
// or start the edition job, forced when no default edition is set.
enum { EDITION_OFFER_NOW, EDITION_JOB, EDITION_JOB_FORCED };
int EditionStartAction(Store* store);

void OfferWin64Edition(Store* store, int force, const EditionHost* host);
