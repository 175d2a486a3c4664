// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/attachment_data.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "database/jet_header.h"

namespace pictrova::database {
namespace {

// deflate cannot shrink data by more than about 1032:1; a declared length beyond that for the
// compressed bytes present is a lie, refused before anything is allocated.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
constexpr std::uint64_t kDeflateRatioSlack = 1024;

[[noreturn]] void Damaged(const std::string& why) {
    throw Error(why);
}

struct InflateStream {
    z_stream z{};
    InflateStream() {
        if (inflateInit(&z) != Z_OK)
            Damaged("the decompressor could not start");
    }
    ~InflateStream() { inflateEnd(&z); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

// Inflates `compressed` into exactly `declared` bytes; a stream that ends early, goes on past
// the declared length or is damaged is an error.
std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> compressed,
                                  std::uint32_t declared) {
    std::uint64_t plausible = CheckedAdd<std::uint64_t>(
        CheckedMul<std::uint64_t>(compressed.size(), kMaxDeflateRatio), kDeflateRatioSlack);
    if (declared > plausible)
        Damaged("it declares " + std::to_string(declared) + " bytes, more than its " +
                std::to_string(compressed.size()) + " compressed bytes can hold");
    std::vector<std::uint8_t> out(declared);
    InflateStream stream;
    z_stream& z = stream.z;
    // zlib counts in uInt; attachments are far below its limit (kMaxAttachmentBytes).
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = CheckedCast<uInt>(compressed.size());
    z.next_out = out.data();
    z.avail_out = CheckedCast<uInt>(out.size());
    int status = inflate(&z, Z_FINISH);
    if (status == Z_STREAM_END) {
        if (z.avail_out != 0)
            Damaged("it inflates to " + std::to_string(declared - z.avail_out) + " of the " +
                    std::to_string(declared) + " bytes it declares");
        return out;
    }
    if (status == Z_BUF_ERROR && z.avail_out == 0) {
        // The declared bytes are full and the stream goes on: one more byte tells whether it
        // holds more data or only its end.
        std::uint8_t extra = 0;
        z.next_out = &extra;
        z.avail_out = 1;
        status = inflate(&z, Z_FINISH);
        if (status == Z_STREAM_END && z.avail_out == 1)
            return out;
        if (z.avail_out == 0)
            Damaged("it inflates to more than the " + std::to_string(declared) +
                    " bytes it declares");
    }
    if (status == Z_BUF_ERROR)
        Damaged("its compressed data ends before the " + std::to_string(declared) +
                " bytes it declares");
    Damaged(std::string("its compressed data is damaged") +
            (z.msg ? std::string(" (") + z.msg + ")" : ""));
}

}  // namespace

DecodedAttachment DecodeAttachmentData(std::vector<std::uint8_t> stored) {
    ByteReader reader(stored);
    if (stored.size() < kAttachmentStoredHeaderBytes)
        Damaged("its value of " + std::to_string(stored.size()) +
                " bytes is too short for a header");
    std::uint32_t storage = reader.u32le();
    std::uint32_t declared = reader.u32le();
    if (declared > kMaxAttachmentBytes)
        Damaged("it declares " + std::to_string(declared) + " bytes, more than the " +
                std::to_string(kMaxAttachmentBytes) + " read");

    std::vector<std::uint8_t> content;
    if (storage == kAttachmentStoredRaw) {
        if (reader.remaining() != declared)
            Damaged("it declares " + std::to_string(declared) + " bytes but holds " +
                    std::to_string(reader.remaining()));
        content = std::move(stored);
        content.erase(content.begin(), content.begin() + kAttachmentStoredHeaderBytes);
    } else if (storage == kAttachmentStoredDeflated) {
        content = Inflate(reader.bytes(reader.remaining()), declared);
        std::vector<std::uint8_t>().swap(stored);  // assigning {} would keep its memory
    } else {
        Damaged("its storage flag " + std::to_string(storage) + " is unknown");
    }

    ByteReader header(content);
    if (content.size() < kAttachmentContentHeaderBytes)
        Damaged("its content of " + std::to_string(content.size()) +
                " bytes is too short for the content header");
    std::uint32_t headerLength = header.u32le();
    header.skip(4);
    std::uint32_t extensionUnits = header.u32le();
    std::uint64_t expected = kAttachmentContentHeaderBytes + 2ull * extensionUnits;
    if (headerLength != expected || headerLength > content.size())
        Damaged("its content header length " + std::to_string(headerLength) +
                " does not fit an extension of " + std::to_string(extensionUnits) +
                " characters in " + std::to_string(content.size()) + " bytes");

    DecodedAttachment decoded;
    decoded.extension = Utf16ToUtf8(header.sub(2 * std::size_t{extensionUnits}));
    content.erase(content.begin(), content.begin() + headerLength);
    decoded.bytes = std::move(content);
    return decoded;
}

}  // namespace pictrova::database
