// The program's work on Windows, in the main window of the test process. Detection: version
// resources of real programs (built with the tests), the registry folders searched at start-up,
// and the drive scan in a Wine prefix whose only fixed drives are test folders (drivescan.sh).
// Against nginx and a server that misbehaves on purpose, both on loopback: the downloader, the
// catalogue and edition jobs, and "Update and install now" end to end, with packages made by
// qxpack from a stand-in product installed in test folders, running or not.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "catalogue/catalogue_win.h"
#include "catalogue/detect.h"
#include "platform/desktop_win.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "support/appwindow.h"
#include "support/testserver.h"
#include "support/winprocess.h"
#include "update/download.h"
#include "update/download_win.h"
#include "update/signature.h"
#include "update/statusline.h"
#include "update/updaterun_win.h"

namespace {

using Lines = std::vector<std::string>;

std::string Fixture(const char* name) {
    return TestProgramFolder() + "\\fixtures\\QX" + name + ".exe";
}

// Runs twice: in the default English setting and with German as the user's language.
TEST(VersionStrings, ByTheUsersLanguage) {
    bool german = GetUserDefaultLangID() == 0x0407;
    const char* asked = getenv("LC_ALL");
    ASSERT_TRUE(german || !asked || strncmp(asked, "de", 2) != 0) << "German was asked for";
    char company[64] = {0}, product[64] = {0}, version[32] = {0};
    ReadVersionStrings(Fixture("german").c_str(), company, product, version, "-");
    EXPECT_EQ(std::string(company) + "|" + product + "|" + version,
              german ? "Corvanware|QX Navigator Deutsch|5.10d" : "-|-|-");
}

struct DetectWinTest : AppWindowTest {
    void TearDown() override {
        AppWindowTest::TearDown();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvanware");
    }
    Lines SortedRows() {
        Lines rows = Rows();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(DetectWinTest, StartUpSearchesTheRegistryFolders) {
    std::string f = folder.path;
    for (auto copy : {std::make_pair("nav", "\\nav\\QX.exe"),
                      {"noname", "\\nav\\QXNoName.exe"},
                      {"taskkp", "\\task\\qxtool.EXE"},
                      {"seek", "\\class\\QXSeek.exe"},
                      {"nav", "\\cut\\QXNav.exe"}}) {
        std::string to = f + copy.second;
        CreateDirectoryA(to.substr(0, to.find_last_of('\\')).c_str(), NULL);
        ASSERT_TRUE(CopyFileA(Fixture(copy.first).c_str(), to.c_str(), FALSE)) << to;
    }
    // A product's key, a product code, a code of the class list only; and 1,024 bytes without
    // a terminator, which cut would name the folder "cut".
    std::string full = f + "\\cut";
    while (full.size() < 1023)
        full += "\\.";
    auto set = [](const char* key, const char* name, DWORD type, const std::string& data) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &k, NULL), 0);
        RegSetValueExA(k, name, 0, type, (const BYTE*)data.data(), (DWORD)data.size());
        RegCloseKey(k);
    };
    set("Software\\Corvanware\\QXNV", "Dir", REG_SZ, f + "\\nav");
    set("Software\\Corvanware", "qv", REG_SZ, f + "\\task");
    set("Software\\Corvanware", "zz", REG_SZ, f + "\\class");
    set("Software\\Corvanware", "qj", REG_BINARY, full.substr(0, 1023) + "x");
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Class]\r\nzz=QXSeekMain\r\n"
             "[Products]\r\n1=qj;QX Navigator;6.0;4.0;;" +
             f + "\\nav\\QX.exe\r\n2=xj;QX Draw;2.0;1.0;;" + f + "\\gone\\QXDraw.exe\r\n");
    Start();
    EXPECT_EQ(SortedRows(), (Lines{"QX Draw|2.0|1.0|Please update!|" + f + "\\gone\\QXDraw.exe#4",
                                   "QX Navigator|6.0|5.10|Please update!|" + f + "\\nav\\QX.exe#4",
                                   "QX Seek||1.5||" + f + "\\class\\QXSeek.exe#0",
                                   "QX Task Keeper||2.0.1||" + f + "\\task\\qxtool.EXE#0"}));
}

using DriveScanWinTest = DetectWinTest;

