// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The desktop's secret store (the Secret Service of GNOME and others, KWallet) through
// QtKeychain, for the database password. Each call waits for the store's answer in a local event
// loop. When no store answers (none is running, no session bus), or no session bus can be found
// to ask, the calls say so and the caller keeps the password in its settings file instead.

#include <QString>

#include <optional>

namespace pictrova::ui {

// The stored text, or nullopt when there is no store or it holds nothing under `key`.
std::optional<QString> ReadSecret(const QString& key);

// True when a store took the text.
bool WriteSecret(const QString& key, const QString& text);

}  // namespace pictrova::ui
