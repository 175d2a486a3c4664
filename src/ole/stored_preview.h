// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The presentation object the database engine stores after an embedded object's native data, so
// that forms can show the object without the program that made it. It is found only through the
// native data size of the OLE 1.0 header (ole1_object.h); the native data's own formats say
// nothing about where it ends.
//
//   u32  version (0x0501 seen; not checked)
//   u32  format id: 0 no presentation (nothing follows); 5 a class name follows; anything else
//        is damage
//        class name (u32 count with the terminating zero, ANSI bytes), then by class name:
//   "METAFILEPICT"  i32 width, i32 height (stored negated), u32 size = metafile bytes + 8,
//                   u16 mapping mode, u16 x extent, u16 y extent, u16 handle, the metafile bits
//   "DIB"           i32 width, i32 height, u32 size, a packed DIB
//   "BITMAP"        i32 width, i32 height, u32 size, a device bitmap (Bitmap16)
//   any other       u32 clipboard format; when not 0, u32 size and the data: 3 a metafile (with or
//                   without the 8 bytes of its picture header), 8 a packed DIB, 14 an enhanced
//                   metafile; 0 names a registered format, whose data is not read
// Width and height are in hundredths of a millimetre.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ole/object_header.h"
#include "ole/object_kind.h"

namespace pictrova::ole {

struct StoredPreview {
    enum class Kind { Metafile, Dib, Bitmap, EnhancedMetafile };
    Kind kind = Kind::Dib;
    // Metafiles: the picture header's values as the renderer takes them.
    std::int32_t mappingMode = 0;
    std::int32_t xExtent = 0;
    std::int32_t yExtent = 0;
    // The picture's bytes. A DIB is kept 14 bytes in, where the BMP file header will go.
    std::vector<std::uint8_t> data;
};

// A copy of the presentation stored after the native data of the embedded object in `field`;
// nullopt when it has none of the kinds above, when its native data size does not fit the
// field, or when the presentation is damaged. Never throws.
std::optional<StoredPreview> FindStoredPreview(std::span<const std::uint8_t> field,
                                               const ObjectHeader& header);

// The preview as a picture file: Bmp for bitmaps and rendered metafiles, Emf for enhanced
// metafiles. False when the renderer refuses a metafile or a bitmap's colours are unknown; throws
// on damaged bitmap data.
bool StoredPreviewToFile(StoredPreview& preview, std::vector<std::uint8_t>& file, ObjectKind& kind);

}  // namespace pictrova::ole
