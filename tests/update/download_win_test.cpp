// The downloader against nginx and a misbehaving server on loopback: stored files, HTTP
// errors, no stale answers, progress in the status line, Stop and stalls whatever the
// server does, and cut answers.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
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

struct DownloadTest : AppWindowTest {
    void UseServer() { CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, ServerBaseUrl("download").c_str()); }
    void TearDown() override {
        gDownloadStallMs = kDownloadStallMs;
        gUrlDownload = URLDownloadToFileA;
        AppWindowTest::TearDown();
    }
    std::string Target(const char* name) { return folder.path + "\\new\\deeper\\" + name; }
    std::string Shown() {
        Pump(150);
        char text[64];
        PaneGetText(&gStatusLine, 1, text, sizeof text);
        return std::to_string(SendMessageA(gStatusLine.progress, PBM_GETPOS, 0, 0)) + "|" + text;
    }
};

TEST_F(DownloadTest, StoresFilesAndRefusesErrorAnswers) {
    UseServer();
    ServeFile("download\\products.txt", "qj5.20 QX Navigator\r\n");
    std::string target = Target("1");
    EXPECT_EQ(DownloadFile("products.txt", target.c_str()), 0); // the folders are made first
    EXPECT_EQ(ReadFileText(target), "qj5.20 QX Navigator\r\n");

    // An error answer is a failure, and its page is not left behind as the file.
    EXPECT_EQ((unsigned long)DownloadFile("missing.txt", Target("2").c_str()), 0x800C0006ul);
    EXPECT_FALSE(FileExists(Target("2")));
    // The test run serves forbidden/locked.txt without read rights: 403.
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, ServerBaseUrl("forbidden").c_str());
    EXPECT_EQ((unsigned long)DownloadFile("locked.txt", Target("3").c_str()), 0x800C0008ul);
    EXPECT_FALSE(FileExists(Target("3")));
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, "http://127.0.0.1:9/");
    EXPECT_NE(DownloadFile("products.txt", Target("4").c_str()), 0); // nothing listens
    EXPECT_FALSE(FileExists(Target("4")));
}

TEST_F(DownloadTest, ChangedFilesAreReadAnew) {
    // The server allows clients to keep its answers for an hour.
    UseServer();
    ServeFile("download\\dw\\cls.txt", "qjFirst\r\n");
    std::string target = Target("cls");
    ASSERT_EQ(DownloadFile("dw/cls.txt", target.c_str()), 0);
    EXPECT_EQ(ReadFileText(target), "qjFirst\r\n");
    ServeFile("download\\dw\\cls.txt", "qjSecond version\r\n");
    ASSERT_EQ(DownloadFile("dw/cls.txt", target.c_str()), 0);
    EXPECT_EQ(ReadFileText(target), "qjSecond version\r\n");
}

TEST_F(DownloadTest, ProgressFollowsTheLargestTotal) {
    Start();
    DownloadProgress progress = {0};
    ProgressBegin(&gStatusLine);
    // No total: positions change nothing.
    EXPECT_EQ(OnDownloadProgress(&progress, 300, 0), 0);
    EXPECT_EQ(Shown(), "0|");
    EXPECT_EQ(OnDownloadProgress(&progress, 250, 1000), 0);
    EXPECT_EQ(Shown(), "25|  25 %");
    // A shrinking total is ignored.
    OnDownloadProgress(&progress, 500, 800);
    EXPECT_EQ(Shown(), "50|  50 %");
    // A growing total starts again from the next position.
    OnDownloadProgress(&progress, 0, 4000);
    EXPECT_EQ(Shown(), "0|  0 %");
    OnDownloadProgress(&progress, 3000, 4000);
    EXPECT_EQ(Shown(), "75|  75 %");
    // A download without a total keeps the last one.
    DownloadProgress next = {0};
    OnDownloadProgress(&next, 4000, 0);
    EXPECT_EQ(Shown(), "100|  100 %");
    gApp->cancelRequested = 1;
    EXPECT_EQ((unsigned long)OnDownloadProgress(&next, 1, 0), 0x80004004ul);
    ProgressEnd(&gStatusLine);

    // A real download ends at 100 % and hides the bar.
    ServeFile("download\\big.bin", std::string(300000, 'x'));
    UseServer();
    gApp->cancelRequested = 0;
    ProgressSetTotal(&gStatusLine, 0);
    EXPECT_EQ(DownloadFile("big.bin", Target("big").c_str()), 0);
    EXPECT_EQ(Shown(), "100|  100 %");
    EXPECT_FALSE(IsWindowVisible(gStatusLine.progress));
}

