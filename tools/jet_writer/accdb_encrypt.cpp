// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/accdb_encrypt.h"

#include <glib.h>
#include <openssl/rand.h>

#include <algorithm>

#include "common/byte_reader.h"
#include "common/error.h"
#include "database/accdb/key_derivation.h"
#include "database/accdb/page_cipher.h"
#include "database/accdb/rc4.h"

namespace pictrova::jet {

using namespace database;

namespace {

constexpr std::size_t kAcePageSize = 4096;

std::vector<std::uint8_t> RandomBytes(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    if (n != 0 && RAND_bytes(out.data(), static_cast<int>(n)) != 1)
        throw Error("no random bytes available");
    return out;
}

template <typename Container>
std::vector<std::uint8_t> PadToBlocks(const Container& x) {
    std::vector<std::uint8_t> out(x.begin(), x.end());
    out.resize((out.size() + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize, 0);
    return out;
}

void AesCbcEncrypt(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv,
                   std::vector<std::uint8_t>& data) {
    AesTransform aes(key.size(), AesChaining::Cbc, CipherDirection::Encrypt);
    aes.SetKey(key);
    aes.Apply(iv, data);
}

std::u16string ProviderName(const AccdbEncryptionSettings& settings) {
    if (settings.kind != AccdbEncryption::Rc4CryptoApi)
        return u"Microsoft Enhanced RSA and AES Cryptographic Provider";
    return settings.keyBits == 40 ? u"Microsoft Base Cryptographic Provider v1.0"
                                  : u"Microsoft Enhanced Cryptographic Provider v1.0";
}

CryptoApiDescription MakeCryptoApi(const AccdbEncryptionSettings& settings,
                                   std::string_view password) {
    CryptoApiDescription d;
    d.kind = settings.kind;
    d.keyBits = settings.keyBits;
    d.algIdHash = kAlgSha1;
    d.cspName = ProviderName(settings);
    switch (settings.kind) {
        case AccdbEncryption::Rc4CryptoApi:
            d.flags = kFlagCryptoApi;
            d.algId = kAlgRc4;
            d.providerType = 1;
            break;
        case AccdbEncryption::CryptoApiAes:
        case AccdbEncryption::StandardAes:
            d.flags =
                kFlagCryptoApi | (settings.kind == AccdbEncryption::StandardAes ? kFlagAes : 0);
            d.algId = settings.keyBits == 128   ? kAlgAes128
                      : settings.keyBits == 192 ? kAlgAes192
                                                : kAlgAes256;
            d.providerType = 0x18;
            break;
        case AccdbEncryption::Agile:
            break;
    }
    const auto salt = RandomBytes(d.salt.size());
    std::copy(salt.begin(), salt.end(), d.salt.begin());
    auto verifier = RandomBytes(d.encryptedVerifier.size());

    const SecretBytes pwd = PasswordBytes(password);
    Digest sha1(HashAlgorithm::Sha1);
    const DatabaseKey zeroBlock{};
    const SecretBytes plainHash = sha1.Hash(verifier);
    std::vector<std::uint8_t> verifierHash(plainHash.begin(), plainHash.end());
    if (settings.kind == AccdbEncryption::Rc4CryptoApi) {
        const SecretBytes hash = PasswordHash(sha1, d.salt, pwd, 0);
        Rc4 rc4(CryptoApiRc4Key(sha1, hash, zeroBlock, d.keyBits));
        rc4.Apply(verifier);
        rc4.Apply(verifierHash);
    } else {
        const std::uint32_t rounds =
            settings.kind == AccdbEncryption::StandardAes ? kStandardAesIterations : 0;
        const SecretBytes hash = PasswordHash(sha1, d.salt, pwd, rounds);
        AesTransform aes(d.keyBits / 8, AesChaining::Ecb, CipherDirection::Encrypt);
        aes.SetKey(CryptoApiAesKey(sha1, hash, zeroBlock, d.keyBits));
        verifierHash = PadToBlocks(verifierHash);
        aes.Apply({}, verifier);
        aes.Apply({}, verifierHash);
    }
    std::copy(verifier.begin(), verifier.end(), d.encryptedVerifier.begin());
    d.encryptedVerifierHash = verifierHash;
    return d;
}

AgileDescription MakeAgile(const AccdbEncryptionSettings& settings, std::string_view password) {
    AgileDescription d;
    AgileKeyParameters p;
    p.keyBits = settings.keyBits;
    p.hash = settings.agileHash;
    p.hashSize = static_cast<std::uint32_t>(HashSize(settings.agileHash));
    d.keyData = p;
    d.keyData.salt = RandomBytes(16);
    d.passwordKey = p;
    d.passwordKey.salt = RandomBytes(16);
    d.spinCount = settings.spinCount;

    Digest digest(p.hash);
    const SecretBytes hash =
        PasswordHash(digest, d.passwordKey.salt, PasswordBytes(password), d.spinCount);
    const SecretBytes iv = AgileIv(digest, d.passwordKey.salt, {}, p.blockSize);

    const auto verifierInput = RandomBytes(d.passwordKey.salt.size());
    d.encryptedVerifierHashInput = PadToBlocks(verifierInput);
    AesCbcEncrypt(AgileKey(digest, hash, kAgileVerifierInputBlock, p.keyBits), iv,
                  d.encryptedVerifierHashInput);
    d.encryptedVerifierHashValue = PadToBlocks(digest.Hash(verifierInput));
    AesCbcEncrypt(AgileKey(digest, hash, kAgileVerifierHashBlock, p.keyBits), iv,
                  d.encryptedVerifierHashValue);
    d.encryptedKeyValue = PadToBlocks(RandomBytes(p.keyBits / 8));
    AesCbcEncrypt(AgileKey(digest, hash, kAgileKeyValueBlock, p.keyBits), iv, d.encryptedKeyValue);
    return d;
}

std::vector<std::uint8_t> SerializeCryptoApi(const CryptoApiDescription& d) {
    const std::uint32_t headerSize = static_cast<std::uint32_t>(32 + 2 * (d.cspName.size() + 1));
    std::vector<std::uint8_t> out(12 + headerSize + 4 + 16 + 16 + 4 +
                                  d.encryptedVerifierHash.size());
    ByteWriter w(out);
    w.u16le(d.versionMajor);
    w.u16le(d.versionMinor);
    w.u32le(d.flags);
    w.u32le(headerSize);
    w.u32le(d.flags);
    w.u32le(0);  // sizeExtra
    w.u32le(d.algId);
    w.u32le(d.algIdHash);
    w.u32le(d.keyBits);
    w.u32le(d.providerType);
    w.u32le(0);
    w.u32le(0);
    for (char16_t c : d.cspName)
        w.u16le(c);
    w.u16le(0);
    w.u32le(static_cast<std::uint32_t>(d.salt.size()));
    w.bytes(d.salt);
    w.bytes(d.encryptedVerifier);
    w.u32le(d.verifierHashSize);
    w.bytes(d.encryptedVerifierHash);
    return out;
}

std::string Base64(std::span<const std::uint8_t> bytes) {
    gchar* text = g_base64_encode(bytes.data(), bytes.size());
    std::string out(text);
    g_free(text);
    return out;
}

std::string KeyAttributes(const AgileKeyParameters& p) {
    return "saltSize=\"" + std::to_string(p.salt.size()) + "\" blockSize=\"" +
           std::to_string(p.blockSize) + "\" keyBits=\"" + std::to_string(p.keyBits) +
           "\" hashSize=\"" + std::to_string(p.hashSize) +
           "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" +
           std::string(HashName(p.hash)) + "\" saltValue=\"" + Base64(p.salt) + "\"";
}

std::vector<std::uint8_t> SerializeAgile(const AgileDescription& d) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<keyData " +
        KeyAttributes(d.keyData) +
        "/>"
        "<keyEncryptors><keyEncryptor "
        "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<p:encryptedKey spinCount=\"" +
        std::to_string(d.spinCount) + "\" " + KeyAttributes(d.passwordKey) +
        " encryptedVerifierHashInput=\"" + Base64(d.encryptedVerifierHashInput) +
        "\" encryptedVerifierHashValue=\"" + Base64(d.encryptedVerifierHashValue) +
        "\" encryptedKeyValue=\"" + Base64(d.encryptedKeyValue) +
        "\"/>"
        "</keyEncryptor></keyEncryptors></encryption>";
    std::vector<std::uint8_t> out(8 + xml.size());
    ByteWriter w(out);
    w.u16le(4);
    w.u16le(4);
    w.u32le(kAgileFlags);
    w.bytes(std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
    return out;
}

}  // namespace

EncryptionDescription MakeEncryptionDescription(const AccdbEncryptionSettings& settings,
                                                std::string_view password) {
    if (settings.kind == AccdbEncryption::Agile)
        return MakeAgile(settings, password);
    return MakeCryptoApi(settings, password);
}

std::vector<std::uint8_t> SerializeEncryptionDescription(const EncryptionDescription& description) {
    if (const auto* c = std::get_if<CryptoApiDescription>(&description))
        return SerializeCryptoApi(*c);
    return SerializeAgile(std::get<AgileDescription>(description));
}

std::vector<std::uint8_t> EncryptAccdbImage(std::span<const std::uint8_t> plainImage,
                                            const AccdbEncryptionSettings& settings,
                                            std::string_view password) {
    const HeaderPage header = ReadHeaderPage(plainImage);
    if (header.version < kFirstAceVersion || header.pageSize != kAcePageSize)
        throw Error("only ACE (.accdb) images can carry Office encryption");
    if (header.databaseKey != DatabaseKey{})
        throw Error("the image is already encoded");
    if (plainImage.size() % kAcePageSize != 0)
        throw Error("the image is not made of whole pages");

    std::uint32_t keyValue = settings.databaseKey;
    while (keyValue == 0) {
        const auto r = RandomBytes(4);
        keyValue = static_cast<std::uint32_t>(r[0] | r[1] << 8 | r[2] << 16 | r[3] << 24);
    }
    const DatabaseKey databaseKey = {
        static_cast<std::uint8_t>(keyValue), static_cast<std::uint8_t>(keyValue >> 8),
        static_cast<std::uint8_t>(keyValue >> 16), static_cast<std::uint8_t>(keyValue >> 24)};
    const EncryptionDescription description = MakeEncryptionDescription(settings, password);
    const std::vector<std::uint8_t> stored = SerializeEncryptionDescription(description);
    if (stored.size() > kAcePageSize - kDescriptionOffset)
        throw Error("encryption description does not fit page 0");

    std::vector<std::uint8_t> image(plainImage.begin(), plainImage.end());
    const std::span<std::uint8_t> headerPage(image.data(), kAcePageSize);
    StoreDatabaseKey(headerPage, databaseKey);
    ByteWriter w(headerPage);
    w.seek(kDescriptionLengthOffset);
    w.u16le(static_cast<std::uint16_t>(stored.size()));
    w.bytes(stored);

    // Unlocking with the password we just used also proves the verifier we wrote.
    const auto cipher =
        UnlockPageCipher(description, databaseKey, password, CipherDirection::Encrypt);
    const std::size_t pages = image.size() / kAcePageSize;
    for (std::size_t page = 1; page < pages; ++page)
        cipher->Transform(static_cast<std::uint32_t>(page),
                          std::span(image).subspan(page * kAcePageSize, kAcePageSize));
    return image;
}

}  // namespace pictrova::jet
