// SPDX-License-Identifier: GPL-3.0-or-later
// pictrova-cli: lists the tables and fields of an Access database, extracts the pictures of one
// OLE Object field with the same run as the wizard, and unwraps single field values.

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/commands.h"

namespace {

using namespace pictrova::cli;

void AddDatabaseOptions(CLI::App& command, DatabaseArguments& database, bool& verbose) {
    command.add_option("DATABASE", database.path, "The .mdb or .accdb file")->required();
    command.add_option("--password", database.password,
                       "The database password; - reads it from the first line of standard input");
    command.add_flag("--verbose", verbose, "Also print every message of the database library (libmdb)");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Extracts the pictures stored in the OLE Object fields of Access databases."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help for every command");

    DatabaseArguments database;
    bool verbose = false;
    std::string table;
    auto* tables = app.add_subcommand("tables", "Lists the database's tables, one a line");
    AddDatabaseOptions(*tables, database, verbose);

    auto* fields = app.add_subcommand("fields", "Lists a table's fields as NAME<TAB>TYPECODE");
    AddDatabaseOptions(*fields, database, verbose);
    fields->add_option("TABLE", table, "The table")->required();

    ExtractArguments extract;
    std::string method = "decode";
    std::string naming = "prefix=Output#";
    std::string format = "bmp";
    auto* extractCommand = app.add_subcommand(
        "extract", "Writes the pictures of one field of one table as image files");
    AddDatabaseOptions(*extractCommand, extract.database, verbose);
    extractCommand->add_option("--table", extract.choices.table, "The table")->required();
    extractCommand->add_option("--field", extract.choices.pictureField, "The picture field")
        ->required();
    extractCommand->add_option("--out", extract.choices.outputFolder, "The output folder")
        ->required();
    extractCommand
        ->add_option("--method", method,
                     "decode: read each value whole and decode it (method 1); raw: stream it "
                     "and let the converter read it (method 2)")
        ->capture_default_str();
    extractCommand
        ->add_option("--name", naming,
                     "prefix=TEXT (trailing # are the record counter), table, field, "
                     "table-field, or text=FIELD (the text of FIELD in each record)")
        ->capture_default_str();
    extractCommand->add_option("--format", format, "bmp, jpg, png, gif, tiff, tga or pcx")
        ->capture_default_str();
    extractCommand->add_option("--quality", extract.choices.quality, "JPEG and PNG quality")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    extractCommand->add_flag("--json", extract.json,
                             "Print one JSON object with the message and every record instead");

    std::string fieldFile;
    std::optional<std::string> output;
    auto* unwrap = app.add_subcommand(
        "unwrap", "Decodes one OLE Object field value saved as a file and writes the file inside");
    unwrap->add_option("FIELD_FILE", fieldFile, "The field's bytes as stored in the database")
        ->required();
    unwrap->add_option("-o,--output", output,
                       "Where to write it (default: FIELD_FILE without its extension, a point "
                       "and the extracted file's extension)");

    try {
        app.parse(argc, argv);
        if (*extractCommand) {
            auto m = ParseMethod(method);
            auto f = ParseFormat(format);
            if (!m)
                throw CLI::ValidationError("--method", "must be decode or raw");
            if (!f)
                throw CLI::ValidationError("--format",
                                           "must be bmp, jpg, png, gif, tiff, tga or pcx");
            if (!ParseNaming(naming, extract.choices)) {
                throw CLI::ValidationError(
                    "--name", "must be prefix=TEXT, table, field, table-field or text=FIELD");
            }
            extract.choices.readMethod = *m;
            extract.choices.format = *f;
        }
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }

    if (verbose) ShowLibraryMessages();
    for (DatabaseArguments* arguments : {&database, &extract.database})
        if (arguments->password == "-") arguments->password = ReadPasswordFromStandardInput();

    if (*tables)
        return ListTablesCommand(database);
    if (*fields)
        return ListFieldsCommand(database, table);
    if (*extractCommand)
        return ExtractCommand(extract);
    return UnwrapCommand(fieldFile, output);
}
