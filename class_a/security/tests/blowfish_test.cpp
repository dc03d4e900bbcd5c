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

// Each block alone; deciphering must give the plain text back.
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
    // Rows of the cipher author's variable-key and key-length tables (a login keys with one to
    // seven bytes). Equal plain blocks give equal cipher blocks: no chaining between blocks.
    const char* const longKey = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
    const struct {
        const char* key;
        std::size_t length;
        std::string plain, cipher;
    } table[] = {
        {"FEDCBA9876543210", 8, "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {longKey, 1, "FEDCBA9876543210", "F9AD597C49DB005E"},
        {longKey, 7, "FEDCBA9876543210", "8BB77032F960629D"},
        {longKey, 24, "FEDCBA9876543210", "05044B62FA52D080"},
        {"0123456789ABCDEF", 8, kOnes + kOnes, kOnesEnciphered + kOnesEnciphered},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string(row.key) + " " + std::to_string(row.length) + " " + row.plain);
        EXPECT_EQ(encipher(keyed(row.key, row.length), row.plain), row.cipher);
    }
    std::string key;
    for (int i = 0; i < 80; ++i) key += hex(Bytes{static_cast<unsigned char>(i * 7 + 1)});
    const std::string at56 = encipher(keyed(key, 56), kOnes);
    EXPECT_EQ(encipher(keyed(key, 72), kOnes), at56);  // OpenSSL alone would use 72 bytes
    EXPECT_NE(encipher(keyed(key, 55), kOnes), at56);
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
    const std::string text = "7654321 Now is the time for ";
    Bytes buffer(32, 0);  // the text, its terminating zero and zero padding to whole blocks
    std::copy(text.begin(), text.end(), buffer.begin());
    const Bytes plain = buffer;
    cipher.encipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(hex(buffer), "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
    EXPECT_EQ(hex(iv), "FEDCBA9876543210");  // the caller's vector is not advanced
    cipher.decipherChain(buffer.data(), buffer.size(), iv.data());
    EXPECT_EQ(buffer, plain);

    // Without a vector (the login proof) the run starts from zeros: the first block is the block
    // cipher alone, the next differs although both plain blocks are the same.
    Bytes proof = bytes(kOnes + kOnes);
    cipher.encipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(Bytes(proof.begin(), proof.begin() + 8)), encipher(cipher, kOnes));
    EXPECT_NE(Bytes(proof.begin(), proof.begin() + 8), Bytes(proof.begin() + 8, proof.end()));
    cipher.decipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(proof), kOnes + kOnes);
}

TEST(Blowfish, RefusalsTouchNothing) {
    CBlowfish unkeyed, cipher = keyed("0123456789ABCDEF");
    Bytes buffer(16, 9);
    const std::string odd = "Cannot run the cipher. | The length ";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { cipher.setKey("", 0); }, "Cannot set cipher key. | Empty key. @ CBlowfish::setKey"},
        {[&] { unkeyed.encipherBlocks(buffer.data(), 16); },
         "Cannot run the cipher. | No key is set. @ CBlowfish::encipherBlocks"},
        {[&] { cipher.encipherBlocks(buffer.data(), 7); },
         odd + "7 is not a multiple of 8. @ CBlowfish::encipherBlocks"},
        {[&] { cipher.decipherChain(buffer.data(), 4); },
         odd + "4 is not a multiple of 8. @ CBlowfish::decipherChain"},
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
