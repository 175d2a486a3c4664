// SPDX-License-Identifier: GPL-3.0-or-later
// The presentation stored after an embedded object's native data, used when the object's own
// data gives no file. What each kind becomes is checked through the builders' sample objects;
// here the presentations that give nothing, and what the fallback leaves in the result.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

fx::Bytes Unknown(const fx::Bytes& presentation) {
    return fx::BuildUnsupportedObject("Acme.Drawing.1", presentation);
}

fx::Bytes WithFormatId(fx::Bytes presentation, std::uint32_t formatId) {
    Put32(presentation, 4, formatId);
    return presentation;
}

struct NoPreviewCase {
    const char* name;
    fx::Bytes field;
};

class NoPreview : public ::testing::TestWithParam<NoPreviewCase> {};

TEST_P(NoPreview, KeepsTheObjectsOwnResult) {
    const Decoded d = DecodeField(GetParam().field);
    EXPECT_FALSE(d.ok());
    EXPECT_FALSE((d.source == PayloadSource::StoredPreview));
    std::vector<std::uint8_t> bytes = GetParam().field;
    ObjectKind kind = ObjectKind::None;
    EXPECT_FALSE(ExtractStoredPreview(bytes, kind));
    EXPECT_EQ(bytes, GetParam().field);
}

const fx::Bytes kDib = fx::MakeDibPresentation(fx::MakePackedDib(4, 2, 24));

INSTANTIATE_TEST_SUITE_P(
    Presentations, NoPreview,
    ::testing::Values(
        NoPreviewCase{"no_presentation", Unknown(fx::MakeNoPresentation())},
        NoPreviewCase{"nothing_after_the_native_data", Unknown({})},
        // Format id 5 announces a class name; any other than 0 and 5 is damage.
        NoPreviewCase{"format_id_7", Unknown(WithFormatId(kDib, 7))},
        NoPreviewCase{"format_id_3", Unknown(WithFormatId(kDib, 3))},
        // A registered clipboard format names its data by a string we do not read.
        NoPreviewCase{"registered_format", Unknown(fx::MakeClipboardPresentation("Acme", 0, {1, 2, 3}))},
        NoPreviewCase{"clipboard_bitmap", Unknown(fx::MakeClipboardPresentation("BITMAPDATA", 2, fx::MakeBitmap16(4, 2, 24)))},
        NoPreviewCase{"enhanced_metafile_without_its_signature",
                      Unknown(fx::MakeClipboardPresentation("ENHMETAFILE", 14, fx::Bytes(100, 1)))},
        // Device bitmaps of 4 and 8 bits carry no colour table: their colours are unknown.
        NoPreviewCase{"bitmap_8_bits", Unknown(fx::MakeBitmapPresentation(fx::MakeBitmap16(4, 2, 8)))},
        // A metafile picture of size 8 holds its header and no metafile.
        NoPreviewCase{"metafile_without_bits", Unknown(fx::MakeMetafilePresentation({}, 100, 100))},
        NoPreviewCase{"data_size_past_the_end", [] {
                          auto field = Unknown(kDib);
                          Put32(field, field.size() - fx::MakePackedDib(4, 2, 24).size() - 4, 100000);
                          return field;
                      }()},
        NoPreviewCase{"dib_shorter_than_its_header", Unknown(fx::MakeDibPresentation(fx::Bytes(20, 0)))},
        // The presentation is found through the native data size only.
        NoPreviewCase{"native_size_past_the_end", [] {
                          auto field = Unknown(kDib);
                          // "Acme.Drawing.1" (15 with its zero) as both names: header size 50;
                          // version, format id, class name count, class name, topic, item.
                          Put32(field, 50 + 4 + 4 + 4 + 15 + 4 + 4, 100000);
                          return field;
                      }()},
        NoPreviewCase{"linked_object", [] {
                          auto field = fx::BuildLinkedObject();
                          field.insert(field.end(), kDib.begin(), kDib.end());
                          return field;
                      }()}),
    [](const auto& info) { return std::string(info.param.name); });

