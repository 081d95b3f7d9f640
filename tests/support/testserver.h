// The update server the Windows tests download from: nginx on loopback, started by the
// test run (server/serve), serving a copy of server/www that the tests may change; and a
// server that misbehaves on purpose (support/badserver.py).
#pragma once
#include <string>

// A base URL for one test: the server (or its slow port), then the test's own folder below the root.
std::string ServerBaseUrl(const std::string& folder, bool slow = false);
// How many requests the server answered whose line in its access log holds text.
int ServerRequests(const std::string& text);
// Writes a file below the server's root, creating its folders.
void ServeFile(const std::string& relativePath, const std::string& content);
// The misbehaving server with one of its modes ("silent", "stall", "short", "trickle").
std::string BadServerBaseUrl(const std::string& mode);
