// Makes update packages (the format is described in package.cpp). Two passes over the
// entries: the first computes the checksum that the package header carries, the second
// produces the package stream piece by piece into liblzma's raw LZMA1 encoder, so memory
// stays bounded whatever the size of the files.
#include "update/packbuild.h"
#include <lzma.h>
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "update/package.h"

size_t PackEncodeNumber(uint32_t value, uint8_t* out) {
    uint32_t v = value + PACKAGE_NUMBER_BIAS;
    out[0] = (uint8_t)(v >> 24), out[1] = (uint8_t)(v >> 16), out[2] = (uint8_t)(v >> 8), out[3] = (uint8_t)v;
    return 4;
}

size_t PackEncodeText(const char* text, uint8_t* out) {
    size_t n = 0;
    for (; text && text[n]; n++)
        out[n] = (uint8_t)((uint8_t)text[n] + PACKAGE_TEXT_BIAS);
    out[n] = 0;
    return n + 1;
}

static int CheckText(const char* text, size_t limit) {
    size_t n = text ? strlen(text) : 0;
    if (n > limit) return ERR_INVALID_NAME;
    for (size_t i = 0; i < n; i++)
        if ((uint8_t)((uint8_t)text[i] + PACKAGE_TEXT_BIAS) == 0) return ERR_INVALID_NAME;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Producing the package stream

typedef int (*StreamProc)(void* context, uint8_t* buffer, size_t size, size_t* got);

struct EntryStream {
    const PackBuildInfo* info;
    const PackBuildEntry* entries;
    size_t count;
    const uint64_t* sizes;
    uint32_t checksum;
    uint8_t record[PACKAGE_RECORD_MAX];
    size_t recordSize, recordAt;
    size_t next;     // the entry whose header comes next
    size_t current;  // the entry whose data is being produced
    uint64_t dataAt; // bytes of its data produced
    int inData;
    FsFile* file;
};

static int ReadEntryData(const PackBuildEntry* entry, FsFile* file, uint64_t offset, uint8_t* buffer,
                         size_t n) {
    if (entry->sourcePath) {
        size_t got = 0;
        int e = FsLocal()->Read(file, buffer, n, &got);
        return e ? e : got == n ? 0 : ERR_HANDLE_EOF;
    }
    if (entry->generate) return entry->generate(entry->context, offset, buffer, n);
    memcpy(buffer, entry->data + offset, n);
    return 0;
}

static int OpenEntry(const PackBuildEntry* entry, FsFile** file) {
    *file = NULL;
    return entry->sourcePath ? FsLocal()->Open(entry->sourcePath, FS_OPEN_READ, 0, file) : 0;
}

static int MakeEntryStream(void* context, uint8_t* buffer, size_t size, size_t* got) {
    EntryStream* s = (EntryStream*)context;
    *got = 0;
    while (*got < size) {
        if (s->recordAt < s->recordSize) {
            size_t n = s->recordSize - s->recordAt < size - *got ? s->recordSize - s->recordAt : size - *got;
            memcpy(buffer + *got, s->record + s->recordAt, n);
            s->recordAt += n, *got += n;
        } else if (s->inData && s->dataAt < s->sizes[s->current]) {
            uint64_t left = s->sizes[s->current] - s->dataAt;
            size_t n = left < size - *got ? (size_t)left : size - *got;
            int e = ReadEntryData(&s->entries[s->current], s->file, s->dataAt, buffer + *got, n);
            if (e) return e;
            for (size_t i = 0; i < n; i++)
                buffer[*got + i] = (uint8_t)(buffer[*got + i] - PACKAGE_DATA_BIAS);
            s->dataAt += n, *got += n;
        } else if (s->inData) {
            FsLocal()->Close(s->file);
            s->file = NULL;
            s->inData = 0;
        } else if (s->next < s->count) {
            const PackBuildEntry* entry = &s->entries[s->next];
            int e = OpenEntry(entry, &s->file);
            if (e) return e;
            s->recordSize = PackEncodeNumber((uint32_t)s->sizes[s->next], s->record);
            s->recordSize += PackEncodeText(entry->name, s->record + s->recordSize);
            s->recordAt = 0;
            s->current = s->next++;
            s->dataAt = 0;
            s->inData = 1;
        } else {
            break;
        }
    }
    return 0;
}

static size_t PackageHeaderRecord(const PackBuildInfo* info, uint32_t checksum, uint8_t* out) {
    size_t n = PackEncodeNumber(checksum, out);
    n += PackEncodeText(info->code, out + n);
    n += PackEncodeText(info->text1, out + n);
    n += PackEncodeText(info->text2, out + n);
    n += PackEncodeNumber(info->date, out + n);
    return n;
}

struct MemoryStream {
    const uint8_t* data;
    size_t size, at;
};

static int MakeMemoryStream(void* context, uint8_t* buffer, size_t size, size_t* got) {
    MemoryStream* m = (MemoryStream*)context;
    size_t n = m->size - m->at < size ? m->size - m->at : size;
    memcpy(buffer, m->data + m->at, n);
    m->at += n;
    *got = n;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Writing the file

static int WriteAll(FsFile* file, const void* data, size_t size) {
    size_t done = 0;
    int e = FsLocal()->Write(file, data, size, &done);
    return e ? e : done == size ? 0 : ERR_WRITE_FAULT;
}

// The leading part: the lead file's bytes, then zeros up to the lead size. A marker at or
// after the start of the search would be taken for the package's own.
static int WriteLead(FsFile* out, const PackBuildInfo* info, uint64_t leadSize) {
    uint8_t* buffer = (uint8_t*)calloc(1, PACKAGE_PIECE + 3);
    if (!buffer) return ERR_NOT_ENOUGH_MEMORY;
    FsFile* lead = NULL;
    int e = info->leadPath ? FsLocal()->Open(info->leadPath, FS_OPEN_READ, 0, &lead) : 0;
    uint64_t at = 0;
    size_t kept = 0; // last bytes of the previous piece, for a marker across pieces
    while (!e) {
        size_t got = 0;
        if (lead) e = FsLocal()->Read(lead, buffer + kept, PACKAGE_PIECE, &got);
        if (e || got == 0) break;
        for (size_t i = 0; i + 4 <= kept + got; i++)
            if (at - kept + i >= PACKAGE_LEAD_SIZE && memcmp(buffer + i, kPackageMarker, 4) == 0)
                e = ERR_INVALID_DATA;
        if (!e) e = WriteAll(out, buffer + kept, got);
        at += got;
        size_t n = kept + got;
        kept = n < 3 ? n : 3;
        memmove(buffer, buffer + n - kept, kept);
    }
    if (lead) FsLocal()->Close(lead);
    memset(buffer, 0, PACKAGE_PIECE);
    while (!e && at < leadSize) {
        size_t n = leadSize - at < PACKAGE_PIECE ? (size_t)(leadSize - at) : PACKAGE_PIECE;
        e = WriteAll(out, buffer, n);
        at += n;
    }
    free(buffer);
    return e;
}

static int Compress(FsFile* out, const PackBuildInfo* info, uint32_t declaredSize, StreamProc make,
                    void* context) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, info->preset ? info->preset : 6)) return ERR_INVALID_PARAMETER;
    if (info->dictionarySize) options.dict_size = info->dictionarySize;
    // A package the 32-bit program could not decode is never made.
    if (options.dict_size > PACKAGE_MAX_DICTIONARY) return ERR_INVALID_PARAMETER;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, NULL}};
    uint8_t head[9];
    if (lzma_properties_encode(&filters[0], head) != LZMA_OK) return ERR_INVALID_PARAMETER;
    head[5] = (uint8_t)(declaredSize >> 24), head[6] = (uint8_t)(declaredSize >> 16);
    head[7] = (uint8_t)(declaredSize >> 8), head[8] = (uint8_t)declaredSize;
    int e = WriteAll(out, kPackageMarker, 4);
    if (!e) e = WriteAll(out, head, sizeof head);
    if (e) return e;

    // Without the flag the extended filter leaves out the end marker.
    if (!info->endMarker) filters[0].id = LZMA_FILTER_LZMA1EXT, options.ext_flags = 0;
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK) return ERR_NOT_ENOUGH_MEMORY;
    uint8_t* in = (uint8_t*)malloc(PACKAGE_PIECE);
    uint8_t* packed = (uint8_t*)malloc(PACKAGE_PIECE);
    if (!in || !packed) e = ERR_NOT_ENOUGH_MEMORY;
    lzma_action action = LZMA_RUN;
    while (!e) {
        if (strm.avail_in == 0 && action == LZMA_RUN) {
            size_t got = 0;
            e = make(context, in, PACKAGE_PIECE, &got);
            if (e) break;
            if (got == 0) action = LZMA_FINISH;
            strm.next_in = in, strm.avail_in = got;
        }
        strm.next_out = packed, strm.avail_out = PACKAGE_PIECE;
        lzma_ret ret = lzma_code(&strm, action);
        if (strm.avail_out < PACKAGE_PIECE) e = WriteAll(out, packed, PACKAGE_PIECE - strm.avail_out);
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK && !e) e = ERR_GEN_FAILURE;
    }
    lzma_end(&strm);
    free(in);
    free(packed);
    return e;
}

