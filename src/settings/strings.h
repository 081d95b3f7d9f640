// The interface texts: two built-in string tables (English and German), each an array of
// records of a 16-bit id and a text, ended by id 0. Record 0 holds the language code and the
// text-encoding marker; record 1 the language's display name.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct Store;

struct StringRecord {
    int16_t id;       // in record 0: the encoding marker; -(c + 1) means UTF-16 texts for code page c
    const char* text; // ANSI bytes (Windows-1252), or UTF-16 units when the marker is negative
};

// The language table set: the zero-terminated list of built-in tables, English first.
struct LanguageSet {
    const StringRecord* const* tables;
};
extern const LanguageSet gLanguageSet;

// The current interface language.
struct Language {
    char code[4];              // "US", "DE"; empty until chosen
    const StringRecord* table; // the current table, or NULL
};
extern Language gLanguage;

// Copies the text of id from the current table ("\t" becomes a TAB); missing ids give "".
void GetText(int id, char* out, size_t size);
// GetText cut at its first ';', then stripped.
void GetShortText(int id, char* out, size_t size);
// GetText; with two ';' the part after the second one, with one the part before it; stripped.
void GetTipText(int id, char* out, size_t size);
// Cuts text at its first TAB and removes every '&'.
void StripText(char* text);
// The built-in table whose code equals code ignoring case, or NULL.
const StringRecord* FindLanguageTable(const char* code);
// Chooses the current table from the "Language" setting or the system language; a choice
// made from the system language is written to the settings and flushed at once.
void ChooseLanguage(Store* store);
// Nonzero for the system language ids of German (Germany, Switzerland, Austria, Luxembourg,
// Liechtenstein).
int IsGermanLanguageId(unsigned languageId);

// Text ids.
enum {
    TEXT_LANGUAGE_NAME = 1,
    TEXT_CANCEL = 2,
    TEXT_COLUMN_PRODUCT = 50,
    TEXT_COLUMN_ACT_VERSION = 51,
    TEXT_COLUMN_INST_VERSION = 52,
    TEXT_COLUMN_STATE = 54,
    TEXT_COLUMN_LOCATION = 55,
    TEXT_OK = 99,
    TEXT_STOP = 102,
    TEXT_SEARCH_UPDATES = 103,
    TEXT_SEARCH_INSTALLED = 104,
    TEXT_UPDATE_NOW = 105,
    TEXT_PROPERTIES = 106,
    TEXT_EXECUTE = 107,
    TEXT_HOMEPAGE = 108,
    TEXT_CONFIGURATION = 109,
    TEXT_REMOVE = 110,
    TEXT_INFORMATION = 901,
    TEXT_PRODUCT_INFORMATION = 904,
    TEXT_ABOUT_1 = 2003,
    TEXT_ABOUT_2 = 2004,
    TEXT_PAGE_GENERAL = 5200,
    TEXT_FULL_ROW_SELECT = 5201,
    TEXT_GRID_LINES = 5202,
    TEXT_ALWAYS_ON_TOP = 5203,
    TEXT_PAGE_CONNECTION = 5400,
    TEXT_USE_PROXY = 5401,
    TEXT_PROXY_ADDRESS = 5403,
    TEXT_PROXY_PORT = 5405,
    TEXT_SWITCH_TO_64 = 7001,
    TEXT_PLEASE_UPDATE = 7002,
    TEXT_IN_PROGRESS = 7003,
    TEXT_STOPPED = 7004,
    TEXT_UPDATED_AT = 7005,
    TEXT_UP_TO_DATE = 7006,
    TEXT_DOWNLOAD_ERROR = 7007,
    TEXT_INSTALL_ERROR = 7008,
    TEXT_NOT_IN_CATALOGUE = 7009, // a row still without a product code after the catalogue check
    TEXT_LIST_UNVERIFIED = 7010,  // a server list without a valid signature of the vendor
    TEXT_LIST_OUT_OF_DATE = 7011, // a server list past its expiry, or older than one taken before
};
