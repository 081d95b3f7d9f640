// Test helpers: a fresh temporary folder per test and whole-file reads and writes,
// all through the local file-system provider.
#pragma once
#include <string>

struct TempFolder {
    std::string path; // no trailing separator
    TempFolder();
    ~TempFolder();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Makes a symbolic link to a folder (or file) that the system shows as a reparse point.
bool MakeFolderLink(const std::string& to, const std::string& link);
bool RemoveLink(const std::string& link);
