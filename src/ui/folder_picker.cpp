// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_picker.h"

#include <QDir>

#include "ui/dialogs.h"

namespace pictrova::ui {

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title,
                        const QString& startFolder) {
    const QString chosen = dialogs.ExistingDirectory(owner, title, startFolder);
    if (chosen.isEmpty())
        return {};
    return QDir::fromNativeSeparators(chosen);
}

QString WithTrailingSeparator(const QString& path) {
    if (path.isEmpty())
        return path;
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == QLatin1Char('/'))
        --end;
    QString result = path.left(end);
    if (!result.endsWith(QLatin1Char('/')))
        result += QLatin1Char('/');
    return result;
}

}  // namespace pictrova::ui
