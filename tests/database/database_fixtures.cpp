// SPDX-License-Identifier: GPL-3.0-or-later
#include "database_fixtures.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace pictrova::database::testing {

std::size_t FindOnly(const std::vector<std::uint8_t>& bytes,
                     const std::vector<std::uint8_t>& needle) {
    auto first = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    EXPECT_NE(first, bytes.end());
    if (first == bytes.end())
        return 0;
    EXPECT_EQ(std::search(first + 1, bytes.end(), needle.begin(), needle.end()), bytes.end());
    return static_cast<std::size_t>(first - bytes.begin());
}

}  // namespace pictrova::database::testing
