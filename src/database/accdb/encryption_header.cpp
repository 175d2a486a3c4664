// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/encryption_header.h"

#include <algorithm>

#include "common/byte_reader.h"
#include "common/error.h"
#include "database/accdb/rc4.h"

namespace pictrova::database {

namespace {

constexpr std::size_t kMaskLength = 128;
constexpr std::size_t kJet3MaskLength = 126;
constexpr std::size_t kCryptoApiFixedHeader = 32;  // flags .. reserved, before the CSP name

std::size_t MaskLength(std::uint8_t version) noexcept {
    return version == 0 ? kJet3MaskLength : kMaskLength;
}

[[noreturn]] void Damaged(const std::string& detail) {
    throw Error("The encryption description of this database is damaged (" + detail + ").");
}

[[noreturn]] void Unsupported(const std::string& what) {
    throw Error("This database is encrypted with " + what + ", which Pictrova cannot open.");
}

std::string Hex(std::uint32_t v) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        s += kDigits[(v >> shift) & 0xF];
    return s;
}

std::uint32_t AesKeyBits(std::uint32_t algId) noexcept {
    switch (algId) {
        case kAlgAes128:
            return 128;
        case kAlgAes192:
            return 192;
        case kAlgAes256:
            return 256;
        default:
            return 0;
    }
}

// A stored key size of 0 means 40 bits for the "Microsoft Base Cryptographic Provider".
bool MentionsBaseProvider(const std::u16string& name) {
    std::u16string lower;
    for (char16_t c : name)
        lower += c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
    return lower.find(u" base ") != std::u16string::npos;
}

CryptoApiDescription ParseCryptoApi(ByteReader& r, std::uint16_t major, std::uint16_t minor) {
    CryptoApiDescription d;
    d.versionMajor = major;
    d.versionMinor = minor;
    d.flags = r.u32le();
    const std::uint32_t headerSize = r.u32le();
    if (headerSize < kCryptoApiFixedHeader || headerSize > r.remaining())
        Damaged("header size " + std::to_string(headerSize) + " does not fit");
    ByteReader header = r.sub(headerSize);
    header.skip(4);  // header flags: a copy of the flags above
    if (header.u32le() != 0)
        Damaged("unexpected extra header bytes");
    d.algId = header.u32le();
    d.algIdHash = header.u32le();
    d.keyBits = header.u32le();
    d.providerType = header.u32le();
    header.skip(8);
    const std::size_t nameUnits = header.remaining() / 2;
    for (std::size_t k = 0; k < nameUnits; ++k) {
        const char16_t c = header.u16le();
        if (c == 0)
            break;
        d.cspName += c;
    }

    if ((d.flags & kFlagExternal) != 0)
        Unsupported("an external encryption provider");
    if ((d.flags & kFlagCryptoApi) == 0)
        Unsupported("encryption flags " + Hex(d.flags));
    if (d.algId == 0)
        d.algId = (d.flags & kFlagAes) != 0 ? kAlgAes128 : kAlgRc4;
    if (d.algIdHash != 0 && d.algIdHash != kAlgSha1)
        Unsupported("the hash algorithm " + Hex(d.algIdHash));
    const std::uint32_t aesBits = AesKeyBits(d.algId);
    if (d.algId == kAlgRc4) {
        if ((d.flags & kFlagAes) != 0)
            Damaged("RC4 with the AES flag set");
        d.kind = AccdbEncryption::Rc4CryptoApi;
        if (d.keyBits == 0)
            d.keyBits = d.cspName.empty() || MentionsBaseProvider(d.cspName) ? 40 : 128;
        if (d.keyBits < 40 || d.keyBits > 128 || d.keyBits % 8 != 0)
            Damaged("RC4 key of " + std::to_string(d.keyBits) + " bits");
    } else if (aesBits != 0) {
        d.kind = (d.flags & kFlagAes) != 0 ? AccdbEncryption::StandardAes
                                           : AccdbEncryption::CryptoApiAes;
        if (d.keyBits == 0)
            d.keyBits = aesBits;
        if (d.keyBits != aesBits)
            Damaged("AES key of " + std::to_string(d.keyBits) + " bits");
    } else {
        Unsupported("the cipher " + Hex(d.algId));
    }

    if (r.u32le() != kCryptoApiSaltSize)
        Damaged("salt size is not 16");
    const auto salt = r.bytes(kCryptoApiSaltSize);
    std::copy(salt.begin(), salt.end(), d.salt.begin());
    const auto verifier = r.bytes(d.encryptedVerifier.size());
    std::copy(verifier.begin(), verifier.end(), d.encryptedVerifier.begin());
    d.verifierHashSize = r.u32le();
    if (d.verifierHashSize != kSha1Size)
        Damaged("verifier hash size is not 20");
    const std::size_t storedHash = d.kind == AccdbEncryption::Rc4CryptoApi ? kSha1Size : 32;
    const auto hash = r.bytes(storedHash);
    d.encryptedVerifierHash.assign(hash.begin(), hash.end());
    return d;
}

}  // namespace

