// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text from a database or a file name is bytes: nothing makes it UTF-8. Every JSON writer,
// message and terminal line passes it through DatabaseText first, so that it is valid UTF-8
// (JSON readers refuse anything else) and, for a terminal, shown but never obeyed: a name holding
// ESC [2J, a window title sequence or a right-to-left override is printed as escapes.

#include <string>
#include <string_view>

namespace pictrova {

enum class LineBreaks { Escape, Keep };

// Where the text goes: Json keeps every character (the JSON writer escapes controls itself);
// Terminal also escapes control and bidirectional characters; TerminalLines does too but keeps
// CR and LF (reports are several lines). JsonDocument is for a whole JSON text as written: the
// characters the writer leaves as they are but a terminal obeys (DEL, C1 and bidirectional
// controls; they can only be inside strings) become JSON's own \uNNNN escapes, which read back
// as the same characters.
enum class TextUse { Json, Terminal, TerminalLines, JsonDocument };

// The bytes as valid UTF-8. Every byte that is not part of a well-formed UTF-8 sequence (overlong
// forms, surrogates and code points past U+10FFFF included) becomes the four characters \xNN, so
// two names that differ in such bytes stay apart. For a terminal, C0 controls and DEL also
// become \xNN (tab, CR and LF \t, \r, \n), and the C1 controls U+0080..U+009F and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) \uNNNN.
// A JsonDocument keeps its C0 characters (the line breaks of an indented document).
std::string DatabaseText(std::string_view bytes, TextUse use);

// DatabaseText for a terminal: one line, or several with LineBreaks::Keep.
inline std::string PrintableText(std::string_view text, LineBreaks breaks = LineBreaks::Escape) {
    return DatabaseText(text,
                        breaks == LineBreaks::Keep ? TextUse::TerminalLines : TextUse::Terminal);
}

}  // namespace pictrova
