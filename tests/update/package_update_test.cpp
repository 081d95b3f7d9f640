// Extracting an update into a product's folder: joining names, refusing names that would
// leave the folder, and leaving the folder exactly as it was whenever the update fails.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/errors.h"
#include "platform/fs.h"
#include "support/testfiles.h"
#include "update/package.h"
#include "update/package_testing.h"

namespace {

TEST(PackageNames, JoinsFolderAndName) {
    struct Case {
        const char* folder;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\P", "a.txt", "C:\\P\\a.txt"},
        {"C:\\P\\", "a.txt", "C:\\P\\a.txt"},
        {"C:\\P", "\\a.txt", "C:\\P\\a.txt"},
        {"C:\\P", "/sub\\a.txt", "C:\\P\\sub\\a.txt"}, // the dropped '/' is not part of the result
        {"C:\\P", "sub/a.txt", "C:/P/sub/a.txt"},
        {"/opt/p", "sub\\a.txt", "/opt/p/sub/a.txt"},
        {"/opt/p/", "./a.txt", "/opt/p/./a.txt"},
        {"C:\\P", "a..b\\.c", "C:\\P\\a..b\\.c"},
        {"C:\\P", "console.txt", "C:\\P\\console.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char out[PACKAGE_PATH_SIZE];
        ASSERT_EQ(JoinEntryPath(c.folder, c.name, out, sizeof out), 0);
        EXPECT_STREQ(out, c.expected);
    }
    char small[12];
    EXPECT_EQ(JoinEntryPath("C:\\P", "abcdefg", small, sizeof small), ERR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(JoinEntryPath("C:\\P", "abcdef", small, sizeof small), 0);
}

struct UpdateTest : ::testing::Test {
    TempFolder temp;
    std::string package = temp / "p.pkg";
    std::string target = temp / "product";
    void SetUp() override {
        FsLocal()->CreateFolder(target.c_str());
        FsLocal()->CreateFolder((target + "/sub").c_str());
        WriteFileText(target + "/a.txt", "old a");
        WriteFileText(target + "/sub/keep.txt", "kept");
    }
    int Update(const std::vector<TestEntry>& entries) {
        EXPECT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
        return ExtractUpdatePackage(package.c_str(), target.c_str());
    }
};

TEST_F(UpdateTest, RefusesNamesThatWouldLeaveTheFolder) {
    const char* names[] = {
        "..\\evil.txt",
        "../evil.txt",
        "sub\\..\\..\\evil.txt",
        "/../evil.txt",
        "\\\\server\\share\\evil.txt",
        "//server/share/evil.txt",
        "C:evil.txt",
        "C:\\evil.txt",
        "a.txt:stream",
        "\\\\?\\C:\\evil.txt",
        "\\\\.\\pipe\\evil",
        "...\\evil.txt",
        ". .\\evil.txt",
        ".. \\evil.txt",
        "sub/..",
        "CON",
        "nul.txt",
        "sub\\com1",
        "LPT9.log",
        "sub\\",
        "\\",
        ".",
        "sub/.",
        "a<b",
        "tab\there",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        char out[PACKAGE_PATH_SIZE];
        EXPECT_EQ(JoinEntryPath(target.c_str(), name, out, sizeof out), ERR_INVALID_NAME);
        auto before = Snapshot(temp.path);
        EXPECT_EQ(Update({{"new.txt", "new"}, {name, "evil"}, {"later.txt", "later"}}), -ERR_REQUEST_ABORTED);
        auto after = Snapshot(temp.path);
        after.erase("p.pkg"), before.erase("p.pkg"); // the package itself is rewritten
        EXPECT_EQ(after, before);
    }
    // Refused as the stream's very last record, with no data after it, decoding itself ends
    // without error and the refusal comes back as it is.
    EXPECT_EQ(Update({{"new.txt", "new"}, {"..\\evil.txt", ""}}), ERR_INVALID_NAME);
    EXPECT_FALSE(FileExists(target + "/new.txt"));
}

TEST_F(UpdateTest, ReplacesFilesAndKeepsTheRest) {
    ASSERT_EQ(Update({{"a.txt", "new a"},
                      {"/sub\\b.txt", "b"},
                      {"c.txt", "first c"},
                      {"", "skipped"},
                      {"c.txt", "second c"},
                      {"empty.txt", ""}}),
              0);
    auto files = Snapshot(target);
    std::map<std::string, std::string> expected = {
        {"a.txt", "new a"}, {"sub/", ""},          {"sub/keep.txt", "kept"},
        {"sub/b.txt", "b"}, {"c.txt", "second c"}, {"empty.txt", ""},
    };
    EXPECT_EQ(files, expected); // and no staging folder is left behind
}

TEST_F(UpdateTest, AFailedUpdateLeavesTheFolderAsItWas) {
    WriteFileText(target + "/ro.txt", "read-only");
    FsLocal()->SetAttributes((target + "/ro.txt").c_str(), FILE_ATTR_READONLY);
    FsLocal()->CreateFolder((target + "/folder.txt").c_str());
    auto before = Snapshot(target);
    std::string big(200000, 'x');
    struct Case {
        const char* what;
        std::vector<TestEntry> entries;
    } cases[] = {
        {"a read-only file", {{"a.txt", "new a"}, {"new.txt", big}, {"ro.txt", "x"}, {"z.txt", "z"}}},
        {"a missing subfolder", {{"a.txt", "new a"}, {"missing\\x.txt", "x"}}},
        {"a folder of the entry's name", {{"a.txt", "new a"}, {"folder.txt", "x"}}},
        {"the staging folder's name", {{"a.txt", "new a"}, {"~qxstage\\x.txt", "x"}}},
        {"the staging folder's name after '.'", {{"a.txt", "new a"}, {"./~QXSTAGE/x.txt", "x"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Update(c.entries), -ERR_REQUEST_ABORTED);
        EXPECT_EQ(Snapshot(target), before);
    }
    FsLocal()->SetAttributes((target + "/ro.txt").c_str(), 0);
}

TEST_F(UpdateTest, KeepsAFolderOfTheStagingFolderName) {
    FsLocal()->CreateFolder((target + "/~qxstage").c_str());
    WriteFileText(target + "/~qxstage/mine.txt", "mine");
    ASSERT_EQ(Update({{"a.txt", "new a"}, {"~qxstage/mine.txt", "replaced"}}), 0);
    EXPECT_EQ(ReadFileText(target + "/~qxstage/mine.txt"), "replaced");
    EXPECT_FALSE(FileExists(target + "/~qxstage1"));
}

// A local provider whose Move fails once, at a given call.
int gMoves, gFailAt;
int (*gRealMove)(const char*, const char*);
int FailingMove(const char* from, const char* to) {
    if (++gMoves == gFailAt) return ERR_SHARING_VIOLATION;
    return gRealMove(from, to);
}

TEST_F(UpdateTest, PutsReplacedFilesBackWhenAMoveFails) {
    FsProvider failing = *FsLocal();
    gRealMove = failing.Move;
    failing.Move = FailingMove;
    WriteFileText(target + "/c.txt", "old c");
    auto before = Snapshot(target);
    // Moves: a.txt out, a.txt in, b.txt in, c.txt out, c.txt in, c.txt out, c.txt in.
    ASSERT_EQ(
        WriteStreamPackage(
            package, Stream({{"a.txt", "new a"}, {"sub/b.txt", "b"}, {"c.txt", "c1"}, {"c.txt", "c2"}})),
        0);
    for (gFailAt = 1; gFailAt <= 7; gFailAt++) {
        SCOPED_TRACE("failing move " + std::to_string(gFailAt));
        gMoves = 0;
        EXPECT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), &failing), -ERR_REQUEST_ABORTED);
        EXPECT_EQ(Snapshot(target), before);
    }
    gMoves = 0, gFailAt = 8;
    EXPECT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), &failing), 0);
    EXPECT_EQ(ReadFileText(target + "/c.txt"), "c2");
}

TEST_F(UpdateTest, AMissingTargetFolderWritesNothing) {
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"a.txt", "x"}})), 0);
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), (temp / "nowhere").c_str()), -ERR_REQUEST_ABORTED);
    EXPECT_FALSE(FileExists(temp / "nowhere"));
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), ""), ERR_PATH_NOT_FOUND);
}

} // namespace
