// Benchmark of package extraction, run by hand through bench/run.sh:
//   qx_package_bench throughput FOLDER MIB   extraction against "xz --format=lzma -dc" of
//                                            the same compressed data, as a ratio
//   qx_package_bench memory FOLDER MIB       builds packages of 16 and MIB MiB unpacked,
//                                            extracts each in a fresh process and reports
//                                            its peak resident memory
//   qx_package_bench journal FOLDER FILES    installs a package that replaces FILES files of
//                                            32 KiB and reports the share of the install spent
//                                            on the journal and on looking for unfinished
//                                            installs
//   qx_package_bench signature FOLDER MIB    what signing adds: the package's size before
//                                            and after, and the check's time against the
//                                            extraction's
// Each prints one line per figure. The data is a made-up mixture of words and noise that
// compresses about 3:1, in files of 64 MiB.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "platform/fs.h"
#include "update/packbuild.h"
#include "update/package.h"
#include "update/signature.h"
#include <sodium.h>

static const uint32_t kDictionary = 8u << 20;
static const uint64_t kFileSize = 64u << 20;

// Fills one 4 KiB block; the bytes depend only on the file and the block's number.
static void GenerateBlock(uint64_t seed, uint8_t* block) {
    static const char* const kWords[] = {"update ",  "package ", "QXEdit ", "Corvanware ",
                                         "version ", "file ",    "folder ", "the ",
                                         "of ",      "and ",     "\r\n",    "1.0.4 "};
    size_t at = 0;
    while (at < 4096) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        uint32_t r = (uint32_t)(seed >> 33);
        if (r % 5 == 0) {
            block[at++] = (uint8_t)(r >> 8);
            continue;
        }
        const char* word = kWords[(r >> 4) % 12];
        for (size_t i = 0; word[i] && at < 4096; i++)
            block[at++] = (uint8_t)word[i];
    }
}

static int Generate(void* context, uint64_t offset, uint8_t* buffer, size_t size) {
    uint8_t block[4096];
    while (size > 0) {
        uint64_t number = offset / 4096;
        GenerateBlock((uint64_t)(uintptr_t)context * 0x9E3779B97F4A7C15ull + number, block);
        size_t from = (size_t)(offset % 4096), n = 4096 - from < size ? 4096 - from : size;
        memcpy(buffer, block + from, n);
        buffer += n, offset += n, size -= n;
    }
    return 0;
}

static double Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int Build(const std::string& package, uint64_t mib) {
    uint64_t total = mib << 20;
    std::vector<std::string> names;
    std::vector<PackBuildEntry> entries;
    for (uint64_t at = 0, i = 0; at < total; at += kFileSize, i++)
        names.push_back("data" + std::to_string(i) + ".bin");
    for (size_t i = 0; i < names.size(); i++) {
        PackBuildEntry entry = {};
        entry.name = names[i].c_str();
        entry.generate = Generate;
        entry.context = (void*)(uintptr_t)(i + 1);
        entry.size = total - i * kFileSize < kFileSize ? total - i * kFileSize : kFileSize;
        entries.push_back(entry);
    }
    PackBuildInfo info = {};
    info.code = "QXE";
    info.preset = 1;
    info.dictionarySize = kDictionary;
    double start = Now();
    int e = BuildPackage(package.c_str(), &info, entries.data(), entries.size());
    fprintf(stderr, "built %s (%llu MiB unpacked) in %.1f s\n", package.c_str(), (unsigned long long)mib,
            Now() - start);
    return e;
}

// The compressed part of the package as an .lzma file: properties, 64-bit size, data.
static int WriteLzmaFile(const std::string& package, const std::string& lzma) {
    FILE* in = fopen(package.c_str(), "rb");
    FILE* out = fopen(lzma.c_str(), "wb");
    if (!in || !out) return 1;
    fseek(in, (long)PACKAGE_LEAD_SIZE + 4, SEEK_SET);
    uint8_t head[9];
    if (fread(head, 1, 9, in) != 9) return 1;
    uint64_t size =
        ((uint64_t)head[5] << 24) | ((uint64_t)head[6] << 16) | ((uint64_t)head[7] << 8) | head[8];
    fwrite(head, 1, 5, out);
    for (int i = 0; i < 8; i++)
        fputc((int)((size >> (8 * i)) & 0xFF), out);
    std::vector<char> buffer(1 << 20);
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), in)) > 0)
        fwrite(buffer.data(), 1, n, out);
    fclose(in);
    return fclose(out) != 0;
}

static double TimeExtraction(const std::string& package, const std::string& target) {
    FsDeleteTree(FsLocal(), target.c_str());
    FsLocal()->CreateFolder(target.c_str());
    double start = Now();
    int e = ExtractUpdatePackage(package.c_str(), target.c_str());
    double seconds = Now() - start;
    if (e) fprintf(stderr, "extraction failed: %d\n", e), exit(1);
    return seconds;
}

static double TimeXz(const std::string& lzma, const std::string& out) {
    std::string command = "xz --format=lzma -dc '" + lzma + "' > '" + out + "'";
    double start = Now();
    if (system(command.c_str()) != 0) fprintf(stderr, "xz failed\n"), exit(1);
    return Now() - start;
}

