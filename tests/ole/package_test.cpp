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
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.extension, "pak");
    EXPECT_EQ(d.label, std::string("Sunny") + '\0');
    EXPECT_EQ(d.label.size(), 6u);
    EXPECT_EQ(d.bytes, c.file);
}

TEST(Package, LabelIsAppendedToWhatTheCallerPassed) {
    auto field = fx::BuildPackage(Contents("x", {1, 2, 3}));
    std::string extension, label = "pre";
    ASSERT_TRUE(fGetContentsStream(field, extension, label));
    EXPECT_EQ(label, std::string("prex") + '\0');
}

TEST(Package, EmptyLabelAndPathsAreFine) {
    fx::PackageContents c = Contents("", {9, 8, 7});
    c.sourcePath = "";
    c.tempPath = "";
    const Decoded d = DecodeField(fx::BuildPackage(c));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.label, std::string(1, '\0'));
    EXPECT_EQ(d.bytes, c.file);
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
    EXPECT_TRUE(withSize(49).ok);
    EXPECT_EQ(withSize(49).bytes, fx::Bytes(49, 0x42));
    EXPECT_FALSE(withSize(51).ok);                                           // past the field
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size()) - 1).ok);  // the size test
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size()) - 2).ok);  // past the field
    EXPECT_FALSE(withSize(-1).ok);
    EXPECT_FALSE(withSize(0).ok);  // an empty package holds no picture
}

TEST(Package, NegativeTemporaryPathLengthIsFalse) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    auto field = fx::BuildPackage(c);
    const std::size_t at = FileSizeOffset(c) - c.tempPath.size() - 1 - 4;
    ASSERT_EQ(Get32(field, at), c.tempPath.size() + 1);
    Put32(field, at, 0x0001FFF0);  // low 16 bits: -16
    EXPECT_FALSE(DecodeField(field).ok);
}

TEST(Package, OnlyTheLow16BitsOfTheTemporaryPathLengthCount) {
    const auto c = Contents("label", fx::Bytes(50, 0x42));
    auto field = fx::BuildPackage(c);
    const std::size_t at = FileSizeOffset(c) - c.tempPath.size() - 1 - 4;
    Put32(field, at, 0x00050000 + static_cast<std::int64_t>(c.tempPath.size()) + 1);
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.bytes, c.file);
}

TEST(Package, LabelWithoutTerminatorIsFalse) {
    auto field = fx::BuildPackage(Contents("label", {1}));
    field.resize(73);
    EXPECT_FALSE(DecodeField(field).ok);
}

}  // namespace
}  // namespace pictrova::ole
