#include "security/blowfish.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "standard/hex_store.h"
#include "testing/failure.h"

namespace {

using Bytes = nbx::CHexStore::Bytes;

Bytes hex(const std::string& text) {
    nbx::CHexStore store(Bytes{}, "");
    store.string(text);
    return store.bytes();
}

std::string hex(const Bytes& bytes) {
    return nbx::CHexStore(bytes, "").string();
}

CBlowfish keyed(const std::string& hexKey, std::size_t length = 0) {
    const Bytes key = hex(hexKey);
    CBlowfish cipher;
    cipher.setKey(key.data(), length ? length : key.size());
    return cipher;
}

std::string encipher(const CBlowfish& cipher, const std::string& hexPlain) {
    Bytes block = hex(hexPlain);
    cipher.encipherBlocks(block.data(), block.size());
    return hex(block);
}

}  // namespace

TEST(Blowfish, PublishedVectors) {
    // Rows of the cipher's author's variable-key table.
    const struct {
        const char *key, *plain, *cipher;
    } table[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string("key ") + row.key + " plain " + row.plain);
        const CBlowfish cipher = keyed(row.key);
        Bytes block = hex(row.plain);
        cipher.encipherBlocks(block.data(), block.size());
        EXPECT_EQ(hex(block), row.cipher);
        cipher.decipherBlocks(block.data(), block.size());
        EXPECT_EQ(hex(block), row.plain);
    }
    // The key-length table: the first n bytes of one key. Short keys matter: a login keys with
    // one to seven bytes.
    const char longKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
    const std::pair<std::size_t, const char*> lengths[] = {
        {1, "F9AD597C49DB005E"},
        {7, "8BB77032F960629D"},
        {24, "05044B62FA52D080"},
    };
    for (const auto& row : lengths) {
        SCOPED_TRACE("key length " + std::to_string(row.first));
        EXPECT_EQ(encipher(keyed(longKey, row.first), "FEDCBA9876543210"), row.second);
    }
}

TEST(Blowfish, KeysLongerThan56BytesAreCut) {
    Bytes key(80);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 7 + 1);
    auto withLength = [&](std::size_t length) {
        CBlowfish cipher;
        cipher.setKey(key.data(), length);
        return encipher(cipher, "0123456789ABCDEF");
    };
    const std::string at56 = withLength(56);
    EXPECT_EQ(withLength(57), at56);
    EXPECT_EQ(withLength(72), at56);  // OpenSSL alone would still use these bytes
    EXPECT_NE(withLength(55), at56);  // the 56th byte still counts
}

TEST(Blowfish, BlocksAreEncipheredAloneUnderTheObjectsOwnSchedule) {
    CBlowfish original = keyed("FFFFFFFFFFFFFFFF");
    original.setKey(hex("0123456789ABCDEF").data(), 8);  // rekeying replaces the schedule
    // Three equal blocks: without chaining all three come out as the single-block result.
    Bytes three = hex(std::string(48, '1'));
    original.encipherBlocks(three.data(), three.size());
    EXPECT_EQ(hex(three), "61F9C3802281B09661F9C3802281B09661F9C3802281B096");
    original.decipherBlocks(three.data(), three.size());
    EXPECT_EQ(hex(three), std::string(48, '1'));

    CBlowfish copy(original);
    CBlowfish assigned;
    assigned = copy;
    original.setKey(hex("FFFFFFFFFFFFFFFF").data(), 8);
    EXPECT_EQ(encipher(copy, "1111111111111111"), "61F9C3802281B096");
    EXPECT_EQ(encipher(assigned, "1111111111111111"), "61F9C3802281B096");
}

TEST(Blowfish, ChainedRunsFromTheGivenOrAZeroVector) {
    const CBlowfish cipher = keyed("0123456789ABCDEFF0E1D2C3B4A59687");
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

    // Without a vector (the login proof) the run starts from zeros: the first block is the block
    // cipher alone, the next differs although every plain block is the same.
    const Bytes plain(768, 7);
    Bytes proof = plain;
    cipher.encipherChain(proof.data(), proof.size());
    EXPECT_EQ(hex(Bytes(proof.begin(), proof.begin() + 8)), encipher(cipher, "0707070707070707"));
    EXPECT_NE(Bytes(proof.begin(), proof.begin() + 8),
              Bytes(proof.begin() + 8, proof.begin() + 16));
    cipher.decipherChain(proof.data(), proof.size());
    EXPECT_EQ(proof, plain);
}

TEST(Blowfish, RefusalsTouchNothing) {
    CBlowfish unkeyed;
    CBlowfish cipher = keyed("0123456789ABCDEF");
    Bytes buffer(770);
    const std::string odd = "Cannot run the cipher. | The length ";
    const struct {
        std::function<void()> call;
        std::string expected;
        const char* function;
    } cases[] = {
        {[&] { cipher.setKey("", 0); }, "Cannot set cipher key. | Empty key.", "CBlowfish::setKey"},
        {[&] { unkeyed.encipherBlocks(buffer.data(), 16); },
         "Cannot run the cipher. | No key is set.", "CBlowfish::encipherBlocks"},
        {[&] { cipher.encipherBlocks(buffer.data(), 7); }, odd + "7 is not a multiple of 8.",
         "CBlowfish::encipherBlocks"},
        {[&] { cipher.decipherChain(buffer.data(), 4); }, odd + "4 is not a multiple of 8.",
         "CBlowfish::decipherChain"},
        {[&] { cipher.encipherBlocks(nullptr, 8); }, "Cannot run the cipher. | No buffer.",
         "CBlowfish::encipherBlocks"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const Bytes before = buffer;
        const nbx::testing::Failure f = nbx::testing::failure(c.call);
        EXPECT_EQ(f.text(), c.expected);
        EXPECT_EQ(f.module, "security");
        EXPECT_EQ(f.function, c.function);
        EXPECT_EQ(buffer, before);
    }
    EXPECT_FALSE(unkeyed.hasKey());
    EXPECT_NO_THROW(cipher.encipherBlocks(nullptr, 0));  // nothing to do, no buffer needed
    EXPECT_EQ(encipher(cipher, "1111111111111111"), "61F9C3802281B096");  // old key kept
}