// Only in the drive-scan prefix: fixed drives D: (products and a link back to its root)
// and E: (a wide tree with a copy of QX Seek in 10 of its folders).
TEST_F(DriveScanWinTest, FindsEveryCopyOnceAndStops) {
    if (!getenv("QX_DRIVE_PREFIX")) GTEST_SKIP() << "runs in the drive-scan prefix only";
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Products]\r\n1=qj;QX "
             "Navigator;6.0;;;\r\n");
    Start();
    Lines all = {"QX Navigator|6.0|5.10|Please update!|D:\\QXNav.exe#4",
                 "QX Navigator|6.0|5.10|Please update!|D:\\apps\\two\\QXNav.exe#4"};
    for (int i = 0; i < 10; i++)
        all.push_back("QX Seek||1.5||E:\\deep\\a0" + std::to_string(i) + "\\QXSeek.exe#0");
    auto pane = [] {
        char text[260];
        PaneGetText(&gStatusLine, 0, text, sizeof text);
        return std::string(text);
    };

    // Stop while E: is being scanned: the rows found so far stay and are marked.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(PumpUntil([&] { return pane().find("E:\\deep\\") == 0; }, 20000)) << pane();
    Command(CMD_STOP);
    ASSERT_TRUE(WaitIdle());
    Lines rows = SortedRows();
    EXPECT_LT(rows.size(), all.size());
    EXPECT_TRUE(std::includes(all.begin(), all.end(), rows.begin(), rows.end()));
    EXPECT_TRUE(std::includes(rows.begin(), rows.end(), all.begin(), all.begin() + 2)); // D: first

    // A whole scan finds every copy once: the folders scanned before merge into their rows,
    // and the link back to D:\ is not followed.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SortedRows(), all);
}

// The main window, and a folder of its own on the update server for each test.
struct ServerTest : AppWindowTest {
    std::string site;
    void SetUp() override {
        AppWindowTest::SetUp();
        site = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        UseServer(ServerBaseUrl(site));
    }
    void UseServer(const std::string& base) { CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, base.c_str()); }
    void Serve(const std::string& path, const std::string& text) { ServeFile(site + "\\" + path, text); }
    int Requests(const std::string& path) { return ServerRequests("GET /" + site + "/" + path + " "); }
};

// A download on a worker thread, as the jobs run it.
struct Background {
    std::future<long> result;
    Background(const char* path, const std::string& target)
        : result(std::async(std::launch::async, [=] { return DownloadFile(path, target.c_str()); })) {}
    bool Done() { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

struct DownloadTest : ServerTest {
    void SetUp() override {
        ServerTest::SetUp();
        Start();
    }
    void TearDown() override {
        gDownloadStallMs = kDownloadStallMs;
        gUrlDownload = SystemUrlDownload;
        ServerTest::TearDown();
    }
    std::string Target(const std::string& name) { return folder.path + "\\new\\deeper\\" + name; }
    int Position() {
        Pump(150);
        return (int)SendMessageA(gStatusLine.progress, PBM_GETPOS, 0, 0);
    }
};

TEST_F(DownloadTest, StoresWholeAnswersOnlyAndNeverOverAnEarlierFile) {
    Serve("products.txt", "qj5.20 QX Navigator\r\n");
    const struct {
        std::string base;
        const char* path;
        unsigned long result;
    } cases[] = {
        {ServerBaseUrl(site), "products.txt", 0}, // into folders made first
        {ServerBaseUrl(site), "missing.txt", 0x800C0006ul},
        {ServerBaseUrl("forbidden"), "locked.txt", 0x800C0008ul},  // served without read rights: 403
        {BadServerBaseUrl("short"), "dw/a.cgi?qjd", 0x800C0008ul}, // shorter than its announced length
        {"http://127.0.0.1:9/", "products.txt", 0x800C0008ul},     // nothing listens
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base + c.path);
        std::string target = Target(std::to_string(&c - cases));
        if (c.result) WriteFileText(target, "earlier");
        UseServer(c.base);
        EXPECT_EQ((unsigned long)DownloadFile(c.path, target.c_str()), c.result);
        EXPECT_EQ(ReadFileText(target), c.result ? "earlier" : "qj5.20 QX Navigator\r\n");
    }
}

TEST_F(DownloadTest, ProgressFollowsTheLargestTotal) {
    DownloadProgress progress = {0};
    ProgressBegin(&gStatusLine);
    ProgressSetTotal(&gStatusLine, 0); // none left from the edition list read at the start
    // Without a total nothing moves; a shrinking total is ignored, a growing one starts again.
    const unsigned long steps[][3] = {
        {300, 0, 0}, {250, 1000, 25}, {500, 800, 50}, {0, 4000, 0}, {3000, 4000, 75}};
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s[0]) + " of " + std::to_string(s[1]));
        EXPECT_EQ(OnDownloadProgress(&progress, s[0], s[1]), 0);
        EXPECT_EQ(Position(), (int)s[2]);
    }
    DownloadProgress next = {0}; // a download without a total keeps the last one
    OnDownloadProgress(&next, 4000, 0);
    EXPECT_EQ(Position(), 100);

    // A real download ends at 100 % and hides the bar.
    Serve("big.bin", std::string(300000, 'x'));
    EXPECT_EQ(DownloadFile("big.bin", Target("big").c_str()), 0);
    EXPECT_EQ(Position(), 100);
    EXPECT_FALSE(IsWindowVisible(gStatusLine.progress));
}

