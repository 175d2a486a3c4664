// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a record gave no picture: one id each, with the words written in a run's results and the
// word it is counted under in a run's summary. The decoder answers with one; the run adds the
// reasons found after decoding.

#include <string>
#include <string_view>

namespace pictrova {

enum class SkipCode {
    NoValue,
    Linked,
    UnsupportedClass,
    NotPicture,
    Damaged,
    NotLoaded,
    NotRendered,
    TooLarge,  // detail "W x H"
    NameNotText,
    NoName,
    Error,
};

struct SkipCodeRow {
    SkipCode code;
    std::string_view text;       // as written in the run's results
    std::string_view countWord;  // as counted in the run's summary
    bool countNamesDetail;       // the count word is followed by the detail in quotes
};

// In the order of the enum (checked where the table is used).
inline constexpr SkipCodeRow kSkipCodes[] = {
    {SkipCode::NoValue, "no value", "empty", false},
    {SkipCode::Linked, "linked object", "linked", false},
    {SkipCode::UnsupportedClass, "unsupported class", "unsupported class", true},
    {SkipCode::NotPicture, "not a picture", "not a picture", false},
    {SkipCode::Damaged, "damaged value", "damaged", false},
    {SkipCode::NotLoaded, "picture could not be loaded", "not loaded", false},
    {SkipCode::NotRendered, "picture could not be rendered", "not rendered", false},
    {SkipCode::TooLarge, "picture too large", "too large", false},
    {SkipCode::NameNotText, "name field not text", "name not text", false},
    {SkipCode::NoName, "no name", "no name", false},
    {SkipCode::Error, "error reported", "error", false},
};

struct SkipReason {
    SkipCode code = SkipCode::NotLoaded;
    std::string detail;  // the class, the kind of document, the name field, ...

    bool operator==(const SkipReason&) const = default;
};

// The reason's words as written in the run's results ("picture too large").
std::string_view SkipText(SkipCode code) noexcept;

// The short words a reason is counted under in a run's summary, e.g. "empty" or
// "unsupported class \"Acme.Drawing.1\"".
std::string CountWord(const SkipReason& skip);

}  // namespace pictrova
