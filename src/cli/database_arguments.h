// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The checks the commands on one database (tables, fields, extract) make before they work, with
// their messages: each failure is one line on stderr after "pictrova-cli: ", with names from the
// database and the command line shown escaped, and the command exits with kExitUsage.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "database/database_selection.h"

namespace pictrova::cli {

// Writes "pictrova-cli: LINE" on stderr (escaped); returns false for the caller to pass on.
bool FailCheck(const std::string& line);

// The command's database opened and kept by `selection`, or false after one line saying why:
// "no database file at PATH", "cannot open PATH: a password is required (...)" when none was
// given, "cannot open PATH: wrong password", "cannot open PATH: DESCRIPTION" for the rest.
bool CheckDatabaseOpens(const database::DatabaseSelection& selection);

// `table` of the database (named without regard to case, as the database names it) with its
// fields, or nullopt after one line: "no table "T" in PATH; its tables: A, B" or "cannot read the
// fields of "T": DESCRIPTION".
std::optional<std::vector<database::FieldInfo>> CheckTableFields(const database::Database& database,
                                                                 const std::string& table);

// The field of that name (without regard to case) among `fields`, or nullopt after one line:
// "no WHAT "F" in table "T"; its fields: A, B" (WHAT: "field", "name field").
std::optional<database::FieldInfo> CheckFieldExists(const std::vector<database::FieldInfo>& fields,
                                                    const std::string& field,
                                                    const std::string& table, const char* what);

}  // namespace pictrova::cli
