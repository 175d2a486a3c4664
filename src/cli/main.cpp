// SPDX-License-Identifier: GPL-3.0-or-later
// pictrova-cli: lists the tables and fields of an Access database, extracts the pictures of one
// OLE Object field with the same run as the wizard, surveys and extracts whole batches of
// databases, and unwraps single field values.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/batch.h"
#include "cli/commands.h"
#include "common/child_output.h"
#include "common/printable_text.h"

namespace {

using namespace pictrova;
using namespace pictrova::cli;

void AddDatabaseOptions(CLI::App& command, DatabaseArguments& database, bool& verbose) {
    command.add_option("DATABASE", database.path, "The .mdb or .accdb file")->required();
    command
        .add_option("--password", database.password,
                    "The database password; - reads it from the first line of standard input")
        ->envname("PICTROVA_PASSWORD");
    command.add_option(
        "--password-file", database.passwordFile,
        "PATH<TAB>PASSWORD lines: the password of the database named there (keeps the "
        "password out of the process list, as PICTROVA_PASSWORD does)");
    command.add_flag(
        "--verbose", verbose,
        "Also print every message of the database library (libmdb) and of the programs a run "
        "starts, and where each error report was raised");
}

// The password file's entry for the database, when a file is given.
void ResolvePassword(DatabaseArguments& database) {
    if (database.passwordFile.empty())
        return;
    std::string error;
    auto passwords =
        BatchPasswords::Load({{database.path}, database.password, database.passwordFile}, error);
    if (!passwords)
        throw CLI::ValidationError("--password-file", error);
    database.password = passwords->For(database.path);
}

void AddBatchOptions(CLI::App& command, BatchDatabases& databases) {
    command
        .add_option("DATABASE", databases.paths,
                    "The .mdb and .accdb files, or folders searched for them (in any case, "
                    "sorted; links leading out of a folder are not followed)")
        ->required();
    command
        .add_option("--password", databases.password,
                    "The password of every database; - reads it from the first line of standard "
                    "input")
        ->envname("PICTROVA_PASSWORD");
    command.add_option("--password-file", databases.passwordFile,
                       "PATH<TAB>PASSWORD lines: the password of each database named there");
}

// The run's choices as words, checked and applied after parsing.
struct RunWords {
    std::string method = "decode";
    std::string naming = "prefix=Output#";
    std::string format = "bmp";
};

void AddRunOptions(CLI::App& command, RunWords& words, run::ExtractionChoices& choices) {
    command
        .add_option("--method", words.method,
                    "decode: read each value whole and decode it (method 1); raw: stream it "
                    "and let the converter read it (method 2)")
        ->capture_default_str();
    command
        .add_option("--name", words.naming,
                    "prefix=TEXT (trailing # are the record counter), table, field, "
                    "table-field, text=FIELD (the text of FIELD in each record), or original "
                    "(the own file names of attached files and packages)")
        ->capture_default_str();
    command
        .add_option(
            "--format", words.format,
            "bmp, jpg (jpeg), png, gif, tiff (tif), tga or pcx, in any case; or original: every "
            "decoded object as the file it holds (PDF, Word, ..., pictures as stored), unconverted")
        ->capture_default_str();
    command.add_option("--quality", choices.quality, "JPEG and PNG quality")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
}

// How the pictures are converted and by how many threads: extract and extract-all.
void AddWorkOptions(CLI::App& command, std::string& converter, unsigned& jobs) {
    command
        .add_option(
            "--converter", converter,
            "Run this converter program once per conversion instead of converting in-process "
            "(it takes pictrova-convert's arguments)")
        ->envname("PICTROVA_CONVERTER");
    command
        .add_option(
            "--jobs", jobs,
            "Threads that decode and encode pictures (default: one per core); the output is "
            "the same for any number")
        ->envname("PICTROVA_JOBS")
        ->check(CLI::Range(1, 1024));
}

void ApplyRunWords(const RunWords& words, run::ExtractionChoices& choices) {
    auto m = ParseMethod(words.method);
    auto f = ParseFormat(words.format);
    if (!m)
        throw CLI::ValidationError("--method", "must be decode or raw");
    if (!f)
        throw CLI::ValidationError("--format",
                                   "must be bmp, jpg, png, gif, tiff, tga, pcx or original");
    if (!ParseNaming(words.naming, choices)) {
        throw CLI::ValidationError(
            "--name", "must be prefix=TEXT, table, field, table-field, text=FIELD or original");
    }
    choices.readMethod = *m;
    choices.format = *f;
}

// Edits (insertions, deletions, substitutions) that turn `a` into `b`.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string NearestSubcommand(CLI::App& app, const std::string& word) {
    std::string nearest;
    std::size_t best = std::string::npos;
    for (const CLI::App* command : app.get_subcommands({})) {
        const std::size_t distance = EditDistance(word, command->get_name());
        if (distance < best) {
            best = distance;
            nearest = command->get_name();
        }
    }
    return nearest;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Extracts the pictures stored in the OLE Object and Attachment fields of Access databases "
        "(.mdb, .accdb)."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help for every command");
    app.set_version_flag("--version", "pictrova-cli " PICTROVA_VERSION);
    app.footer(
        "Exit status: 0 pictures written without an error report; 1 no picture written; 2 a usage "
        "error or a check before the run (missing database, wrong password, unknown table or "
        "field, "
        "a field of the wrong type, a bad value in PICTROVA_JOBS or another variable); 3 an error "
        "was reported; 128 + the signal's number when stopped by a signal: 130 for SIGINT, 143 "
        "for SIGTERM (the pictures written stay; nothing partial is left).\n"
        "Messages go to stderr; stdout carries only results (the last line of extract, or "
        "--json).");

