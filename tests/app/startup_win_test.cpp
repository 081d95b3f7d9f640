// The program as a whole: it starts (hidden with "/A"), closes on request, writes its settings
// file in the encoding it came in; a second copy for the same file hands over to the first.
#include <gtest/gtest.h>
#include <string>
#include "app/mainwindow.h"
#include "platform/fs.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

namespace {

// Closing is refused while the start-up job runs: ask until the program is gone.
void Close(HANDLE process, HWND window) {
    for (int i = 0; i < 60 && WaitForSingleObject(process, i ? 500 : 0) != WAIT_OBJECT_0; i++)
        PostMessageA(window, WM_COMMAND, 101, 0);
    ASSERT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
}

// A started program, ended when the test leaves it running.
struct Running {
    HANDLE process;
    ~Running() {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 3);
        CloseHandle(process);
    }
};

std::string Utf16Le(const std::u16string& text) { // on a little-endian machine
    return "\xFF\xFE" + std::string((const char*)text.data(), text.size() * 2);
}

struct ProgramTest : ::testing::Test {
    TempFolder folder;
    std::string program, local, profile;
    void SetUp() override {
        program = CopyProgramTo(folder.path);
        local = folder.path + "\\QXUpd.INI";
        CreateDirectoryA((folder.path + "\\profile").c_str(), NULL);
        profile = folder.path + "\\profile\\QXUpd.INI";
        // A portable-drive host keeps the profile settings file inside the test folder.
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", folder.path.c_str());
        SetEnvironmentVariableA("U3_APP_DATA_PATH", (folder.path + "\\profile").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("U3_HOST_EXEC_PATH", NULL);
        SetEnvironmentVariableA("U3_APP_DATA_PATH", NULL);
        SetEnvironmentVariableA("TMP", NULL);
    }
    // Runs the program until its window appears and closes it as another program would
    // (command 101), after bringing a hidden window to the front.
    void RunAndClose(const std::string& arguments, bool visible) {
        Running run = {StartProgram(program, arguments)};
        HWND window = WaitForProcessWindow(run.process, "QXUpdate", 30000);
        ASSERT_NE(window, nullptr);
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

TEST(CommandLine, SlashAHidesOnlyAsTheFirstArgument) {
    const std::pair<const char*, int> cases[] = {
        {"QXUpdate.exe /a", 1},
        {"\"C:\\Program Files\\QXUpdate.exe\" \"/A\"", 1},
        {"QXUpdate.exe /\"A\" more", 1},
        {"QXUpdate.exe \"/A \"", 0},
        {"QXUpdate.exe /AB", 0},
        {"QXUpdate.exe x /A", 0},
        {"QXUpdate.exe", 0},
    };
    for (auto [line, hidden] : cases)
        EXPECT_EQ(StartedHidden(line), hidden) << line;
}

TEST_F(ProgramTest, UnwritableSettingsMoveToTheProfileAndTheTemporaryFolderGoes) {
    // The program's temporary folder goes at exit, and nothing beside it: not a folder of the
    // name earlier versions used, which anyone could have made.
    std::string temp = folder.path + "\\tmp";
    FsLocal()->CreateFolder((temp + "\\QXUpdate\\sub").c_str());
    WriteFileText(temp + "\\QXUpdate\\sub\\1", "package");
    WriteFileText(temp + "\\keep.txt", "keep");
    SetEnvironmentVariableA("TMP", temp.c_str());
    // Another program holds the local file open for reading only: it can be read but not
    // written. (A read-only attribute does the same on Windows; Wine running as root ignores it.)
    const std::string text = "[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n";
    WriteFileText(local, text);
    HANDLE reader = CreateFileA(local.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    RunAndClose("", true);
    CloseHandle(reader);
    EXPECT_EQ(ReadFileText(temp + "\\QXUpdate\\sub\\1"), "package");
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((temp + "\\QXUpdate-*").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << found.cFileName;
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    EXPECT_TRUE(FileExists(temp + "\\keep.txt"));
    EXPECT_EQ(ReadFileText(local), text);
    std::string moved = ReadFileText(profile);
    for (std::string part : {"Language=DE\r\nOpt=8\r\n", "Pos=", "Version=2025\r\n", "[Desk]\r\n.=#"})
        EXPECT_NE(moved.find(part), std::string::npos) << part << moved;
    EXPECT_NE(moved.find("[UseThis]\r\nOpt=" + profile + "\r\n"), std::string::npos) << moved;
}

// A second start for the same settings file hands over to the first copy and ends (whether
// another settings file makes another copy is the key's portable test).
TEST_F(ProgramTest, OneRunningCopyPerSettingsFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"/A", ""}, // shows the hidden first copy
        {"", "/A"}, // ends quietly
    };
    for (auto [first, second] : cases) {
        SCOPED_TRACE(first);
        Running running = {StartProgram(program, first)};
        HWND window = WaitForProcessWindow(running.process, "QXUpdate", 30000);
        ASSERT_NE(window, nullptr);
        WaitForInputIdle(running.process, 15000);
        Running next = {StartProgram(program, second)};
        EXPECT_EQ(WaitForSingleObject(next.process, 30000), WAIT_OBJECT_0);
        Sleep(300);
        EXPECT_TRUE(IsWindowVisible(window));
        Close(running.process, window);
    }
    // A first start writes the defaults.
    EXPECT_NE(ReadFileText(local).find("Language=US\r\n"), std::string::npos);
}

TEST_F(ProgramTest, SlashAStartsHiddenAndUtf16SettingsKeepTheirEncoding) {
    const std::u16string mine = u"[Mine]\r\nGreek=\u03A9\u03BC\u03AD\u03B3\u03B1 Gr\u00FC\u00DFe\r\n\r\n";
    WriteFileText(local, Utf16Le(mine + u"[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n"));
    RunAndClose("/a", false);
    std::string bytes = ReadFileText(local);
    EXPECT_EQ(bytes.rfind(Utf16Le(mine), 0), 0u) << bytes;
    // Without the byte order mark: the encoded lines, found at an even offset.
    EXPECT_EQ(bytes.find(Utf16Le(u"[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n").substr(2)) % 2, 0u) << bytes;
    EXPECT_EQ(bytes.find(Utf16Le(u"\r\nPos=").substr(2)) % 2, 0u) << bytes;
    EXPECT_FALSE(FileExists(profile));
}

} // namespace