// The fallback's result is the preview's alone: no failure reason, and not the label of the
// package whose file could not be taken.
TEST(StoredPreview, ClearsTheReasonAndNamesNoPackage) {
    const Decoded unknown = DecodeField(Unknown(kDib));
    ASSERT_TRUE(unknown.ok());
    EXPECT_TRUE(unknown.reason.empty());
    EXPECT_TRUE((unknown.source == PayloadSource::StoredPreview));

    fx::PackageContents c;
    c.file = fx::Bytes(40, 0x42);
    auto field = fx::BuildPackage(c);
    Put32(field, field.size() - 44, 41);
    field.insert(field.end(), kDib.begin(), kDib.end());
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.packageName, "");
    EXPECT_EQ(d.kind, ObjectKind::Bmp);
}

// An object whose own data decodes gives that data; the run can still ask for its preview.
TEST(StoredPreview, OwnDataFirstPreviewOnRequest) {
    fx::Bytes document;
    const auto field = fx::BuildOfficeObject(fx::OfficeKind::Word, &document);
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload, document);
    EXPECT_FALSE((d.source == PayloadSource::StoredPreview));

    std::vector<std::uint8_t> bytes = field;
    ObjectKind kind = ObjectKind::None;
    ASSERT_TRUE(ExtractStoredPreview(bytes, kind));
    EXPECT_EQ(kind, ObjectKind::Bmp);
    EXPECT_EQ(bytes.at(0), 'B');
}

// A metafile presentation whose picture-header words hold junk (the format calls them reserved)
// is framed by the presentation's own size instead, its height stored negated.
TEST(StoredPreview, MetafileWithJunkMappingModeUsesThePresentationSize) {
    // In the block: version 4, format id 4, count 4, "METAFILEPICT" with its zero 13, then width
    // at 25, height at 29, size at 33, mapping mode at 37.
    constexpr std::size_t kHeightAt = 29, kMappingModeAt = 37;
    auto presentation = fx::MakeMetafilePresentation(fx::MakeMetafile(200, 100), 9999, 9999);
    Put32(presentation, 25, 2540);
    Put32(presentation, kHeightAt, -1270);
    Put16(presentation, kMappingModeAt, 0);
    const Decoded d = DecodeField(Unknown(presentation));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(Get32(d.payload, 18), 96u);  // 1 x 0.5 inch at 96 dpi
    EXPECT_EQ(Get32(d.payload, 22), 48u);

    Put32(presentation, kHeightAt, INT32_MIN);  // no size at all: refused, not an overflow
    EXPECT_FALSE(DecodeField(Unknown(presentation)).ok());
}

// Monochrome bitmaps have no colour table: clear bits show black, set bits white.
TEST(StoredPreview, MonochromeBitmapIsBlackAndWhite) {
    const Decoded d = DecodeField(Unknown(fx::MakeBitmapPresentation(fx::MakeBitmap16(10, 3, 1))));
    ASSERT_TRUE(d.ok());
    ASSERT_EQ(d.payload.size(), 54u + 8 + 4 * 3);
    EXPECT_EQ(Get32(d.payload, 10), 62u);
    EXPECT_EQ(d.payload.at(28), 1);                // bit count
    EXPECT_EQ(Get32(d.payload, 54), 0u);           // black
    EXPECT_EQ(Get32(d.payload, 58), 0x00FFFFFFu);  // white
    // Bottom row first: the top row (y = 0) sets odd x, and comes last.
    EXPECT_EQ(d.payload.at(62 + 2 * 4), 0x55);
    EXPECT_EQ(d.payload.at(62 + 2 * 4 + 1), 0x40);
    EXPECT_EQ(d.payload.at(62 + 1 * 4), 0xAA);
}

}  // namespace
}  // namespace pictrova::ole
