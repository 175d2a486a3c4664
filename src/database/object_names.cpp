// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/object_names.h"

#include "database/mdb_handles.h"

namespace pictrova::database {

std::string FoldName(std::string_view name) {
    GCharPtr folded(g_utf8_casefold(name.data(), static_cast<gssize>(name.size())));
    return folded ? std::string(folded.get()) : std::string(name);
}

bool SameName(std::string_view a, std::string_view b) { return FoldName(a) == FoldName(b); }

}  // namespace pictrova::database
