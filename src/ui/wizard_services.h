// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the two pages share from their surroundings: the dialogs, the settings store, the
// folder the program's optional files lie in, and what closing a page does.

#include <filesystem>
#include <functional>

namespace pictrova::ui {

class Dialogs;
class SettingsStore;

struct WizardServices {
    Dialogs& dialogs;
    SettingsStore& settings;
    // The folder of HAND-M.CUR, x/o.cjs and Samples/sample.mdb: the program's own folder.
    std::filesystem::path programFolder;
    // Ends the program at once: closing either page, or a start-up that finds no data access.
    std::function<void()> endProgram;
};

}  // namespace pictrova::ui
