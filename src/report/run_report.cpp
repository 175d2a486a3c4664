// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/run_report.h"

#include <span>

#include "common/file_io.h"
#include "report/contact_sheet.h"
#include "report/report_csv.h"

namespace pictrova::report {
namespace {

namespace fs = std::filesystem;

// A path as the sheet links it: relative to its folder, '/' between names.
std::string FromSheet(const fs::path& path, const fs::path& sheetFolder) {
    return path.lexically_normal()
        .lexically_relative(sheetFolder.lexically_normal())
        .generic_string();
}

ReportEntry WrittenEntry(const run::RecordOutcome& record, const fs::path& file,
                         const std::optional<run::WrittenFacts>& facts, bool storedPreview,
                         const fs::path& outputFolder, const fs::path& sheetFolder) {
    ReportEntry entry;
    entry.number = record.number;
    entry.keys = record.keys;
    entry.outcome = EntryOutcome::Written;
    entry.file = FromSheet(file, sheetFolder);
    entry.storedPreview = storedPreview;
    if (facts) {
        entry.kind = facts->kind;
        entry.width = facts->width;
        entry.height = facts->height;
        entry.bytes = facts->bytes;
        if (facts->thumbnail)
            entry.thumbnail = FromSheet(outputFolder / *facts->thumbnail, sheetFolder);
    }
    return entry;
}

void WriteWhole(const FolderHandle& folder, std::string_view name, std::string_view text) {
    AtomicFile file(folder, fs::path(name));
    file.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    file.Commit();
}

}  // namespace

std::vector<ReportEntry> EntriesOf(const run::RunResult& result, const fs::path& outputFolder,
                                   const fs::path& sheetFolder) {
    std::vector<ReportEntry> entries;
    for (const run::RecordOutcome& record : result.records) {
        bool anyWritten = false;
        if (!record.attachments.empty()) {
            for (const run::AttachmentOutcome& attached : record.attachments) {
                if (!attached.written)
                    continue;
                entries.push_back(WrittenEntry(record, *attached.written, attached.facts, false,
                                               outputFolder, sheetFolder));
                anyWritten = true;
            }
        } else if (record.written) {
            entries.push_back(WrittenEntry(record, *record.written, record.facts,
                                           record.storedPreview, outputFolder, sheetFolder));
            anyWritten = true;
        }
        if (anyWritten || !record.skipped)
            continue;
        ReportEntry entry;
        entry.number = record.number;
        entry.keys = record.keys;
        entry.outcome = EntryOutcome::Skipped;
        entry.reason = std::string(SkipText(record.skipped->code));
        entry.detail = record.skipped->detail;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void WriteReportFiles(const FolderHandle& folder, std::string_view title,
                      const std::vector<ReportSection>& sections, bool batch) {
    WriteWhole(folder, kSheetFileName, ContactSheetHtml(title, sections));
    WriteWhole(folder, kSheetTableFileName, ReportCsv(sections, batch));
}

void WriteRunSheet(const fs::path& outputFolder, const SheetSource& source,
                   const run::RunResult& result) {
    const FolderHandle folder = FolderHandle::Open(outputFolder);
    ReportSection section;
    section.database = source.database.filename().string();
    section.table = source.table;
    section.field = source.field;
    section.countingLine = run::RunSummary(result);
    section.keyNames = source.keyFields;
    section.entries = EntriesOf(result, folder.path(), folder.path());
    WriteReportFiles(folder, section.database + ": " + source.table + "." + source.field, {section},
                     false);
}

}  // namespace pictrova::report
