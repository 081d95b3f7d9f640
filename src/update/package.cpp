// Reads update packages: marker search, the LZMA1 decoder loop over liblzma, the stream
// parser, the checksum and the package date.
//
// The package format
// ------------------
// File:
//   0       at least 89999  leading part, never examined
//   m       4               marker A5 8F A5 78, the first one at or after offset 89999
//   m+4     5               LZMA1 properties: the lc/lp/pb byte, dictionary size (32-bit LE)
//   m+9     4               unpacked size of the package stream, 32-bit big-endian
//   m+13    rest            raw LZMA1 data (with or without an end marker)
//
// A signed package carries a signature block inside the leading part, in the 80 bytes just
// before offset 89999 (so at a fixed place, always within the leading part, and never seen
// by the marker search; readers that do not know it ignore it like the rest of the part):
//   89919   8               tag "QXSIGN01"
//   89927   8               signed size: the bytes from m to the end of the file, 64-bit LE
//   89935   64              Ed25519 signature of the statement: the tag, the signed size
//                           (as above) and the SHA-512 of the signed bytes (80 bytes)
// The signature so covers every byte from the marker to the end of the file, the package
// header with its short code included. A package without the tag is unsigned.
// A bound package (tag "QXSIGN02", same place) also carries, in the 48 bytes before the tag,
// what it is for, and its statement ends with those 48 bytes (128 bytes in all):
//   89871   8               lead size: the marker's offset m, 64-bit LE
//   89879   4               product code, zero-padded
//   89883   32              version text as the catalogue gives it, zero-padded
//   89915   4               edition letter, zero-padded
// The lead size and the signed size give a download its whole size before the rest arrives.
//
// The package stream (the decoded bytes) uses three encodings:
//   number  4 bytes big-endian, value + 239 (mod 2^32)
//   text    each character + 0x23 (mod 256), then one raw zero byte; a text never holds
//           a zero character
//   data    each byte - 0x4D (mod 256)
// and holds one package header, then entries until the unpacked size is reached (no count,
// no end record):
//   header  expected checksum (number), short code (text, <= 3 characters), two texts
//           (<= 31 characters each, unused), package date (number)
//   entry   data size (number), name (text, <= 1019 characters, so that the record fits
//           1024 bytes), the data bytes
// Names are paths relative to the target folder; '/' and '\' both separate folders.
// The checksum is a wrapping 32-bit sum: every data byte adds (entry number + 10) + (first
// byte of the entry's name as a signed 8-bit value) + (the decoded byte); entries count
// from 1. The package date counts days in a calendar of 31-day months from 2012.
//
// Memory stays bounded whatever the package size: one piece of input and output, the
// 1024-byte carry buffer for records split between pieces, and the decoder's dictionary,
// which is never larger than the unpacked size.
#include "update/package.h"
#include <lzma.h>
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"

const uint8_t kPackageMarker[4] = {0xA5, 0x8F, 0xA5, 0x78};

// ---------------------------------------------------------------------------------------
// Checksum and date

uint32_t PackageChecksumAdd(uint32_t sum, uint32_t entryNumber, char firstNameByte, const uint8_t* data,
                            size_t size) {
    uint32_t perByte = entryNumber + 10u + (uint32_t)(int32_t)(signed char)firstNameByte;
    uint32_t bytes = 0;
    for (size_t i = 0; i < size; i++)
        bytes += data[i];
    return sum + perByte * (uint32_t)size + bytes;
}

uint32_t EncodePackageDate(int year, int month, int day) {
    return (uint32_t)((((int64_t)year - 2012) * 12 + month) * 31 + day);
}

void DecodePackageDate(uint32_t value, int* year, int* month, int* day) {
    int64_t d = value % 31;
    int64_t t = (value - d) / 31;
    if (d == 0) d = 31, t -= 1;
    int64_t m = ((t % 12) + 12) % 12; // t is -1 for the values 0 and 31
    if (m == 0) m = 12;
    *day = (int)d;
    *month = (int)m;
    *year = (int)((t - m) / 12 + 2012);
}

static int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap);
}

int PackageDateToFileTime(uint32_t value, uint64_t* fileTime) {
    SysTime time = {};
    DecodePackageDate(value, &time.year, &time.month, &time.day);
    if (time.year > 9999) return ERR_INVALID_PARAMETER;
    if (time.day > DaysInMonth(time.year, time.month)) time.day = DaysInMonth(time.year, time.month);
    time.hour = 12;
    return SysLocalTimeToFileTime(&time, fileTime);
}

