// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a record gave no picture, in words a user can act on (common/skip_reasons.h), for what the
// run finds after decoding; and the run counted by its reasons.

#include <string>

#include "common/skip_reasons.h"
#include "imaging/picture_kind.h"
#include "ole/object_kind.h"

namespace pictrova::run {

struct RunResult;

// Why a decoded object of `kind` gave no picture: a document kind is "not a picture", anything
// else a picture that could not be loaded. A package holds any file: `packaged` is the picture
// kind its content shows, and a picture there that could not be loaded is not called a document.
SkipReason WhyNotLoaded(ole::ObjectKind kind,
                        imaging::PictureKind packaged = imaging::PictureKind::Unknown);

// The run counted in one line: "12 pictures from 15 records (2 from stored previews); 3 without
// a picture (1 empty, 1 unsupported class "X", 1 linked)."; "files" for a run that wrote objects
// as the files they hold (the Original format).
std::string RunCount(const RunResult& result);

// RunCount after "Done. " when the run got to its end, after "Stopped. " when it was asked to
// stop.
std::string RunSummary(const RunResult& result);

}  // namespace pictrova::run
