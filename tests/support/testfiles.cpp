// Test helpers over the local file-system provider.
#include "support/testfiles.h"
#include <stdlib.h>
#include <random>
#include "platform/fs.h"
#include "platform/sys.h"

TempFolder::TempFolder() {
    static std::random_device random;
    char temp[1024];
    SysTempFolder(temp, sizeof temp);
    path = std::string(temp) + "qxtest-" + std::to_string(random()) + std::to_string(random() % 100000);
    FsLocal()->CreateFolder(path.c_str());
}

TempFolder::~TempFolder() {
    FsDeleteTree(FsLocal(), path.c_str());
}

std::string ReadFileText(const std::string& path) {
    char* data;
    size_t size;
    if (FsLocal()->ReadWhole(path.c_str(), &data, &size)) return "<missing>";
    std::string text(data, size);
    free(data);
    return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
    FsLocal()->WriteWhole(path.c_str(), text.data(), text.size());
}

bool FileExists(const std::string& path) {
    return FsLocal()->Exists(path.c_str()) != 0;
}
