// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A run's result as a contact sheet's section, and the sheet's two files written into a folder.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/folder_beneath.h"
#include "report/report_entry.h"
#include "run/extraction_run.h"

namespace pictrova::report {

// The entries of `result`, whose output folder was `outputFolder`: a written file (each attached
// file of a record apart), or a record that gave none with its reason. Files and thumbnails are
// made relative to `sheetFolder`.
std::vector<ReportEntry> EntriesOf(const run::RunResult& result,
                                   const std::filesystem::path& outputFolder,
                                   const std::filesystem::path& sheetFolder);

// index.html and index.csv beneath `folder`, each written whole under a temporary name and then
// renamed. Throws FileWriteError.
void WriteReportFiles(const FolderHandle& folder, std::string_view title,
                      const std::vector<ReportSection>& sections, bool batch);

// What one run read, as its sheet names it.
struct SheetSource {
    std::filesystem::path database;  // as the user named it; the sheet shows its file name
    std::string table;
    std::string field;
    std::vector<std::string> keyFields = {};  // RunSurroundings::reportKeyFields of the run
};

// The sheet of one run (`extract`, the wizard) in its output folder: one section, titled
// "<database file>: <table>.<field>". Throws Error (FileWriteError when a file is refused).
void WriteRunSheet(const std::filesystem::path& outputFolder, const SheetSource& source,
                   const run::RunResult& result);

inline constexpr std::string_view kSheetFileName = "index.html";
inline constexpr std::string_view kSheetTableFileName = "index.csv";

}  // namespace pictrova::report
