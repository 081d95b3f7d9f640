// Where the settings file lives, and the language taken from the system (native only:
// these set the program path, the profile folder, the screen and the system language).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/sys_posix.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

struct LocationTest : ::testing::Test {
    TempFolder folder;
    std::string local = folder / "bin/Updat.INI";
    std::string profile = folder / "appdata\\Corvanware\\Updat.INI"; // as the program names it
    Store store = {};
    void SetUp() override {
        FsLocal()->CreateFolder((folder / "bin").c_str());
        SysPosixSetModulePath((folder / "bin/Updater.exe").c_str());
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
    std::string Location(size_t (*locate)(char*, size_t)) {
        char path[1024];
        locate(path, sizeof path);
        return path;
    }
};

TEST_F(LocationTest, NamesTheFilesFromTheProgramNameAndThePortableDriveHost) {
    EXPECT_EQ(Location(LocalLocation), local);
    EXPECT_EQ(Location(ProfileLocation), profile);
    FsLocal()->CreateFolder((folder / "u3data").c_str());
    setenv("U3_HOST_EXEC_PATH", folder.path.c_str(), 1);
    setenv("U3_APP_DATA_PATH", (folder.path + "/u3data/").c_str(), 1);
    EXPECT_EQ(Location(ProfileLocation), folder / "u3data\\Updat.INI");
    setenv("U3_APP_DATA_PATH", (folder.path + "/missing").c_str(), 1);
    EXPECT_EQ(Location(ProfileLocation), profile);
    setenv("U3_HOST_EXEC_PATH", "/elsewhere", 1);
    setenv("U3_APP_DATA_PATH", (folder.path + "/u3data").c_str(), 1);
    EXPECT_EQ(Location(ProfileLocation), profile);
    SysPosixSetModulePath((folder / "v1.2/QX.exe").c_str());
    EXPECT_EQ(Location(LocalLocation), folder / "v1.2/QX.INI");
    SysPosixSetModulePath((folder / "v1.2/QXUpdate").c_str()); // the last dot anywhere counts
    EXPECT_EQ(Location(LocalLocation), folder / "v1.INI");
}

TEST_F(LocationTest, LocalFileFirstThenTheProfileFileOnceItIsMarked) {
    OpenStore(&store, nullptr, 0); // no file yet: the local one
    WriteText(&store, "QXUpdate", "Opt", "2");
    CloseStore(&store);
    EXPECT_EQ(ReadFileText(local), "[QXUpdate]\r\nOpt=2\r\n");
    FsLocal()->CreateFolder((folder / "appdata/Corvanware").c_str());
    WriteFileText(profile, "[QXUpdate]\r\nOpt=8\r\n[UseThis]\r\n");
    OpenStore(&store, nullptr, 0); // a writable local file wins over an unmarked profile file
    EXPECT_EQ(Path(), local);
    EXPECT_EQ(Value("QXUpdate", "Opt"), "2");
    // The local path turns into a folder: it can no longer be written.
    FsLocal()->Delete(local.c_str());
    FsLocal()->CreateFolder(local.c_str());
    WriteText(&store, "QXUpdate", "Opt", "6");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(Path(), profile);
    EXPECT_EQ(ReadFileText(profile), "[QXUpdate]\r\nOpt=6\r\n\r\n[UseThis]\r\nOpt=" + Path() + "\r\n");
    CloseStore(&store);
    FsLocal()->RemoveFolder(local.c_str());
    WriteFileText(local, "[QXUpdate]\r\nOpt=2\r\n");
    OpenStore(&store, nullptr, 0); // the next start finds the profile file by its mark
    EXPECT_EQ(Value("QXUpdate", "Opt"), "6");
}

// Holds a file as another program holding it open without sharing would.
int Hold(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR);
    struct flock lock = {F_WRLCK, SEEK_SET, 0, 0, 0};
    EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    return fd;
}

TEST_F(LocationTest, SettingsFileThatCannotBeReadIsNeitherOverwrittenNorReplaced) {
    const std::string text = "[QXUpdate]\r\nOpt=12\r\n[Products]\r\n1=QX;\"QX Seek\"\r\n";
    for (bool heldAtStart : {true, false}) {
        SCOPED_TRACE(heldAtStart ? "held at start-up" : "held at the first read");
        WriteFileText(local, text);
        int held = heldAtStart ? Hold(local) : -1;
        OpenStore(&store, heldAtStart ? nullptr : local.c_str(), heldAtStart ? STORE_TRACK_DESKTOP : 0);
        if (held < 0) held = Hold(local);
        WriteText(&store, "QXUpdate", "Opt", "14");
        close(held);
        CloseStore(&store); // released by now: still nothing is written
        EXPECT_EQ(ReadFileText(local), text);
        EXPECT_FALSE(FsLocal()->Exists(profile.c_str()));
    }
}

