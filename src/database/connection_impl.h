// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an open connection holds, for the recordsets opened on it.

#include "common/error_codes.h"
#include "database/connection.h"
#include "database/database_file.h"

namespace pictrova::database {

struct Connection::Impl {
    DatabaseFile file;
};

}  // namespace pictrova::database
