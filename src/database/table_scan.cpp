// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/table_scan.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

#include "common/byte_reader.h"
#include "common/error.h"
#include "common/error_codes.h"
#include "database/libmdb_capture.h"

namespace pictrova::database {
namespace {

// Object names hold at most 64 characters.
constexpr glong kMaxObjectNameCharacters = 64;

// Usage maps: kind 0 is a start page (4 bytes) and a bitmap of the pages after it; kind 1 is a
// list of 4-byte numbers of map pages, each a 4-byte header and a bitmap of (page size - 4) * 8
// pages, the n-th map page covering the n-th such run of pages.
constexpr std::uint8_t kInlineMap = 0;
constexpr std::uint8_t kPagedMap = 1;
constexpr std::size_t kMapPageHeader = 4;

std::uint64_t PagesIn(const MdbHandle* mdb, std::uint64_t imageBytes) {
    return imageBytes / static_cast<std::uint64_t>(mdb->fmt->pg_size);
}

// Calls `page` with the number of every page a bitmap marks, numbered from `first`.
template <typename OnPage>
void ForEachMarkedPage(std::span<const std::uint8_t> bitmap, std::uint64_t first, OnPage page) {
    for (std::size_t byte = 0; byte < bitmap.size(); ++byte)
        for (int bit = 0; bit < 8; ++bit)
            if (bitmap[byte] & (1u << bit))
                page(first + byte * 8 + static_cast<std::uint64_t>(bit));
}

bool IsImpossibleName(const char* name) {
    const std::string_view text(name);
    if (text.find_first_not_of(' ') == std::string_view::npos)
        return true;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) ||
           g_utf8_strlen(text.data(), static_cast<gssize>(text.size())) > kMaxObjectNameCharacters;
}

bool IsListedObject(int type) {
    return type == MDB_TABLE || type == MDB_QUERY || type == MDB_LINKED_TABLE;
}

struct CatalogFreer {
    void operator()(GPtrArray* catalog) const {
        for (guint i = 0; i < catalog->len; ++i)
            g_free(g_ptr_array_index(catalog, i));
        g_ptr_array_free(catalog, TRUE);
    }
};

// Binds the catalog's column `name` to `buffer`, sized as the recordset sizes its buffers: Memo
// text can be as long as the handle's bind size, every other value lives inside one page. A
// buffer of the bind size for each would cost a megabyte cleared for every database opened.
// False when the catalog has no such column.
bool BindCatalogColumn(MdbTableDef* table, const char* name, std::string& buffer) {
    const guint count = std::min<guint>(table->num_cols, table->columns ? table->columns->len : 0);
    for (guint i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (g_ascii_strcasecmp(column->name, name) != 0)
            continue;
        buffer.assign(column->col_type == MDB_MEMO ? kTextBindSize : kInPageBindSize, '\0');
        return mdb_bind_column(table, static_cast<int>(i) + 1, buffer.data(), nullptr) != -1;
    }
    return false;
}

}  // namespace

std::string DamagedTableText(const std::string& table, const std::string& detail,
                             const std::vector<std::string>& libmdbMessages) {
    std::string text = "The table '" + table + "' is damaged: " + detail + ".";
    if (const std::string summary = SummariseLibmdbMessages(libmdbMessages); !summary.empty())
        text += " " + summary;
    return text;
}

std::uint64_t ScanRowLimit(const MdbHandle* mdb, std::uint64_t imageBytes) {
    // Each row takes at least its 2-byte entry in the page's row offsets.
    return PagesIn(mdb, imageBytes) * static_cast<std::uint64_t>(mdb->fmt->pg_size / 2);
}

