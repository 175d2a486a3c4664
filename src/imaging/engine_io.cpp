// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/engine_io.h"

#include <cstring>
#include <fstream>
#include <optional>

#include "common/child_output.h"
#include "common/error.h"
#include "common/limits.h"
#include "imaging/high_colour_bmp.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

void ThrowEngineError(const Magick::Exception& e) {
    if (dynamic_cast<const Magick::ErrorResourceLimit*>(&e) != nullptr ||
        dynamic_cast<const Magick::WarningResourceLimit*>(&e) != nullptr ||
        dynamic_cast<const Magick::ErrorCache*>(&e) != nullptr) {
        NoteResourceShortfall();
        throw PictureTooBig(e.what());
    }
    throw Error(e.what());
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path,
                                        std::uintmax_t maxBytes) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        throw Error("Cannot read " + path.string() + ": " + ec.message());
    if (size > maxBytes)
        throw Error("File " + path.string() + " is too large to be a picture");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()))) {
        throw Error("Cannot read " + path.string());
    }
    return bytes;
}

Magick::Image ReadEngineImage(std::span<const std::uint8_t> bytes, std::string_view coder,
                              bool strict) {
    StartImageEngine();
    if (bytes.empty())
        throw Error("empty picture");
    return WithEngineErrors([&] {
        Magick::Image image;
        image.quiet(!strict);
        // Only the first frame is decoded: a hostile animation cannot make us decode the rest.
        image.subImage(0);
        image.subRange(1);
        if (!coder.empty())
            image.magick(std::string(coder));
        // The engine widens 16-bit pixels one level too dark; those files come widened already.
        const std::optional<std::vector<std::uint8_t>> widened =
            coder.empty() || coder == "BMP" ? WidenHighColourBmp(bytes) : std::nullopt;
        const std::span<const std::uint8_t> input =
            widened ? std::span<const std::uint8_t>(*widened) : bytes;
        try {
            // PDF pages are drawn by Ghostscript, which the engine starts with our standard
            // output and error: its messages are the record's, and our stdout stays ours.
            std::optional<ChildOutputCapture> ghostscript;
            if (coder == "PDF")
                ghostscript.emplace("gs");
            image.read(Magick::Blob(input.data(), input.size()));
        } catch (const Magick::WarningCorruptImage& e) {
            throw Error(e.what());
        } catch (const Magick::Warning&) {
            // Other remarks (an unknown tag, an odd profile) leave a sound picture.
        }
        if (image.columns() == 0 || image.rows() == 0)
            throw Error("picture has no pixels");
        return image;
    });
}

void EngineImageToDib(const Magick::Image& image, cDIBSection& dib,
                      const Magick::Color& background) {
    WithEngineErrors([&] {
        const auto width = static_cast<std::int64_t>(image.columns());
        const auto height = static_cast<std::int64_t>(image.rows());
        if (!PictureSizeAllowed(width, height)) {
            throw PictureTooBig("picture larger than the bitmap class makes", width, height);
        }
        Magick::Image flat = image;
        if (image.matte()) {
            flat = Magick::Image(Magick::Geometry(image.columns(), image.rows()), background);
            flat.composite(image, 0, 0, Magick::OverCompositeOp);
        }
        if (!dib.Create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 3)) {
            throw PictureTooBig("picture larger than the bitmap class makes", width, height);
        }
        const auto stride = static_cast<std::size_t>(dib.BytesPerScanLine());
        std::uint8_t* bits = dib.DIBSectionBitsPtr();
        for (std::int64_t y = 0; y < height; ++y) {
            flat.write(0, y, image.columns(), 1, "BGR", Magick::CharPixel,
                       bits + static_cast<std::size_t>(height - 1 - y) * stride);
        }
        return 0;
    });
}

Magick::Image DibToEngineImage(const cDIBSection& dib) {
    StartImageEngine();
    if (dib.dib_width() <= 0 || dib.dib_height() <= 0)
        throw Error("no picture");
    return WithEngineErrors([&] {
        const auto width = static_cast<std::size_t>(dib.dib_width());
        const auto height = static_cast<std::size_t>(dib.dib_height());
        const auto stride = static_cast<std::size_t>(dib.BytesPerScanLine());
        const std::size_t channels = static_cast<std::size_t>(dib.dib_channels());
        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        // The engine takes rows top first and unpadded. Rather than a second copy of the picture
        // in that order, the image is made from the bitmap's own first width x height x 3 bytes
        // (which the bitmap always holds; its rows land out of place) and then each row is
        // rewritten from its place in the bitmap, scaled as the engine scales 8-bit samples.
        Magick::Image image(width, height, "BGR", Magick::CharPixel, bits);
        constexpr auto kScale = static_cast<unsigned>(MaxRGB / 255U);
        {
            Magick::Pixels view(image);
            for (std::size_t y = 0; y < height; ++y) {
                const std::uint8_t* src = bits + (height - 1 - y) * stride;
                Magick::PixelPacket* pixel =
                    view.get(0, static_cast<int>(y), static_cast<unsigned>(width), 1);
                for (std::size_t x = 0; x < width; ++x, src += channels, ++pixel) {
                    pixel->blue = static_cast<Magick::Quantum>(src[0] * kScale);
                    pixel->green = static_cast<Magick::Quantum>(src[1] * kScale);
                    pixel->red = static_cast<Magick::Quantum>(src[2] * kScale);
                }
                view.sync();
            }
        }
        image.type(Magick::TrueColorType);
        return image;
    });
}

}  // namespace pictrova::imaging
