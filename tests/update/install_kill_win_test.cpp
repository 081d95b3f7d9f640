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

std::string ChildPath() {
    char path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/")) + "\\qx_install_child.exe";
}

// Runs the child until it reaches the operation, and kills it there. Returns true when it
// got that far.
bool KillInstallAt(const std::string& package, const std::string& target, int at) {
    std::string event = "qx-install-kill-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(at);
    HANDLE reached = CreateEventA(NULL, TRUE, FALSE, event.c_str());
    std::string command =
        "\"" + ChildPath() + "\" \"" + package + "\" \"" + target + "\" " + std::to_string(at) + " " + event;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION child;
    if (!reached || !CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        if (reached) CloseHandle(reached);
        return false;
    }
    HANDLE both[2] = {reached, child.hProcess};
    bool got = WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0;
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 60000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(reached);
    return got;
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
    TempFolder copy;
    for (const auto& file : before)
        WriteFileText(copy.path + "/" + file.first, file.second);
    gFault = FaultPlan();
    ASSERT_EQ(ExtractUpdatePackageWith(package.c_str(), copy.path.c_str(), FaultFs()), 0);
    auto after = Snapshot(copy.path);
    std::vector<int> moves = gFault.moves;
    ASSERT_GT(moves.size(), 4u);
    int middle = moves[moves.size() / 2];
    for (int at : {5, moves.front(), middle, moves.back(), moves.back() + 1}) {
        SCOPED_TRACE("killed at operation " + std::to_string(at));
        ASSERT_TRUE(KillInstallAt(package, target, at));
        if (at == middle) {
            auto cut = Snapshot(target);
            EXPECT_TRUE(cut != before && cut != after); // half done until recovered
        }
        EXPECT_EQ(RecoverUpdateFolder(target.c_str(), FsLocal()), 0);
        auto now = Snapshot(target);
        EXPECT_TRUE(now == before || now == after);
        for (const auto& file : before)
            WriteFileText(target + "/" + file.first, file.second);
        for (const auto& file : after)
            if (!before.count(file.first)) FsLocal()->Delete((target + "/" + file.first).c_str());
    }
}

} // namespace
