// The settings store against the Windows file system: attributes kept and removed, and
// changes kept in memory when there is no place to write them.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include "settings/store.h"
#include "support/testfiles.h"

TEST(WindowsStore, FlushKeepsHiddenDropsReadOnlyAndKeepsWhatItCannotWrite) {
    TempFolder folder;
    std::string local = folder.path + "\\Updat.INI";
    Store store = {};
    WriteFileText(local, "[QXUpdate]\r\nOpt=0\r\n");
    OpenStore(&store, local.c_str(), STORE_NO_LOCATE);
    SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    WriteText(&store, "QXUpdate", "Opt", "4");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(ReadFileText(local), "[QXUpdate]\r\nOpt=4\r\n");
    DWORD attributes = GetFileAttributesA(local.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
    // No place to write: the change stays in memory, not retried until the next one.
    WriteText(&store, "QXUpdate", "Opt", "8");
    HANDLE lock = CreateFileA(local.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(Flush(&store), 110);
    CloseHandle(lock);
    char value[8];
    ReadValue(&store, "QXUpdate", "Opt", "", value, sizeof value);
    EXPECT_STREQ(value, "8");
    EXPECT_EQ(store.dirty, 0);
    CloseStore(&store);
    SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_NORMAL); // so the folder can go
}

// The machine's root folder as drive Z: spells the same file (as another drive letter for its
// folder would), also while the file does not exist.
TEST(WindowsStore, EverySpellingOfTheSettingsFileGivesTheSameKeys) {
    auto key = [](const std::string& path, int which) {
        Store store;
        OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
        char out[64];
        SettingsFileKey(&store, which, out, sizeof out);
        CloseStore(&store);
        return std::string(out);
    };
    TempFolder folder;
    const std::string path = folder.path + "\\Updat.INI";
    auto unixName = (char*(CDECL*)(const WCHAR*))(void*)GetProcAddress(GetModuleHandleA("kernel32"),
                                                                       "wine_get_unix_file_name");
    std::string z = "Z:" + std::string(unixName(std::wstring(path.begin(), path.end()).c_str()));
    std::replace(z.begin(), z.end(), '/', '\\');
    WriteFileText(path, "");
    EXPECT_EQ(key(path, SETTINGS_KEY_FILE), key(z, SETTINGS_KEY_FILE));
    EXPECT_NE(key(path, SETTINGS_KEY_FILE), "");
    DeleteFileA(path.c_str());
    EXPECT_EQ(key(path, SETTINGS_KEY_FOLDER), key(z, SETTINGS_KEY_FOLDER)) << z;
}
