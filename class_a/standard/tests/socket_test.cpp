#include "standard/sock_stream.h"

#include <ace/OS_NS_fcntl.h>
#include <ace/OS_NS_sys_socket.h>
#include <ace/SOCK_Acceptor.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "standard/sock_dgram.h"
#include "testing/eventually.h"
#include "testing/failure.h"

using nbx::testing::failure;

namespace {

const ACE_Time_Value kWait(5);

// `host` ("127.0.0.1" or "::1") with `port`.
ACE_INET_Addr loopback(const std::string& host, u_short port) {
    ACE_INET_Addr address;
    address.set(port, host.c_str(), 1, host.find(':') != std::string::npos ? AF_INET6 : AF_INET);
    return address;
}

std::string hostOf(const ACE_INET_Addr& address) {
    char host[64] = {};
    address.get_host_addr(host, sizeof host);
    return host;
}

// "message | reason @ function" of a failure.
std::string failureOf(const nbx::testing::Failure& f) {
    return f.text() + " @ " + f.function;
}

// Every case runs over IPv4 and IPv6 loopback, with `stream` connected to `peer`.
class SockStreamTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ACE_INET_Addr address = loopback(GetParam(), 0);
        if (listener.open(address, 1) == -1) GTEST_SKIP() << "no loopback on " << GetParam();
        listener.get_local_addr(address);
        stream.connect(address, &kWait);
        ACE_Time_Value wait(kWait);
        ASSERT_EQ(listener.accept(peer, nullptr, &wait), 0);
    }
    void TearDown() override {
        peer.close();
        listener.close();
    }

    std::string peerRead(std::size_t length) {
        std::string data(length, '\0');
        const ssize_t got = peer.recv_n(&data[0], length, &kWait);
        data.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return data;
    }
    std::string read(std::size_t length) {
        std::string data(length, '\0');
        data.resize(stream.recv(&data[0], length, &kWait));
        return data;
    }

    ACE_SOCK_Acceptor listener;
    CSockStream stream;
    ACE_SOCK_Stream peer;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Loopback, SockStreamTest, ::testing::Values("127.0.0.1", "::1"));

