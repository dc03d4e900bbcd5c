#include "standard/sock_stream.h"

#include <ace/OS_NS_fcntl.h>
#include <ace/OS_NS_sys_socket.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "sock_test_support.h"

using socktest::failure;
using socktest::Listener;

namespace {

const ACE_Time_Value kWait(5);

// Every case runs over IPv4 and IPv6 loopback.
class SockStreamTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!listener.open()) GTEST_SKIP() << "no loopback listener on " << GetParam();
        stream.connect(listener.address(), &kWait);
        ASSERT_TRUE(listener.accept(peer));
    }
    void TearDown() override { peer.close(); }

    std::string peerRead(std::size_t length) {
        std::string data(length, '\0');
        ACE_Time_Value wait(5);
        ssize_t got = peer.recv_n(&data[0], length, &wait);
        data.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return data;
    }
    std::string read(std::size_t length) {
        std::string data(length, '\0');
        data.resize(stream.recv(&data[0], length, &kWait));
        return data;
    }

    Listener listener{GetParam()};
    CSockStream stream;  // connected to `peer`
    ACE_SOCK_Stream peer;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Loopback, SockStreamTest, ::testing::Values("127.0.0.1", "::1"));

TEST_P(SockStreamTest, ConnectToAClosedPortIsRefused) {
    const u_short port = listener.address().get_port_number();
    listener.close();
    std::string host = GetParam();
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    for (const ACE_Time_Value* timeout : {&kWait, static_cast<const ACE_Time_Value*>(nullptr)}) {
        SCOPED_TRACE(timeout ? "with time-out" : "without time-out");
        CSockStream refused;
        auto f = failure([&] { refused.connect(socktest::loopback(GetParam(), port), timeout); });
        EXPECT_EQ(f.message, "Failed to connect to '" + host + ":" + std::to_string(port) + "'.");
        EXPECT_EQ(f.code, static_cast<std::uint32_t>(ECONNREFUSED));
        EXPECT_EQ(f.function, "CSockStream::connect");
        EXPECT_FALSE(refused.isOpen());
    }
}

TEST_P(SockStreamTest, BytesTravelBothWaysUntilThePeerCloses) {
    const std::string command("show\nconfig\n\n", 13);
    stream.send_blocked(command.data(), command.size());
    EXPECT_EQ(peerRead(command.size()), command);

    const std::string response("code=ack\n\0\0\0", 12);  // zero bytes pass unchanged
    ASSERT_EQ(peer.send_n(response.data(), response.size()), 12);
    peer.close();
    std::string got;
    for (std::string piece; got.size() < response.size(); got += piece) {
        piece = read(16384);
        ASSERT_FALSE(piece.empty());
    }
    EXPECT_EQ(got, response);
    char buffer[64];
    EXPECT_EQ(stream.recv(buffer, sizeof buffer, &kWait), 0u);
    EXPECT_EQ(stream.recv(buffer, sizeof buffer, nullptr), 0u);  // end of stream stays
}

TEST_P(SockStreamTest, LargeSendArrivesWholeInEitherMode) {
    for (bool blocking : {true, false}) {  // one connection, switched between the modes
        SCOPED_TRACE(blocking ? "blocking" : "non-blocking");
        stream.setBlocking(blocking);
        EXPECT_EQ((ACE_OS::fcntl(stream.handle(), F_GETFL) & O_NONBLOCK) != 0, !blocking);

        // Far more than the socket buffers hold: the send must stall and resume many times.
        std::vector<char> data(4 * 1024 * 1024);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 7);
        std::vector<char> received(data.size());
        ssize_t got = -1;
        std::thread reader([&] {
            ACE_Time_Value wait(30);
            got = peer.recv_n(received.data(), received.size(), &wait);
        });
        stream.send_blocked(data.data(), data.size());
        reader.join();
        EXPECT_EQ(got, static_cast<ssize_t>(data.size()));
        EXPECT_TRUE(received == data);
    }
}

TEST_P(SockStreamTest, ReceiveTimesOutAndShutdownSendLeavesTheOtherDirectionOpen) {
    char buffer[64];
    const ACE_Time_Value shortWait(0, 200000);
    auto f = failure([&] { stream.recv(buffer, sizeof buffer, &shortWait); });
    EXPECT_EQ(f.message, "Failed to read from a socket.");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(ETIME));
    EXPECT_EQ(f.function, "CSockStream::recv");

    stream.send_blocked("last", 4);
    EXPECT_EQ(stream.shutdownSend(), 0);
    EXPECT_EQ(peerRead(4), "last");
    char byte;
    ACE_Time_Value wait(5);
    EXPECT_EQ(peer.recv(&byte, 1, &wait), 0);  // end of stream, not a time-out
    ASSERT_EQ(peer.send_n("ack", 3), 3);
    EXPECT_EQ(read(16), "ack");
    EXPECT_EQ(stream.close(), 0);
    EXPECT_FALSE(stream.isOpen());
}

TEST_P(SockStreamTest, SendToAVanishedPeerFailsWithoutSignal) {
    peer.close();
    // The first bytes may still be taken; the peer's reset then fails the next send. Without
    // MSG_NOSIGNAL the process would die of SIGPIPE here.
    const std::string chunk(4096, 'x');
    socktest::Failure f;
    for (int attempt = 0; attempt < 50 && !f.thrown; ++attempt) {
        f = failure([&] { stream.send_blocked(chunk.data(), chunk.size()); });
        if (!f.thrown) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(f.message, "Failed to write to a socket.");
    EXPECT_TRUE(f.code == EPIPE || f.code == ECONNRESET) << f.code;
    EXPECT_EQ(f.function, "CSockStream::send_blocked");
}

TEST_P(SockStreamTest, SendGivesUpWhenThePeerStopsReading) {
    stream.setSendWait(ACE_Time_Value(0, 300000));
    // Small buffers on both sides (this also stops the system from growing them), and a peer
    // that never reads: once both are full the one wait runs out.
    int size = 64 * 1024;
    ASSERT_EQ(peer.set_option(SOL_SOCKET, SO_RCVBUF, &size, sizeof size), 0);
    ASSERT_EQ(ACE_OS::setsockopt(stream.handle(), SOL_SOCKET, SO_SNDBUF,
                                 reinterpret_cast<const char*>(&size), sizeof size),
              0);
    std::vector<char> data(16 * 1024 * 1024, 'y');
    auto f = failure([&] { stream.send_blocked(data.data(), data.size()); });
    EXPECT_EQ(f.message, "Failed to write to a socket.");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(ETIME));
}

TEST_P(SockStreamTest, ClosedStreamRefusesEveryOperation) {
    stream.close();
    CSockStream fresh;
    char buffer[8] = {};
    for (CSockStream* closed : {&fresh, &stream}) {
        SCOPED_TRACE(closed == &fresh ? "never opened" : "closed");
        auto send = failure([&] { closed->send_blocked("x", 1); });
        EXPECT_EQ(send.text(), "Cannot transmit buffer. | Invalid handle.");
        EXPECT_EQ(send.function, "CSockStream::send_blocked");
        EXPECT_EQ(failure([&] { closed->recv(buffer, sizeof buffer, &kWait); }).text(),
                  "Failed to read from a socket. | Invalid handle.");
        EXPECT_EQ(failure([&] { closed->setBlocking(true); }).text(),
                  "Cannot set the socket mode. | Invalid handle.");
        EXPECT_EQ(closed->shutdownSend(), -1);
        EXPECT_EQ(closed->close(), 0);
    }
}
