// Extracting an update into a product's folder: joining names, refusing names that would
// leave the folder, leaving the folder exactly as it was whenever the update fails, and
// exactly old or new after an install cut short at any point and recovered.
#include <gtest/gtest.h>
#include "platform/fs.h"
#include "update/faultfs.h"
#include "update/package.h"
#include "update/package_testing.h"
#include "support/testfiles.h"

// Every fault point natively; under Wine, where each costs far more, every few.
#ifndef QX_FAULT_STRIDE
#define QX_FAULT_STRIDE 1
#endif

namespace {

TEST(PackageNames, JoinsFolderAndNameOrRefusesNamesThatWouldLeaveIt) {
    struct Case {
        const char* folder;
        const char* name;
        const char* expected;
    } cases[] = {{"C:\\P", "a.txt", "C:\\P\\a.txt"},
                 {"C:\\P", "/sub\\a.txt", "C:\\P\\sub\\a.txt"}, // the dropped '/' is not part of the result
                 {"C:\\P", "sub/a.txt", "C:/P/sub/a.txt"},
                 {"/opt/p", "sub\\a.txt", "/opt/p/sub/a.txt"},
                 {"/opt/p/", "./a.txt", "/opt/p/./a.txt"},
                 {"C:\\P", "a..b\\.c", "C:\\P\\a..b\\.c"},
                 {"C:\\P", "console.txt", "C:\\P\\console.txt"}};
    char out[PACKAGE_PATH_SIZE], small[12];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(JoinEntryPath(c.folder, c.name, out, sizeof out), 0);
        EXPECT_STREQ(out, c.expected);
    }
    EXPECT_EQ(JoinEntryPath("C:\\P", "abcdefg", small, sizeof small), ERR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(JoinEntryPath("C:\\P", "abcdef", small, sizeof small), 0);
    // One of each way out: a parent part (also one Windows reaches by dropping trailing dots
    // and blanks), a rooted or drive name, a device, a folder, a character Windows refuses.
    const char* refused[] = {
        "..\\evil.txt", ".. \\evil.txt", "sub.\\a.txt", "sub/..", "/../evil.txt", "\\\\?\\C:\\evil.txt",
        "C:\\evil.txt", "nul.txt",       "sub\\com9",   "sub\\",  "sub/.",        "a<b",
        "tab\there",    "nul .txt",      "com1 .log"};
    for (const char* name : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(JoinEntryPath("C:\\P", name, out, sizeof out), ERR_INVALID_NAME);
    }
}

struct UpdateTest : ::testing::Test {
    TempFolder temp;
    std::string package = temp / "p.pkg", target = temp / "product";
    void SetUp() override {
        FsLocal()->CreateFolder((target + "/sub").c_str());
        WriteFileText(target + "/a.txt", "old a");
        WriteFileText(target + "/sub/keep.txt", "kept");
    }
    int Update(const std::vector<TestEntry>& entries) {
        EXPECT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
        return ExtractUpdatePackage(package.c_str(), target.c_str());
    }
};

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
        {"the staging folder's name and a dot", {{"a.txt", "new a"}, {"~qxstage./x.txt", "x"}}},
        {"the staging folder's name and a blank", {{"a.txt", "new a"}, {"~QXSTAGE /x.txt", "x"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Update(c.entries), -ERR_REQUEST_ABORTED);
        EXPECT_EQ(Snapshot(target), before);
    }
    // Refused as the stream's very last record, with no data after it, decoding itself ends
    // without error and the refusal comes back as it is.
    EXPECT_EQ(Update({{"new.txt", "new"}, {"..\\evil.txt", ""}}), ERR_INVALID_NAME);
    EXPECT_EQ(Snapshot(target), before);
}

TEST_F(UpdateTest, AMissingPackageOrFolderWritesNothing) {
    auto before = Snapshot(target);
    EXPECT_EQ(ExtractUpdatePackage((temp / "missing.pkg").c_str(), target.c_str()), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(Snapshot(target), before);
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"a.txt", "x"}})), 0);
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), (temp / "nowhere").c_str()), -ERR_REQUEST_ABORTED);
    EXPECT_FALSE(FileExists(temp / "nowhere"));
    EXPECT_EQ(RecoverUpdateFolder((temp / "nowhere").c_str(), NULL), 0); // nothing to recover
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), ""), ERR_PATH_NOT_FOUND);
}

// A staging folder's mark; its journal ends in the hash of the lines before.
const char kMark[] = "A staging folder of the Corvanware Updater.\r\n";

