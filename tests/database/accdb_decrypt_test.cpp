// SPDX-License-Identifier: GPL-3.0-or-later
// Encrypted images made by our writer from plain images, decrypted by the data layer's
// decryptor. The images here are synthetic page buffers (a real header page and patterned
// pages); accdb_open_test.cpp does the same with real databases read through libmdb.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "common/error.h"
#include "database/accdb/decrypt.h"
#include "jet_writer/accdb_encrypt.h"
#include "test_paths.h"

namespace pictrova::database {
namespace {

using jet::AccdbEncryptionSettings;
using Image = std::vector<std::uint8_t>;

constexpr std::size_t kPage = 4096;

// Page 0 as an ACE 2010 file has it (type 0, engine name, version 3, masked header with a
// zero database key); later pages carry a type byte and a pattern that differs per page.
// Page 3 is left empty the way never-used pages are stored.
Image PlainAceImage(std::size_t pages) {
    Image image(pages * kPage, 0);
    const char engine[] = "Standard ACE DB";
    image[1] = 1;
    std::memcpy(image.data() + 4, engine, sizeof engine);
    image[kVersionOffset] = 3;
    ApplyHeaderMask(std::span(image).first(kPage));
    for (std::size_t p = 1; p < pages; ++p) {
        if (p == 3)
            continue;
        image[p * kPage] = static_cast<std::uint8_t>(1 + p % 5);
        image[p * kPage + 1] = 1;
        for (std::size_t k = 2; k < kPage; ++k)
            image[p * kPage + k] = static_cast<std::uint8_t>(k * 7 + p * 13);
    }
    return image;
}

struct KindCase {
    const char* name;
    AccdbEncryptionSettings settings;
};

AccdbEncryptionSettings Settings(AccdbEncryption kind, std::uint32_t bits,
                                 HashAlgorithm hash = HashAlgorithm::Sha512,
                                 std::uint32_t spin = 1000) {
    AccdbEncryptionSettings s;
    s.kind = kind;
    s.keyBits = bits;
    s.agileHash = hash;
    s.spinCount = spin;
    return s;
}

const KindCase kKinds[] = {
    {"Rc4CryptoApi40", Settings(AccdbEncryption::Rc4CryptoApi, 40)},
    {"Rc4CryptoApi128", Settings(AccdbEncryption::Rc4CryptoApi, 128)},
    {"CryptoApiAes128", Settings(AccdbEncryption::CryptoApiAes, 128)},
    {"CryptoApiAes256", Settings(AccdbEncryption::CryptoApiAes, 256)},
    {"StandardAes128", Settings(AccdbEncryption::StandardAes, 128)},
    {"StandardAes192", Settings(AccdbEncryption::StandardAes, 192)},
    {"AgileSha1Aes128", Settings(AccdbEncryption::Agile, 128, HashAlgorithm::Sha1, 100'000)},
    {"AgileSha512Aes256", Settings(AccdbEncryption::Agile, 256, HashAlgorithm::Sha512, 100'000)},
    {"AgileSha256Aes192", Settings(AccdbEncryption::Agile, 192, HashAlgorithm::Sha256)},
};

class EachKind : public ::testing::TestWithParam<KindCase> {};

void ExpectNotAValidPassword(const Image& encrypted, std::string_view password) {
    try {
        DecryptAccdbImage(encrypted, password);
        ADD_FAILURE() << "password \"" << password << "\" accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), "Not a valid password.");
        EXPECT_EQ(e.number(), 3031);
    }
}

TEST_P(EachKind, DecryptsToThePlainPagesWithTheRightPassword) {
    const Image plain = PlainAceImage(8);
    const Image encrypted = jet::EncryptAccdbImage(plain, GetParam().settings, "Sesam 123");
    ASSERT_EQ(encrypted.size(), plain.size());
    EXPECT_TRUE(IsOfficeEncryptedAccdb(encrypted));
    EXPECT_FALSE(IsOfficeEncryptedAccdb(plain));
    EXPECT_NE(std::memcmp(encrypted.data() + kPage, plain.data() + kPage, kPage), 0);

    const PlainImage image = DecryptAccdbImage(encrypted, "Sesam 123");
    const auto bytes = image.bytes();
    ASSERT_EQ(bytes.size(), plain.size());
    EXPECT_FALSE(image.fileBacked());
    EXPECT_TRUE(std::equal(bytes.begin() + kPage, bytes.end(), plain.begin() + kPage));
    // Page 0 keeps the description; only the database key is cleared for libmdb.
    for (std::size_t k = 0; k < kPage; ++k) {
        const bool keyByte = k >= kDatabaseKeyOffset && k < kDatabaseKeyOffset + 4;
        if (!keyByte) {
            ASSERT_EQ(bytes[k], encrypted[k]) << "page 0 offset " << k;
        }
    }
    EXPECT_EQ(ReadHeaderPage(bytes).databaseKey, DatabaseKey{});
    EXPECT_FALSE(IsOfficeEncryptedAccdb(bytes));
}

TEST_P(EachKind, WrongAndEmptyPasswordsAreRefused) {
    const Image encrypted =
        jet::EncryptAccdbImage(PlainAceImage(4), GetParam().settings, "Sesam 123");
    for (std::string_view wrong : {"", "sesam 123", "Sesam 1234", "Sesam 12"})
        ExpectNotAValidPassword(encrypted, wrong);
}

INSTANTIATE_TEST_SUITE_P(Accdb, EachKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

void WriteFile(const std::filesystem::path& path, const Image& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

struct OpenFile {
    explicit OpenFile(const std::filesystem::path& path) : fd(::open(path.c_str(), O_RDONLY)) {}
    ~OpenFile() { ::close(fd); }
    int fd;
};

TEST(DecryptAccdbImage, LargeImagesGoToAnUnlinkedTemporaryFile) {
    testing::TempDir dir;
    const Image plain = PlainAceImage(6);
    const Image encrypted =
        jet::EncryptAccdbImage(plain, Settings(AccdbEncryption::Agile, 128), "pw");
    WriteFile(dir / "enc.accdb", encrypted);
    std::filesystem::create_directory(dir / "tmp");
    OpenFile file(dir / "enc.accdb");
    PlainImageOptions options;
    options.memoryLimit = 4 * kPage;
    options.temporaryFolder = (dir / "tmp").string();
    const PlainImage image = DecryptAccdbImage(file.fd, "pw", options);
    EXPECT_TRUE(image.fileBacked());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
    const auto bytes = image.bytes();
    ASSERT_EQ(bytes.size(), plain.size());
    EXPECT_TRUE(std::equal(bytes.begin() + kPage, bytes.end(), plain.begin() + kPage));
}

// With the image forced into a folder that does not exist, getting as far as the image
// fails differently from the password check: so a wrong password stops before it.
TEST(DecryptAccdbImage, PasswordIsCheckedBeforeTheImageIsMade) {
    testing::TempDir dir;
    WriteFile(dir / "enc.accdb",
              jet::EncryptAccdbImage(PlainAceImage(4), Settings(AccdbEncryption::Rc4CryptoApi, 128),
                                     "pw"));
    OpenFile file(dir / "enc.accdb");
    PlainImageOptions options;
    options.memoryLimit = 0;
    options.temporaryFolder = (dir / "missing").string();
    try {
        DecryptAccdbImage(file.fd, "wrong", options);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), "Not a valid password.");
    }
    try {
        DecryptAccdbImage(file.fd, "pw", options);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("temporary file"), std::string::npos) << e.description();
    }
}

// A sparse file far beyond Access's 2 GB limit must not turn into gigabytes of temporary image.
TEST(DecryptAccdbImage, FilesFarBeyondAccessSizeAreRefused) {
    testing::TempDir dir;
    WriteFile(dir / "huge.accdb",
              jet::EncryptAccdbImage(PlainAceImage(2), Settings(AccdbEncryption::CryptoApiAes, 128),
                                     "pw"));
    std::filesystem::resize_file(dir / "huge.accdb", std::uint64_t{5} << 30);
    OpenFile file(dir / "huge.accdb");
    try {
        DecryptAccdbImage(file.fd, "pw");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("too large"), std::string::npos) << e.description();
    }
}

TEST(DecryptAccdbImage, PartialLastPageIsDropped) {
    Image encrypted = jet::EncryptAccdbImage(PlainAceImage(4),
                                             Settings(AccdbEncryption::CryptoApiAes, 128), "pw");
    encrypted.resize(encrypted.size() - 100);
    EXPECT_EQ(DecryptAccdbImage(encrypted, "pw").bytes().size(), 3 * kPage);
}

// ---- damaged and unsupported descriptions ----

Image WithDescription(Image image, std::span<const std::uint8_t> description,
                      std::size_t storedLength) {
    ByteWriter w(std::span<std::uint8_t>(image).first(kPage));
    w.seek(kDescriptionLengthOffset);
    w.u16le(static_cast<std::uint16_t>(storedLength));
    w.bytes(description.first(std::min(description.size(), kPage - kDescriptionOffset)));
    return image;
}

std::vector<std::uint8_t> DescriptionOf(const Image& image) {
    const auto d = ReadHeaderPage(image).description;
    return {d.begin(), d.end()};
}

std::string RefusalOf(const Image& image) {
    try {
        DecryptAccdbImage(image, "pw");
    } catch (const Error& e) {
        return e.description();
    }
    return "accepted";
}

struct Damage {
    const char* what;
    AccdbEncryption kind;
    std::function<std::vector<std::uint8_t>(std::vector<std::uint8_t>)> change;
    const char* expected;  // part of the error text
};

std::uint32_t ReadU32(const std::vector<std::uint8_t>& d, std::size_t at) {
    ByteReader r(d);
    r.seek(at);
    return r.u32le();
}

std::vector<std::uint8_t> PatchU32(std::vector<std::uint8_t> d, std::size_t at, std::uint32_t v) {
    ByteWriter w(d);
    w.seek(at);
    w.u32le(v);
    return d;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> d, std::size_t n) {
    d.resize(std::min(d.size(), n));
    return d;
}

std::vector<std::uint8_t> ReplaceText(std::vector<std::uint8_t> d, std::string_view from,
                                      std::string_view to) {
    std::string s(d.begin(), d.end());
    const auto at = s.find(from);
    if (at == std::string::npos)
        throw std::logic_error("pattern not in description");
    s.replace(at, from.size(), to);
    return {s.begin(), s.end()};
}

const Damage kDamages[] = {
    // CryptoAPI layout: 0 version, 4 flags, 8 header size, 20 algID, 12+S salt size.
    {"cut in the header", AccdbEncryption::Rc4CryptoApi, [](auto d) { return Cut(d, 30); },
     "damaged"},
    {"cut in the verifier", AccdbEncryption::Rc4CryptoApi,
     [](auto d) { return Cut(d, d.size() - 1); }, "damaged"},
    {"cut to the version", AccdbEncryption::CryptoApiAes, [](auto d) { return Cut(d, 3); },
     "damaged"},
    {"header size past the end", AccdbEncryption::Rc4CryptoApi,
     [](auto d) { return PatchU32(d, 8, 0xFFFFFFF0); }, "header size"},
    {"header size too small", AccdbEncryption::Rc4CryptoApi,
     [](auto d) { return PatchU32(d, 8, 4); }, "header size"},
    {"salt size 8", AccdbEncryption::CryptoApiAes,
     [](auto d) { return PatchU32(d, 12 + ReadU32(d, 8), 8); }, "salt size"},
    {"RC2 cipher", AccdbEncryption::Rc4CryptoApi, [](auto d) { return PatchU32(d, 20, 0x6602); },
     "the cipher 0x6602"},
    {"MD5 hash", AccdbEncryption::Rc4CryptoApi, [](auto d) { return PatchU32(d, 24, 0x8003); },
     "the hash algorithm 0x8003"},
    {"RC4 key of 33 bits", AccdbEncryption::Rc4CryptoApi,
     [](auto d) { return PatchU32(d, 28, 33); }, "RC4 key"},
    {"external provider", AccdbEncryption::StandardAes, [](auto d) { return PatchU32(d, 4, 0x34); },
     "external encryption provider"},
    {"Office binary RC4", AccdbEncryption::Rc4CryptoApi,
     [](auto d) { return PatchU32(d, 0, 0x00010001); }, "Office binary RC4 encryption"},
    {"extensible", AccdbEncryption::Agile, [](auto d) { return PatchU32(d, 0, 0x00030004); },
     "extensible encryption"},
    {"unknown version", AccdbEncryption::Agile, [](auto d) { return PatchU32(d, 0, 0x00090009); },
     "unknown version 9.9"},
    {"agile flags", AccdbEncryption::Agile, [](auto d) { return PatchU32(d, 4, 0); }, "damaged"},
    {"XML cut short", AccdbEncryption::Agile, [](auto d) { return Cut(d, d.size() / 2); }, "XML"},
    {"XML not UTF-8", AccdbEncryption::Agile,
     [](auto d) {
         return ReplaceText(d, "keyData",
                            "key\xFF"
                            "ata");
     },
     "XML"},
    {"DES cipher", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "\"AES\"", "\"DES\""); }, "using the cipher DES"},
    {"CFB chaining", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "ChainingModeCBC", "ChainingModeCFB"); },
     "ChainingModeCFB"},
    {"MD4 hash", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "\"SHA512\"", "\"MD4\""); }, "hash algorithm MD4"},
    {"spin count 2^32-1", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "spinCount=\"1000\"", "spinCount=\"4294967295\""); },
     "spinCount"},
    {"spin count not a number", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "spinCount=\"1000\"", "spinCount=\"1e3\""); }, "spinCount"},
    {"salt not base64", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "saltValue=\"", "saltValue=\"!"); }, "not base64"},
    {"salt size mismatch", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "saltSize=\"16\"", "saltSize=\"12\""); }, "saltSize"},
    {"hash size mismatch", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "hashSize=\"64\"", "hashSize=\"20\""); }, "hashSize"},
    {"no password encryptor", AccdbEncryption::Agile,
     [](auto d) {
         return ReplaceText(
             d, "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password",
             "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/certificate");
     },
     "certificates only"},
    {"missing attribute", AccdbEncryption::Agile,
     [](auto d) { return ReplaceText(d, "keyBits=", "keyBitz="); }, "keyBits is missing"},
    {"verifier cut", AccdbEncryption::Agile,
     [](auto d) {
         return ReplaceText(d, "encryptedVerifierHashValue=\"",
                            "encryptedVerifierHashValue=\"AAAA");
     },
     "wrong length"},
};

