// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_encoder.h"

#include <string>
#include <string_view>
#include <utility>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/bitmap_rows.h"
#include "imaging/codec_decoders.h"
#include "imaging/engine_io.h"
#include "imaging/gif_encoder.h"
#include "imaging/jpeg_compression.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"
#include "imaging/png_encoder.h"
#include "imaging/raw_writers.h"
#include "imaging/tiff_writer.h"

namespace pictrova::imaging {
namespace {

// The JPEG quality when none is given: the options page's default.
constexpr std::uint32_t kDefaultJpegQuality = 85;

// Input formats the engine may pick by itself from the content. Anything else it recognises
// (drawing scripts, PostScript programs, text) is refused: the input comes from a database.
constexpr std::string_view kEngineDetectedInputs[] = {
    "BMP", "DIB", "JPEG", "GIF", "PNG", "TIFF", "PCX", "DCX",  "PDF",  "PSD", "PNM", "PPM",
    "PGM", "PBM", "PAM",  "SGI", "SUN", "WEBP", "JP2", "JPC",  "PICT", "XBM", "XPM", "FITS",
    "DPX", "CIN", "MIFF", "PCD", "XCF", "JNG",  "MNG", "VIFF", "CALS", "FPX", "HDF",
};

// The coder that reads `bytes`: our sniffing names the kinds the engine does not recognise
// from content (icons, cursors, Targa); the rest the engine finds, within the allowed list.
std::string InputCoder(std::span<const std::uint8_t> bytes) {
    const PictureKind kind = SniffPictureKind(bytes);
    if (kind == PictureKind::Ico || kind == PictureKind::Cur || kind == PictureKind::Tga) {
        return std::string(EngineCoderName(kind));
    }
    const std::string detected = EngineDetectedFormat(bytes);
    for (std::string_view allowed : kEngineDetectedInputs) {
        if (allowed == detected)
            return detected;
    }
    throw Error("input format " + detected + " is not converted");
}

std::vector<std::uint8_t> PngOfBitmap(const cDIBSection& picture, const EncodeSettings& settings) {
    return EncodePng(picture, PngOptionsForQuality(settings.quality));
}

std::vector<std::uint8_t> BmpOfBitmap(const cDIBSection& picture, const EncodeSettings&) {
    return Bmp24FileBytes(picture);
}

std::vector<std::uint8_t> JpegOfBitmap(const cDIBSection& picture, const EncodeSettings& settings) {
    return EncodeJpeg(picture, settings.quality.value_or(kDefaultJpegQuality));
}

std::vector<std::uint8_t> GifOfBitmap(const cDIBSection& picture, const EncodeSettings& settings) {
    return EncodeGif(picture,
                     {.colours = settings.colours.value_or(256), .dither = settings.dither});
}

std::vector<std::uint8_t> TiffOfBitmap(const cDIBSection& picture, const EncodeSettings&) {
    return EncodeTiff(picture);
}

std::vector<std::uint8_t> TgaOfBitmap(const cDIBSection& picture, const EncodeSettings&) {
    return EncodeTga(picture);
}

std::vector<std::uint8_t> PcxOfBitmap(const cDIBSection& picture, const EncodeSettings&) {
    return EncodePcx(picture);
}

using Encoder = std::vector<std::uint8_t> (*)(const cDIBSection&, const EncodeSettings&);

struct EncoderRow {
    EncodedFormat format;
    Encoder encode;
};

// Each format's encoder, driven from the bitmap itself.
constexpr EncoderRow kEncoders[] = {
    {EncodedFormat::Bmp, BmpOfBitmap},   {EncodedFormat::Png, PngOfBitmap},
    {EncodedFormat::Gif, GifOfBitmap},   {EncodedFormat::Tiff, TiffOfBitmap},
    {EncodedFormat::Tga, TgaOfBitmap},   {EncodedFormat::Pcx, PcxOfBitmap},
    {EncodedFormat::Jpeg, JpegOfBitmap},
};

}  // namespace

std::vector<std::uint8_t> EncodePicture(const cDIBSection& picture,
                                        const EncodeSettings& settings) {
    // Refuses an empty bitmap or one over the limits before any encoder takes memory.
    const BitmapRows checked(picture);
    for (const EncoderRow& row : kEncoders) {
        if (row.format == settings.format)
            return row.encode(picture, settings);
    }
    throw Error("no encoder for the output format");
}

std::vector<std::uint8_t> ConvertPictureBytes(std::span<const std::uint8_t> input,
                                              const EncodeSettings& settings) {
    cDIBSection picture;
    DecodeAnyPicture(input, picture);
    return EncodePicture(picture, settings);
}

void DecodeAnyPicture(std::span<const std::uint8_t> input, cDIBSection& picture) {
    const PictureKind kind = SniffPictureKind(input);
    if (DecodeWithCodecLibrary(kind, input, picture))
        return;
    if (kind == PictureKind::Wmf || kind == PictureKind::Emf) {
        // Metafiles take the checked path of the picture loader: records verified, drawn at
        // the size their header gives (enhanced ones by the separate drawing program).
        PictureHolder holder;
        holder.LoadFromMemory(input);
        picture = std::move(holder.Image());
        return;
    }
    DecodeWithEngine(input, InputCoder(input), picture, {.strict = true});
}

void DecodeAnyPicture(const std::filesystem::path& file, cDIBSection& picture) {
    DecodeAnyPicture(ReadWholeFile(file), picture);
}

}  // namespace pictrova::imaging
