// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/converter.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"
#include "run/external_converter.h"

namespace pictrova::converter {
namespace {

struct OutputRow {
    std::string_view word;
    OutputKind kind;
    std::string_view coder;
};

constexpr OutputRow kOutputs[] = {
    {"bmp", OutputKind::Bmp, "BMP3"},  {"png", OutputKind::Png, "PNG"}, {"gif", OutputKind::Gif, "GIF"},
    {"tiff", OutputKind::Tiff, "TIFF"}, {"tga", OutputKind::Tga, "TGA"}, {"pcx", OutputKind::Pcx, "PCX"},
};

// Input formats the engine may pick by itself from the content. Anything else it recognises
// (drawing scripts, PostScript programs, text) is refused: the input comes from a database.
constexpr std::string_view kEngineDetectedInputs[] = {
    "BMP", "DIB", "JPEG", "GIF", "PNG", "TIFF", "PCX", "DCX", "PDF", "PSD", "PNM", "PPM",
    "PGM", "PBM", "PAM", "SGI", "SUN", "WEBP", "JP2", "JPC", "PICT", "XBM", "XPM", "FITS", "DPX",
    "CIN", "MIFF", "PCD", "XCF", "JNG", "MNG", "VIFF", "CALS", "FPX", "HDF",
};

std::uint32_t ParseNumber(const std::string& text, const char* what) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string(what) + " is not a whole number: \"" + text + "\"");
    }
    return value;
}

std::string_view CoderFor(OutputKind kind) {
    for (const auto& row : kOutputs) {
        if (row.kind == kind) return row.coder;
    }
    return {};
}

// The coder that reads `bytes`: our sniffing names the kinds the engine does not recognise
// from content (icons, cursors, Targa); the rest the engine finds, within the allowed list.
std::string InputCoder(std::span<const std::uint8_t> bytes) {
    const imaging::PictureKind kind = imaging::SniffPictureKind(bytes);
    if (kind == imaging::PictureKind::Ico || kind == imaging::PictureKind::Cur ||
        kind == imaging::PictureKind::Tga) {
        return std::string(imaging::EngineCoderName(kind));
    }
    imaging::StartImageEngine();
    char detected[MaxTextExtent] = {};
    MagickLib::ExceptionInfo exception;
    MagickLib::GetExceptionInfo(&exception);
    const auto passed = MagickLib::GetMagickFileFormat(bytes.data(), std::min<std::size_t>(bytes.size(), 4096),
                                                      detected, sizeof detected, &exception);
    MagickLib::DestroyExceptionInfo(&exception);
    if (passed == MagickPass && detected[0] != '\0') {
        for (std::string_view allowed : kEngineDetectedInputs) {
            if (allowed == detected) return std::string(detected);
        }
        throw Error(std::string("input format ") + detected + " is not converted");
    }
    throw Error("input is not a picture of a known format");
}

void WriteAtomically(const Magick::Blob& blob, const std::filesystem::path& output) {
    const std::filesystem::path temporary =
        output.parent_path() / ("." + output.filename().string() + ".part" + std::to_string(getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw Error("cannot write " + temporary.string() + ": " + std::strerror(errno));
        out.write(static_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.length()));
        out.close();
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            throw Error("cannot write " + temporary.string() + ": " + reason);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, output, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw Error("cannot rename into " + output.string() + ": " + ec.message());
    }
}

// Flattens transparency onto white, like the picture holder, so every output shows the same
// picture whatever the format keeps.
Magick::Image Flattened(const Magick::Image& image) {
    if (!image.matte()) return image;
    Magick::Image canvas(Magick::Geometry(image.columns(), image.rows()), Magick::Color(MaxRGB, MaxRGB, MaxRGB));
    canvas.composite(image, 0, 0, Magick::OverCompositeOp);
    return canvas;
}

}  // namespace

ConversionRequest ParseConverterArguments(const std::vector<std::string>& given) {
    std::vector<std::string> args = given;
    if (args.size() == 1) args = run::SplitCommandLine(args.front());
    // The whole command line, program path included, may come as the one argument.
    if (args.size() >= 2 && args[0] != "-out" && args[1] == "-out") args.erase(args.begin());

    ConversionRequest request;
    std::size_t i = 0;
    auto next = [&](const char* what) -> const std::string& {
        if (i >= args.size()) throw UsageError(std::string("missing ") + what);
        return args[i++];
    };
    if (next("-out") != "-out") throw UsageError("arguments must start with -out");
    const std::string& format = next("output format");
    bool known = false;
    for (const auto& row : kOutputs) {
        if (row.word == format) {
            request.output = row.kind;
            known = true;
        }
    }
    if (!known) throw UsageError("unknown output format \"" + format + "\"");

    while (true) {
        const std::string& word = next("-o");
        if (word == "-o") break;
        if (word == "-q") {
            request.quality = ParseNumber(next("quality"), "quality");
        } else if (word == "-dither") {
            request.dither = true;
        } else if (word == "-colors") {
            request.colours = ParseNumber(next("colour count"), "colour count");
            if (*request.colours < 2 || *request.colours > 256) throw UsageError("colour count must be 2 to 256");
        } else {
            throw UsageError("unknown option \"" + word + "\"");
        }
    }
    request.outputPath = next("output path");
    request.inputPath = next("input path");
    if (i != args.size()) throw UsageError("unexpected argument \"" + args[i] + "\"");
    if (request.outputPath.empty() || request.inputPath.empty()) throw UsageError("empty path");
    return request;
}

void Convert(const ConversionRequest& request) {
    imaging::StartImageEngine();
    const std::vector<std::uint8_t> bytes = imaging::ReadWholeFile(request.inputPath);
    Magick::Image image;
    const imaging::PictureKind kind = imaging::SniffPictureKind(bytes);
    if (kind == imaging::PictureKind::Wmf || kind == imaging::PictureKind::Emf) {
        // Metafiles take the checked path of the picture loader: records verified, drawn at
        // the size their placeable header (or frame) gives.
        imaging::PictureHolder holder;
        holder.LoadFromFile(request.inputPath);
        image = imaging::DibToEngineImage(holder.Image());
    } else {
        image = imaging::ReadEngineImage(bytes, InputCoder(bytes), /*strict=*/true);
    }

    Magick::Blob encoded;
    imaging::WithEngineErrors([&] {
        Magick::Image out = Flattened(image);
        out.magick(std::string(CoderFor(request.output)));
        out.depth(8);
        switch (request.output) {
            case OutputKind::Bmp:
                out.type(Magick::TrueColorType);
                break;
            case OutputKind::Png:
                // The engine's PNG quality: tens give the zlib level, units the row filter.
                if (request.quality) out.quality(std::min<std::uint32_t>(*request.quality, 100));
                break;
            case OutputKind::Gif:
                out.quantizeColors(request.colours.value_or(256));
                out.quantizeDither(request.dither);
                out.quantize();
                break;
            default:
                break;
        }
        out.write(&encoded);
        return 0;
    });
    if (encoded.length() == 0) throw Error("the engine wrote nothing");
    WriteAtomically(encoded, request.outputPath);
}

int ConverterMain(const std::vector<std::string>& args) {
    try {
        Convert(ParseConverterArguments(args));
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "pictrova-convert: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::string reason = e.what();
        for (char& c : reason) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        std::fprintf(stderr, "pictrova-convert: %s\n", reason.c_str());
        return 1;
    }
}

}  // namespace pictrova::converter