TEST(DamagedDescription, FailsWithAClearErrorAndNoCrash) {
    for (const auto& damage : kDamages) {
        const Image encrypted = jet::EncryptAccdbImage(
            PlainAceImage(3),
            Settings(damage.kind, damage.kind == AccdbEncryption::Rc4CryptoApi ? 128 : 256), "pw");
        const auto changed = damage.change(DescriptionOf(encrypted));
        const std::string refusal = RefusalOf(WithDescription(encrypted, changed, changed.size()));
        EXPECT_NE(refusal.find(damage.expected), std::string::npos)
            << damage.what << ": " << refusal;
    }
}

TEST(DamagedDescription, LengthRunningPastPageZeroIsRefused) {
    const Image encrypted =
        jet::EncryptAccdbImage(PlainAceImage(3), Settings(AccdbEncryption::Agile, 128), "pw");
    const auto d = DescriptionOf(encrypted);
    for (std::size_t length : {kPage - kDescriptionOffset + 1, std::size_t{0xFFFF}}) {
        EXPECT_NE(RefusalOf(WithDescription(encrypted, d, length)).find("runs past page 0"),
                  std::string::npos);
    }
}

// Random byte changes anywhere in the description: every outcome is an Error that says what is
// wrong or a success, never a crash or a read outside the page (the asan preset checks the
// latter). Most changes hit the salts, the verifier or the structure, so most are refused.
TEST(DamagedDescription, RandomByteChangesNeverCrash) {
    std::mt19937 random(20261207);
    for (const auto kind :
         {AccdbEncryption::Rc4CryptoApi, AccdbEncryption::StandardAes, AccdbEncryption::Agile}) {
        SCOPED_TRACE(EncryptionName(kind));
        const Image encrypted = jet::EncryptAccdbImage(
            PlainAceImage(2), Settings(kind, 128, HashAlgorithm::Sha1, 1), "pw");
        const auto d = DescriptionOf(encrypted);
        int refused = 0;
        constexpr int kRounds = 300;
        for (int round = 0; round < kRounds; ++round) {
            auto changed = d;
            for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
                changed[random() % changed.size()] = static_cast<std::uint8_t>(random());
            const std::size_t length = random() % 8 == 0 ? random() % (d.size() + 1) : d.size();
            const std::string refusal = RefusalOf(WithDescription(encrypted, changed, length));
            if (refusal == "accepted")
                continue;
            ++refused;
            EXPECT_GT(refusal.size(), 10u)
                << "an error without a description: \"" << refusal << "\"";
        }
        EXPECT_GE(refused, kRounds / 2);
    }
}

