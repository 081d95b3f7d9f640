// The settings store over real files: reading with defaults, byte-exact round trips in the
// file's own encoding, Flush, placements and concurrent writers.
#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include "platform/fs.h"
#include "settings/store.h"
#include "support/testfiles.h"
#include "update/faultfs.h"

namespace {

struct StoreTest : ::testing::Test {
    TempFolder folder;
    std::string path = folder / "Updat.INI";
    Store store;
    void Open(const std::string& text, uint32_t flags = STORE_NO_LOCATE) {
        WriteFileText(path, text);
        OpenStore(&store, path.c_str(), flags);
    }
    void TearDown() override {
        if (store.mutex) CloseStore(&store);
    }
    std::string Value(const char* section, const char* key, const char* def = "<default>", size_t size = 64) {
        std::vector<char> out(size, 'x');
        ReadValue(&store, section, key, def, out.data(), size);
        return out.data();
    }
    std::string Text(const char* section, const char* key) {
        char out[32];
        ReadText(&store, section, key, "<default>", out, sizeof out);
        return out;
    }
    // Flushes with the file's time set back two days; whether the file was written.
    bool FlushWrites() {
        auto old = std::filesystem::last_write_time(path) - std::chrono::hours(48);
        std::filesystem::last_write_time(path, old);
        EXPECT_EQ(Flush(&store), 0);
        return std::filesystem::last_write_time(path) != old;
    }
};

TEST_F(StoreTest, ReadsValuesDefaultsNumbersAndTexts) {
    Open("[QXUpdate]\r\nEmpty=\r\nLong=0123456789\r\nNum=-12abc\r\nWord=abc\r\nBig=4294967295\r\n"
         "Plain=Gr\374\337e\r\nMarked=\xEF\xBB\xBF\xC3\xA4\r\n");
    EXPECT_EQ(Value("QXUpdate", "Empty"), "");                    // present but empty: no default
    EXPECT_EQ(Value("QXUpdate", "Missing"), "<default>");         // missing: the default
    EXPECT_EQ(Value("QXUpdate", "Long", "<default>", 5), "0123"); // cut, default not applied
    char out[8] = "keep";
    EXPECT_EQ(ReadValue(&store, "QXUpdate", "Missing", nullptr, out, sizeof out), 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ReadValue(&store, "QXUpdate", "Long", nullptr, nullptr, 8), 1);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Num", 7), -12);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Word", 7), 0);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Empty", 7), 7);
    EXPECT_EQ((uint32_t)ReadInt(&store, "QXUpdate", "Big", 0), 4294967295u);
    EXPECT_EQ(Text("QXUpdate", "Plain"), "Gr\374\337e"); // UTF-8 only where marked
    EXPECT_EQ(Text("QXUpdate", "Marked"), "\xE4");
    EXPECT_EQ(Text("QXUpdate", "Missing"), "<default>");
}

TEST_F(StoreTest, RoundTripKeepsForeignLinesAndStopsWhenSuspended) {
    Open("; by hand\r\n[QXUpdate]\r\nOpt = 12  \r\nPos=1\r\nfree text\r\n\r\n[Foreign]\nunix=lines\n");
    WriteText(&store, "QXUpdate", "Opt", "12  "); // trailing spaces are part of the value
    EXPECT_EQ(store.dirty, 0);
    WriteText(&store, "QXUpdate", "Pos", "-4,-4");
    WriteText(&store, "QXUpdate", "Col0", "150,0");
    WriteText(&store, "Class", "qj", "QXNavigatorMain");
    EXPECT_TRUE(FlushWrites());
    const std::string saved =
        "; by hand\r\n[QXUpdate]\r\nOpt = 12  \r\nPos=-4,-4\r\nfree text\r\nCol0=150,0\r\n"
        "\r\n[Foreign]\nunix=lines\n\r\n[Class]\r\n";
    EXPECT_EQ(ReadFileText(path), saved + "qj=QXNavigatorMain\r\n");
    DeleteKey(&store, "Class", "qj"); // the text left is the start of the file's
    EXPECT_TRUE(FlushWrites());
    EXPECT_EQ(ReadFileText(path), saved);
    WriteText(&store, "QXUpdate", "Pos", "9"); // pending, and not written while suspended
    Suspend(&store);
    DeleteSection(&store, "Foreign");
    EXPECT_EQ(Value("Foreign", "unix"), "lines");
    EXPECT_FALSE(FlushWrites());
}