TEST_F(LocationTest, DesktopCheckRecordsTheWorkArea) {
    struct Case {
        int width, height;
        bool changed; // only when both dimensions differ from the recorded ones
        const char* recorded;
    } cases[] = {{1920, 1040, false, "#780,410"},
                 {1280, 1040, false, "#500,410"},
                 {1920, 984, true, "#780,3d8"},
                 {1920, 1040, false, "#780,410"}};
    WriteFileText(local, "[Desk]\r\n.=#780,410\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        SysPosixSetWorkArea(c.width, c.height);
        OpenStore(&store, nullptr, STORE_TRACK_DESKTOP);
        EXPECT_EQ(DesktopChanged(&store), c.changed);
        EXPECT_EQ(store.dirty, &c != cases);
        EXPECT_EQ(Value("Desk", "."), c.recorded);
        CloseStore(&store);
    }
    EXPECT_NE(ReadFileText(local).find("[QXUpdate]\r\nVersion=2025\r\n"), std::string::npos); // stamped
    SysPosixSetWorkArea(1600, 1170);
}

TEST_F(LocationTest, DefaultSizesScaleWithTheWorkAreaAndPlacementsFitTheScreen) {
    OpenStore(&store, local.c_str(), STORE_NO_LOCATE);
    auto load = [&](const char* pos) {
        WriteText(&store, "QXUpdate", "Pos", pos);
        Placement p;
        LoadPlacement(&store, "QXUpdate", &p, 800, 600);
        std::string at =
            p.x == PLACEMENT_DEFAULT_POSITION ? "" : std::to_string(p.x) + "," + std::to_string(p.y) + " ";
        return at + std::to_string(p.width) + "x" + std::to_string(p.height) + " " +
               std::to_string(p.showState);
    };
    struct Case {
        int width, column;    // the work area, the Product column's default width
        const char* fallback; // and the default window
    } cases[] = {{1280, 150, "800x600 0"},
                 {1920, 180, "960x720 0"},
                 {2000, 187, "1000x750 0"},
                 {1600, 150, "800x600 0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        SysPosixSetWorkArea(c.width, 1170);
        ForgetScreenScale();
        EXPECT_EQ(load(""), c.fallback);
        EXPECT_EQ(ScaleToScreen(150), c.column); // the default columns scale with it
    }
    SysPosixSetScreenSize(1280, 1024);
    const char* rows[][2] = {
        {"0,0,2560,2048,1", "0,0 2560x2048 1"}, // up to twice the screen in each direction
        {"0,0,2561,600,1", "800x600 0"},
        {"0,0,800,2049,1", "800x600 0"},
        {"-4,-8,800,600,3", "-4,-8 800x600 3"},
        {"-4,-4,800,600,2", "-4,-4 800x600 0"}, // only 1 and 3 are kept
        {"10,20,800,600", "800x600 0"},         // four numbers
        {"10,20,49,600,1", "800x600 0"},
        {"10,20,800,49,1", "800x600 0"},
    };
    for (auto& row : rows)
        EXPECT_EQ(load(row[0]), row[1]) << row[0];
    SysPosixSetScreenSize(1600, 1200);
}

TEST_F(LocationTest, LanguageComesFromTheSettingsElseFromTheSystemAndIsWrittenAtOnce) {
    Language saved = gLanguage;
    struct Case {
        const char *stored, *language; // stored NULL: no settings file
        unsigned system;
    } cases[] = {{nullptr, "DE", 3079}, {nullptr, "US", 1033}, {"de", "DE", 1033}, {"DEUTSCH", "US", 1031}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : std::to_string(c.system));
        std::string file =
            std::string("[QXUpdate]\r\nLanguage=") + (c.stored ? c.stored : c.language) + "\r\n";
        FsLocal()->Delete(local.c_str());
        if (c.stored) WriteFileText(local, file);
        SysPosixSetSystemLanguage(c.system);
        OpenStore(&store, nullptr, 0);
        gLanguage.code[0] = 0;
        ChooseLanguage(&store);
        EXPECT_STREQ(gLanguage.table[0].text, c.language);
        EXPECT_EQ(ReadFileText(local), file); // a stored value is left as it is
        CloseStore(&store);
    }
    SysPosixSetSystemLanguage(1033);
    gLanguage = saved;
}

} // namespace
