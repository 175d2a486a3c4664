// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/jet_header.h"

#include <cstring>

#include <gtest/gtest.h>

#include "common/error.h"
#include "database/accdb/rc4.h"

namespace pictrova::database {
namespace {

// A page 0 built by hand: signature at 0x04, version at 0x14, then the fields of the masked
// region in plain form, masked last with the RC4 keystream of C7 DA 39 6B.
struct HeaderBuilder {
    std::vector<std::uint8_t> page = std::vector<std::uint8_t>(4096, 0);
    int version = 1;

    HeaderBuilder(int v, const char* signature = "Standard Jet DB") : version(v) {
        std::memcpy(page.data() + 0x04, signature, std::strlen(signature) + 1);
        page[0x14] = static_cast<std::uint8_t>(v);
    }
    void Key(std::uint32_t key) {
        for (int i = 0; i < 4; ++i)
            page[0x3E + i] = static_cast<std::uint8_t>(key >> (8 * i));
    }
    void Date(double date) { std::memcpy(page.data() + 0x72, &date, sizeof date); }
    // Jet4: UTF-16LE units XORed with the whole days of the creation date.
    void Jet4Password(const std::u16string& password, double date) {
        Date(date);
        auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(date));
        for (std::size_t i = 0; i < 40; ++i) {
            std::uint8_t plain = 0;
            if (i / 2 < password.size())
                plain = static_cast<std::uint8_t>(password[i / 2] >> (8 * (i % 2)));
            page[0x42 + i] = plain ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
        }
    }
    std::vector<std::uint8_t> Masked() const {
        std::vector<std::uint8_t> out = page;
        const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
        Rc4(key).Apply(std::span(out).subspan(0x18, version == 0 ? 126 : 128));
        return out;
    }
};

TEST(JetHeader, Jet4PasswordIsUnmaskedWithTheCreationDate) {
    HeaderBuilder h(1);
    h.Jet4Password(u"s3cret!Ā☃", 45000.75);
    JetHeader header = ReadJetHeader(h.Masked());
    EXPECT_EQ(header.version, 1);
    EXPECT_EQ(header.pageSize, 4096u);
    EXPECT_EQ(header.password, "s3cret!Ā☃");
    EXPECT_TRUE(header.HasStoredPassword());
    EXPECT_TRUE(PasswordMatches(header, "s3cret!Ā☃"));
    EXPECT_FALSE(PasswordMatches(header, "s3cret!"));
}

TEST(JetHeader, Jet4WithoutPasswordStoresTheMaskAlone) {
    HeaderBuilder h(1);
    h.Jet4Password(u"", 45000.5);
    JetHeader header = ReadJetHeader(h.Masked());
    EXPECT_FALSE(header.HasStoredPassword());
    EXPECT_TRUE(PasswordMatches(header, "anything"));
}

TEST(JetHeader, Jet3PasswordIsEightBitTextWithoutDateMask) {
    HeaderBuilder h(0);
    const char stored[] = "Pa\x80word";  // 0x80 is the euro sign in Windows-1252
    std::memcpy(h.page.data() + 0x42, stored, sizeof stored - 1);
    JetHeader header = ReadJetHeader(h.Masked());
    EXPECT_EQ(header.pageSize, 2048u);
    EXPECT_EQ(header.password, "Pa€word");
}

TEST(JetHeader, OfficeEncryptionIsAnAceVersionWithADatabaseKey) {
    struct Case {
        int version;
        std::uint32_t key;
        bool encrypted;
    };
    for (const Case& c :
         {Case{1, 0x1234, false}, Case{2, 0, false}, Case{2, 0x1234, true}, Case{6, 1, true}}) {
        HeaderBuilder h(c.version, c.version >= 2 ? "Standard ACE DB" : "Standard Jet DB");
        h.Key(c.key);
        JetHeader header = ReadJetHeader(h.Masked());
        EXPECT_EQ(header.databaseKey, c.key);
        EXPECT_EQ(header.IsOfficeEncrypted(), c.encrypted) << c.version << " " << c.key;
    }
}

TEST(JetHeader, DamagedDatesAndSurrogatesStayHarmless) {
    for (double date : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        HeaderBuilder h(1);
        h.Date(date);
        EXPECT_NO_THROW(ReadJetHeader(h.Masked()));
    }
    HeaderBuilder h(1);
    h.Jet4Password(std::u16string{u'a', char16_t(0xD800), u'b'}, 1.0);
    EXPECT_EQ(ReadJetHeader(h.Masked()).password, "a\uFFFDb");
}

TEST(JetHeader, RefusesWhatIsNotAJetHeader) {
    std::vector<std::vector<std::uint8_t>> pages;
    HeaderBuilder wrongType(1);
    wrongType.page[0] = 1;
    pages.push_back(wrongType.Masked());
    pages.push_back(HeaderBuilder(7).Masked());
    pages.push_back(HeaderBuilder(1, "Standard XYZ DB").Masked());
    pages.push_back(HeaderBuilder(1, "MSISAM Database").Masked());
    std::vector<std::uint8_t> cut = HeaderBuilder(1).Masked();
    cut.resize(kJetHeaderBytes - 1);
    pages.push_back(cut);
    pages.push_back({});
    for (std::size_t i = 0; i < pages.size(); ++i)
        EXPECT_THROW(ReadJetHeader(pages[i]), FormatError) << i;
}

}  // namespace
}  // namespace pictrova::database
