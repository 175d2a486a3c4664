// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/connection_string.h"

#include <algorithm>
#include <cctype>

namespace pictrova::database {
namespace {

constexpr std::string_view kDataSourceKey = "Data Source=";
constexpr std::string_view kPasswordKey = ";JET OLEDB:Database Password=";
constexpr std::string_view kProviderKey = "Provider=";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Keywords match without regard to case, as the data-access objects match them.
std::size_t FindKey(std::string_view text, std::string_view key, std::size_t from = 0) {
    return Lower(text).find(Lower(key), from);
}
std::size_t FindLastKey(std::string_view text, std::string_view key) {
    return Lower(text).rfind(Lower(key));
}

}  // namespace

std::string BuildConnectionString(const DatabaseSelection& selection) {
    std::string path = selection.DatabasePath();
    std::string password = selection.DatabasePassword();
    std::string ending = Lower(path.size() > 5 ? std::string_view(path).substr(path.size() - 5)
                                               : std::string_view(path));
    std::string prefix = ending == "accdb" ? "Provider=" + std::string(kAceProvider)
                                           : "PROVIDER=" + std::string(kJetProvider);
    return prefix + ";Data Source=" + path + ";JET OLEDB:Database Password=" + password;
}

ConnectionStringParts ParseConnectionString(std::string_view connectionString) {
    ConnectionStringParts parts;

    std::size_t passwordAt = FindLastKey(connectionString, kPasswordKey);
    std::string_view settings = connectionString;
    if (passwordAt != std::string_view::npos) {
        parts.password = connectionString.substr(passwordAt + kPasswordKey.size());
        settings = connectionString.substr(0, passwordAt);
    }

    std::size_t sourceAt = FindKey(settings, kDataSourceKey);
    if (sourceAt != std::string_view::npos) {
        std::string_view source = settings.substr(sourceAt + kDataSourceKey.size());
        // Without a password clause the data source ends at the next setting.
        if (passwordAt == std::string_view::npos)
            source = source.substr(0, source.find(';'));
        parts.dataSource = source;
    }

    std::size_t providerAt = FindKey(settings, kProviderKey);
    if (providerAt != std::string_view::npos &&
        (sourceAt == std::string_view::npos || providerAt < sourceAt)) {
        std::string_view provider = settings.substr(providerAt + kProviderKey.size());
        parts.provider = provider.substr(0, provider.find(';'));
    }
    return parts;
}

}  // namespace pictrova::database