static int Throughput(const std::string& folder, uint64_t mib) {
    std::string package = folder + "/bench.pkg", lzma = folder + "/bench.lzma";
    if (Build(package, mib) || WriteLzmaFile(package, lzma)) return 1;
    // Alternating runs, so that both see the same machine; the best of each counts.
    double best = 1e30, bestXz = 1e30;
    for (int run = 0; run < 3; run++) {
        double xz = TimeXz(lzma, folder + "/xz.out");
        double ours = TimeExtraction(package, folder + "/target");
        fprintf(stderr, "run %d: xz %.3f s, extraction %.3f s\n", run + 1, xz, ours);
        if (xz < bestXz) bestXz = xz;
        if (ours < best) best = ours;
    }
    double mibs = (double)mib;
    printf("unpacked %.0f MiB: xz %.1f MiB/s, extraction %.1f MiB/s, throughput ratio %.3f\n", mibs,
           mibs / bestXz, mibs / best, bestXz / best);
    FsDeleteTree(FsLocal(), (folder + "/target").c_str());
    FsLocal()->Delete((folder + "/xz.out").c_str());
    FsLocal()->Delete(lzma.c_str());
    FsLocal()->Delete(package.c_str());
    return 0;
}

// The process's peak resident memory (VmHWM, which starts afresh with exec), in KiB.
static long PeakKib() {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0) kib = atol(line + 6);
    if (f) fclose(f);
    return kib;
}

// Peak resident memory of a fresh process that only extracts.
static long ChildPeakKib(const std::string& package, const std::string& target) {
    FsDeleteTree(FsLocal(), target.c_str());
    FsLocal()->CreateFolder(target.c_str());
    char self[1024];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return -1;
    self[n] = 0;
    std::string command = std::string("'") + self + "' extract '" + package + "' '" + target + "'";
    FILE* child = popen(command.c_str(), "r");
    long kib = -1;
    if (!child || fscanf(child, "%ld", &kib) != 1) kib = -1;
    if (child && pclose(child) != 0) kib = -1;
    FsDeleteTree(FsLocal(), target.c_str());
    return kib;
}

static int Memory(const std::string& folder, uint64_t mib) {
    std::string small = folder + "/small.pkg", big = folder + "/big.pkg";
    if (Build(small, 16) || Build(big, mib)) return 1;
    long smallKib = ChildPeakKib(small, folder + "/target");
    long bigKib = ChildPeakKib(big, folder + "/target");
    printf("dictionary %u MiB; peak resident memory of the extracting process: %.1f MiB for 16 MiB unpacked, "
           "%.1f MiB for %llu MiB unpacked\n",
           (unsigned)(kDictionary >> 20), smallKib / 1024.0, bigKib / 1024.0, (unsigned long long)mib);
    FsLocal()->Delete(small.c_str());
    FsLocal()->Delete(big.c_str());
    return smallKib < 0 || bigKib < 0;
}

// A provider over the local one that times what the journal brings to an install.
enum { COST_JOURNAL, COST_SCAN, COSTS };
static double gCost[COSTS];
static FsFile* gJournal;
static std::string gScanned;

static bool IsJournal(const char* path) {
    size_t n = strlen(path);
    return n >= 8 && strcmp(path + n - 8, "\\journal") == 0;
}
static int TimedEnumerate(const char* folder, FsEntryProc proc, void* context) {
    double start = Now();
    int e = FsLocal()->Enumerate(folder, proc, context);
    if (gScanned == folder) gCost[COST_SCAN] += Now() - start;
    return e;
}
static int TimedOpen(const char* path, int mode, uint32_t attributes, FsFile** file) {
    double start = Now();
    int e = FsLocal()->Open(path, mode, attributes, file);
    if (IsJournal(path)) gJournal = *file, gCost[COST_JOURNAL] += Now() - start;
    return e;
}
static int TimedWrite(FsFile* file, const void* data, size_t size, size_t* done) {
    double start = Now();
    int e = FsLocal()->Write(file, data, size, done);
    if (file == gJournal) gCost[COST_JOURNAL] += Now() - start;
    return e;
}
static int TimedFlush(FsFile* file) {
    double start = Now();
    int e = FsLocal()->Flush(file);
    if (file == gJournal) gCost[COST_JOURNAL] += Now() - start;
    return e;
}
static int TimedClose(FsFile* file) {
    double start = Now();
    bool journal = file == gJournal;
    int e = FsLocal()->Close(file);
    if (journal) gJournal = NULL, gCost[COST_JOURNAL] += Now() - start;
    return e;
}
static int TimedDelete(const char* path) {
    double start = Now();
    int e = FsLocal()->Delete(path);
    if (IsJournal(path)) gCost[COST_JOURNAL] += Now() - start;
    return e;
}

static int GenerateSmall(void* context, uint64_t offset, uint8_t* buffer, size_t size) {
    return Generate(context, offset + 0x10000000, buffer, size);
}

