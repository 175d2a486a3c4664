// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The commands of pictrova-cli. Each returns the process's exit status.

#include <optional>
#include <string>
#include <vector>

#include "run/extraction_options.h"
#include "run/extraction_run.h"

namespace pictrova::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNoImages = 1;
inline constexpr int kExitUsage =
    2;  // usage errors and the checks that stop a run before it starts
inline constexpr int kExitErrorReported = 3;
// A signal stopped the run: 128 + its number, as a shell reports a program the signal ended
// (130 for SIGINT, 143 for SIGTERM), for every command.
inline constexpr int kExitSignalBase = 128;

struct DatabaseArguments {
    std::string path;
    std::string password;  // "-": read from standard input (a password in argv is visible to all)
    std::string passwordFile;  // PATH<TAB>PASSWORD lines, as for a batch
};

// The first line of standard input, without its line break.
std::string ReadPasswordFromStandardInput();

// --verbose: every message libmdb prints goes to stderr, escaped, after "libmdb: ".
void ShowLibraryMessages();

int ListTablesCommand(const DatabaseArguments& database);
int ListFieldsCommand(const DatabaseArguments& database, const std::string& table);

struct ExtractArguments {
    DatabaseArguments database;
    run::ExtractionChoices choices;
    bool json = false;
    bool verbose = false;      // every libmdb message of a record instead of one line for it
    std::string converter;     // an external converter program; empty: the run's own
    unsigned jobs = 0;         // worker threads; 0: one per core
    bool noOverwrite = false;  // keep files already in the folder; number the new ones
    // A contact sheet (index.html, index.csv, .thumbnails/) in the output folder, with the
    // values of these fields of each record.
    bool report = false;
    std::vector<std::string> keyFields;
};

int ExtractCommand(const ExtractArguments& arguments);

// The databases of a batch command (scan, extract-all) and their passwords: --password for every
// one, or a --password-file of PATH<TAB>PASSWORD lines (blank lines and lines starting with #
// ignored, a CR before the line break dropped); a database the file names gets its password
// from there, every other one --password.
struct BatchDatabases {
    std::vector<std::string> paths;
    std::string password;
    std::string passwordFile;
};

struct ScanArguments {
    BatchDatabases databases;
    bool json = false;
};

int ScanCommand(const ScanArguments& arguments);

struct ExtractAllArguments {
    BatchDatabases databases;
    run::ExtractionChoices choices;  // everything but table, field and output folder
    std::string outputFolder;
    bool force = false;
    std::string converter;  // as for extract, for every field's run
    unsigned jobs = 0;
    bool report = false;  // one contact sheet of the batch in OUT/index.html and OUT/index.csv
};

int ExtractAllCommand(const ExtractAllArguments& arguments);

int UnwrapCommand(const std::string& fieldFile, const std::optional<std::string>& output);

// --method, --name and --format words; nullopt for a word that is not one of them.
// The field type's name as Access shows it ("OLE Object" for 205).
std::string TypeName(int code);

std::optional<run::ReadMethod> ParseMethod(const std::string& word);
std::optional<run::OutputFormat> ParseFormat(const std::string& word);
// Sets naming, prefix and nameField from "prefix=TEXT", "table", "field", "table-field",
// "text=FIELD", "original"; false for anything else.
bool ParseNaming(const std::string& word, run::ExtractionChoices& choices);

}  // namespace pictrova::cli
