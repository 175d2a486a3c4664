// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "ui/startup_helpers.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    pictrova::ui::SetApplicationTitle();
    return 0;
}
