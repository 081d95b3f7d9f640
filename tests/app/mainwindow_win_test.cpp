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
#include "support/screenshot.h"
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
    std::vector<std::string> RowNames() {
        std::vector<std::string> names;
        for (int row = 0; row < RowCount(gApp->listView); row++) {
            char text[64];
            GetRowText(gApp->listView, row, 0, text, sizeof text);
            names.push_back(text);
        }
        return names;
    }
    void Finish() {
        SetEvent(job.release);
        ASSERT_TRUE(WaitIdle());
        Pump(150);
    }
    // After the window closed: the next case starts afresh.
    void Restart() {
        CloseStore(&gSettings);
        TearDown();
        SetUp();
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
    EXPECT_TRUE(IsWindow(window));
    Finish();
    EXPECT_EQ(job.started, 1);
    EXPECT_EQ(EnabledButtons(), (std::vector<int>{104, 110, 103, 108, 105, 109, 901}));
    EXPECT_TRUE(Close());
}

TEST_F(MainWindowTest, JobIsDoneWithTheStatusLineBeforeCloseGetsThrough) {
    Start();
    Command(CMD_SEARCH_INSTALLED); // a job that empties pane 0 at its end
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
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

TEST_F(MainWindowTest, EscapeWhileIdleDoesNotStopTheNextJob) {
    Start();
    PressKey(VK_ESCAPE);
    EXPECT_EQ(gApp->cancelRequested, 1);
    Command(CMD_SEARCH_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
    Finish();
    EXPECT_EQ(job.cancelAtStart, 0);
    EXPECT_EQ(job.cancelAtEnd, 0);

    ResetEvent(job.release);
    Command(CMD_SEARCH_UPDATES); // Stop during a job reaches it
    ASSERT_TRUE(PumpUntil([&] { return job.started == 2; }));
    Command(CMD_STOP);
    Finish();
    EXPECT_EQ(job.cancelAtEnd, 1);

    // Stop given before the job's thread got going (the window thread has not pumped since)
    // is not lost either.
    ResetEvent(job.release);
    Command(CMD_SEARCH_UPDATES);
    Command(CMD_STOP);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 3; }));
    Finish();
    EXPECT_EQ(job.cancelAtStart, 1);
    // A stray end message from elsewhere does not end a job.
    ResetEvent(job.release);
    Command(CMD_SEARCH_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 4; }));
    SendMessageA(window, MSG_JOB_ENDED, 0, 0);
    EXPECT_EQ(gApp->busyCount, 1);
    Finish();
}

TEST_F(MainWindowTest, UpdateSelectsEveryRowWhenNoneIsSelected) {
    Start();
    Command(CMD_UPDATE_NOW); // empty list: nothing starts
    Pump(100);
    EXPECT_EQ(job.started, 0);
    for (const char* name : {"QX Seek", "QX Navigator", "QX Task Keeper"})
        InsertRow(gApp->listView, -1, name, 0, 0);
    Command(CMD_UPDATE_NOW);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 3);
    Finish();

    SelectRow(gApp->listView, -1, 0);
    SelectRow(gApp->listView, 1, 1);
    Command(CMD_UPDATE_NOW);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 2; }));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 1);
    Finish();
}

TEST_F(MainWindowTest, RowsComeBackSortedAndSelectedRowsAreRemoved) {
    Start();
    EXPECT_EQ(InsertRow(gApp->listView, -1, "QX Seek", 0, 0), 0);
    EXPECT_EQ(InsertRow(gApp->listView, -1, "QX Ledger", 0, 0), 0);
    EXPECT_EQ(InsertRow(gApp->listView, -1, "QX Task Keeper", 0, 0), 2);
    EXPECT_EQ(InsertRow(gApp->listView, -1, "QX Navigator", 0, 0), 1);
    EXPECT_EQ(InsertRow(gApp->listView, -1, "QX Alpha", 0, 0), 0);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"QX Alpha", "QX Ledger", "QX Navigator", "QX Seek",
                                                    "QX Task Keeper"}));
    for (int row : {0, 2, 3})
        SelectRow(gApp->listView, row, 1);
    Command(CMD_REMOVE_ROWS);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"QX Ledger", "QX Task Keeper"}));
    PressKey('A', true); // Ctrl+A selects every row
    EXPECT_EQ(SelectedRowCount(gApp->listView), 2);
}

