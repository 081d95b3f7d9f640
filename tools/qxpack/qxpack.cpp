// qxpack, the vendor's update package tool: builds (and signs) a package from a folder or a
// list of files, lists a package's header and entries, makes signing keys, verifies a
// package's signature, extracts a package into a folder through the same check and
// extractor as the Updater, and undoes an install into a folder that was cut short.
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "update/packbuild.h"
#include "update/package.h"
#include "update/signature.h"

#ifdef _WIN32
static void KeepNewFilesPrivate() {} // files get the permissions of their folder
#else
#include <sys/stat.h>
static void KeepNewFilesPrivate() {
    umask(077);
}
#endif

static const char kUsage[] =
    "usage:\n"
    "  qxpack build PACKAGE [options] INPUT...\n"
    "      INPUT is a folder (its files, named by their path inside it), a file (named by\n"
    "      its file name), SOURCE=NAME, or @LIST (a text file with one INPUT per line)\n"
    "      --code XXX        short code, at most 3 characters\n"
    "      --text1 TEXT      first header text, at most 31 characters\n"
    "      --text2 TEXT      second header text, at most 31 characters\n"
    "      --date YYYY-MM-DD package date (default: today)\n"
    "      --preset N        LZMA preset 0-9 (default 6)\n"
    "      --dict BYTES      LZMA dictionary size (default: the preset's)\n"
    "      --end-marker      end the LZMA data with an end marker\n"
    "      --lead FILE       bytes of the leading part (padded with zeros to 89999)\n"
    "      --lead-size N     size of the leading part, at least 89999\n"
    "      --sign SECRETFILE sign the package with the key in SECRETFILE\n"
    "  qxpack list PACKAGE\n"
    "  qxpack extract [--key PUBLIC] [--code XXX] PACKAGE FOLDER\n"
    "      with --key, only a package signed with PUBLIC (and with --code, of that\n"
    "      product) is extracted, as the Updater built with that key does\n"
    "  qxpack keygen SECRETFILE\n"
    "      makes a new signing key pair: the secret key into SECRETFILE (which must not\n"
    "      exist), the public key printed (for QX_PACKAGE_PUBLIC_KEY and --key)\n"
    "  qxpack verify PACKAGE --key PUBLIC [--code XXX]\n"
    "      checks the package's signature (and product code) without extracting it\n"
    "  qxpack recover FOLDER\n"
    "      undoes an install into FOLDER that was cut short and removes the staging\n"
    "      folders left in it\n";

struct Input {
    std::string source, name;
};

struct FolderWalk {
    std::string folder, prefix;
    std::vector<Input>* inputs;
    std::vector<std::string> subfolders;
};

static int CollectFile(const FsEntry* entry, void* context) {
    FolderWalk* walk = (FolderWalk*)context;
    std::string name = walk->prefix + entry->name;
    if (entry->attributes & FILE_ATTR_DIRECTORY)
        walk->subfolders.push_back(name);
    else
        walk->inputs->push_back({walk->folder + "/" + name, name});
    return 0;
}

// Every file below folder, named by its path inside it with '\' separators.
static int AddFolder(const std::string& folder, const std::string& prefix, std::vector<Input>* inputs) {
    FolderWalk walk = {folder, prefix, inputs, {}};
    std::string path = prefix.empty() ? folder : folder + "/" + prefix;
    int e = FsLocal()->Enumerate(path.c_str(), CollectFile, &walk);
    std::sort(walk.subfolders.begin(), walk.subfolders.end());
    for (size_t i = 0; i < walk.subfolders.size() && !e; i++)
        e = AddFolder(folder, walk.subfolders[i] + "\\", inputs);
    return e;
}

static int AddInput(const std::string& input, std::vector<Input>* inputs);

static int AddList(const std::string& listPath, std::vector<Input>* inputs) {
    char* data;
    size_t size;
    int e = FsLocal()->ReadWhole(listPath.c_str(), &data, &size);
    if (e) return e;
    std::string line;
    for (size_t i = 0; i <= size && !e; i++) {
        char c = i < size ? data[i] : '\n';
        if (c == '\r') continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty()) e = AddInput(line, inputs);
        line.clear();
    }
    free(data);
    return e;
}

