// SPDX-License-Identifier: GPL-3.0-or-later
#include <zlib.h>

#include <cstring>

#include "common/error.h"
#include "jet_writer/jet_text.h"
#include "jet_writer/jet_writer.h"
#include "jet_writer/page_format.h"

namespace pictrova::jet {

Bytes EncodeAttachmentData(const std::string& extension, ByteView content, bool deflate) {
    std::vector<std::uint8_t> units = Ucs2Bytes(Utf8ToUtf16(extension));
    units.push_back(0);
    units.push_back(0);
    const std::size_t headerLength = 12 + units.size();
    Bytes decoded(headerLength + content.size());
    Put32(&decoded[0], static_cast<std::uint32_t>(headerLength));
    Put32(&decoded[4], 1);
    Put32(&decoded[8], static_cast<std::uint32_t>(units.size() / 2));
    std::copy(units.begin(), units.end(), decoded.begin() + 12);
    std::copy(content.begin(), content.end(),
              decoded.begin() + static_cast<std::ptrdiff_t>(headerLength));

    uLongf compressedSize = deflate ? compressBound(decoded.size()) : decoded.size();
    Bytes stored(8 + compressedSize);
    Put32(&stored[0], deflate ? 1 : 0);
    Put32(&stored[4], static_cast<std::uint32_t>(decoded.size()));
    if (!deflate) {
        std::memcpy(stored.data() + 8, decoded.data(), decoded.size());
        return stored;
    }
    if (compress2(stored.data() + 8, &compressedSize, decoded.data(), decoded.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw Error("an attachment could not be compressed");
    stored.resize(8 + compressedSize);
    return stored;
}

}  // namespace pictrova::jet
