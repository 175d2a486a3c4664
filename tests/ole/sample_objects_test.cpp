// SPDX-License-Identifier: GPL-3.0-or-later
// Every ready-made object of the builders, decoded: exact output bytes and extension.
#include <gtest/gtest.h>

#include "ole/ole_object_decoder.h"
#include "ole_builder/sample_objects.h"

namespace pictrova::ole {
namespace {

using fixtures::SampleObject;

class DecodesSample : public ::testing::TestWithParam<SampleObject> {};

TEST_P(DecodesSample, GivesTheEmbeddedFile) {
    const SampleObject& sample = GetParam();
    if (sample.rendered) GTEST_SKIP() << "rendered output is checked by the metafile tests";
    std::vector<std::uint8_t> bytes = sample.field;
    std::string extension, label;
    FailureReason reason;
    const bool ok = fGetContentsStream(bytes, extension, label, &reason);
    ASSERT_EQ(ok, sample.decodes);
    if (!sample.decodes) return;
    EXPECT_EQ(extension, sample.extension);
    EXPECT_EQ(label, sample.label);
    EXPECT_TRUE(reason.empty());
    EXPECT_EQ(bytes.size(), sample.expectedFile.size());
    EXPECT_TRUE(bytes == sample.expectedFile);
}

INSTANTIATE_TEST_SUITE_P(AllRows, DecodesSample, ::testing::ValuesIn(fixtures::AllSampleObjects()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace pictrova::ole
