// SPDX-License-Identifier: GPL-3.0-or-later
// "Start Extracting": waits for the extraction run to land.

#include "ui/form2.h"

namespace pictrova::ui {

void Form2::PushButton6_Click() {}

}  // namespace pictrova::ui
