// SPDX-License-Identifier: GPL-3.0-or-later
// The encryption description of an Office-encrypted .accdb: the CryptoAPI binary layout and
// the Agile XML descriptor behind it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/error.h"
#include "database/accdb/encryption_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        pictrova::database::ParseEncryptionDescription(std::span<const std::uint8_t>(data, size));
    } catch (const pictrova::Error&) {
    }
    return 0;
}
