// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/engine/engine_images.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/limits.h"
#include "imaging/engine_start.h"
#include "imaging/high_colour_bmp.h"

namespace pictrova::imaging {
namespace {

static_assert(sizeof(MagickLib::PixelPacket) == kEngineBytesPerPixel,
              "the run's memory accounting takes kEngineBytesPerPixel for an engine pixel");

// The engine's memory and map limits as started; zero before the start.
std::atomic<std::int64_t> gMemoryBytes{0};
std::atomic<std::int64_t> gMapBytes{0};

std::once_flag gStarted;

void Start(const EngineStart& start) {
    std::call_once(gStarted, [&] {
        Magick::InitializeMagick(start.programDirectory);
        using namespace MagickLib;
        SetMagickResourceLimit(WidthResource, start.maxWidth);
        SetMagickResourceLimit(HeightResource, start.maxHeight);
        SetMagickResourceLimit(PixelsResource, start.maxPixels);
        gMemoryBytes = start.memoryBytes;
        gMapBytes = start.mapBytes;
        SetMagickResourceLimit(MemoryResource, start.memoryBytes);
        SetMagickResourceLimit(MapResource, start.mapBytes);
        SetMagickResourceLimit(DiskResource, start.diskBytes);
        // Metafiles render in a forked child (see isolated_work.h); an OpenMP thread pool does
        // not survive a fork, so the engine works on the calling thread only.
        SetMagickResourceLimit(ThreadsResource, 1);
    });
}

// In the module the program has started the engine before any other call; this start serves
// the tests and benchmarks that link this code directly.
void EnsureStarted() {
    Start(EngineStartFor(ImageEngineLimits{}, ""));
}

}  // namespace

void StartEngineLibrary(const EngineStart& start) {
    Start(start);
}

void StartEngineLibrary() {
    EnsureStarted();
}

// The child inherits the engine's accounting of the pictures the parent's other threads held at
// the fork, pictures it never uses: its limits are raised by them, so what the child can do does
// not depend on the work beside it.
void WidenEngineLimitsInChild() {
    using namespace MagickLib;
    if (const std::int64_t memory = gMemoryBytes.load(); memory > 0)
        SetMagickResourceLimit(
            MemoryResource, memory + static_cast<std::int64_t>(GetMagickResource(MemoryResource)));
    if (const std::int64_t map = gMapBytes.load(); map > 0)
        SetMagickResourceLimit(MapResource,
                               map + static_cast<std::int64_t>(GetMagickResource(MapResource)));
}

void ThrowEngineError(const Magick::Exception& e) {
    if (dynamic_cast<const Magick::ErrorResourceLimit*>(&e) != nullptr ||
        dynamic_cast<const Magick::WarningResourceLimit*>(&e) != nullptr ||
        dynamic_cast<const Magick::ErrorCache*>(&e) != nullptr) {
        throw EngineOverLimits(e.what());
    }
    throw Error(e.what());
}

Magick::Image ReadEngineImage(std::span<const std::uint8_t> bytes, std::string_view coder,
                              bool strict) {
    EnsureStarted();
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

void EngineImageToBitmap(const Magick::Image& image, EngineBitmapAllocator allocate,
                         void* context) {
    WithEngineErrors([&] {
        const auto width = static_cast<std::int64_t>(image.columns());
        const auto height = static_cast<std::int64_t>(image.rows());
        if (!PictureSizeAllowed(width, height)) {
            throw PictureTooBig("picture larger than the bitmap class makes", width, height);
        }
        Magick::Image flat = image;
        if (image.matte()) {
            flat = Magick::Image(Magick::Geometry(image.columns(), image.rows()),
                                 Magick::Color(MaxRGB, MaxRGB, MaxRGB));
            flat.composite(image, 0, 0, Magick::OverCompositeOp);
        }
        std::int32_t stride = 0;
        std::uint8_t* bits = allocate(context, static_cast<std::int32_t>(width),
                                      static_cast<std::int32_t>(height), &stride);
        if (bits == nullptr)
            throw PictureTooBig("picture larger than the bitmap class makes", width, height);
        for (std::int64_t y = 0; y < height; ++y) {
            flat.write(
                0, y, image.columns(), 1, "BGR", Magick::CharPixel,
                bits + static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(stride));
        }
        return 0;
    });
}

Magick::Image BitmapToEngineImage(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                                  std::int32_t stride, std::int32_t channels) {
    EnsureStarted();
    if (width <= 0 || height <= 0 || bits == nullptr)
        throw Error("no picture");
    return WithEngineErrors([&] {
        const auto columns = static_cast<std::size_t>(width);
        const auto rows = static_cast<std::size_t>(height);
        // The engine takes rows top first and unpadded. Rather than a second copy of the picture
        // in that order, the image is made from the bitmap's own first width x height x 3 bytes
        // (which the bitmap always holds; its rows land out of place) and then each row is
        // rewritten from its place in the bitmap, scaled as the engine scales 8-bit samples.
        Magick::Image image(columns, rows, "BGR", Magick::CharPixel, bits);
        constexpr auto kScale = static_cast<unsigned>(MaxRGB / 255U);
        {
            Magick::Pixels view(image);
            for (std::size_t y = 0; y < rows; ++y) {
                const std::uint8_t* src = bits + (rows - 1 - y) * static_cast<std::size_t>(stride);
                Magick::PixelPacket* pixel =
                    view.get(0, static_cast<int>(y), static_cast<unsigned>(columns), 1);
                for (std::size_t x = 0; x < columns;
                     ++x, src += static_cast<std::size_t>(channels), ++pixel) {
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
