#include "rconsole_base/rconsole_login.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

CBlowfish keyed(const std::string& password) {
    CBlowfish cipher;
    cipher.setKey(CRConsoleLogin::key(password));
    return cipher;
}

}  // namespace

TEST(RConsoleLoginTest, ProofCarriesTheUserAndTheEncipheredRest) {
    const std::string challenge = CRConsoleLogin::challenge();
    ASSERT_EQ(challenge.size(), 1024u);
    EXPECT_NE(CRConsoleLogin::challenge(), challenge);
    for (const std::string& user : {std::string("admin"), std::string(300, 'u')}) {
        SCOPED_TRACE(user.size());
        const std::size_t kept = std::min<std::size_t>(user.size(), 256);
        const std::string proof = CRConsoleLogin::proof(challenge, user, keyed("password12"));
        ASSERT_EQ(proof.size(), 1024u);
        EXPECT_EQ(proof.substr(0, 256), user.substr(0, kept) + challenge.substr(kept, 256 - kept));
        // One chained run keyed with "passwor", the first 7 characters.
        std::string rest = proof.substr(256);
        EXPECT_NE(rest, challenge.substr(256));
        keyed("passwor").decipherChain(&rest[0], rest.size());
        EXPECT_EQ(rest, challenge.substr(256));
    }
}

TEST(RConsoleLoginTest, CheckTakesOnlyTheRightProof) {
    const std::string challenge = CRConsoleLogin::challenge();
    const std::string user(300, 'a');
    const std::string proof = CRConsoleLogin::proof(challenge, user, keyed("abcdefgHIJKL"));
    // Characters beyond the seventh of the password and bytes beyond the 256th of the user name
    // take no part.
    EXPECT_TRUE(CRConsoleLogin::check(challenge, proof, user.substr(0, 256) + "other",
                                      keyed("abcdefgXYZ")));
    EXPECT_FALSE(CRConsoleLogin::check(challenge, proof, user, keyed("abcdefX")));
    EXPECT_FALSE(CRConsoleLogin::check(challenge, proof, "b" + user.substr(1), keyed("abcdefg")));
    EXPECT_FALSE(CRConsoleLogin::check(challenge, proof.substr(0, 1023), user, keyed("abcdefg")));
    std::string changed = proof;
    changed[700] = static_cast<char>(changed[700] ^ 1);
    EXPECT_FALSE(CRConsoleLogin::check(challenge, changed, user, keyed("abcdefg")));

    const std::string empty = CRConsoleLogin::proof(challenge, "", keyed(""));
    EXPECT_TRUE(CRConsoleLogin::check(challenge, empty, "", keyed("*")));
    EXPECT_FALSE(CRConsoleLogin::check(challenge, empty, "", keyed("+")));
}
