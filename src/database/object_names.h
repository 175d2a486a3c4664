// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Table and field names compare without regard to case, as the database engine compares them
// (for any script, not ASCII only).

#include <string>
#include <string_view>

namespace pictrova::database {

// The case-folded form of a UTF-8 name; equal folds mean the same name.
std::string FoldName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

}  // namespace pictrova::database
