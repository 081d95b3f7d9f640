// Installed-product detection, the part that needs no system: the name masks, the recursive
// folder scan over the file-system provider table, and the merge of what it finds.
//
// How deep a scan goes: every level adds a separator and a name of at least one character
// to the folder path, and a path that does not fit SCAN_PATH_SIZE is skipped, so a scan is
// at most 511 levels deep. A level keeps only a few words on the stack (the path lives in
// the context, the subfolder names on the heap), well under 100 KiB in all; paths to
// program files and version strings are built only in the leaf calls.
#include "catalogue/detect.h"
#include <stdlib.h>
#include <string.h>
#include "platform/sys.h"
#include "platform/text.h"

// Applies one part (base or extension) of a rename mask to the same part of a name.
static void ApplyMaskPart(const char* mask, size_t maskLength, const char* name, size_t nameLength, char* out,
                          size_t size, size_t* at) {
    for (size_t i = 0; i < maskLength; i++) {
        char c = mask[i];
        if (c == '*') {
            if (i < nameLength) *at += CopyTextN(out + *at, size - *at, name + i, nameLength - i);
            return;
        }
        if (c == '?') {
            if (i >= nameLength) continue;
            c = name[i];
        }
        if (*at + 1 < size) out[(*at)++] = c, out[*at] = 0;
    }
}

static int MatchesMask(const char* name, const char* mask, size_t maskLength) {
    const char* maskDot = NULL;
    for (size_t i = 0; i < maskLength; i++)
        if (mask[i] == '.') maskDot = mask + i;
    const char* nameDot = strrchr(name, '.');
    size_t nameLength = strlen(name);
    size_t maskBase = maskDot ? (size_t)(maskDot - mask) : maskLength;
    size_t nameBase = nameDot ? (size_t)(nameDot - name) : nameLength;
    char result[SCAN_PATH_SIZE + 2];
    size_t at = 0;
    result[0] = 0;
    ApplyMaskPart(mask, maskBase, name, nameBase, result, sizeof result, &at);
    if (maskDot) {
        if (at + 1 < sizeof result) result[at++] = '.', result[at] = 0;
        const char* nameExt = nameDot ? nameDot + 1 : "";
        ApplyMaskPart(maskDot + 1, maskLength - maskBase - 1, nameExt, strlen(nameExt), result, sizeof result,
                      &at);
    }
    // A result cut at the buffer's end cannot be trusted to equal the name.
    if (at + 1 >= sizeof result) return 0;
    return SysCompareNoCase(result, name) == 0;
}

int MatchesMaskList(const char* fileName, const char* masks) {
    const char* name = PathFileName(fileName);
    for (const char* mask = masks; *mask;) {
        size_t length = strcspn(mask, ";");
        if (length && MatchesMask(name, mask, length)) return 1;
        mask += length;
        if (*mask == ';') mask++;
    }
    return 0;
}

void BeginScan(ScanContext* context, const RowStore* rows, const FsProvider* fs, const ScanHost* host) {
    memset(context, 0, sizeof *context);
    context->rows = rows, context->fs = fs, context->host = host;
}

void EndScan(ScanContext* context) {
    free(context->names);
    context->names = NULL;
    context->used = context->capacity = 0;
    context->count = 0;
}

static int Cancelled(const ScanContext* context) {
    return context->host->cancelRequested && *context->host->cancelRequested;
}

// Joins the context's folder and a name into out; 0 when the result does not fit, since a
// cut path would name some other file or folder.
static int JoinPath(const char* folder, const char* name, char* out, size_t size) {
    size_t length = strlen(folder);
    int separator = length && !IsPathSeparator(folder[length - 1]);
    if (length + separator + strlen(name) + 1 > size) return 0;
    CopyText(out, size, folder);
    if (separator) AppendText(out, size, "\\");
    AppendText(out, size, name);
    return 1;
}

