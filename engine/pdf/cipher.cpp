#include "engine/pdf/cipher.hpp"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <nettle/sha2.h>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix::cipher {
namespace {

constexpr size_t kBlock = AES_BLOCK_SIZE;

const uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}
uint8_t* bytes(std::string& s) {
    return reinterpret_cast<uint8_t*>(s.data());
}

template <class Ctx, void (*Init)(Ctx*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t Size>
std::string digest(std::string_view data) {
    Ctx ctx;
    Init(&ctx);
    Update(&ctx, data.size(), bytes(data));
    std::string out(Size, '\0');
    Digest(&ctx, Size, bytes(out));
    return out;
}

// One AES key of either size, set for one direction, with block functions of the type the CBC
// mode calls.
class AesKey {
  public:
    AesKey(std::string_view key, bool encrypt) : wide_(key.size() == 32) {
        if (key.size() != 16 && key.size() != 32)
            throw CPdfException("Bad encryption key", "an AES key must be 16 or 32 bytes long");
        if (wide_)
            encrypt ? aes256_set_encrypt_key(&ctx256_, bytes(key))
                    : aes256_set_decrypt_key(&ctx256_, bytes(key));
        else
            encrypt ? aes128_set_encrypt_key(&ctx128_, bytes(key))
                    : aes128_set_decrypt_key(&ctx128_, bytes(key));
    }
    const void* context() const {
        return wide_ ? static_cast<const void*>(&ctx256_) : static_cast<const void*>(&ctx128_);
    }
    nettle_cipher_func* encryptFunction() const { return wide_ ? &encrypt256 : &encrypt128; }
    nettle_cipher_func* decryptFunction() const { return wide_ ? &decrypt256 : &decrypt128; }

  private:
    static void encrypt128(const void* ctx, size_t n, uint8_t* dst, const uint8_t* src) {
        aes128_encrypt(static_cast<const aes128_ctx*>(ctx), n, dst, src);
    }
    static void decrypt128(const void* ctx, size_t n, uint8_t* dst, const uint8_t* src) {
        aes128_decrypt(static_cast<const aes128_ctx*>(ctx), n, dst, src);
    }
    static void encrypt256(const void* ctx, size_t n, uint8_t* dst, const uint8_t* src) {
        aes256_encrypt(static_cast<const aes256_ctx*>(ctx), n, dst, src);
    }
    static void decrypt256(const void* ctx, size_t n, uint8_t* dst, const uint8_t* src) {
        aes256_decrypt(static_cast<const aes256_ctx*>(ctx), n, dst, src);
    }

    bool wide_;
    aes128_ctx ctx128_{};
    aes256_ctx ctx256_{};
};

} // namespace

std::string md5(std::string_view data) {
    return digest<md5_ctx, md5_init, md5_update, md5_digest, MD5_DIGEST_SIZE>(data);
}

std::string sha256(std::string_view data) {
    return digest<sha256_ctx, sha256_init, sha256_update, sha256_digest, SHA256_DIGEST_SIZE>(data);
}

std::string sha384(std::string_view data) {
    return digest<sha512_ctx, sha384_init, sha512_update, sha384_digest, SHA384_DIGEST_SIZE>(data);
}

std::string sha512(std::string_view data) {
    return digest<sha512_ctx, sha512_init, sha512_update, sha512_digest, SHA512_DIGEST_SIZE>(data);
}

std::string rc4(std::string_view key, std::string_view data) {
    if (key.empty() || key.size() > ARCFOUR_MAX_KEY_SIZE)
        throw CPdfException("Bad encryption key", "an RC4 key must be 1 to 256 bytes long");
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, key.size(), bytes(key));
    std::string out(data.size(), '\0');
    if (!data.empty()) arcfour_crypt(&ctx, data.size(), bytes(out), bytes(data));
    return out;
}

std::string aesCbcEncryptRaw(std::string_view key, std::string_view iv, std::string_view data) {
    const AesKey k(key, true);
    std::string vector(iv.substr(0, kBlock));
    vector.resize(kBlock, '\0');
    std::string out(data.size() - data.size() % kBlock, '\0');
    if (!out.empty())
        cbc_encrypt(k.context(), k.encryptFunction(), kBlock, bytes(vector), out.size(), bytes(out),
                    bytes(data));
    return out;
}

std::string aesCbcDecryptRaw(std::string_view key, std::string_view iv, std::string_view data) {
    const AesKey k(key, false);
    std::string vector(iv.substr(0, kBlock));
    vector.resize(kBlock, '\0');
    std::string out(data.size() - data.size() % kBlock, '\0');
    if (!out.empty())
        cbc_decrypt(k.context(), k.decryptFunction(), kBlock, bytes(vector), out.size(), bytes(out),
                    bytes(data));
    return out;
}

std::string aesEncrypt(std::string_view key, std::string_view data) {
    const std::string iv = randomBytes(kBlock);
    // Padding is never empty: a whole block of 16 when the data fills its blocks.
    const size_t pad = kBlock - data.size() % kBlock;
    std::string padded(data);
    padded.append(pad, static_cast<char>(pad));
    return iv + aesCbcEncryptRaw(key, iv, padded);
}

bool aesDecrypt(std::string_view key, std::string_view data, std::string& out) {
    if (data.size() < kBlock || data.size() % kBlock != 0) return false;
    out = aesCbcDecryptRaw(key, data.substr(0, kBlock), data.substr(kBlock));
    if (out.empty()) return true;
    const auto pad = static_cast<unsigned char>(out.back());
    if (pad == 0 || pad > kBlock || pad > out.size()) return true;
    for (size_t i = out.size() - pad; i < out.size(); ++i)
        if (static_cast<unsigned char>(out[i]) != pad) return true;
    out.resize(out.size() - pad);
    return true;
}

std::string randomBytes(size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::getrandom(out.data() + got, n - got, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw CPdfException("No random numbers",
                                std::string("the system gave no random numbers for encryption (") +
                                    std::strerror(errno) + ")");
        }
        got += static_cast<size_t>(r);
    }
    return out;
}

} // namespace tavrix::cipher
