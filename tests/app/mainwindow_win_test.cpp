// The main window in the test process: the command gate, closing, placement, rows, the
// status line, the configuration dialog and product information box, and pictures of them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "platform/procs_win.h"
#include "platform/sys.h"
#include "settings/dialogs_win.h"
#include "support/appwindow.h"
#include "update/statusline.h"

namespace {

// A job that runs until the test lets it end, and records what it saw at its start.
struct ControlledJob {
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, NULL);
    volatile LONG started = 0;
    volatile LONG cancelAtStart = -1;
    ~ControlledJob() { CloseHandle(release); }
};
ControlledJob* gJob;

void ControlledWork(void*) {
    InterlockedIncrement(&gJob->started);
    gJob->cancelAtStart = gApp->cancelRequested;
    WaitForSingleObject(gJob->release, 10000);
}

std::function<void(HWND)> gDialogAction;

// Runs inside the dialog's own message loop once the dialog is up; then cancels the dialog.
void CALLBACK DriveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowA("#32770", NULL);
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(NULL, timer);
    std::function<void(HWND)> action = std::move(gDialogAction);
    action(dialog);
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::string ItemText(HWND dialog, int id) {
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ShowPage(HWND dialog, int page) {
    HWND list = GetDlgItem(dialog, IDC_PAGE_LIST);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)page, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PAGE_LIST, LBN_SELCHANGE), (LPARAM)list);
}

struct MainWindowTest : AppWindowTest {
    ControlledJob job;
    JobTable saved = gJobs;
    std::string before;
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
    // Settings with every section the configuration dialog reads, and some it must leave alone.
    void StartWith(const std::string& language, const std::string& proxy = "") {
        SysTime now;
        SysUtcTime(&now);
        Settings("; kept as it is\r\n[QXUpdate]\r\nLanguage=" + language + "\r\nOpt=32" +
                 "\r\nExtra = spaced \r\n\r\n[Edition]\r\n*=" + std::to_string(now.year) +
                 "\r\nd=Windows 32 bit\r\nx=\r\nDefault=d\r\nw=Windows 64 bit\r\n" + proxy +
                 "\r\n[Other]\r\nkey=value\r\n");
        Start();
        Flush(&gSettings);
        before = ReadFileText(settingsPath);
    }
    // Opens a dialog through its command (the configuration dialog unless told); action runs inside it.
    void Configure(std::function<void(HWND)> action, int command = CMD_CONFIGURATION) {
        gDialogAction = std::move(action);
        UINT_PTR timer = SetTimer(NULL, 0, 50, DriveDialog);
        Command(command);
        KillTimer(NULL, timer);
        Pump(50);
    }
    std::string After() {
        Flush(&gSettings);
        return ReadFileText(settingsPath);
    }
};

TEST_F(MainWindowTest, GateAllowsOneJobAndStopReachesOnlyThatJob) {
    Start();
    const std::vector<int> idle = {104, 110, 103, 108, 105, 109, 901};
    EXPECT_EQ(EnabledButtons(), idle);
    PressKey(VK_ESCAPE); // while idle: must not stop the next job
    EXPECT_EQ(gApp->cancelRequested, 1);
    PressKey(VK_F5);               // through the accelerator table
    Command(CMD_SEARCH_INSTALLED); // a second start command right after the first
    Command(CMD_SEARCH_UPDATES);
    ASSERT_TRUE(PumpUntil([&] { return job.started == 1; }));
    EXPECT_EQ(job.cancelAtStart, 0);
    EXPECT_EQ(EnabledButtons(), (std::vector<int>{108, 102, 901}));
    EXPECT_FALSE(Close());                     // refused while busy
    SendMessageA(window, MSG_JOB_ENDED, 0, 0); // a stray end message from elsewhere ends nothing
    EXPECT_EQ(gApp->busyCount, 1);
    Finish();
    EXPECT_EQ(job.started, 1);
    EXPECT_EQ(EnabledButtons(), idle);
    // Stop given before the job's thread got going (the window thread has not pumped since).
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES, CMD_STOP));
    Finish();
    EXPECT_EQ(job.cancelAtStart, 1);
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

