// A row store in memory that keeps its rows sorted by product name, ignoring case, as the
// list view does.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>
#include "catalogue/rowstore.h"

struct MemoryRow {
    std::string text[5];
    int image = 0;
    uint32_t data = 0;
};

struct MemoryRows {
    std::vector<MemoryRow> rows;
    RowStore store;
    int textReads = 0;
    MemoryRows();
    std::vector<std::string> Lines() const; // per row "code:name|act|inst|state|location[#image]"
    int Add(const char* name, const char* act, const char* inst, const char* location, const char* code = "");
};
