// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading the picture field of read method 2: the field's raw bytes, wrapper included, streamed
// into the work file in chunks, and the size query that tells the run whether anything came.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/host.h"

namespace pictrova::database {
class Field;
}

namespace pictrova::run {

inline constexpr std::int64_t kChunkSize = 100'000;

// Deletes a file already at `path`, then writes the field's first (size modulo 100,000) bytes and
// then its 100,000-byte chunks, in field order: the whole field, byte for byte. Never throws.
// When a step fails (the file cannot be created, a chunk cannot be read or written) it stops,
// removes the partial file, puts the reason in `failure` (if given) and returns nullopt, so a
// short file never passes for the field; else it returns the bytes written. A write of the file
// that failed puts the system's error number in `writeError` (if given; else it is left 0).
std::optional<std::int64_t> FieldToFile(database::Field& field, const std::filesystem::path& path,
                                        Host& host, std::string* failure = nullptr,
                                        int* writeError = nullptr);

// The file's size in bytes; 0 when it cannot be opened or does not exist. Never throws.
std::int64_t FileSize2(const std::filesystem::path& path);

}  // namespace pictrova::run
