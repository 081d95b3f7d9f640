// The settings store over real files: reading with defaults, byte-exact round trips,
// Flush, placements, the desktop check and concurrent writers.
#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include "platform/fs.h"
#include "settings/store.h"
#include "support/testfiles.h"

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
};

TEST_F(StoreTest, ReadsValuesDefaultsAndCutsLongValues) {
    Open("[QXUpdate]\r\nEmpty=\r\nLong=0123456789\r\nNum=-12abc\r\nWord=abc\r\nBig=4294967295\r\n");
    EXPECT_EQ(Value("QXUpdate", "Empty"), "");            // present but empty: no default
    EXPECT_EQ(Value("QXUpdate", "Missing"), "<default>"); // missing: the default
    EXPECT_EQ(Value("Nowhere", "Empty"), "<default>");
    EXPECT_EQ(Value("QXUpdate", "Long", "<default>", 5), "0123"); // cut, default not applied
    char out[8] = "keep";
    EXPECT_EQ(ReadValue(&store, "QXUpdate", "Missing", nullptr, out, sizeof out), 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ReadValue(&store, "QXUpdate", "Long", nullptr, nullptr, 8), 1);

    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Num", 7), -12);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Word", 7), 0);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Empty", 7), 7);
    EXPECT_EQ(ReadInt(&store, "QXUpdate", "Missing", 7), 7);
    EXPECT_EQ(ReadOptions(&store, "QXUpdate", 0), 0u);
    EXPECT_EQ((uint32_t)ReadInt(&store, "QXUpdate", "Big", 0), 4294967295u);
}

TEST_F(StoreTest, ReadTextConvertsUtf8OnlyWhereMarked) {
    // "Grüße" in UTF-8; ReadText gives Windows-1252, ReadValue the stored bytes.
    Open("\xEF\xBB\xBF[QXUpdate]\r\nName=Gr\xC3\xBC\xC3\x9F"
         "e\r\n");
    char out[32];
    ReadText(&store, "QXUpdate", "Name", "", out, sizeof out);
    EXPECT_STREQ(out, "Gr\xFC\xDF"
                      "e");
    EXPECT_EQ(Value("QXUpdate", "Name"), "Gr\xC3\xBC\xC3\x9F"
                                         "e");
    CloseStore(&store);

    Open("[QXUpdate]\r\nPlain=Gr\xFC\xDF"
         "e\r\nMarked=\xEF\xBB\xBF\xC3\xA4\r\n");
    ReadText(&store, "QXUpdate", "Plain", "", out, sizeof out);
    EXPECT_STREQ(out, "Gr\xFC\xDF"
                      "e");
    ReadText(&store, "QXUpdate", "Marked", "", out, sizeof out);
    EXPECT_STREQ(out, "\xE4");
    ReadText(&store, "QXUpdate", "Missing", "dflt", out, sizeof out);
    EXPECT_STREQ(out, "dflt");
}

TEST_F(StoreTest, RoundTripKeepsForeignLinesByteForByte) {
    const std::string before = "; written by hand\r\n"
                               "[QXUpdate]\r\n"
                               "Language=DE\r\n"
                               "Opt = 12  \r\n"
                               "Pos=10,20,800,600,1\r\n"
                               "# a note\r\n"
                               "\r\n"
                               "[Products]\r\n"
                               "1=qj;QX Navigator;5.20;5.10;;C:\\QX\\QXNav.exe\r\n"
                               "free text without equals\r\n"
                               "\r\n"
                               "[Foreign]\n"
                               "unix=lines\n";
    Open(before);
    WriteText(&store, "QXUpdate", "Language", "DE");
    WriteText(&store, "QXUpdate", "Opt", "12  "); // trailing spaces are part of the value
    EXPECT_EQ(store.dirty, 0);
    WriteText(&store, "QXUpdate", "Pos", "-4,-4,1032,744,3");
    WriteText(&store, "QXUpdate", "Col0", "150,0");
    WriteText(&store, "Products", "2", "qv;QX Seek;1.0;;;");
    WriteText(&store, "Class", "qj", "QXNavigatorMain");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(ReadFileText(path), "; written by hand\r\n"
                                  "[QXUpdate]\r\n"
                                  "Language=DE\r\n"
                                  "Opt = 12  \r\n"
                                  "Pos=-4,-4,1032,744,3\r\n"
                                  "# a note\r\n"
                                  "Col0=150,0\r\n"
                                  "\r\n"
                                  "[Products]\r\n"
                                  "1=qj;QX Navigator;5.20;5.10;;C:\\QX\\QXNav.exe\r\n"
                                  "free text without equals\r\n"
                                  "2=qv;QX Seek;1.0;;;\r\n"
                                  "\r\n"
                                  "[Foreign]\n"
                                  "unix=lines\n"
                                  "\r\n"
                                  "[Class]\r\n"
                                  "qj=QXNavigatorMain\r\n");
}