    DatabaseArguments database;
    bool verbose = false;
    std::string table;
    auto* tables = app.add_subcommand("tables", "Lists the database's tables, one a line");
    AddDatabaseOptions(*tables, database, verbose);

    auto* fields = app.add_subcommand(
        "fields",
        "Lists a table's fields, one a line in three columns: NAME<TAB>CODE<TAB>TYPE (the ADO type "
        "code and the type as Access names it: 205 OLE Object; Attachment for an attachment "
        "field)");
    AddDatabaseOptions(*fields, database, verbose);
    fields->add_option("TABLE", table, "The table")->required();

    ExtractArguments extract;
    RunWords words;
    auto* extractCommand = app.add_subcommand(
        "extract", "Writes the pictures of one field of one table as image files");
    AddDatabaseOptions(*extractCommand, extract.database, verbose);
    extractCommand->add_option("--table", extract.choices.table, "The table")->required();
    extractCommand->add_option("--field", extract.choices.pictureField, "The picture field")
        ->required();
    extractCommand->add_option("--out", extract.choices.outputFolder, "The output folder")
        ->required();
    AddRunOptions(*extractCommand, words, extract.choices);
    AddWorkOptions(*extractCommand, extract.converter, extract.jobs);
    extractCommand->add_flag(
        "--no-overwrite", extract.noOverwrite,
        "Keep files already in the output folder; a new picture of the same name "
        "gets \" (2)\", \" (3)\", ... before its extension");
    extractCommand->add_flag("--json", extract.json,
                             "Print one JSON object with the message and every record instead");
    extractCommand->add_flag(
        "--report", extract.report,
        "Also write a contact sheet into the output folder: index.html (a thumbnail of every "
        "file, every record without one and why), index.csv, and the thumbnails in .thumbnails/");
    extractCommand
        ->add_option("--key", extract.keyFields,
                     "A field whose value --report shows beside each record (repeatable)")
        ->take_all();

    ScanArguments scan;
    auto* scanCommand = app.add_subcommand(
        "scan", "Lists what every picture field of every table holds, writing nothing");
    AddBatchOptions(*scanCommand, scan.databases);
    scanCommand->add_flag("--json", scan.json, "Print one JSON object instead of the table");

