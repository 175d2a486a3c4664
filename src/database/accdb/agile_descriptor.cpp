// SPDX-License-Identifier: GPL-3.0-or-later
// The XML descriptor of Agile encryption, read with GLib's markup parser. Only two elements
// matter: keyData (the data key and per-page IVs) and the encryptedKey of the key encryptor
// whose uri names the password (a file may also list certificate encryptors). Prefixes vary
// between files, so elements are matched by their local name.

#include <glib.h>

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "database/accdb/encryption_header.h"

namespace pictrova::database {

namespace {

constexpr std::string_view kPasswordEncryptorUri =
    "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
constexpr std::size_t kMaxSaltSize = 64;
constexpr std::size_t kMaxEncryptedValue = 1024;

struct NamedHash {
    std::string_view name;
    HashAlgorithm algorithm;
};
constexpr NamedHash kHashes[] = {
    {"SHA1", HashAlgorithm::Sha1},     {"SHA-1", HashAlgorithm::Sha1},
    {"SHA256", HashAlgorithm::Sha256}, {"SHA384", HashAlgorithm::Sha384},
    {"SHA512", HashAlgorithm::Sha512},
};

// A failure inside a parser callback; carried out through GError and rethrown.
struct DescriptorProblem {
    bool unsupported;
    std::string text;
};

[[noreturn]] void Damaged(std::string text) {
    throw DescriptorProblem{false, std::move(text)};
}
[[noreturn]] void Unsupported(std::string text) {
    throw DescriptorProblem{true, std::move(text)};
}

std::string_view LocalName(const char* name) {
    std::string_view s(name);
    const auto colon = s.rfind(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

class Attributes {
  public:
    Attributes(const gchar** names, const gchar** values) : names_(names), values_(values) {}

    std::optional<std::string_view> Find(std::string_view name) const {
        for (std::size_t k = 0; names_[k] != nullptr; ++k)
            if (name == names_[k])
                return std::string_view(values_[k]);
        return std::nullopt;
    }

    std::string_view Text(std::string_view name) const {
        auto v = Find(name);
        if (!v)
            Damaged("attribute " + std::string(name) + " is missing");
        return *v;
    }

    std::uint32_t Number(std::string_view name, std::uint32_t low, std::uint32_t high) const {
        const std::string_view text = Text(name);
        std::uint32_t v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc{} || end != text.data() + text.size() || v < low || v > high)
            Damaged("attribute " + std::string(name) + " is out of range");
        return v;
    }

    std::vector<std::uint8_t> Base64(std::string_view name, std::size_t maxSize) const {
        const std::string_view text = Text(name);
        // GLib decodes leniently; refuse anything that is not base64 so damage is noticed.
        for (char c : text)
            if (!(g_ascii_isalnum(c) || c == '+' || c == '/' || c == '=' || g_ascii_isspace(c)))
                Damaged("attribute " + std::string(name) + " is not base64");
        if (text.size() / 4 * 3 > maxSize + 3)
            Damaged("attribute " + std::string(name) + " is too long");
        const std::string copy(text);
        gsize length = 0;
        guchar* decoded = g_base64_decode(copy.c_str(), &length);
        std::vector<std::uint8_t> out(decoded, decoded + length);
        g_free(decoded);
        return out;
    }

  private:
    const gchar** names_;
    const gchar** values_;
};

AgileKeyParameters ReadKeyParameters(const Attributes& a) {
    if (const auto cipher = a.Text("cipherAlgorithm"); cipher != "AES")
        Unsupported("the cipher " + std::string(cipher));
    if (const auto chaining = a.Text("cipherChaining"); chaining != "ChainingModeCBC")
        Unsupported("the chaining mode " + std::string(chaining));
    AgileKeyParameters p;
    const std::uint32_t saltSize = a.Number("saltSize", 1, kMaxSaltSize);
    p.salt = a.Base64("saltValue", kMaxSaltSize);
    if (p.salt.size() != saltSize)
        Damaged("saltValue does not match saltSize");
    p.blockSize = a.Number("blockSize", 16, 16);
    p.keyBits = a.Number("keyBits", 128, 256);
    if (p.keyBits % 64 != 0)
        Damaged("keyBits is not an AES key size");
    const std::string_view hashName = a.Text("hashAlgorithm");
    bool known = false;
    for (const auto& h : kHashes)
        if (h.name == hashName) {
            p.hash = h.algorithm;
            known = true;
        }
    if (!known)
        Unsupported("the hash algorithm " + std::string(hashName));
    p.hashSize = a.Number("hashSize", 1, 64);
    if (p.hashSize != HashSize(p.hash))
        Damaged("hashSize does not match hashAlgorithm");
    return p;
}

std::vector<std::uint8_t> ReadCipherText(const Attributes& a, std::string_view name,
                                         std::size_t atLeast) {
    auto v = a.Base64(name, kMaxEncryptedValue);
    if (v.size() < atLeast || v.size() % kAesBlockSize != 0)
        Damaged(std::string(name) + " has the wrong length");
    return v;
}

struct ParseState {
    std::vector<std::string> openElements;
    bool inPasswordEncryptor = false;
    bool sawKeyData = false;
    bool sawPasswordKey = false;
    AgileDescription description;
    std::optional<DescriptorProblem> problem;
};

void StartElement(GMarkupParseContext*, const gchar* elementName, const gchar** names,
                  const gchar** values, gpointer userData, GError** error) {
    auto& state = *static_cast<ParseState*>(userData);
    try {
        const std::string_view local = LocalName(elementName);
        const Attributes a(names, values);
        if (local == "keyData" && !state.openElements.empty() &&
            state.openElements.back() == "encryption") {
            if (state.sawKeyData)
                Damaged("keyData appears twice");
            state.sawKeyData = true;
            state.description.keyData = ReadKeyParameters(a);
        } else if (local == "keyEncryptor") {
            state.inPasswordEncryptor = a.Find("uri") == kPasswordEncryptorUri;
        } else if (local == "encryptedKey" && state.inPasswordEncryptor &&
                   !state.openElements.empty() && state.openElements.back() == "keyEncryptor") {
            if (state.sawPasswordKey)
                Damaged("two password key encryptors");
            state.sawPasswordKey = true;
            auto& d = state.description;
            d.passwordKey = ReadKeyParameters(a);
            d.spinCount = a.Number("spinCount", 0, kMaxSpinCount);
            d.encryptedVerifierHashInput =
                ReadCipherText(a, "encryptedVerifierHashInput", d.passwordKey.salt.size());
            d.encryptedVerifierHashValue =
                ReadCipherText(a, "encryptedVerifierHashValue", d.passwordKey.hashSize);
            d.encryptedKeyValue = ReadCipherText(a, "encryptedKeyValue", 0);
        }
        state.openElements.emplace_back(local);
    } catch (DescriptorProblem& p) {
        state.problem = std::move(p);
        g_set_error_literal(error, G_MARKUP_ERROR, G_MARKUP_ERROR_INVALID_CONTENT,
                            "descriptor problem");
    }
}

void EndElement(GMarkupParseContext*, const gchar* elementName, gpointer userData, GError**) {
    auto& state = *static_cast<ParseState*>(userData);
    if (LocalName(elementName) == "keyEncryptor")
        state.inPasswordEncryptor = false;
    if (!state.openElements.empty())
        state.openElements.pop_back();
}

[[noreturn]] void Report(const DescriptorProblem& p) {
    if (p.unsupported)
        throw Error("This database is encrypted with agile encryption using " + p.text +
                    ", which Pictrova cannot open.");
    throw Error("The encryption description of this database is damaged (" + p.text + ").");
}

}  // namespace

AgileDescription ParseAgileDescriptor(std::string_view xml) {
    static const GMarkupParser kParser = {StartElement, EndElement, nullptr, nullptr, nullptr};
    ParseState state;
    GMarkupParseContext* context =
        g_markup_parse_context_new(&kParser, G_MARKUP_PREFIX_ERROR_POSITION, &state, nullptr);
    GError* error = nullptr;
    const bool ok = g_markup_parse_context_parse(context, xml.data(),
                                                 static_cast<gssize>(xml.size()), &error) &&
                    g_markup_parse_context_end_parse(context, &error);
    g_markup_parse_context_free(context);
    std::string message = error != nullptr ? error->message : "";
    if (error != nullptr)
        g_error_free(error);

    if (state.problem)
        Report(*state.problem);
    if (!ok)
        Report({false, "XML: " + message});
    if (!state.sawKeyData)
        Report({false, "no keyData"});
    if (!state.sawPasswordKey)
        Report({true, "certificates only (no password key encryptor)"});
    auto& d = state.description;
    if (d.encryptedKeyValue.size() < d.keyData.keyBits / 8)
        Report({false, "encryptedKeyValue is too short"});
    return std::move(d);
}

}  // namespace pictrova::database
