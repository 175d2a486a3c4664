// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Databases from our writer, and damaged copies of them made with a fixed seed: cut short,
// with bits flipped, with pages zeroed, swapped or copied over others. The same seed gives the
// same variants on every machine, so a failing variant is named and can be made again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
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
    std::string kind;  // the kind alone: "swap-pages" (a row of kDamageBounds)
    std::string extension;
    Bytes bytes;
    std::string password;
};

// About 140 variants of each base: the base itself ("intact"), every page boundary cut and a few
// mid-page cuts, every page zeroed, two bit flips in each page's header and two anywhere in it,
// bursts of random bit flips, page swaps and copies; and 20 x `scale` more: cuts at arbitrary
// bytes, and the catalog damaged (bits flipped in its pages, row counts and its definition's usage
// map and column count changed). A larger scale is for a longer search by hand.
std::vector<DamagedDatabase> DamagedVariants(const BaseDatabase& base,
                                             std::uint32_t seed = kSweepSeed, int scale = 1);

// What the sweeps must still get out of each kind of variant, over all its variants of all bases.
// The lower bounds sit well under what was measured (in the comments: share of variants, with
// seed kSweepSeed), so they catch a data layer that gives up on files it can read, not noise.
// A new kind of damage adds a row; a variant whose kind has no row fails the sweeps.
struct DamageBound {
    std::string_view kind;
    // Data layer sweep: variants read to the end (every table, value and picture decoded).
    double scannedShare;
    // Command-line sweep: variants from which `extract` wrote at least one picture.
    double withPicturesShare;
};

inline constexpr DamageBound kDamageBounds[] = {
    // kind                scanned       pictures
    {"intact", 1.0, 1.0},            // 3 of 3, 3 of 3; and every picture, exit status 0
    {"cut-at-page", 0.0, 0.0},       //  0 of 42,  0 of 42 (see below)
    {"cut-at-byte", 0.0, 0.0},       //  0 of 18,  0 of 18
    {"zero-page", 0.2, 0.35},        // 15 of 42, 24 of 42
    {"flip-header-byte", 0.5, 0.6},  // 65 of 84, 69 of 84
    {"flip-byte", 0.9, 0.9},         // 84 of 84, 84 of 84
    {"flip-bits", 0.8, 0.8},         // 71 of 72, 72 of 72
    {"swap-pages", 0.2, 0.2},        // 18 of 48, 18 of 48
    {"copy-page", 0.3, 0.4},         // 12 of 24, 15 of 24
    // Cuts at arbitrary bytes and catalog damage: what matters is no fault; a damaged catalog
    // rightly refuses the file, so no share is promised yet.
    {"truncate-at-byte", 0.0, 0.0},
    {"catalog-flip", 0.0, 0.0},
    {"catalog-rows", 0.0, 0.0},
    {"catalog-usage-map", 0.0, 0.0},
    {"catalog-columns", 0.0, 0.0},
};
// A file cut short gives no picture today: its usage maps point past its end, so the data layer
// refuses it as damaged before any scan (before that check, the picture table could not be found
// in any cut variant either). The rows say so, and rise when cut files give what they hold.

// The row of a kind, or null.
const DamageBound* BoundFor(std::string_view kind);

// Pictures in the base databases' picture field: paint (one page and a chain), static DIB,
// package and photo editor; the Null and the 3 inline bytes give none.
inline constexpr int kBasePictures = 5;

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace pictrova::reliability
