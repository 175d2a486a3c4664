// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A connection to one Access database, opened from a connection string (see
// connection_string.h): the document's way in, over an opened Database (opened_database.h),
// which the program itself passes around instead.
//
// Open fails with a pictrova::Error whose description says why, as the data-access objects'
// errors do:
//   "Could not find file '<path>'."           no such file
//   "Unrecognized database format '<path>'."  not a Jet or ACE database, or unreadable
//   "Not a valid password."                   the password stored in the file differs
//   "... is encrypted ... not yet supported"  an Office-encrypted .accdb
// A file without a stored password opens whatever password is given.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/ado_types.h"
#include "database/opened_database.h"

namespace pictrova::database {

class Connection {
  public:
    Connection();
    ~Connection();
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;

    // The access mode asked for before Open (kAdModeReadWrite in the field listing). The layer
    // only reads, so the value is kept and reported but opens nothing for writing.
    void SetMode(int mode) { mode_ = mode; }
    int Mode() const { return mode_; }

    void Open(const std::string& connectionString);
    bool IsOpen() const;

    // kAdSchemaTables is the one schema there is.
    TablesSchema OpenSchema(int schema);

    void Close();

    // The database it opened; fails unless open.
    const Database& database() const;

  private:
    std::optional<Database> database_;
    int mode_ = 0;
};

}  // namespace pictrova::database
