// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/database_arguments.h"
#include "cli/record_json.h"
#include "cli/stop_signals.h"
#include "common/printable_text.h"
#include "database/ado_types.h"
#include "database/database_selection.h"
#include "database/schema_listing.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "report/run_report.h"
#include "run/extraction_run.h"
#include "run/output_formats.h"

namespace pictrova::cli {

namespace fs = std::filesystem;

namespace {

int ExitStatusOf(const run::RunResult& result) {
    if (result.stopped)
        return kExitSignalBase + StopSignal();
    if (result.errorCount > 0)
        return kExitErrorReported;
    // Whatever the method, a run that wrote nothing has not done what was asked.
    if (result.end == run::RunEnd::Done && result.picturesWritten == 0)
        return kExitNoImages;
    switch (result.end) {
        case run::RunEnd::Done:
            return kExitDone;
        case run::RunEnd::NoImages:
            return kExitNoImages;
        case run::RunEnd::FolderMissing:
        case run::RunEnd::PrefixWithoutCounter:
        case run::RunEnd::NoFieldSelected:
        case run::RunEnd::NotPictureField:
            return kExitUsage;
        case run::RunEnd::None:
            break;
    }
    return kExitErrorReported;
}

}  // namespace

namespace {

// What would stop the run or make every record fail, checked before it starts: the database,
// the table, the picture field, the name field, the converter program and the output folder.
// One line on stderr and false when one is wrong. The output folder is made when missing. The
// database stays open in `selection` for the run.
bool PreChecks(const ExtractArguments& arguments, const database::DatabaseSelection& selection) {
    const run::ExtractionChoices& c = arguments.choices;
    const auto fail = FailCheck;
    std::error_code ec;
    if (!CheckDatabaseOpens(selection))
        return false;
    const std::optional<std::vector<database::FieldInfo>> fields =
        CheckTableFields(selection.Opened(), c.table);
    if (!fields)
        return false;
    const std::optional<database::FieldInfo> picture =
        CheckFieldExists(*fields, c.pictureField, c.table, "field");
    if (!picture)
        return false;
    if (!database::HoldsPictures(*picture))
        return fail("field \"" + c.pictureField + "\" is " + TypeName(picture->type) +
                    ", not an OLE Object");
    if (c.naming == run::Naming::FieldText) {
        const std::optional<database::FieldInfo> name =
            CheckFieldExists(*fields, c.nameField, c.table, "name field");
        if (!name)
            return false;
        // Numbers, dates and yes/no values name files by their text, as in the wizard; only
        // fields of bytes have no text to give.
        if (database::HoldsPictures(*name) || name->type == database::kAdBinary ||
            name->type == database::kAdVarBinary || name->type == database::kAdLongVarBinary)
            return fail("name field \"" + c.nameField + "\" is " + TypeName(name->type) +
                        ", which has no text to name a file");
    }
    for (const std::string& key : arguments.keyFields) {
        const std::optional<database::FieldInfo> field =
            CheckFieldExists(*fields, key, c.table, "key field");
        if (!field)
            return false;
        if (database::HoldsPictures(*field) || field->type == database::kAdBinary ||
            field->type == database::kAdVarBinary || field->type == database::kAdLongVarBinary)
            return fail("key field \"" + key + "\" is " + TypeName(field->type) +
                        ", which has no text to show");
    }
    if (!arguments.keyFields.empty() && !arguments.report)
        return fail("--key names what --report shows: give --report too");
    if (const std::string& converter = arguments.converter; !converter.empty()) {
        if (!fs::exists(converter, ec))
            return fail("no converter program at " + converter);
        if (!fs::is_regular_file(converter, ec))
            return fail("the converter " + converter + " is not a regular file");
        if (::faccessat(AT_FDCWD, converter.c_str(), X_OK, AT_EACCESS) != 0)
            return fail("the converter " + converter + " is not executable");
    }
    if (!c.outputFolder.empty() && !fs::is_directory(c.outputFolder, ec)) {
        fs::create_directories(c.outputFolder, ec);
        if (ec)
            return fail("cannot make the output folder " + c.outputFolder + ": " + ec.message());
    }
    // A folder that takes no files (read-only, immutable) would fail every record.
    if (!c.outputFolder.empty() &&
        ::faccessat(AT_FDCWD, c.outputFolder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 &&
        errno != ENOENT)
        return fail("cannot write into the output folder " + c.outputFolder + ": " +
                    std::strerror(errno));
    return true;
}

}  // namespace

std::optional<run::ReadMethod> ParseMethod(const std::string& word) {
    if (word == "decode")
        return run::ReadMethod::ByteToByte;
    if (word == "raw")
        return run::ReadMethod::Recordset;
    return std::nullopt;
}

std::optional<run::OutputFormat> ParseFormat(const std::string& word) {
    const run::OutputFormatRow* row = run::FindOutputFormatByWord(word);
    return row ? std::optional(row->format) : std::nullopt;
}

bool ParseNaming(const std::string& word, run::ExtractionChoices& choices) {
    using run::Naming;
    if (word.starts_with("prefix=")) {
        choices.naming = Naming::FixedPrefix;
        choices.prefix = word.substr(7);
    } else if (word.starts_with("text=")) {
        choices.naming = Naming::FieldText;
        choices.nameField = word.substr(5);
    } else if (word == "table") {
        choices.naming = Naming::TableName;
    } else if (word == "field") {
        choices.naming = Naming::FieldName;
    } else if (word == "table-field") {
        choices.naming = Naming::TableAndFieldName;
    } else if (word == "original") {
        choices.naming = Naming::OriginalName;
    } else {
        return false;
    }
    return true;
}

// index.html and index.csv in the output folder; false, with a line on stderr, when they cannot
// be written.
static bool WriteContactSheet(const ExtractArguments& arguments, const run::RunResult& result) {
    const run::ExtractionChoices& c = arguments.choices;
    try {
        report::WriteRunSheet(
            c.outputFolder, {arguments.database.path, c.table, c.pictureField, arguments.keyFields},
            result);
        return true;
    } catch (const Error& e) {
        std::cerr << "pictrova-cli: cannot write the contact sheet: " << PrintableText(e.what())
                  << std::endl;
        return false;
    }
}

int ExtractCommand(const ExtractArguments& arguments) {
    // Opened once by the checks; the run reads the same open database.
    database::FixedDatabaseSelection selection(arguments.database.path,
                                               arguments.database.password);
    if (!PreChecks(arguments, selection))
        return kExitUsage;
    imaging::StartImageEngine();
    CliHost host(arguments.json);
    host.HoldMessages();
    if (arguments.verbose)
        host.BeVerbose();
    run::FixedExtractionOptions options(arguments.choices);
    imaging::PictureHolder creator;
    run::RunSurroundings surroundings{
        .host = host,
        .database = selection,
        .creator = creator,
        .progress = [&host](const run::RunProgress& p) { host.ShowProgress(p); },
        .converter = arguments.converter,
        .workRoot = {},
        .jobs = arguments.jobs,
        .stopRequested = StopRequestedBySignal,
        .keepExistingFiles = arguments.noOverwrite,
        .reportFacts = arguments.report,
        .reportKeyFields = arguments.keyFields,
    };
    StopOnSignals stopOnSignals;
    run::RunResult result = run::RunExtraction(options, surroundings);
    host.ClearProgress();
    int status = ExitStatusOf(result);
    if (arguments.report &&
        (result.end == run::RunEnd::Done || result.end == run::RunEnd::NoImages) &&
        !WriteContactSheet(arguments, result))
        status = kExitErrorReported;
    if (arguments.json) {
        std::cout << JsonOutput(RunResultJson(result, status)) << std::endl;
    } else if (result.end == run::RunEnd::Done || result.end == run::RunEnd::NoImages) {
        // The end of a run that went through the records is its result; a message that stopped
        // it before is an error.
        if (result.end == run::RunEnd::NoImages)
            std::cerr << AsTerminalLines(result.message) << std::endl;
        std::cout << PrintableText(RunMessage(result)) << std::endl;
    } else if (!result.message.empty()) {
        std::cerr << AsTerminalLines(result.message) << std::endl;
    }
    return status;
}

}  // namespace pictrova::cli
