// SPDX-License-Identifier: GPL-3.0-or-later
// The photo-editor stream conversion: its declared type, width and height against the bytes
// that are really there.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/error.h"
#include "ole/photo_editor_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> stream(data, data + size);
    try {
        pictrova::ole::ConvertPhotoEditorPicture(stream);
    } catch (const pictrova::Error&) {
    }
    return 0;
}
