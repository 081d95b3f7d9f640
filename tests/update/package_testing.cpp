// Helpers of the package tests.
#include "update/package_testing.h"
#include <stdlib.h>
#include "platform/fs.h"
#include "update/packbuild.h"

std::string Number(uint32_t value) {
    uint32_t v = value + 239;
    return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

std::string Text(const std::string& text) {
    std::string out;
    for (char c : text)
        out += (char)(uint8_t)((uint8_t)c + 0x23);
    return out + std::string(1, '\0');
}

std::string Data(const std::string& data) {
    std::string out;
    for (char c : data)
        out += (char)(uint8_t)((uint8_t)c - 0x4D);
    return out;
}

uint32_t ExpectedChecksum(const std::vector<TestEntry>& entries) {
    uint32_t sum = 0;
    for (size_t i = 0; i < entries.size(); i++) {
        int first = entries[i].name.empty() ? 0 : (signed char)entries[i].name[0];
        for (char c : entries[i].data)
            sum += (uint32_t)((int)i + 1 + 10 + first + (uint8_t)c);
    }
    return sum;
}

std::string Stream(const std::vector<TestEntry>& entries, uint32_t checksumDelta, const std::string& code,
                   uint32_t date) {
    std::string s = Number(ExpectedChecksum(entries) + checksumDelta) + Text(code) + Text("1.0") +
                    Text("2.0") + Number(date);
    for (const TestEntry& e : entries)
        s += Number((uint32_t)e.data.size()) + Text(e.name) + Data(e.data);
    return s;
}

int WriteStreamPackage(const std::string& path, const std::string& stream, int64_t declaredSize) {
    PackBuildInfo info = {};
    return BuildPackageFromStream(path.c_str(), &info, (const uint8_t*)stream.data(), stream.size(),
                                  declaredSize < 0 ? (uint32_t)stream.size() : (uint32_t)declaredSize);
}

static int Collect(const FsEntry* entry, void* entries) {
    ((std::vector<std::pair<std::string, uint32_t>>*)entries)->push_back({entry->name, entry->attributes});
    return 0;
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::vector<std::pair<std::string, uint32_t>> entries;
    std::map<std::string, std::string> files;
    FsLocal()->Enumerate(folder.c_str(), Collect, &entries);
    for (const auto& e : entries) {
        if (e.second & FILE_ATTR_REPARSE_POINT) { // a link, not followed
            files[e.first + "@"] = "";
            continue;
        }
        if (e.second & FILE_ATTR_DIRECTORY) files[e.first + "/"] = "";
        std::string path = folder + "/" + e.first;
        if (!(e.second & FILE_ATTR_DIRECTORY))
            files[e.first] = ReadFileText(path) + ((e.second & FILE_ATTR_READONLY) ? "<ro>" : "");
        else
            for (const auto& inner : Snapshot(path))
                files[e.first + "/" + inner.first] = inner.second;
    }
    return files;
}
