#include "rconsole_base/rconsole_login.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CBlowfish keyed(const std::string& password) {
    CBlowfish cipher;
    cipher.setKey(CRConsoleLogin::key(password));
    return cipher;
}

std::string pattern(std::size_t length, char first) {
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<char>(first + i % 26);
    return out;
}

}  // namespace

TEST(RConsoleLoginTest, ProofCarriesTheUserAndTheEncipheredRest) {
    const std::string challenge = CRConsoleLogin::challenge();
    ASSERT_EQ(challenge.size(), 1024u);
    const CBlowfish cipher = keyed("password12");
    const struct {
        const char* name;
        std::string user;
        std::size_t userBytes;
    } cases[] = {
        {"short user", "admin", 5},
        {"300-byte user", pattern(300, 'A'), 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string proof = CRConsoleLogin::proof(challenge, c.user, cipher);
        ASSERT_EQ(proof.size(), 1024u);
        EXPECT_EQ(proof.substr(0, c.userBytes), c.user.substr(0, c.userBytes));
        EXPECT_EQ(proof.substr(c.userBytes, 256 - c.userBytes),
                  challenge.substr(c.userBytes, 256 - c.userBytes));
        // A chained run keyed with "passwor", the first 7 characters.
        std::string rest = proof.substr(256);
        keyed("passwor").decipherChain(&rest[0], rest.size());
        EXPECT_EQ(rest, challenge.substr(256));
        EXPECT_NE(proof.substr(256), challenge.substr(256));
    }
}

TEST(RConsoleLoginTest, CheckTakesOnlyTheRightProof) {
    const std::string challenge = CRConsoleLogin::challenge();
    const std::string user = pattern(300, 'a');
    const std::string proof = CRConsoleLogin::proof(challenge, user, keyed("abcdefgHIJKL"));
    EXPECT_TRUE(CRConsoleLogin::check(challenge, proof, user, keyed("abcdefgHIJKL")));
    // Characters beyond the seventh of the password and bytes beyond the 256th of the user
    // name take no part.
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

TEST(RConsoleLoginTest, ChallengesDiffer) {
    EXPECT_NE(CRConsoleLogin::challenge(), CRConsoleLogin::challenge());
}
