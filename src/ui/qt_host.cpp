// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_host.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "ui/dialogs.h"
#include "ui/startup_helpers.h"

namespace pictrova::ui {

namespace {

constexpr char kErrorReportTitle[] = "Application Error";

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QString TitleOrApplicationTitle(const std::string& title) {
    return title.empty() ? ApplicationTitle() : QString::fromStdString(title);
}

}  // namespace

QtHost::QtHost(Dialogs& dialogs, QWidget* owner) : dialogs_(dialogs), owner_(owner) {}

QtHost::~QtHost() {
    if (busy_)
        QApplication::restoreOverrideCursor();
}

void QtHost::Yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtHost::SetBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtHost::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    if (silent_)
        return;
    dialogs_.Message(owner_, QString::fromStdString(text), TitleOrApplicationTitle(title),
                     ToQtIcon(icon));
}

bool QtHost::AskYesNo(const std::string& text, const std::string& title) {
    if (silent_)
        return false;
    return dialogs_.AskYesNo(owner_, QString::fromStdString(text), TitleOrApplicationTitle(title));
}

void QtHost::ReportError(const std::string& message) {
    if (silent_)
        return;
    dialogs_.Message(owner_, QString::fromStdString(message),
                     QString::fromLatin1(kErrorReportTitle), QMessageBox::Warning);
}

void QtHost::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace pictrova::ui
