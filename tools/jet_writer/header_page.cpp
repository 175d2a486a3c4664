// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/header_page.h"

#include <cmath>
#include <cstring>
#include <span>

#include "common/error.h"
#include "database/accdb/rc4.h"
#include "jet_writer/jet_text.h"

namespace pictrova::jet {

std::array<std::uint8_t, kPageSize> BuildHeaderPage(const DatabasePlan& plan) {
    bool ace = plan.format != Format::Jet4;
    std::array<std::uint8_t, kPageSize> page{};
    page[0] = kPageHeader;
    page[1] = 0x01;
    const char* signature = ace ? "Standard ACE DB" : "Standard Jet DB";
    std::memcpy(&page[4], signature, std::strlen(signature) + 1);
    Put32(&page[kHeaderVersion], static_cast<std::uint8_t>(plan.format));

    Put16(&page[kHeaderCodePage], 1252);
    Put32(&page[kHeaderDatabaseKey], plan.encodingKey);
    Put16(&page[kHeaderSortOrder], 0x0409);
    page[kHeaderSortVersion] = plan.format >= Format::Ace14 ? 1 : 0;
    PutDouble(&page[kHeaderCreationDate], plan.creationDate);

    std::vector<std::uint8_t> password = Ucs2Bytes(Utf8ToUtf16(plan.password));
    if (!password.empty() && ace)
        throw Error("an ACE database password is page encryption, which this writer does not do");
    if (password.size() > kHeaderPasswordLength)
        throw Error("a Jet4 password has at most 20 characters");
    // With no password the field holds the mask itself (zeros XOR mask), as Access leaves it.
    std::array<std::uint8_t, 4> mask;
    Put32(mask.data(),
          static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(plan.creationDate))));
    for (std::size_t i = 0; i < kHeaderPasswordLength; ++i) {
        std::uint8_t plain = i < password.size() ? password[i] : 0;
        page[kHeaderPassword + i] = static_cast<std::uint8_t>(plain ^ mask[i % 4]);
    }

    database::Rc4(database::kJetHeaderMaskKey)
        .Apply(std::span(&page[kHeaderMaskStart], kHeaderMaskLength));
    return page;
}

}  // namespace pictrova::jet
