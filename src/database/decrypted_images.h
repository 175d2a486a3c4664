// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decrypted images of Office-encrypted .accdb files, shared between opens. Decrypting reads
// and deciphers the whole file, so an image is kept (weakly: as long as some open holds it) under
// its path, the password that opened it and the identity of the file it came from; an open of
// the same path with the same password while it lives takes it instead of decrypting again.

#include <cstdint>
#include <memory>
#include <string>

#include "database/accdb/decrypt.h"

namespace pictrova::database {

// The image of the encrypted file open at `fd` (read from offset 0), named `path`: the one kept
// for it, else decrypted now (counted, see OpenCounts). Fails as DecryptAccdbImage does.
std::shared_ptr<const PlainImage> SharedDecryptedImage(const std::string& path, int fd,
                                                       const std::string& password);

// How many images this process has decrypted.
std::uint64_t DecryptedImageCount();

// One line on stderr for an open or a decryption when PICTROVA_TRACE_OPENS is set (a
// diagnostic for counting them from outside the process).
void TraceOpen(const char* what, const std::string& path);

}  // namespace pictrova::database