TEST_F(MainWindowTest, RowsGoInSortedAndCommandsTakeTheSelectedOnes) {
    Start();
    Command(CMD_UPDATE_NOW); // an empty list starts nothing
    Pump(100);
    EXPECT_EQ(job.started, 0);
    for (const char* name : {"QX Seek", "QX Ledger", "QX Task Keeper", "QX Navigator", "QX Alpha"})
        InsertRow(gApp->listView, -1, name, 0, 0x716A00);
    ASSERT_TRUE(Run(CMD_UPDATE_NOW)); // none selected: every row
    EXPECT_EQ(SelectedRowCount(gApp->listView), 5);
    Finish();
    SelectRow(gApp->listView, -1, 0);
    for (int row : {0, 2, 3})
        SelectRow(gApp->listView, row, 1);
    Command(CMD_REMOVE_ROWS);
    // The state goes into the low byte of the row's data; the icon follows a posted message.
    SetRowState(1, ROW_ERROR);
    EXPECT_EQ(GetRowData(gApp->listView, 1), 0x716A02u);
    EXPECT_EQ(GetRowData(gApp->listView, 7), 0u);
    SetRowStateText(1, 7005); // "Updated at " and the time, after two blanks
    Pump(30);
    char text[1024];
    GetRowText(gApp->listView, 1, 3, text, sizeof text);
    EXPECT_NE(std::string(text).find("  "), std::string::npos) << text;
    EXPECT_EQ(Rows(), (std::vector<std::string>{"QX Ledger||||#0", "QX Task Keeper|||Updated at|#2"}));
    SelectRow(gApp->listView, 1, 1);
    ASSERT_TRUE(Run(CMD_UPDATE_NOW));
    EXPECT_EQ(SelectedRowCount(gApp->listView), 1);
    Finish();
    PressKey('A', true); // Ctrl+A selects every row
    EXPECT_EQ(SelectedRowCount(gApp->listView), 2);
}

TEST_F(MainWindowTest, EndOfSessionWritesTheSettingsFileAlsoDuringAJob) {
    // After WM_ENDSESSION the process is ended without WM_DESTROY: the file must be written by then,
    // with the column layout as it was read and changed.
    Settings("[QXUpdate]\r\nLanguage=US\r\nCol0=120,1\r\nCol1=70,0\r\nCol2=60,2\r\n");
    Start();
    InsertRow(gApp->listView, -1, "QX Seek", 0, 0);
    MoveWindow(window, 30, 40, 640, 480, TRUE);
    SendMessageA(gApp->listView, LVM_SETCOLUMNWIDTH, 2, 75);
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    std::string saved = ReadFileText(settingsPath);
    for (const char* line : {"Pos=30,40,640,480,1\r\n", "Col0=120,1\r\nCol1=70,0\r\nCol2=75,2\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
    EXPECT_NE(saved.find("QX Seek", saved.find("[Products]\r\n1=")), std::string::npos) << saved;
    Finish();
}

TEST_F(MainWindowTest, DestroyFromAnotherProgramDuringAJobStopsTheJobAndWaitsForIt) {
    Start();
    ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
    PostMessageA(window, WM_DESTROY, 0, 0); // as another program can, while closing is refused
    PostMessageA(window, WM_DESTROY, 0, 0);
    Pump(50);
    EXPECT_EQ(gApp->cancelRequested, 1);
    EXPECT_EQ(FinishShutdown(200), WAIT_TIMEOUT); // the job runs on: nothing it uses may go
    SetEvent(job.release);
    EXPECT_EQ(FinishShutdown(5000), 0); // its end, sent to the window, is carried out meanwhile
    EXPECT_EQ(gApp->busyCount, 0);
    Command(CMD_SEARCH_UPDATES); // no job starts after the destruction
    EXPECT_EQ(job.started, 1);
}

TEST_F(MainWindowTest, PlacementRoundTrip) {
    // The window shown: at the place and size, "max"imised, or "" in the default size.
    const std::pair<const char*, std::string> cases[] = {
        {"30,40,640,480,1", "30,40,640,480"},
        {"10,20,600,400,3", "max"},
        {"30,40,49,480,1", ""},
        {"30,40,640,480,2", "30,40,640,480"},
    };
    for (auto [pos, expected] : cases) {
        SCOPED_TRACE(pos);
        bool maximised = expected == "max";
        Settings(std::string("[QXUpdate]\r\nLanguage=US\r\nPos=") + pos + "\r\n");
        Start();
        RECT r;
        GetWindowRect(window, &r);
        std::string size = std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top);
        std::string shown = std::to_string(r.left) + "," + std::to_string(r.top) + "," + size;
        EXPECT_EQ(IsZoomed(window) != 0, maximised);
        std::string standard = std::to_string(ScaleToScreen(800)) + "," + std::to_string(ScaleToScreen(600));
        if (!maximised) {
            EXPECT_EQ(expected.empty() ? size : shown, expected.empty() ? standard : expected);
        }
        ASSERT_TRUE(Close());
        EXPECT_EQ(SettingsValue("QXUpdate", "Pos"), shown + (maximised ? ",3" : ",1"));
        Restart();
    }
}

WNDPROC gStatusLineProc;
volatile LONG gStatusPaints;

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) InterlockedIncrement(&gStatusPaints);
    return CallWindowProcA(gStatusLineProc, window, message, wParam, lParam);
}

