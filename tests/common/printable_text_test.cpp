// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/printable_text.h"

#include <gtest/gtest.h>

namespace pictrova {
namespace {

// Bytes from a database as JSON and a terminal get them: always valid UTF-8, nothing a terminal
// obeys on the terminal.
TEST(DatabaseText, ValidUtf8AndNothingObeyed) {
    struct Case {
        std::string bytes;
        std::string json, terminal;
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7",
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7"},
        // Bytes that start or continue no well-formed sequence, each on its own.
        {"caf\xE9.mdb", "caf\\xE9.mdb", "caf\\xE9.mdb"},
        {"\xFF\xFE", "\\xFF\\xFE", "\\xFF\\xFE"},
        {"\xC0\xAF", "\\xC0\\xAF", "\\xC0\\xAF"},                // overlong "/"
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF", "\\xE0\\x80\\xAF"},  // overlong, three bytes
        {"\xED\xA0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},  // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\\xF4\\x90\\x80\\x80"},  // past U+10FFFF
        {"\xE2\x82", "\\xE2\\x82", "\\xE2\\x82"},     // cut short at the end
        {"\xE2\x82x", "\\xE2\\x82x", "\\xE2\\x82x"},  // cut short before text
        {"\x80", "\\x80", "\\x80"},                   // a lone continuation byte
        // Controls: kept for JSON (its writer escapes them), escaped for a terminal.
        {"a\x1B[2Jb", "a\x1B[2Jb", "a\\x1B[2Jb"},
        {"t\tn\nr\r", "t\tn\nr\r", "t\\tn\\nr\\r"},
        {"\x7F", "\x7F", "\\x7F"},
        {"\xC2\x9B"
         "2J",
         "\xC2\x9B"
         "2J",
         "\\u009B2J"},                         // C1
        {"\xC2\xA0", "\xC2\xA0", "\xC2\xA0"},  // a no-break space is text
        {"a\xE2\x80\xAEgnp.exe", "a\xE2\x80\xAEgnp.exe", "a\\u202Egnp.exe"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x81\xA6\xE2\x81\xA9",
         "\xD8\x9C\xE2\x80\x8E\xE2\x81\xA6\xE2\x81\xA9", "\\u061C\\u200E\\u2066\\u2069"},
        {std::string("a\0b", 3), std::string("a\0b", 3), "a\\x00b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.terminal);
        EXPECT_EQ(DatabaseText(c.bytes, TextUse::Json), c.json);
        EXPECT_EQ(DatabaseText(c.bytes, TextUse::Terminal), c.terminal);
    }
    EXPECT_EQ(PrintableText("a\r\nb\x1B", LineBreaks::Keep), "a\r\nb\\x1B");
    // A JSON text as written: what a terminal obeys becomes JSON escapes, its line breaks stay.
    EXPECT_EQ(DatabaseText("{\n \"a\xE2\x80\xAE\xC2\x9B\x7F\u00e9\": \"\\u001b\"\n}",
                           TextUse::JsonDocument),
              "{\n \"a\\u202e\\u009b\\u007f\u00e9\": \"\\u001b\"\n}");
}

}  // namespace
}  // namespace pictrova
