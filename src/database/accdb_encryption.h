// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Office-encrypted .accdb files (ACE versions with a non-zero database key on page 0): the
// password protects the page contents, which libmdb cannot read. OpenEncryptedAccdb is the one
// place that turns such a file into something libmdb can open.

#include <cstdint>
#include <span>
#include <string>

#include "database/database_file.h"
#include "database/jet_header.h"

namespace pictrova::database {

// `page0` holds the file's first page (or as much of it as the file has). Returns the opened
// handle (typically over a decrypted image kept in DatabaseFile::image); the caller finishes
// the opening (formats, catalog). Throws pictrova::Error: "Not a valid password." for a
// password that does not verify; today, for every such file, a description saying that the
// file is encrypted and that this is not yet supported.
DatabaseFile OpenEncryptedAccdb(const std::string& path, const JetHeader& header,
                                std::span<const std::uint8_t> page0, const std::string& password);

}  // namespace pictrova::database
