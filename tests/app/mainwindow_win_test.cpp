// The main window in the test process: the command gate, closing, placement, columns,
// rows, state icons, tooltips, the status line's progress, and pictures of it all.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "settings/store.h"
#include "support/appwindow.h"
#include "update/statusline.h"

namespace {

// A job that runs until the test lets it end, and records what it saw at its start.
struct ControlledJob {
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, NULL);
    volatile LONG started = 0;
    volatile LONG cancelAtStart = -1;
    volatile LONG cancelAtEnd = -1;
    ~ControlledJob() { CloseHandle(release); }
};
ControlledJob* gJob;

void ControlledWork(void*) {
    InterlockedIncrement(&gJob->started);
    gJob->cancelAtStart = gApp->cancelRequested;
    WaitForSingleObject(gJob->release, 10000);
    gJob->cancelAtEnd = gApp->cancelRequested;
}

struct MainWindowTest : AppWindowTest {
    ControlledJob job;
    JobTable saved = gJobs;
    void SetUp() override {
        AppWindowTest::SetUp();
        gJob = &job;
        gJobs.catalogue = gJobs.driveScan = gJobs.updateRun = ControlledWork;
    }
    void TearDown() override {
        SetEvent(job.release);
        AppWindowTest::TearDown();
        gJobs = saved;
    }
    std::vector<int> EnabledButtons() {
        std::vector<int> enabled;
        for (int id : {104, 110, 103, 108, 105, 102, 109, 901})
            if (ButtonEnabled(id)) enabled.push_back(id);
        return enabled;
    }
    // Gives the command (and a second one right after) and waits until the next job runs.
    bool Run(int command, int then = 0) {
        ResetEvent(job.release);
        LONG before = job.started;
        Command(command);
        if (then) Command(then);
        return PumpUntil([&] { return job.started == before + 1; });
    }
    void Finish() {
        SetEvent(job.release);
        ASSERT_TRUE(WaitIdle());
        Pump(150);
    }
};

TEST_F(MainWindowTest, GateAllowsOneJobAndRefusesToCloseWhileBusy) {
    Start();
    EXPECT_EQ(EnabledButtons(), (std::vector<int>{104, 110, 103, 108, 105, 109, 901}));
    PressKey(VK_F5);               // through the accelerator table
    Command(CMD_SEARCH_INSTALLED); // a second start command right after the first
    Command(CMD_SEARCH_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
    Pump(100);
    EXPECT_EQ(job.started, 1);
    EXPECT_EQ(EnabledButtons(), (std::vector<int>{108, 102, 901}));
    EXPECT_FALSE(Close()); // refused while busy
    Finish();
    EXPECT_EQ(job.started, 1);
    EXPECT_EQ(EnabledButtons(), (std::vector<int>{104, 110, 103, 108, 105, 109, 901}));
    EXPECT_TRUE(Close());
}

TEST_F(MainWindowTest, JobIsDoneWithTheStatusLineBeforeCloseGetsThrough) {
    Start();
    ASSERT_TRUE(Run(CMD_SEARCH_INSTALLED)); // a job that empties pane 0 at its end
    PaneSetText(&gStatusLine, "C:\\Programme", 0, 100);
    SetEvent(job.release);
    // This thread does not pump: a job that waits for it is either let through (busyCount
    // down, the close possible) or waiting for it to lower busyCount.
    for (int i = 0; i < 2000 && gApp->busyCount != 0; i++) {
        if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) break;
        Sleep(1);
    }
    ASSERT_TRUE(PumpUntil([] { return gApp->busyCount == 0; }));
    // What the job still writes after this point would go to a freed status line.
    char text[64];
    PaneGetText(&gStatusLine, 0, text, sizeof text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(gStatusLine.panes[2].icon, nullptr);
    EXPECT_TRUE(Close());
}

TEST_F(MainWindowTest, StopReachesOnlyTheJobItWasGivenFor) {
    Start();
    PressKey(VK_ESCAPE); // while idle: must not stop the next job
    EXPECT_EQ(gApp->cancelRequested, 1);
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
    Finish();
    EXPECT_EQ(job.cancelAtStart, 0);
    EXPECT_EQ(job.cancelAtEnd, 0);
    // Given before the job's thread got going (the window thread has not pumped since).
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES, CMD_STOP));
    Finish();
    EXPECT_EQ(job.cancelAtStart, 1);
    // A stray end message from elsewhere does not end a job.
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
    SendMessageA(window, MSG_JOB_ENDED, 0, 0);
    EXPECT_EQ(gApp->busyCount, 1);
    Finish();
}