// A download service that neither calls back nor looks at its queue for a while, then
// stores the file anyway.
HANDLE gDeafEnded = CreateEventA(NULL, TRUE, FALSE, NULL);
HRESULT WINAPI DeafDownload(LPUNKNOWN, LPCSTR, LPCSTR path, DWORD, LPBINDSTATUSCALLBACK) {
    Sleep(1500);
    WriteFileText(path, "late");
    SetEvent(gDeafEnded);
    return S_OK;
}

TEST_F(DownloadTest, EveryTransferEndsOnStopOrWhenTheServerGoesQuiet) {
    gDownloadStallMs = 1500;
    struct Case {
        std::string base; // empty: the download service above
        DWORD stopAfter;  // 0: no Stop
        unsigned long result;
    } cases[] = {
        {BadServerBaseUrl("silent"), 500, 0x80004004ul},
        // Bytes keep coming, slowly: no stall however long it takes, only Stop ends it.
        {BadServerBaseUrl("trickle"), 2500, 0x80004004ul},
        {"", 100, 0x80004004ul},
        // Nothing after connecting, or nothing after the first part of the body.
        {BadServerBaseUrl("silent"), 0, 0x800C000Bul},
        {BadServerBaseUrl("stall"), 0, 0x800C000Bul},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base + " Stop after " + std::to_string(c.stopAfter));
        UseServer(c.base);
        gUrlDownload = c.base.empty() ? DeafDownload : SystemUrlDownload;
        gApp->cancelRequested = 0;
        DWORD start = GetTickCount();
        std::string target = Target(c.base.empty() ? "deaf" : "big");
        Background b("big.bin", target);
        if (c.stopAfter) {
            Pump(c.stopAfter);
            EXPECT_FALSE(b.Done());
            gApp->cancelRequested = 1;
        }
        // A couple of seconds at most after Stop or after the stall time, and no stall before.
        EXPECT_TRUE(PumpUntil([&] { return b.Done(); }, c.stopAfter ? 3000 : gDownloadStallMs + 3000));
        EXPECT_GE(GetTickCount() - start, c.stopAfter ? 0ul : gDownloadStallMs);
        EXPECT_EQ((unsigned long)b.result.get(), c.result);
        EXPECT_FALSE(FileExists(target));
    }
    // What the service given up stored once it ended is removed, and the target never appears.
    EXPECT_EQ(WaitForSingleObject(gDeafEnded, 5000), WAIT_OBJECT_0);
    WIN32_FIND_DATAA found;
    EXPECT_TRUE(PumpUntil([&] {
        HANDLE find = FindFirstFileA(Target("deaf*").c_str(), &found);
        return find == INVALID_HANDLE_VALUE || !FindClose(find);
    }));
}

int gAsked, gWow64;

struct CatalogueWinTest : ServerTest {
    EditionHost saved = gEditionHost;
    void SetUp() override {
        ServerTest::SetUp();
        gAsked = 0, gWow64 = 0;
        gEditionHost = {[] { return gWow64; }, [](void*) { return ++gAsked, 0; }, NULL};
    }
    void TearDown() override {
        ServerTest::TearDown();
        gEditionHost = saved;
    }
    void CheckForUpdates() {
        Command(CMD_SEARCH_UPDATES);
        EXPECT_EQ(gApp->busyCount, 1);
        ASSERT_TRUE(WaitIdle());
        Pump(50);
    }
};

TEST_F(CatalogueWinTest, F5TakesTheCatalogueAsTheServerHasItNow) {
    Serve("products.txt", "qj5.20 QX Navigator\r\nqv2.4 QX Seek\r\nqz9.9 QX Hidden\r\nqt3.1 QX Task "
                          "Keeper\r\nxj1.8 QX Draw\r\n");
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n");
    Start();
    CheckForUpdates();
    Lines rows = {"QX Draw|1.8|||#0", "QX Navigator|5.20|||#0", "QX Seek|2.4|||#0",
                  "QX Task Keeper|3.1|||#0"};
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(GetRowData(gApp->listView, 1), 0x6A7100u); // "qj" in the item data
    // The server's catalogue changes (it lets clients keep answers for an hour).
    Serve("products.txt", "qj5.30 QX Navigator\r\n");
    CheckForUpdates();
    rows[1] = "QX Navigator|5.30|||#0";
    EXPECT_EQ(Rows(), rows);
}

