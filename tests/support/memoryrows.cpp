// A row store in memory, sorted like the list view.
#include "support/memoryrows.h"
#include "catalogue/product.h"
#include "platform/sys.h"
#include "platform/text.h"

// A row that does not exist throws: the test fails where the list view would quietly do nothing.
static MemoryRow& At(void* context, int row) {
    return static_cast<MemoryRows*>(context)->rows.at((size_t)row);
}

static int Count(void* context) {
    return (int)static_cast<MemoryRows*>(context)->rows.size();
}

static int Insert(void* context, const char* name, int image, uint32_t data) {
    std::vector<MemoryRow>& rows = static_cast<MemoryRows*>(context)->rows;
    size_t at = 0;
    while (at < rows.size() && SysCompareNoCase(rows[at].text[0].c_str(), name) <= 0)
        at++;
    rows.insert(rows.begin() + (long)at, MemoryRow{{name}, image, data});
    return (int)at;
}

MemoryRows::MemoryRows()
    : store{
          this,
          Count,
          Insert,
          [](void* c, int row, int column, char* out, size_t size) {
              static_cast<MemoryRows*>(c)->textReads++;
              CopyText(out, size, At(c, row).text[column].c_str());
          },
          [](void* c, int row, int column, const char* text) { At(c, row).text[column] = text; },
          [](void* c, int row) { return row >= 0 && row < Count(c) ? At(c, row).data : 0; }, // 0: no such row
          [](void* c, int row, uint32_t data) { At(c, row).data = data; },
          [](void* c, int row, int image) { At(c, row).image = image; },
          [](void*, int) {}} {}

std::vector<std::string> MemoryRows::Lines() const {
    std::vector<std::string> lines;
    for (const MemoryRow& r : rows) {
        char code[4];
        RowDataToCode(r.data, code, sizeof code);
        lines.push_back(std::string(code) + ":" + r.text[0] + "|" + r.text[1] + "|" + r.text[2] + "|" +
                        r.text[3] + "|" + r.text[4] + (r.image ? "#" + std::to_string(r.image) : ""));
    }
    return lines;
}

int MemoryRows::Add(const char* name, const char* act, const char* inst, const char* location,
                    const char* code) {
    int row = Insert(this, name, 0, CodeToRowData(code));
    rows[row].text[1] = act, rows[row].text[2] = inst, rows[row].text[4] = location;
    return row;
}