// text in UTF-16 with its mark.
std::string Utf16(const std::u16string& text, bool little) {
    std::string bytes;
    for (char16_t c : u"\xFEFF" + text) {
        char low = (char)(c & 0xFF), high = (char)(c >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

TEST_F(StoreTest, MarkedFilesKeepTheirEncodingAndTheUsersLines) {
    // Greek and two emoji (both "??" there) are not in the ANSI code page; the umlauts are.
    const std::u16string mine = u"\r\n[Mine]\r\nGreek=\u03A9\u03BC\u03AD\u03B3\u03B1 "
                                u"1\r\nWords=Gr\u00FC\u00DFe\r\n\U0001F600\r\n\U0001F601\r\n";
    const std::string mine8 = u8"\r\n[Mine]\r\nGreek=\u03A9\u03BC\u03AD\u03B3\u03B1 "
                              u8"1\r\nWords=Gr\u00FC\u00DFe\r\n\U0001F600\r\n\U0001F601\r\n";
    for (int form : {0, 1, 2}) { // UTF-16 little endian, big endian, UTF-8
        SCOPED_TRACE(form);
        auto file = [&](const std::string& opt) {
            std::string head = "[QXUpdate]\r\nOpt=" + opt + "\r\n";
            return form < 2 ? Utf16(std::u16string(head.begin(), head.end()) + mine, form == 0)
                            : "\xEF\xBB\xBF" + head + mine8;
        };
        Open(file("8"));
        EXPECT_EQ(Text("Mine", "Words"), "Gr\374\337e");
        EXPECT_EQ(Value("Mine", "Words"), form == 2 ? "Gr\303\274\303\237e" : "Gr\374\337e"); // as held
        WriteText(&store, "QXUpdate", "Opt", "4");
        WriteText(&store, "QXUpdate", "Opt", "8");
        EXPECT_FALSE(FlushWrites()); // changed and back: compared in its own encoding, the file is left alone
        WriteText(&store, "QXUpdate", "Opt", "12");
        EXPECT_TRUE(FlushWrites());
        EXPECT_EQ(ReadFileText(path), file("12"));
        CloseStore(&store);
    }
}

TEST_F(StoreTest, AFileTheTextCannotHoldIsKeptBeforeItIsOverwritten) {
    struct Case {
        std::string before, after, backup;
    } cases[] = {
        {std::string("[QXUpdate]\r\nOpt=4\r\n\0", 20) + std::string(100000, 'x'), "[QXUpdate]\r\nOpt=8\r\n",
         ".bak"},
        // a cut UTF-16 unit; an older backup holds another file
        {Utf16(u"[QXUpdate]\r\nOpt=4\r\n", true) + "x", Utf16(u"[QXUpdate]\r\nOpt=8\r\n", true), ".bak2"},
        {Utf16(u"[QXUpdate]\r\nOpt=4\r\n", false) + std::string("\0\0\0x", 4),
         Utf16(u"[QXUpdate]\r\nOpt=8\r\n", false), ".bak3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.backup);
        Open(c.before);
        EXPECT_EQ(ReadInt(&store, "QXUpdate", "Opt", 0), 4);
        WriteText(&store, "QXUpdate", "Opt", "8");
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(ReadFileText(path), c.after);
        WriteText(&store, "QXUpdate", "Opt", "16"); // kept once, before the first write
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(ReadFileText(path + c.backup), c.before);
        CloseStore(&store);
    }
}

// Each file operation of a save fails, or the process stops there: the file holds the old text
// or the new one, and the next save leaves nothing beside it.
TEST_F(StoreTest, ASaveCutAtAnyStepLeavesTheOldOrTheNewFile) {
    const std::string before = "[QXUpdate]\r\nOpt=4\r\n", big(200000, 'x');
    for (int mode : {FAULT_FAIL, FAULT_STOP})
        for (int at = 1; at <= 12; at++) { // a save takes 9 or 10 operations
            SCOPED_TRACE(std::to_string(mode) + " at " + std::to_string(at));
            Open(before);
            WriteText(&store, "QXUpdate", "Big", big.c_str());
            store.fs = FaultFs();
            gFault = FaultPlan{mode, at};
            Flush(&store);
            std::string now = ReadFileText(path);
            EXPECT_TRUE(now == before || now == before + "Big=" + big + "\r\n") << now.size();
            store.fs = FsLocal();
            WriteText(&store, "QXUpdate", "Opt", "8");
            EXPECT_EQ(Flush(&store), 0);
            CloseStore(&store);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1);
        }
}

TEST(SettingsFileKey, IsSharedOnlyByTheSameSettingsFile) {
    auto key = [](const char* path, int which = SETTINGS_KEY_FOLDER) {
        Store store;
        OpenStore(&store, path, STORE_NO_LOCATE);
        char out[64];
        SettingsFileKey(&store, which, out, sizeof out);
        CloseStore(&store);
        return std::string(out);
    };
    const std::string mine = key("C:\\QX\\QXUpd.INI");
    EXPECT_EQ(key("c:/qx/sub/../QXUPD.ini"), mine);
    EXPECT_NE(key("D:\\QX\\QXUpd.INI"), mine); // a portable copy on another drive
    EXPECT_NE(key("C:\\QX2\\QXUpd.INI"), mine);
    EXPECT_EQ(key("C:\\QX\\QXUpd.INI", SETTINGS_KEY_FILE), ""); // no such file
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
    Open("");
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; t++)
        workers.emplace_back([this, t] {
            for (int k = 0; k < 50; k++)
                WriteText(&store, std::to_string(t).c_str(), std::to_string(k).c_str(), "1");
        });
    for (auto& w : workers)
        w.join();
    EnumKeyProc any = [](const char*, void*) { return 0; };
    for (int t = 0; t < 4; t++)
        EXPECT_EQ(EnumKeys(&store, std::to_string(t).c_str(), any, nullptr), 50);
}

std::string gSeen;

TEST_F(StoreTest, EnumeratesUntrimmedEntriesWhileTheCallbackWrites) {
    Open("[E]\r\nDefault=d\r\n\r\nno equals sign\r\n=empty name\r\nw = Win 64 \r\n*=2026\r\n[F]\r\nx=1\r\n");
    auto proc = [](const char* name, const char* value, void* context) {
        gSeen += std::string(name) + "|" + value + ";";
        WriteText(static_cast<Store*>(context), "E", "x", "1"); // the walk goes over a copy
        return 0;
    };
    EXPECT_EQ(EnumKeyValues(&store, "E", proc, &store), 3);
    EXPECT_EQ(gSeen, "Default|d;w | Win 64 ;*|2026;");
    EXPECT_EQ(EnumKeyValues(&store, "Missing", proc, &store), 0);
    auto thrower = [](const char*, const char*, void*) -> int { throw 1; };
    EXPECT_EQ(EnumKeyValues(&store, "E", thrower, nullptr), 0);
}

// Reading placements back is tested with the screen sizes in the location tests.
TEST_F(StoreTest, SavesPlacementsWithTheirStateUnlessTold) {
    Open("");
    Placement saved = {-8, -8, 1296, 1000, 3};
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(Value("QXUpdate", "Pos"), "-8,-8,1296,1000,3");
    saved.showState = 2; // only 1 and 3 are kept
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(Value("QXUpdate", "Pos"), "-8,-8,1296,1000,0");
    store.flags |= STORE_NO_PLACEMENT;
    saved.showState = 1;
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(Value("QXUpdate", "Pos"), "-8,-8,1296,1000,0");
}

} // namespace
