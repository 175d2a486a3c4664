// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The structured-storage component: reads one named stream out of a compound document (the
// native data of the compound-document classes). Built on libgsf; no libgsf type leaves this
// module. (The fixtures' compound documents are written by tools/ole_builder/compound_writer.h.)
//
// The three reading operations share one contract: `document` holds the compound document from
// its first byte (trailing bytes are allowed); on success the wanted bytes are written over the
// start of `document` and their count n (never more than document.size()) is returned; 0 means
// nothing was found or the document is unreadable. They never throw.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pictrova::ole {

// The stream `streamName` of the root storage.
std::size_t GetContentsStream(std::span<std::uint8_t> document, std::string_view streamName);

// The stream `streamName` of the root storage or, failing that, of the first child storage that
// holds it. Stream names match ignoring ASCII case and a leading control character, so
// "Ole10Native" finds the conventional "\x01Ole10Native".
std::size_t GetContentsStreamChild(std::span<std::uint8_t> document, std::string_view streamName);

// The whole compound document when its root holds the stream `streamName`: that is a file the
// office programs open, where the bare stream is not. Bytes after the document's last sector
// (the object's presentation data, say) are cut off.
std::size_t ExtractOfficeDocument(std::span<std::uint8_t> document, std::string_view streamName);

}  // namespace pictrova::ole