// Writes a folder back to the state of a snapshot.
void Restore(const std::string& folder, const std::map<std::string, std::string>& files) {
    FsDeleteTree(FsLocal(), folder.c_str());
    FsLocal()->CreateFolder(folder.c_str());
    for (const auto& file : files)
        if (file.first.back() == '/')
            FsLocal()->CreateFolder((folder + "/" + file.first).c_str());
        else
            WriteFileText(folder + "/" + file.first, file.second);
}

// Every operation of an install, failed alone or with the process stopped right there: once
// recovered (a failed one before too, its stage aside) the folder holds the old files or the
// new ones, and nothing else. One file is alone in a user's folder of the stage's name. A
// package of 41 entries, whose journal outgrows a buffer sized for a few names, stops every 23rd.
TEST_F(UpdateTest, AnInstallCutShortAnywhereIsRecoveredOldOrNew) {
    FsLocal()->CreateFolder((target + "/~qxstage").c_str());
    auto unstaged = [](std::map<std::string, std::string> f) { // without the staging folder
        f.erase(f.lower_bound("~qxstage1"), f.lower_bound("~qxstage2"));
        return f;
    };
    for (int files : {8, 30}) {
        std::vector<TestEntry> entries;
        for (int i = 0; i < files; i++) {
            std::string name = (i == 1 ? "~qxstage/r" : i % 2 ? "sub/r" : "r") + std::to_string(i) + ".txt";
            WriteFileText(target + "/" + name, "old " + name);
            entries.push_back({name, "new " + name});
            if (i % 3 == 0) entries.push_back({"n" + std::to_string(i) + ".txt", "added"});
        }
        entries.push_back({"r0.txt", "twice"});
        ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
        auto before = Snapshot(target);
        gFault = FaultPlan();
        ASSERT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs()), 0);
        auto after = Snapshot(target), expected = before; // files replaced and added, the rest kept
        for (const TestEntry& e : entries)
            expected[e.name] = e.data; // the last of two entries of one name wins
        ASSERT_EQ(after, expected);
        EXPECT_EQ(gFault.closedUnflushed, 0); // every staged file is on the disk before the moves
        int operations = gFault.count, stride = files > 8 ? 23 * QX_FAULT_STRIDE : QX_FAULT_STRIDE;
        for (int mode : {FAULT_FAIL, FAULT_STOP}) {
            for (int at = 1; at <= operations && (files == 8 || mode == FAULT_STOP); at += stride) {
                SCOPED_TRACE((mode == FAULT_FAIL ? "failed operation " : "stopped at operation ") +
                             std::to_string(at) + " of " + std::to_string(entries.size()) + " entries");
                Restore(target, before);
                gFault = FaultPlan();
                gFault.mode = mode, gFault.at = at;
                int result = ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs());
                gFault.mode = FAULT_NONE;
                ASSERT_TRUE(mode == FAULT_STOP || unstaged(Snapshot(target)) == (result ? before : after))
                    << result;
                ASSERT_EQ(RecoverUpdateFolder(target.c_str(), FaultFs()), 0);
                auto now = Snapshot(target);
                if (mode == FAULT_FAIL)
                    ASSERT_EQ(now, result ? before : after) << result;
                else
                    ASSERT_TRUE(now == before || now == after);
            }
        }
    }
}

// A hundred staging folders left by stopped runs are removed before the next extraction;
// what cannot be deleted now goes at a restart (files, not folders), or with the extraction after.
TEST_F(UpdateTest, StaleStagingFoldersDoNotBlockUpdates) {
    auto base = Snapshot(target);
    // As a run stopped while staging leaves one: the mark, a staged file and a folder, no journal.
    std::map<std::string, std::string> stage = {
        {"qxstage.tag", kMark}, {"d/", ""}, {"d/x", ""}, {"f1", "new a"}};
    for (int i = 0; i < 100; i++)
        Restore(target + "/~qxstage" + (i ? std::to_string(i) : ""), stage);
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"a.txt", "new a"}, {"b.txt", "b"}})), 0);
    gFault = FaultPlan();
    gFault.undeletable = target + "/~qxstage7/"; // and everything in it
    EXPECT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs()), 0);
    auto expected = base;
    expected["a.txt"] = "new a", expected["b.txt"] = "b";
    for (const auto& file : Snapshot(target))
        EXPECT_TRUE(expected.count(file.first) || file.first.compare(0, 10, "~qxstage7/") == 0) << file.first;
    // The file alone, under a new name: by the stage's names, a later stage's files would go.
    ASSERT_EQ(gFault.atRestart.size(), 1u);
    const std::string& leftover = gFault.atRestart[0];
    EXPECT_NE(leftover.substr(leftover.find_last_of("/\\") + 1), "f1") << leftover;
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), target.c_str()), 0);
    EXPECT_EQ(Snapshot(target), expected);
}

