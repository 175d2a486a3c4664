// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/engine_io.h"

#include <fstream>
#include <optional>

#include "common/child_output.h"
#include "common/error.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

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

void ThrowUnlessDone(const EngineOutcome& outcome) {
    switch (outcome.status) {
        case kEngineDone:
            return;
        case kEngineOverLimits:
            NoteResourceShortfall();
            throw PictureTooBig(outcome.message, outcome.width, outcome.height);
        case kEngineTooBig:
            throw PictureTooBig(outcome.message, outcome.width, outcome.height);
        default:
            throw Error(outcome.message);
    }
}

namespace {

std::uint8_t* CreateBitmap(void* context, std::int32_t width, std::int32_t height,
                           std::int32_t* stride) {
    auto& dib = *static_cast<cDIBSection*>(context);
    try {
        if (!dib.Create(width, height, 3))
            return nullptr;
    } catch (...) {
        return nullptr;  // out of memory: refused as too big
    }
    *stride = dib.BytesPerScanLine();
    return dib.DIBSectionBitsPtr();
}

}  // namespace

void DecodeWithEngine(std::span<const std::uint8_t> bytes, std::string_view coder, cDIBSection& dib,
                      EngineDecodeOptions options) {
    dib.CleanUp();
    if (bytes.empty())
        throw Error("empty picture");
    const EngineCalls& engine = LoadedImageEngine();
    const std::string coderName(coder);
    const std::uint32_t flags = (options.strict ? kEngineDecodeStrict : 0U) |
                                (options.dropAlpha ? kEngineDecodeDropAlpha : 0U);
    EngineOutcome outcome{};
    {
        // PDF pages are drawn by Ghostscript, which the engine starts with our standard output
        // and error: its messages are the record's, and our stdout stays ours.
        std::optional<ChildOutputCapture> ghostscript;
        if (coder == "PDF")
            ghostscript.emplace("gs");
        engine.decode(bytes.data(), bytes.size(), coderName.c_str(), flags, CreateBitmap, &dib,
                      &outcome);
    }
    if (outcome.status != kEngineDone)
        dib.CleanUp();
    ThrowUnlessDone(outcome);
}

std::string EngineDetectedFormat(std::span<const std::uint8_t> bytes) {
    const EngineCalls& engine = LoadedImageEngine();
    char name[64] = {};
    EngineOutcome outcome{};
    engine.detectFormat(bytes.data(), bytes.size(), name, sizeof name, &outcome);
    ThrowUnlessDone(outcome);
    return name;
}

}  // namespace pictrova::imaging
