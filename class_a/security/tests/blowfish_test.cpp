#include "security/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standard/exception.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string hex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

CBlowfish keyed(const Bytes& key) {
    CBlowfish cipher;
    cipher.setKey(key.data(), key.size());
    return cipher;
}

// Runs `call` and returns the message and reason of the nbx::CException it must throw.
template <class F>
std::string failure(F&& call, std::string* function = nullptr) {
    try {
        call();
    } catch (nbx::CException& e) {
        EXPECT_EQ(e.module(), "security");
        if (function) *function = e.function();
        return e.message().text() + " / " + e.reason().text();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}

struct EcbRow {
    const char* key;
    const char* plain;
    const char* cipher;
};

// The published variable-key table of the cipher's author.
const EcbRow kEcbTable[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The published key-length table: plain FEDCBA9876543210 under the first n bytes of one key.
// Short keys matter here: a login keys with one to seven bytes.
const char kLongKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char* const kKeyLengthCipher[] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

}  // namespace

TEST(Blowfish, PublishedVariableKeyTable) {
    ASSERT_EQ(sizeof kEcbTable / sizeof kEcbTable[0], 34u);
    for (const EcbRow& row : kEcbTable) {
        SCOPED_TRACE(std::string("key ") + row.key + " plain " + row.plain);
        CBlowfish cipher = keyed(hex(row.key));
        Bytes block = hex(row.plain);
        cipher.encipherBlocks(block.data(), block.size());
        EXPECT_EQ(hex(block), row.cipher);
        cipher.decipherBlocks(block.data(), block.size());
        EXPECT_EQ(hex(block), row.plain);
    }
}

TEST(Blowfish, PublishedKeyLengthTable) {
    const Bytes longKey = hex(kLongKey);
    for (std::size_t length = 1; length <= 24; ++length) {
        SCOPED_TRACE("key length " + std::to_string(length));
        CBlowfish cipher;
        cipher.setKey(longKey.data(), length);
        Bytes block = hex("FEDCBA9876543210");
        cipher.encipherBlocks(block.data(), block.size());
        EXPECT_EQ(hex(block), kKeyLengthCipher[length - 1]);
    }
}

TEST(Blowfish, KeysLongerThan56BytesAreCut) {
    Bytes key(80);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 7 + 1);
    const Bytes plain = hex("0123456789ABCDEF");
    auto encipher = [&](std::size_t keyLength) {
        CBlowfish cipher;
        cipher.setKey(key.data(), keyLength);
        Bytes block = plain;
        cipher.encipherBlocks(block.data(), block.size());
        return hex(block);
    };
    const std::string at56 = encipher(56);
    EXPECT_EQ(encipher(57), at56);
    EXPECT_EQ(encipher(72), at56);  // OpenSSL alone would still use these bytes
    EXPECT_EQ(encipher(80), at56);
    EXPECT_NE(encipher(55), at56);  // the 56th byte still counts
}

TEST(Blowfish, EachBlockIsEncipheredByItself) {
    CBlowfish cipher = keyed(hex("0123456789ABCDEF"));
    // Three equal blocks: without chaining all three come out as the single-block result.
    Bytes buffer = hex("111111111111111111111111111111111111111111111111");
    cipher.encipherBlocks(buffer.data(), buffer.size());
    EXPECT_EQ(hex(buffer),
              "61F9C3802281B096"
              "61F9C3802281B096"
              "61F9C3802281B096");
    cipher.decipherBlocks(buffer.data(), buffer.size());
    EXPECT_EQ(hex(buffer), "111111111111111111111111111111111111111111111111");
}

TEST(Blowfish, RekeyingReplacesTheSchedule) {
    CBlowfish cipher = keyed(hex("FFFFFFFFFFFFFFFF"));
    cipher.setKey(hex("0123456789ABCDEF").data(), 8);
    Bytes block = hex("1111111111111111");
    cipher.encipherBlocks(block.data(), block.size());
    EXPECT_EQ(hex(block), "61F9C3802281B096");
}

TEST(Blowfish, CopiesKeepTheirOwnSchedule) {
    CBlowfish original = keyed(hex("0123456789ABCDEF"));
    CBlowfish copy(original);
    original.setKey(hex("FFFFFFFFFFFFFFFF").data(), 8);
    Bytes block = hex("1111111111111111");
    copy.encipherBlocks(block.data(), block.size());
    EXPECT_EQ(hex(block), "61F9C3802281B096");

    CBlowfish assigned;
    assigned = copy;
    block = hex("1111111111111111");
    assigned.encipherBlocks(block.data(), block.size());
    EXPECT_EQ(hex(block), "61F9C3802281B096");
}

