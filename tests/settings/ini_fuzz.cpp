// libFuzzer target for the settings file dialect: random writes and deletions on a random text,
// held in a buffer of exactly its length (a read past it stops the fuzzer). After each one the
// result says whether the text changed; only what the operation was asked to change changed (the
// key's line, or the end of the body or text for a new key): every other line is kept byte for
// byte; a written value reads back, and every other key of the probe set reads as before.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "settings/ini.h"

namespace {

const char* const kSections[] = {"S", "T", "QXUpdate", "Edition", "s", ""};
const char* const kKeys[] = {"Key", "K", "Ke", "Opt", "Default", "*", "qj", "a b", "Key "};

struct Name {
    std::string section, key;
};

// At most 'length' bytes without line ends, zeros or the byte 'banned'.
std::string Pick(FuzzedDataProvider& in, size_t length, char banned) {
    std::string s = in.ConsumeRandomLengthString(length);
    for (char& c : s)
        if (c == banned || c == '\r' || c == '\n' || c == 0) c = '_';
    return s;
}

// A name the program could write (a section without ']', a key without '='), from the list or
// random, never beginning with '[' or a blank.
template <size_t N>
std::string PickName(FuzzedDataProvider& in, const char* const (&list)[N], char banned) {
    if (in.ConsumeBool()) return list[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
    std::string s = Pick(in, 6, banned);
    return s.empty() || s[0] == '[' || s[0] == ' ' ? "k" + s : s;
}

std::string Find(const char* text, const Name& n, size_t* at = nullptr) {
    size_t length;
    const char* value = IniFindValue(text, n.section.c_str(), n.key.c_str(), &length);
    if (!value) return "\n<none>"; // no value holds a line end
    if (at) *at = (size_t)(value - text);
    return std::string(value, length);
}

void Check(bool condition) {
    if (!condition) abort();
}

// Keys that differ only in trailing blanks find the same line ("Key =1" for "Key" and "Key ").
std::string Trimmed(std::string key) {
    return key.erase(key.find_last_not_of(' ') + 1);
}

int CountEntry(const char* name, const char*, void* count) {
    Check(name[0] != 0 && !strchr(name, '='));
    ++*(int*)count;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    char* text = strdup(in.ConsumeRandomLengthString(2048).c_str());
    std::vector<Name> probes;
    for (const char* s : kSections)
        for (const char* k : kKeys)
            probes.push_back({s, k});
    for (int op = 0; text && op < 12 && in.remaining_bytes() > 0; op++) {
        int kind = in.ConsumeIntegralInRange(0, 3);
        Name name = {PickName(in, kSections, ']'), PickName(in, kKeys, '=')};
        std::string value = Pick(in, 12, '\r');
        probes.push_back(name);

        std::string before = text;
        std::vector<std::string> seen;
        for (const Name& n : probes)
            seen.push_back(Find(text, n));
        size_t valueAt = 0;
        std::string old = Find(text, name, &valueAt);
        bool found = old != "\n<none>";
        const char *section = name.section.c_str(), *key = name.key.c_str();
        int r = kind <= 1   ? IniWriteValue(&text, section, key, value.c_str())
                : kind == 2 ? IniDeleteKey(&text, section, key)
                            : IniDeleteSection(&text, section);
        Check(r == (before != text ? 1 : 0));
        // The changed span of the old text: [from, to) became something else.
        size_t lo = before.size(), ln = strlen(text), from = 0, same = 0;
        while (from < lo && from < ln && before[from] == text[from])
            from++;
        while (same < lo - from && same < ln - from && before[lo - 1 - same] == text[ln - 1 - same])
            same++;
        size_t to = lo - same, valueEnd = found ? valueAt + old.size() : 0;
        if (kind <= 1 && r) {
            Check(Find(text, name) == value.substr(std::min(value.find_first_not_of(' '), value.size())));
            if (found) // the old value only
                Check(text == before.substr(0, valueAt) + value + before.substr(valueEnd));
            else // an insertion, after dropping at most a last CRLF
                Check(to - from <= 2);
        } else if (kind == 2 && r) { // the key's line with one CR and one LF after it
            Check(found);
            size_t end = valueEnd + (before[valueEnd] == '\r');
            end += before[end] == '\n';
            size_t start = before.find_last_of("\r\n", valueAt - 1) + 1; // npos + 1 == 0
            Check(text == before.substr(0, start) + before.substr(end));
        } else if (kind == 3 && r) {
            Check(ln + (to - from) == lo);
        }
        for (size_t i = 0; i < probes.size(); i++) {
            const Name& n = probes[i];
            if (n.section == name.section && (kind == 3 || Trimmed(n.key) == Trimmed(name.key))) continue;
            Check(Find(text, n) == seen[i]);
        }
        int count = 0;
        Check(IniEnumEntries(text, section, CountEntry, &count) == count);
        // The text stays exactly as long as its bytes, so the next lookups read within it.
        char* exact = strdup(text);
        free(text);
        text = exact;
    }
    if (!text) return 0;
    int32_t numbers[5];
    char small[8]; // a short buffer is cut, not overrun
    FormatIntList(numbers, ParseIntList(text, numbers, 5), 1, (int)size & 1, small, sizeof small);
    free(text);
    return 0;
}