std::string UsageMapDamage(MdbTableDef* table, std::uint64_t imageBytes,
                           std::vector<std::string>& libmdbMessages) {
    MdbHandle* mdb = table->entry->mdb;
    const std::uint64_t pages = PagesIn(mdb, imageBytes);
    std::string damage;
    auto inFile = [&](std::uint64_t page) {
        if (page >= pages && damage.empty())
            damage = "its usage map names page " + std::to_string(page) +
                     ", past the end of the file (" + std::to_string(pages) + " pages)";
    };
    try {
        ByteReader map(std::span<const std::uint8_t>(
            static_cast<const std::uint8_t*>(table->usage_map), table->map_sz));
        const std::uint8_t kind = map.u8();
        if (kind == kInlineMap) {
            const std::uint32_t first = map.u32le();
            ForEachMarkedPage(map.bytes(map.remaining()), first, inFile);
        } else if (kind == kPagedMap) {
            const auto pageSize = static_cast<std::size_t>(mdb->fmt->pg_size);
            const std::uint64_t pagesPerMapPage = (pageSize - kMapPageHeader) * 8;
            for (std::uint64_t index = 0; damage.empty() && map.remaining() >= 4; ++index) {
                const std::uint32_t mapPage = map.u32le();
                if (mapPage == 0)
                    continue;
                inFile(mapPage);
                if (!damage.empty())
                    break;
                LibmdbCapture capture(libmdbMessages);
                if (mdb_read_alt_pg(mdb, mapPage) != mdb->fmt->pg_size)
                    return "its usage map cannot be read";
                const std::span<const std::uint8_t> page(mdb->alt_pg_buf, pageSize);
                ForEachMarkedPage(page.subspan(kMapPageHeader), index * pagesPerMapPage, inFile);
            }
        } else {
            damage = "its usage map is of unknown kind " + std::to_string(kind);
        }
    } catch (const FormatError&) {
        damage = "its usage map is cut short";
    }
    return damage;
}

void ReadCatalog(MdbHandle* mdb, const std::string& path, std::uint64_t imageBytes,
                 std::vector<std::string>& libmdbMessages) {
    LibmdbCapture capture(libmdbMessages);
    auto damaged = [&](const std::string& detail) {
        std::string text = "The database '" + path + "' is damaged: " + detail + ".";
        if (const std::string summary = SummariseLibmdbMessages(libmdbMessages); !summary.empty())
            text += " " + summary;
        throw Error(text);
    };

    MdbCatalogEntry catalogEntry{};
    catalogEntry.mdb = mdb;
    catalogEntry.object_type = MDB_TABLE;
    catalogEntry.table_pg = kCatalogPage;
    std::snprintf(catalogEntry.object_name, sizeof catalogEntry.object_name, "%s", "MSysObjects");
    MdbTableDefPtr table(mdb_read_table(&catalogEntry));
    // A catalog without a usage map or columns is not a database libmdb can read at all.
    if (!HasUsageMap(table.get()) || !mdb_read_columns(table.get()) || table->num_cols == 0)
        Throw(ErrorCode::UnrecognizedFormat, path);
    if (const std::string damage = UsageMapDamage(table.get(), imageBytes, libmdbMessages);
        !damage.empty())
        damaged("its catalog's " + damage.substr(damage.find("usage map")));

    std::string id, name, type, flags;
    if (!BindCatalogColumn(table.get(), "Id", id) ||
        !BindCatalogColumn(table.get(), "Name", name) ||
        !BindCatalogColumn(table.get(), "Type", type) ||
        !BindCatalogColumn(table.get(), "Flags", flags))
        damaged("its catalog lacks the columns Id, Name, Type and Flags");

    std::unique_ptr<GPtrArray, CatalogFreer> catalog(g_ptr_array_new());
    const std::uint64_t rowLimit = ScanRowLimit(mdb, imageBytes);
    const std::uint64_t pages = PagesIn(mdb, imageBytes);
    mdb_rewind_table(table.get());
    for (std::uint64_t rows = 1; mdb_fetch_row(table.get()); ++rows) {
        if (rows > rowLimit)
            damaged("its catalog returns more rows than its pages can hold");
        const int objectType = std::atoi(type.c_str()) & 0x7F;
        const unsigned long definitionPage = std::strtoul(id.c_str(), nullptr, 10) & 0x00FFFFFF;
        if (IsListedObject(objectType) && IsImpossibleName(name.c_str()))
            damaged("its catalog holds an impossible object name (row " + std::to_string(rows) +
                    ")");
        if (objectType == MDB_TABLE && (definitionPage == 0 || definitionPage >= pages))
            damaged("its catalog places table '" + std::string(name.c_str()) + "' on page " +
                    std::to_string(definitionPage) + ", outside the file");
        auto* entry = static_cast<MdbCatalogEntry*>(g_malloc0(sizeof(MdbCatalogEntry)));
        g_ptr_array_add(catalog.get(), entry);
        entry->mdb = mdb;
        std::snprintf(entry->object_name, sizeof entry->object_name, "%s", name.c_str());
        entry->object_type = objectType;
        entry->table_pg = definitionPage;
        entry->flags = std::strtol(flags.c_str(), nullptr, 10);
    }
    if (mdb->catalog)
        mdb_free_catalog(mdb);
    mdb->num_catalog = catalog->len;
    mdb->catalog = catalog.release();
}

}  // namespace pictrova::database
