// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an open connection holds, for the recordsets opened on it.

#include "database/connection.h"
#include "database/database_file.h"

namespace pictrova::database {

struct Connection::Impl {
    DatabaseFile file;
};

// "Operation is not allowed when the object is closed." (3704)
[[noreturn]] void ThrowObjectClosed();
// "Either BOF or EOF is True, ... requires a current record." (kAdErrNoCurrentRecord)
[[noreturn]] void ThrowNoCurrentRecord();

}  // namespace pictrova::database
