// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "common/printable_text.h"
#include "database/connection_string.h"
#include "database/schema_listing.h"

namespace pictrova::cli {

int ListTablesCommand(const DatabaseArguments& database) {
    try {
        database::FixedDatabaseSelection selection(database.path, database.password);
        auto tables = database::ListTables(database.path, selection);
        if (!tables) {
            std::cerr << AsTerminalLines("Could not find file '" + database.path + "'.") << std::endl;
            return 1;
        }
        for (const auto& name : *tables)
            std::cout << PrintableText(name) << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << AsTerminalLines(e.what()) << std::endl;
        return 1;
    }
}

int ListFieldsCommand(const DatabaseArguments& database, const std::string& table) {
    try {
        database::FixedDatabaseSelection selection(database.path, database.password);
        for (const auto& field : database::ListTableFields(selection, table)) {
            std::cout << PrintableText(field.name) << '\t' << database::FieldTypeText(field) << '\n';
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << AsTerminalLines(e.what()) << std::endl;
        return 1;
    }
}

}  // namespace pictrova::cli
