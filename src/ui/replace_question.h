// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Before "Start Extracting" writes into a folder: the files already there that the run would
// replace, found from the naming choice and one listing of the folder, without opening the
// database, so the question comes at once.
//
// With a counter in the names (a prefix, the table's or the field's name) every name the run
// can write is the prefix, a record number, "-n" for the n-th of several attached files, and
// the format's extension (any extension for Original): a file named so is one the run replaces
// when the table has that record. With names from the records (a text field, the packaged
// files' own names) only reading every record would tell the names, so every file with the
// format's extension counts as one the run may replace.

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "run/extraction_options.h"

namespace pictrova::ui {

struct FilesInTheWay {
    std::int64_t count = 0;
    std::vector<std::string> examples;  // the first few names in name order
    bool namesFromRecords = false;      // the files may be replaced, depending on the records
};

// Nothing when the run's own checks would stop it before it writes (no format, no field, a
// prefix without its counter, a name leaving the folder) or the folder cannot be listed.
FilesInTheWay FindFilesInTheWay(const run::ExtractionChoices& choices);

// What the wizard asks before a run that would replace `files`.
QString ReplaceQuestion(const FilesInTheWay& files, run::OutputFormat format);

}  // namespace pictrova::ui
