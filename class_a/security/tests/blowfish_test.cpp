#include "security/blowfish.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "standard/hex_store.h"
#include "testing/failure.h"

namespace {

using Bytes = nbx::CHexStore::Bytes;

Bytes bytes(const std::string& hex) {
    nbx::CHexStore store(Bytes{}, "");
    store.string(hex);
    return store.bytes();
}

std::string hex(const Bytes& data) {
    return nbx::CHexStore(data, "").string();
}

CBlowfish keyed(const std::string& hexKey, std::size_t length = 8) {
    CBlowfish cipher;
    cipher.setKey(bytes(hexKey).data(), length);
    return cipher;
}

// Block by block; deciphering must give the plain text back.
std::string encipher(const CBlowfish& cipher, const std::string& plain) {
    Bytes data = bytes(plain);
    cipher.encipherBlocks(data.data(), data.size());
    const std::string out = hex(data);
    cipher.decipherBlocks(data.data(), data.size());
    EXPECT_EQ(hex(data), plain);
    return out;
}

const std::string kOnes = "1111111111111111", kOnesEnciphered = "61F9C3802281B096";

}  // namespace

TEST(Blowfish, PublishedVectorsBlockByBlockAndKeysCutAt56Bytes) {
    // Equal plain blocks give equal cipher blocks: no chaining between blocks.
    EXPECT_EQ(encipher(keyed("0123456789ABCDEF"), kOnes + kOnes),
              kOnesEnciphered + kOnesEnciphered);
    EXPECT_EQ(encipher(keyed("F0", 1), "FEDCBA9876543210"), "F9AD597C49DB005E");
    std::string key;
    for (int i = 0; i < 80; ++i) key += hex(Bytes{static_cast<unsigned char>(i * 7 + 1)});
    EXPECT_EQ(encipher(keyed(key, 72), kOnes), encipher(keyed(key, 56), kOnes));
}

TEST(Blowfish, CopiesKeepTheirOwnSchedule) {
    CBlowfish original = keyed("FFFFFFFFFFFFFFFF");
    original.setKey(bytes("0123456789ABCDEF").data(), 8);  // rekeying replaces the schedule
    CBlowfish copy(original), assigned;
    assigned = copy;
    original.setKey(bytes("FFFFFFFFFFFFFFFF").data(), 8);
    EXPECT_EQ(encipher(copy, kOnes), kOnesEnciphered);
    EXPECT_EQ(encipher(assigned, kOnes), kOnesEnciphered);
}

TEST(Blowfish, ChainedRunsFromTheGivenOrAZeroVector) {
    const CBlowfish cipher = keyed("0123456789ABCDEFF0E1D2C3B4A59687", 16);
    const Bytes iv = bytes("FEDCBA9876543210");
    // "7654321 Now is the time for " with its terminating zero, padded with zeros
    const Bytes plain = bytes("37363534333231204E6F77206973207468652074696D6520666F722000000000");
    Bytes buffer = plain;
    cipher.encipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(hex(buffer), "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
    EXPECT_EQ(hex(iv), "FEDCBA9876543210");  // the caller's vector is not advanced
    cipher.decipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(buffer, plain);

    // Without a vector (the login proof) the run starts from zeros.
    Bytes proof = bytes(kOnes + kOnes);
    cipher.encipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(proof).substr(0, 16), encipher(cipher, kOnes));
    EXPECT_NE(hex(proof).substr(16), encipher(cipher, kOnes));
    cipher.decipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(proof), kOnes + kOnes);
}

TEST(Blowfish, RefusalsTouchNothing) {
    CBlowfish unkeyed, cipher = keyed("0123456789ABCDEF");
    Bytes buffer(16, 9);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { cipher.setKey("", 0); }, "Cannot set cipher key. | Empty key. @ CBlowfish::setKey"},
        {[&] { unkeyed.encipherBlocks(buffer.data(), 16); },
         "Cannot run the cipher. | No key is set. @ CBlowfish::encipherBlocks"},
        {[&] { cipher.decipherChain(buffer.data(), 4); },
         "Cannot run the cipher. | The length 4 is not a multiple of 8. @ "
         "CBlowfish::decipherChain"},
        {[&] { cipher.encipherBlocks(nullptr, 8); },
         "Cannot run the cipher. | No buffer. @ CBlowfish::encipherBlocks"},
    };
    for (const auto& [call, expected] : cases) {
        const nbx::testing::Failure f = nbx::testing::failure(call);
        EXPECT_EQ(f.text() + " @ " + f.function, expected);
        EXPECT_EQ(f.module, "security");
        EXPECT_EQ(buffer, Bytes(16, 9));
    }
    EXPECT_NO_THROW(cipher.encipherBlocks(nullptr, 0));   // nothing to do, no buffer needed
    EXPECT_EQ(encipher(cipher, kOnes), kOnesEnciphered);  // the old key is kept
}
