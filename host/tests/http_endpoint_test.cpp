#include "host/http_endpoint.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "console_test_support.h"
#include "host/host_daemon.h"
#include "operations_test_support.h"
#include "testing/eventually.h"
#include "testing/temp_folder.h"

namespace {

// A reader of the Prometheus text exposition format, strict where a scraper is: every line a
// HELP or TYPE comment (or another comment), a sample of a metric whose TYPE came before, or
// empty. Fails the test on any other line and gives the samples as "name{labels}" -> value.
std::map<std::string, double> parseExposition(const std::string& text) {
    const std::string name = "[a-zA-Z_:][a-zA-Z0-9_:]*";
    const std::string label = R"([a-zA-Z_]\w*="(?:[^"\\\n]|\\[\\"n])*")";
    const std::regex type("# TYPE (" + name + ") (counter|gauge|untyped|histogram|summary)");
    const std::regex help("# HELP " + name + "( .*)?");
    const std::regex sample("(" + name + ")(\\{(?:" + label + "(?:," + label +
                            ")*,?)?\\})? (\\S+)");
    std::map<std::string, double> samples;
    std::set<std::string> typed;
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        SCOPED_TRACE(line);
        if (line.empty()) continue;
        if (std::regex_match(line, match, type)) {
            EXPECT_TRUE(typed.insert(match[1]).second) << "typed twice";
        } else if (line[0] == '#') {
            EXPECT_TRUE(std::regex_match(line, help) ||
                        (line.rfind("# TYPE", 0) != 0 && line.rfind("# HELP", 0) != 0));
        } else if (!std::regex_match(line, match, sample)) {
            ADD_FAILURE() << "not a sample";
        } else {
            EXPECT_TRUE(typed.count(match[1])) << "no TYPE before the sample";
            std::size_t used = 0;
            const double value = std::stod(match[3], &used);
            EXPECT_EQ(used, match[3].length()) << "a value and nothing else";
            EXPECT_TRUE(samples.emplace(match[1].str() + match[2].str(), value).second)
                << "a sample given twice";
        }
    }
    return samples;
}

class HttpEndpoint : public ::testing::Test, protected opstest::FakePlugin {
protected:
    void SetUp() override {
        ops4.peer("127.0.0.1:7171", "idle", [&](CSyncPeerStatus& p) { p.lastProgress = now(); });
        ops6.peer("[::1]:7171", "replaying", [&](CSyncPeerStatus& p) {
            p.lastProgress = now();
            p.backlogRecords = 12;
        });
    }
    void start(host::CHttpEndpointConfig config = host::CHttpEndpointConfig()) {
        endpoint = std::make_unique<host::CHttpEndpoint>(config, access);
        endpoint->start();
        client = std::make_unique<httplib::Client>("127.0.0.1", endpoint->port());
        client->set_read_timeout(30, 0);
    }
    // The body of the answer to `path`, whose status must be `status`.
    std::string get(const std::string& path, int status = 200) {
        auto response = client->Get(path.c_str());
        if (!response) {
            ADD_FAILURE() << path << ": no answer";
            return "";
        }
        EXPECT_EQ(response->status, status) << path;
        return response->body;
    }
    static std::int64_t now() { return std::time(nullptr); }

    std::unique_ptr<host::CHttpEndpoint> endpoint;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace

TEST_F(HttpEndpoint, MetricsAreValidExpositionTextAndMoveWithTraffic) {
    // A target no address holds, to see the label escaped.
    ops4.peer("odd\"peer\\", "connecting");
    start();
    auto first = client->Get("/metrics");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->get_header_value("Content-Type").rfind("text/plain; version=0.0.4", 0), 0u);
    std::map<std::string, double> before = parseExposition(first->body);
    const std::string acked =
        "nbx_sync_commands_acknowledged_total{peer=\"127.0.0.1:7171\",family=\"4\"}";
    ASSERT_EQ(before.count(acked), 1u) << first->body;
    EXPECT_EQ(before["nbx_sync_backlog_records{peer=\"[::1]:7171\",family=\"6\"}"], 12);
    EXPECT_EQ(before["nbx_sync_peer_state{peer=\"[::1]:7171\",family=\"6\",state=\"replaying\"}"],
              1);
    EXPECT_EQ(before["nbx_sync_peer_state{peer=\"[::1]:7171\",family=\"6\",state=\"idle\"}"], 0);
    EXPECT_EQ(before.count("nbx_sync_reconnects_total{peer=\"odd\\\"peer\\\\\",family=\"4\"}"), 1u);

    ops4.peer("127.0.0.1:7171", "replaying", [](CSyncPeerStatus& p) {
        p.acknowledged = 40;
        p.conflicts = 2;
    });
    ops4.receiver([](CSyncReceiverStatus& r) { r.recordsWritten = 40; });
    std::map<std::string, double> after = parseExposition(get("/metrics"));
    EXPECT_EQ(after[acked] - before[acked], 40);
    EXPECT_EQ(after["nbx_sync_conflicts_total{peer=\"127.0.0.1:7171\",family=\"4\"}"], 2);
    EXPECT_EQ(after["nbx_sync_receiver_records_written_total{family=\"4\"}"], 40);
}