// ---------------------------------------------------------------------------------------
// Stream parser

enum {
    PARSE_HEADER = 0,  // package header expected
    PARSE_READY = 1,   // between entries
    PARSE_PENDING = 2, // an entry header waits in the carry buffer
    PARSE_DATA = 3,    // inside an entry's data
};

enum { RECORD_COMPLETE, RECORD_INCOMPLETE, RECORD_MALFORMED };

struct PackageReader {
    const FsProvider* fs;
    PackageEntryCallback callback;
    void* user;
    int firstError;
    int malformed;
    int state;
    uint64_t total;
    uint32_t checksum;
    uint32_t expectedChecksum;
    uint32_t date;
    uint64_t fileTime;
    int hasFileTime;
    uint32_t entryNumber;
    char name[PACKAGE_PATH_SIZE];
    char path[PACKAGE_PATH_SIZE];
    uint32_t entrySize;
    uint32_t remaining;
    FsFile* out;
    int flushFiles;
    uint8_t carry[PACKAGE_RECORD_MAX];
    size_t carryFill;
    char code[PACKAGE_CODE_CHARS + 1];
    char text1[PACKAGE_TEXT_CHARS + 1];
    char text2[PACKAGE_TEXT_CHARS + 1];
    uint8_t first[PACKAGE_FIRST_BYTES];
    size_t firstCount;
};

