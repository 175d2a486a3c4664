// SPDX-License-Identifier: GPL-3.0-or-later
// The object header: payload start, object types, class names and the dispatch on them.
#include "ole/object_header.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

// Header offsets (see object_header.h).
constexpr std::size_t kHeaderSizeAt = 2, kTypeAt = 4, kClassLengthAt = 10, kClassOffsetAt = 14;

TEST(PayloadStart, AddsClassNameAndOle1HeaderIn16Bits) {
    ObjectHeader h;
    h.headerSize = 36;
    h.classNameLength = 8;
    EXPECT_EQ(PayloadStart(h), 68);
    h.headerSize = 32735;
    EXPECT_EQ(PayloadStart(h), 32767);
    h.headerSize = 32736;
    EXPECT_THROW(PayloadStart(h), pictrova::Error);  // 32768 does not fit 16 bits
    h.headerSize = -100;
    EXPECT_EQ(PayloadStart(h), -68);
}

// "MSPhotoEdScan.3" (16 with its zero) after an object name of 12: header 48, payload at 84.
TEST(PayloadStart, PhotoEditorScanStartsFourBytesEarlier) {
    const auto stream = fx::MakePhotoEditorStream(3, 2, 2);
    const auto field = fx::BuildEmbeddedObject(
        {"MSPhotoEdScan.3", "MSPhotoEd.3", "MSPhotoEd.3", 2, fx::MakeContentsDocument(stream), {}});
    ASSERT_EQ(field[kHeaderSizeAt], 48);
    // The compound document's signature sits at 84.
    EXPECT_EQ(Get32(field, 84), 0xE011CFD0u);
    const Decoded d = DecodeField(field);
    EXPECT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "bmp");
}

// The reasons a static object gives: by the presentation format it names.
TEST(ObjectHeader, StaticObjectsSayWhyByTheirFormat) {
    auto dib = fx::BuildStaticDib(fx::MakePackedDib(2, 2, 24));
    Put32(dib, 52, 0x7FFFFFFF);  // the data size: more than the field holds
    EXPECT_EQ(DecodeField(dib).skip,
              (SkipReason{SkipCode::Damaged, "a static bitmap that could not be read"}));
    const fx::Bytes tooShort(dib.begin(), dib.begin() + 30);  // the format name would be at 40
    EXPECT_EQ(
        DecodeField(tooShort).skip,
        (SkipReason{SkipCode::Damaged, "a static picture shorter than its presentation header"}));
    auto metafile = fx::BuildStaticMetafile(fx::MakeMetafile(20, 10), 8, 2540, 1270);
    Put32(metafile, 61, 0x7FFFFFFF);  // after "METAFILEPICT" and the extents
    EXPECT_EQ(DecodeField(metafile).skip,
              (SkipReason{SkipCode::NotRendered,
                          "a static metafile (METAFILEPICT) the renderer refused or gave up on"}));
}

TEST(ObjectHeader, SignatureIsIgnored) {
    auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
    field[0] = 0xAB;
    field[1] = 0xCD;
    EXPECT_TRUE(DecodeField(field).ok());
}

TEST(ObjectHeader, LinkedObjectIsFalseWithoutReasonWhateverTheClass) {
    for (const char* className : {"Paint.Picture", "Package", "Acme.Thing"}) {
        const Decoded d = DecodeField(fx::BuildLinkedObject(className));
        EXPECT_FALSE(d.ok()) << className;
        EXPECT_TRUE(d.reason.empty()) << className;
        EXPECT_EQ(d.skip, (SkipReason{SkipCode::Linked, className}));
    }
}

// Type 3 is dispatched as a static presentation whatever class it names.
TEST(ObjectHeader, StaticTypeIgnoresClassName) {
    auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
    Put32(field, kTypeAt, 3);
    const Decoded d = DecodeField(field);  // read at the static offsets: not a presentation
    EXPECT_FALSE(d.ok());
    EXPECT_TRUE(d.reason.empty());

    auto dib = fx::BuildStaticDib(fx::MakePackedDib(2, 2, 24));
    EXPECT_TRUE(DecodeField(dib).ok());
}

TEST(ObjectHeader, UnexpectedTypesDispatchByClassName) {
    const auto bmp = fx::MakeBmpFile(4, 2);
    for (std::int32_t type : {0, 2, 4, -7}) {
        auto field = fx::BuildPaintPicture(bmp);
        Put32(field, kTypeAt, type);
        const Decoded d = DecodeField(field);
        EXPECT_TRUE(d.ok()) << type;
        EXPECT_EQ(d.payload, bmp) << type;
    }
}

TEST(ObjectHeader, ShortFieldIsFalse) {
    const auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
    const SkipReason noValue{SkipCode::NoValue, ""};
    const SkipReason noHeader{SkipCode::Damaged, "shorter than an object header"};
    const SkipReason noClass{SkipCode::Damaged, "the class name lies outside the value"};
    const std::pair<std::size_t, SkipReason> cases[] = {
        {0, noValue}, {1, noHeader}, {19, noHeader}, {20, noClass}, {30, noClass}};
    for (const auto& [length, skip] : cases) {
        const Decoded d =
            DecodeField({field.begin(), field.begin() + static_cast<std::ptrdiff_t>(length)});
        EXPECT_FALSE(d.ok()) << length;
        EXPECT_TRUE(d.reason.empty()) << length;
        EXPECT_EQ(d.skip, skip) << length;
    }
}

