// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Databases of pictures for the run's tests, written with our own writer: one table with an ID,
// a Caption text and a Picture OLE Object field (header-only: only programs that link the
// fixtures library include it).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jet_writer/jet_writer.h"

namespace pictrova::testing {

struct PictureRow {
    std::optional<std::vector<std::uint8_t>> picture;  // nullopt: NULL
    std::optional<std::string> caption;                // nullopt: NULL
};

inline void WritePictureDatabase(const std::filesystem::path& path,
                                 const std::vector<PictureRow>& rows,
                                 const std::string& table = "Pictures",
                                 const std::string& password = {}) {
    jet::DatabasePlan plan;
    plan.password = password;
    jet::TablePlan t;
    t.name = table;
    t.columns = {{"ID", jet::ColumnType::Long, 0},
                 {"Caption", jet::ColumnType::Text, 255},
                 {"Picture", jet::ColumnType::OleObject, 0}};
    std::int64_t id = 1;
    for (const auto& row : rows) {
        jet::Row r;
        r.push_back(id++);
        r.push_back(row.caption ? jet::Value(*row.caption) : jet::Value(jet::Null));
        r.push_back(row.picture ? jet::Value(*row.picture) : jet::Value(jet::Null));
        t.rows.push_back(std::move(r));
    }
    plan.tables.push_back(std::move(t));
    jet::WriteDatabase(path, plan);
}

}  // namespace pictrova::testing
