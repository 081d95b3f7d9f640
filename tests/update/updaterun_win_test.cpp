// "Update and install now", end to end: the main window in the test process, packages made
// by qxpack from a stand-in product and served by nginx on loopback, and the stand-in
// installed in test folders, running or not.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <algorithm>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "catalogue/detect.h"
#include "platform/text.h"
#include "support/appwindow.h"
#include "support/testserver.h"
#include "support/winprocess.h"
#include "update/download.h"
#include "update/signature.h"
#include "update/statusline.h"
#include "update/updaterun_win.h"

namespace {

using Lines = std::vector<std::string>;

const char kClass[] = "QXNavigatorMain";

std::string StandIn(const char* version) {
    return TestProgramFolder() + "\\standin\\" + version + "\\QXNav.exe";
}

// The processes whose program file lies below folder.
std::vector<DWORD> ProcessesIn(const std::string& folder) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process) continue;
        char path[MAX_PATH * 2];
        DWORD size = sizeof path;
        if (QueryFullProcessImageNameA(process, 0, path, &size) &&
            CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path,
                           (int)std::min<size_t>(size, folder.size()), folder.c_str(),
                           (int)folder.size()) == CSTR_EQUAL)
            found.push_back(entry.th32ProcessID);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

// The packages every test serves: the stand-in's newer version, and two broken copies.
std::string gGood, gCorrupt, gCut, gSigned;

FILETIME WriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

UpdateHost gSavedHost;
void StopOnReadVersion(void* context, Product* record) {
    gApp->cancelRequested = 1;
    gSavedHost.ReadInstalledVersion(context, record);
}

struct UpdateRunTest : AppWindowTest {
    std::string site;

    // Packs the stand-in's newer version (options: qxpack's), once per build of the stand-in
    // for all the test processes of a run; returns the package.
    static std::string Pack(const char* name, const std::string& options) {
        std::string path = TestProgramFolder() + "\\standin\\" + name, program = StandIn("5.20");
        FILETIME made = WriteTime(path), built = WriteTime(program);
        if (CompareFileTime(&made, &built) <= 0) {
            std::string qxpack = TestProgramFolder() + "\\..\\tools\\qxpack\\qxpack.exe";
            HANDLE process =
                StartProgram(qxpack, "build \"" + path + "\" --code qj " + options + " \"" + program + "\"");
            DWORD code = 1;
            EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
            GetExitCodeProcess(process, &code);
            CloseHandle(process);
            EXPECT_EQ(code, 0u);
        }
        return ReadFileText(path);
    }
    static void SetUpTestSuite() {
        gGood = Pack("qj.pkg", "");
        gSigned = Pack("qj-signed.pkg", "--sign \"" QX_TEST_KEYS "\\test-only-signing.secret\"");
        ASSERT_GT(gGood.size(), 90000u);
        gCorrupt = gGood;
        gCorrupt[gCorrupt.size() - 200] ^= 0x10;
        gCut = gGood.substr(0, gGood.size() - 2000);
    }
    void SetUp() override {
        AppWindowTest::SetUp();
        site = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        UseServer(false);
        gSavedHost = gUpdateHost;
    }
    void TearDown() override {
        gUpdateHost = gSavedHost;
        gPackagePublicKey[0] = 0;
        // No stand-in outlives its test.
        for (DWORD id : ProcessesIn(folder.path)) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (!process) continue;
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        AppWindowTest::TearDown();
    }
    void UseServer(bool slow) {
        CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, ServerBaseUrl(site, slow).c_str());
    }
    void Serve(const std::string& path, const std::string& content) {
        ServeFile(site + "\\" + path, content);
    }
    int Requests(const std::string& path) { return ServerRequests("GET /" + site + "/" + path + " "); }
    // Installs the older stand-in into a folder of its own; returns the program file.
    std::string Install(const std::string& name) {
        std::string path = folder.path + "\\" + name + "\\QXNav.exe";
        CreateDirectoryA((folder.path + "\\" + name).c_str(), NULL);
        EXPECT_TRUE(CopyFileA(StandIn("5.10").c_str(), path.c_str(), FALSE));
        return path;
    }
    HANDLE Launch(const std::string& path, const std::string& arguments = "") {
        HANDLE process = StartProgram(path, arguments);
        EXPECT_NE(WaitForProcessWindow(process, kClass, 10000), nullptr);
        return process;
    }
    static std::string Row(const char* code, const char* name, const char* act, const char* inst,
                           const std::string& location) {
        return std::string(code) + ";" + name + ";" + act + ";" + inst + ";;" + location;
    }
    void StartWith(const std::string& settings, const Lines& rows) {
        std::string products = "[Products]\r\n";
        for (size_t i = 0; i < rows.size(); i++)
            products += std::to_string(i + 1) + "=" + rows[i] + "\r\n";
        Settings("[QXUpdate]\r\nLanguage=US\r\n" + settings + products);
        Start();
    }
    void UpdateNow() {
        Command(CMD_UPDATE_NOW);
        ASSERT_TRUE(WaitIdle());
        Pump(50);
    }
    static std::string Version(const std::string& path) {
        Product record = {};
        CopyText(record.location, sizeof record.location, path.c_str());
        ReadInstalledVersion(&record);
        return record.instVersion;
    }
};

