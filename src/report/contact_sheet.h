// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The contact sheet of a run: one HTML page (index.html) with a thumbnail of every written file,
// linking the file, and every record that gave none with its reason. It stands alone: styles and
// the few lines of script that filter it by outcome and reason are in the page, nothing is loaded
// from the network, and every link is relative to the page's folder.

#include <string>
#include <string_view>
#include <vector>

#include "report/report_entry.h"

namespace pictrova::report {

// The page for `sections` (one for `extract`, one per database, table and field for a batch,
// each linked from the top). `title` names the run (the database, or the batch's folder).
std::string ContactSheetHtml(std::string_view title, const std::vector<ReportSection>& sections);

}  // namespace pictrova::report
