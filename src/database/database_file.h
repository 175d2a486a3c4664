// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opening a database file for libmdb: the checks the data-access objects make before a
// connection opens (file present, known format, password), then the libmdb handle over either
// the file itself or a decrypted in-memory image of it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "database/mdb_handles.h"

namespace pictrova::database {

struct DatabaseFile {
    // An in-memory image libmdb reads through mdb_open_buffer; it must outlive every handle
    // over it (clones included), so handles keep a reference. Null when libmdb reads the file.
    std::shared_ptr<const void> image;
    MdbHandlePtr handle;
    // Bytes libmdb can read: the file size or the image size (bounds for page numbers).
    std::uint64_t imageBytes = 0;
    std::string path;
};

// Opens `path` with `password`; throws pictrova::Error with the data-access descriptions
// listed in connection.h. The handle comes back with the catalog read and the formats set.
DatabaseFile OpenDatabaseFile(const std::string& path, const std::string& password);

// A second handle over the same file or image, for one more table scan.
MdbHandlePtr CloneHandle(const DatabaseFile& file);

}  // namespace pictrova::database
