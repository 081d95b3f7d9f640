// The program as a whole: it starts, shows its window (or not, with "/A"), closes on
// request and writes its settings file in the encoding it came in; a second copy for the
// same settings file hands over to the running one.
#include <gtest/gtest.h>
#include <string>
#include "app/mainwindow.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

namespace {

// Closing is refused while the start-up job runs: ask until the program is gone.
void Close(HANDLE process, HWND window) {
    for (int i = 0; i < 60 && WaitForSingleObject(process, 0) != WAIT_OBJECT_0; i++) {
        PostMessageA(window, WM_COMMAND, 101, 0);
        WaitForSingleObject(process, 500);
    }
    ASSERT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
}

// A started program, ended when the test leaves it running.
struct Running {
    HANDLE process;
    ~Running() {
        if (!process) return;
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 3);
        CloseHandle(process);
    }
};

std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text)
        bytes += std::string{(char)(c & 0xFF), (char)(c >> 8)};
    return bytes;
}

struct ProgramTest : ::testing::Test {
    TempFolder folder;
    std::string program, local, profile;
    void SetUp() override {
        std::string windowsFolder = folder.path;
        program = CopyProgramTo(windowsFolder);
        local = windowsFolder + "\\QXUpd.INI";
        CreateDirectoryA((windowsFolder + "\\profile").c_str(), NULL);
        profile = windowsFolder + "\\profile\\QXUpd.INI";
        // A portable-drive host keeps the profile settings file inside the test folder.
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", windowsFolder.c_str());
        SetEnvironmentVariableA("U3_APP_DATA_PATH", (windowsFolder + "\\profile").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", NULL);
        SetEnvironmentVariableA("U3_APP_DATA_PATH", NULL);
        SetEnvironmentVariableA("TMP", NULL);
    }
    // Runs the program until its window appears, checks it, and closes it as another
    // program would (command 101), after bringing a hidden window to the front.
    void RunAndClose(const std::string& arguments, bool visible) {
        Running run = {StartProgram(program, arguments)};
        HWND window = WaitForProcessWindow(run.process, "QXUpdate", 30000);
        ASSERT_NE(window, nullptr);
        char title[64];
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, "Corvanware - Updater");
        // The window exists from inside its creation on: wait until the program's loop is idle.
        WaitForInputIdle(run.process, 15000);
        Sleep(300);
        EXPECT_EQ(IsWindowVisible(window) != 0, visible);
        if (!visible) {
            PostMessageA(window, WM_APP + 100, 0, WM_MOUSEMOVE); // only button-up events count
            Sleep(300);
            EXPECT_FALSE(IsWindowVisible(window));
            PostMessageA(window, WM_APP + 100, 0, WM_LBUTTONUP);
            Sleep(300);
            EXPECT_TRUE(IsWindowVisible(window));
        }
        Close(run.process, window);
    }
};

TEST_F(ProgramTest, StartsAndClosesWritingItsSettings) {
    // The program's temporary folder goes at exit, and nothing beside it.
    std::string temp = folder.path + "\\tmp";
    CreateDirectoryA(temp.c_str(), NULL);
    CreateDirectoryA((temp + "\\QXUpdate").c_str(), NULL);
    CreateDirectoryA((temp + "\\QXUpdate\\sub").c_str(), NULL);
    WriteFileText(temp + "\\QXUpdate\\sub\\1", "package");
    WriteFileText(temp + "\\keep.txt", "keep");
    SetEnvironmentVariableA("TMP", temp.c_str());
    RunAndClose("", true);
    EXPECT_FALSE(FileExists(temp + "\\QXUpdate"));
    EXPECT_TRUE(FileExists(temp + "\\keep.txt"));
    std::string text = ReadFileText(local);
    EXPECT_NE(text.find("[Desk]\r\n.=#"), std::string::npos) << text;
    EXPECT_NE(text.find("Language=US\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Pos="), std::string::npos) << text;
    EXPECT_NE(text.find("Version=2025\r\n"), std::string::npos) << text;
    EXPECT_FALSE(FileExists(profile));
}

