// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb_encryption.h"

#include "common/error.h"

namespace pictrova::database {

DatabaseFile OpenEncryptedAccdb(const std::string& path, const JetHeader&,
                                std::span<const std::uint8_t>, const std::string&) {
    throw Error("The database '" + path +
                "' is encrypted with a password (Office encryption); opening encrypted .accdb "
                "files is not yet supported.");
}

}  // namespace pictrova::database
