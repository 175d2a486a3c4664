// SPDX-License-Identifier: GPL-3.0-or-later
// Every ready-made object of the builders, decoded: exact output bytes and extension.
#include <gtest/gtest.h>

#include "ole/class_table.h"
#include "ole/object_header.h"
#include "ole/ole_object_decoder.h"
#include "ole_builder/pictures.h"
#include "ole_builder/sample_objects.h"
#include "sample_params.h"

namespace pictrova::ole {
namespace {

using fixtures::SampleObject;

class DecodesSample : public ::testing::TestWithParam<SampleObject> {};

TEST_P(DecodesSample, GivesTheEmbeddedFile) {
    const SampleObject& sample = GetParam();
    const DecodeResult d = DecodeOleObject(sample.field);
    ASSERT_EQ(d.ok(), sample.decodes);
    // The class is read from the header, refused objects too; a bare picture file has none
    // (its first bytes would read as a header naming a class).
    EXPECT_EQ(d.objectClass,
              sample.barePicture ? "" : SummariseObject(sample.field).decoderClass());
    if (!sample.decodes)
        return;
    const std::vector<std::uint8_t>& bytes = d.payload;
    EXPECT_EQ(KindExtension(d.kind), sample.extension);
    EXPECT_EQ(d.source == PayloadSource::StoredPreview, sample.storedPreview);
    EXPECT_EQ(d.source == PayloadSource::BarePicture, sample.barePicture);
    EXPECT_EQ(d.packageName, sample.label);
    EXPECT_TRUE(d.reason.empty());
    if (sample.rendered) {
        // Pixels are checked by the metafile tests; here the size the reference device gives.
        const std::size_t stride =
            (static_cast<std::size_t>(sample.renderedWidth) * 3 + 3) & ~std::size_t{3};
        EXPECT_EQ(bytes.size(), 54 + stride * static_cast<std::size_t>(sample.renderedHeight));
        return;
    }
    EXPECT_EQ(bytes.size(), sample.expectedFile.size());
    EXPECT_TRUE(bytes == sample.expectedFile);
}

INSTANTIATE_TEST_SUITE_P(AllRows, DecodesSample, ::testing::ValuesIn(fixtures::AllSampleObjects()),
                         PICTROVA_SAMPLE_NAME);

// Read as an object header, a BMP file's pixel offset (54) and header size (40) name a class of
// 53 bytes at offset 40: in a file of 118 bytes, that is pixel data.
TEST(DecodesBarePicture, WithoutAClass) {
    const std::vector<std::uint8_t> bmp = fixtures::MakeBmpFile(5, 4);
    ASSERT_EQ(bmp.size(), 118u);
    ASSERT_EQ(SummariseObject(bmp).decoderClass().size(), 53u);
    const DecodeResult d = DecodeOleObject(bmp);
    EXPECT_EQ(d.source, PayloadSource::BarePicture);
    EXPECT_EQ(d.objectClass, "");
}

}  // namespace
}  // namespace pictrova::ole

namespace pictrova::ole {
namespace {

// The builders lay their objects out where the decoder looks: the native data at the payload
// start (compound documents begin with their signature there), paint pictures' BMP at header
// size + 31, packages' type word at the payload start (68 under the English display name),
// static presentations' format name at 40.
TEST_P(DecodesSample, NativeDataSitsWhereTheHeaderSays) {
    if (GetParam().barePicture)
        return;
    const auto& field = GetParam().field;
    const ObjectHeader header = ReadObjectHeader(field);
    EXPECT_EQ(header.signature, 0x1C15);
    const std::string className = ReadClassName(field, header);
    auto at = [&](std::int32_t offset) { return field.at(static_cast<std::size_t>(offset)); };
    if (header.objectType == 3) {
        EXPECT_TRUE(at(40) == 'D' || at(40) == 'M') << className;
    } else if (className == "Package") {
        if (header.objectNameLength == 8) {
            EXPECT_EQ(PayloadStart(header), 68);
        }
        EXPECT_EQ(at(PayloadStart(header)), 2);
    } else if (className == "Paint.Picture" && header.objectType == 2) {
        EXPECT_EQ(at(header.headerSize + 31), 'B');
    } else if (header.objectType == 2 && FindClassRow(className)) {
        const std::int32_t start = PayloadStart(header) - (className == "MSPhotoEdScan.3" ? 4 : 0);
        EXPECT_EQ(at(start), 0xD0) << className;
        EXPECT_EQ(at(start + 1), 0xCF) << className;
    }
}

}  // namespace
}  // namespace pictrova::ole
