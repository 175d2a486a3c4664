// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One ready-made OLE Object field per row of the decoder's dispatch table (and per variant worth
// telling apart), each with what decoding it must give. Tests decode them and compare; the
// sample database stores a selection; fuzz targets start from them.

#include <string>
#include <vector>

#include "ole_builder/ole_fields.h"

namespace pictrova::fixtures {

struct SampleObject {
    std::string name;       // unique, e.g. "static-dib-8bit-255-colours"
    Bytes field;            // the OLE Object field value
    bool decodes = true;    // whether the decoder returns true
    std::string extension;  // expected extension when it decodes
    Bytes expectedFile;     // the exact output; empty when rendered (see `rendered`)
    std::string label;      // packages: the package's name for its file
    bool rendered = false;  // a static metafile: the output depends on the renderer
    int renderedWidth = 0;  // for rendered objects: the pixel size the reference device gives
    int renderedHeight = 0;
    bool storedPreview = false;   // the file is the presentation stored after the native data
    bool storesMetafile = false;  // carries a metafile presentation, rendered when its data fails
    bool barePicture = false;     // the value is a picture file without a wrapper
};

// Every sample, valid ones first; the refused ones (linked, unsupported) have decodes = false.
std::vector<SampleObject> AllSampleObjects();

}  // namespace pictrova::fixtures
