// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A page the program wrote, opened in a real browser: Debian's Chromium, headless, loads it from
// disk in a frame of a checking page beside it, and the checking page's script reads what the
// browser made of it.

#include <filesystem>
#include <optional>
#include <string>

namespace pictrova::testing {

// The browser's program, when it is installed.
std::optional<std::filesystem::path> BrowserProgram();

// Opens `page` in the browser and runs `script` on it once it and its pictures have loaded: the
// script sees the page's document as `d` and returns a value, which comes back as JSON text.
// Throws std::runtime_error when the browser gives nothing back.
std::string ValueInBrowser(const std::filesystem::path& page, const std::string& script);

// The path a file:// URL (as the browser gives a link) names, its percent-escapes decoded.
std::filesystem::path PathOfFileUrl(const std::string& url);

}  // namespace pictrova::testing
