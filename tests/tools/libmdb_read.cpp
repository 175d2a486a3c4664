// SPDX-License-Identifier: GPL-3.0-or-later
#include "libmdb_read.h"

// clang-format off
#include <glib.h>
#include <mdbtools.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace pictrova::testing {

namespace {

constexpr std::size_t kBindSize = 1 << 20;  // Memo values come back whole up to this size

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;

MdbPtr Open(const std::filesystem::path& path) {
    MdbPtr mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb)
        throw std::runtime_error("libmdb cannot open " + path.string());
    if (!mdb_read_catalog(mdb.get(), MDB_ANY))
        throw std::runtime_error("libmdb cannot read the catalog");
    return mdb;
}

std::uint32_t DeclaredLongValueLength(const char* header) {
    auto byte = [&](int i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(header[i]));
    };
    return (byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24) & 0x3FFFFFFF;
}

}  // namespace

std::vector<LibmdbCatalogEntry> ReadCatalogWithLibmdb(const std::filesystem::path& path) {
    MdbPtr mdb = Open(path);
    std::vector<LibmdbCatalogEntry> entries;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        entries.push_back(
            {entry->object_name, entry->object_type, static_cast<unsigned>(entry->flags)});
    }
    return entries;
}

LibmdbTable ReadTableWithLibmdb(const std::filesystem::path& path, const std::string& name) {
    MdbPtr mdb = Open(path);
    mdb_set_bind_size(mdb.get(), kBindSize);
    MdbCatalogEntry* entry = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (candidate->object_type == MDB_TABLE && name == candidate->object_name)
            entry = candidate;
    }
    if (!entry)
        throw std::runtime_error("libmdb finds no table " + name);
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table)
        throw std::runtime_error("libmdb cannot read the definition of " + name);
    mdb_read_columns(table.get());
    mdb_rewind_table(table.get());

    LibmdbTable result;
    std::size_t count = table->num_cols;
    std::vector<std::vector<char>> buffers(count, std::vector<char>(kBindSize));
    std::vector<int> lengths(count);
    for (std::size_t c = 0; c < count; ++c) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        result.columnNames.push_back(column->name);
        result.columnTypes.push_back(column->col_type);
        mdb_bind_column(table.get(), static_cast<int>(c + 1), buffers[c].data(), &lengths[c]);
    }
    while (mdb_fetch_row(table.get())) {
        std::vector<LibmdbCell> row(count);
        for (std::size_t c = 0; c < count; ++c) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            // The bound text of a Binary value stops at its first zero byte: take the row's bytes.
            if (column->col_type == MDB_BINARY && column->cur_value_len > 0) {
                const auto* start =
                    reinterpret_cast<const char*>(mdb->pg_buf) + column->cur_value_start;
                row[c] = std::string(start, static_cast<std::size_t>(column->cur_value_len));
            } else if (lengths[c] == 0) {
                continue;  // NULL (and, for Text and Memo, also the empty text)
            } else if (column->col_type != MDB_OLE) {
                row[c] = std::string(buffers[c].data(), static_cast<std::size_t>(lengths[c]));
            }
        }
        // OLE reads move libmdb's page buffer, so they come after the in-row values.
        for (std::size_t c = 0; c < count; ++c) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            if (column->col_type != MDB_OLE || lengths[c] == 0)
                continue;
            std::uint32_t declared = DeclaredLongValueLength(buffers[c].data());
            std::size_t size = 0;
            void* bytes = mdb_ole_read_full(mdb.get(), column, &size);
            if (!bytes)
                throw std::runtime_error("libmdb cannot read an OLE value");
            row[c] = std::string(static_cast<const char*>(bytes), size);
            std::free(bytes);
            EXPECT_EQ(size, declared)
                << "OLE value of column " << column->name << " read with the wrong size";
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace pictrova::testing