std::size_t PageSizeForVersion(std::uint8_t version) noexcept {
    return version == 0 ? 2048 : 4096;
}

void ApplyHeaderMask(std::span<std::uint8_t> headerPage) {
    ByteReader r(headerPage);
    r.seek(kVersionOffset);
    const std::uint8_t version = r.u8();
    const std::size_t length = MaskLength(version);
    Enforce(headerPage.size() >= kMaskOffset + length, "header page too short", headerPage.size());
    Rc4(kJetHeaderMaskKey).Apply(headerPage.subspan(kMaskOffset, length));
}

HeaderPage ReadHeaderPage(std::span<const std::uint8_t> file) {
    ByteReader r(file);
    Enforce(r.u8() == 0, "not an Access database (page 0 is not a header page)", 0);
    HeaderPage h;
    r.seek(kVersionOffset);
    h.version = r.u8();
    h.pageSize = PageSizeForVersion(h.version);
    Enforce(file.size() >= h.pageSize, "file shorter than one page", file.size());

    std::uint8_t masked[kMaskLength];
    const std::size_t maskLength = MaskLength(h.version);
    r.seek(kMaskOffset);
    const auto stored = r.bytes(maskLength);
    std::copy(stored.begin(), stored.end(), masked);
    Rc4(kJetHeaderMaskKey).Apply(std::span(masked, maskLength));
    std::copy_n(masked + (kDatabaseKeyOffset - kMaskOffset), h.databaseKey.size(),
                h.databaseKey.begin());

    if (h.version >= kFirstAceVersion) {
        r.seek(kDescriptionLengthOffset);
        const std::uint16_t length = r.u16le();
        if (length > h.pageSize - kDescriptionOffset)
            Damaged("its length " + std::to_string(length) + " runs past page 0");
        h.description = file.subspan(kDescriptionOffset, length);
    }
    return h;
}

void StoreDatabaseKey(std::span<std::uint8_t> headerPage, const DatabaseKey& key) {
    ApplyHeaderMask(headerPage);
    ByteWriter w(headerPage);
    w.seek(kDatabaseKeyOffset);
    w.bytes(key);
    ApplyHeaderMask(headerPage);
}

bool IsOfficeEncrypted(const HeaderPage& header) noexcept {
    const bool keyed = std::any_of(header.databaseKey.begin(), header.databaseKey.end(),
                                   [](std::uint8_t b) { return b != 0; });
    return header.version >= kFirstAceVersion && keyed && !header.description.empty();
}

std::string_view EncryptionName(AccdbEncryption kind) noexcept {
    switch (kind) {
        case AccdbEncryption::Rc4CryptoApi:
            return "RC4 CryptoAPI encryption";
        case AccdbEncryption::CryptoApiAes:
            return "CryptoAPI AES encryption";
        case AccdbEncryption::StandardAes:
            return "standard AES encryption";
        case AccdbEncryption::Agile:
            return "agile encryption";
    }
    return "unknown encryption";
}

AccdbEncryption KindOf(const EncryptionDescription& description) noexcept {
    if (const auto* c = std::get_if<CryptoApiDescription>(&description))
        return c->kind;
    return AccdbEncryption::Agile;
}

EncryptionDescription ParseEncryptionDescription(std::span<const std::uint8_t> description) {
    try {
        ByteReader r(description, kDescriptionOffset);
        const std::uint16_t major = r.u16le();
        const std::uint16_t minor = r.u16le();
        if (major == 4 && minor == 4) {
            if (r.u32le() != kAgileFlags)
                Damaged("agile flags are not 0x40");
            const auto xml = r.bytes(r.remaining());
            std::string_view text(reinterpret_cast<const char*>(xml.data()), xml.size());
            while (!text.empty() && text.back() == '\0')
                text.remove_suffix(1);
            return ParseAgileDescriptor(text);
        }
        if ((major == 2 || major == 3 || major == 4) && minor == 2)
            return ParseCryptoApi(r, major, minor);
        if (major == 1 && minor == 1)
            Unsupported("Office binary RC4 encryption");
        if ((major == 3 || major == 4) && minor == 3)
            Unsupported("extensible encryption");
        Damaged("unknown version " + std::to_string(major) + "." + std::to_string(minor));
    } catch (const FormatError& e) {
        Damaged(e.description());
    }
}

std::size_t HashSize(HashAlgorithm algorithm) noexcept {
    constexpr std::size_t kSizes[] = {20, 32, 48, 64};
    return kSizes[static_cast<int>(algorithm)];
}

std::string_view HashName(HashAlgorithm algorithm) noexcept {
    constexpr std::string_view kNames[] = {"SHA1", "SHA256", "SHA384", "SHA512"};
    return kNames[static_cast<int>(algorithm)];
}

}  // namespace pictrova::database
