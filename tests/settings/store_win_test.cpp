// The settings store against the Windows file system: attributes kept and removed, and the
// move to the profile settings file when the file cannot be opened for writing.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "settings/store.h"
#include "support/testfiles.h"

namespace {

struct WindowsStoreTest : ::testing::Test {
    TempFolder folder;
    std::string local = folder.path + "\\Updat.INI";
    std::string profileFolder = folder.path + "\\profile";
    Store store = {};
    void SetUp() override {
        CreateDirectoryA(profileFolder.c_str(), NULL);
        char program[MAX_PATH];
        GetModuleFileNameA(NULL, program, sizeof program);
        std::string programFolder(program);
        programFolder = programFolder.substr(0, programFolder.find_last_of('\\'));
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", programFolder.c_str());
        SetEnvironmentVariableA("U3_APP_DATA_PATH", profileFolder.c_str());
    }
    void TearDown() override {
        if (store.mutex) CloseStore(&store);
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", NULL);
        SetEnvironmentVariableA("U3_APP_DATA_PATH", NULL);
        SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
};

TEST_F(WindowsStoreTest, FlushKeepsHiddenAndDropsReadOnly) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=0\r\n");
    OpenStore(&store, local.c_str(), 0);
    SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    WriteText(&store, "QXUpdate", "Opt", "4");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(ReadFileText(local), "[QXUpdate]\r\nOpt=4\r\n");
    DWORD attributes = GetFileAttributesA(local.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
}

TEST_F(WindowsStoreTest, LockedFileMovesTheSettingsToTheProfile) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=0\r\n");
    OpenStore(&store, local.c_str(), 0);
    WriteText(&store, "QXUpdate", "Opt", "4");
    HANDLE lock = CreateFileA(local.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Flush(&store), 0);
    CloseHandle(lock);
    char profile[1024], path[1024];
    ProfileLocation(profile, sizeof profile);
    EXPECT_EQ(std::string(profile).rfind(profileFolder, 0), 0u);
    GetFilePath(&store, path, sizeof path);
    EXPECT_STREQ(path, profile);
    EXPECT_EQ(ReadFileText(local), "[QXUpdate]\r\nOpt=0\r\n");
    EXPECT_EQ(ReadFileText(profile),
              "[QXUpdate]\r\nOpt=4\r\n\r\n[UseThis]\r\nOpt=" + std::string(profile) + "\r\n");
}

TEST_F(WindowsStoreTest, NoPlaceToWriteKeepsTheChangesInMemory) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=0\r\n");
    OpenStore(&store, local.c_str(), STORE_NO_LOCATE);
    WriteText(&store, "QXUpdate", "Opt", "4");
    HANDLE lock = CreateFileA(local.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(Flush(&store), 110);
    CloseHandle(lock);
    char value[8];
    ReadValue(&store, "QXUpdate", "Opt", "", value, sizeof value);
    EXPECT_STREQ(value, "4");
    EXPECT_EQ(store.dirty, 0); // not retried until the next change
}

} // namespace
