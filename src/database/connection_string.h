// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The connection string the document opens its connections with, and its parsing on the
// opening side (Connection::Open). The program itself opens through DatabaseSelection
// (database_selection.h) and passes the opened Database around; the string is built only where
// the wizard shows or stores it.

#include <string>
#include <string_view>

#include "database/database_selection.h"

namespace pictrova::database {

inline constexpr std::string_view kAceProvider = "Microsoft.ACE.OLEDB.12.0";
inline constexpr std::string_view kJetProvider = "Microsoft.Jet.OLEDB.4.0";

// "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=<path>;JET OLEDB:Database Password=<password>"
// when the last five characters of the path, lower-cased, are "accdb"; otherwise the same with
// "PROVIDER=Microsoft.Jet.OLEDB.4.0". Path and password are inserted verbatim; never fails.
std::string BuildConnectionString(const DatabaseSelection& selection);

// What Connection::Open takes out of a connection string. The data source ends where the last
// password clause begins, and the password is everything after that clause's "=", so paths and
// passwords with semicolons survive the round trip.
struct ConnectionStringParts {
    std::string provider;  // empty when the string names none
    std::string dataSource;
    std::string password;
};
ConnectionStringParts ParseConnectionString(std::string_view connectionString);

}  // namespace pictrova::database
