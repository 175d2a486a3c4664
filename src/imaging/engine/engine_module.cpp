// SPDX-License-Identifier: GPL-3.0-or-later
// The engine module's one export: its calls, each of which turns what the engine throws into an
// EngineOutcome, so that no exception leaves the module.

#include <algorithm>
#include <cstring>
#include <exception>
#include <span>
#include <string_view>

#include "common/error.h"
#include "imaging/engine/engine_images.h"
#include "imaging/engine/engine_metafiles.h"
#include "imaging/engine_module.h"

namespace pictrova::imaging {
namespace {

void Report(EngineOutcome* outcome, EngineStatus status, std::string_view message,
            std::int64_t width = 0, std::int64_t height = 0) {
    outcome->status = status;
    outcome->width = width;
    outcome->height = height;
    const std::size_t length = std::min(message.size(), sizeof outcome->message - 1);
    std::memcpy(outcome->message, message.data(), length);
    outcome->message[length] = '\0';
}

// Runs `work` and reports how it ended.
template <typename Work>
void Outcome(EngineOutcome* outcome, Work&& work) noexcept {
    try {
        work();
        Report(outcome, kEngineDone, "");
    } catch (const EngineOverLimits& e) {
        Report(outcome, kEngineOverLimits, e.what(), e.width(), e.height());
    } catch (const PictureTooBig& e) {
        Report(outcome, kEngineTooBig, e.what(), e.width(), e.height());
    } catch (const std::exception& e) {
        Report(outcome, kEngineFailed, e.what());
    } catch (...) {
        Report(outcome, kEngineFailed, "the image engine failed");
    }
}

void Start(const EngineStart* start) {
    try {
        StartEngineLibrary(*start);
    } catch (...) {
        // A start that fails shows in the first picture's outcome.
    }
}

void WidenLimitsInChild() {
    try {
        WidenEngineLimitsInChild();
    } catch (...) {
    }
}

void DetectFormat(const std::uint8_t* bytes, std::size_t size, char* name, std::size_t nameSize,
                  EngineOutcome* outcome) {
    Outcome(outcome, [&] {
        char detected[MaxTextExtent] = {};
        MagickLib::ExceptionInfo exception;
        MagickLib::GetExceptionInfo(&exception);
        const auto passed = MagickLib::GetMagickFileFormat(bytes, std::min<std::size_t>(size, 4096),
                                                           detected, sizeof detected, &exception);
        MagickLib::DestroyExceptionInfo(&exception);
        if (passed != MagickPass || detected[0] == '\0' || std::strlen(detected) >= nameSize)
            throw Error("input is not a picture of a known format");
        std::strcpy(name, detected);
    });
}

void Decode(const std::uint8_t* bytes, std::size_t size, const char* coder, std::uint32_t flags,
            EngineBitmapAllocator allocate, void* context, EngineOutcome* outcome) {
    Outcome(outcome, [&] {
        Magick::Image picture = ReadEngineImage(std::span<const std::uint8_t>(bytes, size), coder,
                                                (flags & kEngineDecodeStrict) != 0);
        if ((flags & kEngineDecodeDropAlpha) != 0)
            picture.matte(false);
        EngineImageToBitmap(picture, allocate, context);
    });
}

double LineSpacingPerEm() {
    try {
        return ReaderLineSpacingPerEm();
    } catch (...) {
        return 1.0;
    }
}

void DrawMetafile(const std::uint8_t* placeable, std::size_t size, double xDpi, double yDpi,
                  std::int32_t width, std::int32_t height, std::uint8_t* out, std::size_t outSize,
                  std::int32_t stride, EngineOutcome* outcome) {
    Outcome(outcome, [&] {
        DrawPlaceableMetafile(std::span<const std::uint8_t>(placeable, size), xDpi, yDpi, width,
                              height, std::span<std::uint8_t>(out, outSize), stride);
    });
}

constexpr EngineCalls kCalls = {
    .version = kEngineModuleVersion,
    .start = Start,
    .widenLimitsInChild = WidenLimitsInChild,
    .detectFormat = DetectFormat,
    .decode = Decode,
    .lineSpacingPerEm = LineSpacingPerEm,
    .drawMetafile = DrawMetafile,
};

}  // namespace
}  // namespace pictrova::imaging

extern "C" __attribute__((visibility("default"))) const EngineCalls* pictrova_engine_calls() {
    return &pictrova::imaging::kCalls;
}