static int TakeNumber(const uint8_t* p, size_t n, size_t* at, uint32_t* value) {
    if (n - *at < 4) return RECORD_INCOMPLETE;
    const uint8_t* b = p + *at;
    *value = (((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3]) -
             PACKAGE_NUMBER_BIAS;
    *at += 4;
    return RECORD_COMPLETE;
}

// A text of at most limit characters into out (limit + 1 bytes).
static int TakeText(const uint8_t* p, size_t n, size_t* at, char* out, size_t limit) {
    for (size_t i = 0;; i++) {
        if (*at + i >= n) return RECORD_INCOMPLETE;
        uint8_t b = p[*at + i];
        if (b == 0) {
            out[i] = 0;
            *at += i + 1;
            return RECORD_COMPLETE;
        }
        if (i == limit) return RECORD_MALFORMED;
        uint8_t c = (uint8_t)(b - PACKAGE_TEXT_BIAS);
        if (c == 0) return RECORD_MALFORMED; // would cut the text short
        out[i] = (char)c;
    }
}

static void RecordError(PackageReader* r, int error) {
    if (!r->firstError) r->firstError = error;
}

static int ParseHeader(PackageReader* r, const uint8_t* p, size_t n, size_t* used) {
    size_t at = 0;
    uint32_t checksum, date;
    char code[sizeof r->code], text1[sizeof r->text1], text2[sizeof r->text2];
    int s = TakeNumber(p, n, &at, &checksum);
    if (s == RECORD_COMPLETE) s = TakeText(p, n, &at, code, PACKAGE_CODE_CHARS);
    if (s == RECORD_COMPLETE) s = TakeText(p, n, &at, text1, PACKAGE_TEXT_CHARS);
    if (s == RECORD_COMPLETE) s = TakeText(p, n, &at, text2, PACKAGE_TEXT_CHARS);
    if (s == RECORD_COMPLETE) s = TakeNumber(p, n, &at, &date);
    if (s != RECORD_COMPLETE) return s;
    r->expectedChecksum = checksum;
    memcpy(r->code, code, sizeof code);
    memcpy(r->text1, text1, sizeof text1);
    memcpy(r->text2, text2, sizeof text2);
    r->date = date;
    r->hasFileTime = PackageDateToFileTime(date, &r->fileTime) == 0;
    r->state = PARSE_READY;
    *used = at;
    return RECORD_COMPLETE;
}

// An entry header is complete: ask the callback and create the file.
static void BeginEntry(PackageReader* r) {
    r->entryNumber++;
    r->remaining = r->entrySize;
    r->firstCount = 0;
    r->state = PARSE_DATA;
    CopyText(r->path, sizeof r->path, r->name);
    if (!r->callback) return;
    int extract = r->callback(r->path, NULL, r->entrySize, r->user);
    if (extract < 0) {
        RecordError(r, -extract);
        return;
    }
    if (extract == 0 || r->path[0] == 0) return;
    int e = r->fs->Open(r->path, FS_CREATE_WRITE, FILE_ATTR_NORMAL, &r->out);
    if (e) {
        r->out = NULL;
        RecordError(r, e);
    }
}

static int ParseEntryHeader(PackageReader* r, const uint8_t* p, size_t n, size_t* used) {
    size_t at = 0;
    uint32_t size;
    int s = TakeNumber(p, n, &at, &size);
    if (s == RECORD_COMPLETE) s = TakeText(p, n, &at, r->name, PACKAGE_NAME_CHARS);
    if (s != RECORD_COMPLETE) return s;
    r->entrySize = size;
    *used = at;
    BeginEntry(r);
    return RECORD_COMPLETE;
}

static void FinishEntry(PackageReader* r) {
    r->state = PARSE_READY;
    if (!r->out) return;
    if (r->hasFileTime) {
        int e = r->fs->SetTimes(r->out, r->fileTime);
        if (e) RecordError(r, e);
    }
    if (r->flushFiles && r->fs->Flush) {
        int e = r->fs->Flush(r->out);
        if (e) RecordError(r, e);
    }
    int e = r->fs->Close(r->out);
    r->out = NULL;
    if (e) RecordError(r, e);
}

// Decodes, counts and writes the current entry's bytes at hand. Returns the bytes taken.
static size_t DataStep(PackageReader* r, uint8_t* p, size_t n) {
    size_t k = n < r->remaining ? n : r->remaining;
    for (size_t i = 0; i < k; i++)
        p[i] = (uint8_t)(p[i] + PACKAGE_DATA_BIAS);
    r->checksum = PackageChecksumAdd(r->checksum, r->entryNumber, r->name[0], p, k);
    size_t wanted = r->entrySize < PACKAGE_FIRST_BYTES ? r->entrySize : PACKAGE_FIRST_BYTES;
    if (r->firstCount < wanted && k > 0) {
        size_t take = wanted - r->firstCount < k ? wanted - r->firstCount : k;
        memcpy(r->first + r->firstCount, p, take);
        r->firstCount += take;
        if (r->firstCount == wanted && r->callback) r->callback(r->path, r->first, r->firstCount, r->user);
    }
    if (r->out && k > 0) {
        size_t done = 0;
        int e = r->fs->Write(r->out, p, k, &done);
        if (!e && done != k) e = ERR_WRITE_FAULT;
        if (e) {
            RecordError(r, e);
            r->fs->Close(r->out);
            r->out = NULL;
        }
    }
    r->remaining -= (uint32_t)k;
    if (r->remaining == 0) FinishEntry(r);
    return k;
}

// Parses a record that has begun in the carry buffer, topping it up from the piece.
// Returns the record state; *taken says how many bytes of the piece went into the carry
// buffer (all when incomplete) or completed the record.
static int ParseCarried(PackageReader* r, const uint8_t* p, size_t n, size_t* taken) {
    size_t before = r->carryFill;
    size_t add = sizeof r->carry - before < n ? sizeof r->carry - before : n;
    memcpy(r->carry + before, p, add);
    r->carryFill += add;
    size_t used = 0;
    int s = r->state == PARSE_HEADER ? ParseHeader(r, r->carry, r->carryFill, &used)
                                     : ParseEntryHeader(r, r->carry, r->carryFill, &used);
    if (s == RECORD_INCOMPLETE && r->carryFill == sizeof r->carry) s = RECORD_MALFORMED;
    if (s == RECORD_COMPLETE) {
        *taken = used - before;
        r->carryFill = 0;
    } else {
        *taken = add;
    }
    return s;
}

static void Carry(PackageReader* r, const uint8_t* p, size_t n) {
    memcpy(r->carry, p, n); // n < PACKAGE_RECORD_MAX: a longer rest would have been malformed
    r->carryFill = n;
}

PackageReader* PackageReaderCreate(const FsProvider* fs, PackageEntryCallback callback, void* user) {
    PackageReader* r = (PackageReader*)calloc(1, sizeof(PackageReader));
    if (!r) return NULL;
    r->fs = fs ? fs : FsLocal();
    r->callback = callback;
    r->user = user;
    return r;
}

int PackageReaderFeed(PackageReader* r, uint8_t* data, size_t size, size_t* accepted) {
    *accepted = 0;
    if (r->malformed) return ERR_INVALID_DATA;
    if (r->firstError) return 0;
    r->total += size;
    size_t at = 0;
    if (r->carryFill > 0) {
        size_t taken = 0;
        int s = ParseCarried(r, data, size, &taken);
        if (s == RECORD_MALFORMED) return r->malformed = 1, ERR_INVALID_DATA;
        at = taken;
        if (s == RECORD_INCOMPLETE || r->firstError) {
            *accepted = at;
            return 0;
        }
    } else if (r->state == PARSE_HEADER) {
        size_t used = 0;
        int s = ParseHeader(r, data, size, &used);
        if (s == RECORD_MALFORMED) return r->malformed = 1, ERR_INVALID_DATA;
        if (s == RECORD_INCOMPLETE) {
            if (size >= sizeof r->carry) return r->malformed = 1, ERR_INVALID_DATA;
            Carry(r, data, size);
            *accepted = size;
            return 0;
        }
        at = used;
    }
    if (r->state == PARSE_DATA) at += DataStep(r, data + at, size - at);
    while (at < size && !r->firstError) {
        size_t used = 0;
        int s = ParseEntryHeader(r, data + at, size - at, &used);
        if (s == RECORD_MALFORMED) return r->malformed = 1, ERR_INVALID_DATA;
        if (s == RECORD_INCOMPLETE) {
            if (size - at >= sizeof r->carry) return r->malformed = 1, ERR_INVALID_DATA;
            r->state = PARSE_PENDING;
            Carry(r, data + at, size - at);
            at = size;
            break;
        }
        at += used;
        if (r->firstError) break;
        at += DataStep(r, data + at, size - at);
    }
    *accepted = at;
    return 0;
}

int PackageReaderError(const PackageReader* r) {
    return r->firstError;
}

int PackageReaderComplete(const PackageReader* r) {
    return r->state != PARSE_HEADER && r->carryFill == 0 && !(r->state == PARSE_DATA && r->remaining > 0);
}

void PackageReaderGetHeader(const PackageReader* r, PackageHeader* h) {
    h->complete = r->state != PARSE_HEADER;
    h->expectedChecksum = r->expectedChecksum;
    h->checksum = r->checksum;
    CopyText(h->code, sizeof h->code, r->code);
    CopyText(h->text1, sizeof h->text1, r->text1);
    CopyText(h->text2, sizeof h->text2, r->text2);
    h->date = r->date;
    h->entries = r->entryNumber;
    h->decoded = r->total;
}

void PackageReaderFree(PackageReader* r) {
    if (!r) return;
    if (r->out) r->fs->Close(r->out);
    free(r);
}

// ---------------------------------------------------------------------------------------
// Decoder loop

// liblzma's results as Windows error numbers.
static int DecoderError(lzma_ret ret) {
    static const struct {
        lzma_ret ret;
        int error;
    } kErrors[] = {
        {LZMA_DATA_ERROR, ERR_INVALID_DATA},     {LZMA_FORMAT_ERROR, ERR_INVALID_DATA},
        {LZMA_MEM_ERROR, ERR_NOT_ENOUGH_MEMORY}, {LZMA_MEMLIMIT_ERROR, ERR_NOT_ENOUGH_MEMORY},
        {LZMA_OPTIONS_ERROR, ERR_NOT_SUPPORTED}, {LZMA_PROG_ERROR, ERR_INVALID_PARAMETER},
        {LZMA_BUF_ERROR, ERR_HANDLE_EOF},
    };
    for (size_t i = 0; i < sizeof kErrors / sizeof kErrors[0]; i++)
        if (kErrors[i].ret == ret) return kErrors[i].error;
    return ERR_GEN_FAILURE;
}

// Reads exactly size bytes unless the input ends. Returns 0 or the reader's error.
static int ReadFully(const PackageStreamIo* io, uint8_t* buffer, size_t size, size_t* got) {
    *got = 0;
    while (*got < size) {
        size_t n = 0;
        int e = io->Read(io->context, buffer + *got, size - *got, &n);
        if (e) return e;
        if (n == 0) break;
        *got += n;
    }
    return 0;
}

static int RunDecoder(lzma_stream* strm, const PackageStreamIo* io, uint8_t* in, size_t inputPiece,
                      uint8_t* out, size_t outputPiece, uint32_t unpacked, uint64_t* produced) {
    int inputEnded = 0;
    uint64_t remaining = unpacked;
    while (remaining > 0) {
        if (strm->avail_in == 0 && !inputEnded) {
            size_t got = 0;
            int e = io->Read(io->context, in, inputPiece, &got);
            if (e) return e;
            if (got == 0) inputEnded = 1;
            strm->next_in = in;
            strm->avail_in = got;
        }
        size_t room = remaining < outputPiece ? (size_t)remaining : outputPiece;
        size_t inBefore = strm->avail_in;
        strm->next_out = out;
        strm->avail_out = room;
        // The output is limited to the unpacked size, so the decoder stops there by itself.
        lzma_ret ret = lzma_code(strm, LZMA_RUN);
        size_t made = room - strm->avail_out;
        if (made > 0) {
            *produced += made;
            remaining -= made;
            size_t accepted = 0;
            int e = io->Write(io->context, out, made, &accepted);
            if (e) return e;
            if (accepted < made) return ERR_REQUEST_ABORTED;
        }
        if (ret == LZMA_STREAM_END) return 0; // an end mark before the unpacked size
        if (ret != LZMA_OK && ret != LZMA_BUF_ERROR) return DecoderError(ret);
        if (made == 0 && strm->avail_in == inBefore) {
            if (inputEnded) return 0; // cut short: the parser's end check and the checksum tell
            if (strm->avail_in > 0) return ERR_INVALID_DATA;
        }
    }
    return 0;
}

static uint32_t NeededDictionary(uint32_t declared, uint32_t unpacked) {
    uint32_t needed = unpacked < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : unpacked;
    return declared < needed ? declared : needed;
}

int DecodePackageStream(const PackageStreamIo* io, size_t inputPiece, size_t outputPiece,
                        uint32_t* unpackedSize, uint64_t* produced) {
    *unpackedSize = 0;
    *produced = 0;
    uint8_t head[9];
    size_t got = 0;
    int e = ReadFully(io, head, sizeof head, &got);
    if (e) return e;
    if (got < sizeof head) return 0; // nothing to decode: the package is cut short
    uint32_t unpacked =
        ((uint32_t)head[5] << 24) | ((uint32_t)head[6] << 16) | ((uint32_t)head[7] << 8) | head[8];
    *unpackedSize = unpacked;

    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, NULL}, {LZMA_VLI_UNKNOWN, NULL}};
    lzma_ret ret = lzma_properties_decode(&filters[0], NULL, head, 5);
    if (ret != LZMA_OK) return DecoderError(ret);
    // No match reaches further back than the unpacked size, so a larger dictionary than
    // that is never needed.
    lzma_options_lzma* options = (lzma_options_lzma*)filters[0].options;
    options->dict_size = NeededDictionary(options->dict_size, unpacked);
    if (options->dict_size > PACKAGE_MAX_DICTIONARY) {
        free(options);
        return ERR_NOT_ENOUGH_MEMORY;
    }

    lzma_stream strm = LZMA_STREAM_INIT;
    ret = lzma_raw_decoder(&strm, filters);
    free(options);
    if (ret != LZMA_OK) return DecoderError(ret);
    uint8_t* in = (uint8_t*)malloc(inputPiece);
    uint8_t* out = (uint8_t*)malloc(outputPiece);
    e = (in && out) ? RunDecoder(&strm, io, in, inputPiece, out, outputPiece, unpacked, produced)
                    : ERR_NOT_ENOUGH_MEMORY;
    free(in);
    free(out);
    lzma_end(&strm);
    return e;
}

