// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Values and tables shared by the writer's round-trip tests.

#include <optional>
#include <string>
#include <vector>

#include "byte_pattern.h"
#include "jet_writer/jet_writer.h"

namespace pictrova::jet {

using pictrova::testing::Pattern;

inline std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// One column of each type and rows that cover limits, Unicode, empty values and NULL.
inline TablePlan EveryTypeTable() {
    TablePlan table{"Every Type",
                    {{"Long", ColumnType::Long},
                     {"Integer", ColumnType::Integer},
                     {"Short Text", ColumnType::Text, 50},
                     {"Memo", ColumnType::Memo},
                     {"Binary", ColumnType::Binary, 16},
                     {"OLE", ColumnType::OleObject}},
                    {}};
    table.rows.push_back({std::int64_t(2147483647), std::int64_t(32767), std::string("Grüße ☃"),
                          std::string("short memo"), Bytes{0, 1, 2, 0xFF}, Bytes{1, 2, 3}});
    table.rows.push_back({std::int64_t(-2147483648LL), std::int64_t(-32768),
                          std::string("café crème, plain Latin-1"), Repeat("abcdefghij", 200),
                          Bytes{}, Bytes{}});
    table.rows.push_back({Null, Null, Null, Null, Null, Null});
    table.rows.push_back(
        {std::int64_t(0), std::int64_t(0), std::string(), std::string(), Null, Pattern(5000, 3)});
    table.rows.push_back({std::int64_t(1), std::int64_t(-1), Repeat("x", 50), Repeat("Ā€ß", 1700),
                          Pattern(16, 4), Pattern(4081, 5)});
    return table;
}

// What libmdb reports for a row: numbers as decimal text, and an empty Text, Memo or Binary
// value as NULL (libmdb binds them with length 0); only an empty OLE value stays empty.
inline std::vector<std::optional<std::string>> ExpectedFromLibmdb(const TablePlan& table,
                                                                  std::size_t r) {
    std::vector<std::optional<std::string>> out;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const Value& value = table.rows[r][c];
        bool ole = table.columns[c].type == ColumnType::OleObject;
        if (const auto* number = std::get_if<std::int64_t>(&value)) {
            out.push_back(std::to_string(*number));
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            out.push_back(text->empty() ? std::nullopt : std::optional<std::string>(*text));
        } else if (const auto* bytes = std::get_if<Bytes>(&value)) {
            out.push_back(bytes->empty() && !ole ? std::nullopt
                                                 : std::optional<std::string>(
                                                       std::string(bytes->begin(), bytes->end())));
        } else {
            out.push_back(std::nullopt);
        }
    }
    return out;
}

}  // namespace pictrova::jet
