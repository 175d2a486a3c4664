// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any byte string as an OLE Object field. The decoder must return true or
// false; the sanitizers catch every read or write outside its arrays.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ole/ole_object_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> field(data, data + size);
    std::string extension, label;
    pictrova::ole::FailureReason reason;
    pictrova::ole::fGetContentsStream(field, extension, label, &reason);
    return 0;
}
