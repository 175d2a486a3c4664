// SPDX-License-Identifier: GPL-3.0-or-later
// The three compound-document operations. The first input byte picks the operation and the
// stream name (the names the decoder's class table asks for); the rest is the document.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "ole/compound_document.h"

namespace {

constexpr std::array<std::string_view, 5> kStreamNames = {"CONTENTS", "Ole10Native", "WorkBook",
                                                          "WordDocument", "PowerPoint Document"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t selector = data[0];
    std::vector<std::uint8_t> document(data + 1, data + size);
    const std::string_view name = kStreamNames[(selector >> 2) % kStreamNames.size()];
    std::size_t n = 0;
    switch (selector & 3) {
        case 0:
            n = pictrova::ole::GetContentsStream(document, name);
            break;
        case 1:
            n = pictrova::ole::GetContentsStreamChild(document, name);
            break;
        default:
            n = pictrova::ole::ExtractOfficeDocument(document, name);
            break;
    }
    if (n > document.size())
        __builtin_trap();  // the contract: never more than was given
    return 0;
}
