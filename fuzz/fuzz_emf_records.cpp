// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced-metafile checks the loader (and pictrova-emf) run before a picture is drawn: the
// record walk, the frame's pixel size and the cost budget. Whatever they accept must check again
// to the same bytes, so the drawing program never sees a metafile the checks would refuse.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/error.h"
#include "imaging/emf_records.h"
#include "imaging/metafile_cost.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pictrova::imaging;
    CheckedEnhancedMetafile checked;
    try {
        checked = CheckEnhancedMetafile(std::span(data, size));
    } catch (const pictrova::Error&) {
        return 0;
    }
    const CheckedEnhancedMetafile again = CheckEnhancedMetafile(checked.bits);
    if (again.bits != checked.bits || again.records != checked.records)
        std::abort();
    try {
        const PixelSize pixels = EnhancedMetafilePixelSize(checked, ReferenceDevice{});
        EnforceMetafileCost(EnhancedMetafileWork(checked, pixels), pictrova::kEmfCostRates);
    } catch (const pictrova::Error&) {
    }
    return 0;
}
