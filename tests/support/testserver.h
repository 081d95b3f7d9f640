// The update server the Windows tests download from: nginx on loopback, started by the
// test run (server/serve), serving a copy of server/www that the tests may change; and a
// server that misbehaves on purpose (support/badserver.py). Both keep their state (ports,
// access log, root) in the build tree beside the tests.
#pragma once
#include <stdlib.h>
#include <string>
#include "platform/fs.h"
#include "support/testfiles.h"
#include "support/winprocess.h"

inline std::string LocalServerUrl(const char* portFile, const std::string& folder) {
    std::string port = ReadFileText(TestProgramFolder() + "\\..\\" + portFile);
    return "http://127.0.0.1:" + std::to_string(atoi(port.c_str())) + "/" + folder + "/";
}

// A base URL for one test: the server (or its slow port), then the test's own folder below the root.
inline std::string ServerBaseUrl(const std::string& folder, bool slow = false) {
    return LocalServerUrl(slow ? "server\\slowport" : "server\\port", folder);
}

// The misbehaving server with one of its modes ("silent", "stall", "short", "trickle").
inline std::string BadServerBaseUrl(const std::string& mode) {
    return LocalServerUrl("badserver\\badport", mode);
}

// How many requests the server answered whose line in its access log holds text.
inline int ServerRequests(const std::string& text) {
    std::string log = ReadFileText(TestProgramFolder() + "\\..\\server\\access.log");
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size()))
        count++;
    return count;
}

// Writes a file below the server's root, creating its folders.
inline void ServeFile(const std::string& relativePath, const std::string& content) {
    std::string path = TestProgramFolder() + "\\..\\server\\www\\" + relativePath;
    for (char& c : path)
        if (c == '/') c = '\\';
    FsLocal()->CreateFolder(path.substr(0, path.find_last_of('\\')).c_str());
    WriteFileText(path, content);
}