static int WritePackage(const char* outPath, const PackBuildInfo* info, uint32_t declaredSize,
                        StreamProc make, void* context) {
    uint64_t leadSize = info->leadSize > PACKAGE_LEAD_SIZE ? info->leadSize : PACKAGE_LEAD_SIZE;
    FsFile* out = NULL;
    int e = FsLocal()->Open(outPath, FS_CREATE_WRITE, FILE_ATTR_NORMAL, &out);
    if (e) return e;
    e = WriteLead(out, info, leadSize);
    if (!e) e = Compress(out, info, declaredSize, make, context);
    int c = FsLocal()->Close(out);
    if (!e) e = c;
    if (e) FsLocal()->Delete(outPath);
    return e;
}

static int CheckHeaderTexts(const PackBuildInfo* info) {
    int e = CheckText(info->code, PACKAGE_CODE_CHARS);
    if (!e) e = CheckText(info->text1, PACKAGE_TEXT_CHARS);
    if (!e) e = CheckText(info->text2, PACKAGE_TEXT_CHARS);
    return e;
}

int BuildPackageFromStream(const char* outPath, const PackBuildInfo* info, const uint8_t* stream, size_t size,
                           uint32_t declaredSize) {
    MemoryStream m = {stream, size, 0};
    return WritePackage(outPath, info, declaredSize, MakeMemoryStream, &m);
}

