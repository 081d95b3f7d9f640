// Signed server lists: the catalogue "products.txt", the class list "dw/cls.txt" and the
// edition list "dw/edi.txt" each come with a signature file beside them (the same name with
// the extension ".sig"), made with the same keys as the update packages. The program takes a
// list only when one of its keys signed it for that list's role, it has not expired and it
// is not older than the last one taken; the issue and expiry times taken last are kept in
// the settings file. Without a key built in, no signature file is asked for.
//
// The signature file is one line of text:
//   QXLIST01 ROLE ISSUED EXPIRES SIGNATURE
// ROLE is the list's file name ("products.txt", "cls.txt", "edi.txt"), ISSUED and EXPIRES
// are seconds since 1970-01-01 00:00 UTC in decimal, SIGNATURE is 128 hex digits: the Ed25519
// signature of the statement (104 bytes):
//   0   8   tag "QXLIST01"
//   8   16  the role the program asks for, zero-padded
//   24  8   issue time, 64-bit little-endian
//   32  8   expiry time, 64-bit little-endian
//   40  64  SHA-512 of the list's bytes as served
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "update/signature.h"

struct Store;

const size_t LIST_ROLE_SIZE = 16;
const size_t LIST_STATEMENT_SIZE = 40 + SIGNATURE_HASH_BYTES;
const size_t LIST_SIGNATURE_TEXT_MAX = 512; // a longer signature file is none
// Where the issue and expiry times of the lists taken last are kept: key = role, value
// "ISSUED,EXPIRES".
#define LISTS_SECTION "Lists"

// Why a list is refused, besides SIGNATURE_MISSING (no or no readable signature file) and
// SIGNATURE_INVALID (no accepted key signed these bytes for this role and these times).
const int LIST_OTHER_ROLE = (int)0x800B010Eu; // CERT_E_WRONG_USAGE: signed as another list
const int LIST_EXPIRED = (int)0x800B0101u;    // CERT_E_EXPIRED: past its expiry time
const int LIST_OLDER = 1306;                  // ERROR_REVISION_MISMATCH: older than the one taken last

struct ListSignature {
    char role[LIST_ROLE_SIZE];
    uint64_t issued, expires;
    uint8_t signature[PACKAGE_SIGNATURE_BYTES];
};

// The role of a list by its path or file name: its file name when it is one of the three
// lists, else NULL.
const char* ListRole(const char* path);
// Seconds since 1970-01-01 00:00 UTC of a UTC calendar time (proleptic Gregorian).
uint64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second);
uint64_t UtcSecondsNow();

// Reads a signature file's text. Returns 0 or SIGNATURE_MISSING.
int ParseListSignature(const char* text, size_t size, ListSignature* out);
// The signature file's line, with CR LF (at least 200 bytes of out).
void FormatListSignature(const ListSignature* signature, char* out, size_t size);
// The statement (LIST_STATEMENT_SIZE bytes) for a role, the times and the list's bytes.
void ListStatement(const char* role, uint64_t issued, uint64_t expires, const uint8_t* data, size_t size,
                   uint8_t* out);

// Judges a list: its bytes, its signature file's text, the keys, the time now and the issue
// time of the list taken last (0: none). Returns 0 and the signature in *accepted;
// SIGNATURE_MISSING, SIGNATURE_INVALID, LIST_OTHER_ROLE, LIST_EXPIRED or LIST_OLDER.
int VerifyServerList(const char* role, const uint8_t* data, size_t size, const char* signatureText,
                     size_t signatureSize, const PackageKeys* keys, uint64_t now, uint64_t lastIssued,
                     ListSignature* accepted);

// The program's check of a downloaded list (the catalogue's gCheckList): with the program's
// own keys, downloads the signature file beside relativePath and judges the list against
// the times kept in the settings, keeping the new ones when it is taken. Returns 0 to take
// the list, else the text id that tells the user why it was refused.
int CheckServerList(const char* relativePath, const char* data, size_t size, Store* store);
// Whether a program with keys holds no catalogue that is still current: never one taken, or
// the one taken last has expired. Rows then never count as up to date.
int CatalogueOutOfDate(Store* store);
