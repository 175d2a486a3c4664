// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text and links for a page the program writes: any bytes from a database or a file name shown
// as written, never read as markup.

#include <string>
#include <string_view>

namespace pictrova::report {

// The bytes as HTML text or attribute value: valid UTF-8 (see DatabaseText), controls shown as
// escapes, and & < > " ' as character references.
std::string HtmlText(std::string_view bytes);

// A relative path as a link: every byte but letters, digits, - . _ ~ and the / between names
// percent-encoded, so a name holding #, ?, %, spaces or any other byte links to itself.
std::string RelativeLink(std::string_view path);

}  // namespace pictrova::report