// A download on a worker thread, as the jobs run it.
struct Background {
    std::string path, target;
    volatile long result = 1;
    volatile LONG done = 0;
    HANDLE thread = NULL;
    static DWORD WINAPI Run(void* parameter) {
        Background* b = (Background*)parameter;
        b->result = DownloadFile(b->path.c_str(), b->target.c_str());
        InterlockedExchange(&b->done, 1);
        return 0;
    }
    void Start() { thread = CreateThread(NULL, 0, Run, this, 0, NULL); }
    ~Background() {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
};

TEST_F(DownloadTest, EveryTransferEndsOnStopOrWhenTheServerGoesQuiet) {
    Start();
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
        CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, c.base.c_str());
        gApp->cancelRequested = 0;
        Background b;
        b.path = "big.bin", b.target = Target("big");
        DWORD start = GetTickCount();
        b.Start();
        if (c.stopAfter) {
            Pump(c.stopAfter);
            EXPECT_EQ(b.done, 0);
            gApp->cancelRequested = 1;
        }
        DWORD stop = GetTickCount();
        // A couple of seconds at most after Stop or after the stall time.
        EXPECT_TRUE(PumpUntil([&] { return b.done != 0; }, c.stopAfter ? 3000 : gDownloadStallMs + 3000));
        if (!c.stopAfter) {
            EXPECT_GE(GetTickCount() - start, gDownloadStallMs);
        }
        EXPECT_LT(GetTickCount() - stop, c.stopAfter ? 3000ul : gDownloadStallMs + 3000ul);
        EXPECT_EQ((unsigned long)b.result, c.result);
        EXPECT_FALSE(FileExists(b.target));
    }
    gApp->cancelRequested = 0;
}

TEST_F(DownloadTest, ACutAnswerIsAFailureAndChangesNoFile) {
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, BadServerBaseUrl("short").c_str());
    std::string target = Target("package");
    EXPECT_EQ((unsigned long)DownloadFile("dw/a.cgi?qjd", target.c_str()), 0x800C0008ul);
    EXPECT_FALSE(FileExists(target));
    WriteFileText(target, "earlier");
    EXPECT_EQ((unsigned long)DownloadFile("dw/a.cgi?qjd", target.c_str()), 0x800C0008ul);
    EXPECT_EQ(ReadFileText(target), "earlier");
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
    Start();
    gUrlDownload = DeafDownload;
    gDeafEnded = CreateEventA(NULL, TRUE, FALSE, NULL);
    Background b;
    b.path = "products.txt", b.target = Target("deaf");
    b.Start();
    Pump(100);
    gApp->cancelRequested = 1;
    EXPECT_TRUE(PumpUntil([&] { return b.done != 0; }, 3000));
    EXPECT_EQ((unsigned long)b.result, 0x80004004ul);
    EXPECT_EQ(WaitForSingleObject(gDeafEnded, 5000), WAIT_OBJECT_0);
    // What the service stored once it ended is removed, and the target never appears.
    std::string folder = Target("");
    EXPECT_TRUE(PumpUntil([&] {
        int files = 0;
        FsLocal()->Enumerate(
            folder.c_str(), [](const FsEntry*, void* c) { return ++*(int*)c, 0; }, &files);
        return files == 0;
    }));
    EXPECT_FALSE(FileExists(b.target));
    CloseHandle(gDeafEnded);
    gApp->cancelRequested = 0;
}

} // namespace
