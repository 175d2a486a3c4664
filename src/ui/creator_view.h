// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Showing the run's picture holder (Creator) on the options page.

#include <QImage>

namespace pictrova::imaging {
class cDIBSection;
}

namespace pictrova::ui {

// A copy of the bitmap's pixels (24 or 32 bits, bottom row first) as a top-down QImage; a null
// image when the bitmap is empty or its pixel memory is shorter than its size says.
QImage DibToImage(const imaging::cDIBSection& dib);

}  // namespace pictrova::ui
