#include "rconsole_base/rconsole_channel.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// A connected stream pair: the channel's end and a raw end for the test.
class RConsoleChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        stream.attach(ends[0]);
        raw = ends[1];
        cipher.setKey("secret7");
    }
    void TearDown() override {
        if (raw >= 0) ::close(raw);
    }

    void rawWrite(const std::string& bytes) {
        ASSERT_EQ(::send(raw, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    std::string rawRead(std::size_t length) {
        std::string out(length, '\0');
        std::size_t got = 0;
        while (got < length) {
            ssize_t n = ::recv(raw, &out[got], length - got, 0);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        out.resize(got);
        return out;
    }
    std::string enciphered(std::string plain) {
        cipher.encipherBlocks(&plain[0], plain.size());
        return plain;
    }

    CSockStream stream;
    CBlowfish cipher;
    CRConsoleChannel channel{stream, cipher};
    int raw = -1;
    const ACE_Time_Value wait{5};
};

}  // namespace

TEST_F(RConsoleChannelTest, SendPadsAndEnciphersEachBlockAloneOrSendsAsItIs) {
    const struct {
        std::string plain;
        std::string padded;  // enciphered on the wire; "" in clear text
    } cases[] = {
        {"", std::string(8, '\0')},
        {"12345678", "12345678"},
        {"show\n\nABCDEFGH", std::string("show\n\nABCDEFGH") + std::string(2, '\0')},
        // Equal plain blocks give equal cipher blocks: no chaining between blocks.
        {"samesamesamesame", "samesamesamesame"},
        {"show\n\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        const bool encipher = !c.padded.empty();
        channel.send(c.plain.data(), c.plain.size(), encipher);
        if (encipher) {
            EXPECT_EQ(rawRead(c.padded.size()), enciphered(c.padded));
        } else {
            EXPECT_EQ(rawRead(c.plain.size()), c.plain);
        }
    }
    rawWrite("code=ack\n\n");
    char buffer[64];
    ASSERT_EQ(channel.receive(buffer, sizeof buffer, &wait, false), 10);
    EXPECT_EQ(std::string(buffer, 10), "code=ack\n\n");
}

TEST_F(RConsoleChannelTest, EncipheredReceiveGathersWholeBlocks) {
    const std::string wire = enciphered("code=ack\n\n" + std::string(6, '\0'));
    // Five bytes, then the rest: the receive waits for the block to complete.
    rawWrite(wire.substr(0, 5));
    std::thread late([&] {
        ::usleep(50 * 1000);
        rawWrite(wire.substr(5));
    });
    char buffer[64];
    const long got = channel.receive(buffer, sizeof buffer, &wait, true);
    late.join();
    ASSERT_EQ(got % 8, 0);
    std::string plain(buffer, static_cast<std::size_t>(got));
    if (got == 8) {
        ASSERT_EQ(channel.receive(buffer, sizeof buffer, &wait, true), 8);
        plain.append(buffer, 8);
    }
    EXPECT_EQ(plain, "code=ack\n\n" + std::string(6, '\0'));
}

TEST_F(RConsoleChannelTest, EndOfStreamInsideABlock) {
    rawWrite(enciphered("complete") + "cut");
    ::shutdown(raw, SHUT_WR);
    char buffer[64];
    // The count of everything that arrived; the broken block's bytes are zeroed.
    ASSERT_EQ(channel.receive(buffer, sizeof buffer, &wait, true), 11);
    EXPECT_EQ(std::string(buffer, 11), std::string("complete") + std::string(3, '\0'));
    EXPECT_EQ(channel.receive(buffer, sizeof buffer, &wait, true), 0);
    EXPECT_EQ(channel.receive(buffer, sizeof buffer, &wait, false), 0);
}

TEST_F(RConsoleChannelTest, TimeOutAndFailureReturnMinusOne) {
    char buffer[16];
    const ACE_Time_Value brief(0, 50 * 1000);
    for (bool enciphered : {false, true}) {
        SCOPED_TRACE(enciphered ? "enciphered" : "clear");
        EXPECT_EQ(channel.receive(buffer, sizeof buffer, &brief, enciphered), -1);
        EXPECT_EQ(channel.lastError(), static_cast<std::uint32_t>(ETIME));
    }
    stream.close();
    EXPECT_EQ(channel.receive(buffer, sizeof buffer, &brief, false), -1);
}
