// The downloader against nginx and a misbehaving server on loopback: stored files, HTTP
// errors, progress in the status line, Stop and stalls whatever the server does.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <chrono>
#include <future>
#include <string>
#include "app/appstate.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "support/appwindow.h"
#include "support/testserver.h"
#include "update/download.h"
#include "update/download_win.h"
#include "update/statusline.h"

namespace {

// A download on a worker thread, as the jobs run it.
struct Background {
    std::future<long> result;
    Background(const char* path, const std::string& target)
        : result(std::async(std::launch::async, [=] { return DownloadFile(path, target.c_str()); })) {}
    bool Done() { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

struct DownloadTest : AppWindowTest {
    void SetUp() override {
        AppWindowTest::SetUp();
        Start();
    }
    void TearDown() override {
        gDownloadStallMs = kDownloadStallMs;
        gUrlDownload = URLDownloadToFileA;
        gApp->cancelRequested = 0;
        AppWindowTest::TearDown();
    }
    void UseServer(const std::string& base) { CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, base.c_str()); }
    std::string Target(const std::string& name) { return folder.path + "\\new\\deeper\\" + name; }
    int Position() {
        Pump(150);
        return (int)SendMessageA(gStatusLine.progress, PBM_GETPOS, 0, 0);
    }
};

TEST_F(DownloadTest, StoresWholeAnswersOnlyAndNeverOverAnEarlierFile) {
    ServeFile("download\\products.txt", "qj5.20 QX Navigator\r\n");
    const struct {
        std::string base;
        const char* path;
        unsigned long result; // 1: any failure
    } cases[] = {
        {ServerBaseUrl("download"), "products.txt", 0}, // into folders made first
        {ServerBaseUrl("download"), "missing.txt", 0x800C0006ul},
        {ServerBaseUrl("forbidden"), "locked.txt", 0x800C0008ul},  // served without read rights: 403
        {BadServerBaseUrl("short"), "dw/a.cgi?qjd", 0x800C0008ul}, // shorter than its announced length
        {"http://127.0.0.1:9/", "products.txt", 1},                // nothing listens
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base + c.path);
        std::string target = Target(std::to_string(&c - cases));
        if (c.result) WriteFileText(target, "earlier");
        UseServer(c.base);
        long result = DownloadFile(c.path, target.c_str());
        if (c.result == 1)
            EXPECT_NE(result, 0);
        else
            EXPECT_EQ((unsigned long)result, c.result);
        EXPECT_EQ(ReadFileText(target), c.result ? "earlier" : "qj5.20 QX Navigator\r\n");
    }
}

TEST_F(DownloadTest, ProgressFollowsTheLargestTotal) {
    DownloadProgress progress = {0};
    ProgressBegin(&gStatusLine);
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
    ProgressEnd(&gStatusLine);

    // A real download ends at 100 % and hides the bar.
    ServeFile("download\\big.bin", std::string(300000, 'x'));
    UseServer(ServerBaseUrl("download"));
    EXPECT_EQ(DownloadFile("big.bin", Target("big").c_str()), 0);
    EXPECT_EQ(Position(), 100);
    EXPECT_FALSE(IsWindowVisible(gStatusLine.progress));
}

TEST_F(DownloadTest, EveryTransferEndsOnStopOrWhenTheServerGoesQuiet) {
    gDownloadStallMs = 1500;
    struct Case {
        std::string base;
        DWORD stopAfter; // 0: no Stop
        unsigned long result;
    } cases[] = {
        {BadServerBaseUrl("silent"), 500, 0x80004004ul},
        // Bytes keep coming, slowly: no stall however long it takes, only Stop ends it.
        {BadServerBaseUrl("trickle"), 2500, 0x80004004ul},
        // Nothing after connecting, or nothing after the first part of the body.
        {BadServerBaseUrl("silent"), 0, 0x800C000Bul},
        {BadServerBaseUrl("stall"), 0, 0x800C000Bul},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base + " Stop after " + std::to_string(c.stopAfter));
        UseServer(c.base);
        gApp->cancelRequested = 0;
        DWORD start = GetTickCount();
        Background b("big.bin", Target("big"));
        if (c.stopAfter) {
            Pump(c.stopAfter);
            EXPECT_FALSE(b.Done());
            gApp->cancelRequested = 1;
        }
        DWORD stop = GetTickCount();
        // A couple of seconds at most after Stop or after the stall time.
        EXPECT_TRUE(PumpUntil([&] { return b.Done(); }, c.stopAfter ? 3000 : gDownloadStallMs + 3000));
        if (!c.stopAfter) {
            EXPECT_GE(GetTickCount() - start, gDownloadStallMs);
        }
        EXPECT_LT(GetTickCount() - stop, c.stopAfter ? 3000ul : gDownloadStallMs + 3000ul);
        EXPECT_EQ((unsigned long)b.result.get(), c.result);
        EXPECT_FALSE(FileExists(Target("big")));
    }
}

// A download service that neither calls back nor looks at its queue for a while, then
// stores the file anyway.
HANDLE gDeafEnded;
HRESULT WINAPI DeafDownload(LPUNKNOWN, LPCSTR, LPCSTR path, DWORD, LPBINDSTATUSCALLBACK) {
    Sleep(1500);
    WriteFileText(path, "late");
    SetEvent(gDeafEnded);
    return S_OK;
}

TEST_F(DownloadTest, StopGivesUpOnAServiceThatDoesNotAnswer) {
    gUrlDownload = DeafDownload;
    gDeafEnded = CreateEventA(NULL, TRUE, FALSE, NULL);
    Background b("products.txt", Target("deaf"));
    Pump(100);
    gApp->cancelRequested = 1;
    EXPECT_TRUE(PumpUntil([&] { return b.Done(); }, 3000));
    EXPECT_EQ((unsigned long)b.result.get(), 0x80004004ul);
    EXPECT_EQ(WaitForSingleObject(gDeafEnded, 5000), WAIT_OBJECT_0);
    // What the service stored once it ended is removed, and the target never appears.
    std::string folder = Target("");
    EXPECT_TRUE(PumpUntil([&] {
        int files = 0;
        FsLocal()->Enumerate(
            folder.c_str(), [](const FsEntry*, void* c) { return ++*(int*)c, 0; }, &files);
        return files == 0;
    }));
    CloseHandle(gDeafEnded);
}

} // namespace
