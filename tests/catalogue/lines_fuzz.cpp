// libFuzzer target for the update server's text files. The first input byte picks the file,
// the rest is its text (in a buffer of exactly its length, so a read past it stops the fuzzer):
//   0  the catalogue, merged into an empty table: every row it adds has a two-character code of
//      printable ASCII other than "qz", and a name and version of at most 31 printable bytes
//   1  the catalogue, merged into a table of one row: no row is added
//   2  the class list, kept in the settings: each storable code reads back its last line's
//      value, and nothing else is in the section
//   3  the edition list: each storable letter reads back its last name, "Default" is the
//      first letter, "*" the year
#include <stdlib.h>
#include <string.h>
#include <map>
#include <string>
#include "catalogue/catalogue.h"
#include "catalogue/lists.h"
#include "settings/store.h"
#include "support/memoryrows.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

// No control characters; 'graphic': no blank and nothing beyond ASCII either.
bool Printable(const std::string& s, bool graphic = false) {
    for (unsigned char c : s)
        if (c < ' ' || c == 0x7F || (graphic && (c == ' ' || c > 0x7F))) return false;
    return true;
}

// A code or letter the settings file can hold as a key.
bool StorableKey(const std::string& key) {
    return Printable(key, true) && key.find('=') == std::string::npos && key[0] != '[';
}

std::string Trimmed(const std::string& value) {
    size_t at = value.find_first_not_of(' ');
    return at == std::string::npos ? "" : value.substr(at);
}

int CollectLine(const char* line, void* context) {
    ((std::string*)context)->append(line).push_back('\n');
    return 0;
}

int CollectEntry(const char* name, const char* value, void* context) {
    (*(std::map<std::string, std::string>*)context)[name] = value;
    return 0;
}

void CheckCatalogue(const char* text, bool withRow) {
    MemoryRows rows;
    if (withRow) rows.Add("QX Navigator", "1.0", "1.0", "C:\\QX");
    MergeCatalogue(&rows.store, text, withRow ? 1 : 0);
    if (withRow) {
        Check(rows.rows.size() == 1);
        return;
    }
    for (const MemoryRow& row : rows.rows) {
        std::string code = {(char)(row.data >> 8), (char)(row.data >> 16)};
        Check(code != "qz" && Printable(code, true));
        Check(row.text[0].size() <= 31 && row.text[1].size() <= 31);
        Check(Printable(row.text[0]) && Printable(row.text[1]));
    }
}

void CheckList(const char* text, bool editions) {
    Store store;
    OpenStore(&store, nullptr, STORE_NO_LOCATE);
    store.text = (char*)calloc(1, 1); // in memory only
    std::string lines;
    ForEachLine(text, CollectLine, &lines);
    std::map<std::string, std::string> expected;
    std::string first;
    for (size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = lines.substr(at, end - at);
        size_t keyLength = editions ? 1 : 2;
        if (line.size() <= 2 || !StorableKey(line.substr(0, keyLength))) continue;
        expected[line.substr(0, keyLength)] = Trimmed(line.substr(keyLength));
        if (first.empty()) first = line.substr(0, 1);
    }
    std::map<std::string, std::string> stored;
    if (editions) {
        StoreEditionList(&store, text, 2026);
        Check(EnumKeyValues(&store, EDITION_SECTION, CollectEntry, &stored) >= 2);
        expected["Default"] = first;
        expected["*"] = "2026";
    } else {
        StoreClassList(&store, text);
        EnumKeyValues(&store, CLASS_SECTION, CollectEntry, &stored);
    }
    for (auto& entry : stored)
        entry.second = Trimmed(entry.second);
    Check(stored == expected);
    CloseStore(&store);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    char* text = (char*)malloc(size);
    if (!text) return 0;
    memcpy(text, data + 1, size - 1);
    text[size - 1] = 0;
    switch (data[0] & 3) {
    case 0: CheckCatalogue(text, false); break;
    case 1: CheckCatalogue(text, true); break;
    case 2: CheckList(text, false); break;
    case 3: CheckList(text, true); break;
    }
    free(text);
    return 0;
}
