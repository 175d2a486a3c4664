// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/dib_section.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "common/checked_math.h"
#include "common/error.h"
#include "common/limits.h"
#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/isolated_work.h"
#include "imaging/metafile_cost.h"

namespace pictrova::imaging {
namespace {

// Logical units per inch written into the placeable header: chosen so that the reader's own
// unit (a point at its 72 dpi, in which it measures text) is a quarter of a pixel. Near that
// scale text keeps its proportions (far from it the reader places glyphs as if narrow and a
// word collapses onto itself); a point smaller than a pixel keeps the reader's rounding of text
// sizes down to whole points from shrinking small text by up to a pixel (or dropping text
// under a pixel high altogether).
constexpr double kPointsPerPixel = 4.0;

std::uint16_t PlaceableUnitsPerInch(const LogicalWindow& window, std::int32_t width) {
    const double units = std::round(std::abs(window.width) * 72.0 / (width * kPointsPerPixel));
    return static_cast<std::uint16_t>(std::clamp(units, 1.0, 65535.0));
}

// The reader sizes text so that the font's line spacing, not its em, fills the metafile's
// character height: text came out a quarter smaller than Windows draws it. Windows makes the em
// the character height (a negative font height) or the cell height less the internal leading
// (a positive one; the common Windows faces' em is 0.88 to 0.90 of their cell). Font heights
// are scaled by the line spacing per em of the reader's sans-serif face (Arial and most faces
// map to it; its serif and fixed faces are within 4 and 9 per cent of it).
constexpr double kWindowsEmPerCell = 0.89;

}  // namespace

bool cDIBSection::WMFtoBMP(std::vector<std::uint8_t>& bWMF, std::int32_t& mm, std::int32_t& xExt,
                           std::int32_t& yExt) {
    CleanUp();
    refusal_.reset();
    // Without the engine no metafile is drawn: that is the picture's error (why the engine could
    // not be loaded), not a metafile refused.
    LoadedImageEngine();
    try {
        if (!RenderMetafile(bWMF, mm, xExt, yExt)) {
            CleanUp();
            return false;
        }
    } catch (const std::exception&) {
        CleanUp();
        return false;
    }
    GetDIBBytes(bWMF);
    return true;
}

bool cDIBSection::RenderMetafile(const std::vector<std::uint8_t>& bWMF, std::int32_t mm,
                                 std::int32_t xExt, std::int32_t yExt) {
    CheckedMetafile metafile = CheckMetafile(bWMF);
    // Loads the engine here, in this process: the child below only draws.
    const EngineCalls& engine = LoadedImageEngine();
    const double lineSpacing = engine.lineSpacingPerEm();
    ScaleFontHeights(metafile, lineSpacing, lineSpacing * kWindowsEmPerCell);
    std::optional<Frame> frame = PictureFrame(mm, xExt, yExt, metafile.window, device_);
    if (!frame)
        return false;
    const PixelSize size = FramePixelSize(*frame, device_);
    if (!PictureSizeAllowed(size.width, size.height))
        return false;
    const auto width = static_cast<std::int32_t>(size.width);
    const auto height = static_cast<std::int32_t>(size.height);

    // Without window records the logical units are the frame's own pixels.
    LogicalWindow window = metafile.window.value_or(
        LogicalWindow{0, 0, static_cast<std::int16_t>(std::min(width, 32767)),
                      static_cast<std::int16_t>(std::min(height, 32767))});
    if (window.width == 0 || window.height == 0)
        return false;
    if (!MetafileCostAllowed(StandardMetafileWork(metafile, window, size), kWmfCostRates)) {
        refusal_ = RenderRefusal::TooCostly;
        return false;
    }

    const std::uint16_t unitsPerInch = PlaceableUnitsPerInch(window, width);
    std::vector<std::uint8_t> placeable = PlaceableHeader(window, unitsPerInch);
    const std::vector<std::uint8_t> framed = WithWindowBounds(metafile, window);
    placeable.insert(placeable.end(), framed.begin(), framed.end());

    if (!Create(width, height, 3))
        return false;
    const std::int32_t stride = BytesPerScanLine();
    // The reader takes ceil(window / units-per-inch * density): aim a hair below the target so
    // that floating-point noise never adds a column.
    const double xDpi = (width - 1e-4) * unitsPerInch / std::abs(window.width);
    const double yDpi = (height - 1e-4) * unitsPerInch / std::abs(window.height);
    // The reader can crash or loop on a damaged metafile that passed our checks: it runs in a
    // child process, and a child that fails or overruns its time is this metafile's false.
    const IsolatedOutcome outcome =
        RunIsolated(bits_, kWmfRenderTimeLimit, [&](std::span<std::uint8_t> out) {
            EngineOutcome drawn{};
            engine.drawMetafile(placeable.data(), placeable.size(), xDpi, yDpi, width, height,
                                out.data(), out.size(), stride, &drawn);
            ThrowUnlessDone(drawn);
        });
    if (outcome == IsolatedOutcome::TimeLimit)
        refusal_ = RenderRefusal::TimeLimit;
    return outcome == IsolatedOutcome::Done;
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return ((biBitCount_ / 8) * biWidth_ + 3) & ~3;
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels) {
    CleanUp();
    if (!PictureSizeAllowed(lWidth, lHeight))
        return false;
    biWidth_ = lWidth;
    biHeight_ = lHeight;
    biBitCount_ = lChannels == 3 ? 24 : 32;
    try {
        biSizeImage_ = CheckedMul(lHeight, BytesPerScanLine());
    } catch (const Error&) {
        CleanUp();
        return false;
    }
    bits_.assign(static_cast<std::size_t>(biSizeImage_), 0);
    return true;
}

void cDIBSection::GetDIBBytes(std::vector<std::uint8_t>& bBytes) const {
    bBytes = bits_;
}

void cDIBSection::CleanUp() {
    bits_.clear();
    bits_.shrink_to_fit();
    biWidth_ = biHeight_ = biBitCount_ = 0;
}

}  // namespace pictrova::imaging
