#pragma once
// The login exchange of the enciphered console mode, shared by the client and the server.
//
// The server sends a challenge of 1024 random bytes. The client answers with a proof: the
// challenge with its first bytes overwritten by the user name (at most 256 bytes, no terminator,
// the rest of the first 256 bytes as received) and bytes 256 to 1023 enciphered in one chained
// run from a zero initialisation vector, keyed by the password. Only the first 7 characters of
// the password count; an empty password keys the cipher with kEmptyPasswordKey instead.

#include <cstddef>
#include <string>

#include "security/blowfish.h"

class CRConsoleLogin {
public:
    static constexpr std::size_t kChallengeSize = 1024;
    static constexpr std::size_t kUserSize = 256;
    static constexpr std::size_t kPasswordLength = 7;
    // The key of an empty password. Both ends must agree on it.
    static constexpr const char* kEmptyPasswordKey = "*";

    // The key bytes of `password`: its first 7 characters, or kEmptyPasswordKey when it is empty.
    static std::string key(const std::string& password);

    // A fresh challenge of kChallengeSize random bytes.
    static std::string challenge();

    // The proof of `user` for `challenge` (kChallengeSize bytes), with `cipher` keyed already.
    static std::string proof(const std::string& challenge, const std::string& user,
                             const CBlowfish& cipher);

    // Whether `answer` is the proof of `user` for `challenge` under `cipher`; compares every byte
    // whatever the first difference, so the time taken tells nothing about the password.
    static bool check(const std::string& challenge, const std::string& answer,
                      const std::string& user, const CBlowfish& cipher);
};