TEST_F(HttpEndpoint, StatusIsTheConsolesContentAsJson) {
    ops4.peer("127.0.0.1:7171", "unreachable", [](CSyncPeerStatus& p) {
        p.lastFailure = 1767182400;
        p.lastFailureText = "Connection refused.";
        p.backlogBytes = 4096;
    });
    start();
    const nlohmann::json status = nlohmann::json::parse(get("/status"));
    ASSERT_EQ(status["families"].size(), 2u);
    const nlohmann::json& peer = status["families"][0]["peers"][0];
    EXPECT_EQ(peer["peer"], "127.0.0.1:7171");
    EXPECT_EQ(peer["state"], "unreachable");
    EXPECT_EQ(peer["backlog_bytes"], 4096);
    EXPECT_EQ(peer["last_failure"], "2025-12-31T12:00:00Z");
    EXPECT_EQ(peer["last_failure_text"], "Connection refused.");
    EXPECT_TRUE(peer["last_success"].is_null());
    EXPECT_EQ(status["families"][1]["family"], 6);
    EXPECT_EQ(status["families"][1]["peers"][0]["backlog_records"], 12);
}

TEST_F(HttpEndpoint, HealthFailsWhileAnEnabledPeerIsStalled) {
    host::CHttpEndpointConfig config;
    config.stallSeconds = {{4, 60}, {6, 600}};
    start(config);
    get("/healthz", 200);

    // Past the IPv4 limit; within the IPv6 one; a disabled peer is never stalled.
    ops4.peer("127.0.0.1:7171", "unreachable",
              [&](CSyncPeerStatus& p) { p.lastProgress = now() - 61; });
    ops6.peer("[::1]:7171", "unreachable",
              [&](CSyncPeerStatus& p) { p.lastProgress = now() - 500; });
    ops6.peer("[::1]:7272", "disabled", [&](CSyncPeerStatus& p) { p.lastProgress = 1; });
    EXPECT_EQ(get("/healthz", 503), "stalled: 127.0.0.1:7171 (IPv4)\n");

    access.withdraw();
    EXPECT_NE(get("/healthz", 503).find("No sync plug-in is loaded."), std::string::npos);
}

// What a malformed request or an overlong path gets is the HTTP library's own; here: the limits
// that the endpoint sets on a body and on a silent client.
TEST_F(HttpEndpoint, RefusesHugeBodiesAndDropsSlowClients) {
    host::CHttpEndpointConfig config;
    config.readTimeout = 2;
    config.maxBodyBytes = 1024;
    start(config);
    const std::uint16_t port = endpoint->port();
    const int huge = consoletest::rawConnect(port);
    ASSERT_TRUE(consoletest::rawSend(
        huge, "POST /status HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\n" +
                  std::string(4096, 'x')));
    EXPECT_EQ(consoletest::rawRead(huge, 12), "HTTP/1.1 413");
    ::close(huge);

    // A client whose request comes a byte at a time holds one thread; the others answer
    // between its bytes.
    const int fd = consoletest::rawConnect(port);
    const std::string slow = "GET /status HTTP/1.1\r\n";
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(consoletest::rawSend(fd, slow.substr(i, 1)));
        get("/healthz", 200);
    }
    // Once it falls silent for longer than the read time-out it is dropped.
    EXPECT_TRUE(consoletest::rawClosed(fd, 30000));
    ::close(fd);
    get("/metrics", 200);
}

namespace {

host::CHostSettings daemonSettings(const std::string& dataDir, const std::string& extra) {
    host::CHostSettings settings;
    settings.dataDir = dataDir;
    settings.consolePort = 0;
    settings.queryPort = 0;
    settings.clear = true;
    settings.logFile = dataDir + "/nbxd.log";
    settings.ipv6 = false;
    settings.statementDirectory = NBX_HOST_DB_DIR;
    settings.config = std::make_shared<nbx::CConfig>(extra, "\n");
    return settings;
}

}  // namespace

TEST(HttpEndpointOfTheDaemon, ListensOnlyWhenAPortIsConfigured) {
    nbx::testing::TempFolder folder("nbx-http");
    {
        host::CHostDaemon daemon(daemonSettings(folder.path(), ""));
        daemon.start();
        EXPECT_EQ(daemon.httpPort(), 0);
    }
    const int free = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = consoletest::loopback(0);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        return static_cast<int>(ntohs(address.sin_port));
    }();
    host::CHostDaemon daemon(
        daemonSettings(folder.path(), "http.port=" + std::to_string(free) + "\n"));
    daemon.start();
    EXPECT_EQ(daemon.httpPort(), free);
    // No plug-in here: the endpoint says so rather than pretending health.
    httplib::Client client("127.0.0.1", free);
    auto health = client.Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    daemon.stop();
    EXPECT_LT(consoletest::rawConnect(static_cast<std::uint16_t>(free)), 0);
}