static int AddInput(const std::string& input, std::vector<Input>* inputs) {
    if (input[0] == '@') return AddList(input.substr(1), inputs);
    size_t equals = input.find('=');
    if (equals != std::string::npos) {
        inputs->push_back({input.substr(0, equals), input.substr(equals + 1)});
        return 0;
    }
    uint32_t attributes = 0;
    int e = FsLocal()->GetAttributes(input.c_str(), &attributes);
    if (e) return e;
    if (attributes & FILE_ATTR_DIRECTORY) {
        size_t before = inputs->size();
        e = AddFolder(input, "", inputs);
        std::sort(inputs->begin() + (long)before, inputs->end(),
                  [](const Input& a, const Input& b) { return a.name < b.name; });
        return e;
    }
    size_t cut = input.find_last_of("/\\");
    inputs->push_back({input, cut == std::string::npos ? input : input.substr(cut + 1)});
    return 0;
}

static int Fail(const char* what, int result) {
    fprintf(stderr, "qxpack: %s failed: result %d\n", what, result);
    return 1;
}

static int Build(int argc, char** argv) {
    if (argc < 1) return fprintf(stderr, "%s", kUsage), 2;
    const char* out = argv[0];
    PackBuildInfo info = {};
    SysTime today;
    SysLocalTime(&today);
    info.date = EncodePackageDate(today.year, today.month, today.day);
    std::vector<Input> inputs;
    const char* secretPath = NULL;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        int hasValue = i + 1 < argc;
        if (a == "--end-marker") {
            info.endMarker = 1;
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
            if (!hasValue) return fprintf(stderr, "qxpack: %s needs a value\n", a.c_str()), 2;
            const char* v = argv[++i];
            int year, month, day;
            if (a == "--code")
                info.code = v;
            else if (a == "--text1")
                info.text1 = v;
            else if (a == "--text2")
                info.text2 = v;
            else if (a == "--preset")
                info.preset = (uint32_t)atoi(v);
            else if (a == "--dict")
                info.dictionarySize = (uint32_t)strtoul(v, NULL, 0);
            else if (a == "--lead")
                info.leadPath = v;
            else if (a == "--lead-size")
                info.leadSize = strtoull(v, NULL, 0);
            else if (a == "--sign")
                secretPath = v;
            else if (a == "--date" && sscanf(v, "%d-%d-%d", &year, &month, &day) == 3)
                info.date = EncodePackageDate(year, month, day);
            else
                return fprintf(stderr, "qxpack: bad option %s %s\n", a.c_str(), v), 2;
        } else {
            int e = AddInput(a, &inputs);
            if (e) return Fail(("reading " + a).c_str(), e);
        }
    }
    // The Updater accepts a signed package only for the product code it asked for.
    if (secretPath && (!info.code || !info.code[0]))
        return fprintf(stderr, "qxpack: --sign needs --code (the product's code from products.txt)\n"), 2;
    std::vector<PackBuildEntry> entries(inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) {
        entries[i] = PackBuildEntry();
        entries[i].name = inputs[i].name.c_str();
        entries[i].sourcePath = inputs[i].source.c_str();
    }
    // The key is read first, so that a wrong path costs no compression.
    uint8_t secret[PACKAGE_SECRET_BYTES], publicKey[PACKAGE_KEY_BYTES] = {};
    int e = secretPath ? ReadSecretKey(secretPath, secret, publicKey) : 0;
    if (e) return Fail("reading the secret key", e);
    e = BuildPackage(out, &info, entries.data(), entries.size());
    if (e) return Fail("build", e);
    if (secretPath) {
        e = SignPackage(out, secret, NULL);
        memset(secret, 0, sizeof secret);
        if (e) {
            FsLocal()->Delete(out);
            return Fail("signing", e);
        }
    }
    char key[PACKAGE_KEY_TEXT];
    FormatHex(publicKey, sizeof publicKey, key, sizeof key);
    printf("%s: %u entries%s%s\n", out, (unsigned)entries.size(), secretPath ? ", signed with " : "",
           secretPath ? key : "");
    return 0;
}

static int PrintEntry(char* path, const uint8_t* data, size_t size, void* user) {
    (void)user;
    if (!data) printf("%10lu  %s\n", (unsigned long)size, path);
    return 0;
}

