// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged object records in metafiles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "imaging/dib_section.h"
#include "test_paths.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

using testing::WmfBuilder;

// Captures what the process writes to its standard error while `action` runs (this test's own
// seam: the program never redirects it).
template <typename Action>
std::string StandardErrorOf(Action action) {
    testing::TempDir dir;
    const std::string path = (dir / "stderr").string();
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    FILE* sink = std::fopen(path.c_str(), "w");
    dup2(fileno(sink), STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::fclose(sink);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The engine's metafile reader stops at a record naming an object it cannot have and writes
// "ERROR: player/..." to standard error. Such records are now left out, as the reference
// platform skips them, and the rest of the picture is drawn in silence.
TEST(Regression, RendererWroteObjectDamageToStandardError) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> bits;
    } cases[] = {
        {"select out of range", WmfBuilder::TwoShapes().SelectObject(40).Build()},
        {"delete out of range", WmfBuilder::TwoShapes().Raw(0x01F0, {-2}).Build()},
        {"create into a full table", WmfBuilder::TwoShapes().Raw(0x02FA, {0, 1, 0, 0, 0}).Build()},
        {"region with odd point count",
         WmfBuilder::TwoShapes()
             .Raw(0x06FF, {0, 6, 0, 0, 0, 1, 0, 0, 0, 5, 5, 1, 0, 1, 2, 1})
             .Build()},
        {"fill with objects that are not a region",
         WmfBuilder::TwoShapes().Raw(0x0228, {1, 2}).Build()},
        {"paint of a free slot", WmfBuilder::TwoShapes().Raw(0x012B, {0}).Build()},
        {"window scaled by zero", WmfBuilder::TwoShapes().Raw(0x0410, {0, 1, 0, 1}).Build()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bits = c.bits;
        std::int32_t mm = MM_ANISOTROPIC, xExt = 2540, yExt = 2540;
        cDIBSection dib;
        bool drawn = false;
        EXPECT_EQ(StandardErrorOf([&] { drawn = dib.WMFtoBMP(bits, mm, xExt, yExt); }), "");
        ASSERT_TRUE(drawn);
        // The shapes before the damaged record are there: red rectangle, blue ellipse.
        auto pixel = [&](int x, int y) {
            const std::size_t at =
                static_cast<std::size_t>(95 - y) * dib.BytesPerScanLine() + 3 * x;
            return std::array<int, 3>{bits.at(at), bits.at(at + 1), bits.at(at + 2)};
        };
        EXPECT_EQ(pixel(10, 10), (std::array<int, 3>{0, 0, 255}));
        EXPECT_EQ(pixel(72, 72), (std::array<int, 3>{255, 0, 0}));
    }
}

}  // namespace
}  // namespace pictrova::imaging
