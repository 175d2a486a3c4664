// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/database_selection.h"

namespace pictrova::database {

Database DatabaseSelection::Opened() const {
    const std::string path = DatabasePath();
    const std::string password = DatabasePassword();
    if (!kept_.IsOpen() || kept_.Path() != path || kept_.Password() != password ||
        !kept_.FileUnchanged()) {
        kept_ = {};
        kept_ = OpenDatabase(path, password);
    }
    return kept_;
}

}  // namespace pictrova::database
