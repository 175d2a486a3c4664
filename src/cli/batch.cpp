// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch.h"

#include <fstream>

namespace pictrova::cli {

namespace {

std::string CanonicalKey(const std::string& path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::string() : canonical.string();
}

}  // namespace

std::optional<BatchPasswords> BatchPasswords::Load(const BatchDatabases& databases,
                                                   std::string& error) {
    BatchPasswords passwords;
    passwords.common_ = databases.password;
    if (databases.passwordFile.empty())
        return passwords;
    std::ifstream in(databases.passwordFile, std::ios::binary);
    if (!in) {
        error = "Could not read the password file '" + databases.passwordFile + "'.";
        return std::nullopt;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            error = databases.passwordFile + ":" + std::to_string(number) +
                    ": expected PATH<TAB>PASSWORD";
            return std::nullopt;
        }
        std::string path = line.substr(0, tab);
        std::string password = line.substr(tab + 1);
        if (auto key = CanonicalKey(path); !key.empty())
            passwords.byPath_[key] = password;
        passwords.byPath_[path] = std::move(password);
    }
    return passwords;
}

std::string BatchPasswords::For(const std::string& path) const {
    if (auto it = byPath_.find(path); it != byPath_.end())
        return it->second;
    if (auto key = CanonicalKey(path); !key.empty()) {
        if (auto it = byPath_.find(key); it != byPath_.end())
            return it->second;
    }
    return common_;
}

std::string FolderNameFor(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return "_";
    std::string out = name;
    for (char& c : out) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    return out;
}

}  // namespace pictrova::cli