TEST_F(CatalogueWinTest, EditionListOncePerYearAndWhenNoDefaultIsSet) {
    SysTime now;
    SysUtcTime(&now);
    std::string year = std::to_string(now.year), known = "\r\nd=Windows 32 bit\r\nw=Windows 64 bit\r\n";
    // The test prefix is a 64-bit Windows: the shipped 32-bit program runs there under WOW64.
    const bool program32 = sizeof(void*) == 4;
    EXPECT_EQ(IsWow64(), (int)program32);
    const struct {
        const char* what;
        std::string edition; // the section's body
        int wow64;           // -1: the system's answer, and the real question, answered Yes
        const char* after;   // "d", "Default" and "64" afterwards, and the questions asked
    } cases[] = {
        {"last year's list, as the program finds it: asked from the edition job",
         "Default=d\r\n*=" + std::to_string(now.year - 1) + known, -1,
         program32 ? "Renamed|w|1|0" : "Renamed|d|<none>|0"},
        {"no default: downloaded, on 64-bit Windows the 64-bit edition, silently", "", 1,
         "Renamed|w|<none>|0"},
        {"this year's list: no download, the question asked", "Default=d\r\n*=" + year + known, 1,
         "Windows 32 bit|d|1|1"},
        {"last year's list: downloaded again, keeping the choice",
         "Default=d\r\n*=" + std::to_string(now.year - 1) + known, 0, "Renamed|d|<none>|0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Serve("dw\\edi.txt", "dRenamed\r\nwRenamed 64\r\n");
        gWow64 = c.wow64;
        if (c.wow64 < 0) gEditionHost = saved;
        // The question comes from the job's thread while this one pumps messages.
        auto answer = std::async(std::launch::async, [&] {
            for (int n = 0; n < 1000 && c.wow64 < 0 && program32; n++, Sleep(10)) {
                HWND box = FindWindowA("#32770", NULL);
                DWORD owner = 0;
                if (box && GetWindowThreadProcessId(box, &owner) && owner == GetCurrentProcessId())
                    return PostMessageA(box, WM_COMMAND, IDYES, 0) != 0;
            }
            return false;
        });
        Settings("[QXUpdate]\r\nLanguage=US\r\n" + (c.edition.empty() ? "" : "[Edition]\r\n" + c.edition));
        Start();
        EXPECT_EQ(answer.get(), c.wow64 < 0 && program32);
        EXPECT_EQ(SettingsValue("Edition", "d") + "|" + SettingsValue("Edition", "Default") + "|" +
                      SettingsValue("QXUpdate", "64") + "|" + std::to_string(gAsked),
                  c.after);
        ASSERT_TRUE(Close());
        TearDown();
        SetUp();
    }
}

const char kClass[] = "QXNavigatorMain";

std::string StandIn(const char* version) {
    return TestProgramFolder() + "\\standin\\" + version + "\\QXNav.exe";
}

// The stand-ins running now (and the processes that started them).
std::vector<DWORD> StandIns(std::vector<DWORD>* parents = nullptr) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, "QXNav.exe") == 0) {
            found.push_back(entry.th32ProcessID);
            if (parents) parents->push_back(entry.th32ParentProcessID);
        }
    CloseHandle(snapshot);
    return found;
}

// The stand-in's newer version packed, signed, and damaged; the older version's program file.
std::string gGood, gSigned, gCorrupt, gOld;

UpdateHost gSavedHost;
void StopOnReadVersion(void* context, Product* record) {
    gApp->cancelRequested = 1;
    gSavedHost.ReadInstalledVersion(context, record);
}
// Stop pressed once the staging folder is there.
std::string gStage;
int StopWhileStaging(void* context) {
    if (FileExists(gStage)) gApp->cancelRequested = 1;
    return gSavedHost.CancelRequested(context);
}

const std::string kSign = "--sign \"" QX_TEST_KEYS "\\test-only-signing.secret\"";

// Runs qxpack with arguments; true when it succeeded.
bool RunQxpack(const std::string& arguments) {
    HANDLE process = StartProgram(TestProgramFolder() + "\\..\\tools\\qxpack\\qxpack.exe", arguments);
    DWORD code = 1;
    EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code == 0;
}

struct UpdateRunTest : ServerTest {

