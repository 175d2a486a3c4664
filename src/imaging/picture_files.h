// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture-file helpers of the run: the repair of a work file that still carries a
// device-independent-bitmap picture wrapper (module Access) and the picture loader that fills
// the picture holder (module LoadPics).

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/host.h"
#include "imaging/metafile_cost.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

// When the file reads "Picture" at offset 20 and "DIB" at offset 41 (exact, case-sensitive), it
// is rewritten as "BM" followed by its bytes from offset 45 on; any other file is left alone.
// Throws Error when the file cannot be read or rewritten.
void RepairPictureFile(const std::filesystem::path& path);

// The same repair on a picture file's bytes in memory. True when they were rewritten.
bool RepairPictureBytes(std::vector<std::uint8_t>& bytes);

// Clears `target`, then loads `path` into it. True when `target` holds a picture afterwards.
// Otherwise false, `message` gets CR LF + path appended, and when the picture is over the
// engine's resource limits (too big) `tooBig` is set and, if `showTooBig`, the host shows
// "Picture " + path + " is too big.". Never throws.
bool LoadPictureFile(Host& host, PictureHolder& target, const std::filesystem::path& path,
                     std::string& message, bool showTooBig, bool& tooBig);

// The picture loader, quiet, for a picture file's bytes in memory: clears `target`, loads the
// bytes into it and tells whether it holds a picture. A picture refused as too big for the
// limits gives its size in `tooBig` (when given; 0 x 0 when the size is not known); a sound
// metafile that was not drawn (too costly, out of time) says why in `notRendered` (when given).
// Never throws.
struct PictureSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
bool LoadPictureBytes(PictureHolder& target, std::span<const std::uint8_t> bytes,
                      std::optional<PictureSize>* tooBig = nullptr,
                      std::optional<RenderRefusal>* notRendered = nullptr);

}  // namespace pictrova::imaging
