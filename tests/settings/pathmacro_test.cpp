// Path macros, normalisation and path comparison.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <utility>
#include "platform/sys.h"
#include "settings/pathmacro.h"

TEST(PathMacros, ExpandLeadingMacrosOnly) {
    static char variable[] = "QXTESTVAR=C:\\qxvar";
    putenv(variable);
    char program[1024], appData[1024], out[2048], small[8];
    ProgramFolder(program, sizeof program);
    SysAppDataFolder(appData, sizeof appData);
    std::string parent = program;
    parent.erase(parent.find_last_of("\\/") + 1);
    std::pair<const char*, std::string> cases[] = {
        {"%my_path%name.txt", program + std::string("name.txt")},
        {"%NAVIGATOR_PATH%", program},
        {"%QXTESTVAR%\\name", "C:\\qxvar\\name"},
        {"C:\\%QXTESTVAR%\\name", "C:\\%QXTESTVAR%\\name"},
        {"%unterminated", "%unterminated"},
        {"%APPDATA%\\x", appData + std::string("\\x")},
        {"..\\name", parent + "name"}, // relative to the program folder
    };
    for (auto& c : cases) {
        ExpandPath(c.first, out, sizeof out);
        EXPECT_EQ(out, c.second) << c.first;
    }
    ExpandMacros("%QXTESTVAR%\\name", small, sizeof small);
    EXPECT_STREQ(small, "C:\\qxva");
    ProfileFolder(out, sizeof out, "Help");
    EXPECT_EQ(out, appData + std::string("\\Corvanware\\Help"));
}

TEST(PathMacros, NormaliseRemovesDotsAndResolvesParents) {
    const char* cases[][2] = {{"C:\\a\\.\\b", "C:\\a\\b"},
                              {".\\x", "x"},
                              {"C:\\a\\b\\..\\..\\c", "C:\\c"},
                              {"C:\\a\\b\\..", "C:\\a"},
                              {"C:\\a\\..", "C:\\"},
                              {"C:\\..\\x", "C:\\x"},
                              {"..\\x", "x"},
                              {"a/b/../c", "a/c"},
                              {"C:\\a\\...\\b", "C:\\a\\...\\b"},
                              {"C:\\a..\\b", "C:\\a..\\b"},
                              {"C:\\a\\.", "C:\\a\\."},
                              {"\\\\server\\share\\..\\x", "\\\\server\\x"}};
    for (auto& c : cases) {
        char path[256];
        snprintf(path, sizeof path, "%s", c[0]);
        NormalisePath(path, sizeof path);
        EXPECT_STREQ(path, c[1]) << c[0];
    }
}

TEST(PathMacros, PathInsideAndPathsEqual) {
    struct Case {
        const char *path, *folder;
        int inside;
    } cases[] = {{"C:\\Prog\\QXFolder2\\a.exe", "C:\\Prog\\QXFolder", 0},
                 {"c:\\prog\\qxfolder\\sub\\a.exe", "C:\\Prog\\QXFolder", 1},
                 {"C:\\Prog\\QXFolder", "C:\\Prog\\QXFolder", 1},
                 {"C:\\Prog\\QXFolder\\a", "C:\\Prog\\QXFolder\\", 1},
                 {"C:/Prog/QXFolder/a", "C:\\Prog\\QXFolder", 1},
                 {"C:\\Prog", "C:\\Prog\\QXFolder", 0},
                 {"C:\\Prog", "", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(PathInside(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
    char program[1024];
    ProgramFolder(program, sizeof program);
    EXPECT_TRUE(PathsEqual("%MY_PATH%\\sub\\a.ini", (program + std::string("/SUB/A.INI")).c_str()));
    EXPECT_FALSE(PathsEqual("%MY_PATH%\\sub\\a.ini", (program + std::string("/sub/b.ini")).c_str()));
}
