// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/skip_reasons.h"

#include <cstddef>
#include <iterator>

namespace pictrova {
namespace {

constexpr bool TableFollowsTheEnum() {
    for (std::size_t i = 0; i < std::size(kSkipCodes); ++i)
        if (static_cast<std::size_t>(kSkipCodes[i].code) != i)
            return false;
    return std::size(kSkipCodes) == static_cast<std::size_t>(SkipCode::Error) + 1;
}
static_assert(TableFollowsTheEnum(), "kSkipCodes must list every SkipCode in the enum's order");

const SkipCodeRow& Row(SkipCode code) noexcept {
    return kSkipCodes[static_cast<std::size_t>(code)];
}

}  // namespace

std::string_view SkipText(SkipCode code) noexcept {
    return Row(code).text;
}

std::string CountWord(const SkipReason& skip) {
    const SkipCodeRow& row = Row(skip.code);
    std::string word(row.countWord);
    if (row.countNamesDetail)
        word += " \"" + skip.detail + "\"";
    return word;
}

}  // namespace pictrova
