// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Database access: one opened database as a value and the selection that keeps it, the
// connection string, the data-access probe, our connection / recordset / field layer over
// libmdb, and the listing of tables and fields.

#include "database/ado_types.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/data_access_probe.h"
#include "database/database_selection.h"
#include "database/opened_database.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