TEST_F(MainWindowTest, StatusLineRedrawsAPaneChangedEvery20MsAndShowsTheProgressEdges) {
    Start();
    Pump(200);
    gStatusLineProc = ReplaceWindowProc(gStatusLine.window, CountPaints);
    gStatusPaints = 0;
    for (int i = 0; i < 50; i++) {
        PaneSetText(&gStatusLine, ("  " + std::to_string(i) + " %").c_str(), 1, 100);
        Pump(20);
    }
    ReplaceWindowProc(gStatusLine.window, gStatusLineProc);
    EXPECT_GE(gStatusPaints, 4);
    // The download tests follow the common percentages: beyond the total, and never rounded up.
    ProgressBegin(&gStatusLine);
    ProgressSetTotal(&gStatusLine, 4000);
    char text[64];
    for (auto [position, expected] : {std::pair<int, const char*>{5000, "  100 %"}, {3999, "  99 %"}}) {
        ProgressSetPosition(&gStatusLine, position);
        Pump(150);
        PaneGetText(&gStatusLine, 1, text, sizeof text);
        EXPECT_STREQ(text, expected);
    }
}

TEST_F(MainWindowTest, ConfigurationOkWritesItsKeysAndTheWindowFollows) {
    StartWith("US");
    Configure([](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_EDITION);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 2); // the edition without a name is left out
        EXPECT_EQ(ItemText(dialog, IDC_EDITION), "Windows 32 bit");
        SendMessageA(combo, CB_SETCURSEL, 1, 0);
        for (int id : {IDC_FULL_ROW_SELECT, IDC_GRID_LINES, IDC_ALWAYS_ON_TOP})
            Click(dialog, id);
        ShowPage(dialog, 1);
        Click(dialog, IDC_USE_PROXY);
        SetDlgItemTextA(dialog, IDC_PROXY_ADDRESS, "proxy.lan");
        SetDlgItemTextA(dialog, IDC_PROXY_PORT, "3128");
        SendMessageA(dialog, WM_COMMAND, IDC_CONFIG_OK, 0);
    });
    std::string expected = before;
    expected.replace(expected.find("Opt=32"), 6, "Opt=62");
    expected.replace(expected.find("Default=d"), 9, "Default=w");
    EXPECT_EQ(After(), expected + "\r\n[ProxyServer]\r\nAdr=proxy.lan\r\nPort=3128\r\n");
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    LRESULT both = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    EXPECT_EQ(SendMessageA(gApp->listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & both, both);
}

