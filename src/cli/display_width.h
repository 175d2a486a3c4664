// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How many terminal columns printable UTF-8 text takes (what PrintableText gives): wide East Asian
// characters and most emoji take two, combining marks none, every other character one. Tables
// are aligned and the progress line is cut by this, never by bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace pictrova::cli {

std::size_t DisplayWidth(std::string_view text);

// The longest start of `text` that takes at most `columns` columns, cut between characters.
std::string FitToWidth(std::string_view text, std::size_t columns);

// The terminal's width in columns: the terminal on stderr, else $COLUMNS, else 80.
std::size_t TerminalColumns();

}  // namespace pictrova::cli
