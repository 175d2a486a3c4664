// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/skip_reason.h"

namespace pictrova::run {

SkipReason WhyNotLoaded(ole::ObjectKind kind, imaging::PictureKind packaged) {
    if (kind == ole::ObjectKind::Package && packaged != imaging::PictureKind::Unknown)
        return {SkipCode::NotLoaded,
                "a packaged " + std::string(imaging::EngineCoderName(packaged)) + " file"};
    if (const std::string_view words = ole::DocumentWords(kind); !words.empty())
        return {SkipCode::NotPicture, std::string(words)};
    return {SkipCode::NotLoaded, std::string(ole::KindExtension(kind))};
}

}  // namespace pictrova::run
