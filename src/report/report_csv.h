// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The contact sheet's facts as a table (index.csv), to join the results back to the records in a
// spreadsheet or a database: one row per entry, comma-separated, fields quoted where they hold a
// comma, a quote or a line break (RFC 4180), UTF-8, lines ending CR LF.
//
//   [database, table, field,] record, <key fields...>, file, kind, width, height, bytes,
//   stored_preview, outcome, reason, detail
//
// The first three columns only for a batch (more than one section, or `withSource`).

#include <string>
#include <vector>

#include "report/report_entry.h"

namespace pictrova::report {

std::string ReportCsv(const std::vector<ReportSection>& sections, bool withSource);

}  // namespace pictrova::report
