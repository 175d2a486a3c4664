// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Bounds on libmdb's table scans, and the catalog read with them. libmdb scans a table by
// following its usage map and trusts every number in it: on a damaged or truncated file a scan can
// name pages past the end, return rows built from zeroed pages, or go on for as long as memory
// lasts. The layer checks a table's usage map before the first scan, counts the rows a scan
// returns against what the table's pages can hold, and reads the catalog itself (in place of
// mdb_read_catalog) with the same bounds and a check of every catalog row.

#include <cstdint>
#include <string>
#include <vector>

#include "database/mdb_handles.h"

namespace pictrova::database {

// The catalog (MSysObjects) has its table definition on page 2 in every version.
inline constexpr unsigned long kCatalogPage = 2;

// "The table 'NAME' is damaged: DETAIL." and, when libmdb printed anything meanwhile, a summary
// of it on the same line.
std::string DamagedTableText(const std::string& table, const std::string& detail,
                             const std::vector<std::string>& libmdbMessages);

// The most rows a scan can return in a file of `imageBytes`: every page full of the smallest
// rows. A scan that passes it is going round in circles.
std::uint64_t ScanRowLimit(const MdbHandle* mdb, std::uint64_t imageBytes);

// What is wrong with the table's usage map ("" when nothing): a map of unknown kind, cut short,
// or naming a data page (or a page of the map itself) at or past the end of the file. Reads map
// pages through libmdb's second page buffer.
std::string UsageMapDamage(MdbTableDef* table, std::uint64_t imageBytes,
                           std::vector<std::string>& libmdbMessages);

// Reads the catalog into the handle (mdb->catalog, as mdb_read_catalog leaves it, without
// properties). Throws "The database 'PATH' is damaged: ..." when the catalog's scan passes its
// bound or a row is impossible: a blank name, control characters or more than 64 characters in
// a name, or a table definition page outside the file.
// `path` names the database in the report; `imageBytes` bounds its page numbers.
void ReadCatalog(MdbHandle* mdb, const std::string& path, std::uint64_t imageBytes,
                 std::vector<std::string>& libmdbMessages);

}  // namespace pictrova::database
