#include "rconsole_base/rconsole_login.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>

#include "standard/throw.h"

std::string CRConsoleLogin::key(const std::string& password) {
    if (password.empty()) return kEmptyPasswordKey;
    return password.substr(0, kPasswordLength);
}

std::string CRConsoleLogin::challenge() {
    std::string bytes(kChallengeSize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(bytes.size())) !=
        1) {
        NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CRConsoleLogin::challenge",
                         nbx::msg("Cannot create a login challenge."),
                         nbx::msg("The random generator failed."));
    }
    return bytes;
}

std::string CRConsoleLogin::proof(const std::string& challenge, const std::string& user,
                                  const CBlowfish& cipher) {
    std::string block(challenge);
    block.resize(kChallengeSize, '\0');
    block.replace(0, std::min(user.size(), kUserSize), user, 0, kUserSize);
    cipher.encipherChain(&block[kUserSize], kChallengeSize - kUserSize);
    return block;
}

bool CRConsoleLogin::check(const std::string& challenge, const std::string& answer,
                           const std::string& user, const CBlowfish& cipher) {
    const std::string expected = proof(challenge, user, cipher);
    return answer.size() == expected.size() &&
           CRYPTO_memcmp(answer.data(), expected.data(), expected.size()) == 0;
}