static int Journal(const std::string& folder, int files) {
    std::string package = folder + "/journal.pkg", target = folder + "/target";
    std::vector<std::string> names;
    std::vector<PackBuildEntry> entries;
    for (int i = 0; i < files; i++)
        names.push_back("file" + std::to_string(i) + ".dat");
    for (int i = 0; i < files; i++) {
        PackBuildEntry entry = {};
        entry.name = names[i].c_str();
        entry.generate = GenerateSmall;
        entry.context = (void*)(uintptr_t)(i + 1);
        entry.size = 32768;
        entries.push_back(entry);
    }
    PackBuildInfo info = {};
    info.code = "QXE";
    info.preset = 1;
    if (BuildPackage(package.c_str(), &info, entries.data(), entries.size())) return 1;
    FsDeleteTree(FsLocal(), target.c_str());
    FsLocal()->CreateFolder(target.c_str());
    for (int i = 0; i < files; i++) // the old product: every file to be replaced
        FsLocal()->WriteWhole((target + "/" + names[i]).c_str(), "old", 3);
    FsProvider timed = *FsLocal();
    timed.Enumerate = TimedEnumerate, timed.Open = TimedOpen, timed.Write = TimedWrite;
    timed.Flush = TimedFlush, timed.Close = TimedClose, timed.Delete = TimedDelete;
    gScanned = target;
    double start = Now();
    int e = ExtractUpdatePackageWith(package.c_str(), target.c_str(), &timed);
    double total = Now() - start;
    if (e) return fprintf(stderr, "install failed: %d\n", e), 1;
    double added = gCost[COST_JOURNAL] + gCost[COST_SCAN];
    printf("install of %d files of 32 KiB replacing as many: %.3f s; journal %.2f%%, looking for unfinished "
           "installs %.2f%%; cost ratio against an install without them %.4f\n",
           files, total, 100 * gCost[COST_JOURNAL] / total, 100 * gCost[COST_SCAN] / total,
           total / (total - added));
    FsDeleteTree(FsLocal(), target.c_str());
    FsLocal()->Delete(package.c_str());
    return 0;
}

static uint64_t FileSize(const std::string& path) {
    FsFile* file = NULL;
    uint64_t size = 0;
    if (FsLocal()->Open(path.c_str(), FS_OPEN_READ, 0, &file) == 0) {
        FsLocal()->Size(file, &size);
        FsLocal()->Close(file);
    }
    return size;
}

static int Signature(const std::string& folder, uint64_t mib) {
    std::string package = folder + "/signed.pkg", target = folder + "/target";
    if (Build(package, mib)) return 1;
    uint64_t before = FileSize(package);
    uint8_t seed[PACKAGE_SEED_BYTES] = {1}, secret[PACKAGE_SECRET_BYTES];
    PackageKeys keys = {};
    keys.count = 1;
    if (sodium_init() < 0) return 1;
    crypto_sign_seed_keypair(keys.key[0], secret, seed);
    double start = Now();
    if (SignPackage(package.c_str(), secret, NULL)) return fprintf(stderr, "signing failed\n"), 1;
    double sign = Now() - start;
    double best = 1e30, bestCheck = 1e30;
    for (int run = 0; run < 3; run++) {
        start = Now();
        if (VerifyPackageSignature(package.c_str(), "QXE", &keys, NULL, NULL))
            return fprintf(stderr, "verification failed\n"), 1;
        double check = Now() - start;
        double extract = TimeExtraction(package, target);
        fprintf(stderr, "run %d: check %.3f s, extraction %.3f s\n", run + 1, check, extract);
        if (check < bestCheck) bestCheck = check;
        if (extract < best) best = extract;
    }
    printf("unpacked %llu MiB, package %llu bytes unsigned and %llu signed; signing %.3f s; check %.3f s, "
           "extraction %.3f s: the check adds %.1f %% to the extraction\n",
           (unsigned long long)mib, (unsigned long long)before, (unsigned long long)FileSize(package), sign,
           bestCheck, best, 100.0 * bestCheck / best);
    FsDeleteTree(FsLocal(), target.c_str());
    FsLocal()->Delete(package.c_str());
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "extract") == 0) {
        int e = ExtractUpdatePackage(argv[2], argv[3]);
        printf("%ld\n", PeakKib());
        return e == 0 ? 0 : 1;
    }
    if (argc == 4 && strcmp(argv[1], "throughput") == 0)
        return Throughput(argv[2], strtoull(argv[3], NULL, 10));
    if (argc == 4 && strcmp(argv[1], "memory") == 0) return Memory(argv[2], strtoull(argv[3], NULL, 10));
    if (argc == 4 && strcmp(argv[1], "journal") == 0) return Journal(argv[2], atoi(argv[3]));
    if (argc == 4 && strcmp(argv[1], "signature") == 0)
        return Signature(argv[2], strtoull(argv[3], NULL, 10));
    fprintf(stderr,
            "usage: qx_package_bench throughput|memory|signature FOLDER MIB, or journal FOLDER FILES\n");
    return 2;
}
