#include "security/blowfish.h"

// The BF_* calls are deprecated in OpenSSL 3 in favour of EVP, whose Blowfish needs the legacy
// provider loaded at run time; the low-level calls need nothing and key with any length.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/crypto.h>

#include <cstring>

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "security";

}  // namespace

void CBlowfish::KeyDeleter::operator()(bf_key_st* key) const {
    OPENSSL_cleanse(key, sizeof *key);
    delete key;
}

CBlowfish::CBlowfish() {}

CBlowfish::CBlowfish(const CBlowfish& other) {
    if (other.m_key) m_key.reset(new BF_KEY(*other.m_key));
}

CBlowfish& CBlowfish::operator=(const CBlowfish& other) {
    if (this != &other) {
        m_key.reset(other.m_key ? new BF_KEY(*other.m_key) : nullptr);
    }
    return *this;
}

CBlowfish::CBlowfish(CBlowfish&& other) noexcept = default;
CBlowfish& CBlowfish::operator=(CBlowfish&& other) noexcept = default;
CBlowfish::~CBlowfish() = default;

void CBlowfish::setKey(const void* key, std::size_t length) {
    if (key == nullptr || length == 0) {
        NBX_THROW(nbx::CException, kModule, "CBlowfish::setKey", nbx::msg("Cannot set cipher key."),
                  nbx::msg("Empty key."));
    }
    // OpenSSL would take up to 72 bytes; the published schedule (and the peer) use 56 at most.
    if (length > kMaxKeyLength) length = kMaxKeyLength;
    KeyPtr schedule(new BF_KEY);
    BF_set_key(schedule.get(), static_cast<int>(length), static_cast<const unsigned char*>(key));
    m_key = std::move(schedule);
}

void CBlowfish::_checkBuffer(const void* data, std::size_t length, const char* function) const {
    if (!m_key) {
        NBX_THROW(nbx::CException, kModule, function, nbx::msg("Cannot run the cipher."),
                  nbx::msg("No key is set."));
    }
    if (length % kBlockSize != 0) {
        NBX_THROW(nbx::CException, kModule, function, nbx::msg("Cannot run the cipher."),
                  nbx::msg("The length %1 is not a multiple of 8.",
                           static_cast<unsigned long long>(length)));
    }
    if (data == nullptr && length != 0) {
        NBX_THROW(nbx::CException, kModule, function, nbx::msg("Cannot run the cipher."),
                  nbx::msg("No buffer."));
    }
}

void CBlowfish::encipherBlocks(void* data, std::size_t length) const {
    _checkBuffer(data, length, "CBlowfish::encipherBlocks");
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t at = 0; at < length; at += kBlockSize) {
        BF_ecb_encrypt(bytes + at, bytes + at, m_key.get(), BF_ENCRYPT);
    }
}

void CBlowfish::decipherBlocks(void* data, std::size_t length) const {
    _checkBuffer(data, length, "CBlowfish::decipherBlocks");
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t at = 0; at < length; at += kBlockSize) {
        BF_ecb_encrypt(bytes + at, bytes + at, m_key.get(), BF_DECRYPT);
    }
}

void CBlowfish::_chain(void* data, std::size_t length, const void* iv, int mode,
                       const char* function) const {
    _checkBuffer(data, length, function);
    if (length == 0) return;
    // BF_cbc_encrypt advances the vector it is given; the caller's stays untouched.
    unsigned char vector[kBlockSize] = {};
    if (iv) std::memcpy(vector, iv, kBlockSize);
    auto* bytes = static_cast<unsigned char*>(data);
    BF_cbc_encrypt(bytes, bytes, static_cast<long>(length), m_key.get(), vector, mode);
}

void CBlowfish::encipherChain(void* data, std::size_t length, const void* iv) const {
    _chain(data, length, iv, BF_ENCRYPT, "CBlowfish::encipherChain");
}

void CBlowfish::decipherChain(void* data, std::size_t length, const void* iv) const {
    _chain(data, length, iv, BF_DECRYPT, "CBlowfish::decipherChain");
}
