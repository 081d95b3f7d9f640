// An install killed by TerminateProcess in a child process at points all through it, then
// recovered here: the folder holds the old files or the new ones.
#include <windows.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>
#include "platform/fs.h"
#include "support/testfiles.h"
#include "update/package.h"
#include "update/package_testing.h"

namespace {

// Runs the child, which kills itself (exit code 9) at the operation or installs whole (0).
DWORD InstallUntil(const std::string& package, const std::string& target, int at) {
    char path[MAX_PATH * 2];
    std::string child(path, GetModuleFileNameA(NULL, path, sizeof path));
    child = child.substr(0, child.find_last_of("\\/")) + "\\qx_install_child.exe";
    std::string command = "\"" + child + "\" \"" + package + "\" \"" + target + "\" " + std::to_string(at);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    DWORD code = 1;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return code;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(InstallKill, AKilledInstallIsRecoveredOldOrNew) {
    TempFolder temp;
    std::string package = temp / "p.pkg", target = temp / "product";
    std::map<std::string, std::string> before, after;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 6; i++) {
        std::string name = "r" + std::to_string(i) + ".txt";
        before[name] = "old " + name;
        entries.push_back({name, "new " + name});
        if (i % 2) entries.push_back({"n" + std::to_string(i) + ".txt", "added"});
    }
    for (const TestEntry& entry : entries)
        after[entry.name] = entry.data;
    ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
    FsLocal()->CreateFolder(target.c_str());
    int halfDone = 0;
    DWORD code = 9;
    for (int at = 0; code == 9; at += at ? 6 : 1) {
        SCOPED_TRACE("killed at operation " + std::to_string(at));
        for (const auto& file : after)
            FsLocal()->Delete((target + "/" + file.first).c_str());
        for (const auto& file : before)
            WriteFileText(target + "/" + file.first, file.second);
        code = InstallUntil(package, target, at);
        ASSERT_TRUE(code == 9 || code == 0) << code;
        auto cut = Snapshot(target);
        halfDone += at > 0 && cut != before && cut != after;
        EXPECT_EQ(RecoverUpdateFolder(target.c_str(), FsLocal()), 0);
        auto now = Snapshot(target);
        EXPECT_TRUE(now == before || (now == after && at > 0));
    }
    EXPECT_EQ(Snapshot(target), after); // the last run was not killed
    EXPECT_GT(halfDone, 1);             // killed while the install was under way, not only before or after
}

} // namespace
