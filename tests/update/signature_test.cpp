// Signed update packages: what a program built with a key extracts and what it refuses
// before anything is written, the keys it reads, and signing in place.
#include <gtest/gtest.h>
#include <ctype.h>
#include <sodium.h>
#include <utility>
#include "platform/fs.h"
#include "platform/text.h"
#include "update/packbuild.h"
#include "update/package.h"
#include "update/listsign.h"
#include "update/package_testing.h"
#include "update/signature.h"

namespace {

const std::string kKeys = QX_TEST_KEYS;

struct SignatureTest : ::testing::Test {
    TempFolder temp;
    std::string package = temp / "p.pkg", target = temp / "product";
    uint8_t secret[PACKAGE_SECRET_BYTES], publicKey[PACKAGE_KEY_BYTES];
    uint8_t otherSecret[PACKAGE_SECRET_BYTES], otherPublic[PACKAGE_KEY_BYTES];
    PackageKeys keys = {};
    void SetUp() override {
        ASSERT_EQ(ReadSecretKey((kKeys + "/test-only-signing.secret").c_str(), secret, publicKey), 0);
        ASSERT_EQ(ParsePackageKeys(ReadFileText(kKeys + "/test-only-signing.public").c_str(), &keys), 0);
        uint8_t seed[PACKAGE_SEED_BYTES] = {1};
        crypto_sign_seed_keypair(otherPublic, otherSecret, seed);
        FsLocal()->CreateFolder(target.c_str());
        WriteFileText(target + "/a.txt", "old a");
    }
    // A package of product 'code', signed with secretKey unless it is NULL.
    std::string Make(const std::string& code, const uint8_t* secretKey, const std::string& data = "new a") {
        EXPECT_EQ(WriteStreamPackage(package, Stream({{"a.txt", data}, {"b.txt", "b"}}, 0, code)), 0);
        if (secretKey) {
            EXPECT_EQ(SignPackage(package.c_str(), secretKey, NULL), 0);
        }
        return ReadFileText(package);
    }
};

TEST_F(SignatureTest, ExtractsOnlyWhatTheVendorSignedAndRefusesTheRestBeforeWritingAnything) {
    std::string good = Make("qj", secret), other = Make("qj", secret, "other a"), plain = Make("qj", NULL);
    WriteStreamPackage(package, std::string(3, '\0')); // too short for a package header
    SignPackage(package.c_str(), secret, NULL);
    std::string headerless = ReadFileText(package);
    WriteFileText(package, plain + std::string(PACKAGE_PIECE + 1 - (plain.size() - PACKAGE_LEAD_SIZE), 0));
    SignPackage(package.c_str(), secret, NULL); // a signed part of a read piece and a byte
    std::string big = ReadFileText(package);
    size_t marker = PACKAGE_LEAD_SIZE, block = SIGNATURE_BLOCK_AT;
    auto changed = [&](size_t at) {
        std::string s = good;
        s[at] = (char)(s[at] ^ 1);
        return s;
    };
    std::string own = ReadFileText(kKeys + "/test-only-signing.public"), capitals = own;
    for (char& c : capitals)
        c = (char)toupper(c);
    PackageKeys none = {}, two = {};
    ASSERT_EQ(ParsePackageKeys((capitals + ", " + std::string(2 * PACKAGE_KEY_BYTES, '0')).c_str(), &two), 0);
    std::swap(two.key[0], two.key[1]); // a second accepted key, as while keys change over
    struct Case {
        const char* what;
        std::string bytes;
        const PackageKeys* keys; // NULL: the program's own, 'program' (left empty by the rows after)
        int result;
        std::string program;
    } cases[] = {
        {"the program's own key", good, NULL, 0, own},
        {"unsigned, the program's own key", plain, NULL, SIGNATURE_MISSING, own},
        {"unsigned, the program without a key", plain, NULL, 0, ""},
        {"an unreadable own key, never taken as none", good, NULL, ERR_INVALID_DATA, "not a key"},
        {"signed", good, &keys, 0},
        {"a changed leading part, which is not signed", changed(10), &keys, 0},
        {"one of two keys, in capitals", good, &two, 0},
        {"a signed part of 64 KiB and a byte", big, &keys, 0},
        {"no key configured", good, &none, 0},
        {"unsigned with no key configured", plain, &none, 0},
        {"unsigned", plain, &keys, SIGNATURE_MISSING},
        {"signed with another key", Make("qj", otherSecret), &keys, SIGNATURE_INVALID},
        {"the marker changed", changed(marker), &keys, SIGNATURE_INVALID},
        {"the last byte changed", changed(good.size() - 1), &keys, SIGNATURE_INVALID},
        {"a byte appended", good + "x", &keys, SIGNATURE_INVALID},
        {"the signed size changed", changed(block + 8), &keys, SIGNATURE_INVALID},
        {"the signature changed", changed(block + 79), &keys, SIGNATURE_INVALID},
        {"the block of another package",
         good.substr(0, block) + other.substr(block, SIGNATURE_BLOCK_SIZE) +
             good.substr(block + SIGNATURE_BLOCK_SIZE),
         &keys, SIGNATURE_INVALID},
        {"cut inside the block", good.substr(0, block + 40), &keys, SIGNATURE_MISSING},
        {"the tag changed", changed(block), &keys, SIGNATURE_MISSING},
        {"signed for another product", Make("qx", secret), &keys, SIGNATURE_OTHER_PRODUCT},
        {"signed for a longer code", Make("qjx", secret), &keys, SIGNATURE_OTHER_PRODUCT},
        {"signed without a package header", headerless, &keys, ERR_INVALID_DATA},
    };
    auto before = Snapshot(target);
    std::map<std::string, std::string> after = {{"a.txt", "new a"}, {"b.txt", "b"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FsLocal()->Delete((target + "/b.txt").c_str());
        WriteFileText(target + "/a.txt", "old a");
        WriteFileText(package, c.bytes);
        CopyText(gPackagePublicKey, sizeof gPackagePublicKey, c.program.c_str());
        EXPECT_EQ(ExtractCheckedUpdatePackage(package.c_str(), target.c_str(), "qj", c.keys, NULL), c.result);
        EXPECT_EQ(Snapshot(target), c.result ? before : after);
    }
    // Readers that do not know the block extract a signed package as before.
    WriteFileText(package, good);
    EXPECT_EQ(ExtractUpdatePackage(package.c_str(), target.c_str()), 0);
    EXPECT_EQ(Snapshot(target), after);
}

// A server list is taken only when an accepted key signed its role, its times and its bytes,
// while it has not expired and is not older than the one taken last.
TEST_F(SignatureTest, ServerListsAreTakenSignedForTheirRoleCurrentAndNotOlder) {
    const std::string list = "qj5.20 QX Navigator\r\n";
    const uint64_t at = UtcSeconds(2026, 1, 1, 0, 0, 0), day = 86400;
    auto sign = [&](const char* role, const uint8_t* key) {
        ListSignature s = {};
        CopyText(s.role, sizeof s.role, role);
        s.issued = at, s.expires = at + day;
        uint8_t statement[LIST_STATEMENT_SIZE];
        ListStatement(role, at, at + day, (const uint8_t*)list.data(), list.size(), statement);
        crypto_sign_detached(s.signature, NULL, statement, sizeof statement, key);
        char text[LIST_SIGNATURE_TEXT_MAX];
        FormatListSignature(&s, text, sizeof text);
        return std::string(text);
    };
    std::string good = sign("products.txt", secret), changed = good;
    changed[31] = '1'; // the issue time
    // As another Ed25519 signer made it from the statement's layout in listsign.h.
    EXPECT_EQ(
        good,
        "QXLIST01 products.txt 1767225600 1767312000 496a44216f972e9d9c363bc0fc3736065854544ee30d28113d456b"
        "948b36029d8a565cbe913400184eca76a64ddc6aca32f724cd57e2293f06ae7bf21f532a0c\r\n");
    const struct {
        const char* what;
        std::string list, signature;
        uint64_t now, last;
        int result;
    } cases[] = {
        {"taken", list, good, at, 0, 0},
        {"the same one again, just before it expires", list, good, at + day - 1, at, 0},
        {"no signature file", list, "", at, 0, SIGNATURE_MISSING},
        {"a signature cut short", list, good.substr(0, 120), at, 0, SIGNATURE_MISSING},
        {"another key", list, sign("products.txt", otherSecret), at, 0, SIGNATURE_INVALID},
        {"a byte of the list changed", "qj5.21 QX Navigator\r\n", good, at, 0, SIGNATURE_INVALID},
        {"its issue time changed", list, changed, at, 0, SIGNATURE_INVALID},
        {"signed as the class list", list, sign("cls.txt", secret), at, 0, LIST_OTHER_ROLE},
        {"expired", list, good, at + day, 0, LIST_EXPIRED},
        {"older than the one taken", list, good, at, at + 1, LIST_OLDER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(VerifyServerList("products.txt", (const uint8_t*)c.list.data(), c.list.size(),
                                   c.signature.empty() ? NULL : c.signature.data(), c.signature.size(), &keys,
                                   c.now, c.last, NULL),
                  c.result);
    }
}

TEST(PackageKeys, ReadsKeysAsKeygenPrintsThem) {
    std::string k(64, 'a'), K(64, 'F');
    const std::pair<std::string, size_t> read[] = {
        {" \n", 0}, {k + "\n", 1}, {k + "," + K, 2}, {k + " ; " + K + " " + k + "," + k, 4}};
    // Refused whole: a digit too many or too few, a character that is no digit, five keys.
    const std::string refused[] = {k + "a", k.substr(1), k + "x", "g" + k.substr(1),
                                   k + " " + k + " " + k + " " + k + " " + k};
    for (const auto& r : read) {
        SCOPED_TRACE(r.first);
        PackageKeys keys;
        EXPECT_EQ(ParsePackageKeys(r.first.c_str(), &keys), 0);
        EXPECT_EQ(keys.count, r.second);
    }
    for (const std::string& text : refused) {
        SCOPED_TRACE(text);
        PackageKeys keys;
        EXPECT_EQ(ParsePackageKeys(text.c_str(), &keys), ERR_INVALID_DATA);
        EXPECT_EQ(keys.count, 0u);
    }
}

TEST_F(SignatureTest, SigningKeepsTheVendorsLeadingPart) {
    std::string lead = temp / "lead.bin";
    PackBuildInfo info = {};
    info.leadPath = lead.c_str();
    PackBuildEntry entry = {"a.txt", NULL, (const uint8_t*)"x", NULL, NULL, 1};
    for (size_t into : {0, 1}) { // a vendor's leading part reaching into the block is not overwritten
        SCOPED_TRACE(into);
        int result = into ? ERR_INVALID_DATA : 0;
        WriteFileText(lead, std::string(SIGNATURE_BLOCK_AT + into, 'L'));
        ASSERT_EQ(BuildPackage(package.c_str(), &info, &entry, 1), 0);
        EXPECT_EQ(SignPackage(package.c_str(), secret, NULL), result);
        EXPECT_EQ(VerifyPackageSignature(package.c_str(), NULL, &keys, NULL, NULL),
                  result ? SIGNATURE_MISSING : 0);
        EXPECT_EQ(SignPackage(package.c_str(), secret, NULL), result); // signing again replaces the block
    }
}

} // namespace