TEST_F(MainWindowTest, RowStateChangesTheIconAfterTheMessage) {
    Start();
    int row = InsertRow(gApp->listView, -1, "QX Seek", 0, 0x716A00);
    SetRowState(row, ROW_ERROR);
    EXPECT_EQ(GetRowData(gApp->listView, row), 0x716A02u);
    EXPECT_EQ(GetRowImage(gApp->listView, row), 0); // the icon follows the posted message
    Pump(30);
    EXPECT_EQ(GetRowImage(gApp->listView, row), 2);
    SetRowState(row, ROW_DONE);
    Pump(30);
    EXPECT_EQ(GetRowData(gApp->listView, row), 0x716A03u);
    EXPECT_EQ(GetRowImage(gApp->listView, row), 3);
    EXPECT_EQ(GetRowData(gApp->listView, 7), 0u);

    SetRowStateText(row, 7005);
    char text[1024];
    GetRowText(gApp->listView, row, 3, text, sizeof text);
    EXPECT_EQ(std::string(text).rfind("Updated at ", 0), 0u) << text;
    EXPECT_NE(std::string(text).find("  "), std::string::npos) << text;
}

TEST_F(MainWindowTest, EndOfSessionWritesTheSettingsFileAlsoDuringAJob) {
    // After WM_ENDSESSION the process is ended without WM_DESTROY: the file must be written by then.
    Settings("[QXUpdate]\r\nLanguage=US\r\n");
    Start();
    InsertRow(gApp->listView, -1, "QX Seek", 0, 0);
    MoveWindow(window, 30, 40, 640, 480, TRUE);
    Command(CMD_SEARCH_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    std::string saved = ReadFileText(settingsPath);
    EXPECT_NE(saved.find("Pos=30,40,640,480,1\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Col0="), std::string::npos) << saved;
    size_t products = saved.find("[Products]\r\n1=");
    ASSERT_NE(products, std::string::npos) << saved;
    EXPECT_NE(saved.find("QX Seek", products), std::string::npos) << saved;
    Finish();
}

TEST_F(MainWindowTest, PlacementRoundTrip) {
    struct Case {
        std::string pos;
        bool maximised;
        RECT expected; // empty: the default size at the system's position
    } cases[] = {
        {"30,40,640,480,1", false, {30, 40, 670, 520}},
        {"10,20,600,400,3", true, {}},
        {"30,40,49,480,1", false, {}},
        {"30,40,640,480,2", false, {30, 40, 670, 520}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        Settings("[QXUpdate]\r\nLanguage=US\r\nPos=" + c.pos + "\r\n");
        Start();
        RECT r;
        GetWindowRect(window, &r);
        EXPECT_EQ(IsZoomed(window) != 0, c.maximised);
        if (c.expected.right) {
            EXPECT_EQ(r.left, c.expected.left);
            EXPECT_EQ(r.top, c.expected.top);
            EXPECT_EQ(r.right, c.expected.right);
            EXPECT_EQ(r.bottom, c.expected.bottom);
        } else if (!c.maximised) {
            EXPECT_EQ(r.right - r.left, ScaleToScreen(800));
            EXPECT_EQ(r.bottom - r.top, ScaleToScreen(600));
        }
        ASSERT_TRUE(Close());
        std::string saved = SettingsValue("QXUpdate", "Pos");
        std::string expected = std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                               std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top) +
                               (c.maximised ? ",3" : ",1");
        EXPECT_EQ(saved, expected);
        Restart();
    }
}

TEST_F(MainWindowTest, ColumnLayoutIsKeptUnlessTheDesktopChanged) {
    int w, h;
    SysWorkAreaSize(&w, &h);
    char desk[64];
    snprintf(desk, sizeof desk, "#%x,%x", (unsigned)w, (unsigned)h);
    Settings(
        std::string("[QXUpdate]\r\nCol0=120,1\r\nCol1=70,0\r\nCol2=60,2\r\nCol3=90,3\r\nCol4=200,4\r\n") +
        "[Desk]\r\n.=" + desk + "\r\n");
    Start(SW_SHOWNORMAL, true);
    HWND list = gApp->listView;
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 120);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 4, 0), 200);
    int order[5] = {};
    SendMessageA(list, LVM_GETCOLUMNORDERARRAY, 5, (LPARAM)order);
    EXPECT_EQ(order[0], 1);
    EXPECT_EQ(order[1], 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 2, 75);
    ASSERT_TRUE(Close());
    EXPECT_EQ(SettingsValue("QXUpdate", "Col0"), "120,1");
    EXPECT_EQ(SettingsValue("QXUpdate", "Col1"), "70,0");
    EXPECT_EQ(SettingsValue("QXUpdate", "Col2"), "75,2");
    Restart();

    // Written on another desktop (both sizes differ): the saved layout is ignored.
    Settings("[QXUpdate]\r\nCol0=120,1\r\nCol1=70,0\r\n[Desk]\r\n.=#f00,870\r\n");
    Start(SW_SHOWNORMAL, true);
    EXPECT_EQ(SendMessageA(gApp->listView, LVM_GETCOLUMNWIDTH, 0, 0), 150);
    SendMessageA(gApp->listView, LVM_GETCOLUMNORDERARRAY, 5, (LPARAM)order);
    EXPECT_EQ(order[0], 0);
}