    ExtractAllArguments extractAll;
    auto* extractAllCommand = app.add_subcommand(
        "extract-all",
        "Writes every picture field of every table of every database into "
        "OUT/<database>/<table>/<field>/, with a manifest of the batch in OUT/manifest.json");
    AddBatchOptions(*extractAllCommand, extractAll.databases);
    extractAllCommand
        ->add_option("--out", extractAll.outputFolder, "The output folder (made if missing)")
        ->required();
    AddRunOptions(*extractAllCommand, words, extractAll.choices);
    AddWorkOptions(*extractAllCommand, extractAll.converter, extractAll.jobs);
    extractAllCommand->add_flag("--force", extractAll.force,
                                "Extract again the databases the manifest lists as complete");
    extractAllCommand->add_flag(
        "--report", extractAll.report,
        "Also write one contact sheet of the batch: OUT/index.html, a section per database, "
        "table and field, and OUT/index.csv; thumbnails in each field folder's .thumbnails/");

    std::string fieldFile;
    std::optional<std::string> output;
    auto* unwrap = app.add_subcommand(
        "unwrap", "Decodes one OLE Object field value saved as a file and writes the file inside");
    unwrap->add_option("FIELD_FILE", fieldFile, "The field's bytes as stored in the database")
        ->required();
    unwrap->add_option("-o,--output", output,
                       "Where to write it (default: FIELD_FILE without its extension, a point "
                       "and the extracted file's extension)");

    // A variable that stands for an option is checked as the option is: a bad value stops the
    // command instead of being passed over.
    if (const char* jobs = std::getenv("PICTROVA_JOBS")) {
        const std::string text = jobs;
        char* end = nullptr;
        const long value = std::strtol(jobs, &end, 10);
        if (text.empty() || *end != '\0' || value < 1 || value > 1024) {
            std::cerr << "pictrova-cli: PICTROVA_JOBS must be a number from 1 to 1024 (like "
                         "--jobs), not '"
                      << PrintableText(text) << "'" << std::endl;
            return kExitUsage;
        }
    }
    // The subcommand word: the first argument, or the one after a help option ("--help extract"),
    // which would otherwise give the general help for a mistyped word.
    int commandAt = 1;
    if (argc > 2) {
        const std::string_view option = argv[1];
        if (option == "-h" || option == "--help" || option == "--help-all")
            commandAt = 2;
    }
    if (argc > commandAt) {
        const std::string word = argv[commandAt];
        const auto commands = app.get_subcommands({});
        const bool known = std::any_of(commands.begin(), commands.end(),
                                       [&](const CLI::App* c) { return c->check_name(word); });
        if (!word.starts_with("-") && !known) {
            std::cerr << "pictrova-cli: unknown subcommand '" << PrintableText(word)
                      << "'; did you mean '" << NearestSubcommand(app, word)
                      << "'? (--help lists them)" << std::endl;
            return kExitUsage;
        }
    }

    try {
        app.parse(argc, argv);
        if (*extractCommand)
            ApplyRunWords(words, extract.choices);
        if (*extractCommand)
            ResolvePassword(extract.database);
        if (*tables || *fields)
            ResolvePassword(database);
        if (*extractAllCommand)
            ApplyRunWords(words, extractAll.choices);
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }

    // What the programs a run starts write never mixes with our results on stdout.
    UsePrivateStandardStreams();

    // The password is ours alone: no converter, drawing program or delegate started from here
    // on inherits it. Unset before any thread starts.
    unsetenv("PICTROVA_PASSWORD");

    if (verbose)
        ShowLibraryMessages();
    extract.verbose = verbose;
    for (std::string* password : {&database.password, &extract.database.password,
                                  &scan.databases.password, &extractAll.databases.password})
        if (*password == "-")
            *password = ReadPasswordFromStandardInput();

    // The last line of defence: whatever a database holds, a command ends with a message and
    // an exit status, never an abort.
    try {
        if (*tables)
            return ListTablesCommand(database);
        if (*fields)
            return ListFieldsCommand(database, table);
        if (*extractCommand)
            return ExtractCommand(extract);
        if (*scanCommand)
            return ScanCommand(scan);
        if (*extractAllCommand)
            return ExtractAllCommand(extractAll);
        return UnwrapCommand(fieldFile, output);
    } catch (const std::exception& e) {
        std::cerr << "pictrova-cli: " << PrintableText(e.what()) << std::endl;
        return kExitErrorReported;
    }
}