static void CollectSubfolder(ScanContext* context, const char* name) {
    size_t n = strlen(name) + 1;
    if (context->used + n > context->capacity) {
        size_t capacity = (context->capacity + n) * 2;
        char* grown = (char*)realloc(context->names, capacity);
        // Without memory the folder's remaining subfolders are left out; the scan goes on.
        if (!grown) return;
        context->names = grown, context->capacity = capacity;
    }
    memcpy(context->names + context->used, name, n);
    context->used += n;
    context->count++;
}

static void FoundProgramFile(ScanContext* context, const char* name) {
    char path[SCAN_PATH_SIZE];
    if (!JoinPath(context->folder, name, path, sizeof path)) return;
    char company[64] = {0}, product[64] = {0}, version[32] = {0};
    context->host->ReadVersion(path, company, product, version, "");
    if (!product[0] || strcmp(company, VENDOR_NAME) != 0) return;
    Product record;
    memset(&record, 0, sizeof record);
    CopyText(record.name, sizeof record.name, product);
    NormalizeProductName(record.name);
    CopyText(record.instVersion, sizeof record.instVersion, version);
    CopyText(record.location, sizeof record.location, path);
    if (MergeProduct(&record, context->rows) == 0 && WriteProductRow(&record, context->rows, -1) >= 0)
        context->rows->FitColumn(context->rows->context, COL_PRODUCT);
}

int ExamineFolderEntry(const FsEntry* entry, ScanContext* context) {
    const char* name = entry->name;
    if (!name[0] || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return Cancelled(context);
    if (entry->attributes & FILE_ATTR_DIRECTORY) {
        if (!(entry->attributes & FILE_ATTR_REPARSE_POINT)) CollectSubfolder(context, name);
    } else if (MatchesMaskList(name, PROGRAM_FILE_MASK)) {
        FoundProgramFile(context, name);
    }
    return Cancelled(context);
}

static int ExamineEntry(const FsEntry* entry, void* context) {
    return ExamineFolderEntry(entry, (ScanContext*)context);
}

void ScanFolderForProducts(const char* folder, ScanContext* context) {
    if (!folder[0] || strlen(folder) >= sizeof context->folder) return;
    if (folder != context->folder) CopyText(context->folder, sizeof context->folder, folder);
    if (context->host->ShowFolder) context->host->ShowFolder(context->folder);
    context->used = 0, context->count = 0;
    context->fs->Enumerate(context->folder, ExamineEntry, context);

    // The names collected here belong to this level; deeper levels collect into another list.
    char* names = context->names;
    size_t capacity = context->capacity;
    int count = context->count;
    context->names = NULL;
    context->used = context->capacity = 0, context->count = 0;
    size_t length = strlen(context->folder);
    int separator = length && !IsPathSeparator(context->folder[length - 1]);
    const char* name = names;
    for (int i = 0; i < count && !Cancelled(context); i++, name += strlen(name) + 1) {
        if (length + separator + strlen(name) + 1 > sizeof context->folder) continue;
        char* end = context->folder + length;
        if (separator) *end++ = '\\';
        CopyText(end, sizeof context->folder - (size_t)(end - context->folder), name);
        ScanFolderForProducts(context->folder, context);
        context->folder[length] = 0;
    }
    // This level's list is reused by the next folder at the same depth.
    free(context->names);
    context->names = names, context->capacity = capacity;
    context->used = 0, context->count = 0;
}

int RegistryValueToFolder(const char* data, size_t size, char* out, size_t outSize) {
    if (outSize) out[0] = 0;
    size_t length = 0;
    while (length < size && data[length])
        length++;
    if (length == 0 || length + 1 > outSize) return 0;
    int drive = length >= 3 && data[1] == ':' && IsPathSeparator(data[2]) &&
                ((data[0] >= 'A' && data[0] <= 'Z') || (data[0] >= 'a' && data[0] <= 'z'));
    int share = length >= 3 && IsPathSeparator(data[0]) && IsPathSeparator(data[1]);
    if (!drive && !share) return 0;
    CopyTextN(out, outSize, data, length);
    return 1;
}
