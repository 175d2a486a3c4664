// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns the bytes of one Access OLE Object field into the file embedded in it.

#include <cstdint>
#include <string>
#include <vector>

namespace pictrova::ole {

// Why the decoder gave up, for the two failures that carry a reason. Empty (number 0) otherwise.
struct FailureReason {
    std::int32_t number = 0;
    std::string source;
    std::string description;

    bool empty() const { return number == 0; }
};

// Module modGetContentsStream.
//
// `bytes`: the field value; on success replaced by the extracted file (its length changes), on
// failure its content is unspecified. `extension`: the file kind in lower case without a dot,
// assigned as soon as the class is recognised (so it may hold a value after false). `label`:
// packages append their label, ending in its zero character. `reason`: reset at every call and
// set on the two failures that carry one. Never throws.
bool fGetContentsStream(std::vector<std::uint8_t>& bytes, std::string& extension,
                        std::string& label, FailureReason* reason = nullptr);

}  // namespace pictrova::ole
