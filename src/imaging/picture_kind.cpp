// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_kind.h"

#include <algorithm>
#include <array>

#include "common/byte_reader.h"
#include "imaging/metafile_frame.h"

namespace pictrova::imaging {
namespace {

bool StartsWith(std::span<const std::uint8_t> head, std::initializer_list<std::uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

bool LooksLikeStandardMetafile(std::span<const std::uint8_t> head) {
    if (head.size() < kMetaHeaderSize)
        return false;
    ByteReader r(head);
    const std::uint16_t type = r.u16le();
    const std::uint16_t words = r.u16le();
    const std::uint16_t version = r.u16le();
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

bool LooksLikeEnhancedMetafile(std::span<const std::uint8_t> head) {
    if (head.size() < 44)
        return false;
    ByteReader r(head);
    if (r.u32le() != 1)
        return false;
    r.seek(40);
    return r.u32le() == 0x464D4520;  // " EMF"
}

bool LooksLikeIconDirectory(std::span<const std::uint8_t> head, std::uint8_t type) {
    if (head.size() < 6 + 16 || !StartsWith(head, {0, 0, type, 0}))
        return false;
    ByteReader r(head);
    r.skip(4);
    const std::uint16_t count = r.u16le();
    if (count == 0)
        return false;
    // First directory entry: width, height, colour count, reserved (0 or 255), ..., size, offset.
    r.skip(3);
    const std::uint8_t reserved = r.u8();
    r.skip(4);
    const std::uint32_t size = r.u32le();
    const std::uint32_t offset = r.u32le();
    return (reserved == 0 || reserved == 255) && size > 0 && offset >= 6u + 16u * count;
}

bool LooksLikeTarga(std::span<const std::uint8_t> head) {
    if (head.size() < 18)
        return false;
    ByteReader r(head);
    r.skip(1);  // identification length
    const std::uint8_t colourMapType = r.u8();
    const std::uint8_t imageType = r.u8();
    r.skip(2);  // first colour-map entry
    const std::uint16_t mapLength = r.u16le();
    const std::uint8_t mapEntryBits = r.u8();
    r.skip(4);  // origin
    const std::uint16_t width = r.u16le();
    const std::uint16_t height = r.u16le();
    const std::uint8_t depth = r.u8();
    const std::uint8_t descriptor = r.u8();
    const bool typeKnown =
        (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
    const bool mapped = imageType == 1 || imageType == 9;
    const bool depthKnown = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    if (colourMapType > 1 || !typeKnown || !depthKnown || width == 0 || height == 0)
        return false;
    if (mapped != (colourMapType == 1))
        return false;
    if (mapped && (mapLength == 0 || !(mapEntryBits == 15 || mapEntryBits == 16 ||
                                       mapEntryBits == 24 || mapEntryBits == 32))) {
        return false;
    }
    if (mapped && depth != 8)
        return false;
    return (descriptor & 0xC0) == 0;  // interleaving bits, never set in practice
}

bool LooksLikePcx(std::span<const std::uint8_t> head) {
    if (head.size() < 128 || head[0] != 0x0A || head[2] != 1)
        return false;
    const std::uint8_t version = head[1];
    const std::uint8_t bits = head[3];
    return version <= 5 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

}  // namespace

PictureKind SniffPictureKind(std::span<const std::uint8_t> head) {
    if (StartsWith(head, {'B', 'M'}))
        return PictureKind::Bmp;
    if (StartsWith(head, {0xFF, 0xD8, 0xFF}))
        return PictureKind::Jpeg;
    if (StartsWith(head, {'G', 'I', 'F', '8', '7', 'a'}) ||
        StartsWith(head, {'G', 'I', 'F', '8', '9', 'a'})) {
        return PictureKind::Gif;
    }
    if (StartsWith(head, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return PictureKind::Png;
    if (StartsWith(head, {0xD7, 0xCD, 0xC6, 0x9A}) || LooksLikeStandardMetafile(head))
        return PictureKind::Wmf;
    if (LooksLikeEnhancedMetafile(head))
        return PictureKind::Emf;
    if (LooksLikeIconDirectory(head, 1))
        return PictureKind::Ico;
    if (LooksLikeIconDirectory(head, 2))
        return PictureKind::Cur;
    if (StartsWith(head, {'I', 'I', 42, 0}) || StartsWith(head, {'M', 'M', 0, 42}))
        return PictureKind::Tiff;
    if (LooksLikePcx(head))
        return PictureKind::Pcx;
    if (LooksLikeTarga(head))
        return PictureKind::Tga;
    return PictureKind::Unknown;
}

bool IsDirectlyLoadable(PictureKind kind) {
    switch (kind) {
        case PictureKind::Bmp:
        case PictureKind::Jpeg:
        case PictureKind::Gif:
        case PictureKind::Wmf:
        case PictureKind::Emf:
        case PictureKind::Ico:
        case PictureKind::Cur:
            return true;
        default:
            return false;
    }
}

std::string_view EngineCoderName(PictureKind kind) {
    constexpr std::array<std::string_view, 12> kNames = {
        "", "BMP", "JPEG", "GIF", "PNG", "WMF", "EMF", "ICO", "CUR", "TIFF", "PCX", "TGA"};
    return kNames[static_cast<std::size_t>(kind)];
}

std::string_view FileExtension(PictureKind kind) {
    constexpr std::array<std::string_view, 12> kExtensions = {
        "", "bmp", "jpg", "gif", "png", "wmf", "emf", "ico", "cur", "tiff", "pcx", "tga"};
    return kExtensions[static_cast<std::size_t>(kind)];
}

}  // namespace pictrova::imaging
