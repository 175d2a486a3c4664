// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checking an enhanced metafile (EMF) before a renderer sees it, as the standard metafile's
// records are checked: the record chain fits the bytes, every record is at least as long as its
// type needs, the counts and offsets inside a record stay inside it, and object handles name
// slots of the header's table. Records a player would skip (unknown types, handles out of range,
// zero divisors) are left out; records that cannot be read are damage and refuse the file.
//
// EMR_HEADER (the first record, at least 88 bytes, little-endian):
//    0 u32 type (1)          4 u32 record size         8 i32[4] bounds, device pixels, inclusive
//   24 i32[4] frame, hundredths of a millimetre        40 u32 signature " EMF" (0x464D4520)
//   44 u32 version          48 u32 file size          52 u32 record count
//   56 u16 handles          58 u16 reserved           60 u32 description length, 64 its offset
//   68 u32 palette entries  72 i32[2] reference device, pixels   80 i32[2] the same in mm
// Each record: u32 type, u32 size in bytes (a multiple of 4, at least 8), parameters.
// EMR_EOF (14) ends the picture.

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/metafile_frame.h"

namespace pictrova::imaging {

inline constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr std::size_t kEmfHeaderMinimum = 88;

struct CheckedEnhancedMetafile {
    std::vector<std::uint8_t> bits;  // header and kept records, end record added when missing
    Frame frame;                     // hundredths of a millimetre
    Frame bounds;                    // device pixels of the picture's reference device, inclusive
    ReferenceDevice device;          // the device the picture was recorded on
    std::uint32_t records = 0;       // records kept, header and end included
};

// Throws FormatError when the bytes are not an enhanced metafile whose records fit the data.
CheckedEnhancedMetafile CheckEnhancedMetafile(std::span<const std::uint8_t> bytes);

// The pixel size of the picture's frame on `device` (the metafile's frame at its dpi, rounded
// as for standard metafiles). Throws Error when the frame is empty or inverted.
PixelSize EnhancedMetafilePixelSize(const CheckedEnhancedMetafile& metafile,
                                    const ReferenceDevice& device);

}  // namespace pictrova::imaging
