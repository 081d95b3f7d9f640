// Where the settings file lives, and the language taken from the system (native only:
// these set the program path, the profile folder and the system language).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <memory>
#include <string>
#include "app/columns.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/sys_posix.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

struct LocationTest : ::testing::Test {
    TempFolder folder;
    std::string program = folder / "bin/Updater.exe";
    std::string local = folder / "bin/Updat.INI";
    std::string profile = folder / "appdata/Corvanware/Updat.INI";
    Store store = {};
    void SetUp() override {
        FsLocal()->CreateFolder((folder / "bin").c_str());
        SysPosixSetModulePath(program.c_str());
        SysPosixSetAppDataFolder((folder / "appdata").c_str());
        unsetenv("U3_HOST_EXEC_PATH");
        unsetenv("U3_APP_DATA_PATH");
    }
    void TearDown() override {
        if (store.mutex) CloseStore(&store);
    }
    std::string Path() {
        char path[1024];
        GetFilePath(&store, path, sizeof path);
        return path;
    }
    std::string Value(const char* section, const char* key) {
        char out[256];
        ReadValue(&store, section, key, "<none>", out, sizeof out);
        return out;
    }
};

std::string Native(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

TEST_F(LocationTest, NamesTheFilesFromTheProgramName) {
    char path[1024];
    LocalLocation(path, sizeof path);
    EXPECT_EQ(std::string(path), local);
    ProfileLocation(path, sizeof path);
    EXPECT_EQ(Native(path), profile);
    SysPosixSetModulePath((folder / "v1.2/QX.exe").c_str());
    LocalLocation(path, sizeof path);
    EXPECT_EQ(std::string(path), folder / "v1.2/QX.INI");
    SysPosixSetModulePath((folder / "v1.2/QXUpdate").c_str()); // the last dot anywhere counts
    LocalLocation(path, sizeof path);
    EXPECT_EQ(std::string(path), folder / "v1.INI");
}

TEST_F(LocationTest, PortableDriveHostGivesTheProfileFolder) {
    FsLocal()->CreateFolder((folder / "u3data").c_str());
    setenv("U3_HOST_EXEC_PATH", folder.path.c_str(), 1);
    setenv("U3_APP_DATA_PATH", (folder.path + "/u3data/").c_str(), 1);
    char path[1024];
    ProfileLocation(path, sizeof path);
    EXPECT_EQ(Native(path), folder / "u3data/Updat.INI");
    setenv("U3_APP_DATA_PATH", (folder.path + "/missing").c_str(), 1);
    ProfileLocation(path, sizeof path);
    EXPECT_EQ(Native(path), profile);
    setenv("U3_HOST_EXEC_PATH", "/elsewhere", 1);
    setenv("U3_APP_DATA_PATH", (folder.path + "/u3data").c_str(), 1);
    ProfileLocation(path, sizeof path);
    EXPECT_EQ(Native(path), profile);
}

TEST_F(LocationTest, WritableLocalFileWinsOverAnUnmarkedProfileFile) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=4\r\n");
    FsLocal()->CreateFolder((folder / "appdata/Corvanware").c_str());
    WriteFileText(profile, "[QXUpdate]\r\nOpt=8\r\n[UseThis]\r\n");
    OpenStore(&store, nullptr, 0);
    EXPECT_EQ(Path(), local);
    EXPECT_EQ(Value("QXUpdate", "Opt"), "4");
}

TEST_F(LocationTest, MarkedProfileFileWins) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=4\r\n");
    FsLocal()->CreateFolder((folder / "appdata/Corvanware").c_str());
    WriteFileText(profile, "[QXUpdate]\r\nOpt=8\r\n[UseThis]\r\nOpt=" + profile + "\r\n");
    OpenStore(&store, nullptr, 0);
    EXPECT_EQ(Native(Path()), profile);
    EXPECT_EQ(Value("QXUpdate", "Opt"), "8");
}

