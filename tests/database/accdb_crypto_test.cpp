// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error.h"
#include "database/accdb_crypto.h"
#include "database/accdb_key_derivation.h"
#include "database/accdb_page_cipher.h"

namespace pictrova::database {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string s;
    for (auto b : bytes) {
        static constexpr char kDigits[] = "0123456789abcdef";
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

TEST(Rc4, MatchesPublishedVectors) {
    struct Case {
        std::string_view key, plain, cipherHex;
    };
    const Case cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (const auto& c : cases) {
        auto data = Bytes(c.plain);
        Rc4(Bytes(c.key)).Apply(data);
        EXPECT_EQ(Hex(data), c.cipherHex) << c.key;
    }
}

TEST(Rc4, SplitCallsContinueOneKeystream) {
    auto whole = Bytes("Attack at dawn");
    auto split = whole;
    Rc4(Bytes("Secret")).Apply(whole);
    Rc4 rc4(Bytes("Secret"));
    rc4.Apply(std::span(split).first(5));
    rc4.Apply(std::span(split).subspan(5));
    EXPECT_EQ(whole, split);
}

TEST(Digest, ReusedContextGivesKnownHashes) {
    Digest sha1(HashAlgorithm::Sha1);
    EXPECT_EQ(Hex(sha1.Hash(Bytes("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(sha1.Hash(Bytes("ab"), Bytes("c"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    Digest sha512(HashAlgorithm::Sha512);
    EXPECT_EQ(Hex(sha512.Hash(Bytes("abc"))).substr(0, 16), "ddaf35a193617aba");
}

TEST(AesTransform, EcbMatchesFips197AndCbcRoundTrips) {
    // FIPS-197 appendix C.1.
    std::vector<std::uint8_t> key(16), block(16);
    for (int k = 0; k < 16; ++k) {
        key[k] = static_cast<std::uint8_t>(k);
        block[k] = static_cast<std::uint8_t>(k * 0x11);
    }
    AesTransform encrypt(16, AesChaining::Ecb, CipherDirection::Encrypt);
    encrypt.SetKey(key);
    encrypt.Apply({}, block);
    EXPECT_EQ(Hex(block), "69c4e0d86a7b0430d8cdb78070b4c55a");

    std::vector<std::uint8_t> iv(16, 7), page(4096);
    for (std::size_t k = 0; k < page.size(); ++k) page[k] = static_cast<std::uint8_t>(k * 31);
    const auto plain = page;
    AesTransform cbcOut(16, AesChaining::Cbc, CipherDirection::Encrypt), cbcIn(16, AesChaining::Cbc, CipherDirection::Decrypt);
    cbcOut.SetKey(key);
    cbcIn.SetKey(key);
    cbcOut.Apply(iv, page);
    EXPECT_NE(page, plain);
    cbcIn.Apply(iv, page);
    EXPECT_EQ(page, plain);
    std::vector<std::uint8_t> ragged(15);
    EXPECT_THROW(cbcIn.Apply(iv, ragged), Error);
}

TEST(PasswordBytes, EncodesUtf16LeAndCutsAt255Units) {
    struct Case {
        std::string utf8;
        std::string utf16Hex;
    };
    const Case cases[] = {
        {"", ""},
        {"Ab", "41006200"},
        {"\xC3\xA9", "e900"},                    // é
        {"\xE2\x82\xAC", "ac20"},                // €
        {"\xF0\x9F\x98\x80", "3dd800de"},        // U+1F600, a surrogate pair
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(PasswordBytes(c.utf8)), c.utf16Hex) << c.utf8;
    EXPECT_EQ(PasswordBytes(std::string(300, 'x')).size(), 2 * kMaxPasswordUnits);
}

TEST(PasswordBytes, InvalidUtf8IsNotAValidPassword) {
    const std::string bad[] = {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF5\x80\x80\x80", "a\x80"};
    for (const auto& s : bad) {
        try {
            PasswordBytes(s);
            ADD_FAILURE() << "accepted " << Hex(Bytes(s));
        } catch (const Error& e) {
            EXPECT_EQ(e.description(), kNotAValidPassword);
        }
    }
}

TEST(KeyDerivation, BlockKeyXorsThePageNumberLittleEndian) {
    const DatabaseKey key = {0x10, 0x20, 0x30, 0x40};
    EXPECT_EQ(BlockKey(key, 0), key);
    EXPECT_EQ(BlockKey(key, 0x01020304), (DatabaseKey{0x14, 0x23, 0x32, 0x41}));
}

TEST(KeyDerivation, FortyBitRc4KeysArePaddedToSixteenBytes) {
    Digest sha1(HashAlgorithm::Sha1);
    const auto hash = sha1.Hash(Bytes("salt"));
    const auto k40 = CryptoApiRc4Key(sha1, hash, DatabaseKey{}, 40);
    const auto k128 = CryptoApiRc4Key(sha1, hash, DatabaseKey{}, 128);
    ASSERT_EQ(k40.size(), 16u);
    EXPECT_TRUE(std::equal(k40.begin(), k40.begin() + 5, k128.begin()));
    EXPECT_TRUE(std::all_of(k40.begin() + 5, k40.end(), [](auto b) { return b == 0; }));
}

}  // namespace
}  // namespace pictrova::database
