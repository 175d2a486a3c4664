// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error.h"
#include "common/error_codes.h"
#include "ui/secret_store.h"

namespace pictrova::ui {

namespace {

constexpr char kOrganisation[] = "Quillmoor";
constexpr char kApplication[] = "Quillmoor";
constexpr char kGroup[] = "Pictrova";

QString GroupKey(const QString& key) {
    return QStringLiteral("%1/%2").arg(kGroup, key);
}

// The key whose value goes to the desktop's secret store when one is running.
constexpr char kPasswordKey[] = "AccessPassword";

bool IsPassword(const QString& key) {
    return key == QLatin1String(kPasswordKey);
}

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            kOrganisation, kApplication)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FileName() const {
    return settings_->fileName();
}

QString SettingsStore::Read(const QString& key, const QString& defaultValue) const {
    if (IsPassword(key)) {
        if (std::optional<QString> secret = ReadSecret(key))
            return *secret;
    }
    const QVariant value = settings_->value(GroupKey(key), defaultValue);
    // An unquoted value with commas, typed into the file by hand, comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

void SettingsStore::Write(const QString& key, const QString& text) {
    ProtectFile();
    if (IsPassword(key) && WriteSecret(key, text)) {
        // Kept by the secret store: no copy stays in the file.
        settings_->remove(GroupKey(key));
    } else {
        settings_->setValue(GroupKey(key), text);
    }
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        throw Error("Cannot write the settings file " + FileName().toStdString());
    }
    // QSettings replaces the file through a temporary copy that keeps the old file's mode;
    // setting it again covers a file that someone made readable in between.
    ::chmod(QFile::encodeName(FileName()).constData(), S_IRUSR | S_IWUSR);
}

// Creates the folder with mode 0700 and the file empty with mode 0600 before QSettings writes
// it for the first time, so that the password never sits where others can read it, not even for
// a moment. A folder that exists already keeps the mode its owner gave it.
void SettingsStore::ProtectFile() const {
    const QString fileName = FileName();
    if (QFileInfo::exists(fileName))
        return;
    const QString folder = QFileInfo(fileName).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(QFile::encodeName(folder).constData(), S_IRWXU);
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        ::close(fd);
}

QString BooleanToText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool TextToBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = trimmed.toDouble(&isNumber);
    if (isNumber)
        return number != 0.0;
    Throw(ErrorCode::TypeMismatch);
}

}  // namespace pictrova::ui
