#include "core/google/Rs256.h"

#include "platform/Error.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;

// Without this callback OpenSSL would prompt on the terminal for the pass phrase of an
// encrypted key, which would hang a run in cron.
int noPassPhrase(char*, int, int, void*) {
    return -1;
}

KeyPtr readKey(std::string_view pem) {
    if (pem.size() > 64 * 1024) return nullptr;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassPhrase, nullptr));
    // Whatever OpenSSL queued about a bad key must not surface with a later TLS failure.
    ERR_clear_error();
    return key;
}

} // namespace

PrivateKeyKind privateKeyKind(std::string_view pem) {
    KeyPtr key = readKey(pem);
    if (!key) return PrivateKeyKind::Unreadable;
    return EVP_PKEY_is_a(key.get(), "RSA") ? PrivateKeyKind::Rsa : PrivateKeyKind::OtherAlgorithm;
}

std::string signRs256(std::string_view pem, std::string_view data) {
    KeyPtr key = readKey(pem);
    if (!key || !EVP_PKEY_is_a(key.get(), "RSA")) throw LarkspanError("the private key is not an RSA key");
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
    std::size_t length = 0;
    std::string signature;
    bool ok = ctx && EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
              EVP_DigestSign(ctx.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(data.data()),
                             data.size()) == 1;
    if (ok) {
        signature.resize(length);
        ok = EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                            reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
        signature.resize(length);
    }
    ERR_clear_error();
    if (!ok) throw LarkspanError("the private key could not sign the token request");
    return signature;
}

std::string base64Url(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (bytes.size() - i == 1) {
        const unsigned v = byte(i) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
    } else if (bytes.size() - i == 2) {
        const unsigned v = (byte(i) << 16) | (byte(i + 1) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
    }
    return out;
}
