// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The connection string every database operation opens its connection with, and its parsing on
// the opening side. The path and password live in the database page; operations read them
// through DatabaseSelection at the moment they connect, never from a copy.

#include <string>
#include <string_view>

namespace pictrova::database {

// The database page's path field (Text1) and password field (Text2), read live.
class DatabaseSelection {
  public:
    virtual ~DatabaseSelection() = default;
    virtual std::string DatabasePath() const = 0;
    virtual std::string DatabasePassword() const = 0;
};

// A selection that holds fixed values (command line, tests).
class FixedDatabaseSelection : public DatabaseSelection {
  public:
    FixedDatabaseSelection(std::string path, std::string password)
        : path_(std::move(path)), password_(std::move(password)) {}
    std::string DatabasePath() const override { return path_; }
    std::string DatabasePassword() const override { return password_; }

  private:
    std::string path_;
    std::string password_;
};

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
