// qxpack, the vendor's update package tool: builds (and signs) a package from a folder or a
// list of files, lists a package's header and entries, makes signing keys, verifies a
// package's signature, extracts a package into a folder through the same check and
// extractor as the Updater, and undoes an install into a folder that was cut short.
#include <sodium.h>
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
#include "update/listsign.h"
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
    "      --version TEXT    the version the catalogue gives the product (with --sign)\n"
    "      --edition L       the edition letter the package is for (with --sign)\n"
    "      --sign SECRETFILE sign the package with the key in SECRETFILE, bound to its\n"
    "                        --code, --version and --edition (all three required)\n"
    "  qxpack list PACKAGE\n"
    "  qxpack extract [--key PUBLIC] [--code XXX] PACKAGE FOLDER\n"
    "      with --key, only a package signed with PUBLIC (and with --code, of that\n"
    "      product) is extracted, as the Updater built with that key does\n"
    "  qxpack keygen SECRETFILE\n"
    "      makes a new signing key pair: the secret key into SECRETFILE (which must not\n"
    "      exist), the public key printed (for QX_PACKAGE_PUBLIC_KEY and --key)\n"
    "  qxpack verify PACKAGE --key PUBLIC [--code XXX] [--version TEXT] [--edition L]\n"
    "      checks the package's signature (and what it is bound to) without extracting it\n"
    "  qxpack sign-list FILE --sign SECRETFILE [--issued YYYY-MM-DDTHH:MM:SSZ] [--expires DAYS]\n"
    "      writes FILE's signature file beside it (FILE: products.txt, cls.txt or edi.txt;\n"
    "      issued now and expiring after 30 days unless told)\n"
    "  qxpack verify-list FILE --key PUBLIC\n"
    "      checks FILE against its signature file and prints its issue and expiry times\n"
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
    PackageBinding binding = {NULL, NULL, NULL};
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
            else if (a == "--version")
                binding.version = v;
            else if (a == "--edition")
                binding.edition = v;
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
    // The Updater accepts a signed package only for the product code, the catalogue's version
    // and the edition it asked for.
    binding.code = info.code;
    if (secretPath && (!info.code || !info.code[0] || !binding.version || !binding.edition))
        return fprintf(stderr, "qxpack: --sign needs --code, --version and --edition (as products.txt and "
                               "dw/edi.txt name them)\n"),
               2;
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
        e = SignBoundPackage(out, secret, &binding, NULL);
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

// The options --key PUBLIC, --code XXX, --version TEXT and --edition L, anywhere; the other
// arguments stay in args, and there must be count of them (and a key when needKey is set).
static int SignatureOptions(int argc, char** argv, size_t count, int needKey, PackageKeys* keys,
                            PackageBinding* binding, std::vector<const char*>* args) {
    keys->count = 0;
    *binding = PackageBinding();
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a != "--key" && a != "--code" && a != "--version" && a != "--edition") {
            args->push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc) return fprintf(stderr, "qxpack: %s needs a value\n", a.c_str()), 2;
        const char* v = argv[++i];
        if (a == "--code")
            binding->code = v;
        else if (a == "--version")
            binding->version = v;
        else if (a == "--edition")
            binding->edition = v;
        else if (ParsePackageKeys(v, keys) || keys->count == 0)
            return fprintf(stderr, "qxpack: %s is not a public key as qxpack keygen prints it\n", v), 2;
    }
    if (args->size() != count || (needKey && keys->count == 0)) return fprintf(stderr, "%s", kUsage), 2;
    return 0;
}

