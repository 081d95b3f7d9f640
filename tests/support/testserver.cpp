// The update server of the Windows tests.
#include "support/testserver.h"
#include <stdlib.h>
#include "platform/fs.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

// The servers keep their state (ports, access log, root) in the build tree beside the tests.
static std::string StateFolder(const char* name) {
    std::string folder = TestProgramFolder();
    return folder.substr(0, folder.find_last_of("\\/")) + "\\" + name;
}

static std::string LocalUrl(const std::string& portFile, const std::string& folder) {
    return "http://127.0.0.1:" + std::to_string(atoi(ReadFileText(portFile).c_str())) + "/" + folder + "/";
}

std::string ServerBaseUrl(const std::string& folder, bool slow) {
    return LocalUrl(StateFolder("server") + (slow ? "\\slowport" : "\\port"), folder);
}

std::string BadServerBaseUrl(const std::string& mode) {
    return LocalUrl(StateFolder("badserver") + "\\badport", mode);
}

int ServerRequests(const std::string& text) {
    std::string log = ReadFileText(StateFolder("server") + "\\access.log");
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size()))
        count++;
    return count;
}

void ServeFile(const std::string& relativePath, const std::string& content) {
    std::string path = StateFolder("server") + "\\www\\" + relativePath;
    for (char& c : path)
        if (c == '/') c = '\\';
    FsLocal()->CreateFolder(path.substr(0, path.find_last_of('\\')).c_str());
    WriteFileText(path, content);
}
