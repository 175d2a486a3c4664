// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a record gave no picture, in words a user can act on.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imaging/picture_kind.h"

namespace pictrova::run {

// The reasons, as written in the run's results.
inline constexpr std::string_view kSkipNoValue = "no value";
inline constexpr std::string_view kSkipLinked = "linked object";
inline constexpr std::string_view kSkipUnsupportedClass = "unsupported class";
inline constexpr std::string_view kSkipNotPicture = "not a picture";
inline constexpr std::string_view kSkipDamaged = "damaged value";
inline constexpr std::string_view kSkipNotLoaded = "picture could not be loaded";
inline constexpr std::string_view kSkipNotRendered = "picture could not be rendered";
inline constexpr std::string_view kSkipNameNotText = "name field not text";
inline constexpr std::string_view kSkipNoName = "no name";
inline constexpr std::string_view kSkipError = "error reported";

struct RunResult;

struct SkipReason {
    std::string reason;  // one of the texts above
    std::string detail;  // the class, the kind of document, the name field, ...
};

// Why the object decoder could not take a file out of `value` (the field's bytes as stored).
SkipReason WhyNotDecoded(std::span<const std::uint8_t> value);

// Why a decoded object of kind `extension` (lower case, no point) gave no picture: a document
// kind is "not a picture", anything else a picture that could not be loaded. A package ("pak")
// holds any file: `packaged` is the picture kind its content shows, and a picture there that
// could not be loaded is not called a document.
SkipReason WhyNotLoaded(std::string_view extension,
                        imaging::PictureKind packaged = imaging::PictureKind::Unknown);

// The short words a reason is counted under in a run's summary, e.g. "empty" or
// "unsupported class \"Acme.Drawing.1\"".
std::string CountWord(const SkipReason& skip);

// The run counted in one line: "12 pictures from 15 records (2 from stored previews); 3 without
// a picture (1 empty, 1 unsupported class "X", 1 linked).", after "Done. " when the run got to
// its end, after "Stopped. " when it was asked to stop; "files" for a run that wrote objects as
// the files they hold (the Original format).
std::string RunSummary(const RunResult& result);

}  // namespace pictrova::run
