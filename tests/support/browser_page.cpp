// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser_page.h"

#include <fstream>
#include <stdexcept>

#include "test_paths.h"

namespace pictrova::testing {
namespace {

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The text of <pre id="result">, as the browser dumped it (HTML-escaped).
std::string ResultText(const std::string& dom) {
    const std::string open = "<pre id=\"result\">";
    const auto start = dom.find(open);
    const auto end = dom.find("</pre>", start);
    if (start == std::string::npos || end == std::string::npos)
        throw std::runtime_error("the browser gave no result: " + dom.substr(0, 500));
    std::string text = dom.substr(start + open.size(), end - start - open.size());
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        static const std::pair<const char*, char> kEntities[] = {
            {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                out += c;
                i += std::char_traits<char>::length(entity) - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i];
    }
    return out;
}

}  // namespace

std::optional<std::filesystem::path> BrowserProgram() {
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(candidate))
            return std::filesystem::path(candidate);
    return std::nullopt;
}

std::string ValueInBrowser(const std::filesystem::path& page, const std::string& script) {
    const auto browser = BrowserProgram();
    if (!browser)
        throw std::runtime_error("no browser installed");
    const std::filesystem::path checker = page.parent_path() / ".browser-check.html";
    {
        std::ofstream out(checker);
        out << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
               "<iframe id=\"page\" src=\""
            << page.filename().string()
            << "\"></iframe><pre id=\"result\">pending</pre><script>\n"
               "document.getElementById('page').addEventListener('load', () => {\n"
               "  const d = document.getElementById('page').contentDocument;\n"
               "  let value;\n"
               "  try { value = (() => { "
            << script
            << " })(); } catch (e) { value = {error: String(e)}; }\n"
               "  document.getElementById('result').textContent = JSON.stringify(value);\n"
               "});\n</script></body></html>\n";
    }
    // File pages may read each other only with this switch; the user data folder keeps the
    // browser's profile out of the home folder.
    const std::filesystem::path profile = page.parent_path() / ".browser-profile";
    const std::string command = ShellQuoted(browser->string()) +
                                " --headless --no-sandbox --disable-gpu --no-first-run"
                                " --allow-file-access-from-files --virtual-time-budget=10000"
                                " --user-data-dir=" +
                                ShellQuoted(profile.string()) + " --dump-dom " +
                                ShellQuoted("file://" + checker.string()) + " 2>/dev/null";
    const std::string dom = RunForOutput(command);
    std::filesystem::remove(checker);
    std::filesystem::remove_all(profile);
    return ResultText(dom);
}

std::filesystem::path PathOfFileUrl(const std::string& url) {
    std::string path;
    for (std::size_t i = std::string("file://").size(); i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            path += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += url[i];
        }
    }
    return path;
}

}  // namespace pictrova::testing
