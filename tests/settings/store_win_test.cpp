// The settings store against the Windows file system: attributes kept and removed, changes kept
// in memory when there is no place to write them, a killed save, and the spellings of one file.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "settings/store.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

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

// A program killed at each step of a large save: the file holds the old text or the new one.
TEST(WindowsStore, AProgramKilledDuringALargeSaveLeavesTheOldOrTheNewFile) {
    TempFolder folder;
    const std::string path = folder.path + "\\Updat.INI", before = "[QXUpdate]\r\nOpt=4\r\n";
    const std::string after = before + "Big=" + std::string(4 << 20, 'x') + "\r\n";
    DWORD code = 9;
    for (int at = 1; code == 9 && at < 30; at++) {
        SCOPED_TRACE(at);
        WriteFileText(path, before);
        HANDLE child = StartProgram(TestProgramFolder() + "\\qx_install_child.exe",
                                    "--settings \"" + path + "\" " + std::to_string(at));
        ASSERT_NE(child, nullptr);
        WaitForSingleObject(child, 60000);
        GetExitCodeProcess(child, &code);
        CloseHandle(child);
        ASSERT_TRUE(code == 9 || code == 0) << code;
        std::string now = ReadFileText(path);
        EXPECT_TRUE(now == before || now == after) << now.size();
    }
    EXPECT_EQ(code, 0u); // the last run was not killed
}

// The short name, or the machine's root folder as drive Z:, spell the same file.
TEST(WindowsStore, EverySpellingOfTheSettingsFileGivesTheSameKeys) {
    TempFolder folder;
    CreateDirectoryA((folder.path + "\\Long folder name").c_str(), NULL);
    const std::string path = folder.path + "\\Long folder name\\Updat.INI";
    WriteFileText(path, "");
    char shortPath[MAX_PATH * 2] = "";
    GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    std::vector<std::string> spellings = {path, shortPath};
    typedef char*(CDECL * UnixName)(const WCHAR*);
    UnixName unixName =
        (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    std::wstring wide(path.begin(), path.end());
    if (char* name = unixName ? unixName(wide.c_str()) : NULL) {
        std::string z = "Z:" + std::string(name);
        std::replace(z.begin(), z.end(), '/', '\\');
        spellings.push_back(z);
        HeapFree(GetProcessHeap(), 0, name);
    }
    for (int exists : {1, 0}) {
        if (!exists) DeleteFileA(path.c_str());
        for (int which : {SETTINGS_KEY_FOLDER, SETTINGS_KEY_FILE}) {
            std::vector<std::string> keys;
            for (const std::string& spelling : spellings) {
                Store store;
                OpenStore(&store, spelling.c_str(), STORE_NO_LOCATE);
                char key[64];
                SettingsFileKey(&store, which, key, sizeof key);
                CloseStore(&store);
                keys.push_back(key);
            }
            EXPECT_EQ(keys, std::vector<std::string>(spellings.size(), keys[0])) << shortPath;
            EXPECT_EQ(keys[0].empty(), which == SETTINGS_KEY_FILE && !exists);
        }
    }
}
