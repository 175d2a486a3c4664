// SPDX-License-Identifier: GPL-3.0-or-later
// Packages: the embedded file and the label.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

fx::PackageContents Contents(std::string label, fx::Bytes file) {
    fx::PackageContents c;
    c.label = std::move(label);
    c.file = std::move(file);
    return c;
}

// Where the embedded file size lies in a package built from `contents`.
std::size_t FileSizeOffset(const fx::PackageContents& c) {
    return 70 + c.label.size() + 1 + c.sourcePath.size() + 1 + 4 + 4 + c.tempPath.size() + 1;
}

TEST(Package, GivesTheEmbeddedFileAndTheLabelWithItsZero) {
    const auto c = Contents("Sunny", fx::MakeBmpFile(5, 5));
    const Decoded d = DecodeField(fx::BuildPackage(c));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "pak");
    EXPECT_EQ(d.packageName, "Sunny");
    EXPECT_EQ(d.payload, c.file);
}

TEST(Package, NameIsTheLabelWithoutItsZeroByte) {
    const Decoded d = DecodeField(fx::BuildPackage(Contents("x", {1, 2, 3})));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.packageName, "x");
}

TEST(Package, EmptyLabelAndPathsAreFine) {
    fx::PackageContents c = Contents("", {9, 8, 7});
    c.sourcePath = "";
    c.tempPath = "";
    const Decoded d = DecodeField(fx::BuildPackage(c));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.packageName, "");
    EXPECT_EQ(d.payload, c.file);
}

TEST(Package, FileSizeBoundaries) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    const auto field = fx::BuildPackage(c);
    const std::size_t at = FileSizeOffset(c);
    ASSERT_EQ(Get32(field, at), 50u);
    auto withSize = [&](std::int64_t size) {
        auto f = field;
        Put32(f, at, size);
        return DecodeField(f);
    };
    EXPECT_TRUE(withSize(49).ok());
    EXPECT_EQ(withSize(49).payload, fx::Bytes(49, 0x42));
    EXPECT_FALSE(withSize(51).ok());                                           // past the field
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size()) - 1).ok());  // the size test
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size()) - 2).ok());  // past the field
    EXPECT_FALSE(withSize(-1).ok());
    EXPECT_FALSE(withSize(0).ok());  // an empty package holds no picture
}

TEST(Package, NegativeTemporaryPathLengthIsFalse) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    auto field = fx::BuildPackage(c);
    const std::size_t at = FileSizeOffset(c) - c.tempPath.size() - 1 - 4;
    ASSERT_EQ(Get32(field, at), c.tempPath.size() + 1);
    Put32(field, at, 0x0001FFF0);  // low 16 bits: -16
    EXPECT_FALSE(DecodeField(field).ok());
}

TEST(Package, OnlyTheLow16BitsOfTheTemporaryPathLengthCount) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    auto field = fx::BuildPackage(c);
    const std::size_t at = FileSizeOffset(c) - c.tempPath.size() - 1 - 4;
    Put32(field, at, 0x00050000 + static_cast<std::int64_t>(c.tempPath.size()) + 1);
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload, c.file);
}

TEST(Package, LabelWithoutTerminatorIsFalse) {
    auto field = fx::BuildPackage(Contents("label", {1}));
    field.resize(73);
    EXPECT_FALSE(DecodeField(field).ok());
}

}  // namespace
}  // namespace pictrova::ole

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

// The object header holds the display name of the system that saved the package; the package is
// found from the OLE 1.0 header after it, so the file and label come out the same under any
// name. Under the English name the native data sits where it always did (type word at 68).
class PackageDisplayName : public ::testing::TestWithParam<const char*> {};

TEST_P(PackageDisplayName, GivesTheSameFileAndLabel) {
    fx::PackageContents c;
    c.label = "Foto.jpg";
    c.file = fx::MakeBmpFile(6, 5);
    c.displayName = GetParam();
    const auto field = fx::BuildPackage(c);
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "pak");
    EXPECT_EQ(d.packageName, "Foto.jpg");
    EXPECT_EQ(d.payload, c.file);
    EXPECT_FALSE((d.source == PayloadSource::StoredPreview));
    if (std::string(GetParam()) == "Package") {
        EXPECT_EQ(field.at(68), 2);
        EXPECT_EQ(field.at(70), 'F');
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, PackageDisplayName,
                         ::testing::Values("Package", "Objekt-Manager-Shellobjekt",
                                           "Objet Gestionnaire de paquets", "", "P",
                                           "Paquete de Windows con un nombre bastante largo"));

// The German name moved every fixed offset by 19: the package's file size at the old place
// is now inside the label, which used to refuse the object (or take the wrong bytes).
TEST(Package, GermanDisplayNameNoLongerReadAtTheEnglishOffsets) {
    fx::PackageContents c = Contents("Foto", fx::Bytes(30, 0x5A));
    c.displayName = "Objekt-Manager-Shellobjekt";
    const auto field = fx::BuildPackage(c);
    ASSERT_EQ(field.at(68 + 19), 2);  // the type word moved by 19
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload, c.file);
}

// Every read stays inside the native data: a file size that runs past it into the presentation
// stored after it is damage, even though the field holds the bytes.
TEST(Package, FileRunningPastTheNativeDataIsFalse) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    auto field = fx::BuildPackage(c);
    const auto tail = fx::MakeNoPresentation();
    field.insert(field.end(), tail.begin(), tail.end());
    const std::size_t at = FileSizeOffset(c);
    Put32(field, at, 51);
    EXPECT_FALSE(DecodeField(field).ok());
    Put32(field, at, 50);
    EXPECT_EQ(DecodeField(field).payload, c.file);
}

}  // namespace
}  // namespace pictrova::ole
