// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one place libmdb's header is included, and owners for its handles. <glib.h> has to come
// first: mdbtools.h 1.0 includes it inside extern "C", which breaks glib's C++ templates.
//
// libmdb facts the layer is built around (Debian's mdbtools 1.0):
//   - mdb_init/mdb_exit are deprecated no-ops; never called.
//   - libmdb reports problems with fprintf(stderr) and offers no hook to route them. The layer
//     checks what it can before handing work to libmdb (the file exists, page 0 is a known
//     header, usage maps and long-value pages lie inside the file, long-value storage flags are
//     known) and captures what libmdb still prints around every call (libmdb_capture.h).
//   - libmdb's scans trust the file: they are bounded by the layer (table_scan.h), and the
//     catalog is read by the layer itself rather than by mdb_read_catalog.
//   - A handle scans one table at a time (one page buffer); each recordset scans on a clone.

#include <glib.h>

#include <mdbtools.h>

#include <cstddef>
#include <memory>

namespace pictrova::database {

// libmdb converts every bound value to text in a buffer of the handle's bind size; a Memo value
// longer than this many UTF-8 bytes is cut there (about 87,000 characters at worst).
inline constexpr std::size_t kTextBindSize = 256 * 1024;
// Buffers for bound values that live inside one page (numbers, dates, Text, Binary): their
// text form cannot exceed twice a page.
inline constexpr std::size_t kInPageBindSize = 16 * 1024;

// Closing a clone changes the count of handles on the file they share: it is serialised with
// every other call into libmdb (libmdb_capture.h), as recordsets may live on several threads.
struct MdbHandleCloser {
    void operator()(MdbHandle* handle) const;
};
struct MdbTableDefFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
struct GFreer {
    void operator()(void* p) const { g_free(p); }
};

using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleCloser>;
using MdbTableDefPtr = std::unique_ptr<MdbTableDef, MdbTableDefFreer>;
using GCharPtr = std::unique_ptr<gchar, GFreer>;

// libmdb copies a table's usage map (which pages hold its rows) without checking that the row
// holding it has any bytes: an empty row leaves the map null, and the table's first scan
// dereferences it. A table definition without a usage map is refused before any scan.
inline bool HasUsageMap(const MdbTableDef* table) {
    return table && table->usage_map && table->map_sz > 0;
}

}  // namespace pictrova::database
