// SPDX-License-Identifier: GPL-3.0-or-later
// Compound-document classes: the stream each class keeps its file in, and the fix-ups.
#include <gtest/gtest.h>

#include "byte_pattern.h"
#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;
using pictrova::testing::Pattern;

fx::Bytes Slice(const fx::Bytes& b, std::size_t from, std::size_t count) {
    return fx::Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                     b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// A CONTENTS stream of a given class, and what the file must be.
struct ContentsCase {
    const char* className;
    fx::Bytes contents;
    const char* extension;
    fx::Bytes expected;
};

class ContentsClasses : public ::testing::TestWithParam<ContentsCase> {};

TEST_P(ContentsClasses, FixUpGivesTheFile) {
    const ContentsCase& c = GetParam();
    const Decoded d =
        DecodeField(fx::BuildCompoundObject(c.className, fx::MakeContentsDocument(c.contents)));
    ASSERT_TRUE(d.ok()) << c.className;
    EXPECT_EQ(KindExtension(d.kind), c.extension);
    EXPECT_EQ(d.payload, c.expected);
    EXPECT_TRUE(d.reason.empty());
}

const fx::Bytes kStream = Pattern(1000, 3);

fx::Bytes ViGStream() {
    fx::Bytes s = kStream;
    s[0] = 'V';
    s[1] = 'i';
    s[2] = 'G';
    return s;
}

// 1000 bytes whose last non-zero byte is at 900: bytes 36..900, then four zeros (869 bytes).
fx::Bytes PspStream() {
    fx::Bytes s = kStream;
    std::fill(s.begin() + 901, s.end(), 0);
    return s;
}
fx::Bytes PspExpected() {
    fx::Bytes e = Slice(kStream, 36, 865);
    e.resize(869, 0);
    return e;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ContentsClasses,
    ::testing::Values(ContentsCase{"AcroExch.Document.DC", kStream, "pdf", kStream},
                      ContentsCase{"FoxitReader.Document", kStream, "pdf", kStream},
                      ContentsCase{"Snapshot", kStream, "snp", kStream},
                      ContentsCase{"Wordpad.Document.1", kStream, "rtf", kStream},
                      ContentsCase{"Imaging.Document", kStream, "tiff", Slice(kStream, 234, 766)},
                      ContentsCase{"Paper.document", kStream, "max", Slice(kStream, 64, 936)},
                      ContentsCase{"Paper.document", ViGStream(), "max", ViGStream()},
                      ContentsCase{"PSP7.Image", PspStream(), "psp", PspExpected()}));

TEST(CompoundClasses, PspWithNothingAfterItsPrefixIsFalse) {
    fx::Bytes s = Pattern(36, 1);
    s.resize(200, 0);
    const Decoded d =
        DecodeField(fx::BuildCompoundObject("PSP7.Image", fx::MakeContentsDocument(s)));
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(d.kind, ObjectKind::PaintShopPro);  // assigned by its fix-up, before the failure
}

struct ShortCase {
    const char* className;
    std::size_t length;
    bool ok;
};

class ShortStreams : public ::testing::TestWithParam<ShortCase> {};

// A fix-up that needs more bytes than the stream holds is false.
TEST_P(ShortStreams, AreRefusedByTheFixUp) {
    const ShortCase c = GetParam();
    const Decoded d = DecodeField(
        fx::BuildCompoundObject(c.className, fx::MakeContentsDocument(Pattern(c.length, 9))));
    EXPECT_EQ(d.ok(), c.ok) << c.className << " " << c.length;
    EXPECT_TRUE(d.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(Boundaries, ShortStreams,
                         ::testing::Values(ShortCase{"Imaging.Document", 233, false},
                                           ShortCase{"Imaging.Document", 234, false},
                                           ShortCase{"Imaging.Document", 235, true},
                                           ShortCase{"Paper.document", 2, false},
                                           ShortCase{"Paper.document", 63, false},
                                           ShortCase{"Paper.document", 64, false},
                                           ShortCase{"Paper.document", 65, true},
                                           ShortCase{"PSP7.Image", 36, false}));

TEST(CompoundClasses, DeskImageDropsTheSizeInFrontOfItsNativeStream) {
    const fx::Bytes bmp = fx::MakeBmpFile(3, 3);
    for (bool inChild : {true, false}) {
        const Decoded d = DecodeField(
            fx::BuildCompoundObject("HP.DeskImage.1", fx::MakeOle10NativeDocument(bmp, inChild)));
        ASSERT_TRUE(d.ok()) << inChild;
        EXPECT_EQ(KindExtension(d.kind), "bmp");
        EXPECT_EQ(d.payload, bmp);
    }
}

// Office documents come out whole: the compound document as the object carries it, without the
// presentation that follows it in the field.
TEST(CompoundClasses, ExcelGivesTheWholeDocument) {
    fx::Bytes document;
    const Decoded d = DecodeField(fx::BuildOfficeObject(fx::OfficeKind::Excel, &document));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "xls");
    EXPECT_EQ(d.payload, document);
}

TEST(CompoundClasses, OfficeStreamNamesMatchWithoutRegardToCase) {
    const fx::Bytes document = fx::MakeOfficeDocument("WORKBOOK", Pattern(100, 1));
    const Decoded d = DecodeField(fx::BuildCompoundObject("Excel.Sheet.8", document));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload, document);
}

struct MissingCase {
    const char* className;
    const char* extension;
};

class MissingStream : public ::testing::TestWithParam<MissingCase> {};

// The document holds none of the streams these classes look for.
TEST_P(MissingStream, IsFalseWithTheNoContentsReason) {
    const fx::Bytes document = fx::MakeOfficeDocument("Something Else", Pattern(100, 1));
    const Decoded d = DecodeField(fx::BuildCompoundObject(GetParam().className, document));
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), GetParam().extension);
    EXPECT_EQ(d.reason.number, static_cast<std::int32_t>(0x8004020E));
    EXPECT_EQ(d.reason.source, kSource);
    EXPECT_EQ(d.reason.description, kNoContentsText);
}

INSTANTIATE_TEST_SUITE_P(Rows, MissingStream,
                         ::testing::Values(MissingCase{"Word.Document.8", "doc"},
                                           MissingCase{"AcroExch.Document", "pdf"},
                                           MissingCase{"HP.DeskImage.1", "bmp"},
                                           MissingCase{"MSPhotoEd.3", "bmp"},
                                           MissingCase{"PSP7.Image", ""}));

TEST(CompoundClasses, NativeDataThatIsNoCompoundDocumentHasNoContentsStream) {
    const Decoded d = DecodeField(fx::BuildCompoundObject("Word.Document.8", Pattern(600, 2)));
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(d.reason.number, static_cast<std::int32_t>(0x8004020E));
}

TEST(CompoundClasses, PayloadStartBeyondTheFieldIsFalse) {
    auto field = fx::BuildCompoundObject("Word.Document.8",
                                         fx::MakeOfficeDocument("WordDocument", Pattern(10, 1)));
    field.resize(60);
    const Decoded d = DecodeField(field);
    EXPECT_FALSE(d.ok());
    EXPECT_TRUE(d.reason.empty());
}

}  // namespace
}  // namespace pictrova::ole
