// The built-in string tables and the text lookup.
#include "settings/strings.h"
#include <string.h>
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/store.h"

// English; the typo in 103 is the program's own text.
static const StringRecord kEnglish[] = {
    {0, "US"},
    {TEXT_LANGUAGE_NAME, "English"},
    {TEXT_COLUMN_PRODUCT, "Product"},
    {TEXT_COLUMN_ACT_VERSION, "Act.Version"},
    {TEXT_COLUMN_INST_VERSION, "Inst.Version"},
    {TEXT_COLUMN_STATE, "State"},
    {TEXT_COLUMN_LOCATION, "Location"},
    {TEXT_OK, "&OK"},
    {TEXT_CANCEL, "Cancel"},
    {TEXT_STOP, "Stop update"},
    {TEXT_SEARCH_UPDATES, "Seach for new updates"},
    {TEXT_SEARCH_INSTALLED, "Search for installed products"},
    {TEXT_UPDATE_NOW, "Update and install now"},
    {TEXT_PROPERTIES, "Properties"},
    {TEXT_EXECUTE, "Execute"},
    {TEXT_REMOVE, "Remove from the List"},
    {TEXT_HOMEPAGE, "Visit the Homepage"},
    {TEXT_CONFIGURATION, "Configuration"},
    {TEXT_INFORMATION, "Information"},
    {TEXT_PRODUCT_INFORMATION, "&Product Information..."},
    {TEXT_ABOUT_1, ""},
    {TEXT_ABOUT_2, ""},
    {TEXT_PAGE_GENERAL, "General Options"},
    {TEXT_FULL_ROW_SELECT, "Full row select"},
    {TEXT_GRID_LINES, "Show grid lines"},
    {TEXT_ALWAYS_ON_TOP, "Always on top"},
    {TEXT_PAGE_CONNECTION, "Connection"},
    {TEXT_USE_PROXY, "Use ProxyServer"},
    {TEXT_PROXY_ADDRESS, "Address"},
    {TEXT_PROXY_PORT, "Port"},
    {TEXT_SWITCH_TO_64, "Switch to Windows 64 bit?"},
    {TEXT_PLEASE_UPDATE, "Please update!"},
    {TEXT_IN_PROGRESS, "In progress"},
    {TEXT_STOPPED, "Stopped by user"},
    {TEXT_UPDATED_AT, "Updated at "},
    {TEXT_UP_TO_DATE, "Is up-to-date"},
    {TEXT_DOWNLOAD_ERROR, "Download error"},
    {TEXT_INSTALL_ERROR, "Install error"},
    {TEXT_NOT_IN_CATALOGUE, "Not in the catalogue"},
    {TEXT_LIST_UNVERIFIED, "The list could not be verified"},
    {TEXT_LIST_OUT_OF_DATE, "The list is out of date"},
    {0, NULL},
};

// German, in Windows-1252 (each escape ends its string piece, so no letter joins it).
static const StringRecord kGerman[] = {
    {1253, "DE"},
    {TEXT_LANGUAGE_NAME, "German (Deutsch)"},
    {TEXT_COLUMN_PRODUCT, "Produkt"},
    {TEXT_COLUMN_ACT_VERSION, "Akt.Version"},
    {TEXT_COLUMN_INST_VERSION, "Inst.Version"},
    {TEXT_COLUMN_STATE, "Status"},
    {TEXT_COLUMN_LOCATION, "In Ordner"},
    {TEXT_OK, "&OK"},
    {TEXT_CANCEL, "Abbruch"},
    {TEXT_STOP, "Abbrechen"},
    {TEXT_SEARCH_UPDATES, "Updates suchen"},
    {TEXT_SEARCH_INSTALLED, "Bereits installierte Programme suchen"},
    {TEXT_UPDATE_NOW, "Jetzt herunterladen und installieren"},
    {TEXT_PROPERTIES, "Eigenschaften"},
    {TEXT_EXECUTE, "Ausf\xFC"
                   "hren"},
    {TEXT_REMOVE, "Eintrag aus der Liste entfernen"},
    {TEXT_HOMEPAGE, "Homepage besuchen"},
    {TEXT_CONFIGURATION, "Konfiguration"},
    {TEXT_INFORMATION, "Info"},
    {TEXT_PRODUCT_INFORMATION, "&Produktinformation..."},
    {TEXT_ABOUT_1, ""},
    {TEXT_ABOUT_2, ""},
    {TEXT_PAGE_GENERAL, "Allgemeine Optionen"},
    {TEXT_FULL_ROW_SELECT, "Ganze Zeile ausw\xE4"
                           "hlen"},
    {TEXT_GRID_LINES, "Gitternetzlinien anzeigen"},
    {TEXT_ALWAYS_ON_TOP, "Immer im Vordergrund"},
    {TEXT_PAGE_CONNECTION, "Verbindung"},
    {TEXT_USE_PROXY, "Proxyserver verwenden"},
    {TEXT_PROXY_ADDRESS, "Adresse:"},
    {TEXT_PROXY_PORT, "Port:"},
    {TEXT_SWITCH_TO_64, "Auf Windows 64 Bit umsteigen?"},
    {TEXT_PLEASE_UPDATE, "Bitte aktualisieren!"},
    {TEXT_IN_PROGRESS, "In Arbeit"},
    {TEXT_STOPPED, "Vom Benutzer abgebrochen"},
    {TEXT_UPDATED_AT, "Aktualisiert am: "},
    {TEXT_UP_TO_DATE, "Ist aktuell"},
    {TEXT_DOWNLOAD_ERROR, "Downloadfehler"},
    {TEXT_INSTALL_ERROR, "Installationsfehler"},
    {TEXT_NOT_IN_CATALOGUE, "Nicht im Katalog"},
    {TEXT_LIST_UNVERIFIED, "Die Liste konnte nicht gepr\xFC" "ft werden"},
    {TEXT_LIST_OUT_OF_DATE, "Die Liste ist veraltet"},
    {0, NULL},
};

