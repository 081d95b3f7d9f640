// The POSIX provider: deleting a tree never follows a link out of it, and read-only files
// (also when the tests run as root) and names behave as on Windows.
#include <gtest/gtest.h>
#include <unistd.h>
#include <string>
#include "platform/fs.h"
#include "support/testfiles.h"

TEST(FileSystem, DeletingATreeLeavesLinkedFoldersAlone) {
    TempFolder folder;
    WriteFileText(folder / "precious", "keep");
    FsLocal()->CreateFolder((folder / "tree").c_str());
    // A link to the tree's parent: both a loop and a way out of the tree.
    ASSERT_EQ(symlink(folder.path.c_str(), (folder / "tree/link").c_str()), 0);
    EXPECT_EQ(FsDeleteTree(FsLocal(), (folder / "tree").c_str()), 0);
    EXPECT_FALSE(FileExists(folder / "tree"));
    EXPECT_EQ(ReadFileText(folder / "precious"), "keep");
}

TEST(FileSystem, ReadOnlyFilesRefuseWritersAndReplacement) {
    TempFolder folder;
    std::string path = folder / "ro", other = folder / "other";
    WriteFileText(path, "old");
    WriteFileText(other, "new");
    ASSERT_EQ(FsLocal()->SetAttributes(path.c_str(), FILE_ATTR_READONLY), 0);
    FsFile* file;
    EXPECT_EQ(FsLocal()->Open(path.c_str(), FS_OPEN_READWRITE, 0, &file), ERR_ACCESS_DENIED);
    EXPECT_EQ(FsLocal()->Move(other.c_str(), path.c_str()), ERR_ACCESS_DENIED);
    EXPECT_EQ(ReadFileText(path), "old");
}

// As on Windows, a part's trailing dots and blanks are dropped: "sub. /a." is "sub/a".
TEST(FileSystem, DropsTrailingDotsAndBlanksOfEachPart) {
    TempFolder folder;
    FsLocal()->CreateFolder((folder / "sub").c_str());
    WriteFileText(folder / "sub. /a. ", "x");
    EXPECT_EQ(ReadFileText(folder / "sub/a"), "x");
    EXPECT_TRUE(FileExists(folder / "./sub/../sub/a"));
}