// A key size stored as 0 takes the default of the cipher: 40 bits for RC4 with the "Base"
// provider, 128 with any other, the algorithm's own size for AES.
TEST(CryptoApiDescription, StoredKeySizeZeroTakesTheDefault) {
    const std::pair<AccdbEncryptionSettings, std::uint32_t> cases[] = {
        {Settings(AccdbEncryption::Rc4CryptoApi, 40), 40},
        {Settings(AccdbEncryption::Rc4CryptoApi, 128), 128},
        {Settings(AccdbEncryption::CryptoApiAes, 256), 256},
    };
    for (const auto& [settings, bits] : cases) {
        const Image encrypted = jet::EncryptAccdbImage(PlainAceImage(3), settings, "pw");
        const auto d = PatchU32(DescriptionOf(encrypted), 28, 0);
        const auto parsed = std::get<CryptoApiDescription>(ParseEncryptionDescription(d));
        EXPECT_EQ(parsed.keyBits, bits);
        EXPECT_NO_THROW(DecryptAccdbImage(WithDescription(encrypted, d, d.size()), "pw"));
    }
}

TEST(IsOfficeEncryptedAccdb, ShortOrForeignInputIsNot) {
    const Image encrypted =
        jet::EncryptAccdbImage(PlainAceImage(2), Settings(AccdbEncryption::Agile, 128), "pw");
    EXPECT_FALSE(IsOfficeEncryptedAccdb(std::span(encrypted).first(100)));
    EXPECT_FALSE(IsOfficeEncryptedAccdb({}));
    Image notHeader = encrypted;
    notHeader[0] = 1;
    EXPECT_FALSE(IsOfficeEncryptedAccdb(notHeader));
    // A key without a description is the old page encoding, which libmdb undoes itself.
    Image encodedOnly = WithDescription(encrypted, {}, 0);
    EXPECT_FALSE(IsOfficeEncryptedAccdb(encodedOnly));
}

}  // namespace
}  // namespace pictrova::database