TEST_F(ProgramTest, SlashAStartsHidden) {
    WriteFileText(local, "[QXUpdate]\r\nLanguage=DE\r\n");
    RunAndClose("/a", false);
    EXPECT_NE(ReadFileText(local).find("Language=DE\r\n"), std::string::npos);
}

TEST(CommandLine, SlashAHidesOnlyAsTheFirstArgument) {
    struct Case {
        const char* line;
        int hidden;
    } cases[] = {
        {"QXUpdate.exe /a", 1},
        {"\"C:\\Program Files\\QXUpdate.exe\" \"/A\"", 1},
        {"QXUpdate.exe /\"A\" more", 1},
        {"QXUpdate.exe \"/A \"", 0},
        {"QXUpdate.exe /AB", 0},
        {"QXUpdate.exe x /A", 0},
        {"QXUpdate.exe", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(StartedHidden(c.line), c.hidden);
    }
}

TEST_F(ProgramTest, UnwritableLocalSettingsMoveToTheProfile) {
    // Another program holds the local file open for reading only: it can be read but not
    // written. (A read-only attribute does the same on Windows; Wine running as root ignores it.)
    const std::string text = "[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n";
    WriteFileText(local, text);
    HANDLE reader = CreateFileA(local.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    RunAndClose("", true);
    CloseHandle(reader);
    EXPECT_EQ(ReadFileText(local), text);
    std::string moved = ReadFileText(profile);
    EXPECT_NE(moved.find("Language=DE\r\nOpt=8\r\n"), std::string::npos) << moved;
    EXPECT_NE(moved.find("[UseThis]\r\nOpt=" + profile + "\r\n"), std::string::npos) << moved;
    EXPECT_NE(moved.find("Pos="), std::string::npos) << moved;
}

TEST_F(ProgramTest, OneRunningCopyPerSettingsFile) {
    std::string other = folder.path + "\\other";
    CreateDirectoryA(other.c_str(), NULL);
    std::string otherProgram = CopyProgramTo(other);
    struct Case {
        const char* name;
        const char *first, *second;
        bool otherFile;
    } cases[] = {
        {"a second start shows the hidden first copy", "/A", "", false},
        {"a second start with /A ends quietly", "", "/A", false},
        {"a copy with another settings file starts", "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Running first = {StartProgram(program, c.first)};
        HWND window = WaitForProcessWindow(first.process, "QXUpdate", 30000);
        ASSERT_NE(window, nullptr);
        WaitForInputIdle(first.process, 15000);
        Running second = {StartProgram(c.otherFile ? otherProgram : program, c.second)};
        HWND secondWindow = NULL;
        if (c.otherFile) {
            secondWindow = WaitForProcessWindow(second.process, "QXUpdate", 30000);
            EXPECT_NE(secondWindow, nullptr);
            WaitForInputIdle(second.process, 15000);
        } else {
            // It hands over and ends without a window of its own.
            EXPECT_EQ(WaitForSingleObject(second.process, 30000), WAIT_OBJECT_0);
        }
        Sleep(300);
        EXPECT_TRUE(IsWindowVisible(window));
        if (secondWindow) Close(second.process, secondWindow);
        Close(first.process, window);
    }
}

TEST_F(ProgramTest, Utf16SettingsKeepTheirEncodingAndTheUsersLines) {
    const std::u16string mine = u"[Mine]\r\nGreek=\u03A9\u03BC\u03AD\u03B3\u03B1 Gr\u00FC\u00DFe\r\n\r\n";
    WriteFileText(local, Utf16Le(mine + u"[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n"));
    RunAndClose("", true);
    std::string bytes = ReadFileText(local);
    ASSERT_EQ(bytes.rfind(Utf16Le(mine), 0), 0u) << bytes;
    std::u16string text;
    std::string shown; // the low bytes, for the failure message
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += (char16_t)((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8);
        shown += bytes[i];
    }
    EXPECT_NE(text.find(u"[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n"), std::u16string::npos) << shown;
    EXPECT_NE(text.find(u"\r\nPos="), std::u16string::npos) << shown;
}

} // namespace
