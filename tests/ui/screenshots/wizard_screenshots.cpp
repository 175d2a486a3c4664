// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the README's pictures of the wizard: the database page with the sample database chosen,
// the options page on its pictures table, the same page with its preview grid filled, the page
// after a finished run with its final message, and the same page with the run's summary and its
// skipped records; each page at the size it takes on its own, as a user first sees it. Run it
// through scripts/wizard-screenshots (under Xvfb); settings go to a private HOME.
//
//   wizard_screenshots OUTPUT_FOLDER [SAMPLE_DATABASE]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

#include "common/program_paths.h"
#include "imaging/image_engine.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/preview_grid.h"
#include "ui/settings_store.h"
#include "ui/startup_helpers.h"

namespace {

using namespace pictrova::ui;

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool Save(const QImage& image, const QString& folder, const char* name) {
    const QString path = QDir(folder).filePath(name);
    const bool saved = image.save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// Messages show as real boxes; the run's final message is photographed over the page.
class PhotographingDialogs : public QtDialogs {
  public:
    PhotographingDialogs(QString folder) : folder_(std::move(folder)) {}

    void Message(QWidget* owner, const QString& text, const QString& title,
                 QMessageBox::Icon icon) override {
        QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
        box.show();
        Settle();
        if (owner != nullptr) {
            QImage page = owner->grab().toImage();
            const QImage message = box.grab().toImage();
            QPainter painter(&page);
            painter.setPen(QPen(Qt::darkGray, 1));
            const QPoint at((page.width() - message.width()) / 2,
                            (page.height() - message.height()) / 2);
            painter.drawImage(at, message);
            painter.drawRect(QRect(at, message.size()).adjusted(-1, -1, 0, 0));
            painter.end();
            Save(page, folder_, "wizard-run-finished.png");
        }
        box.close();
    }

  private:
    QString folder_;
};

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: wizard_screenshots OUTPUT_FOLDER [SAMPLE_DATABASE]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QTemporaryDir output;
    pictrova::imaging::StartImageEngine();

    PhotographingDialogs dialogs(folder);
    SettingsStore settings;
    settings.Write("Output Folder", output.path() + "/");
    WizardServices services{dialogs, settings, pictrova::ProgramDirectory(), [] {}};
    Form1 form1(services);
    if (!form1.Load())
        return 1;
    form1.show();
    if (argc > 2) {
        // A copy under the private home, so that no build path shows in the pictures.
        const QString sample = home.path() + "/Samples/sample.mdb";
        QDir().mkpath(home.path() + "/Samples");
        QFile::copy(QString::fromLocal8Bit(argv[2]), sample);
        form1.Text1->setText(sample);
    } else {
        form1.PushButton3->click();
    }
    Settle();
    if (!Save(form1.grab().toImage(), folder, "wizard-database-page.png"))
        return 1;

    form1.PushButton2->click();
    Form2& form2 = form1.form2();
    if (form2.ListView1->topLevelItemCount() == 0) {
        std::fprintf(stderr, "the database lists no table\n");
        return 1;
    }
    form2.ListView1_Click();
    const auto pictures = form2.ListView2->findItems("Picture", Qt::MatchExactly);
    if (!pictures.isEmpty())
        form2.ListView2->setCurrentItem(pictures.first());
    form2.Option10->click();
    Settle();
    if (!Save(form2.grab().toImage(), folder, "wizard-options-page.png"))
        return 1;
    // The preview grid once its first records are in.
    QElapsedTimer waited;
    waited.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    } while ((form2.Preview->Working() || form2.Preview->Cells->count() == 0) &&
             waited.elapsed() < 60'000);
    Settle();
    if (!Save(form2.grab().toImage(), folder, "wizard-preview-grid.png"))
        return 1;

    form2.PushButton6->click();
    Settle();
    // After the message: the counting line, and the records without a picture listed.
    form2.ShowSkipped->click();
    Settle();
    if (!Save(form2.grab().toImage(), folder, "wizard-run-summary.png"))
        return 1;
    return 0;
}
