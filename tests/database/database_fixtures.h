// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Databases from our writer for the data layer's tests, and byte-level edits of written files
// (damage, the encryption marker) where the writer has no option for them.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "byte_pattern.h"
#include "jet_writer/jet_writer.h"
#include "test_paths.h"

namespace pictrova::database::testing {

using jet::Bytes;

using pictrova::testing::Pattern;

inline std::string Write(const pictrova::testing::TempDir& dir, const std::string& name,
                         const jet::DatabasePlan& plan) {
    std::string path = (dir / name).string();
    jet::WriteDatabase(path, plan);
    return path;
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The offset of the only occurrence of `needle` in `bytes` (fails the test otherwise).
std::size_t FindOnly(const std::vector<std::uint8_t>& bytes,
                     const std::vector<std::uint8_t>& needle);

}  // namespace pictrova::database::testing
