// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/page_cipher.h"

#include <algorithm>

#include "common/error.h"
#include "database/accdb/key_derivation.h"
#include "database/accdb/rc4.h"

namespace pictrova::database {

namespace {

constexpr DatabaseKey kVerifierBlock{};

void RequireMatch(std::span<const std::uint8_t> expected, std::span<const std::uint8_t> decrypted) {
    if (decrypted.size() < expected.size() ||
        !SameBytes(expected, decrypted.first(expected.size())))
        NotAValidPassword();
}

class Rc4CryptoApiCipher final : public PageCipher {
  public:
    Rc4CryptoApiCipher(SecretBytes passwordHash, const DatabaseKey& databaseKey,
                       std::uint32_t keyBits)
        : sha1_(HashAlgorithm::Sha1),
          hash_(std::move(passwordHash)),
          databaseKey_(databaseKey),
          keyBits_(keyBits) {}

    void Transform(std::uint32_t page, std::span<std::uint8_t> data) override {
        const SecretBytes key =
            CryptoApiRc4Key(sha1_, hash_, BlockKey(databaseKey_, page), keyBits_);
        Rc4(key).Apply(data);
    }

  private:
    Digest sha1_;
    SecretBytes hash_;
    DatabaseKey databaseKey_;
    std::uint32_t keyBits_;
};

class AesCryptoApiCipher final : public PageCipher {
  public:
    AesCryptoApiCipher(SecretBytes passwordHash, const DatabaseKey& databaseKey,
                       std::uint32_t keyBits, CipherDirection direction)
        : sha1_(HashAlgorithm::Sha1),
          hash_(std::move(passwordHash)),
          databaseKey_(databaseKey),
          keyBits_(keyBits),
          aes_(keyBits / 8, AesChaining::Ecb, direction) {}

    void Transform(std::uint32_t page, std::span<std::uint8_t> data) override {
        aes_.SetKey(CryptoApiAesKey(sha1_, hash_, BlockKey(databaseKey_, page), keyBits_));
        aes_.Apply({}, data);
    }

  private:
    Digest sha1_;
    SecretBytes hash_;
    DatabaseKey databaseKey_;
    std::uint32_t keyBits_;
    AesTransform aes_;
};

class AgileCipher final : public PageCipher {
  public:
    AgileCipher(const AgileKeyParameters& keyData, std::span<const std::uint8_t> dataKey,
                const DatabaseKey& databaseKey, CipherDirection direction)
        : digest_(keyData.hash),
          salt_(keyData.salt),
          blockSize_(keyData.blockSize),
          databaseKey_(databaseKey),
          aes_(dataKey.size(), AesChaining::Cbc, direction) {
        aes_.SetKey(dataKey);
    }

    void Transform(std::uint32_t page, std::span<std::uint8_t> data) override {
        const DatabaseKey block = BlockKey(databaseKey_, page);
        aes_.Apply(AgileIv(digest_, salt_, block, blockSize_), data);
    }

  private:
    Digest digest_;
    std::vector<std::uint8_t> salt_;
    std::size_t blockSize_;
    DatabaseKey databaseKey_;
    AesTransform aes_;
};

std::unique_ptr<PageCipher> UnlockCryptoApi(const CryptoApiDescription& d,
                                            const DatabaseKey& databaseKey,
                                            std::string_view password, CipherDirection direction) {
    const SecretBytes pwd = PasswordBytes(password);
    Digest sha1(HashAlgorithm::Sha1);
    SecretBytes verifier = ToSecret(d.encryptedVerifier);
    SecretBytes verifierHash = ToSecret(d.encryptedVerifierHash);
    if (d.kind == AccdbEncryption::Rc4CryptoApi) {
        SecretBytes hash = PasswordHash(sha1, d.salt, pwd, 0);
        // The verifier and its hash are one continuous keystream.
        Rc4 rc4(CryptoApiRc4Key(sha1, hash, kVerifierBlock, d.keyBits));
        rc4.Apply(verifier);
        rc4.Apply(verifierHash);
        RequireMatch(sha1.Hash(verifier), std::span(verifierHash).first(d.verifierHashSize));
        return std::make_unique<Rc4CryptoApiCipher>(std::move(hash), databaseKey, d.keyBits);
    }
    const std::uint32_t rounds =
        d.kind == AccdbEncryption::StandardAes ? kStandardAesIterations : 0;
    SecretBytes hash = PasswordHash(sha1, d.salt, pwd, rounds);
    AesTransform aes(d.keyBits / 8, AesChaining::Ecb, CipherDirection::Decrypt);
    aes.SetKey(CryptoApiAesKey(sha1, hash, kVerifierBlock, d.keyBits));
    aes.Apply({}, verifier);
    aes.Apply({}, verifierHash);
    RequireMatch(sha1.Hash(verifier), std::span(verifierHash).first(d.verifierHashSize));
    return std::make_unique<AesCryptoApiCipher>(std::move(hash), databaseKey, d.keyBits, direction);
}

std::unique_ptr<PageCipher> UnlockAgile(const AgileDescription& d, const DatabaseKey& databaseKey,
                                        std::string_view password, CipherDirection direction) {
    const AgileKeyParameters& p = d.passwordKey;
    Digest digest(p.hash);
    // The spin loop is the whole cost of opening; it is run once and shared by all three keys.
    const SecretBytes hash = PasswordHash(digest, p.salt, PasswordBytes(password), d.spinCount);
    const SecretBytes iv = AgileIv(digest, p.salt, {}, p.blockSize);
    AesTransform aes(p.keyBits / 8, AesChaining::Cbc, CipherDirection::Decrypt);

    aes.SetKey(AgileKey(digest, hash, kAgileVerifierInputBlock, p.keyBits));
    SecretBytes verifierInput = ToSecret(d.encryptedVerifierHashInput);
    aes.Apply(iv, verifierInput);
    verifierInput.resize(p.salt.size());

    aes.SetKey(AgileKey(digest, hash, kAgileVerifierHashBlock, p.keyBits));
    SecretBytes verifierHash = ToSecret(d.encryptedVerifierHashValue);
    aes.Apply(iv, verifierHash);
    RequireMatch(digest.Hash(verifierInput), verifierHash);

    aes.SetKey(AgileKey(digest, hash, kAgileKeyValueBlock, p.keyBits));
    SecretBytes dataKey = ToSecret(d.encryptedKeyValue);
    aes.Apply(iv, dataKey);
    dataKey.resize(d.keyData.keyBits / 8);
    return std::make_unique<AgileCipher>(d.keyData, dataKey, databaseKey, direction);
}

}  // namespace

std::unique_ptr<PageCipher> UnlockPageCipher(const EncryptionDescription& description,
                                             const DatabaseKey& databaseKey,
                                             std::string_view password, CipherDirection direction) {
    if (const auto* c = std::get_if<CryptoApiDescription>(&description))
        return UnlockCryptoApi(*c, databaseKey, password, direction);
    return UnlockAgile(std::get<AgileDescription>(description), databaseKey, password, direction);
}

}  // namespace pictrova::database
