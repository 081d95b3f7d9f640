// A row store in memory, sorted like the list view.
#include "support/memoryrows.h"
#include "catalogue/product.h"
#include "platform/sys.h"
#include "platform/text.h"

static MemoryRows* Of(void* context) {
    return static_cast<MemoryRows*>(context);
}
static bool Valid(MemoryRows* m, int row) {
    return row >= 0 && row < (int)m->rows.size();
}

static int Count(void* context) {
    return (int)Of(context)->rows.size();
}

static int Insert(void* context, const char* name, int image, uint32_t data) {
    MemoryRows* m = Of(context);
    size_t at = 0;
    while (at < m->rows.size() && SysCompareNoCase(m->rows[at].text[0].c_str(), name) <= 0)
        at++;
    MemoryRow row;
    row.text[0] = name, row.image = image, row.data = data;
    m->rows.insert(m->rows.begin() + (long)at, row);
    return (int)at;
}

static void GetText(void* context, int row, int column, char* out, size_t size) {
    MemoryRows* m = Of(context);
    CopyText(out, size, Valid(m, row) && column >= 0 && column < 5 ? m->rows[row].text[column].c_str() : "");
}

static void SetText(void* context, int row, int column, const char* text) {
    MemoryRows* m = Of(context);
    if (Valid(m, row) && column >= 0 && column < 5) m->rows[row].text[column] = text;
}

static uint32_t GetData(void* context, int row) {
    return Valid(Of(context), row) ? Of(context)->rows[row].data : 0;
}

static void SetData(void* context, int row, uint32_t data) {
    if (Valid(Of(context), row)) Of(context)->rows[row].data = data;
}

static void SetImage(void* context, int row, int image) {
    if (Valid(Of(context), row)) Of(context)->rows[row].image = image;
}

static void FitColumn(void* context, int column) {
    Of(context)->fitted.push_back(column);
}

MemoryRows::MemoryRows()
    : store{this, Count, Insert, GetText, SetText, GetData, SetData, SetImage, FitColumn} {}

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