TEST(Blowfish, PublishedChainVector) {
    CBlowfish cipher = keyed(hex("0123456789ABCDEFF0E1D2C3B4A59687"));
    const Bytes iv = hex("FEDCBA9876543210");
    const std::string text = "7654321 Now is the time for ";
    Bytes buffer(32, 0);  // the text, its terminating zero and zero padding to whole blocks
    std::copy(text.begin(), text.end(), buffer.begin());
    cipher.encipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(hex(buffer), "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
    EXPECT_EQ(hex(iv), "FEDCBA9876543210");  // the caller's vector is not advanced
    cipher.decipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), text);
    EXPECT_EQ(hex(Bytes(buffer.begin() + 28, buffer.end())), "00000000");
}

TEST(Blowfish, ChainFromZeroVectorOverTheLoginProof) {
    CBlowfish cipher;
    cipher.setKey(std::string("passwor"));
    Bytes plain(768);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i % 8);
    Bytes proof = plain;
    cipher.encipherChain(proof.data(), proof.size());

    // Chained from a zero vector: the first block is the block cipher alone, the next differ
    // although every plain block is the same.
    Bytes first(plain.begin(), plain.begin() + 8);
    cipher.encipherBlocks(first.data(), first.size());
    EXPECT_EQ(hex(Bytes(proof.begin(), proof.begin() + 8)), hex(first));
    EXPECT_NE(hex(Bytes(proof.begin() + 8, proof.begin() + 16)), hex(first));

    // An explicit zero vector is the same run.
    Bytes explicitZero = plain;
    const Bytes zero(8, 0);
    cipher.encipherChain(explicitZero.data(), explicitZero.size(), zero.data());
    EXPECT_EQ(hex(explicitZero), hex(proof));

    cipher.decipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(proof), hex(plain));
}

TEST(Blowfish, RefusesEmptyKeysAndKeepsTheOldOne) {
    CBlowfish cipher;
    EXPECT_EQ(failure([&] { cipher.setKey(std::string()); }),
              "Cannot set cipher key. / Empty key.");
    EXPECT_EQ(failure([&] { cipher.setKey(nullptr, 4); }), "Cannot set cipher key. / Empty key.");
    EXPECT_FALSE(cipher.hasKey());

    cipher.setKey(hex("0123456789ABCDEF").data(), 8);
    EXPECT_THROW(cipher.setKey("", 0), nbx::CException);
    Bytes block = hex("1111111111111111");
    cipher.encipherBlocks(block.data(), block.size());
    EXPECT_EQ(hex(block), "61F9C3802281B096");
}

TEST(Blowfish, RefusesBadBuffers) {
    CBlowfish unkeyed;
    Bytes buffer(16);
    std::string function;
    EXPECT_EQ(failure([&] { unkeyed.encipherBlocks(buffer.data(), 16); }, &function),
              "Cannot run the cipher. / No key is set.");
    EXPECT_EQ(function, "CBlowfish::encipherBlocks");

    CBlowfish cipher = keyed(hex("0123456789ABCDEF"));
    struct Case {
        const char* name;
        std::function<void()> call;
        const char* expected;
        const char* function;
    };
    Bytes proof(770);
    const Case cases[] = {
        {"blocks 7", [&] { cipher.encipherBlocks(proof.data(), 7); },
         "Cannot run the cipher. / The length 7 is not a multiple of 8.",
         "CBlowfish::encipherBlocks"},
        {"decipher 9", [&] { cipher.decipherBlocks(proof.data(), 9); },
         "Cannot run the cipher. / The length 9 is not a multiple of 8.",
         "CBlowfish::decipherBlocks"},
        {"chain 770", [&] { cipher.encipherChain(proof.data(), 770); },
         "Cannot run the cipher. / The length 770 is not a multiple of 8.",
         "CBlowfish::encipherChain"},
        {"unchain 4", [&] { cipher.decipherChain(proof.data(), 4); },
         "Cannot run the cipher. / The length 4 is not a multiple of 8.",
         "CBlowfish::decipherChain"},
        {"null buffer", [&] { cipher.encipherBlocks(nullptr, 8); },
         "Cannot run the cipher. / No buffer.", "CBlowfish::encipherBlocks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = proof;
        EXPECT_EQ(failure(c.call, &function), c.expected);
        EXPECT_EQ(function, c.function);
        EXPECT_EQ(proof, before);  // nothing was touched
    }
}
