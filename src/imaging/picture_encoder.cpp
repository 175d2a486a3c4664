// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_encoder.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/engine_io.h"
#include "imaging/gif_encoder.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"
#include "imaging/png_decoder.h"
#include "imaging/png_encoder.h"

namespace pictrova::imaging {
namespace {

struct FormatRow {
    EncodedFormat format;
    std::string_view coder;
};

constexpr FormatRow kCoders[] = {
    {EncodedFormat::Bmp, "BMP3"},  {EncodedFormat::Png, "PNG"}, {EncodedFormat::Gif, "GIF"},
    {EncodedFormat::Tiff, "TIFF"}, {EncodedFormat::Tga, "TGA"}, {EncodedFormat::Pcx, "PCX"},
};

// Input formats the engine may pick by itself from the content. Anything else it recognises
// (drawing scripts, PostScript programs, text) is refused: the input comes from a database.
constexpr std::string_view kEngineDetectedInputs[] = {
    "BMP", "DIB", "JPEG", "GIF", "PNG", "TIFF", "PCX", "DCX",  "PDF",  "PSD", "PNM", "PPM",
    "PGM", "PBM", "PAM",  "SGI", "SUN", "WEBP", "JP2", "JPC",  "PICT", "XBM", "XPM", "FITS",
    "DPX", "CIN", "MIFF", "PCD", "XCF", "JNG",  "MNG", "VIFF", "CALS", "FPX", "HDF",
};

std::string_view CoderFor(EncodedFormat format) {
    for (const auto& row : kCoders) {
        if (row.format == format)
            return row.coder;
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
    StartImageEngine();
    char detected[MaxTextExtent] = {};
    MagickLib::ExceptionInfo exception;
    MagickLib::GetExceptionInfo(&exception);
    const auto passed =
        MagickLib::GetMagickFileFormat(bytes.data(), std::min<std::size_t>(bytes.size(), 4096),
                                       detected, sizeof detected, &exception);
    MagickLib::DestroyExceptionInfo(&exception);
    if (passed == MagickPass && detected[0] != '\0') {
        for (std::string_view allowed : kEngineDetectedInputs) {
            if (allowed == detected)
                return std::string(detected);
        }
        throw Error(std::string("input format ") + detected + " is not converted");
    }
    throw Error("input is not a picture of a known format");
}

// Flattens transparency onto white, like the picture holder, so every output shows the same
// picture whatever the format keeps.
Magick::Image Flattened(const Magick::Image& image) {
    if (!image.matte())
        return image;
    Magick::Image canvas(Magick::Geometry(image.columns(), image.rows()),
                         Magick::Color(MaxRGB, MaxRGB, MaxRGB));
    canvas.composite(image, 0, 0, Magick::OverCompositeOp);
    return canvas;
}

Magick::Image ReadAnyPicture(std::span<const std::uint8_t> bytes) {
    StartImageEngine();
    const PictureKind kind = SniffPictureKind(bytes);
    if (kind == PictureKind::Wmf || kind == PictureKind::Emf) {
        // Metafiles take the checked path of the picture loader: records verified, drawn at
        // the size their header gives (enhanced ones by the separate drawing program).
        PictureHolder holder;
        holder.LoadFromMemory(bytes);
        return DibToEngineImage(holder.Image());
    }
    return ReadEngineImage(bytes, InputCoder(bytes), /*strict=*/true);
}

// The engine writes a TIFF into memory leaving its word-alignment gaps (before the directory and
// between the values it points to) as whatever the grown buffer held, so one picture could give
// different bytes from run to run. Every byte that no part of the file covers (header, strips,
// directory, the values outside it) is set to zero. Only the little-endian files the engine writes
// here are touched.
void ZeroTiffGaps(std::vector<std::uint8_t>& tiff) {
    constexpr std::uint16_t kStripOffsets = 273, kStripByteCounts = 279;
    constexpr std::size_t kTypeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    if (tiff.size() < 8 || tiff[0] != 'I' || tiff[1] != 'I' || tiff[2] != 42 || tiff[3] != 0)
        return;
    std::vector<bool> covered(tiff.size(), false);
    auto cover = [&](std::uint64_t from, std::uint64_t length) {
        for (std::uint64_t i = from; i < from + length && i < covered.size(); ++i)
            covered[i] = true;
    };
    ByteReader r(tiff);
    cover(0, 8);
    r.seek(4);
    const std::uint32_t directory = r.u32le();
    r.seek(directory);
    const std::uint16_t entries = r.u16le();
    cover(directory, 2 + 12ull * entries + 4);
    std::vector<std::uint32_t> stripOffsets, stripCounts;
    for (std::uint16_t e = 0; e < entries; ++e) {
        r.seek(directory + 2 + 12ull * e);
        const std::uint16_t tag = r.u16le(), type = r.u16le();
        const std::uint32_t count = r.u32le();
        const std::size_t valueAt = r.position();
        const std::uint64_t size =
            type < std::size(kTypeSizes) ? std::uint64_t{kTypeSizes[type]} * count : 0;
        const std::uint64_t at = size > 4 ? r.u32le() : valueAt;
        if (size > 4)
            cover(at, size);
        if ((tag == kStripOffsets || tag == kStripByteCounts) && (type == 3 || type == 4)) {
            ByteReader values(tiff);
            values.seek(at);
            auto& list = tag == kStripOffsets ? stripOffsets : stripCounts;
            for (std::uint32_t i = 0; i < count; ++i)
                list.push_back(type == 3 ? values.u16le() : values.u32le());
        }
    }
    if (stripOffsets.size() != stripCounts.size())
        return;
    for (std::size_t i = 0; i < stripOffsets.size(); ++i)
        cover(stripOffsets[i], stripCounts[i]);
    for (std::size_t i = 0; i < tiff.size(); ++i)
        if (!covered[i])
            tiff[i] = 0;
}

// TGA readers disagree on bottom-left-origin files (ImageMagick 6 shows them upside down); every
// reader takes top-left ones. The engine writes rows bottom first, so the picture goes in flipped
// and the header's image descriptor gets its top-left bit (bit 5).
Magick::Blob WithTopLeftOrigin(const Magick::Blob& tga) {
    constexpr std::size_t kImageDescriptorAt = 17;
    constexpr std::uint8_t kTopLeftOrigin = 0x20;
    std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(tga.data()),
                                    static_cast<const std::uint8_t*>(tga.data()) + tga.length());
    if (bytes.size() <= kImageDescriptorAt)
        throw Error("the engine wrote a TGA without a header");
    bytes[kImageDescriptorAt] |= kTopLeftOrigin;
    return Magick::Blob(bytes.data(), bytes.size());
}

// Takes the image by value so the caller's temporary is the only reference: it is let go before
// the encoded bytes are copied out, so the two never sit beside the engine's pixels.
std::vector<std::uint8_t> Encode(Magick::Image image, const EncodeSettings& settings) {
    Magick::Blob encoded;
    WithEngineErrors([&] {
        Magick::Image out = Flattened(image);
        out.magick(std::string(CoderFor(settings.format)));
        out.depth(8);
        switch (settings.format) {
            case EncodedFormat::Bmp:
                out.type(Magick::TrueColorType);
                break;
            case EncodedFormat::Tga:
                out.flip();
                out.write(&encoded);
                encoded = WithTopLeftOrigin(encoded);
                return 0;
            default:
                break;
        }
        out.write(&encoded);
        return 0;
    });
    image = Magick::Image();
    if (encoded.length() == 0)
        throw Error("the engine wrote nothing");
    const auto* data = static_cast<const std::uint8_t*>(encoded.data());
    std::vector<std::uint8_t> bytes(data, data + encoded.length());
    if (settings.format == EncodedFormat::Tiff)
        ZeroTiffGaps(bytes);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodePicture(const cDIBSection& picture,
                                        const EncodeSettings& settings) {
    // PNG and GIF are written from the bitmap's own 8-bit pixels by their codec libraries.
    if (settings.format == EncodedFormat::Png)
        return EncodePng(picture, PngOptionsForQuality(settings.quality));
    if (settings.format == EncodedFormat::Gif)
        return EncodeGif(picture,
                         {.colours = settings.colours.value_or(256), .dither = settings.dither});
    return Encode(DibToEngineImage(picture), settings);
}

std::vector<std::uint8_t> ConvertPictureBytes(std::span<const std::uint8_t> input,
                                              const EncodeSettings& settings) {
    if (settings.format == EncodedFormat::Png || settings.format == EncodedFormat::Gif) {
        cDIBSection picture;
        DecodeAnyPicture(input, picture);
        return EncodePicture(picture, settings);
    }
    return Encode(ReadAnyPicture(input), settings);
}

void DecodeAnyPicture(std::span<const std::uint8_t> input, cDIBSection& picture) {
    if (SniffPictureKind(input) == PictureKind::Png && DecodePng(input, picture))
        return;
    EngineImageToDib(ReadAnyPicture(input), picture);
}

void DecodeAnyPicture(const std::filesystem::path& file, cDIBSection& picture) {
    DecodeAnyPicture(ReadWholeFile(file), picture);
}

}  // namespace pictrova::imaging