TEST_F(LocationTest, MissingFilesStartLocal) {
    OpenStore(&store, nullptr, 0);
    EXPECT_EQ(Path(), local);
    WriteText(&store, "QXUpdate", "Opt", "2");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(ReadFileText(local), "[QXUpdate]\r\nOpt=2\r\n");
}

TEST_F(LocationTest, ReadOnlyLocalFileMovesTheSettingsToTheProfile) {
    const std::string text = "[QXUpdate]\r\nLanguage=DE\r\nOpt=12\r\n";
    WriteFileText(local, text);
    FsLocal()->SetAttributes(local.c_str(), FILE_ATTR_READONLY);
    OpenStore(&store, nullptr, STORE_TRACK_DESKTOP);
    EXPECT_EQ(Native(Path()), profile);
    EXPECT_EQ(Value("QXUpdate", "Opt"), "12"); // read from the local file
    WriteText(&store, "QXUpdate", "Opt", "14");
    std::string chosen = Path();
    CloseStore(&store);
    EXPECT_EQ(ReadFileText(local), text);
    std::string moved = ReadFileText(profile);
    EXPECT_NE(moved.find("Language=DE\r\nOpt=14\r\n"), std::string::npos);
    EXPECT_NE(moved.find("[UseThis]\r\nOpt=" + chosen + "\r\n"), std::string::npos);

    OpenStore(&store, nullptr, 0); // the next start finds the profile file
    EXPECT_EQ(Native(Path()), profile);
    EXPECT_EQ(Value("QXUpdate", "Opt"), "14");
    FsLocal()->SetAttributes(local.c_str(), 0);
}

TEST_F(LocationTest, FailedWriteFallsBackToTheProfileFile) {
    WriteFileText(local, "[QXUpdate]\r\nOpt=4\r\n");
    OpenStore(&store, nullptr, 0);
    ASSERT_EQ(Path(), local);
    WriteText(&store, "QXUpdate", "Opt", "6");
    // The local path turns into a folder: it can no longer be written.
    FsLocal()->Delete(local.c_str());
    FsLocal()->CreateFolder(local.c_str());
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(Native(Path()), profile);
    EXPECT_EQ(ReadFileText(profile), "[QXUpdate]\r\nOpt=6\r\n\r\n[UseThis]\r\nOpt=" + Path() + "\r\n");
    FsLocal()->RemoveFolder(local.c_str());
}

// Holds a file as another program holding it open without sharing would.
struct HeldFile {
    int fd;
    explicit HeldFile(const std::string& path) : fd(open(path.c_str(), O_RDWR)) {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    }
    ~HeldFile() { close(fd); }
};

TEST_F(LocationTest, SettingsFileThatCannotBeReadIsNeitherOverwrittenNorReplaced) {
    const std::string text = "[QXUpdate]\r\nOpt=12\r\n[Products]\r\n1=QX;\"QX Seek\"\r\n";
    for (bool heldAtStart : {true, false}) {
        SCOPED_TRACE(heldAtStart ? "held at start-up" : "held at the first read");
        WriteFileText(local, text);
        {
            std::unique_ptr<HeldFile> held(heldAtStart ? new HeldFile(local) : nullptr);
            OpenStore(&store, heldAtStart ? nullptr : local.c_str(), heldAtStart ? STORE_TRACK_DESKTOP : 0);
            if (!held) held.reset(new HeldFile(local));
            WriteText(&store, "QXUpdate", "Opt", "14");
        }
        CloseStore(&store); // released by now: still nothing is written
        EXPECT_EQ(ReadFileText(local), text);
        EXPECT_FALSE(FsLocal()->Exists(profile.c_str()));
    }
}

