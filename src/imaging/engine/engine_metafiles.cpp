// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/engine/engine_metafiles.h"

#include <Magick++.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"

namespace pictrova::imaging {
namespace {

struct ImageInfoDeleter {
    void operator()(MagickLib::ImageInfo* p) const { MagickLib::DestroyImageInfo(p); }
};

// Reads a placeable metafile with the engine's metafile reader at `xDpi` x `yDpi`, on an opaque
// white background.
Magick::Image ReadMetafile(std::span<const std::uint8_t> placeable, double xDpi, double yDpi) {
    std::unique_ptr<MagickLib::ImageInfo, ImageInfoDeleter> info(
        MagickLib::CloneImageInfo(nullptr));
    char density[96];
    std::snprintf(density, sizeof density, "%.9fx%.9f", xDpi, yDpi);
    MagickLib::CloneString(&info->density, density);
    std::strcpy(info->magick, "WMF");
    std::strcpy(info->filename, "WMF:");
    info->background_color.red = info->background_color.green = info->background_color.blue =
        MaxRGB;
    info->background_color.opacity = OpaqueOpacity;

    MagickLib::ExceptionInfo exception;
    MagickLib::GetExceptionInfo(&exception);
    MagickLib::Image* raw =
        MagickLib::BlobToImage(info.get(), placeable.data(), placeable.size(), &exception);
    const bool failed = raw == nullptr || exception.severity >= MagickLib::ErrorException;
    std::string reason = exception.reason ? exception.reason : "metafile not rendered";
    MagickLib::DestroyExceptionInfo(&exception);
    if (failed) {
        if (raw)
            MagickLib::DestroyImageList(raw);
        throw Error(reason);
    }
    return Magick::Image(raw);
}

}  // namespace

double ReaderLineSpacingPerEm() {
    static const double ratio = [] {
        constexpr double kPointSize = 1000;
        MagickLib::DrawInfo* draw = MagickLib::CloneDrawInfo(nullptr, nullptr);
        MagickLib::CloneString(&draw->font, "Helvetica");
        MagickLib::CloneString(&draw->text, "Hg");
        draw->pointsize = kPointSize;
        MagickLib::Image* image = MagickLib::AllocateImage(nullptr);
        MagickLib::TypeMetric metrics{};
        const bool measured =
            image && MagickLib::GetTypeMetrics(image, draw, &metrics) != 0 && metrics.height > 0;
        if (image)
            MagickLib::DestroyImage(image);
        MagickLib::DestroyDrawInfo(draw);
        return measured ? metrics.height / kPointSize : 1.0;
    }();
    return ratio;
}

void DrawPlaceableMetafile(std::span<const std::uint8_t> placeable, double xDpi, double yDpi,
                           std::int32_t width, std::int32_t height, std::span<std::uint8_t> out,
                           std::int32_t stride) {
    Magick::Image drawn = ReadMetafile(placeable, xDpi, yDpi);

    // Whatever the reader drew lands on a white canvas of exactly the computed size; areas the
    // metafile leaves unpainted (or transparent) stay white, so that black text and lines on
    // nothing stay visible.
    Magick::Image canvas(
        Magick::Geometry(static_cast<unsigned>(width), static_cast<unsigned>(height)),
        Magick::Color(MaxRGB, MaxRGB, MaxRGB));
    canvas.composite(drawn, 0, 0, Magick::OverCompositeOp);

    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (std::int32_t y = 0; y < height; ++y) {
        canvas.write(0, y, static_cast<unsigned>(width), 1, "BGR", Magick::CharPixel, row.data());
        const std::size_t dest =
            static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(stride);
        std::copy(row.begin(), row.end(), out.subspan(dest, row.size()).begin());
    }
}

}  // namespace pictrova::imaging
