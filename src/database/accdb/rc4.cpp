// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/rc4.h"

#include <utility>

#include "common/error.h"
#include "database/accdb/crypto.h"

namespace pictrova::database {

Rc4::Rc4(std::span<const std::uint8_t> key) {
    for (int k = 0; k < 256; ++k)
        state_[k] = static_cast<std::uint8_t>(k);
    if (key.empty())
        throw Error("RC4 needs a key");
    std::uint8_t j = 0;
    for (std::size_t k = 0; k < 256; ++k) {
        j = static_cast<std::uint8_t>(j + state_[k] + key[k % key.size()]);
        std::swap(state_[k], state_[j]);
    }
}

Rc4::~Rc4() {
    Cleanse(state_, sizeof state_);
    Cleanse(&i_, 1);
    Cleanse(&j_, 1);
}

void Rc4::Apply(std::span<std::uint8_t> data) noexcept {
    std::uint8_t i = i_, j = j_;
    for (std::uint8_t& byte : data) {
        i = static_cast<std::uint8_t>(i + 1);
        const std::uint8_t si = state_[i];
        j = static_cast<std::uint8_t>(j + si);
        const std::uint8_t sj = state_[j];
        state_[i] = sj;
        state_[j] = si;
        byte ^= state_[static_cast<std::uint8_t>(si + sj)];
    }
    i_ = i;
    j_ = j;
}

}  // namespace pictrova::database
