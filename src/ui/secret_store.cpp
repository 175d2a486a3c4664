// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/secret_store.h"

#include <QEventLoop>

#include <qt6keychain/keychain.h>

namespace pictrova::ui {
namespace {

constexpr char kService[] = "Pictrova";

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
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    Run(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool WriteSecret(const QString& key, const QString& text) {
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    job.setTextData(text);
    Run(job);
    return job.error() == QKeychain::NoError;
}

}  // namespace pictrova::ui
