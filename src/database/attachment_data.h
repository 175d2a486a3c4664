// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The stored form of one attached file (the FileData column of an attachment column's hidden
// table), and its decoding.
//
// Stored value:
//   0  u32  storage: 0 the content as it is, 1 the content as a zlib stream
//   4  u32  length of the decoded content
//   8       the content, raw or compressed (a compressed stream ends at the value's end)
//
// Decoded content:
//   0  u32  content header length H, these 12 bytes and the extension
//   4  u32  unknown, 1 in every file seen
//   8  u32  extension length in UTF-16 units, its terminating NUL included (n)
//   12 2n   extension, UTF-16LE (H = 12 + 2n)
//   H       the file's bytes (decoded length - H of them)
//
// The declared length bounds everything: a raw value must hold exactly that many bytes, and a
// compressed one is inflated into exactly that many and no further.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictrova::database {

// The largest attached file read, matching the largest picture file the loader takes.
inline constexpr std::uint32_t kMaxAttachmentBytes = 512u * 1024 * 1024;

inline constexpr std::uint32_t kAttachmentStoredRaw = 0;
inline constexpr std::uint32_t kAttachmentStoredDeflated = 1;
inline constexpr std::size_t kAttachmentStoredHeaderBytes = 8;
inline constexpr std::size_t kAttachmentContentHeaderBytes = 12;

struct DecodedAttachment {
    std::string extension;  // from the content header, UTF-8, without a dot
    std::vector<std::uint8_t> bytes;
};

// Decodes a stored value; `stored` is consumed (its buffer becomes the result's for a raw
// value, so a file is never held twice). Fails with pictrova::Error whose description says
// what is wrong ("its storage flag 7 is unknown", ...), to be prefixed with the file's name.
DecodedAttachment DecodeAttachmentData(std::vector<std::uint8_t> stored);

}  // namespace pictrova::database