// Configuration Cancel (the button, then the close box) writes nothing and the page shown last
// comes back; texts follow the language. Pictures of the window idle and busy, and of the dialogs.
TEST_F(MainWindowTest, ConfigurationCancelWritesNothingAndPicturesInBothLanguages) {
    for (std::string language : {"US", "DE"}) {
        SCOPED_TRACE(language);
        bool english = language == "US";
        StartWith(language, "[ProxyServer]\r\nAdr=proxy.corvanware.lan\r\nPort=0\r\n");
        Configure([&](HWND dialog) {
            Pump(200);
            EXPECT_TRUE(SaveWindowPicture(dialog, "config-" + language + "-general.png"));
            EXPECT_EQ(ItemText(dialog, IDCANCEL), english ? "Cancel" : "Abbruch");
            ShowPage(dialog, 1);
            Pump(200);
            EXPECT_TRUE(SaveWindowPicture(dialog, "config-" + language + "-connection.png"));
            EXPECT_EQ(ItemText(dialog, IDC_PROXY_ADDRESS), "proxy.corvanware.lan");
            EXPECT_EQ(ItemText(dialog, IDC_PROXY_PORT), "8000");
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PROXY_ADDRESS)));
            Click(dialog, IDC_USE_PROXY);
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PROXY_PORT)));
            Click(dialog, IDC_ALWAYS_ON_TOP);
            SetDlgItemTextA(dialog, IDC_PROXY_PORT, "3128"); // then the test's Cancel
        });
        Configure([](HWND dialog) {
            EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PAGE_LIST), LB_GETCURSEL, 0, 0), 1);
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_FULL_ROW_SELECT)));
            SendMessageA(dialog, WM_CLOSE, 0, 0);
        });
        Configure(
            [&](HWND box) {
                Pump(200);
                EXPECT_TRUE(SaveWindowPicture(box, "info-" + language + ".png"));
            },
            CMD_ABOUT);
        EXPECT_EQ(After(), before);
        EXPECT_FALSE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

        NMTTDISPINFOA info = {};
        info.hdr.hwndFrom = (HWND)SendMessageA(gApp->toolbar, TB_GETTOOLTIPS, 0, 0);
        info.hdr.idFrom = CMD_SEARCH_UPDATES;
        info.hdr.code = TTN_GETDISPINFOA;
        SendMessageA(window, WM_NOTIFY, 0, (LPARAM)&info);
        EXPECT_STREQ(info.lpszText, english ? "Seach for new updates" : "Updates suchen");
        MoveWindow(window, 0, 0, 800, 500, TRUE);
        InsertRow(gApp->listView, -1, "QX Navigator", 4, 0x716A04);
        SetRowText(gApp->listView, 0, 1, "5.20");
        SetRowText(gApp->listView, 0, 2, "5.10");
        SetRowStateText(0, 7002);
        SetRowText(gApp->listView, 0, 4, "C:\\Programme\\QX Navigator\\QXNav.exe");
        Pump(300);
        EXPECT_TRUE(SaveWindowPicture(window, "main-" + language + "-idle.png"));
        ASSERT_TRUE(Run(CMD_SEARCH_UPDATES));
        PaneSetText(&gStatusLine, "C:\\Programme\\QX Navigator", 0, 100);
        ProgressBegin(&gStatusLine);
        ProgressSetTotal(&gStatusLine, 100);
        ProgressSetPosition(&gStatusLine, 42);
        Pump(400);
        EXPECT_TRUE(SaveWindowPicture(window, "main-" + language + "-busy.png"));
        Finish();
        ASSERT_TRUE(Close());
        Restart();
    }
}

// At the prefix's DPI (QX_DPI from the display_scale test, else 96) a first start follows the scale.
TEST_F(MainWindowTest, FirstStartFollowsTheDisplayScale) {
    ASSERT_EQ(ScreenDpi(), getenv("QX_DPI") ? atoi(getenv("QX_DPI")) : 96);
    Start();
    RECT r;
    SendMessageA(gApp->toolbar, TB_GETITEMRECT, 0, (LPARAM)&r);
    EXPECT_EQ((r.right - r.left) * 1000 + r.bottom - r.top, ScaleToDpi(31) * 1000 + ScaleToDpi(30));
    for (int n = 0; n < 4; n++)
        EXPECT_EQ(ListView_GetColumnWidth(gApp->listView, n), ScaleToDpi(kDefaultColumns[n].width));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(gApp->stateImages, &cx, &cy);
    EXPECT_EQ(cx * 1000 + cy, ScaleToDpi(16) * 1001);
    GetClientRect(gStatusLine.window, &r);
    EXPECT_EQ(gStatusLine.panes[2].right - gStatusLine.panes[1].right, r.bottom + ScaleToDpi(19));
    EXPECT_EQ(r.bottom >= ScaleToDpi(25) ? gStatusLine.reservedWidth : 0, ScaleToDpi(55));
}

} // namespace
