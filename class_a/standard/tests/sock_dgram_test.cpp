#include "standard/sock_dgram.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>

#include "sock_test_support.h"

using socktest::failure;

namespace {

const ACE_Time_Value kWait(5);

std::string receive(CSockDgram& socket, std::size_t length, ACE_INET_Addr& from) {
    std::string data(length, '\0');
    data.resize(socket.recv(&data[0], length, from, &kWait));
    return data;
}

std::string hostOf(const ACE_INET_Addr& address) {
    char host[64] = {};
    address.get_host_addr(host, sizeof host);
    return host;
}

}  // namespace

TEST(SockDgram, QueryAndAnswerOverEitherFamily) {
    CSockDgram server;
    server.open();
    ASSERT_NE(server.localPort(), 0);
    for (const char* host : {"::1", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        if (server.family() != AF_INET6 && std::string(host) == "::1") continue;  // no IPv6 here
        CSockDgram client;
        client.open();
        client.send("config_port", 11, socktest::loopback(host, server.localPort()));

        ACE_INET_Addr from;
        EXPECT_EQ(receive(server, 199, from), "config_port");
        EXPECT_EQ(hostOf(from), host);  // IPv4 senders are not shown as mapped addresses
        EXPECT_EQ(from.get_port_number(), client.localPort());

        server.send("2345,clear", 10, from);
        ACE_INET_Addr answerFrom;
        EXPECT_EQ(receive(client, 199, answerFrom), "2345,clear");
        EXPECT_EQ(hostOf(answerFrom), host);
        EXPECT_EQ(answerFrom.get_port_number(), server.localPort());
    }
    // A datagram longer than the buffer is cut to it.
    CSockDgram client;
    client.open();
    std::string payload(300, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
    client.send(payload.data(), payload.size(),
                socktest::loopback("127.0.0.1", server.localPort()));
    ACE_INET_Addr from;
    EXPECT_EQ(receive(server, 199, from), payload.substr(0, 199));
}

TEST(SockDgram, ReceiveTimesOutAndAPortInUseIsRefused) {
    CSockDgram socket;
    socket.open();
    char buffer[16];
    ACE_INET_Addr from;
    const ACE_Time_Value shortWait(0, 200000);
    auto f = failure([&] { socket.recv(buffer, sizeof buffer, from, &shortWait); });
    EXPECT_EQ(f.message, "Failed to receive a datagram.");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(ETIME));
    EXPECT_EQ(f.function, "CSockDgram::recv");

    CSockDgram second;
    f = failure([&] { second.open(socket.localPort()); });
    EXPECT_EQ(f.message, "Cannot create a datagram socket.");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(EADDRINUSE));
    EXPECT_EQ(f.function, "CSockDgram::open");
    EXPECT_FALSE(second.isOpen());
}

TEST(SockDgram, ClosedSocketRefusesTraffic) {
    CSockDgram used;
    used.open();
    EXPECT_EQ(used.close(), 0);
    CSockDgram fresh;
    for (CSockDgram* socket : {&fresh, &used}) {
        SCOPED_TRACE(socket == &fresh ? "never opened" : "closed");
        auto send = failure([&] { socket->send("x", 1, socktest::loopback("127.0.0.1", 9)); });
        EXPECT_EQ(send.text(), "Cannot transmit buffer. | Invalid handle.");
        EXPECT_EQ(send.function, "CSockDgram::send");

        char buffer[4];
        ACE_INET_Addr from;
        EXPECT_EQ(failure([&] { socket->recv(buffer, sizeof buffer, from, &kWait); }).text(),
                  "Failed to receive a datagram. | Invalid handle.");
        EXPECT_EQ(socket->localPort(), 0);
        EXPECT_EQ(socket->family(), 0);
    }
}
