// SPDX-License-Identifier: GPL-3.0-or-later
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/display_width.h"
#include "cli/record_json.h"
#include "common/printable_text.h"
#include "run/database_scan.h"

namespace pictrova::cli {

namespace {

// "Paint.Picture 3, jpeg 1, unknown 2"; classes the decoder cannot unwrap are marked. An
// attachment field: "4 files: jpg 2, png 1, txt 1".
std::string Contents(const run::FieldScan& field) {
    std::string out;
    auto add = [&out](const std::string& text) { out += (out.empty() ? "" : ", ") + text; };
    for (const auto& [label, count] : field.fileTypes)
        add(label + " " + std::to_string(count));
    if (field.files)
        out = std::to_string(field.files) + (field.files == 1 ? " file: " : " files: ") + out;
    for (const auto& [label, count] : field.objectClasses) {
        bool undecodable =
            std::find(field.undecodableClasses.begin(), field.undecodableClasses.end(), label) !=
            field.undecodableClasses.end();
        add(label + (undecodable ? " (not decoded)" : "") + " " + std::to_string(count));
    }
    for (const auto& [label, count] : field.pictureKinds)
        add(label + " " + std::to_string(count));
    if (field.unknown)
        add("unknown " + std::to_string(field.unknown));
    if (field.unreadable)
        add("unreadable " + std::to_string(field.unreadable));
    return out.empty() ? "-" : out;
}

std::string Megabytes(std::int64_t bytes) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(bytes) / 1e6);
    return buffer;
}

// "3 databases (1 could not be opened, 1 without picture fields): 5 picture fields, 12 values,
// 0.4 MB."
std::string TotalLine(const std::vector<run::DatabaseScan>& scans) {
    std::int64_t unopened = 0, withoutFields = 0, fields = 0, values = 0, bytes = 0;
    for (const auto& db : scans) {
        if (!db.error.empty()) {
            ++unopened;
            continue;
        }
        std::int64_t fieldsHere = 0;
        for (const auto& table : db.tables) {
            for (const auto& field : table.fields) {
                ++fieldsHere;
                values += field.values;
                bytes += field.valueBytes;
            }
        }
        fields += fieldsHere;
        withoutFields += fieldsHere == 0 ? 1 : 0;
    }
    std::string line = Counted(static_cast<std::int64_t>(scans.size()), "database", "databases");
    std::string aside;
    if (unopened > 0)
        aside = std::to_string(unopened) + " could not be opened";
    if (withoutFields > 0)
        aside +=
            (aside.empty() ? "" : ", ") + std::to_string(withoutFields) + " without picture fields";
    if (!aside.empty())
        line += " (" + aside + ")";
    return line + ": " + Counted(fields, "picture field", "picture fields") + ", " +
           Counted(values, "value", "values") + ", " + Megabytes(bytes) + " MB.";
}

void PrintTable(const std::vector<run::DatabaseScan>& scans) {
    std::vector<std::vector<std::string>> rows{
        {"DATABASE", "TABLE", "FIELD", "RECORDS", "VALUES", "MB", "CONTENTS"}};
    for (const auto& db : scans) {
        const std::string name = ShownPath(db.path);
        if (!db.error.empty()) {
            rows.push_back({name, "-", "-", "-", "-", "-", "cannot open: " + db.error});
            continue;
        }
        const bool anyField = std::any_of(db.tables.begin(), db.tables.end(), [](const auto& t) {
            return !t.fields.empty() || !t.error.empty();
        });
        if (!anyField)
            rows.push_back({name, "-", "-", "-", "-", "-", "no picture fields"});
        for (const auto& table : db.tables) {
            for (const auto& field : table.fields) {
                rows.push_back({name, table.name, field.name, std::to_string(table.records),
                                std::to_string(field.values), Megabytes(field.valueBytes),
                                Contents(field)});
            }
            if (!table.error.empty())
                rows.push_back({name, table.name, "-", std::to_string(table.records), "-", "-",
                                "cannot read: " + table.error});
        }
    }
    // Every cell shown escaped: names and class names are the database's bytes. Columns are
    // as wide as their widest cell on the terminal, whatever its characters take in bytes.
    for (auto& row : rows)
        for (auto& cell : row)
            cell = PrintableText(cell);
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool number = i >= 3 && i <= 5;
            const std::string pad(widths[i] - DisplayWidth(row[i]), ' ');
            if (i + 1 == row.size())
                line += row[i];
            else
                line += (number ? pad + row[i] : row[i] + pad) + "  ";
        }
        std::cout << line << '\n';
    }
    std::cout << TotalLine(scans) << '\n';
}

Json FieldJson(const run::FieldScan& field) {
    // Keys are database text too; labels that come out the same are counted together.
    auto counts = [](const auto& labelled) {
        Json out = Json::object();
        for (const auto& [label, count] : labelled) {
            const std::string key = DatabaseText(label, TextUse::Json);
            out[key] = out.value(key, std::int64_t{0}) + count;
        }
        return out;
    };
    Json undecodable = Json::array();
    for (const auto& label : field.undecodableClasses)
        undecodable.push_back(JsonText(label));
    const Json classes = counts(field.objectClasses), kinds = counts(field.pictureKinds),
               fileTypes = counts(field.fileTypes);
    return {{"name", JsonText(field.name)},
            {"kind", JsonText(field.kind)},
            {"values", field.values},
            {"value_bytes", field.valueBytes},
            {"object_classes", classes},
            {"picture_kinds", kinds},
            {"files", field.files},
            {"file_types", fileTypes},
            {"unknown", field.unknown},
            {"unreadable", field.unreadable},
            {"undecodable_classes", undecodable}};
}

Json ScanJson(const std::vector<run::DatabaseScan>& scans) {
    Json databases = Json::array();
    for (const auto& db : scans) {
        Json tables = Json::array();
        for (const auto& table : db.tables) {
            Json fields = Json::array();
            for (const auto& field : table.fields)
                fields.push_back(FieldJson(field));
            tables.push_back({{"name", JsonText(table.name)},
                              {"records", table.records},
                              {"error", table.error.empty() ? Json() : JsonText(table.error)},
                              {"fields", fields}});
        }
        databases.push_back({{"path", JsonText(db.path.string())},
                             {"file_bytes", db.fileBytes},
                             {"error", db.error.empty() ? Json() : JsonText(db.error)},
                             {"tables", tables}});
    }
    return {{"databases", databases}};
}

}  // namespace

int ScanCommand(const ScanArguments& given) {
    ScanArguments arguments = given;
    std::vector<std::string> notes;
    arguments.databases.paths = DatabasesIn(given.databases.paths, notes);
    for (const std::string& note : notes)
        std::cerr << note << std::endl;
    std::string error;
    auto passwords = BatchPasswords::Load(arguments.databases, error);
    if (!passwords) {
        std::cerr << error << std::endl;
        return kExitUsage;
    }
    std::vector<run::DatabaseScan> scans;
    bool failed = false;
    for (const auto& path : arguments.databases.paths) {
        scans.push_back(run::ScanDatabase(path, passwords->For(path)));
        const auto& scan = scans.back();
        failed = failed || !scan.error.empty() ||
                 std::any_of(scan.tables.begin(), scan.tables.end(),
                             [](const run::TableScan& t) { return !t.error.empty(); });
    }
    if (arguments.json)
        std::cout << JsonOutput(ScanJson(scans)) << std::endl;
    else
        PrintTable(scans);
    return failed ? kExitErrorReported : kExitDone;
}

}  // namespace pictrova::cli
