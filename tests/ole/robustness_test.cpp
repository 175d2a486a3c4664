// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged fields: every truncation and thousands of byte flips of every valid object give true
// or false, never a crash, a read outside the field or an outsized allocation (run under the
// asan preset to see the reads).
#include <gtest/gtest.h>

#include <random>

#include "imaging/dib_section.h"
#include "ole/ole_object_decoder.h"
#include "ole_builder/sample_objects.h"
#include "sample_params.h"

namespace pictrova::ole {
namespace {

// Decodes a damaged copy and checks the output stays within a bounded multiple of the input. A
// metafile's picture size comes from its frame, not its byte count: the bitmap class's own
// pixel limit bounds it instead (a damaged object may also fall back on its stored metafile).
void DecodeDamaged(const std::vector<std::uint8_t>& field, bool rendered) {
    const DecodeResult d = DecodeOleObject(field);
    if (!d.ok())
        return;
    const std::vector<std::uint8_t>& bytes = d.payload;
    if (rendered || d.source == PayloadSource::StoredPreview) {
        EXPECT_LE(bytes.size(), 54 + 3 * kMaxPicturePixels + 3 * kMaxPictureSide);
    } else {
        // The largest growth the decoder allows: a photo-editor picture of one-byte rows padded
        // to four bytes plus its colour table, or a paint picture padded to twice its data.
        EXPECT_LE(bytes.size(), 4 * field.size() + 2048)
            << "output of " << field.size() << " bytes in";
    }
}

// Rendering a metafile costs milliseconds; fewer rounds keep the test quick. Objects that store
// a metafile render it whenever the damage hits their own data.
int Rounds(const fixtures::SampleObject& sample, int rounds) {
    return sample.rendered || sample.storesMetafile ? rounds / 10 : rounds;
}

class DamagedSample : public ::testing::TestWithParam<fixtures::SampleObject> {};

TEST_P(DamagedSample, EveryTruncationDecodesOrFails) {
    const auto& field = GetParam().field;
    for (std::size_t length = 0; length < field.size(); ++length)
        DecodeDamaged(std::vector<std::uint8_t>(
                          field.begin(), field.begin() + static_cast<std::ptrdiff_t>(length)),
                      GetParam().rendered);
}

TEST_P(DamagedSample, RandomByteFlipsDecodeOrFail) {
    const auto& field = GetParam().field;
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> position(0, field.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    std::uniform_int_distribution<int> flips(1, 4);
    for (int round = 0; round < Rounds(GetParam(), 3000); ++round) {
        std::vector<std::uint8_t> damaged = field;
        for (int i = flips(random); i > 0; --i)
            damaged[position(random)] = static_cast<std::uint8_t>(value(random));
        DecodeDamaged(damaged, GetParam().rendered);
    }
}

// Damage concentrated where the sizes live: the object header and the first bytes after it.
TEST_P(DamagedSample, HeaderByteFlipsDecodeOrFail) {
    const auto& field = GetParam().field;
    std::mt19937 random(7);
    const std::size_t span = std::min<std::size_t>(field.size(), 120);
    std::uniform_int_distribution<std::size_t> position(0, span - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int round = 0; round < Rounds(GetParam(), 2000); ++round) {
        std::vector<std::uint8_t> damaged = field;
        damaged[position(random)] = static_cast<std::uint8_t>(value(random));
        damaged[position(random)] = static_cast<std::uint8_t>(value(random));
        DecodeDamaged(damaged, GetParam().rendered);
    }
}

INSTANTIATE_TEST_SUITE_P(AllRows, DamagedSample, ::testing::ValuesIn(fixtures::AllSampleObjects()),
                         PICTROVA_SAMPLE_NAME);

}  // namespace
}  // namespace pictrova::ole
