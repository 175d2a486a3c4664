// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Recognises a picture file's kind from its first bytes, never from its name (the run's work
// file is always called temp.bmp whatever it holds).
//
//   BMP / DIB  "BM"                              JPEG  FF D8 FF
//   GIF        "GIF87a" / "GIF89a"               PNG   89 "PNG" 0D 0A 1A 0A
//   WMF        D7 CD C6 9A (placeable), or a standard header: type 1/2, 9 words, version 1/3
//   EMF        record type 1 at 0, " EMF" at 40  ICO   00 00 01 00 + count   CUR 00 00 02 00 +
//   count TIFF       "II*\0" / "MM\0*"                 PCX   0A, version 0..5, encoding 1, 1..8
//   bits TGA        no magic: a sane 18-byte header (colour-map type 0/1, image type 1-3/9-11,
//              non-zero size, pixel depth 8/15/16/24/32, colour map consistent with the type)

#include <cstdint>
#include <span>
#include <string_view>

namespace pictrova::imaging {

enum class PictureKind { Unknown, Bmp, Jpeg, Gif, Png, Wmf, Emf, Ico, Cur, Tiff, Pcx, Tga };

// The kind of the picture whose file starts with `head` (give at least the first 64 bytes when
// the file has them).
PictureKind SniffPictureKind(std::span<const std::uint8_t> head);

// The kinds the picture loader reads directly: BMP (and DIB), JPEG, GIF, WMF, EMF, ICO, CUR.
bool IsDirectlyLoadable(PictureKind kind);

// The engine's coder name for a kind ("BMP", "ICO", "TGA", ...); empty for Unknown.
std::string_view EngineCoderName(PictureKind kind);

// The usual file extension of a kind, lower case without a point ("bmp", "jpg", "tiff", ...);
// empty for Unknown.
std::string_view FileExtension(PictureKind kind);

}  // namespace pictrova::imaging
