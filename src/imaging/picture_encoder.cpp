// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_encoder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "common/error.h"
#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"

namespace pictrova::imaging {
namespace {

struct FormatRow {
    EncodedFormat format;
    std::string_view coder;
};

constexpr FormatRow kCoders[] = {
    {EncodedFormat::Bmp, "BMP3"}, {EncodedFormat::Png, "PNG"}, {EncodedFormat::Gif, "GIF"},
    {EncodedFormat::Tiff, "TIFF"}, {EncodedFormat::Tga, "TGA"}, {EncodedFormat::Pcx, "PCX"},
};

// Input formats the engine may pick by itself from the content. Anything else it recognises
// (drawing scripts, PostScript programs, text) is refused: the input comes from a database.
constexpr std::string_view kEngineDetectedInputs[] = {
    "BMP", "DIB", "JPEG", "GIF", "PNG", "TIFF", "PCX", "DCX", "PDF", "PSD", "PNM", "PPM",
    "PGM", "PBM", "PAM", "SGI", "SUN", "WEBP", "JP2", "JPC", "PICT", "XBM", "XPM", "FITS", "DPX",
    "CIN", "MIFF", "PCD", "XCF", "JNG", "MNG", "VIFF", "CALS", "FPX", "HDF",
};

std::string_view CoderFor(EncodedFormat format) {
    for (const auto& row : kCoders) {
        if (row.format == format) return row.coder;
    }
    return {};
}

// The coder that reads `bytes`: our sniffing names the kinds the engine does not recognise
// from content (icons, cursors, Targa); the rest the engine finds, within the allowed list.
std::string InputCoder(std::span<const std::uint8_t> bytes) {
    const PictureKind kind = SniffPictureKind(bytes);
    if (kind == PictureKind::Ico || kind == PictureKind::Cur || kind == PictureKind::Tga) {
        return std::string(EngineCoderName(kind));
    }
    if (kind == PictureKind::Emf) throw Error("enhanced metafiles are not supported");
    StartImageEngine();
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

// Flattens transparency onto white, like the picture holder, so every output shows the same
// picture whatever the format keeps.
Magick::Image Flattened(const Magick::Image& image) {
    if (!image.matte()) return image;
    Magick::Image canvas(Magick::Geometry(image.columns(), image.rows()), Magick::Color(MaxRGB, MaxRGB, MaxRGB));
    canvas.composite(image, 0, 0, Magick::OverCompositeOp);
    return canvas;
}

Magick::Image ReadAnyPicture(std::span<const std::uint8_t> bytes) {
    StartImageEngine();
    if (SniffPictureKind(bytes) == PictureKind::Wmf) {
        // Metafiles take the checked path of the picture loader: records verified, drawn at
        // the size their placeable header gives.
        PictureHolder holder;
        holder.LoadFromMemory(bytes);
        return DibToEngineImage(holder.Image());
    }
    return ReadEngineImage(bytes, InputCoder(bytes), /*strict=*/true);
}

// GIF: quantized to the palette size, dithered when asked.
void EncodeGif(Magick::Image& out, const EncodeSettings& settings, Magick::Blob& encoded) {
    out.quantizeColors(settings.colours.value_or(256));
    out.quantizeDither(settings.dither);
    out.quantize();
    out.write(&encoded);
}

std::vector<std::uint8_t> Encode(const Magick::Image& image, const EncodeSettings& settings) {
    Magick::Blob encoded;
    WithEngineErrors([&] {
        Magick::Image out = Flattened(image);
        out.magick(std::string(CoderFor(settings.format)));
        out.depth(8);
        switch (settings.format) {
            case EncodedFormat::Bmp:
                out.type(Magick::TrueColorType);
                break;
            case EncodedFormat::Png:
                if (settings.quality) out.quality(std::min<std::uint32_t>(*settings.quality, 100));
                break;
            case EncodedFormat::Gif:
                EncodeGif(out, settings, encoded);
                return 0;
            default:
                break;
        }
        out.write(&encoded);
        return 0;
    });
    if (encoded.length() == 0) throw Error("the engine wrote nothing");
    const auto* data = static_cast<const std::uint8_t*>(encoded.data());
    return std::vector<std::uint8_t>(data, data + encoded.length());
}

}  // namespace

std::vector<std::uint8_t> EncodePicture(const cDIBSection& picture, const EncodeSettings& settings) {
    return Encode(DibToEngineImage(picture), settings);
}

std::vector<std::uint8_t> ConvertPictureBytes(std::span<const std::uint8_t> input, const EncodeSettings& settings) {
    return Encode(ReadAnyPicture(input), settings);
}

void DecodeAnyPicture(std::span<const std::uint8_t> input, cDIBSection& picture) {
    EngineImageToDib(ReadAnyPicture(input), picture);
}

void DecodeAnyPicture(const std::filesystem::path& file, cDIBSection& picture) {
    DecodeAnyPicture(ReadWholeFile(file), picture);
}

void WriteFileAtomically(std::span<const std::uint8_t> bytes, const std::filesystem::path& output) {
    const std::filesystem::path temporary =
        output.parent_path() / ("." + output.filename().string() + ".part" + std::to_string(getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw Error("cannot write " + temporary.string() + ": " + std::strerror(errno));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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

}  // namespace pictrova::imaging
