// SPDX-License-Identifier: GPL-3.0-or-later
#include "damaged_databases.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"

namespace pictrova::reliability {
namespace {

namespace fx = pictrova::fixtures;

constexpr char kSweepPassword[] = "Sesam 123";

jet::DatabasePlan SweepPlan(jet::Format format) {
    jet::DatabasePlan plan;
    plan.format = format;
    jet::TablePlan pictures{kPictureTable,
                            {{"ID", jet::ColumnType::Long},
                             {"Title", jet::ColumnType::Text, 50},
                             {kPictureField, jet::ColumnType::OleObject}},
                            {}};
    auto add = [&](std::int64_t id, std::string title, jet::Value value) {
        pictures.rows.push_back({id, std::move(title), std::move(value)});
    };
    fx::PackageContents package;
    package.file = fx::MakeBmpFile(3, 3);
    add(1, "paint", fx::BuildPaintPicture(fx::MakeBmpFile(12, 8)));  // one long-value page
    add(2, "static dib", fx::BuildStaticDib(fx::MakePackedDib(9, 5, 8)));
    add(3, "null", jet::Null);
    add(4, "package", fx::BuildPackage(package));
    add(5, "photo editor", fx::BuildPhotoEditorObject(fx::MakePhotoEditorStream(3, 6, 4)));
    add(6, "chain", fx::BuildPaintPicture(fx::MakeBmpFile(70, 40)));  // a chain over 3 pages
    add(7, "inline", jet::Bytes{1, 2, 3});                            // in the row, not a picture
    plan.tables.push_back(std::move(pictures));

    jet::TablePlan notes{
        "Notes", {{"ID", jet::ColumnType::Long}, {"Body", jet::ColumnType::Memo}}, {}};
    for (std::int64_t i = 1; i <= 3; ++i)
        notes.rows.push_back({i, std::string(static_cast<std::size_t>(i) * 700, 'n')});
    plan.tables.push_back(std::move(notes));
    return plan;
}

}  // namespace

std::vector<BaseDatabase> SweepBaseDatabases() {
    const Bytes plainAce = jet::WriteDatabaseToMemory(SweepPlan(jet::Format::Ace12));
    jet::AccdbEncryptionSettings encryption;
    encryption.kind = jet::AccdbEncryption::Agile;
    encryption.spinCount = 1000;
    return {
        {"jet4", ".mdb", 4096, jet::WriteDatabaseToMemory(SweepPlan(jet::Format::Jet4)), ""},
        {"ace12", ".accdb", 4096, plainAce, ""},
        {"ace12-agile", ".accdb", 4096,
         jet::EncryptAccdbImage(plainAce, encryption, kSweepPassword), kSweepPassword},
    };
}

std::vector<DamagedDatabase> DamagedVariants(const BaseDatabase& base, std::uint32_t seed,
                                             int scale) {
    std::vector<DamagedDatabase> out;
    const std::size_t pages = base.bytes.size() / base.pageSize;
    std::mt19937 random(seed);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::set<std::string> names;
    auto add = [&](std::string_view kind, std::string place, Bytes bytes) {
        // The same damage drawn twice gets a second name: each variant has a folder of its own.
        const std::string first = base.name + "-" + std::string(kind) + place;
        std::string name = first;
        for (int copy = 2; !names.insert(name).second; ++copy)
            name = first + "-" + std::to_string(copy);
        out.push_back(
            {std::move(name), std::string(kind), base.extension, std::move(bytes), base.password});
    };
    auto page = [&](Bytes& bytes, std::size_t n) {
        return bytes.begin() + static_cast<std::ptrdiff_t>(n * base.pageSize);
    };

    add("intact", "", base.bytes);
    // Cut at every page boundary, and inside a few pages.
    for (std::size_t n = 0; n < pages; ++n)
        add("cut-at-page", "-" + std::to_string(n),
            Bytes(base.bytes.begin(),
                  base.bytes.begin() + static_cast<std::ptrdiff_t>(n * base.pageSize)));
    for (int i = 0; i < 6; ++i) {
        const std::size_t at = below(base.bytes.size());
        add("cut-at-byte", "-" + std::to_string(at),
            Bytes(base.bytes.begin(), base.bytes.begin() + static_cast<std::ptrdiff_t>(at)));
    }
    // Every page zeroed.
    for (std::size_t n = 0; n < pages; ++n) {
        Bytes bytes = base.bytes;
        std::fill(page(bytes, n), page(bytes, n + 1), 0);
        add("zero-page", "-" + std::to_string(n), std::move(bytes));
    }
    // Bits flipped in each page's first 32 bytes: its type, free space, owner, row count and
    // row offsets (page 0: its signature and version).
    for (std::size_t n = 0; n < pages; ++n) {
        for (int i = 0; i < 2; ++i) {
            Bytes bytes = base.bytes;
            const std::size_t at = n * base.pageSize + below(32);
            const int bit = static_cast<int>(below(8));
            bytes[at] ^= static_cast<std::uint8_t>(1 << bit);
            add("flip-header-byte", "-" + std::to_string(at) + "-bit-" + std::to_string(bit),
                std::move(bytes));
        }
    }
    // Two single bits flipped anywhere in each page: column definitions, row data, long values.
    for (std::size_t n = 0; n < pages; ++n) {
        for (int i = 0; i < 2; ++i) {
            Bytes bytes = base.bytes;
            const std::size_t at = n * base.pageSize + below(base.pageSize);
            const int bit = static_cast<int>(below(8));
            bytes[at] ^= static_cast<std::uint8_t>(1 << bit);
            add("flip-byte", "-" + std::to_string(at) + "-bit-" + std::to_string(bit),
                std::move(bytes));
        }
    }
    // A burst of bits flipped anywhere after page 0.
    for (int i = 0; i < 24; ++i) {
        Bytes bytes = base.bytes;
        const int flips = 1 << (i % 5);
        for (int f = 0; f < flips; ++f)
            bytes[base.pageSize + below(bytes.size() - base.pageSize)] ^=
                static_cast<std::uint8_t>(1 << below(8));
        add("flip-bits", "-" + std::to_string(flips) + "-" + std::to_string(i), std::move(bytes));
    }
    // Pages swapped, and pages copied over others (a page that appears twice).
    for (int i = 0; i < 16; ++i) {
        const std::size_t a = 1 + below(pages - 1), b = 1 + below(pages - 1);
        if (a == b)
            continue;
        Bytes bytes = base.bytes;
        std::swap_ranges(page(bytes, a), page(bytes, a + 1), page(bytes, b));
        add("swap-pages", "-" + std::to_string(a) + "-" + std::to_string(b), std::move(bytes));
    }
    for (int i = 0; i < 10; ++i) {
        const std::size_t a = 1 + below(pages - 1), b = 1 + below(pages - 1);
        if (a == b)
            continue;
        Bytes bytes = base.bytes;
        std::copy(page(bytes, a), page(bytes, a + 1), page(bytes, b));
        add("copy-page", "-" + std::to_string(a) + "-over-" + std::to_string(b), std::move(bytes));
    }
    // Drawn after the families above, so that their variants stay what they were.
    // Cut at arbitrary bytes anywhere after page 0: a truncated file made libmdb scan without end.
    for (int i = 0; i < 8 * scale; ++i) {
        const std::size_t at = base.pageSize + below(base.bytes.size() - base.pageSize);
        add("truncate-at-byte", "-" + std::to_string(at),
            Bytes(base.bytes.begin(), base.bytes.begin() + static_cast<std::ptrdiff_t>(at)));
    }
    // The catalog damaged: its definition page (2) and its data pages (type 1, owned by page 2).
    // Bits flipped in its rows (names, types, table pages), its pages' row counts set to anything,
    // and its definition's usage-map pointer and column count changed.
    constexpr std::size_t kCatalogDefinition = 2, kOwnerOffset = 4, kRowCountOffset = 12;
    constexpr std::size_t kUsageMapPointer = 55, kColumnCountOffset = 45;
    std::vector<std::size_t> catalogPages{kCatalogDefinition};
    for (std::size_t n = 3; n < pages; ++n) {
        const std::size_t at = n * base.pageSize;
        const std::uint32_t owner =
            base.bytes[at + kOwnerOffset] | base.bytes[at + kOwnerOffset + 1] << 8 |
            base.bytes[at + kOwnerOffset + 2] << 16 |
            static_cast<std::uint32_t>(base.bytes[at + kOwnerOffset + 3]) << 24;
        if (base.bytes[at] == 0x01 && owner == kCatalogDefinition)
            catalogPages.push_back(n);
    }
    for (int i = 0; i < 8 * scale; ++i) {
        Bytes bytes = base.bytes;
        const std::size_t n = catalogPages[below(catalogPages.size())];
        const std::size_t flips = 1 + below(4);
        std::string place = "-" + std::to_string(n);
        for (std::size_t f = 0; f < flips; ++f) {
            const std::size_t at = n * base.pageSize + below(base.pageSize);
            const int bit = static_cast<int>(below(8));
            bytes[at] ^= static_cast<std::uint8_t>(1 << bit);
            place += "-flip-" + std::to_string(at) + "-" + std::to_string(bit);
        }
        add("catalog-flip", place, std::move(bytes));
    }
    for (int i = 0; i < 2 * scale; ++i) {
        Bytes bytes = base.bytes;
        const std::size_t n = catalogPages[below(catalogPages.size())];
        const auto rows = static_cast<std::uint16_t>(below(0x10000));
        bytes[n * base.pageSize + kRowCountOffset] = static_cast<std::uint8_t>(rows);
        bytes[n * base.pageSize + kRowCountOffset + 1] = static_cast<std::uint8_t>(rows >> 8);
        add("catalog-rows", "-" + std::to_string(n) + "-" + std::to_string(rows), std::move(bytes));
    }
    for (int i = 0; i < 2 * scale; ++i) {
        Bytes bytes = base.bytes;
        const std::size_t field = i % 2 ? kUsageMapPointer : kColumnCountOffset;
        const auto value = static_cast<std::uint32_t>(below(0x100000000ull));
        for (std::size_t b = 0; b < (field == kUsageMapPointer ? 4u : 2u); ++b)
            bytes[kCatalogDefinition * base.pageSize + field + b] =
                static_cast<std::uint8_t>(value >> (8 * b));
        add(field == kUsageMapPointer ? "catalog-usage-map" : "catalog-columns",
            "-" + std::to_string(value), std::move(bytes));
    }
    return out;
}

const DamageBound* BoundFor(std::string_view kind) {
    for (const DamageBound& bound : kDamageBounds)
        if (bound.kind == kind)
            return &bound;
    return nullptr;
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

}  // namespace pictrova::reliability