    // Packs the stand-in's newer version (options: qxpack's); returns the package.
    static std::string Pack(const char* name, const std::string& options) {
        std::string path = TestProgramFolder() + "\\standin\\" + name;
        EXPECT_TRUE(
            RunQxpack("build \"" + path + "\" --code qj " + options + " \"" + StandIn("5.20") + "\""));
        return ReadFileText(path);
    }
    static void SetUpTestSuite() {
        gGood = Pack("qj.pkg", "");
        gSigned = Pack("qj-signed.pkg", "--version 5.20 --edition w " + kSign);
        ASSERT_GT(gGood.size(), 90000u);
        gCorrupt = gGood;
        gCorrupt[gCorrupt.size() - 200] ^= 0x10;
        gOld = ReadFileText(StandIn("5.10"));
    }
    void SetUp() override {
        ServerTest::SetUp();
        gSavedHost = gUpdateHost;
    }
    void TearDown() override {
        gUpdateHost = gSavedHost;
        gPackagePublicKey[0] = 0;
        // No stand-in outlives its test.
        for (DWORD id : StandIns()) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (!process) continue;
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        ServerTest::TearDown();
    }
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
    void StartWith(const std::string& settings, const Lines& rows) {
        std::string products = "[Products]\r\n";
        for (size_t i = 0; i < rows.size(); i++)
            products += std::to_string(i + 1) + "=" + rows[i] + "\r\n";
        Settings("[QXUpdate]\r\nLanguage=US\r\n" + settings + products);
        Start();
    }
    // Two outdated products and an up-to-date one, for the Stop tests.
    void StartWithTwoOutdated(const std::string& a, const std::string& b) {
        StartWith("[Class]\r\nqa=QXA\r\nqb=QXB\r\n",
                  {"qa;QX A;5.20;5.10;;" + a, "qb;QX B;5.20;5.10;;" + b, "qc;QX C;1.0;1.0;;C:\\QX\\QXC.exe"});
    }
    void UpdateNow() {
        Command(CMD_UPDATE_NOW);
        ASSERT_TRUE(WaitIdle());
        Pump(50);
    }
};

