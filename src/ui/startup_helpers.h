// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small routines the two pages run while they start: the skin, the page colours, the
// application title, the desktop folder and the hand pointer.

#include <QCursor>
#include <QIcon>
#include <QString>

#include <filesystem>
#include <optional>

class QWidget;

namespace pictrova::ui {

// The product name the application title is derived from.
inline constexpr char kProductName[] = "Pictrova";

// When the file x/o.cjs lies in programFolder, gives the page (and its plain controls) the
// button-face colour and applies the file's text to the page as a Qt style sheet. Without the
// file nothing changes. Throws pictrova::Error when the file exists but cannot be read.
void ApplySkin(QWidget& page, const std::filesystem::path& programFolder);

// Sets the page's background and that of its plain controls (option buttons, check boxes,
// frames, labels) to the button-face colour; other controls keep theirs.
void ApplyPageColours(QWidget& page);

// The title derived from a product name: its last word is dropped, and further words while the
// text is longer than 40 characters. A name without a blank has no word to drop and is used
// whole (cut to 40 characters if it is longer).
QString DeriveApplicationTitle(const QString& productName);

// Sets the title that message boxes without a caption of their own show, from kProductName.
void SetApplicationTitle();
QString ApplicationTitle();

// A page's window title: the database's file name, then the product name; the product name
// alone while no database file is named.
QString DatabaseWindowTitle(const QString& databasePath);

// The user's desktop folder followed by "/"; the home folder when there is no desktop folder.
QString GetDesktopFolder();

// The program's icon (a database with a picture coming out of it), drawn at the usual sizes.
QIcon ApplicationIcon();

// The sample database: Samples/sample.mdb below programFolder, or in the installed data folder
// when the program folder has none.
std::filesystem::path SampleDatabasePath(const std::filesystem::path& programFolder);

// The hand pointer read from HAND-M.CUR in programFolder, when that file exists and is a
// picture Qt can read.
std::optional<QCursor> LoadHandPointer(const std::filesystem::path& programFolder);

}  // namespace pictrova::ui