static const char* RefusalText(int result) {
    switch (result) {
    case SIGNATURE_MISSING: return "the package is not signed";
    case SIGNATURE_INVALID: return "the signature does not match the package or the key";
    case SIGNATURE_OTHER_PRODUCT: return "the package is signed for another product code";
    case SIGNATURE_OTHER_RELEASE: return "the package is signed for another version or edition";
    case SIGNATURE_UNBOUND: return "the package is signed without a code, version and edition";
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
    PackageBinding binding;
    std::vector<const char*> args;
    int e = SignatureOptions(argc, argv, 2, 0, &keys, &binding, &args);
    if (e) return e;
    if (binding.code && keys.count == 0) return fprintf(stderr, "%s", kUsage), 2;
    int result = ExtractCheckedUpdatePackage(args[0], args[1], binding.code, &keys, NULL);
    return result ? Refused("extract", result) : 0;
}

static int Verify(int argc, char** argv) {
    PackageKeys keys;
    PackageBinding binding;
    std::vector<const char*> args;
    int e = SignatureOptions(argc, argv, 1, 1, &keys, &binding, &args);
    if (e) return e;
    int result = VerifyBoundPackage(args[0], &binding, &keys, NULL, NULL);
    if (result) return Refused("verify", result);
    printf("%s: signed%s%s\n", args[0], binding.code ? " for product " : "",
           binding.code ? binding.code : "");
    return 0;
}

static void PrintTime(const char* what, uint64_t seconds) {
    int64_t days = (int64_t)(seconds / 86400);
    // Back from days to the civil date (after H. Hinnant).
    int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365,
            doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153, d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
    uint64_t s = seconds % 86400;
    printf("%s %04lld-%02lld-%02lldT%02u:%02u:%02uZ\n", what, (long long)(yoe + era * 400 + (m <= 2)),
           (long long)m, (long long)d, (unsigned)(s / 3600), (unsigned)(s / 60 % 60), (unsigned)(s % 60));
}

static std::string SignaturePath(const char* listPath) {
    std::string path = listPath;
    size_t dot = path.find_last_of('.'), cut = path.find_last_of("/\\");
    return (dot == std::string::npos || (cut != std::string::npos && dot < cut) ? path
                                                                                : path.substr(0, dot)) +
           ".sig";
}

// The role of a server list by its file name; NULL, having said so, for any other file.
static const char* ListRoleOf(const char* path) {
    const char* role = ListRole(path);
    if (!role) fprintf(stderr, "qxpack: %s is none of products.txt, cls.txt and edi.txt\n", path);
    return role;
}

static int SignList(int argc, char** argv) {
    if (argc < 1) return fprintf(stderr, "%s", kUsage), 2;
    const char* path = argv[0];
    const char* secretPath = NULL;
    uint64_t issued = UtcSecondsNow(), days = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        int y, mo, d, h, mi, se;
        char z = 0;
        if (a == "--sign")
            secretPath = argv[i + 1];
        else if (a == "--expires" && atoi(argv[i + 1]) > 0)
            days = (uint64_t)atoi(argv[i + 1]);
        else if (a == "--issued" &&
                 sscanf(argv[i + 1], "%d-%d-%dT%d:%d:%d%c", &y, &mo, &d, &h, &mi, &se, &z) == 7 && z == 'Z')
            issued = UtcSeconds(y, mo, d, h, mi, se);
        else
            return fprintf(stderr, "qxpack: bad option %s %s\n", a.c_str(), argv[i + 1]), 2;
    }
    if (!secretPath || argc % 2 == 0) return fprintf(stderr, "%s", kUsage), 2;
    const char* role = ListRoleOf(path);
    if (!role) return 2;
    uint8_t secret[PACKAGE_SECRET_BYTES], publicKey[PACKAGE_KEY_BYTES];
    int e = ReadSecretKey(secretPath, secret, publicKey);
    if (e) return Fail("reading the secret key", e);
    char* data = NULL;
    size_t size = 0;
    e = FsLocal()->ReadWhole(path, &data, &size);
    if (e) return Fail(("reading " + std::string(path)).c_str(), e);
    ListSignature signature = {};
    CopyText(signature.role, sizeof signature.role, role);
    signature.issued = issued;
    signature.expires = issued + days * 86400;
    uint8_t statement[LIST_STATEMENT_SIZE];
    ListStatement(role, signature.issued, signature.expires, (const uint8_t*)data, size, statement);
    free(data);
    crypto_sign_detached(signature.signature, NULL, statement, sizeof statement, secret);
    memset(secret, 0, sizeof secret);
    char line[LIST_SIGNATURE_TEXT_MAX];
    FormatListSignature(&signature, line, sizeof line);
    std::string out = SignaturePath(path);
    e = FsLocal()->WriteWhole(out.c_str(), line, strlen(line));
    if (e) return Fail(("writing " + out).c_str(), e);
    printf("%s: signed as %s\n", out.c_str(), role);
    PrintTime("issued ", signature.issued);
    PrintTime("expires", signature.expires);
    return 0;
}

static int VerifyList(int argc, char** argv) {
    PackageKeys keys;
    PackageBinding binding;
    std::vector<const char*> args;
    int e = SignatureOptions(argc, argv, 1, 1, &keys, &binding, &args);
    if (e) return e;
    const char* role = ListRoleOf(args[0]);
    if (!role) return 2;
    char *data = NULL, *signature = NULL;
    size_t size = 0, signatureSize = 0;
    std::string sigPath = SignaturePath(args[0]);
    e = FsLocal()->ReadWhole(args[0], &data, &size);
    if (e) return Fail(("reading " + std::string(args[0])).c_str(), e);
    if (FsLocal()->ReadWhole(sigPath.c_str(), &signature, &signatureSize)) signature = NULL;
    ListSignature taken;
    int result = VerifyServerList(role, (const uint8_t*)data, size, signature, signatureSize, &keys,
                                  UtcSecondsNow(), 0, &taken);
    free(data);
    free(signature);
    static const struct {
        int result;
        const char* text;
    } kReasons[] = {{SIGNATURE_MISSING, "no readable signature file"},
                    {SIGNATURE_INVALID, "the signature does not match the list or the key"},
                    {LIST_OTHER_ROLE, "the signature is for another list"},
                    {LIST_EXPIRED, "the signature has expired"}};
    for (const auto& r : kReasons)
        if (r.result == result)
            return fprintf(stderr, "qxpack: verify-list refused: %s (result %d)\n", r.text, result), 1;
    if (result) return Fail("verify-list", result);
    printf("%s: signed as %s\n", args[0], role);
    PrintTime("issued ", taken.issued);
    PrintTime("expires", taken.expires);
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
    if (argc >= 2 && strcmp(argv[1], "sign-list") == 0) return SignList(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "verify-list") == 0) return VerifyList(argc - 2, argv + 2);
    fprintf(stderr, "%s", kUsage);
    return 2;
}
