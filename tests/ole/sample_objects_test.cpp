// SPDX-License-Identifier: GPL-3.0-or-later
// Every ready-made object of the builders, decoded: exact output bytes and extension.
#include <gtest/gtest.h>

#include "ole/ole_object_decoder.h"
#include "ole_builder/sample_objects.h"
#include "sample_params.h"

namespace pictrova::ole {
namespace {

using fixtures::SampleObject;

class DecodesSample : public ::testing::TestWithParam<SampleObject> {};

TEST_P(DecodesSample, GivesTheEmbeddedFile) {
    const SampleObject& sample = GetParam();
    std::vector<std::uint8_t> bytes = sample.field;
    std::string extension, label;
    FailureReason reason;
    const bool ok = fGetContentsStream(bytes, extension, label, &reason);
    ASSERT_EQ(ok, sample.decodes);
    if (!sample.decodes) return;
    EXPECT_EQ(extension, sample.extension);
    EXPECT_EQ(label, sample.label);
    EXPECT_TRUE(reason.empty());
    if (sample.rendered) {
        // Pixels are checked by the metafile tests; here the size the reference device gives.
        const std::size_t stride = (static_cast<std::size_t>(sample.renderedWidth) * 3 + 3) & ~std::size_t{3};
        EXPECT_EQ(bytes.size(), 54 + stride * static_cast<std::size_t>(sample.renderedHeight));
        return;
    }
    EXPECT_EQ(bytes.size(), sample.expectedFile.size());
    EXPECT_TRUE(bytes == sample.expectedFile);
}

INSTANTIATE_TEST_SUITE_P(AllRows, DecodesSample, ::testing::ValuesIn(fixtures::AllSampleObjects()), PICTROVA_SAMPLE_NAME);

}  // namespace
}  // namespace pictrova::ole
