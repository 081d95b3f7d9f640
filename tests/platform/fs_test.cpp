// The file-system provider: read-only files, deleting a tree, and the errors for missing
// files and folders.
#include <gtest/gtest.h>
#include <string>
#include "platform/fs.h"
#include "support/testfiles.h"

namespace {

TEST(FileSystem, ReadOnlyFilesRefuseDeletionButATreeWithThemIsDeleted) {
    TempFolder folder;
    const FsProvider* fs = FsLocal();
    std::string tree = folder / "QXUpdate", ro = tree + "/a/2";
    ASSERT_EQ(fs->CreateFolder((tree + "/a/b/c").c_str()), 0); // with every missing parent
    WriteFileText(tree + "/a/b/c/1", "x");
    WriteFileText(ro, "old");
    WriteFileText(folder / "QXUpdate.txt", "keep");
    ASSERT_EQ(fs->SetAttributes(ro.c_str(), FILE_ATTR_READONLY), 0);
    EXPECT_EQ(fs->Delete(ro.c_str()), ERR_ACCESS_DENIED);
    EXPECT_EQ(FsDeleteTree(fs, tree.c_str()), 0);
    EXPECT_FALSE(FileExists(tree));
    EXPECT_EQ(ReadFileText(folder / "QXUpdate.txt"), "keep");
    FsFile* file;
    EXPECT_EQ(fs->Open((folder / "missing/x").c_str(), FS_OPEN_READ, 0, &file), ERR_PATH_NOT_FOUND);
    EXPECT_EQ(fs->Open((folder / "x").c_str(), FS_OPEN_READ, 0, &file), ERR_FILE_NOT_FOUND);
}

} // namespace