static int List(int argc, char** argv) {
    if (argc != 1) return fprintf(stderr, "%s", kUsage), 2;
    PackageHeader header;
    PackageOptions options = {};
    options.header = &header;
    printf("      size  name\n");
    int result = ExtractPackageWith(argv[0], PrintEntry, NULL, &options);
    if (!header.complete) {
        printf("no complete package header (%lu bytes decoded)\n", (unsigned long)header.decoded);
        return result ? Fail("list", result) : 0;
    }
    int year, month, day;
    DecodePackageDate(header.date, &year, &month, &day);
    printf("code \"%s\", texts \"%s\", \"%s\"\n", header.code, header.text1, header.text2);
    printf("date %04d-%02d-%02d (%u), %u entries, %lu of %lu bytes decoded\n", year, month, day,
           (unsigned)header.date, (unsigned)header.entries, (unsigned long)header.decoded,
           (unsigned long)header.unpackedSize);
    printf("checksum %08X, expected %08X\n", (unsigned)header.checksum, (unsigned)header.expectedChecksum);
    return result ? Fail("list", result) : 0;
}

// The options --key PUBLIC and --code XXX, anywhere; the other arguments stay in args.
static int SignatureOptions(int argc, char** argv, PackageKeys* keys, const char** code,
                            std::vector<const char*>* args) {
    keys->count = 0;
    *code = NULL;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a != "--key" && a != "--code") {
            args->push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc) return fprintf(stderr, "qxpack: %s needs a value\n", a.c_str()), 2;
        const char* v = argv[++i];
        if (a == "--code")
            *code = v;
        else if (ParsePackageKeys(v, keys) || keys->count == 0)
            return fprintf(stderr, "qxpack: %s is not a public key as qxpack keygen prints it\n", v), 2;
    }
    return 0;
}

static const char* RefusalText(int result) {
    switch (result) {
    case SIGNATURE_MISSING: return "the package is not signed";
    case SIGNATURE_INVALID: return "the signature does not match the package or the key";
    case SIGNATURE_OTHER_PRODUCT: return "the package is signed for another product code";
    case ERR_INVALID_DATA: return "the signed package header cannot be read";
    default: return NULL;
    }
}

static int Refused(const char* what, int result) {
    const char* text = RefusalText(result);
    if (!text) return Fail(what, result);
    fprintf(stderr, "qxpack: %s refused: %s (result %d)\n", what, text, result);
    return 1;
}

static int Extract(int argc, char** argv) {
    PackageKeys keys;
    const char* code;
    std::vector<const char*> args;
    int e = SignatureOptions(argc, argv, &keys, &code, &args);
    if (e) return e;
    if (args.size() != 2 || (code && keys.count == 0)) return fprintf(stderr, "%s", kUsage), 2;
    int result = ExtractCheckedUpdatePackage(args[0], args[1], code, &keys, NULL);
    return result ? Refused("extract", result) : 0;
}

static int Verify(int argc, char** argv) {
    PackageKeys keys;
    const char* code;
    std::vector<const char*> args;
    int e = SignatureOptions(argc, argv, &keys, &code, &args);
    if (e) return e;
    if (args.size() != 1 || keys.count == 0) return fprintf(stderr, "%s", kUsage), 2;
    int result = VerifyPackageSignature(args[0], code, &keys, NULL, NULL);
    if (result) return Refused("verify", result);
    printf("%s: signed%s%s\n", args[0], code ? " for product " : "", code ? code : "");
    return 0;
}

static int Keygen(int argc, char** argv) {
    if (argc != 1) return fprintf(stderr, "%s", kUsage), 2;
    KeepNewFilesPrivate();
    uint8_t publicKey[PACKAGE_KEY_BYTES];
    int e = WriteNewSecretKey(argv[0], publicKey);
    if (e == ERR_FILE_EXISTS)
        return fprintf(stderr, "qxpack: %s exists; it is never overwritten\n", argv[0]), 1;
    if (e) return Fail("keygen", e);
    char key[PACKAGE_KEY_TEXT];
    FormatHex(publicKey, sizeof publicKey, key, sizeof key);
    printf("%s\n", key);
    return 0;
}

static int Recover(int argc, char** argv) {
    if (argc != 1) return fprintf(stderr, "%s", kUsage), 2;
    int result = RecoverUpdateFolder(argv[0], FsLocal());
    return result ? Fail("recover", result) : 0;
}

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "build") == 0) return Build(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "list") == 0) return List(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "extract") == 0) return Extract(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "recover") == 0) return Recover(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "verify") == 0) return Verify(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "keygen") == 0) return Keygen(argc - 2, argv + 2);
    fprintf(stderr, "%s", kUsage);
    return 2;
}
