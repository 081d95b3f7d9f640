// The update package: finding its compressed stream, decoding it with liblzma, parsing the
// records as they arrive and writing the product's files. The format is described at the
// top of package.cpp.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct FsFile;
struct FsProvider;

const size_t PACKAGE_LEAD_SIZE = 89999;  // the marker is looked for from this offset on
const size_t PACKAGE_MARKER_READ = 4092; // bytes read at a time while looking for the marker
const size_t PACKAGE_PIECE = 65536;      // compressed input and decoded output handled at a time
const size_t PACKAGE_RECORD_MAX = 1024;  // longest record, also the carry buffer
const size_t PACKAGE_CODE_CHARS = 3;
const size_t PACKAGE_TEXT_CHARS = 31;
const size_t PACKAGE_NAME_CHARS = 1019; // 4 size bytes + name + terminator fit one record
const size_t PACKAGE_PATH_SIZE = 1024;  // the entry callback's path buffer
const size_t PACKAGE_FIRST_BYTES = 1024;
const uint32_t PACKAGE_NUMBER_BIAS = 239;
const uint8_t PACKAGE_TEXT_BIAS = 0x23;
const uint8_t PACKAGE_DATA_BIAS = 0x4D;
// The largest LZMA dictionary a package may make the decoder allocate (the declared size, but
// never more than the unpacked size). 256 MiB can still be had in one piece in the 2 GiB
// address space of the 32-bit program beside its libraries and buffers, and is four times
// the largest preset's 64 MiB; a package needing more is refused before anything is done.
const uint32_t PACKAGE_MAX_DICTIONARY = 256u << 20;

extern const uint8_t kPackageMarker[4];

// Called twice per entry. First with data NULL and size the entry's size: path holds the
// entry's name and may be rewritten with the full path of the file to create (at most
// PACKAGE_PATH_SIZE - 1 characters). Returns >0 to extract, 0 (or an empty path) to skip,
// or a negated Windows error to refuse the entry: the package then fails as if the file
// could not be created. Second, once the first min(1024, size) data bytes have arrived,
// with those bytes; the result is ignored. Entries of size 0 get no second call.
typedef int (*PackageEntryCallback)(char* path, const uint8_t* data, size_t size, void* user);

// What a package said about itself, filled in as far as it was read.
struct PackageHeader {
    int complete; // the package header was read
    uint32_t expectedChecksum;
    uint32_t checksum; // computed over the data read
    char code[PACKAGE_CODE_CHARS + 1];
    char text1[PACKAGE_TEXT_CHARS + 1];
    char text2[PACKAGE_TEXT_CHARS + 1];
    uint32_t date; // days in the package calendar, see EncodePackageDate
    uint32_t entries;
    uint32_t unpackedSize; // declared after the marker
    uint64_t decoded;      // decoded bytes handed to the parser
};

// Settings of one extraction; zero values mean the defaults.
struct PackageOptions {
    const FsProvider* fs;  // FsLocal()
    size_t inputPiece;     // PACKAGE_PIECE
    size_t outputPiece;    // PACKAGE_PIECE
    PackageHeader* header; // filled in when not NULL
    int flushFiles;        // each written file reaches the disk before it is closed
    // Asked before each piece of the package is read; nonzero stops the extraction with
    // -ERR_OPERATION_ABORTED (NULL: never).
    int (*Stopped)(void* context);
    void* stopContext;
};

// Extracts a package, calling back per entry. Without a callback nothing is written.
// Returns 0; a positive Windows error when the package cannot be opened, or when a file
// error was recorded in the last decoded piece; a negated Windows error when decoding
// failed (-13 corrupt or malformed, -8 no memory, -50 unsupported properties, -1235 a file
// could not be created or written, -995 stopped through the options); -1 when the package
// is empty, has no marker, is cut short or its checksum does not match.
int ExtractPackage(const char* packagePath, PackageEntryCallback callback, void* user);
int ExtractPackageWith(const char* packagePath, PackageEntryCallback callback, void* user,
                       const PackageOptions* options);

// 0 when the package's decoder fits PACKAGE_MAX_DICTIONARY (or the package is too short to
// say: reading it tells); ERR_NOT_ENOUGH_MEMORY when it needs more; a file error otherwise.
int CheckPackageDictionary(const char* packagePath, const FsProvider* fs);

// Extracts a package into a product's folder. The files are first written into a staging
// folder inside the target folder and only moved into place when the whole package was
// read and its checksum matched; replaced files are put back when a move fails. On any
// failure the target folder is left as it was. Results as ExtractPackage; an entry whose
// name would leave the target folder fails the package with -1235, and so does a folder
// whose interrupted install cannot be recovered first (RecoverUpdateFolder).
int ExtractUpdatePackage(const char* packagePath, const char* targetFolder);
// The same over a given provider (NULL: FsLocal()). It stages and commits at once.
int ExtractUpdatePackageWith(const char* packagePath, const char* targetFolder, const FsProvider* fs);

