// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Size arithmetic on values taken from untrusted data. Every sum and product that later sizes an
// allocation or a copy goes through these, so an overflow is an error and never a small buffer.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "common/error.h"

namespace pictrova {

template <std::integral T>
T CheckedAdd(T a, T b) {
    T r;
    if (__builtin_add_overflow(a, b, &r))
        throw Error("arithmetic overflow in size computation");
    return r;
}

template <std::integral T>
T CheckedSub(T a, T b) {
    T r;
    if (__builtin_sub_overflow(a, b, &r))
        throw Error("arithmetic overflow in size computation");
    return r;
}

template <std::integral T>
T CheckedMul(T a, T b) {
    T r;
    if (__builtin_mul_overflow(a, b, &r))
        throw Error("arithmetic overflow in size computation");
    return r;
}

// Converts between integer types, failing when the value does not fit (a negative size read as
// signed, a 64-bit count that does not fit 32 bits).
template <std::integral To, std::integral From>
To CheckedCast(From v) {
    To r;
    if (__builtin_add_overflow(v, From{0}, &r))
        throw Error("value out of range in size computation");
    return r;
}

// Checks that a size read from the data can be backed by the input that is actually there
// (OpenImageIO-style sanity check before any allocation): a 2 GB size in a 100-byte field is an
// error, not an allocation.
inline std::size_t EnforcePlausibleSize(std::uint64_t declared, std::uint64_t available,
                                        const char* what) {
    if (declared > available)
        throw Error(std::string(what) + ": declared size exceeds the data");
    return static_cast<std::size_t>(declared);
}

}  // namespace pictrova
