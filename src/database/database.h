// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Database access: the connection string, the data-access probe, our connection / recordset /
// field layer over libmdb, and the listing of tables and fields.

#include "database/ado_types.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/data_access_probe.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
