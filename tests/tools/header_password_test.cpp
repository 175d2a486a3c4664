// SPDX-License-Identifier: GPL-3.0-or-later
// The Jet4 password in our files is stored as Access stores it: a header decoder written from
// the format alone (unmask the header, XOR with the creation date's day number) recovers it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/byte_reader.h"
#include "database/accdb/rc4.h"
#include "jet_writer/jet_writer.h"

namespace pictrova::jet {
namespace {

struct DecodedHeader {
    std::uint32_t version = 0;
    std::uint32_t databaseKey = 0;
    double creationDate = 0;
    std::u16string password;
};

DecodedHeader DecodeHeader(std::span<const std::uint8_t> file) {
    ByteReader page(file.first(4096));
    std::vector<std::uint8_t> plain(file.begin(), file.begin() + 4096);
    const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
    database::Rc4(key).Apply(std::span(plain).subspan(0x18, 128));
    ByteReader header(plain);
    DecodedHeader out;
    page.seek(0x14);
    out.version = page.u32le();
    header.seek(0x3E);
    out.databaseKey = header.u32le();
    header.seek(0x72);
    std::uint64_t dateBits = header.u64le();
    std::memcpy(&out.creationDate, &dateBits, sizeof dateBits);
    std::uint8_t mask[4];
    auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(out.creationDate)));
    for (int i = 0; i < 4; ++i)
        mask[i] = static_cast<std::uint8_t>(day >> (8 * i));
    header.seek(0x42);
    for (int i = 0; i < 20; ++i) {
        std::uint8_t low = header.u8() ^ mask[(2 * i) % 4];
        std::uint8_t high = header.u8() ^ mask[(2 * i + 1) % 4];
        auto unit = static_cast<char16_t>(low | high << 8);
        if (unit == 0)
            break;
        out.password.push_back(unit);
    }
    return out;
}

struct PasswordCase {
    std::string password;
    std::u16string expected;
    double creationDate;
    std::uint32_t encodingKey;
};

TEST(HeaderPassword, DecoderRecoversWhatTheWriterStored) {
    const PasswordCase cases[] = {
        {"", u"", 45000.5, 0},
        {"s3cret!", u"s3cret!", 45000.5, 0},
        {"abcdefghijklmnopqrst", u"abcdefghijklmnopqrst", 36526.99,
         0},  // 20 characters: the whole field
        {"Pässwört☃", u"Pässwört☃", 40000.0, 0},
        {"with key", u"with key", 45000.5, 0xCAFEF00D},
    };
    for (const PasswordCase& c : cases) {
        SCOPED_TRACE(c.password);
        DatabasePlan plan;
        plan.password = c.password;
        plan.creationDate = c.creationDate;
        plan.encodingKey = c.encodingKey;
        plan.tables.push_back({"T", {{"A", ColumnType::Long}}, {}});
        DecodedHeader header = DecodeHeader(WriteDatabaseToMemory(plan));
        EXPECT_EQ(header.version, 1u);
        EXPECT_EQ(header.databaseKey, c.encodingKey);
        EXPECT_EQ(header.creationDate, c.creationDate);
        EXPECT_TRUE(header.password == c.expected);
    }
}

TEST(HeaderPassword, AceFilesCarryTheirVersionAndNoPassword) {
    for (Format format :
         {Format::Ace12, Format::Ace14, Format::Ace15, Format::Ace16, Format::Ace17}) {
        DatabasePlan plan;
        plan.format = format;
        DecodedHeader header = DecodeHeader(WriteDatabaseToMemory(plan));
        EXPECT_EQ(header.version, static_cast<std::uint32_t>(format));
        EXPECT_TRUE(header.password.empty());
    }
}

}  // namespace
}  // namespace pictrova::jet