// The two steps of ExtractUpdatePackage, so that a product needs to be closed only for the
// second. StageUpdate recovers an unfinished install of the folder, writes every file of the
// package into a new staging folder inside it, each flushed to the disk, and checks the whole
// package; nothing else of the folder changes. On success *staged is set, to be handed to
// CommitStage or AbandonStage; on failure it is NULL and no staging folder is left. Options:
// the provider and Stopped are used; files are always flushed. Results as ExtractUpdatePackage.
struct Staging;
int StageUpdate(const char* packagePath, const char* targetFolder, const PackageOptions* options,
                Staging** staged);
// Writes the journal and moves the staged files into place, then removes the staging
// folder and frees the record. Returns 0, or -1235 with the folder as it was (or as the next
// RecoverUpdateFolder makes it), also for a staging folder that is no longer ours.
int CommitStage(Staging* staged);
// Removes the staging folder (when it is still ours) and frees the record; NULL is ignored.
void AbandonStage(Staging* staged);

// Undoes an install into folder that was cut short (the process killed, the power lost)
// and removes the staging folders that earlier runs left behind; folders this program did
// not make are left alone. The folder then holds exactly the files it held before that
// install. A staging folder that cannot be deleted now is deleted at the next start
// (through this function) or, where the provider can, at the next restart of the system.
// Returns 0, also for a folder that does not exist; a Windows error when an interrupted
// install could not be undone (its staging folder is kept for the next try).
int RecoverUpdateFolder(const char* folder, const FsProvider* fs);

// Joins a target folder and an entry name the way extraction does: the folder gets a
// trailing '\' when it has none, one leading '/' or '\' of the name is dropped, and when
// the result holds a '/', every '\' becomes '/'. Returns 0; 123 for a name that would leave
// the folder (a ".." part, a drive, a UNC or device path, a ':' stream, a reserved device
// name) or names no file; 206 when the result does not fit out.
int JoinEntryPath(const char* folder, const char* name, char* out, size_t size);

// Finds the first marker at or after offset PACKAGE_LEAD_SIZE of an open package. Returns
// 0 and the offset just after it, -1 when there is none, or a read error.
int FindPackageMarker(const FsProvider* fs, FsFile* file, uint64_t fileSize, uint64_t* after);

// The streaming parts, for the vendor's tool, the tests and the fuzzer.
struct PackageReader; // the extraction context: parser state, checksum, open file
PackageReader* PackageReaderCreate(const FsProvider* fs, PackageEntryCallback callback, void* user);
// Hands decoded bytes to the parser; data is decoded in place. Sets *accepted to the bytes
// consumed (fewer when a file error is recorded). Returns 0, or 13 for a malformed stream.
int PackageReaderFeed(PackageReader* reader, uint8_t* data, size_t size, size_t* accepted);
// The first file error recorded (0 = none).
int PackageReaderError(const PackageReader* reader);
// Nonzero when the stream ended on a record boundary after a complete package header.
int PackageReaderComplete(const PackageReader* reader);
void PackageReaderGetHeader(const PackageReader* reader, PackageHeader* header);
// Closes an output file left open and frees the context.
void PackageReaderFree(PackageReader* reader);

// The compressed part after the marker: 5 properties bytes, the unpacked size, raw LZMA1.
struct PackageStreamIo {
    // Reads up to size bytes; *got 0 means the end. Returns 0 or a Windows error.
    int (*Read)(void* context, uint8_t* buffer, size_t size, size_t* got);
    // Takes decoded bytes; fewer accepted than offered stops decoding with 1235.
    int (*Write)(void* context, uint8_t* data, size_t size, size_t* accepted);
    void* context;
};
// Returns 0, or a positive Windows error (decoder conditions mapped as described in
// package.cpp). Sets *unpackedSize from the size field and *produced to the bytes decoded.
int DecodePackageStream(const PackageStreamIo* io, size_t inputPiece, size_t outputPiece,
                        uint32_t* unpackedSize, uint64_t* produced);

// The checksum over one run of decoded data bytes of an entry.
uint32_t PackageChecksumAdd(uint32_t sum, uint32_t entryNumber, char firstNameByte, const uint8_t* data,
                            size_t size);

// The package date: ((year - 2012) * 12 + month) * 31 + day in a calendar of 31-day months.
uint32_t EncodePackageDate(int year, int month, int day);
void DecodePackageDate(uint32_t value, int* year, int* month, int* day);
// The file time given to extracted files: 12:00 local time of the package date, as UTC.
// A day past the end of its month (the 31st of April) is taken as the month's last day.
// Returns 0, or 87 when the date lies beyond the year 9999 (no time is then set).
int PackageDateToFileTime(uint32_t value, uint64_t* fileTime);
