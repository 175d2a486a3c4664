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
// handle over the decrypted image, which DatabaseFile::image keeps alive (accdb_decrypt.h);
// the caller finishes the opening (formats, catalog). Throws pictrova::Error:
// "Not a valid password." for a password that does not verify (checked before any page is
// decrypted), a description naming an encryption kind that cannot be opened, or a description
// of a damaged encryption header.
DatabaseFile OpenEncryptedAccdb(const std::string& path, const JetHeader& header,
                                std::span<const std::uint8_t> page0, const std::string& password);

}  // namespace pictrova::database
