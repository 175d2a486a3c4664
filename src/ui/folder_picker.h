// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace pictrova::ui {

class Dialogs;

// Shows the folder dialog owned by the given window with the title, opening at startFolder
// (the current folder when empty). Returns the chosen folder's path, which ends in "/" only
// for the file-system root, or an empty text when the user cancels.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title,
                        const QString& startFolder);

// The path with exactly one "/" at its end; an empty path stays empty.
QString WithTrailingSeparator(const QString& path);

}  // namespace pictrova::ui
