// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads our writer's files back through the real libmdb, the reader the program itself uses.
// Every value comes back as bytes: integers as decimal text, Text and Memo as UTF-8, OLE and
// Binary values as the stored bytes.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pictrova::testing {

struct LibmdbCatalogEntry {
    std::string name;
    int type = 0;  // libmdb's object type (1 table, 5 query, 6 linked table)
    unsigned flags = 0;
};

using LibmdbCell = std::optional<std::string>;  // nullopt: NULL

struct LibmdbTable {
    std::vector<std::string> columnNames;
    std::vector<int> columnTypes;
    std::vector<std::vector<LibmdbCell>> rows;
};

// Throw std::runtime_error when libmdb cannot open the file or find the table. An OLE value
// whose bytes read differ in number from its declared length fails the calling test.
std::vector<LibmdbCatalogEntry> ReadCatalogWithLibmdb(const std::filesystem::path& path);
LibmdbTable ReadTableWithLibmdb(const std::filesystem::path& path, const std::string& table);

}  // namespace pictrova::testing
