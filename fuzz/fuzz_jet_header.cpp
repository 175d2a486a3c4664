// SPDX-License-Identifier: GPL-3.0-or-later
// Page 0 of a database: the Jet header with its masked password, and the header facts the
// encrypted-file check reads. The first byte chooses the password tried against the header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/error.h"
#include "database/accdb/encryption_header.h"
#include "database/jet_header.h"

namespace {

const std::array<std::string, 4> kPasswords = {"", "secret", "Pässwörd", std::string(40, 'x')};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string& password = kPasswords[data[0] % kPasswords.size()];
    const std::span<const std::uint8_t> page0(data + 1, size - 1);
    try {
        const pictrova::database::JetHeader header = pictrova::database::ReadJetHeader(page0);
        pictrova::database::PasswordMatches(header, password);
    } catch (const pictrova::Error&) {
    }
    try {
        const auto header = pictrova::database::ReadHeaderPage(page0);
        pictrova::database::IsOfficeEncrypted(header);
    } catch (const pictrova::Error&) {
    }
    return 0;
}