TEST_F(StoreTest, FlushLeavesAnUnchangedFileUntouched) {
    const std::string text = "[QXUpdate]\r\nVersion=2025\r\nLanguage=US\r\n";
    WriteFileText(path, text);
    auto old = std::filesystem::last_write_time(path) - std::chrono::hours(48);
    std::filesystem::last_write_time(path, old);
    OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
    WriteText(&store, "QXUpdate", "Language", "DE");
    WriteText(&store, "QXUpdate", "Language", "US"); // changed and changed back: same text
    EXPECT_EQ(store.dirty, 1);
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(store.dirty, 0);
    EXPECT_EQ(std::filesystem::last_write_time(path), old);
    EXPECT_EQ(ReadFileText(path), text);
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

TEST_F(StoreTest, Utf16FilesKeepTheirEncodingAndTheUsersLines) {
    // Greek and an emoji are not in the ANSI code page; the umlauts are.
    const std::u16string mine =
        u"\r\n[Mine]\r\nGreek=\u03A9\u03BC\u03AD\u03B3\u03B1 1\r\nWords=Gr\u00FC\u00DFe\r\n"
        u"\U0001F600\r\n";
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "little endian" : "big endian");
        Open(Utf16(u"[QXUpdate]\r\nLanguage=DE\r\nOpt=8\r\n" + mine, little));
        char out[32];
        ReadText(&store, "QXUpdate", "Language", "", out, sizeof out);
        EXPECT_STREQ(out, "DE");
        ReadText(&store, "Mine", "Words", "", out, sizeof out);
        EXPECT_STREQ(out, "Gr\xFC\xDF"
                          "e");
        WriteText(&store, "QXUpdate", "Opt", "12");
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(ReadFileText(path), Utf16(u"[QXUpdate]\r\nLanguage=DE\r\nOpt=12\r\n" + mine, little));
        CloseStore(&store);

        // Unchanged in the end: compared in its own encoding, the file is left alone.
        auto old = std::filesystem::last_write_time(path) - std::chrono::hours(48);
        std::filesystem::last_write_time(path, old);
        OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
        WriteText(&store, "QXUpdate", "Opt", "4");
        WriteText(&store, "QXUpdate", "Opt", "12");
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(std::filesystem::last_write_time(path), old);
        CloseStore(&store);
    }
}

