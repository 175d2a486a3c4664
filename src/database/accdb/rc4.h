// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// RC4, as Jet uses it to mask the file header (and libmdb to decode encoded pages). Not a
// security measure there; OpenSSL 3 keeps RC4 in its legacy provider, so the few lines live here.

#include <cstdint>
#include <span>

namespace pictrova::database {

// XORs `data` with the RC4 keystream of `key` (1..256 bytes).
void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

}  // namespace pictrova::database
