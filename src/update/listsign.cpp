// Signed server lists: the signature file, the statement it signs, and the rule by which the
// program takes or refuses a list. The format is described in listsign.h.
#include "update/listsign.h"
#include <sodium.h>
#include <stdlib.h>
#include <string.h>
#include "catalogue/catalogue.h"
#include "platform/errors.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/store.h"
#include "settings/strings.h"

static const char kListTag[] = "QXLIST01";
static const char* const kRoles[] = {"products.txt", "cls.txt", "edi.txt"};

const char* ListRole(const char* path) {
    const char* name = PathFileName(path);
    for (const char* role : kRoles)
        if (strcmp(name, role) == 0) return role;
    return NULL;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (after H. Hinnant).
static int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

uint64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    int64_t days = DaysFromCivil(year, month, day);
    int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return seconds > 0 ? (uint64_t)seconds : 0;
}

uint64_t UtcSecondsNow() {
    SysTime now;
    SysUtcTime(&now);
    return UtcSeconds(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

static void PutLittle64(uint64_t value, uint8_t* out) {
    for (int i = 0; i < 8; i++)
        out[i] = (uint8_t)(value >> (8 * i));
}

void ListStatement(const char* role, uint64_t issued, uint64_t expires, const uint8_t* data, size_t size,
                   uint8_t* out) {
    memset(out, 0, LIST_STATEMENT_SIZE);
    memcpy(out, kListTag, 8);
    memcpy(out + 8, role, strnlen(role, LIST_ROLE_SIZE - 1));
    PutLittle64(issued, out + 24);
    PutLittle64(expires, out + 32);
    crypto_hash_sha512(out + 40, data, size);
}

// A decimal number of at most 19 digits, followed by one blank; advances *p.
static int ReadNumber(const char** p, uint64_t* value) {
    const char* s = *p;
    size_t n = 0;
    *value = 0;
    while (s[n] >= '0' && s[n] <= '9' && n < 19)
        *value = *value * 10 + (uint64_t)(s[n++] - '0');
    if (n == 0 || s[n] != ' ') return 0;
    *p = s + n + 1;
    return 1;
}

int ParseListSignature(const char* text, size_t size, ListSignature* out) {
    memset(out, 0, sizeof *out);
    char line[LIST_SIGNATURE_TEXT_MAX];
    if (size >= sizeof line || memchr(text, 0, size)) return SIGNATURE_MISSING;
    CopyTextN(line, sizeof line, text, size);
    line[strcspn(line, "\r\n")] = 0;
    const char* p = line;
    if (strncmp(p, kListTag, 8) != 0 || p[8] != ' ') return SIGNATURE_MISSING;
    p += 9;
    size_t roleLength = strcspn(p, " ");
    if (roleLength == 0 || roleLength >= LIST_ROLE_SIZE || p[roleLength] != ' ') return SIGNATURE_MISSING;
    CopyTextN(out->role, sizeof out->role, p, roleLength);
    p += roleLength + 1;
    if (!ReadNumber(&p, &out->issued) || !ReadNumber(&p, &out->expires)) return SIGNATURE_MISSING;
    return ParseHex(p, out->signature, sizeof out->signature) ? SIGNATURE_MISSING : 0;
}

void FormatListSignature(const ListSignature* signature, char* out, size_t size) {
    char hex[2 * PACKAGE_SIGNATURE_BYTES + 1];
    FormatHex(signature->signature, sizeof signature->signature, hex, sizeof hex);
    FormatText(out, size, "%s %s %llu %llu %s\r\n", kListTag, signature->role,
               (unsigned long long)signature->issued, (unsigned long long)signature->expires, hex);
}

int VerifyServerList(const char* role, const uint8_t* data, size_t size, const char* signatureText,
                     size_t signatureSize, const PackageKeys* keys, uint64_t now, uint64_t lastIssued,
                     ListSignature* accepted) {
    ListSignature s;
    int e = signatureText ? ParseListSignature(signatureText, signatureSize, &s) : SIGNATURE_MISSING;
    if (e) return e;
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    // The statement is made with the role asked for, so a signature made for another list
    // never passes, whatever its file says.
    uint8_t statement[LIST_STATEMENT_SIZE];
    ListStatement(role, s.issued, s.expires, data, size, statement);
    int valid = 0;
    for (size_t i = 0; keys && i < keys->count && !valid; i++)
        valid = crypto_sign_verify_detached(s.signature, statement, sizeof statement, keys->key[i]) == 0;
    if (!valid) return strcmp(s.role, role) != 0 ? LIST_OTHER_ROLE : SIGNATURE_INVALID;
    if (s.expires <= now) return LIST_EXPIRED;
    if (s.issued < lastIssued) return LIST_OLDER;
    if (accepted) *accepted = s;
    return 0;
}

// The issue and expiry times of the list of a role taken last; zeros when none.
static void ReadTaken(Store* store, const char* role, uint64_t* issued, uint64_t* expires) {
    char value[64];
    ReadValue(store, LISTS_SECTION, role, "", value, sizeof value);
    char* end = value;
    *issued = strtoull(value, &end, 10);
    *expires = *end == ',' ? strtoull(end + 1, NULL, 10) : 0;
}

int CheckServerList(const char* relativePath, const char* data, size_t size, Store* store) {
    PackageKeys keys;
    if (ParsePackageKeys(gPackagePublicKey, &keys) == 0 && keys.count == 0) return 0;
    const char* role = ListRole(relativePath);
    if (!role || keys.count == 0) return TEXT_LIST_UNVERIFIED;
    char signaturePath[1024];
    CopyText(signaturePath, sizeof signaturePath, relativePath);
    char* dot = strrchr(signaturePath, '.');
    if (dot) *dot = 0;
    AppendText(signaturePath, sizeof signaturePath, ".sig");
    size_t signatureSize = 0;
    char* signature = DownloadText(signaturePath, &signatureSize);
    uint64_t issued, expires;
    ReadTaken(store, role, &issued, &expires);
    ListSignature taken;
    int e = VerifyServerList(role, (const uint8_t*)data, size, signature, signatureSize, &keys,
                             UtcSecondsNow(), issued, &taken);
    free(signature);
    if (e) return e == LIST_EXPIRED || e == LIST_OLDER ? TEXT_LIST_OUT_OF_DATE : TEXT_LIST_UNVERIFIED;
    char value[64];
    FormatText(value, sizeof value, "%llu,%llu", (unsigned long long)taken.issued,
               (unsigned long long)taken.expires);
    WriteText(store, LISTS_SECTION, role, value);
    return 0;
}

int CatalogueOutOfDate(Store* store) {
    PackageKeys keys;
    if (ParsePackageKeys(gPackagePublicKey, &keys) == 0 && keys.count == 0) return 0;
    uint64_t issued, expires;
    ReadTaken(store, kRoles[0], &issued, &expires);
    return expires <= UtcSecondsNow();
}