TEST_F(MainWindowTest, RowsGoInSortedAndCommandsTakeTheSelectedOnes) {
    Start();
    for (const char* name : {"QX Seek", "QX Ledger", "QX Task Keeper", "QX Navigator", "QX Alpha"})
        InsertRow(gApp->listView, -1, name, 0, 0);
    ASSERT_TRUE(Run(CMD_UPDATE_NOW)); // none selected: every row
    EXPECT_EQ(SelectedRowCount(gApp->listView), 5);
    Finish();
    SelectRow(gApp->listView, -1, 0);
    for (int row : {0, 2, 3})
        SelectRow(gApp->listView, row, 1);
    Command(CMD_REMOVE_ROWS);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"QX Ledger||||#0", "QX Task Keeper||||#0"}));
    SelectRow(gApp->listView, 1, 1);
    ASSERT_TRUE(Run(CMD_UPDATE_NOW));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 1);
    Finish();
    PressKey('A', true); // Ctrl+A selects every row
    EXPECT_EQ(SelectedRowCount(gApp->listView), 2);
}

// The state goes into the low byte of the row's data; the icon follows a posted message.
TEST_F(MainWindowTest, RowStateKeepsTheProductInTheRowData) {
    Start();
    int row = InsertRow(gApp->listView, -1, "QX Seek", 0, 0x716A00);
    SetRowState(row, ROW_ERROR);
    EXPECT_EQ(GetRowData(gApp->listView, row), 0x716A02u);
    EXPECT_EQ(GetRowData(gApp->listView, 7), 0u);
    Pump(30);
    EXPECT_EQ(GetRowImage(gApp->listView, row), 2);
    SetRowStateText(row, 7005); // "Updated at " and the time, after two blanks
    char text[1024];
    GetRowText(gApp->listView, row, 3, text, sizeof text);
    EXPECT_EQ(std::string(text).rfind("Updated at ", 0), 0u) << text;
    EXPECT_NE(std::string(text).find("  "), std::string::npos) << text;
}

TEST_F(MainWindowTest, EndOfSessionWritesTheSettingsFileAlsoDuringAJob) {
    // After WM_ENDSESSION the process is ended without WM_DESTROY: the file must be written by then.
    // The column layout is the one read (with the desktop it was written on) and changed.
    int w, h;
    SysWorkAreaSize(&w, &h);
    char desk[64];
    snprintf(desk, sizeof desk, "#%x,%x", (unsigned)w, (unsigned)h);
    Settings(
        std::string("[QXUpdate]\r\nLanguage=US\r\nCol0=120,1\r\nCol1=70,0\r\nCol2=60,2\r\nCol3=90,3\r\n") +
        "Col4=200,4\r\n[Desk]\r\n.=" + desk + "\r\n");
    Start(SW_SHOWNORMAL, true);
    InsertRow(gApp->listView, -1, "QX Seek", 0, 0);
    MoveWindow(window, 30, 40, 640, 480, TRUE);
    SendMessageA(gApp->listView, LVM_SETCOLUMNWIDTH, 2, 75);
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    std::string saved = ReadFileText(settingsPath);
    for (const char* line :
         {"Pos=30,40,640,480,1\r\n", "Col0=120,1\r\nCol1=70,0\r\nCol2=75,2\r\n", "Col4=200,4\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
    size_t products = saved.find("[Products]\r\n1=");
    ASSERT_NE(products, std::string::npos) << saved;
    EXPECT_NE(saved.find("QX Seek", products), std::string::npos) << saved;
    Finish();
}

TEST_F(MainWindowTest, PlacementRoundTrip) {
    struct Case {
        const char* pos;
        bool maximised;
        const char* expected; // null: the default size at the system's position
    } cases[] = {
        {"30,40,640,480,1", false, "30,40,640,480"},
        {"10,20,600,400,3", true, nullptr},
        {"30,40,49,480,1", false, nullptr},
        {"30,40,640,480,2", false, "30,40,640,480"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        Settings(std::string("[QXUpdate]\r\nLanguage=US\r\nPos=") + c.pos + "\r\n");
        Start();
        RECT r;
        GetWindowRect(window, &r);
        std::string size = std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top);
        std::string shown = std::to_string(r.left) + "," + std::to_string(r.top) + "," + size;
        EXPECT_EQ(IsZoomed(window) != 0, c.maximised);
        std::string standard = std::to_string(ScaleToScreen(800)) + "," + std::to_string(ScaleToScreen(600));
        if (!c.maximised) {
            EXPECT_EQ(c.expected ? shown : size, c.expected ? c.expected : standard);
        }
        ASSERT_TRUE(Close());
        EXPECT_EQ(SettingsValue("QXUpdate", "Pos"), shown + (c.maximised ? ",3" : ",1"));
        Restart();
    }
}

// The download tests follow the common percentages; these are the edges.
TEST_F(MainWindowTest, ProgressStopsAtTheTotalAndIsNeverRoundedUp) {
    Start();
    ProgressBegin(&gStatusLine);
    ProgressSetTotal(&gStatusLine, 4000);
    for (auto [position, expected] :
         {std::pair<int, const char*>{5000, "100|  100 %"}, {3999, "99|  99 %"}}) {
        ProgressSetPosition(&gStatusLine, position);
        Pump(150);
        char text[64];
        PaneGetText(&gStatusLine, 1, text, sizeof text);
        EXPECT_EQ(std::to_string(SendMessageA(gStatusLine.progress, PBM_GETPOS, 0, 0)) + "|" + text,
                  expected);
    }
    ProgressEnd(&gStatusLine);
}

WNDPROC gStatusLineProc;
volatile LONG gStatusPaints;

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) InterlockedIncrement(&gStatusPaints);
    return CallWindowProcA(gStatusLineProc, window, message, wParam, lParam);
}

