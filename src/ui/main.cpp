// SPDX-License-Identifier: GPL-3.0-or-later
// pictrova: the two-page wizard. The database page's start-up is the program's start-up; closing
// either page ends the program.

#include <QApplication>
#include <QLineEdit>
#include <iostream>
#include <string_view>

#include "common/program_paths.h"
#include "imaging/image_engine.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/settings_store.h"
#include "ui/startup_helpers.h"

namespace {

constexpr char kUsage[] =
    "Usage: pictrova [DATABASE]\n"
    "Opens the wizard that writes the pictures stored in the OLE Object and Attachment fields of\n"
    "a Microsoft Access database (.mdb, .accdb) as image files. DATABASE comes up on the first\n"
    "page in place of the remembered one.\n"
    "\n"
    "  --help      print this text and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "pictrova-cli does the same without a window.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace pictrova::ui;
    // Answered before Qt starts, so that they work without a display.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "pictrova " PICTROVA_VERSION << std::endl;
        return 0;
    }
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(ApplicationIcon());
    pictrova::imaging::StartImageEngine();
    SetApplicationTitle();

    QtDialogs dialogs;
    SettingsStore settings;
    WizardServices services{dialogs, settings, pictrova::ProgramDirectory(),
                            [] { QCoreApplication::exit(0); }};
    Form1 form1(services);
    if (!form1.Load())
        return 1;
    // A database opened from the file manager (the desktop entry passes its path) comes up on
    // the database page, in place of any remembered one, ready for its password and "Next >".
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
        form1.Text1->setText(arguments.at(1));
        if (form1.IsForm2Loaded())
            form1.form2().hide();
        form1.show();
    } else {
        form1.ShowStartPage();
    }
    return application.exec();
}