static const StringRecord* const kTables[] = {kEnglish, kGerman, NULL};
const LanguageSet gLanguageSet = {kTables};
Language gLanguage;

void GetText(int id, char* out, size_t size) {
    if (!out || size == 0) return;
    out[0] = 0;
    const StringRecord* table = gLanguage.table;
    if (!table || id == 0) return;
    const StringRecord* found = NULL;
    for (const StringRecord* r = table + 1; r->id; r++)
        if (r->id == id) {
            found = r;
            break;
        }
    if (!found) return;
    if (table[0].id < 0)
        SysUtf16ToCodePage((const uint16_t*)found->text, (unsigned)(-table[0].id - 1), out, size);
    else
        CopyText(out, size, found->text);
    char* to = out;
    for (const char* from = out; *from; from++) {
        if (from[0] == '\\' && from[1] == 't')
            *to++ = '\t', from++;
        else
            *to++ = *from;
    }
    *to = 0;
}

void StripText(char* text) {
    char* tab = strchr(text, '\t');
    if (tab) *tab = 0;
    char* to = text;
    for (const char* from = text; *from; from++)
        if (*from != '&') *to++ = *from;
    *to = 0;
}

void GetShortText(int id, char* out, size_t size) {
    GetText(id, out, size);
    if (!size) return;
    char* semicolon = strchr(out, ';');
    if (semicolon) *semicolon = 0;
    StripText(out);
}

void GetTipText(int id, char* out, size_t size) {
    GetText(id, out, size);
    if (!size) return;
    char* first = strchr(out, ';');
    char* second = first ? strchr(first + 1, ';') : NULL;
    if (second)
        memmove(out, second + 1, strlen(second + 1) + 1);
    else if (first)
        *first = 0;
    StripText(out);
}

const StringRecord* FindLanguageTable(const char* code) {
    for (const StringRecord* const* t = gLanguageSet.tables; *t; t++)
        if (SysCompareNoCase((*t)[0].text, code) == 0) return *t;
    return NULL;
}

int IsGermanLanguageId(unsigned languageId) {
    return languageId == 1031 || languageId == 2055 || languageId == 3079 || languageId == 4103 ||
           languageId == 5127;
}

void ChooseLanguage(Store* store) {
    gLanguage.table = gLanguageSet.tables[0];
    if (!gLanguage.code[0]) {
        ReadValue(store, PROGRAM_SECTION, "Language", NULL, gLanguage.code, sizeof gLanguage.code);
        if (!gLanguage.code[0]) {
            CopyText(gLanguage.code, sizeof gLanguage.code,
                     IsGermanLanguageId(SysSystemLanguage()) ? "DE" : "US");
            WriteText(store, PROGRAM_SECTION, "Language", gLanguage.code);
            Flush(store);
        }
    }
    if (gLanguage.code[0]) {
        const StringRecord* table = FindLanguageTable(gLanguage.code);
        if (table) gLanguage.table = table;
    }
}
