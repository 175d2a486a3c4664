// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The user's remembered choices: named text values in the group "Pictrova" of the INI file of
// organisation and application "Quillmoor" (~/.config/Quillmoor/Quillmoor.ini). Each control
// writes its value the moment it changes and each page reads its values when it is loaded.
// The database password ("AccessPassword") is kept in the desktop's secret store when one is
// running (secret_store.h); only without one does the file hold it, in clear text, which is why
// the file is kept at mode 0600 in a folder created 0700.

#include <QString>

#include <memory>

class QSettings;

namespace pictrova::ui {

class SettingsStore {
  public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text of the key, or the default when the key is missing.
    QString Read(const QString& key, const QString& defaultValue = {}) const;

    // Stores the text under the key, replacing any earlier value. Throws pictrova::Error when
    // the file cannot be written.
    void Write(const QString& key, const QString& text);

    QString FileName() const;

  private:
    void ProtectFile() const;

    std::unique_ptr<QSettings> settings_;
};

// Option states are written as the words True and False.
QString BooleanToText(bool value);

// Reads an option state: True or False in any case, or a number ("0" is false, any other
// number is true). Any other text throws pictrova::Error ("Type mismatch", 13).
bool TextToBoolean(const QString& text);

}  // namespace pictrova::ui
