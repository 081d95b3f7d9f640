// The last write time of a file, for native builds.
#include <sys/stat.h>
#include "update/test_filetime.h"

uint64_t TestFileWriteTime(const std::string& path) {
    std::string native = path;
    for (char& c : native)
        if (c == '\\') c = '/';
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return 0;
    return ((uint64_t)((int64_t)st.st_mtim.tv_sec + 11644473600LL)) * 10000000u +
           (uint64_t)st.st_mtim.tv_nsec / 100;
}
