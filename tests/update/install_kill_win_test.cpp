// An install killed by TerminateProcess in a child process, at points before, among and
// after its moves, then recovered here: the folder holds the old files or the new ones.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/fs.h"
#include "support/testfiles.h"
#include "update/faultfs.h"
#include "update/package.h"
#include "update/package_testing.h"

namespace {

// Runs the child, which kills itself at the operation; true when it got that far.
bool KillInstallAt(const std::string& package, const std::string& target, int at) {
    char path[MAX_PATH * 2];
    std::string child(path, GetModuleFileNameA(NULL, path, sizeof path));
    child = child.substr(0, child.find_last_of("\\/")) + "\\qx_install_child.exe";
    std::string command = "\"" + child + "\" \"" + package + "\" \"" + target + "\" " + std::to_string(at);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    DWORD code = 0;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 9;
}

TEST(InstallKill, AKilledInstallIsRecoveredOldOrNew) {
    TempFolder temp;
    std::string package = temp / "p.pkg", target = temp / "product";
    FsLocal()->CreateFolder(target.c_str());
    std::vector<TestEntry> entries;
    for (int i = 0; i < 6; i++) {
        std::string name = "r" + std::to_string(i) + ".txt";
        WriteFileText(target + "/" + name, "old " + name);
        entries.push_back({name, "new " + name});
        if (i % 2) entries.push_back({"n" + std::to_string(i) + ".txt", "added"});
    }
    ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
    auto before = Snapshot(target);
    // Where the moves are, counted in this process over the same provider.
    gFault = FaultPlan();
    ASSERT_EQ(ExtractUpdatePackageWith(package.c_str(), target.c_str(), FaultFs()), 0);
    auto after = Snapshot(target);
    std::vector<int> moves = gFault.moves;
    ASSERT_GT(moves.size(), 4u);
    int middle = moves[moves.size() / 2];
    for (int at : {5, moves.front(), middle, moves.back(), moves.back() + 1}) {
        SCOPED_TRACE("killed at operation " + std::to_string(at));
        for (const auto& file : before)
            WriteFileText(target + "/" + file.first, file.second);
        for (const auto& file : after)
            if (!before.count(file.first)) FsLocal()->Delete((target + "/" + file.first).c_str());
        ASSERT_TRUE(KillInstallAt(package, target, at));
        if (at == middle) {
            auto cut = Snapshot(target);
            EXPECT_TRUE(cut != before && cut != after); // half done until recovered
        }
        EXPECT_EQ(RecoverUpdateFolder(target.c_str(), FsLocal()), 0);
        auto now = Snapshot(target);
        EXPECT_TRUE(now == before || now == after);
    }
}

} // namespace
