// Path macros, normalisation and path comparison.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include "platform/sys.h"
#include "settings/pathmacro.h"

static std::string Expanded(const char* path, bool relative = false) {
    char out[2048];
    if (relative)
        ExpandPath(path, out, sizeof out);
    else
        ExpandMacros(path, out, sizeof out);
    return out;
}

static std::string Program() {
    char folder[1024];
    ProgramFolder(folder, sizeof folder);
    return folder;
}

TEST(PathMacros, ExpandLeadingMacrosOnly) {
    static char variable[] = "QXTESTVAR=C:\\qxvar";
    putenv(variable);
    EXPECT_EQ(Expanded("%MY_PATH%\\name.txt"), Program() + "\\name.txt");
    EXPECT_EQ(Expanded("%my_path%name.txt"), Program() + "name.txt");
    EXPECT_EQ(Expanded("%NAVIGATOR_PATH%"), Program());
    EXPECT_EQ(Expanded("%QXTESTVAR%\\name"), "C:\\qxvar\\name");
    EXPECT_EQ(Expanded("C:\\%QXTESTVAR%\\name"), "C:\\%QXTESTVAR%\\name");
    EXPECT_EQ(Expanded("%unterminated"), "%unterminated");
    char appData[1024];
    SysAppDataFolder(appData, sizeof appData);
    EXPECT_EQ(Expanded("%APPDATA%\\x"), std::string(appData) + "\\x");

    char out[2048];
    ProfileFolder(out, sizeof out, nullptr);
    EXPECT_EQ(std::string(out), std::string(appData) + "\\Corvanware");
    ProfileFolder(out, sizeof out, "Help");
    EXPECT_EQ(std::string(out), std::string(appData) + "\\Corvanware\\Help");

    char small[8];
    ExpandMacros("%QXTESTVAR%\\name", small, sizeof small);
    EXPECT_STREQ(small, "C:\\qxva");
}

TEST(PathMacros, ParentPathsResolveAgainstTheProgramFolder) {
    std::string program = Program();
    std::string parent = program.substr(0, program.find_last_of("\\/") + 1);
    EXPECT_EQ(Expanded("..\\name", true), parent + "name");
    EXPECT_EQ(Expanded("C:\\x\\..\\y", true), "C:\\y");
}

TEST(PathMacros, NormaliseRemovesDotsAndResolvesParents) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\a\\.\\b", "C:\\a\\b"},
        {".\\x", "x"},
        {"C:\\a\\b\\..\\c", "C:\\a\\c"},
        {"C:\\a\\b\\..\\..\\c", "C:\\c"},
        {"C:\\a\\b\\..", "C:\\a"},
        {"C:\\a\\..", "C:\\"},
        {"C:\\..\\x", "C:\\x"},
        {"..\\x", "x"},
        {"a/b/../c", "a/c"},
        {"C:\\a\\...\\b", "C:\\a\\...\\b"},
        {"C:\\a..\\b", "C:\\a..\\b"},
        {"C:\\a\\.", "C:\\a\\."},
        {"\\\\server\\share\\..\\x", "\\\\server\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char path[256];
        snprintf(path, sizeof path, "%s", c.path);
        NormalisePath(path, sizeof path);
        EXPECT_STREQ(path, c.expected);
    }
}

TEST(PathMacros, PathInsideAndPathsEqual) {
    struct Case {
        const char* path;
        const char* folder;
        int inside;
    } cases[] = {
        {"C:\\Prog\\QXFolder2\\a.exe", "C:\\Prog\\QXFolder", 0},
        {"c:\\prog\\qxfolder\\sub\\a.exe", "C:\\Prog\\QXFolder", 1},
        {"C:\\Prog\\QXFolder", "C:\\Prog\\QXFolder", 1},
        {"C:\\Prog\\QXFolder\\a", "C:\\Prog\\QXFolder\\", 1},
        {"C:/Prog/QXFolder/a", "C:\\Prog\\QXFolder", 1},
        {"C:\\Prog", "C:\\Prog\\QXFolder", 0},
        {"C:\\Prog", "", 0},
        {"D:\\Prog\\a", "C:\\Prog", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " in " + c.folder);
        EXPECT_EQ(PathInside(c.path, c.folder), c.inside);
    }
    EXPECT_TRUE(PathsEqual("%MY_PATH%\\sub\\a.ini", (Program() + "/SUB/A.INI").c_str()));
    EXPECT_FALSE(PathsEqual("%MY_PATH%\\sub\\a.ini", (Program() + "/sub/b.ini").c_str()));
}