// A stage this program did not make is neither undone nor deleted, and the next install
// takes a new one: a journal that passes the plain hash of earlier versions, and a link.
TEST_F(UpdateTest, AForgedStageIsNeitherFollowedNorUndone) {
    std::map<std::string, std::string> forged = {
        {"qxstage.tag", kMark},
        {"b1", "planted"},
        {"journal", "QXUpdate journal 1\r\n1\r\na.txt\r\nend 360783A8\r\n"}};
    Restore(target + "/~qxstage", forged);
    forged["journal"] = "QXUpdate journal 2\r\n1\r\na.txt\r\nend 0123456789abcdef0123456789abcdef\r\n";
    Restore(target + "/~qxstage1", forged);
    Restore(temp / "elsewhere", {{"qxstage.tag", kMark}, {"x", "kept"}});
    ASSERT_TRUE(MakeFolderLink(temp / "elsewhere", target + "/~qxstage2"));
    auto before = Snapshot(target);
    EXPECT_EQ(RecoverUpdateFolder(target.c_str(), NULL), 0);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_EQ(Update({{"a.txt", "new a"}}), 0);
    auto expected = before;
    expected["a.txt"] = "new a";
    EXPECT_EQ(Snapshot(target), expected);
    EXPECT_EQ(ReadFileText(temp / "elsewhere/x"), "kept");
}

// A folder on the way that is a link (to a folder outside) refuses the entries through it,
// and one swapped in after any operation of an install or its recovery is never followed.
TEST_F(UpdateTest, LinksBelowTheFolderAreNeverFollowed) {
    static std::string outside, sub;
    outside = temp / "outside", sub = target + "/sub";
    Restore(outside, {{"keep.txt", "outside"}, {"lib.dll", "outside"}});
    auto untouched = Snapshot(outside);
    ASSERT_TRUE(MakeFolderLink(outside, target + "/linked"));
    WriteFileText(temp / "lib.dll", "outside");
    ASSERT_TRUE(MakeFolderLink(temp / "lib.dll", target + "/file.dll"));
    auto before = Snapshot(target);
    // Wine shows a link to a file as a plain file (and renames what it leads to): that row
    // is for the systems that show it.
    uint32_t attributes = 0;
    FsLocal()->GetAttributes((target + "/file.dll").c_str(), &attributes);
    for (const char* name : {"linked/lib.dll", "linked/new.dll", "file.dll"}) {
        SCOPED_TRACE(name);
        if (name[0] == 'f' && !(attributes & FILE_ATTR_REPARSE_POINT)) continue;
        EXPECT_EQ(Update({{"a.txt", "new a"}, {name, "new"}}), -ERR_REQUEST_ABORTED);
        EXPECT_EQ(Snapshot(target), before);
    }
    RemoveLink(target + "/linked"), RemoveLink(target + "/file.dll");
    before = Snapshot(target);
    ASSERT_EQ(WriteStreamPackage(package,
                                 Stream({{"a.txt", "new a"}, {"sub/keep.txt", "new"}, {"sub/n.txt", "n"}})),
              0);
    gFault = FaultPlan();
    ASSERT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs()), 0);
    int operations = gFault.count;
    for (int at = 1; at <= operations; at++) {
        SCOPED_TRACE("link swapped in at operation " + std::to_string(at));
        Restore(target, before);
        gFault = FaultPlan();
        gFault.at = at;
        gFault.hook = [] {
            FsLocal()->Move(sub.c_str(), (sub + ".moved").c_str()), MakeFolderLink(outside, sub);
        };
        ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs());
        gFault.hook = NULL;
        RecoverUpdateFolder(target.c_str(), FaultFs());
        ASSERT_EQ(Snapshot(outside), untouched);
        RemoveLink(sub);
    }
}

// While one install stages or commits, no other copy may stage in the folder, nor recover it.
TEST_F(UpdateTest, OneInstallAtATimePerFolder) {
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"a.txt", "new a"}})), 0);
    Staging* first = NULL;
    ASSERT_EQ(StageUpdate(package.c_str(), target.c_str(), NULL, &first), 0);
    Staging* second = NULL;
    EXPECT_EQ(StageUpdate(package.c_str(), (target + "/sub/..").c_str(), NULL, &second),
              -ERR_REQUEST_ABORTED);
    EXPECT_EQ(RecoverUpdateFolder(target.c_str(), NULL), ERR_SHARING_VIOLATION);
    EXPECT_EQ(CommitStage(first), 0);
    EXPECT_EQ(ReadFileText(target + "/a.txt"), "new a");
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), target.c_str()), 0);
}

} // namespace