TEST_F(LocationTest, DesktopCheckRecordsTheWorkArea) {
    SysPosixSetWorkArea(1920, 1040);
    WriteFileText(local, "[Desk]\r\n.=#780,410\r\n");
    OpenStore(&store, nullptr, STORE_TRACK_DESKTOP);
    EXPECT_FALSE(DesktopChanged(&store));
    EXPECT_EQ(store.dirty, 0);
    CloseStore(&store);

    SysPosixSetWorkArea(1920, 1000); // one dimension differs: recorded, not "changed"
    OpenStore(&store, nullptr, STORE_TRACK_DESKTOP);
    EXPECT_FALSE(DesktopChanged(&store));
    EXPECT_EQ(Value("Desk", "."), "#780,3e8");
    CloseStore(&store);

    SysPosixSetWorkArea(1280, 984);
    OpenStore(&store, nullptr, STORE_TRACK_DESKTOP);
    EXPECT_TRUE(DesktopChanged(&store));
    CloseStore(&store);
    SysPosixSetWorkArea(1600, 1170);
}

TEST_F(LocationTest, DefaultSizesScaleWithTheWorkAreaAndPlacementsFitTheScreen) {
    struct Case {
        int workWidth, screenWidth, screenHeight;
        int width, height, column; // the default window and Product column
    } cases[] = {
        {1280, 1280, 1024, 800, 600, 150},
        {1600, 1600, 1200, 800, 600, 150},
        {1920, 1920, 1080, 960, 720, 180},
        {2000, 2000, 1200, 1000, 750, 187},
    };
    OpenStore(&store, local.c_str(), STORE_NO_LOCATE);
    auto load = [&](const std::string& pos) {
        WriteText(&store, "QXUpdate", "Pos", pos.c_str());
        Placement p;
        LoadPlacement(&store, "QXUpdate", &p, 800, 600);
        return std::to_string(p.width) + "x" + std::to_string(p.height);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.workWidth);
        SysPosixSetWorkArea(c.workWidth, c.screenHeight - 40);
        SysPosixSetScreenSize(c.screenWidth, c.screenHeight);
        ForgetScreenScale();
        std::string scaled = std::to_string(c.width) + "x" + std::to_string(c.height);
        EXPECT_EQ(load(""), scaled);
        Column columns[COLUMN_COUNT + 1];
        memcpy(columns, kDefaultColumns, sizeof columns);
        WriteText(&store, "QXUpdate", "Col0", "0,0");
        LoadColumns(&store, columns, "QXUpdate", 1);
        EXPECT_EQ(columns[0].width, c.column);
        // Up to twice the screen in each direction is taken, one pixel more is not.
        std::string w2 = std::to_string(2 * c.screenWidth), h2 = std::to_string(2 * c.screenHeight);
        EXPECT_EQ(load("0,0," + w2 + "," + h2 + ",1"), w2 + "x" + h2);
        EXPECT_EQ(load("0,0," + std::to_string(2 * c.screenWidth + 1) + ",600,1"), scaled);
        EXPECT_EQ(load("0,0,800," + std::to_string(2 * c.screenHeight + 1) + ",1"), scaled);
    }
    SysPosixSetWorkArea(1600, 1170);
    SysPosixSetScreenSize(1600, 1200);
    ForgetScreenScale();
}

TEST_F(LocationTest, SystemLanguageIsChosenAndWrittenAtOnce) {
    Language saved = gLanguage;
    for (auto c : {std::make_pair(1031u, "DE"), {3079u, "DE"}, {1033u, "US"}, {2057u, "US"}}) {
        SCOPED_TRACE(c.first);
        FsLocal()->Delete(local.c_str());
        SysPosixSetSystemLanguage(c.first);
        OpenStore(&store, nullptr, 0);
        gLanguage.code[0] = 0;
        ChooseLanguage(&store);
        EXPECT_STREQ(gLanguage.table[0].text, c.second);
        EXPECT_EQ(ReadFileText(local), std::string("[QXUpdate]\r\nLanguage=") + c.second + "\r\n");
        CloseStore(&store);
    }
    SysPosixSetSystemLanguage(1033);
    gLanguage = saved;
}

} // namespace