// ---------------------------------------------------------------------------------------
// ExtractPackage

struct PackageFile {
    const FsProvider* fs;
    FsFile* file;
    PackageReader* reader;
    const PackageOptions* options;
};

static int ReadPackageFile(void* context, uint8_t* buffer, size_t size, size_t* got) {
    PackageFile* f = (PackageFile*)context;
    *got = 0;
    if (f->options->Stopped && f->options->Stopped(f->options->stopContext)) return ERR_OPERATION_ABORTED;
    return f->fs->Read(f->file, buffer, size, got);
}

static int WriteToReader(void* context, uint8_t* data, size_t size, size_t* accepted) {
    return PackageReaderFeed(((PackageFile*)context)->reader, data, size, accepted);
}

int FindPackageMarker(const FsProvider* fs, FsFile* file, uint64_t fileSize, uint64_t* after) {
    uint64_t offset = fileSize < PACKAGE_LEAD_SIZE ? fileSize : PACKAGE_LEAD_SIZE;
    int e = fs->Seek(file, offset);
    if (e) return e;
    uint8_t buffer[4 + PACKAGE_MARKER_READ];
    size_t kept = 0;
    uint64_t keptAt = offset; // file offset of buffer[0]
    for (;;) {
        size_t got = 0;
        e = fs->Read(file, buffer + kept, PACKAGE_MARKER_READ, &got);
        if (e) return e;
        if (got == 0) return -1;
        size_t n = kept + got;
        for (size_t i = 0; i + 4 <= n; i++) {
            if (memcmp(buffer + i, kPackageMarker, 4) == 0) {
                *after = keptAt + i + 4;
                return 0;
            }
        }
        kept = n < 4 ? n : 4;
        memmove(buffer, buffer + n - kept, kept);
        keptAt += n - kept;
    }
}

