#pragma once
// The host's read-only HTTP endpoint for monitoring replication, off unless configured:
//
//   GET /status    the replication status as JSON (statusJson)
//   GET /metrics   counters and gauges in the Prometheus text exposition format (metricsText)
//   GET /healthz   200 "ok" while every enabled peer made progress within its family's stall
//                  time, 503 naming the stalled peers otherwise (or when no sync plug-in runs)
//
// It serves on its own threads (a small pool), reads each request with a time-out and refuses
// bodies past a small limit, so that a malformed, huge or slow client costs one pool thread for a
// while and never reaches replication.

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "host/sync_operations_access.h"

namespace httplib {
class Server;
}

namespace host {

struct CHttpEndpointConfig {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;  // 0: a free port chosen by the system
    // Seconds without progress after which a peer counts as stalled, by family (300 else).
    std::map<int, std::uint64_t> stallSeconds;
    std::size_t threads = 4;
    // Seconds a client may stay silent while it sends a request or waits to send the next.
    int readTimeout = 5;
    std::size_t maxBodyBytes = 64 * 1024;
};

class CHttpEndpoint {
public:
    // `access` not owned; it outlives stop().
    CHttpEndpoint(CHttpEndpointConfig config, const CSyncOperationsAccess& access);
    ~CHttpEndpoint();  // stops
    CHttpEndpoint(const CHttpEndpoint&) = delete;
    CHttpEndpoint& operator=(const CHttpEndpoint&) = delete;

    // Binds and starts serving. Throws "Cannot start the HTTP endpoint on %1." when the address
    // cannot be had.
    void start();
    // Closes the listener and waits for the requests being answered. Idempotent.
    void stop();

    std::uint16_t port() const { return m_port; }

private:
    void _routes();

    CHttpEndpointConfig m_config;
    const CSyncOperationsAccess& m_access;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_listener;
    std::uint16_t m_port = 0;
    std::time_t m_started = 0;
};

}  // namespace host
