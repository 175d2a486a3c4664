// SPDX-License-Identifier: GPL-3.0-or-later
// pictrova: the two-page wizard. The database page's start-up is the program's start-up; closing
// either page ends the program.

#include <QApplication>

#include "common/program_paths.h"
#include "imaging/image_engine.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/settings_store.h"
#include "ui/startup_helpers.h"

int main(int argc, char** argv) {
    using namespace pictrova::ui;
    QApplication application(argc, argv);
    QApplication::setWindowIcon(ApplicationIcon());
    pictrova::imaging::StartImageEngine();
    SetApplicationTitle();

    QtDialogs dialogs;
    SettingsStore settings;
    WizardServices services{dialogs, settings, pictrova::ProgramDirectory(), [] { QCoreApplication::exit(0); }};
    Form1 form1(services);
    if (!form1.Load()) return 1;
    form1.ShowStartPage();
    return application.exec();
}
