// Commands per second over one remote-console connection, in clear-text and in enciphered mode,
// beside a bare TCP request/response loop that moves the same bytes with nothing on top: the
// difference is what framing, block splitting, judging and the cipher cost.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "host/console_server.h"
#include "rconsole_base/rconsole_client.h"
#include "rconsole_base/rconsole_framing.h"
#include "security/blowfish.h"

namespace {

// A record-like command of `size` bytes: key=value lines.
std::string makeCommand(std::size_t size) {
    std::string command = "sync_address_pool\n";
    for (int i = 0; command.size() < size; ++i) {
        command += "key" + std::to_string(i) + "=value-" + std::to_string(i * 7919) + "\n";
    }
    command.resize(size - 1);
    return command + "\n";
}

const char* const kResponse = "code=ack\noid=4711\nname=pool-a\n";

class FixedAnswer : public host::CIConsoleCommandHandler {
public:
    bool handle(host::CConsoleSession&, const std::string&,
                std::vector<nbx::CStringMap>& blocks) override {
        blocks.assign(1, nbx::CStringMap(kResponse, "\n"));
        return true;
    }
};

class QuietClient : public CRConsoleClient {
public:
    QuietClient() : CRConsoleClient("Bench", 0, 0, 10, 10) {}
    void onGreeting(const std::string&) override {}
    bool getPassword(std::string& password) override {
        password = "secret";
        return true;
    }
    bool getUser(std::string& user) override {
        user = "bench";
        return true;
    }
    void onReceive(const char*, std::size_t) override {}
};

void consoleLoop(benchmark::State& state, bool clear) {
    host::CConsoleServerConfig config;
    config.listenAddress = "127.0.0.1";
    config.clear = clear;
    config.user = "bench";
    config.password = "secret";
    host::CConsoleServer server(config);
    server.addHandler(std::make_shared<FixedAnswer>());
    server.start();
    QuietClient client;
    client.connect("127.0.0.1:" + std::to_string(server.queryPort()));
    const std::string command = makeCommand(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        if (client.sendCommand(command) != 0) state.SkipWithError("command failed");
    }
    state.SetItemsProcessed(state.iterations());
    client.disconnect();
    server.stop();
}

void BM_ConsoleClear(benchmark::State& state) {
    consoleLoop(state, true);
}
void BM_ConsoleEnciphered(benchmark::State& state) {
    consoleLoop(state, false);
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads until the bytes gathered end with an empty line; false at the end of the stream.
bool readMessage(int fd, std::string& buffer) {
    buffer.clear();
    char chunk[16384];
    while (buffer.size() < 2 || buffer.compare(buffer.size() - 2, 2, "\n\n") != 0) {
        ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
    return true;
}

void BM_BareTcp(benchmark::State& state) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::listen(listener, 1);
    socklen_t size = sizeof local;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
    const std::string response = std::string(kResponse) + "\n";
    std::thread server([&] {
        const int peer = ::accept(listener, nullptr, nullptr);
        std::string buffer;
        while (readMessage(peer, buffer) && sendAll(peer, response)) {
        }
        ::close(peer);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    const std::string command =
        CRConsoleFraming::command(makeCommand(static_cast<std::size_t>(state.range(0))));
    std::string buffer;
    for (auto _ : state) {
        if (!sendAll(fd, command) || !readMessage(fd, buffer))
            state.SkipWithError("exchange failed");
    }
    state.SetItemsProcessed(state.iterations());
    ::close(fd);
    server.join();
    ::close(listener);
}

// The cipher alone, for the share of the enciphered loop that is not the network.
void BM_EncipherBlocks(benchmark::State& state) {
    CBlowfish cipher;
    cipher.setKey("secret");
    std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        cipher.encipherBlocks(&data[0], data.size());
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_EncipherBlocks)->Arg(16384);
BENCHMARK(BM_BareTcp)->Arg(64)->Arg(1024)->Arg(16384)->UseRealTime();
BENCHMARK(BM_ConsoleClear)->Arg(64)->Arg(1024)->Arg(16384)->UseRealTime();
BENCHMARK(BM_ConsoleEnciphered)->Arg(64)->Arg(1024)->Arg(16384)->UseRealTime();
