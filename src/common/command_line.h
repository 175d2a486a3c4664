// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pictrova {

// Splits a command line into arguments: runs of spaces separate them, a double quote starts or
// ends a quoted part that is taken verbatim (spaces included), the quotes themselves are dropped.
// No other character is special.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace pictrova
