// libFuzzer target for the update server's text files. The first input byte picks the file,
// the rest is its text (in a buffer of exactly its length, so a read past it stops the fuzzer):
//   0, 1  the catalogue, merged into an empty table: each row added has a printable two-character
//         code other than "qz", a name and version of at most 31 printable bytes; or into a table
//         of one row: no row is added
//   2, 3  the class or edition list: each storable code or letter reads back its last line's value
//         and nothing else does, but the editions' "Default" (the first letter) and "*" (the year)
#include <stdlib.h>
#include <string.h>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "catalogue/catalogue.h"
#include "catalogue/lists.h"
#include "settings/store.h"
#include "support/memoryrows.h"

namespace {

using Entries = std::map<std::string, std::string>;

void Check(bool condition) {
    if (!condition) abort();
}

// No control characters; 'graphic': no blank and nothing beyond ASCII either.
bool Printable(const std::string& s, bool graphic = false) {
    for (unsigned char c : s)
        if (c < ' ' || c == 0x7F || (graphic && (c == ' ' || c > 0x7F))) return false;
    return true;
}

// The settings file drops the blanks in front of a value.
std::string Trimmed(const std::string& value) {
    size_t at = value.find_first_not_of(' ');
    return at == std::string::npos ? "" : value.substr(at);
}

void CheckCatalogue(const char* text, bool withRow) {
    MemoryRows rows;
    if (withRow) rows.Add("QX Navigator", "1.0", "1.0", "C:\\QX");
    MergeCatalogue(&rows.store, text, withRow ? 1 : 0);
    Check(!withRow || rows.rows.size() == 1);
    for (const MemoryRow& row : rows.rows) {
        std::string code = {(char)(row.data >> 8), (char)(row.data >> 16)};
        Check(withRow || (code != "qz" && Printable(code, true)));
        Check(row.text[0].size() <= 31 && row.text[1].size() <= 31);
        Check(Printable(row.text[0]) && Printable(row.text[1]));
    }
}

void CheckList(const char* text, bool editions) {
    std::vector<std::string> lines;
    ForEachLine(
        text, [](const char* line, void* c) { return ((std::vector<std::string>*)c)->push_back(line), 0; },
        &lines);
    Entries expected, stored;
    size_t keyLength = editions ? 1 : 2;
    for (const std::string& line : lines) {
        std::string key = line.substr(0, keyLength);
        // a code or letter the settings file can hold as a key
        if (line.size() <= 2 || !Printable(key, true) || key.find('=') != std::string::npos ||
            key[0] == '[' || (editions && key[0] == '*')) // "*" holds the year of the download
            continue;
        if (editions) expected.emplace("Default", key);
        expected[key] = Trimmed(line.substr(keyLength));
    }
    Store store;
    OpenStore(&store, nullptr, STORE_NO_LOCATE);
    store.text = (char*)calloc(1, 1); // in memory only
    if (editions) {
        StoreEditionList(&store, text, 2026);
        expected.emplace("Default", "");
        expected["*"] = "2026";
    } else {
        StoreClassList(&store, text);
    }
    EnumKeyValues(
        &store, editions ? EDITION_SECTION : CLASS_SECTION,
        [](const char* name, const char* value, void* c) { return (*(Entries*)c)[name] = Trimmed(value), 0; },
        &stored);
    Check(stored == expected);
    CloseStore(&store);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::unique_ptr<char[]> buffer(new char[size]);
    char* text = buffer.get();
    memcpy(text, data + 1, size - 1);
    text[size - 1] = 0;
    if (data[0] & 2)
        CheckList(text, data[0] & 1);
    else
        CheckCatalogue(text, data[0] & 1);
    return 0;
}
