// The Product record and the Product table: reading and writing rows, merging, marking,
// and the table's entries in the settings.
#include "catalogue/product.h"
#include <string.h>
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/store.h"
#include "settings/strings.h"

static const char* const kExcludedNames[] = {"QX Host Watch Server", "Corvanware - Updater", "QX Ledger"};

static const struct {
    const char* found;
    const char* becomes;
} kNormalNames[] = {
    {"QXTaskKp", "QX Task Keeper"},
    {"QX Navigator Win32", "QX Navigator"},
    {"QX Navigator Win.32", "QX Navigator"},
};

int IsExcludedProductName(const char* name) {
    for (const char* excluded : kExcludedNames)
        if (SysCompareNoCase(name, excluded) == 0) return 1;
    return 0;
}

void NormalizeProductName(char* name) {
    for (const auto& n : kNormalNames)
        if (SysCompareNoCase(name, n.found) == 0) {
            CopyText(name, 32, n.becomes);
            return;
        }
}

uint32_t CodeToRowData(const char* code) {
    uint32_t data = 0;
    for (int i = 0; i < 3 && code[i]; i++)
        data |= (uint32_t)(unsigned char)code[i] << (8 * (i + 1));
    return data;
}

void RowDataToCode(uint32_t data, char* code, size_t size) {
    char text[4] = {(char)(data >> 8), (char)(data >> 16), (char)(data >> 24), 0};
    CopyText(code, size, text);
}

void ReadProductRow(Product* record, const RowStore* rows, int index) {
    memset(record, 0, sizeof *record);
    RowDataToCode(rows->GetData(rows->context, index), record->code, sizeof record->code);
    rows->GetText(rows->context, index, COL_PRODUCT, record->name, sizeof record->name);
    rows->GetText(rows->context, index, COL_ACT_VERSION, record->actVersion, sizeof record->actVersion);
    rows->GetText(rows->context, index, COL_INST_VERSION, record->instVersion, sizeof record->instVersion);
    rows->GetText(rows->context, index, COL_STATE, record->state, sizeof record->state);
    rows->GetText(rows->context, index, COL_LOCATION, record->location, sizeof record->location);
}

int WriteProductRow(Product* record, const RowStore* rows, int index) {
    if (IsExcludedProductName(record->name)) return -1;
    NormalizeProductName(record->name);
    if (index < 0) {
        index = rows->Insert(rows->context, record->name, (int)record->image, CodeToRowData(record->code));
        if (index < 0) return -1;
    } else if (((rows->GetData(rows->context, index) >> 8) & 0xFF) == 0) {
        rows->SetData(rows->context, index, CodeToRowData(record->code));
    }
    rows->SetText(rows->context, index, COL_ACT_VERSION, record->actVersion);
    rows->SetText(rows->context, index, COL_INST_VERSION, record->instVersion);
    rows->SetText(rows->context, index, COL_STATE, record->state);
    rows->SetText(rows->context, index, COL_LOCATION, record->location);
    return index;
}

static void CopyIfSet(char* to, size_t size, const char* from) {
    if (from[0]) CopyText(to, size, from);
}

int MergeProduct(Product* record, const RowStore* rows) {
    int count = 0;
    int total = rows->Count(rows->context);
    for (int i = 0; i < total; i++) {
        // Most rows match neither by code nor by name: only a matching row is read whole.
        char code[4], name[32];
        RowDataToCode(rows->GetData(rows->context, i), code, sizeof code);
        int match = strcmp(record->code, code) == 0;
        if (!match && (!record->code[0] || !code[0])) {
            rows->GetText(rows->context, i, COL_PRODUCT, name, sizeof name);
            match = SysCompareNoCase(record->name, name) == 0;
        }
        if (!match) continue;
        Product row;
        ReadProductRow(&row, rows, i);
        if (!record->code[0]) CopyText(record->code, sizeof record->code, row.code);
        if (!row.code[0]) CopyText(row.code, sizeof row.code, record->code);
        if (!record->location[0] || !row.location[0] ||
            SysCompareNoCase(record->location, row.location) == 0) {
            count++;
            CopyIfSet(row.actVersion, sizeof row.actVersion, record->actVersion);
            CopyIfSet(row.instVersion, sizeof row.instVersion, record->instVersion);
            CopyIfSet(row.state, sizeof row.state, record->state);
            CopyIfSet(row.location, sizeof row.location, record->location);
        } else {
            // Another installed copy of the same product: it will get a row of its own.
            if (!record->name[0]) CopyText(record->name, sizeof record->name, row.name);
            if (!record->actVersion[0])
                CopyText(record->actVersion, sizeof record->actVersion, row.actVersion);
        }
        WriteProductRow(&row, rows, i);
    }
    return count;
}

void MarkUpdatesDue(const RowStore* rows) {
    char text[1024];
    GetText(TEXT_PLEASE_UPDATE, text, sizeof text);
    int total = rows->Count(rows->context);
    for (int i = 0; i < total; i++) {
        char actual[32], installed[32];
        rows->GetText(rows->context, i, COL_ACT_VERSION, actual, sizeof actual);
        rows->GetText(rows->context, i, COL_INST_VERSION, installed, sizeof installed);
        if (!actual[0] || !installed[0] || strcmp(actual, installed) == 0) continue;
        rows->SetImage(rows->context, i, IMAGE_UPDATE_DUE);
        rows->SetText(rows->context, i, COL_STATE, text);
    }
}

