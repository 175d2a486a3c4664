// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/error_codes.h"

#include <cstddef>
#include <iterator>

#include "common/error.h"

namespace pictrova {
namespace {

constexpr bool TableFollowsTheEnum() {
    for (std::size_t i = 0; i < std::size(kErrorCodes); ++i)
        if (static_cast<std::size_t>(kErrorCodes[i].code) != i)
            return false;
    return true;
}
static_assert(TableFollowsTheEnum(), "kErrorCodes must list every ErrorCode in the enum's order");

const ErrorCodeRow& Row(ErrorCode code) noexcept {
    return kErrorCodes[static_cast<std::size_t>(code)];
}

}  // namespace

std::int32_t ErrorNumber(ErrorCode code) noexcept {
    return Row(code).number;
}

std::string ErrorText(ErrorCode code, std::string_view argument) {
    const std::string_view text = Row(code).text;
    const std::size_t at = text.find("%1");
    if (at == std::string_view::npos)
        return std::string(text);
    std::string out(text.substr(0, at));
    out += argument;
    out += text.substr(at + 2);
    return out;
}

void Throw(ErrorCode code, std::string_view argument) {
    throw Error(code, argument);
}

}  // namespace pictrova
