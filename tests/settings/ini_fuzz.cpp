// libFuzzer target for the settings file dialect: a random text, then a random sequence of
// writes and deletions on it. The text always sits in a buffer of exactly its length, so a
// read past it stops the fuzzer. After each operation:
//   - the result says whether the text changed;
//   - the bytes that changed lie inside what the operation was asked to change (the key's
//     line, or the end of the text for a new section): every other line is kept byte for byte;
//   - a written value reads back, and every other key of the probe set reads as before.
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

// A text of at most 'length' bytes without line ends, zeros or the character 'banned'.
std::string Pick(FuzzedDataProvider& in, size_t length, char banned) {
    std::string s = in.ConsumeRandomLengthString(length);
    for (char& c : s)
        if (c == banned || c == '\r' || c == '\n' || c == 0) c = '_';
    return s;
}

// Names the program could write: a section without ']'; a key without '=' that does not
// begin with '[' or a blank.
std::string PickSection(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? kSections[in.ConsumeIntegralInRange<size_t>(0, 5)] : Pick(in, 6, ']');
}

std::string PickKey(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return kKeys[in.ConsumeIntegralInRange<size_t>(0, 8)];
    std::string k = Pick(in, 6, '=');
    return k.empty() || k[0] == '[' || k[0] == ' ' ? "k" + k : k;
}

std::string Find(const char* text, const Name& n, size_t* at = nullptr) {
    size_t length;
    const char* value = IniFindValue(text, n.section.c_str(), n.key.c_str(), &length);
    if (!value) return "\x01<none>";
    if (at) *at = (size_t)(value - text);
    return std::string(value, length);
}

// The changed span of the old text: [*from, *to) became something else.
void ChangedSpan(const std::string& before, const char* after, size_t* from, size_t* to) {
    size_t lo = before.size(), ln = strlen(after), p = 0, s = 0;
    while (p < lo && p < ln && before[p] == after[p])
        p++;
    while (s < lo - p && s < ln - p && before[lo - 1 - s] == after[ln - 1 - s])
        s++;
    *from = p, *to = lo - s;
}

size_t LineStart(const std::string& text, size_t at) {
    while (at > 0 && text[at - 1] != '\r' && text[at - 1] != '\n')
        at--;
    return at;
}

void Check(bool condition) {
    if (!condition) abort();
}

// Keys that differ only in trailing blanks find the same line ("Key =1" for "Key" and "Key ").
bool SameKeyLine(const std::string& a, const std::string& b) {
    const std::string& longer = a.size() > b.size() ? a : b;
    const std::string& shorter = a.size() > b.size() ? b : a;
    return longer.compare(0, shorter.size(), shorter) == 0 &&
           longer.find_first_not_of(' ', shorter.size()) == std::string::npos;
}

int CountEntry(const char* name, const char*, void* context) {
    Check(name[0] != 0 && !strchr(name, '='));
    ++*(int*)context;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string initial = in.ConsumeRandomLengthString(2048);
    char* text = strdup(initial.c_str());
    if (!text) return 0;
    std::vector<Name> probes;
    for (const char* s : kSections)
        for (const char* k : kKeys)
            probes.push_back({s, k});
    for (int op = 0; op < 12 && in.remaining_bytes() > 0; op++) {
        int kind = in.ConsumeIntegralInRange(0, 3);
        Name name = {PickSection(in), PickKey(in)};
        std::string value = Pick(in, 12, '\r');
        probes.push_back(name);

        std::string before = text;
        std::vector<std::string> seen;
        for (const Name& n : probes)
            seen.push_back(Find(text, n));
        size_t valueAt = 0;
        bool found = Find(text, name, &valueAt) != "\x01<none>";
        int r;
        if (kind == 0 || kind == 1)
            r = IniWriteValue(&text, name.section.c_str(), name.key.c_str(), value.c_str());
        else if (kind == 2)
            r = IniDeleteKey(&text, name.section.c_str(), name.key.c_str());
        else
            r = IniDeleteSection(&text, name.section.c_str());
        Check(r == (before != text ? 1 : 0));
        size_t from, to;
        ChangedSpan(before, text, &from, &to);
        size_t valueEnd = found ? valueAt + Find(before.c_str(), name).size() : 0;
        if (kind <= 1 && r) {
            std::string trimmed = value.substr(std::min(value.find_first_not_of(' '), value.size()));
            Check(Find(text, name) == trimmed);
            if (found) // the old value only
                Check(text == before.substr(0, valueAt) + value + before.substr(valueEnd));
            else // an insertion, after dropping at most a last CRLF
                Check(to - from <= 2);
        } else if (kind == 2 && r) { // the key's line with one CR and one LF after it
            Check(found);
            size_t end = valueEnd + (before[valueEnd] == '\r');
            end += before[end] == '\n';
            Check(text == before.substr(0, LineStart(before, valueAt)) + before.substr(end));
        } else if (kind == 3 && r) {
            Check(strlen(text) + (to - from) == before.size());
        }
        for (size_t i = 0; i < probes.size(); i++) {
            const Name& n = probes[i];
            if (n.section == name.section && (kind == 3 || SameKeyLine(n.key, name.key))) continue;
            Check(Find(text, n) == seen[i]);
        }
        int count = 0;
        Check(IniEnumEntries(text, name.section.c_str(), CountEntry, &count) == count);
        // The text stays exactly as long as its bytes, so the next lookups read within it.
        char* exact = strdup(text);
        free(text);
        text = exact;
        if (!text) return 0;
    }
    int32_t numbers[5];
    ParseIntList(text, numbers, 5);
    free(text);
    return 0;
}