TEST_F(UpdateRunTest, RunningProductIsClosedUpdatedAndStartedAgain) {
    Serve("dw\\cls.txt", "qjQXNavigatorMain\r\n");
    Serve("dw\\packages\\qjd.pkg", gGood);
    std::string running = Install("running"), idle = Install("idle");
    HANDLE process = Launch(running);
    // No edition set, no class list yet; two copies of one product, nothing selected.
    StartWith("", {Row("qj", "QX Navigator", "5.20", "5.10", running),
                   Row("qj", "QX Navigator", "5.20", "5.10", idle)});
    UpdateNow();
    Lines rows = Rows();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Lines{"QX Navigator|5.20|5.20|Updated at|" + idle + "#3",
                           "QX Navigator|5.20|5.20|Updated at|" + running + "#3"}));
    EXPECT_EQ(Requests("dw/a.cgi?qjd"), 2);
    EXPECT_EQ(Requests("dw/cls.txt"), 1);
    EXPECT_EQ(Version(running), "5.20");
    EXPECT_EQ(Version(idle), "5.20");
    // The running copy was closed and its new version started; the other one was not started.
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    CloseHandle(process);
    EXPECT_EQ(ProcessesIn(folder.path + "\\running\\").size(), 1u);
    EXPECT_EQ(ProcessesIn(folder.path + "\\idle\\").size(), 0u);
}

TEST_F(UpdateRunTest, EditionLetterAndTheProductNameAsWindowClass) {
    Serve("dw\\packages\\qjw.pkg", gGood);
    std::string path = Install("product");
    HANDLE process = Launch(path);
    StartWith("[Edition]\r\nDefault=w\r\n*=2000\r\n[Class]\r\nqj=+\r\n",
              {Row("qj", kClass, "5.20", "5.10", path)});
    UpdateNow();
    EXPECT_EQ(Rows(), (Lines{std::string(kClass) + "|5.20|5.20|Updated at|" + path + "#3"}));
    EXPECT_EQ(Requests("dw/a.cgi?qjw"), 1);
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    CloseHandle(process);
}

TEST_F(UpdateRunTest, RowsThatNeedNoPackage) {
    Serve("products.txt", "qv2.4 QX Seek\r\n");
    StartWith("", {Row("qv", "QX Seek", "2.4", "2.4", "C:\\QX\\QXSeek.exe"),
                   Row("", "QX Mystery", "1.0", "0.9", "C:\\QX\\QXMystery.exe")});
    UpdateNow();
    EXPECT_EQ(Rows(), (Lines{"QX Mystery|1.0|0.9|Not in the catalogue|C:\\QX\\QXMystery.exe#2",
                             "QX Seek|2.4|2.4|Is up-to-date|C:\\QX\\QXSeek.exe#3"}));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 0);
    EXPECT_EQ(Requests("dw/a.cgi"), 0);
    EXPECT_EQ(Requests("products.txt"), 1);
    // An empty list starts nothing.
    SelectRow(gApp->listView, -1, 1);
    Command(CMD_REMOVE_ROWS);
    Command(CMD_UPDATE_NOW);
    EXPECT_EQ(gApp->busyCount, 0);
}