int CheckPackageDictionary(const char* packagePath, const FsProvider* fs) {
    if (!fs) fs = FsLocal();
    FsFile* file = NULL;
    int e = fs->Open(packagePath, FS_OPEN_READ, 0, &file);
    if (e) return e;
    uint64_t size = 0, after = 0;
    uint8_t head[9];
    size_t got = 0;
    e = fs->Size(file, &size);
    if (!e && size) e = FindPackageMarker(fs, file, size, &after);
    if (!e && size) e = fs->Seek(file, after);
    if (!e && size) e = fs->Read(file, head, sizeof head, &got);
    fs->Close(file);
    if (e < 0) return 0; // no marker: the package is refused when it is read
    if (e || got < sizeof head) return e;
    uint32_t declared =
        (uint32_t)head[1] | (uint32_t)head[2] << 8 | (uint32_t)head[3] << 16 | (uint32_t)head[4] << 24;
    uint32_t unpacked = (uint32_t)head[5] << 24 | (uint32_t)head[6] << 16 | (uint32_t)head[7] << 8 | head[8];
    return NeededDictionary(declared, unpacked) > PACKAGE_MAX_DICTIONARY ? ERR_NOT_ENOUGH_MEMORY : 0;
}

int ExtractPackageWith(const char* packagePath, PackageEntryCallback callback, void* user,
                       const PackageOptions* options) {
    PackageOptions o = {};
    if (options) o = *options;
    if (!o.fs) o.fs = FsLocal();
    if (!o.inputPiece) o.inputPiece = PACKAGE_PIECE;
    if (!o.outputPiece) o.outputPiece = PACKAGE_PIECE;
    if (o.header) memset(o.header, 0, sizeof *o.header);

    PackageFile f = {o.fs, NULL, NULL, &o};
    int e = o.fs->Open(packagePath, FS_OPEN_READ, 0, &f.file);
    if (e) return e;
    uint64_t size = 0, after = 0;
    e = o.fs->Size(f.file, &size);
    int result;
    if (e) {
        result = e;
    } else if (size == 0) {
        result = -1;
    } else if ((e = FindPackageMarker(o.fs, f.file, size, &after)) != 0) {
        result = e;
    } else if ((e = o.fs->Seek(f.file, after)) != 0) {
        result = e;
    } else if (!(f.reader = PackageReaderCreate(o.fs, callback, user))) {
        result = -ERR_NOT_ENOUGH_MEMORY;
    } else {
        f.reader->flushFiles = o.flushFiles;
        PackageStreamIo io = {ReadPackageFile, WriteToReader, &f};
        uint32_t unpacked = 0;
        uint64_t produced = 0;
        e = DecodePackageStream(&io, o.inputPiece, o.outputPiece, &unpacked, &produced);
        PackageHeader header;
        PackageReaderGetHeader(f.reader, &header);
        header.unpackedSize = unpacked;
        if (o.header) *o.header = header;
        if (e)
            result = -e;
        else if (PackageReaderError(f.reader))
            result = PackageReaderError(f.reader);
        else if (produced < unpacked || !PackageReaderComplete(f.reader))
            result = -1; // cut short
        else
            result = header.checksum == header.expectedChecksum ? 0 : -1;
    }
    PackageReaderFree(f.reader);
    o.fs->Close(f.file);
    return result;
}

int ExtractPackage(const char* packagePath, PackageEntryCallback callback, void* user) {
    return ExtractPackageWith(packagePath, callback, user, NULL);
}
