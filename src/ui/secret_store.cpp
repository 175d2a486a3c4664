// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/secret_store.h"

#include <QEventLoop>
#include <QFileInfo>

#include <qt6keychain/keychain.h>

namespace pictrova::ui {
namespace {

constexpr char kService[] = "Pictrova";

// A session bus can answer only where its address can be found: given in the environment, the
// socket in the user's runtime folder, or an X display to start one on. Without any of them,
// asking QtKeychain would start Qt's D-Bus thread only to learn that there is no bus.
bool SessionBusReachable() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeFolder.isEmpty() && QFileInfo::exists(runtimeFolder + QLatin1String("/bus")))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Starts the job and waits until it has finished.
void Run(QKeychain::Job& job) {
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

std::optional<QString> ReadSecret(const QString& key) {
    if (!SessionBusReachable())
        return std::nullopt;
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    Run(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool WriteSecret(const QString& key, const QString& text) {
    if (!SessionBusReachable())
        return false;
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    job.setTextData(text);
    Run(job);
    return job.error() == QKeychain::NoError;
}

}  // namespace pictrova::ui
