// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/data_access_probe.h"

#include <algorithm>
#include <cctype>

#include "common/error.h"
#include "common/error_codes.h"

namespace pictrova::database {
namespace {

bool MentionsMissingProvider(const std::string& description) {
    std::string lower(description);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("provider cannot be found") != std::string::npos;
}

void OfferDownloads(Host& host) {
    if (!host.AskYesNo(ProviderNotFoundText()))
        return;
    // The browser is the user's business: a page that fails to open is not reported.
    for (const char* url : {kAccessEngine2010DownloadUrl, kAccessEngine2016DownloadUrl}) {
        try {
            host.OpenUrl(url);
        } catch (...) {
        }
    }
}

}  // namespace

std::string ProviderNotFoundText() {
    // Paragraphs separated by one empty line.
    return std::string("Error #3706: Provider cannot be found. It may not be properly installed.") +
           "\n\nYou are getting this error because:" +
           "\n\n1. Microsoft Access is not installed on your computer." +
           "\n\n2. A set of Microsoft components to transfer data is not installed on your "
           "computer." +
           "\n\nYou need to download and install Microsoft Access Database Engine 2010 or 2016 "
           "to solve this problem." +
           "\n\nWould you like me to open the Microsoft site now so you can do this?" +
           "\n\n(If you have any further questions please email a screenshot of this error "
           "message to " +
           kSupportEmail + ")";
}

bool ProbeDataAccess(Host& host) {
    return ProbeDataAccess(host, [] { return Connection(); });
}

bool ProbeDataAccess(Host& host, const std::function<Connection()>& createConnection) {
    try {
        Connection probe = createConnection();
        return true;
    } catch (const Error& error) {
        try {
            if (MentionsMissingProvider(error.description()) ||
                error.number() == ErrorNumber(ErrorCode::ProviderNotFound))
                OfferDownloads(host);
        } catch (...) {
        }
    } catch (...) {
    }
    return false;
}

}  // namespace pictrova::database