TEST_P(SockStreamTest, ConnectToAClosedPortIsRefused) {
    ACE_INET_Addr address;
    listener.get_local_addr(address);
    listener.close();
    const std::string host = std::string(GetParam()) == "::1" ? "[::1]" : GetParam();
    for (const ACE_Time_Value* timeout : {&kWait, static_cast<const ACE_Time_Value*>(nullptr)}) {
        CSockStream refused;
        auto f = failure([&] { refused.connect(address, timeout); });
        EXPECT_EQ(f.message, "Failed to connect to '" + host + ":" +
                                 std::to_string(address.get_port_number()) + "'.");
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

    stream.send_blocked("last", 4);
    EXPECT_EQ(stream.shutdownSend(), 0);
    EXPECT_EQ(peerRead(4), "last");
    char byte;
    EXPECT_EQ(peer.recv(&byte, 1, &kWait), 0);  // end of stream, not a time-out
    ASSERT_EQ(peer.send_n("ack", 3), 3);
    EXPECT_EQ(read(16), "ack");
    EXPECT_EQ(stream.close(), 0);
    EXPECT_FALSE(stream.isOpen());
}

TEST_P(SockStreamTest, SendToAVanishedPeerFailsWithoutSignal) {
    peer.close();
    // The first bytes may still be taken; the peer's reset then fails a later send. Without
    // MSG_NOSIGNAL the process would die of SIGPIPE here.
    const std::string chunk(4096, 'x');
    nbx::testing::Failure f;
    ASSERT_TRUE(nbx::testing::eventually([&] {
        f = failure([&] { stream.send_blocked(chunk.data(), chunk.size()); });
        return f.thrown;
    }));
    EXPECT_EQ(f.message, "Failed to write to a socket.");
    EXPECT_TRUE(f.code == EPIPE || f.code == ECONNRESET) << f.code;
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
    EXPECT_EQ(f.function, "CSockStream::send_blocked");
}

TEST_P(SockStreamTest, ClosedStreamRefusesEveryOperation) {
    stream.close();
    CSockStream fresh;
    char buffer[8] = {};
    for (CSockStream* closed : {&fresh, &stream}) {
        EXPECT_EQ(failureOf(failure([&] { closed->send_blocked("x", 1); })),
                  "Cannot transmit buffer. | Invalid handle. @ CSockStream::send_blocked");
        EXPECT_EQ(failureOf(failure([&] { closed->recv(buffer, sizeof buffer, &kWait); })),
                  "Failed to read from a socket. | Invalid handle. @ CSockStream::recv");
        EXPECT_EQ(failure([&] { closed->setBlocking(true); }).text(),
                  "Cannot set the socket mode. | Invalid handle.");
        EXPECT_EQ(closed->shutdownSend(), -1);
        EXPECT_EQ(closed->close(), 0);
    }
}

TEST(SockDgram, QueryAndAnswerOverEitherFamily) {
    CSockDgram server;
    server.open();
    ASSERT_NE(server.localPort(), 0);
    const auto receive = [](CSockDgram& socket, ACE_INET_Addr& from) {
        std::string data(199, '\0');
        data.resize(socket.recv(&data[0], data.size(), from, &kWait));
        return data;
    };
    for (const char* host : {"::1", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        if (server.family() != AF_INET6 && std::string(host) == "::1") continue;  // no IPv6 here
        CSockDgram client;
        client.open();
        client.send("config_port", 11, loopback(host, server.localPort()));
        ACE_INET_Addr from, answerFrom;
        EXPECT_EQ(receive(server, from), "config_port");
        EXPECT_EQ(hostOf(from), host);  // IPv4 senders are not shown as mapped addresses
        EXPECT_EQ(from.get_port_number(), client.localPort());

        server.send("2345,clear", 10, from);
        EXPECT_EQ(receive(client, answerFrom), "2345,clear");
        EXPECT_EQ(hostOf(answerFrom), host);
        EXPECT_EQ(answerFrom.get_port_number(), server.localPort());
    }
    // A datagram longer than the buffer is cut to it.
    CSockDgram client;
    client.open();
    std::string payload(300, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
    client.send(payload.data(), payload.size(), loopback("127.0.0.1", server.localPort()));
    ACE_INET_Addr from;
    EXPECT_EQ(receive(server, from), payload.substr(0, 199));
}

TEST(SockDgram, ReceiveTimesOutAndAPortInUseIsRefused) {
    CSockDgram socket;
    socket.open();
    char buffer[16];
    ACE_INET_Addr from;
    const ACE_Time_Value shortWait(0, 200000);
    auto f = failure([&] { socket.recv(buffer, sizeof buffer, from, &shortWait); });
    EXPECT_EQ(f.message + " @ " + f.function, "Failed to receive a datagram. @ CSockDgram::recv");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(ETIME));

    CSockDgram second;
    f = failure([&] { second.open(socket.localPort()); });
    EXPECT_EQ(f.message + " @ " + f.function,
              "Cannot create a datagram socket. @ CSockDgram::open");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(EADDRINUSE));
    EXPECT_FALSE(second.isOpen());
}

TEST(SockDgram, ClosedSocketRefusesTraffic) {
    CSockDgram used, fresh;
    used.open();
    EXPECT_EQ(used.close(), 0);
    for (CSockDgram* socket : {&fresh, &used}) {
        EXPECT_EQ(failureOf(failure([&] { socket->send("x", 1, loopback("127.0.0.1", 9)); })),
                  "Cannot transmit buffer. | Invalid handle. @ CSockDgram::send");
        char buffer[4];
        ACE_INET_Addr from;
        EXPECT_EQ(failure([&] { socket->recv(buffer, sizeof buffer, from, &kWait); }).text(),
                  "Failed to receive a datagram. | Invalid handle.");
        EXPECT_EQ(socket->localPort(), 0);
        EXPECT_EQ(socket->family(), 0);
    }
}
