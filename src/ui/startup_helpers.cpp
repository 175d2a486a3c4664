// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/startup_helpers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QStandardPaths>
#include <QWidget>

#include "common/byte_reader.h"
#include "common/error.h"
#include "ui/folder_picker.h"

namespace pictrova::ui {

namespace {

constexpr qsizetype kMaxTitleLength = 40;

QString& TitleStorage() {
    static QString title;
    return title;
}

QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

// A cursor file keeps the hot spot of its first image in its directory entry:
//   0 u16 reserved (0)   2 u16 type (2 = cursor)   4 u16 image count
//   6 first entry: u8 width, u8 height, u8 colours, u8 reserved, u16 hot spot x, u16 hot spot y, ...
QPoint CursorHotSpot(const QByteArray& file) {
    try {
        ByteReader reader(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()),
                                    static_cast<std::size_t>(file.size())));
        reader.skip(2);
        if (reader.u16le() != 2 || reader.u16le() == 0) return {0, 0};
        reader.skip(4);
        const int x = reader.u16le();
        const int y = reader.u16le();
        return {x, y};
    } catch (const FormatError&) {
        return {0, 0};
    }
}

bool IsPlainControl(const QWidget* widget) {
    return qobject_cast<const QRadioButton*>(widget) || qobject_cast<const QCheckBox*>(widget) ||
           qobject_cast<const QGroupBox*>(widget) || qobject_cast<const QLabel*>(widget);
}

void PaintButtonFace(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

void ApplySkin(QWidget& page, const std::filesystem::path& programFolder) {
    const QString skinPath = ToQString(programFolder / "x" / "o.cjs");
    if (!QFileInfo(skinPath).isFile()) return;
    ApplyPageColours(page);
    QFile skin(skinPath);
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text)) {
        throw Error("Cannot read the skin file " + skinPath.toStdString() + ": " +
                    skin.errorString().toStdString());
    }
    page.setStyleSheet(QString::fromUtf8(skin.readAll()));
}

void ApplyPageColours(QWidget& page) {
    PaintButtonFace(page);
    for (QWidget* child : page.findChildren<QWidget*>()) {
        if (IsPlainControl(child)) PaintButtonFace(*child);
    }
}

QString DeriveApplicationTitle(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype lastBlank = title.lastIndexOf(QLatin1Char(' '));
        if (lastBlank < 0) break;
        title.truncate(lastBlank);
    } while (title.size() > kMaxTitleLength);
    return title.left(kMaxTitleLength);
}

void SetApplicationTitle() { TitleStorage() = DeriveApplicationTitle(QString::fromLatin1(kProductName)); }

QString ApplicationTitle() {
    if (TitleStorage().isEmpty()) SetApplicationTitle();
    return TitleStorage();
}

QString GetDesktopFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir()) desktop = QDir::homePath();
    return WithTrailingSeparator(desktop);
}

std::optional<QCursor> LoadHandPointer(const std::filesystem::path& programFolder) {
    const QString cursorPath = ToQString(programFolder / "HAND-M.CUR");
    if (!QFileInfo(cursorPath).isFile()) return std::nullopt;
    QFile file(cursorPath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.read(1 << 20);
    QPixmap image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes)) return std::nullopt;
    const QPoint hotSpot = CursorHotSpot(bytes);
    return QCursor(image, std::min(hotSpot.x(), image.width() - 1), std::min(hotSpot.y(), image.height() - 1));
}

}  // namespace pictrova::ui
