// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "common/printable_text.h"
#include "database/ado_types.h"
#include "database/connection_string.h"
#include "database/schema_listing.h"

namespace pictrova::cli {

std::string TypeName(int code) {
    using namespace database;
    switch (code) {
        case kAdSmallInt:
            return "Integer";
        case kAdInteger:
            return "Long Integer";
        case kAdSingle:
            return "Single";
        case kAdDouble:
            return "Double";
        case kAdCurrency:
            return "Currency";
        case kAdDate:
            return "Date/Time";
        case kAdBoolean:
            return "Yes/No";
        case kAdUnsignedTinyInt:
            return "Byte";
        case kAdGUID:
            return "Replication ID";
        case kAdBinary:
            return "Binary";
        case kAdWChar:
            return "Text";
        case kAdNumeric:
            return "Decimal";
        case kAdVarWChar:
            return "Text";
        case kAdLongVarWChar:
            return "Memo";
        case kAdVarBinary:
            return "Binary";
        case kAdLongVarBinary:
            return "OLE Object";
        default:
            return "type " + std::to_string(code);
    }
}

int ListTablesCommand(const DatabaseArguments& database) {
    try {
        database::FixedDatabaseSelection selection(database.path, database.password);
        auto tables = database::ListTables(database.path, selection);
        if (!tables) {
            std::cerr << AsTerminalLines("Could not find file '" + database.path + "'.")
                      << std::endl;
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
            std::cout << PrintableText(field.name) << '\t' << field.type << '\t'
                      << (field.attachment ? std::string("Attachment") : TypeName(field.type))
                      << '\n';
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << AsTerminalLines(e.what()) << std::endl;
        return 1;
    }
}

}  // namespace pictrova::cli
