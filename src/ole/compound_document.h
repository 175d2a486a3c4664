// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The structured-storage component: reads one named stream out of a compound document (the
// native data of the compound-document classes), and writes small compound documents for our
// fixtures. Built on libgsf; no libgsf type leaves this module.
//
// The three reading operations share one contract: `document` holds the compound document from
// its first byte (trailing bytes are allowed); on success the wanted bytes are written over the
// start of `document` and their count n (never more than document.size()) is returned; 0 means
// nothing was found or the document is unreadable. They never throw.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// A storage or stream to write.
struct CompoundNode {
    std::string name;
    bool isStorage = false;
    std::vector<std::uint8_t> data;       // streams
    std::vector<CompoundNode> children;   // storages
    std::array<std::uint8_t, 16> classId{};

    static CompoundNode Stream(std::string name, std::vector<std::uint8_t> data) {
        return {std::move(name), false, std::move(data), {}, {}};
    }
    static CompoundNode Storage(std::string name, std::vector<CompoundNode> children) {
        return {std::move(name), true, {}, std::move(children), {}};
    }
};

// Writes a compound document whose root storage holds `root.children` (the root's name is not
// stored; its class id is). Throws pictrova::Error when libgsf fails.
std::vector<std::uint8_t> WriteCompoundDocument(const CompoundNode& root);

}  // namespace pictrova::ole