TEST_F(MainWindowTest, ToolTipsInBothLanguages) {
    struct Case {
        int command;
        const char* english;
        const char* german;
    } cases[] = {
        {104, "Search for installed products", "Bereits installierte Programme suchen"},
        {103, "Seach for new updates", "Updates suchen"},
        {901, "Information", "Info"},
    };
    for (const char* language : {"US", "DE"}) {
        SCOPED_TRACE(language);
        Settings(std::string("[QXUpdate]\r\nLanguage=") + language + "\r\n");
        Start();
        for (const Case& c : cases) {
            NMTTDISPINFOA info = {};
            info.hdr.hwndFrom = (HWND)SendMessageA(gApp->toolbar, TB_GETTOOLTIPS, 0, 0);
            info.hdr.idFrom = (UINT_PTR)c.command;
            info.hdr.code = TTN_GETDISPINFOA;
            SendMessageA(window, WM_NOTIFY, 0, (LPARAM)&info);
            EXPECT_STREQ(info.lpszText, language[0] == 'U' ? c.english : c.german);
        }
        char header[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = header;
        column.cchTextMax = sizeof header;
        SendMessageA(gApp->listView, LVM_GETCOLUMNA, 4, (LPARAM)&column);
        EXPECT_STREQ(header, language[0] == 'U' ? "Location" : "In Ordner");
        ASSERT_TRUE(Close());
        Restart();
    }
}

TEST_F(MainWindowTest, ProgressPercentages) {
    Start();
    auto shown = [&] {
        Pump(150);
        char text[64];
        PaneGetText(&gStatusLine, 1, text, sizeof text);
        return std::to_string(SendMessageA(gStatusLine.progress, PBM_GETPOS, 0, 0)) + "|" + text;
    };
    ProgressBegin(&gStatusLine);
    EXPECT_TRUE(IsWindowVisible(gStatusLine.progress));
    ProgressSetPosition(&gStatusLine, 500); // no total yet: nothing shown
    EXPECT_EQ(shown(), "0|");
    ProgressSetTotal(&gStatusLine, 1000);
    EXPECT_EQ(shown(), "0|  0 %");
    ProgressSetPosition(&gStatusLine, 255);
    EXPECT_EQ(shown(), "25|  25 %");
    ProgressSetPosition(&gStatusLine, 5000); // beyond the total
    EXPECT_EQ(shown(), "100|  100 %");
    ProgressSetTotal(&gStatusLine, 4000); // a new total starts at 0 %
    EXPECT_EQ(shown(), "0|  0 %");
    ProgressSetPosition(&gStatusLine, 3999);
    EXPECT_EQ(shown(), "99|  99 %");
    ProgressEnd(&gStatusLine);
    EXPECT_FALSE(IsWindowVisible(gStatusLine.progress));
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

TEST_F(MainWindowTest, Pictures) {
    for (const char* language : {"US", "DE"}) {
        Settings(std::string("[QXUpdate]\r\nLanguage=") + language + "\r\nPos=0,0,800,500,1\r\n");
        Start();
        InsertRow(gApp->listView, -1, "QX Navigator", 4, 0x716A04);
        SetRowText(gApp->listView, 0, 1, "5.20");
        SetRowText(gApp->listView, 0, 2, "5.10");
        SetRowStateText(0, 7002);
        SetRowText(gApp->listView, 0, 4, "C:\\Programme\\QX Navigator\\QXNav.exe");
        int row = InsertRow(gApp->listView, -1, "QX Seek", 3, 0x717600);
        SetRowText(gApp->listView, row, 1, "2.4");
        SetRowText(gApp->listView, row, 2, "2.4");
        SetRowStateText(row, 7006);
        SetRowText(gApp->listView, row, 4, "C:\\Programme\\QX Seek\\QXSeek.exe");
        Pump(300);
        std::string idle = PictureFolder() + "\\main-" + language + "-idle.png";
        EXPECT_TRUE(SaveWindowPicture(window, idle));

        Command(CMD_SEARCH_UPDATES);
        ASSERT_TRUE(PumpUntil([&] { return job.started > 0; }));
        PaneSetText(&gStatusLine, "C:\\Programme\\QX Navigator", 0, 100);
        ProgressBegin(&gStatusLine);
        ProgressSetTotal(&gStatusLine, 100);
        ProgressSetPosition(&gStatusLine, 42);
        Pump(400);
        std::string busy = PictureFolder() + "\\main-" + language + "-busy.png";
        EXPECT_TRUE(SaveWindowPicture(window, busy));
        ProgressEnd(&gStatusLine);
        Finish();
        ASSERT_TRUE(Close());
        Restart();
        job.started = 0;
        ResetEvent(job.release);
    }
}

} // namespace
