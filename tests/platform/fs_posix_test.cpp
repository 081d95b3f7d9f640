// The POSIX provider keeps the Windows rules for read-only files (also when the tests run
// as root), and deleting a tree never follows a link out of it.
#include <gtest/gtest.h>
#include <unistd.h>
#include <string>
#include "platform/fs.h"
#include "support/testfiles.h"

TEST(FileSystem, DeletingATreeLeavesLinkedFoldersAlone) {
    TempFolder folder;
    const FsProvider* fs = FsLocal();
    fs->CreateFolder((folder / "outside").c_str());
    WriteFileText(folder / "outside/precious", "keep");
    fs->CreateFolder((folder / "tree").c_str());
    ASSERT_EQ(symlink((folder / "outside").c_str(), (folder / "tree/link").c_str()), 0);
    EXPECT_EQ(FsDeleteTree(fs, (folder / "tree").c_str()), 0);
    EXPECT_FALSE(FileExists(folder / "tree"));
    EXPECT_EQ(ReadFileText(folder / "outside/precious"), "keep");
}

TEST(FileSystem, ReadOnlyFilesRefuseWritersDeletionAndReplacement) {
    TempFolder folder;
    const FsProvider* fs = FsLocal();
    std::string path = folder / "ro", other = folder / "other";
    WriteFileText(path, "old");
    WriteFileText(other, "new");
    ASSERT_EQ(fs->SetAttributes(path.c_str(), FILE_ATTR_READONLY), 0);
    FsFile* file;
    EXPECT_EQ(fs->Open(path.c_str(), FS_OPEN_READWRITE, 0, &file), ERR_ACCESS_DENIED);
    EXPECT_EQ(fs->Delete(path.c_str()), ERR_ACCESS_DENIED);
    EXPECT_EQ(fs->Move(other.c_str(), path.c_str()), ERR_ACCESS_DENIED);
    EXPECT_EQ(ReadFileText(path), "old");
    fs->SetAttributes(path.c_str(), 0);
}

// As on Windows, a part's trailing dots and blanks are dropped: "sub. /a." is "sub/a".
TEST(FileSystem, DropsTrailingDotsAndBlanksOfEachPart) {
    TempFolder folder;
    FsLocal()->CreateFolder((folder / "sub").c_str());
    WriteFileText(folder / "sub. /a. ", "x");
    EXPECT_EQ(ReadFileText(folder / "sub/a"), "x");
    EXPECT_TRUE(FileExists(folder / "./sub/../sub/a"));
}
