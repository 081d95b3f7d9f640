// The update server of the Windows tests.
#include "support/testserver.h"
#include <stdlib.h>
#include "platform/fs.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

static std::string StateFolder() {
    std::string folder = TestProgramFolder();
    return folder.substr(0, folder.find_last_of("\\/")) + "\\server";
}

std::string ServerRoot() {
    return StateFolder() + "\\www";
}

int ServerPort(bool slow) {
    return atoi(ReadFileText(StateFolder() + (slow ? "\\slowport" : "\\port")).c_str());
}

std::string ServerBaseUrl(const std::string& folder, bool slow) {
    return "http://127.0.0.1:" + std::to_string(ServerPort(slow)) + "/" + folder + "/";
}

std::string BadServerBaseUrl(const std::string& mode) {
    std::string state = StateFolder();
    std::string port = ReadFileText(state.substr(0, state.find_last_of('\\')) + "\\badserver\\badport");
    return "http://127.0.0.1:" + std::to_string(atoi(port.c_str())) + "/" + mode + "/";
}

int ServerRequests(const std::string& text) {
    std::string log = ReadFileText(StateFolder() + "\\access.log");
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size()))
        count++;
    return count;
}

void ServeFile(const std::string& relativePath, const std::string& content) {
    std::string path = ServerRoot() + "\\" + relativePath;
    for (char& c : path)
        if (c == '/') c = '\\';
    FsLocal()->CreateFolder(path.substr(0, path.find_last_of('\\')).c_str());
    WriteFileText(path, content);
}
