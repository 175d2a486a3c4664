// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cli/commands.h"
#include "cli/database_arguments.h"
#include "common/printable_text.h"
#include "database/ado_types.h"

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
    database::FixedDatabaseSelection selection(database.path, database.password);
    if (!CheckDatabaseOpens(selection))
        return kExitUsage;
    for (const auto& name : selection.Opened().Tables())
        std::cout << PrintableText(name) << '\n';
    return kExitDone;
}

int ListFieldsCommand(const DatabaseArguments& database, const std::string& table) {
    database::FixedDatabaseSelection selection(database.path, database.password);
    if (!CheckDatabaseOpens(selection))
        return kExitUsage;
    const auto fields = CheckTableFields(selection.Opened(), table);
    if (!fields)
        return kExitUsage;
    for (const auto& field : *fields) {
        std::cout << PrintableText(field.name) << '\t' << field.type << '\t'
                  << (field.attachment ? std::string("Attachment") : TypeName(field.type)) << '\n';
    }
    return kExitDone;
}

}  // namespace pictrova::cli
