// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start-up check that the data-access component can be created. Our data layer is linked
// into the program, so creating a connection object always succeeds; the provider dialog stays
// for a factory that fails (a build without the layer, tests).

#include <functional>
#include <string>

#include "common/host.h"
#include "database/connection.h"

namespace pictrova::database {

// The provider-not-found dialog's text and the two download pages it offers, in order.
std::string ProviderNotFoundText();
inline constexpr const char* kAccessEngine2010DownloadUrl =
    "https://www.microsoft.com/en-us/download/details.aspx?id=13255";
inline constexpr const char* kAccessEngine2016DownloadUrl =
    "https://www.microsoft.com/en-us/download/details.aspx?id=54920";
inline constexpr const char* kSupportEmail = "support@quillmoor.com";

// True when a connection object could be created. When creation fails with an error whose
// description contains "provider cannot be found" (any case) or whose number is 3706, asks the
// provider-not-found question; Yes opens the 2010 page and then the 2016 page. Every failure
// gives false; nothing is raised.
bool ProbeDataAccess(Host& host);
bool ProbeDataAccess(Host& host, const std::function<Connection()>& createConnection);

}  // namespace pictrova::database