TEST_F(UpdateRunTest, FailuresLeaveTheProductAsItWas) {
    Serve("dw\\packages\\qbd.pkg", gCorrupt);
    Serve("dw\\packages\\qcd.pkg", gCut);
    std::string a = Install("a"), b = Install("b"), c = Install("c");
    std::string before = ReadFileText(b);
    // A staging folder an earlier, killed run left in a product folder that gets no package:
    // the run's start clears it all the same.
    std::string stage = folder.path + "\\a\\~qxstage7";
    CreateDirectoryA(stage.c_str(), NULL);
    WriteFileText(stage + "\\qxstage.tag", "");
    StartWith("[Class]\r\nqa=QXA\r\nqb=QXB\r\nqc=QXC\r\n",
              {Row("qa", "QX A", "5.20", "5.10", a), Row("qb", "QX B", "5.20", "5.10", b),
               Row("qc", "QX C", "5.20", "5.10", c), Row("qd", "QX D", "5.20", "5.10", "")});
    UpdateNow();
    EXPECT_EQ(Rows(),
              (Lines{"QX A|5.20|5.10|Download error|" + a + "#2", "QX B|5.20|5.10|Install error|" + b + "#2",
                     "QX C|5.20|5.10|Install error|" + c + "#2", "QX D|5.20|5.10|Install error|#2"}));
    for (const std::string& path : {a, b, c}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ReadFileText(path), before);
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((path.substr(0, path.size() - 9) + "*").c_str(), &entry);
        int files = 0;
        do
            files += entry.cFileName[0] != '.';
        while (FindNextFileA(find, &entry));
        FindClose(find);
        EXPECT_EQ(files, 1);
    }
    EXPECT_EQ(Requests("dw/a.cgi?qdd"), 0);
}

TEST_F(UpdateRunTest, ACutPackageIsADownloadError) {
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, BadServerBaseUrl("short").c_str());
    std::string path = Install("product");
    std::string before = ReadFileText(path);
    StartWith("[Class]\r\nqj=QXNavigatorMain\r\n", {Row("qj", "QX Navigator", "5.20", "5.10", path)});
    UpdateNow();
    EXPECT_EQ(Rows(), (Lines{"QX Navigator|5.20|5.10|Download error|" + path + "#2"}));
    EXPECT_EQ(ReadFileText(path), before);
}

