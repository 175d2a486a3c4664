// SPDX-License-Identifier: GPL-3.0-or-later
// Truncated and mutated copies of every kind the loader reads, and of metafiles given to
// cDIBSection: each call returns its result and nothing crashes (run under the asan preset to
// see reads outside a buffer).

#include <gtest/gtest.h>

#include <random>

#include "imaging/dib_section.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_files.h"
#include "ole_builder/pictures.h"
#include "picture_fixtures.h"
#include "recording_host.h"
#include "test_paths.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

using testing::RecordingHost;
using testing::TempDir;

// Cut at a spread of lengths, and copies with a few bytes overwritten at random.
std::vector<std::vector<std::uint8_t>> DamagedCopies(const std::vector<std::uint8_t>& original,
                                                     unsigned seed) {
    std::vector<std::vector<std::uint8_t>> copies;
    for (std::size_t cut : {std::size_t{1}, std::size_t{2}, std::size_t{6}, std::size_t{14},
                            std::size_t{18}, std::size_t{22}, std::size_t{40}, std::size_t{54},
                            original.size() / 3, original.size() / 2, original.size() - 1}) {
        if (cut < original.size())
            copies.emplace_back(original.begin(),
                                original.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> position(0, original.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int i = 0; i < 40; ++i) {
        auto copy = original;
        const int changes = 1 + i % 4;
        for (int k = 0; k < changes; ++k) {
            // Bias towards the headers, where sizes and counts live.
            const std::size_t at =
                (k % 2 == 0) ? position(random) % std::min<std::size_t>(original.size(), 64)
                             : position(random);
            copy[at] = static_cast<std::uint8_t>(value(random));
        }
        copies.push_back(std::move(copy));
    }
    return copies;
}

TEST(HostilePictures, LoaderSurvivesDamagedCopiesOfEveryKind) {
    TempDir dir;
    PictureHolder card;
    testing::FillCard(card.Image(), 24, 16);
    card.SaveAsBmp(dir / "card.bmp");
    SaveJPG(card, dir / "card.jpg", 80);
    auto wmf = PlaceableHeader(LogicalWindow{0, 0, 1000, 1000}, 1440);
    auto records = testing::WmfBuilder::TwoShapes().Build();
    wmf.insert(wmf.end(), records.begin(), records.end());

    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> originals = {
        {"bmp", testing::ReadFile(dir / "card.bmp")},
        {"16-bit bmp", testing::HighColourCornersBmp({})},
        {"16-bit bmp with masks",
         testing::HighColourCornersBmp({.compression = 3, .masks = {0xF800, 0x07E0, 0x001F}})},
        {"1-bit bmp", fixtures::MakeBmpFile(13, 5, 1)},
        {"8-bit bmp", fixtures::MakeBmpFile(31, 7, 8, 100)},
        {"rle8 bmp", fixtures::MakeRunLengthBmpFile(37, 9, 8)},
        {"rle4 bmp", fixtures::MakeRunLengthBmpFile(37, 9, 4)},
        {"jpeg", testing::ReadFile(dir / "card.jpg")},
        {"gif", testing::EngineEncodedCard("GIF", 24, 16)},
        {"ico", testing::IconFile(1)},
        {"cur", testing::IconFile(2)},
        {"wmf", wmf},
    };
    unsigned seed = 1;
    for (const auto& [name, original] : originals) {
        SCOPED_TRACE(name);
        for (const auto& copy : DamagedCopies(original, seed++)) {
            testing::WriteFile(dir / "temp.bmp", copy);
            RecordingHost host;
            PictureHolder holder;
            std::string message;
            bool tooBig = false;
            const bool loaded =
                LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig);
            EXPECT_EQ(loaded, holder.HasPicture());
            EXPECT_EQ(loaded, message.empty());
        }
    }
}

TEST(HostilePictures, MetafileRendererSurvivesDamagedRecords) {
    testing::WmfBuilder text;
    text.SetWindowOrg(0, 0)
        .SetWindowExt(400, 100)
        .CreateFont(-60, "Times New Roman")
        .SelectObject(0);
    text.TextOut(5, 5, "Damaged");
    const std::vector<std::vector<std::uint8_t>> originals = {
        testing::WmfBuilder::TwoShapes().Build(), text.Build()};
    unsigned seed = 100;
    for (const auto& original : originals) {
        for (const auto& copy : DamagedCopies(original, seed++)) {
            auto bits = copy;
            std::int32_t mm = MM_ANISOTROPIC, xExt = 2540, yExt = 1270;
            cDIBSection dib;
            if (dib.WMFtoBMP(bits, mm, xExt, yExt)) {
                EXPECT_EQ(bits.size(),
                          static_cast<std::size_t>(dib.dib_height()) * dib.BytesPerScanLine());
            } else {
                EXPECT_EQ(bits, copy);
            }
        }
    }
}

}  // namespace
}  // namespace pictrova::imaging