TEST(ObjectHeader, ClassNameOutsideTheFieldIsFalse) {
    for (std::int32_t offset : {-1, 5000, 32767}) {
        auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
        Put16(field, kClassOffsetAt, offset);
        const Decoded d = DecodeField(field);
        EXPECT_FALSE(d.ok()) << offset;
        EXPECT_TRUE(d.reason.empty()) << offset;
        EXPECT_EQ(d.skip, (SkipReason{SkipCode::Damaged, "the class name lies outside the value"}))
            << offset;
    }
}

struct ClassCase {
    const char* className;
    bool supported;
};

class ClassNameDispatch : public ::testing::TestWithParam<ClassCase> {};

// The field carries an unrecognisable payload: a supported class fails later, without the
// unsupported-format reason; an unsupported one fails with it.
TEST_P(ClassNameDispatch, MatchesOnTheFirstSevenCharacters) {
    const Decoded d = DecodeField(fx::BuildUnsupportedObject(GetParam().className));
    EXPECT_FALSE(d.ok());
    const std::string className = GetParam().className;
    if (GetParam().supported) {
        EXPECT_NE(d.reason.number, static_cast<std::int32_t>(0x80040236));
        if (className != "OT_STATIC") {
            EXPECT_EQ(d.skip, (SkipReason{SkipCode::Damaged,
                                          "a " + className + " object that could not be read"}));
        }
    } else {
        EXPECT_EQ(d.skip, (SkipReason{SkipCode::UnsupportedClass, className}));
        EXPECT_EQ(d.reason.number, static_cast<std::int32_t>(0x80040236));
        EXPECT_EQ(d.reason.source, kSource);
        EXPECT_EQ(d.reason.description, kUnsupportedText);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, ClassNameDispatch,
    ::testing::Values(ClassCase{"Word.Document.12", true}, ClassCase{"Word.Do", true},
                      ClassCase{"word.document.8", false}, ClassCase{"WORD.DOCUMENT.8", false},
                      ClassCase{"Word.D", false}, ClassCase{"Excel.Sheet.12", true},
                      ClassCase{"Paint.Picture", true}, ClassCase{"PBrush", false},
                      ClassCase{"OT_STATIC", true}, ClassCase{"MSPhotoEd.3", true},
                      ClassCase{"Acme.Drawing", false}));

TEST(ObjectHeader, ClassNameLengthZeroOrOneIsUnsupported) {
    for (std::int32_t length : {0, 1, -5}) {
        auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
        Put16(field, kClassLengthAt, length);
        const Decoded d = DecodeField(field);
        EXPECT_FALSE(d.ok()) << length;
        EXPECT_EQ(d.reason.number, static_cast<std::int32_t>(0x80040236)) << length;
    }
}

TEST(ObjectHeader, OverflowingHeaderSumIsFalse) {
    auto field = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
    Put16(field, kHeaderSizeAt, 32760);
    const Decoded d = DecodeField(field);
    EXPECT_FALSE(d.ok());
    EXPECT_TRUE(d.reason.empty());
}

TEST(ObjectHeader, OnlyAFailureCarriesAReason) {
    const Decoded refused = DecodeField(fx::BuildUnsupportedObject());
    EXPECT_FALSE(refused.reason.empty());
    EXPECT_TRUE(refused.payload.empty());
    const Decoded decoded = DecodeField(fx::BuildPaintPicture(fx::MakeBmpFile(3, 3)));
    EXPECT_TRUE(decoded.reason.empty());
    EXPECT_FALSE(decoded.skip);
}

}  // namespace
}  // namespace pictrova::ole

namespace pictrova::ole {
namespace {

namespace fx = fixtures;

// What a scan and the reasons read from a value's first bytes: the header, the class and, for
// static objects, the presentation format.
TEST(SummariseObject, ReadsTheHeaderTheClassAndTheStaticFormatOnce) {
    struct Case {
        const char* name;
        fx::Bytes value;
        bool header;
        std::optional<std::string> className;
        bool linked, isStatic;
        std::optional<std::string> format;
    };
    const fx::Bytes paint = fx::BuildPaintPicture(fx::MakeBmpFile(3, 3));
    const Case cases[] = {
        {"empty", {}, false, std::nullopt, false, false, std::nullopt},
        {"19 bytes", fx::Bytes(paint.begin(), paint.begin() + 19), false, std::nullopt, false,
         false, std::nullopt},
        {"paint picture", paint, true, "Paint.Picture", false, false, std::nullopt},
        {"linked", fx::BuildLinkedObject("Acme.Thing"), true, "Acme.Thing", true, false,
         std::nullopt},
        {"static bitmap", fx::BuildStaticDib(fx::MakePackedDib(2, 2, 24)), true, "Pic", false, true,
         "DIB"},
        {"zeros: no type, no class", fx::Bytes(30, 0), true, "", false, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ObjectSummary s = SummariseObject(c.value);
        EXPECT_EQ(s.empty, c.value.empty());
        EXPECT_EQ(s.header.has_value(), c.header);
        EXPECT_EQ(s.className, c.className);
        EXPECT_EQ(s.linked(), c.linked);
        EXPECT_EQ(s.isStatic(), c.isStatic);
        EXPECT_EQ(s.presentationFormat, c.format);
        EXPECT_EQ(s.decoderClass(), c.isStatic ? "OT_STATIC" : c.className.value_or(""));
    }
}

}  // namespace
}  // namespace pictrova::ole