// With a key set only signed packages are installed: a product whose package is refused is
// not even closed for it.
TEST_F(UpdateRunTest, RunningProductIsClosedUpdatedAndStartedAgain) {
    // Not in the class list yet: it is downloaded, and "+" makes the product name the window class.
    Serve("dw\\cls.txt", "qj+\r\nqk+\r\n");
    WriteFileText(folder.path + "\\cls.txt", "qj+\r\nqk+\r\n");
    ASSERT_TRUE(RunQxpack("sign-list \"" + folder.path + "\\cls.txt\" " + kSign));
    Serve("dw\\cls.sig", ReadFileText(folder.path + "\\cls.sig"));
    Serve("dw\\packages\\qjw.pkg", gSigned);
    Serve("dw\\packages\\qkw.pkg", gGood);
    std::string running = Install("running"), idle = Install("idle"), refused = Install("refused");
    HANDLE process = Launch(running), left = Launch(refused);
    std::string key = ReadFileText(QX_TEST_KEYS "\\test-only-signing.public").substr(0, 64);
    CopyText(gPackagePublicKey, sizeof gPackagePublicKey, key.c_str());
    // Two copies of one product, nothing selected.
    std::string row = std::string(";") + kClass + ";5.20;5.10;;";
    StartWith("[Edition]\r\nDefault=w\r\n*=2000\r\n",
              {"qj" + row + running, "qj" + row + idle, "qk" + row + refused});
    gLastStartWay = 0;
    UpdateNow();
    Lines rows = Rows();
    std::sort(rows.begin(), rows.end());
    std::string updated = std::string(kClass) + "|5.20|5.20|Updated at|";
    EXPECT_EQ(rows, (Lines{std::string(kClass) + "|5.20|5.10|Install error|" + refused + "#2",
                           updated + idle + "#3", updated + running + "#3"}));
    EXPECT_EQ(Requests("dw/a.cgi?qjw"), 2);
    EXPECT_EQ(Requests("dw/cls.txt"), 1);
    EXPECT_EQ(ReadFileText(refused), gOld);
    // The running copy was closed and its new version started by the desktop shell beside the
    // refused one; the idle one was not started.
    EXPECT_EQ(gLastStartWay, START_BY_DESKTOP_SHELL);
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(left, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(process);
    CloseHandle(left);
    EXPECT_EQ(StandIns().size(), 2u);
}

TEST_F(UpdateRunTest, FailuresAndRowsWithoutAPackageLeaveTheProductsAsTheyWere) {
    Serve("products.txt", "qv2.4 QX Seek\r\n");
    Serve("dw\\packages\\qbd.pkg", gCorrupt);
    std::string a = Install("a"), b = Install("b");
    HANDLE running = Launch(b); // its package is corrupt: it is never closed
    // A staging folder an earlier, killed run left in a product folder that gets no package:
    // the run's start clears it all the same.
    std::string stage = folder.path + "\\a\\~qxstage7";
    CreateDirectoryA(stage.c_str(), NULL);
    WriteFileText(stage + "\\qxstage.tag", "");
    StartWith("[Class]\r\nqa=QXA\r\nqb=QXNavigatorMain\r\n",
              {"qa;QX A;5.20;5.10;;" + a, "qb;QX B;5.20;5.10;;" + b, "qd;QX D;5.20;5.10;;",
               "qv;QX Seek;2.4;2.4;;C:\\QX\\QXSeek.exe", ";Unknown;1.0;0.9;;C:\\QX\\Unknown.exe"});
    UpdateNow();
    // The catalogue the last row needs is fetched before the first: the errors stay.
    EXPECT_EQ(Rows(),
              (Lines{"QX A|5.20|5.10|Download error|" + a + "#2", "QX B|5.20|5.10|Install error|" + b + "#2",
                     "QX D|5.20|5.10|Install error|#2", "QX Seek|2.4|2.4|Is up-to-date|C:\\QX\\QXSeek.exe#3",
                     "Unknown|1.0|0.9|Not in the catalogue|C:\\QX\\Unknown.exe#2"}));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 0);
    EXPECT_EQ(ServerRequests("GET /" + site + "/dw/a.cgi?"), 2); // qad and qbd: without an edition set, "d"
    EXPECT_EQ(Requests("products.txt"), 1);
    for (const std::string& path : {a, b}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ReadFileText(path), gOld);
        int files = 0;
        FsLocal()->Enumerate(
            path.substr(0, path.size() - 10).c_str(), [](const FsEntry*, void* c) { return ++*(int*)c, 0; },
            &files);
        EXPECT_EQ(files, 1);
    }
    EXPECT_EQ(WaitForSingleObject(running, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(running);
}

TEST_F(UpdateRunTest, StopDuringADownloadStopsTheOutdatedRowsAfterIt) {
    UseServer(ServerBaseUrl(site, true));
    Serve("dw\\packages\\qad.pkg", std::string(1 << 20, 'x')); // 16 seconds at 64 KiB/s
    Serve("dw\\packages\\qbd.pkg", gGood);
    std::string a = Install("a"), b = Install("b");
    StartWithTwoOutdated(a, b);
    Command(CMD_UPDATE_NOW);
    ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(gStatusLine.progress) != 0; }));
    Pump(300);
    Command(CMD_STOP);
    ASSERT_TRUE(WaitIdle());
    Pump(50);
    EXPECT_EQ(Rows(), (Lines{"QX A|5.20|5.10|Stopped by user|" + a + "#4",
                             "QX B|5.20|5.10|Stopped by user|" + b + "#4",
                             "QX C|1.0|1.0|Is up-to-date|C:\\QX\\QXC.exe#3"}));
    EXPECT_EQ(ReadFileText(a), gOld);
    EXPECT_EQ(Requests("dw/a.cgi?qbd"), 0);
}

