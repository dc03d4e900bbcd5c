#include "host/http_endpoint.h"

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "host/sync_status_format.h"
#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr const char* kText = "text/plain; charset=utf-8";
// The exposition format's content type, version 0.0.4.
constexpr const char* kMetrics = "text/plain; version=0.0.4; charset=utf-8";

// Runs `answer` with the status of every family; a host without a sync plug-in, or a plug-in
// that fails, is answered 503 with the reason.
template <typename Answer>
void withStatus(const CSyncOperationsAccess& access, httplib::Response& response,
                const Answer& answer) {
    std::vector<CSyncStatus> status;
    try {
        status = readSyncStatus(access);
    } catch (nbx::CException& e) {
        response.status = 503;
        response.set_content(e.text() + "\n", kText);
        return;
    }
    answer(status);
}

}  // namespace

CHttpEndpoint::CHttpEndpoint(CHttpEndpointConfig config, const CSyncOperationsAccess& access)
    : m_config(std::move(config)), m_access(access) {}

CHttpEndpoint::~CHttpEndpoint() {
    stop();
}

void CHttpEndpoint::_routes() {
    m_server->Get("/status", [this](const httplib::Request&, httplib::Response& response) {
        withStatus(m_access, response, [&](const std::vector<CSyncStatus>& status) {
            response.set_content(statusJson(status), "application/json");
        });
    });
    m_server->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        withStatus(m_access, response, [&](const std::vector<CSyncStatus>& status) {
            response.set_content(metricsText(status), kMetrics);
        });
    });
    m_server->Get("/healthz", [this](const httplib::Request&, httplib::Response& response) {
        withStatus(m_access, response, [&](const std::vector<CSyncStatus>& status) {
            const std::vector<std::string> stalled =
                stalledPeers(status, m_config.stallSeconds, std::time(nullptr), m_started);
            if (stalled.empty()) {
                response.set_content("ok\n", kText);
                return;
            }
            std::string text = "stalled:";
            for (const std::string& peer : stalled) text += " " + peer;
            response.status = 503;
            response.set_content(text + "\n", kText);
        });
    });
    // Whatever a handler throws is answered 500, never carried into the pool's thread.
    m_server->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content("internal error\n", kText);
        });
}

void CHttpEndpoint::start() {
    if (m_server) return;
    m_server = std::make_unique<httplib::Server>();
    const std::size_t threads = std::max<std::size_t>(m_config.threads, 1);
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_server->set_read_timeout(m_config.readTimeout, 0);
    m_server->set_write_timeout(m_config.readTimeout, 0);
    m_server->set_keep_alive_timeout(m_config.readTimeout);
    m_server->set_payload_max_length(m_config.maxBodyBytes);
    // The library's default adds SO_REUSEPORT, which would let a second host take the same
    // port unnoticed.
    m_server->set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    _routes();
    const int port =
        m_config.port == 0
            ? m_server->bind_to_any_port(m_config.address)
            : (m_server->bind_to_port(m_config.address, m_config.port) ? m_config.port : -1);
    if (port <= 0) {
        const int error = errno;
        m_server.reset();
        NBX_THROW_CODE(nbx::CException, kModule, "CHttpEndpoint::start",
                       nbx::msg("Cannot start the HTTP endpoint on %1.",
                                m_config.address + ":" + std::to_string(m_config.port)),
                       nbx::CMessage(), error);
    }
    m_port = static_cast<std::uint16_t>(port);
    m_started = std::time(nullptr);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_listener = std::thread([this, ended] {
        m_server->listen_after_bind();
        *ended = true;
    });
    // A stop() before the listener runs would be lost and leave it listening for ever.
    while (!m_server->is_running() && !*ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CHttpEndpoint::stop() {
    if (!m_server) return;
    m_server->stop();
    // listen_after_bind returns once the pool has answered the requests under way.
    if (m_listener.joinable()) m_listener.join();
    m_server.reset();
}

}  // namespace host
