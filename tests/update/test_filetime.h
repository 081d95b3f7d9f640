// The last write time of a file as a Windows file time (100 ns units since 1601, UTC),
// 0 when it cannot be read. One source per system.
#pragma once
#include <stdint.h>
#include <string>

uint64_t TestFileWriteTime(const std::string& path);