// Appends one field in a form that ParseProductEntry takes back whole. The reader ends a
// quoted field at the first matching quote followed by ';' or the end, and an unquoted one at
// the first ';'. So a field with ';' or '"' (or one that begins with a quote, or the first
// field when it begins with a space, which the settings file drops) goes in double quotes,
// or in single quotes when it holds '";' but not "';". A field holding both cannot be carried
// by either: its double quotes become single quotes. CR and LF, which would end the settings
// line, become spaces.
static void AppendField(char* out, size_t size, const char* field, int first) {
    char text[1024];
    CopyText(text, sizeof text, field);
    for (char* p = text; *p; p++)
        if (*p == '\r' || *p == '\n') *p = ' ';
    if (strstr(text, "\";") && strstr(text, "';"))
        for (char* p = text; *p; p++)
            if (*p == '"') *p = '\'';
    const char* quote = "";
    if (strchr(text, ';') || strchr(text, '"') || text[0] == '\'' || (first && text[0] == ' '))
        quote = strstr(text, "\";") ? "'" : "\"";
    if (!first) AppendText(out, size, ";");
    AppendText(out, size, quote);
    AppendText(out, size, text);
    AppendText(out, size, quote);
}

void FormatProductEntry(const Product* record, char* out, size_t size) {
    CopyText(out, size, "");
    AppendField(out, size, record->code, 1);
    AppendField(out, size, record->name, 0);
    AppendField(out, size, record->actVersion, 0);
    AppendField(out, size, record->instVersion, 0);
    AppendField(out, size, record->state, 0);
    AppendField(out, size, record->location, 0);
}

// Takes one field from *p: a field beginning with a quote runs to the next matching quote
// that is followed by ';' or the end, and loses its quotes.
static void TakeField(const char** p, char* out, size_t size, size_t limit) {
    const char* s = *p;
    const char* end;
    const char* next;
    if (*s == '"' || *s == '\'') {
        char quote = *s;
        const char* close = s + 1;
        while ((close = strchr(close, quote)) != NULL && close[1] != ';' && close[1] != 0)
            close++;
        if (close) {
            CopyTextN(out, size, s + 1, (size_t)(close - s - 1) < limit ? (size_t)(close - s - 1) : limit);
            next = close + 1;
            *p = *next == ';' ? next + 1 : next;
            return;
        }
    }
    end = strchr(s, ';');
    if (!end) end = s + strlen(s);
    size_t n = (size_t)(end - s);
    CopyTextN(out, size, s, n < limit ? n : limit);
    *p = *end == ';' ? end + 1 : end;
}

void ParseProductEntry(const char* value, Product* record) {
    memset(record, 0, sizeof *record);
    char line[PRODUCT_ENTRY_SIZE];
    CopyText(line, sizeof line, value);
    line[strcspn(line, "\r\n")] = 0;
    const char* p = line;
    TakeField(&p, record->code, sizeof record->code, 3);
    TakeField(&p, record->name, sizeof record->name, 31);
    TakeField(&p, record->actVersion, sizeof record->actVersion, 31);
    TakeField(&p, record->instVersion, sizeof record->instVersion, 31);
    TakeField(&p, record->state, sizeof record->state, 63);
    TakeField(&p, record->location, sizeof record->location, 1023);
}

void SaveProductTable(const RowStore* rows, Store* store) {
    DeleteSection(store, PRODUCTS_SECTION);
    int total = rows->Count(rows->context);
    for (int i = 0; i < total; i++) {
        Product record;
        ReadProductRow(&record, rows, i);
        char entry[PRODUCT_ENTRY_SIZE], key[16];
        FormatProductEntry(&record, entry, sizeof entry);
        FormatText(key, sizeof key, "%ld", (long)(i + 1));
        WriteText(store, PRODUCTS_SECTION, key, entry);
    }
}

struct LoadWalk {
    const RowStore* rows;
    char updated[1024]; // the current language's "Updated at "
};

// An entry that no catalogue line or detection can have made (saved before catalogue lines
// were checked): a control character anywhere, or a code that is not two printable, non-blank
// ASCII characters. It is not loaded, so the next save drops it.
static int UnusableEntry(const char* value, const Product* record) {
    for (const unsigned char* p = (const unsigned char*)value; *p && *p != '\r' && *p != '\n'; p++)
        if (*p < ' ' || *p == 0x7F) return 1;
    const unsigned char* code = (const unsigned char*)record->code;
    if (!code[0]) return 0;
    return strlen(record->code) != 2 || code[0] <= ' ' || code[0] >= 0x7F || code[1] <= ' ' ||
           code[1] >= 0x7F;
}

static int LoadEntry(const char*, const char* value, void* context) {
    LoadWalk* walk = (LoadWalk*)context;
    if (!value[0]) return 0;
    Product record;
    ParseProductEntry(value, &record);
    if (UnusableEntry(value, &record)) return 0;
    size_t n = strlen(walk->updated);
    if (n == 0 || strncmp(record.state, walk->updated, n) != 0) record.state[0] = 0;
    record.image = 0;
    WriteProductRow(&record, walk->rows, -1);
    return 0;
}

void LoadProductTable(const RowStore* rows, Store* store) {
    LoadWalk walk;
    walk.rows = rows;
    GetText(TEXT_UPDATED_AT, walk.updated, sizeof walk.updated);
    EnumKeyValues(store, PRODUCTS_SECTION, LoadEntry, &walk);
    MarkUpdatesDue(rows);
}
