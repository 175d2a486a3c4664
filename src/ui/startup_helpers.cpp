// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/startup_helpers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadioButton>
#include <QStandardPaths>
#include <QWidget>

#include "common/byte_reader.h"
#include "common/error.h"
#include "common/program_paths.h"
#include "ui/folder_picker.h"

namespace pictrova::ui {

namespace {

constexpr qsizetype kMaxTitleLength = 40;

QString& TitleStorage() {
    static QString title;
    return title;
}

QString ToQString(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// A cursor file keeps the hot spot of its first image in its directory entry:
//   0 u16 reserved (0)   2 u16 type (2 = cursor)   4 u16 image count
//   6 first entry: u8 width, u8 height, u8 colours, u8 reserved, u16 hot spot x, u16 hot spot y,
//   ...
QPoint CursorHotSpot(const QByteArray& file) {
    try {
        ByteReader reader(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()),
                                    static_cast<std::size_t>(file.size())));
        reader.skip(2);
        if (reader.u16le() != 2 || reader.u16le() == 0)
            return {0, 0};
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
    if (!QFileInfo(skinPath).isFile())
        return;
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
        if (IsPlainControl(child))
            PaintButtonFace(*child);
    }
}

QString DeriveApplicationTitle(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype lastBlank = title.lastIndexOf(QLatin1Char(' '));
        if (lastBlank < 0)
            break;
        title.truncate(lastBlank);
    } while (title.size() > kMaxTitleLength);
    return title.left(kMaxTitleLength);
}

void SetApplicationTitle() {
    TitleStorage() = DeriveApplicationTitle(QString::fromLatin1(kProductName));
}

QString ApplicationTitle() {
    if (TitleStorage().isEmpty())
        SetApplicationTitle();
    return TitleStorage();
}

QString DatabaseWindowTitle(const QString& databasePath) {
    const QString fileName = QFileInfo(databasePath).fileName();
    const QString product = QString::fromLatin1(kProductName);
    return fileName.isEmpty() ? product : fileName + QString::fromUtf8(" — ") + product;
}

QString GetDesktopFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        desktop = QDir::homePath();
    return WithTrailingSeparator(desktop);
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        // The database: a cylinder with two rings.
        painter.setPen(QPen(QColor(0x1f, 0x3f, 0x63), 2));
        painter.setBrush(QColor(0x3a, 0x6e, 0xa5));
        painter.drawRect(QRectF(6, 14, 40, 31));
        painter.drawEllipse(QRectF(6, 38, 40, 14));
        painter.setPen(Qt::NoPen);
        painter.drawRect(QRectF(7, 14, 38, 31));
        painter.setPen(QPen(QColor(0x1f, 0x3f, 0x63), 2));
        painter.setBrush(QColor(0x5b, 0x8f, 0xc7));
        painter.drawEllipse(QRectF(6, 7, 40, 14));
        // The picture leaving it: a frame with sky, sun and a hill.
        painter.setBrush(Qt::white);
        painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 2));
        painter.drawRoundedRect(QRectF(30, 28, 32, 26), 2, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xbf, 0xe3, 0xff));
        painter.drawRect(QRectF(33, 31, 26, 20));
        painter.setBrush(QColor(0xff, 0xcc, 0x33));
        painter.drawEllipse(QPointF(52, 37), 3, 3);
        QPainterPath hill;
        hill.moveTo(33, 51);
        hill.lineTo(41, 41);
        hill.lineTo(47, 48);
        hill.lineTo(51, 44);
        hill.lineTo(59, 51);
        hill.closeSubpath();
        painter.setBrush(QColor(0x4c, 0x9a, 0x2a));
        painter.drawPath(hill);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

std::filesystem::path SampleDatabasePath(const std::filesystem::path& programFolder) {
    const auto beside = programFolder / "Samples" / "sample.mdb";
    std::error_code ec;
    if (std::filesystem::exists(beside, ec))
        return beside;
    const auto installed = DataDirectory() / "Samples" / "sample.mdb";
    if (std::filesystem::exists(installed, ec))
        return installed;
    return beside;
}

std::optional<QCursor> LoadHandPointer(const std::filesystem::path& programFolder) {
    const QString cursorPath = ToQString(programFolder / "HAND-M.CUR");
    if (!QFileInfo(cursorPath).isFile())
        return std::nullopt;
    QFile file(cursorPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(1 << 20);
    QPixmap image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes))
        return std::nullopt;
    const QPoint hotSpot = CursorHotSpot(bytes);
    return QCursor(image, std::min(hotSpot.x(), image.width() - 1),
                   std::min(hotSpot.y(), image.height() - 1));
}

}  // namespace pictrova::ui