// Stop while a package is staged: its running product is neither closed nor changed.
TEST_F(UpdateRunTest, StopWhileStagingLeavesTheProductRunning) {
    Serve("dw\\packages\\qad.pkg", gGood);
    std::string a = Install("a");
    HANDLE running = Launch(a);
    gStage = folder.path + "\\a\\~qxstage";
    gUpdateHost.CancelRequested = StopWhileStaging;
    StartWith("[Class]\r\nqa=QXNavigatorMain\r\n", {"qa;QX A;5.20;5.10;;" + a});
    UpdateNow();
    EXPECT_EQ(Rows(), (Lines{"QX A|5.20|5.10|Stopped by user|" + a + "#4"}));
    EXPECT_EQ(ReadFileText(a), gOld);
    EXPECT_EQ(WaitForSingleObject(running, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(running);
}

TEST_F(UpdateRunTest, StopAfterTheFilesWereReplacedKeepsTheUpdate) {
    Serve("dw\\packages\\qad.pkg", gGood);
    std::string a = Install("a"), b = Install("b");
    gUpdateHost.ReadInstalledVersion = StopOnReadVersion;
    StartWithTwoOutdated(a, b);
    UpdateNow();
    EXPECT_EQ(Rows(),
              (Lines{"QX A|5.20|5.20|Updated at|" + a + "#3", "QX B|5.20|5.10|Stopped by user|" + b + "#4",
                     "QX C|1.0|1.0|Is up-to-date|C:\\QX\\QXC.exe#3"}));
}

// A product whose window goes at once but whose process ends late is updated and started
// again, not left closed; one that ignores the close is left alone, within the close bound.
TEST_F(UpdateRunTest, ProductsSlowToCloseAreWaitedForWithinTheBound) {
    Serve("dw\\packages\\qjd.pkg", gGood);
    Serve("dw\\packages\\qkd.pkg", gGood);
    std::string slow = Install("slow"), stubborn = Install("stubborn");
    HANDLE slowProcess = Launch(slow, "/slowexit"), stubbornProcess = Launch(stubborn, "/stubborn");
    StartWith("[Class]\r\nqj=QXNavigatorMain\r\nqk=QXNavigatorMain\r\n",
              {"qj;QX A;5.20;5.10;;" + slow, "qk;QX B;5.20;5.10;;" + stubborn});
    DWORD start = GetTickCount();
    UpdateNow();
    EXPECT_LT(GetTickCount() - start, 2 * (CLOSE_WAIT_MS + 3000));
    EXPECT_EQ(Rows(), (Lines{"QX A|5.20|5.20|Updated at|" + slow + "#3",
                             "QX B|5.20|5.10|Install error|" + stubborn + "#2"}));
    EXPECT_EQ(ReadFileText(stubborn), gOld);
    EXPECT_FALSE(FileExists(folder.path + "\\stubborn\\~qxstage")); // its stage was discarded
    EXPECT_EQ(WaitForSingleObject(stubbornProcess, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(slowProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(StandIns().size(), 2u); // the stubborn one, and the slow one's new version
    CloseHandle(slowProcess);
    CloseHandle(stubbornProcess);
}

HRESULT NoDesktopShell(IShellDispatch2**, HWND*) {
    return HRESULT_FROM_WIN32(ERROR_CLASS_DOES_NOT_EXIST);
}

HRESULT HungDesktopShell(IShellDispatch2**, HWND*) {
    Sleep(1500);
    return E_FAIL;
}

// A product is started by the desktop shell, or from here only where no shell answers; a help
// viewer that must not start here is not started at all then.
TEST_F(UpdateRunTest, ProgramsStartThroughTheDesktopShellOrHereWhereNoneAnswers) {
    FindDesktopShellProc shell = gFindDesktopShell;
    const struct {
        FindDesktopShellProc find;
        int (*start)(const char*, const char*, const char*, int);
        LONG way;
        bool started;
    } cases[] = {{shell, StartAsDesktopUser, START_BY_DESKTOP_SHELL, true},
                 {NoDesktopShell, StartAsDesktopUser, START_BY_THIS_PROCESS, true},
                 {NoDesktopShell, StartThroughDesktopShell, 0, false},
                 // A shell that does not answer holds the caller only so long, and is not
                 // second-guessed: it may still start the program.
                 {HungDesktopShell, StartAsDesktopUser, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        gFindDesktopShell = c.find;
        gDesktopShellWait = c.find == HungDesktopShell ? 300 : 5000;
        gLastStartWay = 0;
        EXPECT_EQ(c.start(StandIn("5.10").c_str(), "/x", NULL, SW_SHOWNORMAL) == 0, c.started);
        EXPECT_EQ(gLastStartWay, c.way);
        EXPECT_EQ(PumpUntil([] { return StandIns().size() == 1 && FindWindowA(kClass, NULL); },
                            c.started ? 10000 : 500),
                  c.started);
        // Started by the shell, it is not a child of this process.
        std::vector<DWORD> parents;
        StandIns(&parents);
        EXPECT_EQ(std::count(parents.begin(), parents.end(), GetCurrentProcessId()),
                  c.way == START_BY_THIS_PROCESS);
        TearDown();
        SetUp();
    }
    gFindDesktopShell = shell;
    gDesktopShellWait = 5000;
}

// What a compromised server may send, each refused with the products left as they were and
// the window answering: packages bound to another release or product, lists unsigned,
// forged, signed for another list, expired or older than the one taken, and endless answers.
TEST_F(UpdateRunTest, ACompromisedServerCannotRollBackFreezeSwapOrFlood) {
    std::string key = ReadFileText(QX_TEST_KEYS "\\test-only-signing.public").substr(0, 64),
                at = folder.path + "\\";
    auto pack = [](const std::string& binding) { return Pack("b.pkg", binding + " " + kSign); };
    auto sign = [&](const std::string& name, const std::string& options = "") {
        WriteFileText(at + name, "qj5.40 QX Navigator\r\n");
        EXPECT_TRUE(RunQxpack("sign-list \"" + at + name + "\" " + kSign + " " + options));
        return ReadFileText(at + name.substr(0, name.size() - 4) + ".sig");
    };
    const std::string signedList = sign("products.txt"), asClasses = sign("cls.txt"),
                      list = "qj5.40 QX Navigator\r\n";
    const std::string stale = sign("products.txt", "--issued 2020-01-01T00:00:00Z --expires 1");
    const std::string cls = "[Class]\r\nqj=QXNavigatorMain\r\n", pkg = "dw\\packages\\qjd.pkg",
                      cat = "products.txt";
    const std::string unverified = "The list could not be verified", old = "The list is out of date";
    const struct {
        const char* what;
        const char* bad; // the misbehaving server's mode, or NULL
        int command;     // Update or F5
        std::string settings, file, content, file2, content2;
        std::string row; // Act.Version, state text and image; after F5 the status line's text
    } cases[] = {
        {"rollback", NULL, 105, cls, pkg, pack("--version 5.10 --edition d"), "", "", "5.30 Install error#2"},
        {"a version only beginning alike", NULL, 105, cls, pkg, pack("--version 5.3 --edition d"), "", "",
         "5.30 Install error#2"},
        {"another edition", NULL, 105, cls, pkg, pack("--version 5.30 --edition w"), "", "",
         "5.30 Install error#2"},
        {"another product's", NULL, 105, cls, pkg, pack("--code qk --version 5.30 --edition d"), "", "",
         "5.30 Install error#2"},
        {"endless package", "endless", 105, cls, "", "", "", "", "5.30 Download error#2"},
        {"announced over the cap", "huge", 105, cls, "", "", "", "", "5.30 Download error#2"},
        {"unsigned class list", NULL, 105, "[Class]\r\nqj=\r\n", pkg, pack("--version 5.30 --edition d"),
         "dw\\cls.txt", "qjQXNavigatorMain\r\n", "5.30 " + unverified + "#2"},
        {"expired catalogue", NULL, 105, "[Lists]\r\nproducts.txt=1,2\r\n", "", "", "", "",
         "5.10 " + old + "#2"},
        {"signed catalogue", NULL, 103, "", cat, list, "products.sig", signedList, "5.40 Please update!#4 "},
        {"unsigned catalogue", NULL, 103, "", cat, list, "", "", "5.30 Please update!#4 " + unverified},
        {"forged catalogue", NULL, 103, "", cat, "qj5.41 X\r\n", "products.sig", signedList,
         "5.30 Please update!#4 " + unverified},
        {"signed as the class list", NULL, 103, "", cat, list, "products.sig", asClasses,
         "5.30 Please update!#4 " + unverified},
        {"expired", NULL, 103, "", cat, list, "products.sig", stale, "5.30 Please update!#4 " + old},
        {"older than the one taken", NULL, 103, "[Lists]\r\nproducts.txt=99999999999,99999999999\r\n", cat,
         list, "products.sig", signedList, "5.30 Please update!#4 " + old},
        {"endless catalogue", "endless", 103, "", "", "", "", "", "5.30 Please update!#4 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string product = Install("p"), version = c.row.substr(0, 4) == "5.10" ? "5.10" : "5.30";
        if (!c.file.empty()) Serve(c.file, c.content);
        if (!c.file2.empty()) Serve(c.file2, c.content2);
        CopyText(gPackagePublicKey, sizeof gPackagePublicKey, key.c_str());
        StartWith("[Edition]\r\nDefault=d\r\n*=2000\r\n" + c.settings,
                  {"qj;QX N;" + version + ";5.10;;" + product});
        if (c.bad) UseServer(BadServerBaseUrl(c.bad));
        Command(c.command);
        DWORD longest = 0, start = GetTickCount();
        for (DWORD before = start; gApp->busyCount && before - start < 20000; before = GetTickCount()) {
            Pump(10);
            longest = std::max(longest, GetTickCount() - before);
        }
        EXPECT_LT(longest, 1000u); // the window never stopped answering
        char pane[260] = "";
        PaneGetText(&gStatusLine, 0, pane, sizeof pane);
        std::string row = Rows().at(0);
        size_t state = row.find('|', 10) + 1;
        EXPECT_EQ(row.substr(5, 4) + " " + row.substr(state, row.find('|', state) - state) +
                      row.substr(row.find('#')) + (c.command == 103 ? " " + std::string(pane) : ""),
                  c.row);
        EXPECT_EQ(ReadFileText(product), gOld);
        ASSERT_TRUE(Close());
        Restart();
        for (const std::string& file : {c.file, c.file2})
            if (!file.empty())
                DeleteFileA((TestProgramFolder() + "\\..\\server\\www\\" + site + "\\" + file).c_str());
    }
}

} // namespace
