// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/object_names.h"

#include "database/mdb_handles.h"

namespace pictrova::database {

std::string FoldName(std::string_view name) {
    // A name typed by the user may not be UTF-8; GLib's folding reads past a cut-off sequence,
    // so such a name is folded as ASCII only.
    if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
        GCharPtr lower(g_ascii_strdown(name.data(), static_cast<gssize>(name.size())));
        return std::string(lower.get(), name.size());
    }
    GCharPtr folded(g_utf8_casefold(name.data(), static_cast<gssize>(name.size())));
    return folded ? std::string(folded.get()) : std::string(name);
}

bool SameName(std::string_view a, std::string_view b) {
    return FoldName(a) == FoldName(b);
}

}  // namespace pictrova::database
