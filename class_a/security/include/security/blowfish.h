#pragma once
// The Blowfish block cipher of the remote console protocol (16 rounds, 8-byte blocks, keys of
// 1 to 56 bytes), over OpenSSL's libcrypto.
//
// The console enciphers every transmission block by block, each 8-byte block by itself with the
// chaining state back at a zero initialisation vector, so equal plain blocks give equal cipher
// blocks; only the login proof is one chained (CBC) run. Both forms work in place on buffers
// whose length is a whole number of blocks; padding is the caller's business.
//
// Failures throw nbx::CException with module "security".

#include <cstddef>
#include <memory>
#include <string>

struct bf_key_st;  // OpenSSL's key schedule, kept out of this header

class CBlowfish {
public:
    static constexpr std::size_t kBlockSize = 8;
    // Longer keys are cut to this many bytes, as the published key schedule defines.
    static constexpr std::size_t kMaxKeyLength = 56;

    CBlowfish();
    CBlowfish(const CBlowfish& other);
    CBlowfish& operator=(const CBlowfish& other);
    CBlowfish(CBlowfish&& other) noexcept;
    CBlowfish& operator=(CBlowfish&& other) noexcept;
    ~CBlowfish();  // wipes the key schedule

    // Builds the key schedule from `length` bytes; an empty key throws "Cannot set cipher key." /
    // "Empty key." and leaves the previous schedule in place.
    void setKey(const void* key, std::size_t length);
    void setKey(const std::string& key) { setKey(key.data(), key.size()); }
    bool hasKey() const { return m_key != nullptr; }

    // Each 8-byte block of `data` by itself (zero initialisation vector for every block).
    void encipherBlocks(void* data, std::size_t length) const;
    void decipherBlocks(void* data, std::size_t length) const;

    // One chained run over `data` starting from `iv` (8 bytes); without `iv` from a zero vector.
    void encipherChain(void* data, std::size_t length, const void* iv = nullptr) const;
    void decipherChain(void* data, std::size_t length, const void* iv = nullptr) const;

private:
    struct KeyDeleter {
        void operator()(bf_key_st* key) const;
    };
    using KeyPtr = std::unique_ptr<bf_key_st, KeyDeleter>;

    void _checkBuffer(const void* data, std::size_t length, const char* function) const;
    void _chain(void* data, std::size_t length, const void* iv, int mode,
                const char* function) const;

    KeyPtr m_key;
};
