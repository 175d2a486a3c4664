// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Photo-editor pictures keep their image in the "CONTENTS" stream in a raw layout of their own,
// which this turns, in place, into a standard BMP file.
//
// Stream layout (little-endian):
//     0  i16  image type: 1 8-bit grey, 2 8-bit with colour table, 3 24-bit colour
//     2  i16  width w
//     4  i16  height h
//    18  768  colour table: 256 triples red, green, blue (type 2)
//   822       pixel rows, top row first, unpadded: bits × w / 8 bytes each; 24-bit pixels in
//             red, green, blue order
// Bytes 6..17 and 786..821 are not used.
//
// Output: file header, info header, a 1024-byte colour table (blue, green, red, 0) for 8-bit
// pictures, then bottom-up rows padded with zeros to a multiple of 4 bytes.

#include <cstdint>
#include <vector>

namespace pictrova::ole {

// Throws pictrova::Error when the stream is shorter than its header announces or holds no
// pixels (unknown image type, width or height 0 or negative).
void ConvertPhotoEditorPicture(std::vector<std::uint8_t>& stream);

}  // namespace pictrova::ole
