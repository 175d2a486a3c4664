// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/contact_sheet.h"

#include <cstdio>
#include <set>

#include "report/html_text.h"

namespace pictrova::report {
namespace {

constexpr std::string_view kStyle = R"(
body { font-family: sans-serif; margin: 1em 2em; color: #222; }
h1 { font-size: 1.4em; } h2 { font-size: 1.15em; margin-top: 2em; }
.filters { position: sticky; top: 0; background: #fff; padding: .5em 0; border-bottom: 1px solid #ddd; }
ul.sheet { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: 12px; }
ul.sheet li { width: 176px; border: 1px solid #ccc; border-radius: 4px; padding: 6px;
  font-size: .8em; overflow-wrap: anywhere; }
ul.sheet li.skipped { background: #fff4f0; border-color: #e8b8a8; }
.thumb { display: flex; align-items: center; justify-content: center; height: 164px; background: #f4f4f4; }
.thumb img { max-width: 160px; max-height: 160px; }
.number { font-weight: bold; display: block; } .name, .key { display: block; }
.facts, .detail { color: #666; display: block; } .reason { color: #a33; display: block; }
.preview { color: #865; display: block; }
)";

constexpr std::string_view kScript = R"(
const entries = Array.from(document.querySelectorAll('li.entry'));
function applyFilters() {
  const outcome = document.getElementById('outcome').value;
  const reason = document.getElementById('reason').value;
  let shown = 0;
  for (const entry of entries) {
    entry.hidden = (outcome !== '' && entry.dataset.outcome !== outcome) ||
                   (reason !== '' && entry.dataset.reason !== reason);
    if (!entry.hidden) shown++;
  }
  document.getElementById('shown').textContent = shown;
}
document.getElementById('outcome').addEventListener('change', applyFilters);
document.getElementById('reason').addEventListener('change', applyFilters);
)";

std::string Bytes(std::int64_t bytes) {
    char text[32];
    if (bytes < 10'000)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (bytes < 10'000'000)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string FileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

void AppendEntry(std::string& out, const ReportEntry& entry,
                 const std::vector<std::string>& keyNames) {
    const bool written = entry.outcome == EntryOutcome::Written;
    out += written ? "<li class=\"entry written\" data-outcome=\"written\" data-reason=\"\""
                   : "<li class=\"entry skipped\" data-outcome=\"skipped\" data-reason=\"" +
                         HtmlText(entry.reason) + "\"";
    out += " data-number=\"" + std::to_string(entry.number) + "\">";
    if (written) {
        const std::string link = RelativeLink(entry.file);
        out += "<a class=\"thumb\" href=\"" + link + "\">";
        if (!entry.thumbnail.empty())
            out += "<img src=\"" + RelativeLink(entry.thumbnail) + "\" alt=\"\">";
        out += "</a>";
    }
    out += "<span class=\"number\">Record " + std::to_string(entry.number) + "</span>";
    for (std::size_t i = 0; i < entry.keys.size(); ++i)
        out += "<span class=\"key\">" +
               (i < keyNames.size() ? HtmlText(keyNames[i]) + ": " : std::string()) +
               HtmlText(entry.keys[i]) + "</span>";
    if (written) {
        out += "<a class=\"name\" href=\"" + RelativeLink(entry.file) + "\">" +
               HtmlText(FileName(entry.file)) + "</a>";
        out += "<span class=\"facts\">";
        if (!entry.kind.empty())
            out += HtmlText(entry.kind) + " &middot; ";
        if (entry.width > 0 && entry.height > 0)
            out += std::to_string(entry.width) + " &times; " + std::to_string(entry.height) +
                   " &middot; ";
        out += Bytes(entry.bytes) + "</span>";
        if (entry.storedPreview)
            out += "<span class=\"preview\">the object's stored preview</span>";
    } else {
        out += "<span class=\"reason\">" + HtmlText(entry.reason) + "</span>";
        if (!entry.detail.empty())
            out += "<span class=\"detail\">" + HtmlText(entry.detail) + "</span>";
    }
    out += "</li>\n";
}

std::string SectionTitle(const ReportSection& section) {
    if (section.table.empty())
        return section.database;
    std::string title;
    if (!section.database.empty())
        title = section.database + ": ";
    return title + section.table + "." + section.field;
}

}  // namespace

std::string ContactSheetHtml(std::string_view title, const std::vector<ReportSection>& sections) {
    std::int64_t written = 0, skipped = 0;
    std::set<std::string> reasons;
    for (const auto& section : sections) {
        for (const auto& entry : section.entries) {
            if (entry.outcome == EntryOutcome::Written) {
                ++written;
            } else {
                ++skipped;
                reasons.insert(entry.reason);
            }
        }
    }

    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    out += "<title>" + HtmlText(title) + "</title>\n<style>" + std::string(kStyle) +
           "</style>\n</head>\n<body>\n";
    out += "<h1>" + HtmlText(title) + "</h1>\n";
    out += "<p class=\"counts\"><span id=\"written-count\">" + std::to_string(written) +
           "</span> written, <span id=\"skipped-count\">" + std::to_string(skipped) +
           "</span> without a picture.</p>\n";
    if (sections.size() == 1) {
        out += "<p class=\"counting-line\">" + HtmlText(sections.front().countingLine) + "</p>\n";
    } else {
        out += "<nav><ul>\n";
        for (std::size_t i = 0; i < sections.size(); ++i)
            out += "<li><a href=\"#section-" + std::to_string(i + 1) + "\">" +
                   HtmlText(SectionTitle(sections[i])) + "</a> &mdash; " +
                   HtmlText(sections[i].countingLine) + "</li>\n";
        out += "</ul></nav>\n";
    }

    out +=
        "<p class=\"filters\"><label>Show <select id=\"outcome\"><option value=\"\">every "
        "record</option><option value=\"written\">written</option><option "
        "value=\"skipped\">without a picture</option></select></label> <label>reason <select "
        "id=\"reason\"><option value=\"\">any</option>";
    for (const auto& reason : reasons)
        out += "<option value=\"" + HtmlText(reason) + "\">" + HtmlText(reason) + "</option>";
    out += "</select></label> &middot; <span id=\"shown\">" + std::to_string(written + skipped) +
           "</span> shown</p>\n";

    for (std::size_t i = 0; i < sections.size(); ++i) {
        const auto& section = sections[i];
        out += "<section id=\"section-" + std::to_string(i + 1) + "\">\n";
        if (sections.size() > 1)
            out += "<h2>" + HtmlText(SectionTitle(section)) + "</h2>\n<p class=\"counting-line\">" +
                   HtmlText(section.countingLine) + "</p>\n";
        out += "<ul class=\"sheet\">\n";
        for (const auto& entry : section.entries)
            AppendEntry(out, entry, section.keyNames);
        out += "</ul>\n</section>\n";
    }
    out += "<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace pictrova::report
