// SPDX-License-Identifier: GPL-3.0-or-later
// The options every database command shares: the password from standard input, and libmdb's own
// messages on request; and the checks those commands make before they work.
#include "cli/database_arguments.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>

#include "common/error.h"
#include "common/error_codes.h"
#include "common/printable_text.h"
#include "database/library_messages.h"
#include "database/object_names.h"

namespace pictrova::cli {
namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names)
        out += (out.empty() ? "" : ", ") + name;
    return out.empty() ? "(none)" : out;
}

std::string Describe(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->description();
    return e.what();
}

bool IsPasswordRefused(const std::exception& e) {
    const auto* error = dynamic_cast<const Error*>(&e);
    return error && error->number() == ErrorNumber(ErrorCode::NotAValidPassword);
}

}  // namespace

std::string ReadPasswordFromStandardInput() {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

void ShowLibraryMessages() {
    database::SetLibraryMessageSink([](const std::string& line) {
        std::cerr << "libmdb: " << PrintableText(line) << std::endl;
    });
}

bool FailCheck(const std::string& line) {
    std::cerr << "pictrova-cli: " << PrintableText(line) << std::endl;
    return false;
}

bool CheckDatabaseOpens(const database::DatabaseSelection& selection) {
    const std::string path = selection.DatabasePath();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return FailCheck("no database file at " + path);
    try {
        selection.Opened();
    } catch (const std::exception& e) {
        if (IsPasswordRefused(e) && selection.DatabasePassword().empty())
            return FailCheck("cannot open " + path +
                             ": a password is required (--password, --password-file or "
                             "PICTROVA_PASSWORD)");
        if (IsPasswordRefused(e))
            return FailCheck("cannot open " + path + ": wrong password");
        return FailCheck("cannot open " + path + ": " + Describe(e));
    }
    return true;
}

std::optional<std::vector<database::FieldInfo>> CheckTableFields(const database::Database& database,
                                                                 const std::string& table) {
    const std::vector<std::string> tables = database.Tables();
    if (std::none_of(tables.begin(), tables.end(),
                     [&](const std::string& t) { return database::SameName(t, table); })) {
        FailCheck("no table \"" + table + "\" in " + database.Path() +
                  "; its tables: " + Joined(tables));
        return std::nullopt;
    }
    try {
        return database.Fields(table);
    } catch (const std::exception& e) {
        FailCheck("cannot read the fields of \"" + table + "\": " + Describe(e));
        return std::nullopt;
    }
}

std::optional<database::FieldInfo> CheckFieldExists(const std::vector<database::FieldInfo>& fields,
                                                    const std::string& field,
                                                    const std::string& table, const char* what) {
    for (const database::FieldInfo& f : fields)
        if (database::SameName(f.name, field))
            return f;
    std::vector<std::string> names;
    for (const database::FieldInfo& f : fields)
        names.push_back(f.name);
    FailCheck("no " + std::string(what) + " \"" + field + "\" in table \"" + table +
              "\"; its fields: " + Joined(names));
    return std::nullopt;
}

}  // namespace pictrova::cli