TEST_F(StoreTest, AFileTheTextCannotHoldIsKeptBeforeItIsOverwritten) {
    struct Case {
        const char* name;
        std::string before, after, backup;
    } cases[] = {
        {"zero byte", std::string("[QXUpdate]\r\nOpt=4\r\n\0", 20) + std::string(100000, 'x'),
         "[QXUpdate]\r\nOpt=8\r\n", ".bak"},
        {"cut UTF-16 unit", Utf16(u"[QXUpdate]\r\nOpt=4\r\n", true) + "x",
         Utf16(u"[QXUpdate]\r\nOpt=8\r\n", true), ".bak2"}, // an older backup holds another file
        {"zero UTF-16 unit", Utf16(u"[QXUpdate]\r\nOpt=4\r\n", false) + std::string("\0\0\0x", 4),
         Utf16(u"[QXUpdate]\r\nOpt=8\r\n", false), ".bak3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.before);
        EXPECT_EQ(ReadInt(&store, "QXUpdate", "Opt", 0), 4);
        WriteText(&store, "QXUpdate", "Opt", "8");
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(ReadFileText(path), c.after);
        EXPECT_EQ(ReadFileText(path + c.backup), c.before);
        WriteText(&store, "QXUpdate", "Opt", "16"); // kept once, before the first write
        EXPECT_EQ(Flush(&store), 0);
        EXPECT_EQ(ReadFileText(path + c.backup), c.before);
        CloseStore(&store);
    }
}

TEST(SettingsFileKey, IsSharedOnlyByTheSameSettingsFile) {
    auto key = [](const char* path) {
        Store store;
        OpenStore(&store, path, STORE_NO_LOCATE);
        char out[64];
        SettingsFileKey(&store, out, sizeof out);
        CloseStore(&store);
        return std::string(out);
    };
    struct Case {
        const char* other;
        bool same;
    } cases[] = {
        {"c:/qx/sub/../QXUpd.ini", true},
        {"C:\\QX\\.\\QXUPD.INI", true},
        {"D:\\QX\\QXUpd.INI", false}, // a portable copy on another drive
        {"C:\\QX2\\QXUpd.INI", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.other);
        EXPECT_EQ(key("C:\\QX\\QXUpd.INI") == key(c.other), c.same);
    }
}

TEST_F(StoreTest, FlushCreatesTheFolderAndStampsTheVersion) {
    path = folder / "sub/deeper/Updat.INI";
    OpenStore(&store, path.c_str(), STORE_NO_LOCATE | STORE_TRACK_DESKTOP);
    WriteText(&store, "QXUpdate", "Language", "US");
    EXPECT_EQ(Flush(&store), 0);
    std::string text = ReadFileText(path);
    EXPECT_NE(text.find("[Desk]\r\n.=#"), std::string::npos);
    EXPECT_NE(text.find("[QXUpdate]\r\nLanguage=US\r\nVersion=2025\r\n"), std::string::npos);
}

TEST_F(StoreTest, SuspendedStoreNeitherChangesNorWrites) {
    Open("[QXUpdate]\r\nOpt=4\r\n");
    WriteText(&store, "QXUpdate", "Opt", "8");
    Suspend(&store);
    WriteText(&store, "QXUpdate", "Opt", "16");
    DeleteSection(&store, "QXUpdate");
    EXPECT_EQ(Value("QXUpdate", "Opt"), "8");
    EXPECT_EQ(Flush(&store), 0);
    EXPECT_EQ(ReadFileText(path), "[QXUpdate]\r\nOpt=4\r\n");
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
    Open("");
    const int threads = 4, keys = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([this, t] {
            std::string section = "T" + std::to_string(t);
            for (int k = 0; k < keys; k++) {
                WriteText(&store, section.c_str(), std::to_string(k).c_str(), std::to_string(k * k).c_str());
                WriteText(&store, "Shared", (section + "_" + std::to_string(k)).c_str(), "1");
            }
        });
    for (auto& w : workers)
        w.join();
    for (int t = 0; t < threads; t++)
        for (int k = 0; k < keys; k++) {
            std::string section = "T" + std::to_string(t);
            ASSERT_EQ(Value(section.c_str(), std::to_string(k).c_str()), std::to_string(k * k));
            ASSERT_EQ(Value("Shared", (section + "_" + std::to_string(k)).c_str()), "1");
        }
}

TEST_F(StoreTest, EnumeratesWhileTheCallbackWrites) {
    Open("[Edition]\r\nDefault=d\r\n*=2026\r\nd=Win32\r\nw=Win 64\r\n");
    auto proc = [](const char* name, void* context) {
        Store* s = static_cast<Store*>(context);
        WriteText(s, "Seen", name, "1");
        return 0;
    };
    EXPECT_EQ(EnumKeys(&store, "Edition", proc, &store), 4);
    EXPECT_EQ(Value("Seen", "w"), "1");
}

TEST_F(StoreTest, PlacementChecksAndFormat) {
    int w, h;
    SysScreenSize(&w, &h);
    auto pos = [](int width, int height, int state) {
        return "10,20," + std::to_string(width) + "," + std::to_string(height) + "," + std::to_string(state);
    };
    struct Case {
        std::string pos;
        bool used;
        uint16_t state;
    } cases[] = {
        {pos(800, 600, 1), true, 1}, {pos(800, 600, 3), true, 3},
        {pos(800, 600, 2), true, 0}, // only 1 and 3 are kept
        {"10,20,800,600", false, 0}, // four numbers
        {pos(49, 600, 1), false, 0}, // too narrow
        {pos(800, 49, 1), false, 0}, {"", false, 0},
    };
    Open("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        WriteText(&store, "QXUpdate", "Pos", c.pos.c_str());
        Placement p;
        LoadPlacement(&store, "QXUpdate", &p, 800, 600);
        EXPECT_EQ(p.showState, c.state);
        if (c.used) {
            EXPECT_EQ(p.x, 10);
            EXPECT_EQ(p.y, 20);
        } else {
            EXPECT_EQ(p.x, PLACEMENT_DEFAULT_POSITION);
            EXPECT_EQ(p.y, PLACEMENT_DEFAULT_POSITION);
            EXPECT_EQ(p.width, ScaleToScreen(800));
            EXPECT_EQ(p.height, ScaleToScreen(600));
        }
    }
    Placement saved = {-8, -8, 1296, 1000, 3};
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(Value("QXUpdate", "Pos"), "-8,-8,1296,1000,3");
    saved.showState = 2;
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(Value("QXUpdate", "Pos"), "-8,-8,1296,1000,0");

    CloseStore(&store);
    OpenStore(&store, path.c_str(), STORE_NO_LOCATE | STORE_NO_PLACEMENT);
    SavePlacement(&store, "QXUpdate", &saved);
    EXPECT_EQ(store.dirty, 0);
}

} // namespace
