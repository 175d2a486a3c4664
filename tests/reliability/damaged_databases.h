// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Databases from our writer, and damaged copies of them made with a fixed seed: cut short,
// with bits flipped, with pages zeroed, swapped or copied over others. The same seed gives the
// same variants on every machine, so a failing variant is named and can be made again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pictrova::reliability {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kSweepSeed = 20261207;

struct BaseDatabase {
    std::string name;       // "jet4", "ace12"
    std::string extension;  // ".mdb" or ".accdb"
    std::size_t pageSize = 4096;
    Bytes bytes;
    std::string password;  // what opens it; damage may break that too
};

// Three small databases with the same two tables: a Jet4 .mdb, a plain ACE .accdb and the same
// .accdb encrypted with a password (Agile, AES-256, a short spin count to keep opening fast).
// The writer draws fresh salts and keys for the encrypted one on every call, so its damaged
// pages decrypt to different bytes each run: a fault found there is kept with the sweep's
// PICTROVA_SWEEP_KEEP rather than made again from the seed.
// Tables: "Pictures" (ID, Title, Picture: OLE objects of several classes, inline, on one
// long-value page and in a chain over several, and a Null) and "Notes" (ID, Body: a memo).
std::vector<BaseDatabase> SweepBaseDatabases();

// Names of the tables and fields above, for the commands the sweep runs.
inline constexpr char kPictureTable[] = "Pictures";
inline constexpr char kPictureField[] = "Picture";

struct DamagedDatabase {
    std::string name;  // base name, kind of damage and its place: "jet4-swap-pages-3-9"
    std::string extension;
    Bytes bytes;
    std::string password;
};

// About 160 variants of each base: every page boundary cut and a few mid-page cuts, every page
// zeroed, two bit flips in each page's header and two anywhere in it, bursts of random bit
// flips, page swaps and copies; and 20 x `scale` more: cuts at arbitrary bytes, and the catalog
// damaged (bits flipped in its pages, row counts and its definition's usage map and column count
// changed). A larger scale is for a longer search by hand.
std::vector<DamagedDatabase> DamagedVariants(const BaseDatabase& base, std::uint32_t seed = kSweepSeed, int scale = 1);

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace pictrova::reliability
