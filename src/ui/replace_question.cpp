// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/replace_question.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "common/error.h"
#include "run/output_naming.h"

namespace pictrova::ui {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kExamples = 3;
// More digits than any record number has: such a name is no counter the run writes.
constexpr std::size_t kMaxCounterDigits = 19;
// The extension that stands for "any" while the name's folder and stem are worked out.
constexpr std::string_view kProbeExtension = ".x";

bool NamesFromRecords(run::Naming naming) {
    return naming == run::Naming::FieldText || naming == run::Naming::OriginalName;
}

std::size_t DigitsAt(std::string_view name, std::size_t at) {
    std::size_t end = at;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9')
        ++end;
    return end - at;
}

// Where counter names land and how they start: the folder below the output folder (the
// prefix's backslashes are separators) and the stem before the counter, worked out by the
// run's own naming from the name of record 1.
struct CounterNames {
    fs::path folder;
    std::string stem;
    std::size_t width = 0;  // the counter's "#"s: the fewest digits it writes
};

std::optional<CounterNames> CounterNamesOf(const run::ExtractionChoices& choices) {
    const std::string prefix =
        run::RunPrefix(choices.naming, choices.prefix, choices.table, choices.pictureField);
    CounterNames names;
    while (names.width < prefix.size() && prefix[prefix.size() - 1 - names.width] == '#')
        ++names.width;
    const std::string first = run::ApplyCounter(std::string(names.width, '#'), 1);
    fs::path inFolder;
    try {
        inFolder = run::OutputNameInFolder(
            run::StripExtension(run::OutputName(choices.naming, prefix, 1, "x")), kProbeExtension);
    } catch (const Error&) {
        return std::nullopt;  // the run refuses names that leave the folder
    }
    const std::string fileName = inFolder.filename().string();
    const std::string tail = first + std::string(kProbeExtension);
    if (!fileName.ends_with(tail))
        return std::nullopt;  // a name cut to the longest file name: no counter to find
    names.folder = inFolder.parent_path();
    names.stem = fileName.substr(0, fileName.size() - tail.size());
    return names;
}

// stem, the counter as ApplyCounter writes it, perhaps "-n", then the extension (any for an
// empty one).
bool IsCounterName(std::string_view name, const CounterNames& names, std::string_view extension) {
    if (!name.starts_with(names.stem))
        return false;
    std::size_t at = names.stem.size();
    const std::size_t digits = DigitsAt(name, at);
    // The counter is padded to its width, and a wider number starts with no zero.
    if (digits == 0 || digits > kMaxCounterDigits || digits < names.width ||
        (digits > names.width && name[at] == '0'))
        return false;
    at += digits;
    if (at < name.size() && name[at] == '-') {
        const std::size_t index = DigitsAt(name, at + 1);
        if (index == 0)
            return false;
        at += 1 + index;
    }
    const std::string_view rest = name.substr(at);
    if (extension.empty())
        return rest.size() > 1 && rest.front() == '.';
    return rest == extension;
}

}  // namespace

FilesInTheWay FindFilesInTheWay(const run::ExtractionChoices& choices) {
    FilesInTheWay found;
    if (choices.format == run::OutputFormat::None || choices.pictureField.empty() ||
        (choices.naming == run::Naming::FixedPrefix && !choices.prefix.ends_with('#')))
        return found;
    const std::string_view extension = run::FormatExtension(choices.format);
    found.namesFromRecords = NamesFromRecords(choices.naming);
    std::optional<CounterNames> counterNames;
    fs::path folder = choices.outputFolder;
    if (!found.namesFromRecords) {
        counterNames = CounterNamesOf(choices);
        if (!counterNames)
            return found;
        folder /= counterNames->folder;
    }

    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        std::error_code typeError;
        if (entries->is_directory(typeError))
            continue;
        const std::string name = entries->path().filename().string();
        // Hidden files are no names the run gives (its own temporaries, the desktop's settings),
        // unless the prefix itself starts with a point.
        if (name.starts_with('.') && !(counterNames && counterNames->stem.starts_with('.')))
            continue;
        const bool inTheWay = counterNames ? IsCounterName(name, *counterNames, extension)
                                           : extension.empty() || name.ends_with(extension);
        if (!inTheWay)
            continue;
        ++found.count;
        found.examples.push_back(name);
        std::sort(found.examples.begin(), found.examples.end());
        if (found.examples.size() > kExamples)
            found.examples.pop_back();
    }
    return found;
}

QString ReplaceQuestion(const FilesInTheWay& files, run::OutputFormat format) {
    QStringList examples;
    for (const std::string& name : files.examples)
        examples << QFile::decodeName(name.c_str());
    if (files.count > static_cast<std::int64_t>(files.examples.size()))
        examples << "...";
    const QString many =
        files.count == 1 ? QString("1 file") : QString("%1 files").arg(files.count);
    const QString extension = QString::fromLatin1(run::FormatExtension(format).data(),
                                                  run::FormatExtension(format).size());
    QString what;
    if (files.namesFromRecords) {
        what = QString(
                   "This folder already holds %1%2, and this run takes its names from the "
                   "records, so it may replace some of them (%3).")
                   .arg(many, extension.isEmpty() ? QString() : " named *" + extension,
                        examples.join(", "));
    } else {
        what = QString("This folder already holds %1 named as this run names its files (%2).")
                   .arg(many, examples.join(", "));
    }
    const QString numbered =
        files.examples.empty()
            ? QString()
            : QString(" such as \"%1\"")
                  .arg(QFile::decodeName(run::NumberedName(files.examples.front(), 2).c_str()));
    return what + "\n\nReplace them, keep both (the new files take numbered names" + numbered +
           "), or cancel the run?";
}

}  // namespace pictrova::ui