// First pass: the sizes of file entries and the checksum over every entry's data.
static int Measure(const PackBuildEntry* entries, size_t count, uint64_t* sizes, uint32_t* checksum) {
    uint8_t* buffer = (uint8_t*)malloc(PACKAGE_PIECE);
    if (!buffer) return ERR_NOT_ENOUGH_MEMORY;
    int e = 0;
    *checksum = 0;
    for (size_t i = 0; i < count && !e; i++) {
        const PackBuildEntry* entry = &entries[i];
        FsFile* file = NULL;
        e = OpenEntry(entry, &file);
        sizes[i] = entry->size;
        if (!e && file) e = FsLocal()->Size(file, &sizes[i]);
        for (uint64_t at = 0; !e && at < sizes[i];) {
            size_t n = sizes[i] - at < PACKAGE_PIECE ? (size_t)(sizes[i] - at) : PACKAGE_PIECE;
            e = ReadEntryData(entry, file, at, buffer, n);
            if (!e) *checksum = PackageChecksumAdd(*checksum, (uint32_t)(i + 1), entry->name[0], buffer, n);
            at += n;
        }
        if (file) FsLocal()->Close(file);
    }
    free(buffer);
    return e;
}

int BuildPackage(const char* outPath, const PackBuildInfo* info, const PackBuildEntry* entries,
                 size_t count) {
    int e = CheckHeaderTexts(info);
    for (size_t i = 0; i < count && !e; i++)
        e = CheckText(entries[i].name, PACKAGE_NAME_CHARS);
    if (e) return e;
    uint64_t* sizes = (uint64_t*)calloc(count + 1, sizeof(uint64_t));
    if (!sizes) return ERR_NOT_ENOUGH_MEMORY;
    EntryStream s = {};
    s.info = info, s.entries = entries, s.count = count, s.sizes = sizes;
    e = Measure(entries, count, sizes, &s.checksum);
    uint64_t total = 0;
    if (!e) {
        s.recordSize = PackageHeaderRecord(info, s.checksum, s.record);
        total = s.recordSize;
        for (size_t i = 0; i < count; i++) {
            if (sizes[i] > 0xFFFFFFFFu) e = ERR_INVALID_PARAMETER;
            total += 4 + strlen(entries[i].name) + 1 + sizes[i];
        }
        if (total > 0xFFFFFFFFu) e = ERR_INVALID_PARAMETER;
    }
    if (!e) e = WritePackage(outPath, info, (uint32_t)total, MakeEntryStream, &s);
    if (s.file) FsLocal()->Close(s.file);
    free(sizes);
    return e;
}
