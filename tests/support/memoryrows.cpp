// A row store in memory, sorted like the list view.
#include "support/memoryrows.h"
#include "catalogue/product.h"
#include "platform/sys.h"
#include "platform/text.h"

// The row, or NULL where the list view would find none.
static MemoryRow* At(void* context, int row, int column = 0) {
    std::vector<MemoryRow>& rows = static_cast<MemoryRows*>(context)->rows;
    return row >= 0 && row < (int)rows.size() && column >= 0 && column < 5 ? &rows[(size_t)row] : nullptr;
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
    : store{this,
            [](void* c) { return (int)static_cast<MemoryRows*>(c)->rows.size(); },
            Insert,
            [](void* c, int row, int column, char* out, size_t size) {
                MemoryRow* r = At(c, row, column);
                CopyText(out, size, r ? r->text[column].c_str() : "");
            },
            [](void* c, int row, int column, const char* text) {
                if (MemoryRow* r = At(c, row, column)) r->text[column] = text;
            },
            [](void* c, int row) { return At(c, row) ? At(c, row)->data : 0; },
            [](void* c, int row, uint32_t data) {
                if (MemoryRow* r = At(c, row)) r->data = data;
            },
            [](void* c, int row, int image) {
                if (MemoryRow* r = At(c, row)) r->image = image;
            },
            [](void*, int) {}} {}

std::vector<std::string> MemoryRows::Lines() const {
    std::vector<std::string> lines;
    for (const MemoryRow& r : rows) {
        char code[4];
        RowDataToCode(r.data, code, sizeof code);
        lines.push_back(std::string(code) + ":" + r.text[0] + "|" + r.text[1] + "|" + r.text[2] + "|" +
                        r.text[3] + "|" + r.text[4]);
    }
    return lines;
}

int MemoryRows::Add(const char* name, const char* act, const char* inst, const char* location,
                    const char* code) {
    int row = Insert(this, name, 0, CodeToRowData(code));
    rows[row].text[1] = act, rows[row].text[2] = inst, rows[row].text[4] = location;
    return row;
}
