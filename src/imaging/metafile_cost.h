// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a metafile will cost to draw, counted from its checked records before a renderer sees
// them (common/limits.h holds the rates and the budget), and the refusal of a metafile that
// costs too much or runs out of time.

#include <string_view>

#include "common/error.h"
#include "common/limits.h"
#include "imaging/emf_records.h"
#include "imaging/metafile_frame.h"

namespace pictrova::imaging {

// Why a metafile was not drawn although its records are sound.
enum class RenderRefusal {
    TooCostly,  // its estimate is over the budget: not started
    TimeLimit,  // started, and stopped at its time limit
};

// The words the run's results give the refusal as a detail.
constexpr std::string_view RenderRefusalDetail(RenderRefusal refusal) {
    return refusal == RenderRefusal::TooCostly ? "too costly" : "time limit";
}

class MetafileNotRendered : public Error {
  public:
    explicit MetafileNotRendered(RenderRefusal refusal)
        : Error("metafile not drawn: " + std::string(RenderRefusalDetail(refusal))),
          refusal_(refusal) {}
    RenderRefusal refusal() const noexcept { return refusal_; }

  private:
    RenderRefusal refusal_;
};

// The work of a checked standard metafile whose `window` is drawn onto `size` pixels.
MetafileWork StandardMetafileWork(const CheckedMetafile& metafile, const LogicalWindow& window,
                                  const PixelSize& size);

// The work of a checked enhanced metafile drawn onto `size` pixels.
MetafileWork EnhancedMetafileWork(const CheckedEnhancedMetafile& metafile, const PixelSize& size);

// Throws MetafileNotRendered (TooCostly) when `work` is over the budget at `rates`.
void EnforceMetafileCost(const MetafileWork& work, const MetafileCostRates& rates);

}  // namespace pictrova::imaging