TEST_F(UpdateRunTest, WithAKeyOnlySignedPackagesAreInstalled) {
    Serve("dw\\packages\\qjd.pkg", gSigned);
    Serve("dw\\packages\\qkd.pkg", gGood);
    std::string a = Install("a"), b = Install("b");
    std::string before = ReadFileText(b);
    HANDLE process = Launch(b);
    std::string key = ReadFileText(QX_TEST_KEYS "\\test-only-signing.public").substr(0, 64);
    CopyText(gPackagePublicKey, sizeof gPackagePublicKey, key.c_str());
    StartWith("[Class]\r\nqj=QXNavigatorMain\r\nqk=QXNavigatorMain\r\n",
              {Row("qj", "QX A", "5.20", "5.10", a), Row("qk", "QX B", "5.20", "5.10", b)});
    UpdateNow();
    EXPECT_EQ(Rows(),
              (Lines{"QX A|5.20|5.20|Updated at|" + a + "#3", "QX B|5.20|5.10|Install error|" + b + "#2"}));
    EXPECT_EQ(ReadFileText(b), before);
    // The product whose package was refused was not closed for it.
    EXPECT_EQ(WaitForSingleObject(process, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(process);
}

TEST_F(UpdateRunTest, StopDuringADownloadStopsTheOutdatedRowsAfterIt) {
    UseServer(true);
    Serve("dw\\packages\\qad.pkg", std::string(1 << 20, 'x')); // 16 seconds at 64 KiB/s
    Serve("dw\\packages\\qbd.pkg", gGood);
    std::string a = Install("a"), b = Install("b");
    StartWith("[Class]\r\nqa=QXA\r\nqb=QXB\r\n",
              {Row("qa", "QX A", "5.20", "5.10", a), Row("qb", "QX B", "5.20", "5.10", b),
               Row("qc", "QX C", "1.0", "1.0", "C:\\QX\\QXC.exe")});
    Command(CMD_UPDATE_NOW);
    ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(gStatusLine.progress) != 0; }));
    Pump(300);
    Command(CMD_STOP);
    ASSERT_TRUE(WaitIdle());
    Pump(50);
    EXPECT_EQ(Rows(), (Lines{"QX A|5.20|5.10|Stopped by user|" + a + "#4",
                             "QX B|5.20|5.10|Stopped by user|" + b + "#4",
                             "QX C|1.0|1.0|Is up-to-date|C:\\QX\\QXC.exe#3"}));
    EXPECT_EQ(Version(a), "5.10");
    EXPECT_EQ(Requests("dw/a.cgi?qbd"), 0);
}

TEST_F(UpdateRunTest, StopAfterTheFilesWereReplacedKeepsTheUpdate) {
    Serve("dw\\packages\\qad.pkg", gGood);
    std::string a = Install("a"), b = Install("b");
    gUpdateHost.ReadInstalledVersion = StopOnReadVersion;
    StartWith("[Class]\r\nqa=QXA\r\nqb=QXB\r\n",
              {Row("qa", "QX A", "5.20", "5.10", a), Row("qb", "QX B", "5.20", "5.10", b),
               Row("qc", "QX C", "1.0", "1.0", "C:\\QX\\QXC.exe")});
    UpdateNow();
    EXPECT_EQ(Rows(),
              (Lines{"QX A|5.20|5.20|Updated at|" + a + "#3", "QX B|5.20|5.10|Stopped by user|" + b + "#4",
                     "QX C|1.0|1.0|Is up-to-date|C:\\QX\\QXC.exe#3"}));
}

// Its window gone but its process still ending after the close bound: the product is
// updated and started again, not left closed.
TEST_F(UpdateRunTest, AProductSlowToEndIsUpdatedAndStartedAgain) {
    Serve("dw\\packages\\qjd.pkg", gGood);
    std::string path = Install("product");
    HANDLE process = Launch(path, "/slowexit");
    StartWith("[Class]\r\nqj=QXNavigatorMain\r\n", {Row("qj", "QX Navigator", "5.20", "5.10", path)});
    UpdateNow();
    EXPECT_EQ(Rows(), (Lines{"QX Navigator|5.20|5.20|Updated at|" + path + "#3"}));
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
    EXPECT_EQ(ProcessesIn(folder.path).size(), 1u); // the new version, started again
}

TEST_F(UpdateRunTest, AProductThatIgnoresTheCloseEndsWithinTheBound) {
    Serve("dw\\packages\\qjd.pkg", gGood);
    std::string path = Install("product");
    std::string before = ReadFileText(path);
    HANDLE process = Launch(path, "/stubborn");
    StartWith("[Class]\r\nqj=QXNavigatorMain\r\n", {Row("qj", "QX Navigator", "5.20", "5.10", path)});
    DWORD start = GetTickCount();
    UpdateNow();
    EXPECT_LT(GetTickCount() - start, CLOSE_WAIT_MS + 3000);
    EXPECT_EQ(Rows(), (Lines{"QX Navigator|5.20|5.10|Install error|" + path + "#2"}));
    EXPECT_EQ(ReadFileText(path), before);
    EXPECT_EQ(WaitForSingleObject(process, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(process);
}

} // namespace
