// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/crypto_library.h"

#include <string>

#include "common/error.h"
#include "common/library_on_use.h"

namespace pictrova::database {

namespace {

LoadedCalls<CryptoCalls> Load() {
    LibraryOnUse library(LibraryFile("PICTROVA_CRYPTO_LIBRARY", PICTROVA_CRYPTO_SONAME));
    LoadedCalls<CryptoCalls> loaded;
    CryptoCalls& c = loaded.calls;
    library.Take(c.mdFetch, "EVP_MD_fetch");
    library.Take(c.mdFree, "EVP_MD_free");
    library.Take(c.mdGetSize, "EVP_MD_get_size");
    library.Take(c.mdCtxNew, "EVP_MD_CTX_new");
    library.Take(c.mdCtxFree, "EVP_MD_CTX_free");
    library.Take(c.digestInit, "EVP_DigestInit_ex2");
    library.Take(c.digestUpdate, "EVP_DigestUpdate");
    library.Take(c.digestFinal, "EVP_DigestFinal_ex");
    library.Take(c.cipherFetch, "EVP_CIPHER_fetch");
    library.Take(c.cipherFree, "EVP_CIPHER_free");
    library.Take(c.cipherCtxNew, "EVP_CIPHER_CTX_new");
    library.Take(c.cipherCtxFree, "EVP_CIPHER_CTX_free");
    library.Take(c.cipherCtxSetPadding, "EVP_CIPHER_CTX_set_padding");
    library.Take(c.cipherInit, "EVP_CipherInit_ex2");
    library.Take(c.cipherUpdate, "EVP_CipherUpdate");
    library.Take(c.cipherFinal, "EVP_CipherFinal_ex");
    loaded.failure = library.failure();
    return loaded;
}

}  // namespace

const CryptoCalls& LoadedCrypto() {
    static const LoadedCalls<CryptoCalls> loaded = Load();
    if (!loaded.failure.empty())
        throw Error("libcrypto could not be loaded: " + loaded.failure);
    return loaded.calls;
}

}  // namespace pictrova::database