TEST_F(MainWindowTest, PaneChangedEvery20MsIsStillRedrawn) {
    Start();
    Pump(200);
    gStatusLineProc = (WNDPROC)SetWindowLongPtrA(gStatusLine.window, GWLP_WNDPROC, (LONG_PTR)CountPaints);
    gStatusPaints = 0;
    for (int i = 0; i < 50; i++) {
        PaneSetText(&gStatusLine, ("  " + std::to_string(i) + " %").c_str(), 1, 100);
        Pump(20);
    }
    SetWindowLongPtrA(gStatusLine.window, GWLP_WNDPROC, (LONG_PTR)gStatusLineProc);
    EXPECT_GE(gStatusPaints, 4);
}

// The tooltips follow the language; pictures of the window idle and busy.
TEST_F(MainWindowTest, LanguagesAndPictures) {
    for (const char* language : {"US", "DE"}) {
        SCOPED_TRACE(language);
        bool english = language[0] == 'U';
        Settings(std::string("[QXUpdate]\r\nLanguage=") + language + "\r\nPos=0,0,800,500,1\r\n");
        Start();
        NMTTDISPINFOA info = {};
        info.hdr.hwndFrom = (HWND)SendMessageA(gApp->toolbar, TB_GETTOOLTIPS, 0, 0);
        info.hdr.idFrom = CMD_SEARCH_UPDATES;
        info.hdr.code = TTN_GETDISPINFOA;
        SendMessageA(window, WM_NOTIFY, 0, (LPARAM)&info);
        EXPECT_STREQ(info.lpszText, english ? "Seach for new updates" : "Updates suchen");
        InsertRow(gApp->listView, -1, "QX Navigator", 4, 0x716A04);
        SetRowText(gApp->listView, 0, 1, "5.20");
        SetRowText(gApp->listView, 0, 2, "5.10");
        SetRowStateText(0, 7002);
        SetRowText(gApp->listView, 0, 4, "C:\\Programme\\QX Navigator\\QXNav.exe");
        Pump(300);
        std::string prefix = std::string("main-") + language;
        EXPECT_TRUE(SaveWindowPicture(window, prefix + "-idle.png"));
        ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
        PaneSetText(&gStatusLine, "C:\\Programme\\QX Navigator", 0, 100);
        ProgressBegin(&gStatusLine);
        ProgressSetTotal(&gStatusLine, 100);
        ProgressSetPosition(&gStatusLine, 42);
        Pump(400);
        EXPECT_TRUE(SaveWindowPicture(window, prefix + "-busy.png"));
        ProgressEnd(&gStatusLine);
        Finish();
        ASSERT_TRUE(Close());
        Restart();
    }
}

} // namespace
