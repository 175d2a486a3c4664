// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a run's report says of each record: the facts both the contact sheet (index.html) and its
// table (index.csv) are written from. Text is as the database or the file system holds it (bytes);
// the writers make it safe for their format.

#include <cstdint>
#include <string>
#include <vector>

namespace pictrova::report {

enum class EntryOutcome { Written, Skipped };

// One written file, or one record that gave none. A record of an attachment field gives one
// entry for each attached file.
struct ReportEntry {
    std::int64_t number = 0;        // the record's 1-based position in the table
    std::vector<std::string> keys;  // the values of the report's key fields, as text
    EntryOutcome outcome = EntryOutcome::Skipped;
    // Written: the file, relative to the report's folder, and its thumbnail relative to the same
    // folder (empty when none could be made).
    std::string file;
    std::string thumbnail;
    std::string kind;  // what the object held ("Paint picture", "Package", ...)
    std::int64_t width = 0, height = 0, bytes = 0;
    bool storedPreview = false;  // the file is the picture the object stores for display
    // Skipped: why, and the detail the reason names (empty when none).
    std::string reason;
    std::string detail;
};

// The records of one table's field, as one run read them.
struct ReportSection {
    std::string database;  // as the user named it
    std::string table;
    std::string field;
    std::string countingLine;           // the run's last line
    std::vector<std::string> keyNames;  // the key fields, in the order of ReportEntry::keys
    std::vector<ReportEntry> entries;
};

}  // namespace pictrova::report
