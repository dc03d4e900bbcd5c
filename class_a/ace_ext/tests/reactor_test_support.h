#pragma once
// Helpers of the reactor tests: real socket pairs and a handler that records what the reactor
// calls.

#include <ace/Event_Handler.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "testing/eventually.h"
#include "testing/failure.h"

namespace reactor_test {

// A connected pair of non-blocking local stream sockets.
struct SocketPair {
    SocketPair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            ADD_FAILURE() << "socketpair failed";
            return;
        }
        local = fds[0];
        remote = fds[1];
    }
    ~SocketPair() {
        if (local >= 0) ::close(local);
        if (remote >= 0) ::close(remote);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
    void send(const std::string& text) const {
        ASSERT_EQ(::write(remote, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    int local = -1;
    int remote = -1;
};

// Thread-safe log of the calls a reactor made.
class CallLog {
public:
    void add(const std::string& entry) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> entries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_entries;
    }
    std::size_t count(const std::string& entry) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return std::count(m_entries.begin(), m_entries.end(), entry);
    }
    // Waits (generously) until `entry` was logged `times` times.
    bool waitFor(const std::string& entry, std::size_t times = 1) {
        return nbx::testing::eventually([&] { return count(entry) >= times; });
    }
    void clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

// Logs "<name>:input:<bytes read>", "<name>:output", "<name>:timeout:<arg>" and
// "<name>:close:<mask>". Each call returns what its hook returns (0 without one).
class RecordingHandler : public ACE_Event_Handler {
public:
    RecordingHandler(std::string name, ACE_HANDLE handle, CallLog& log)
        : m_name(std::move(name)), m_handle(handle), m_log(log) {}

    ACE_HANDLE get_handle() const override { return m_handle; }
    int handle_input(ACE_HANDLE) override {
        char buffer[256];
        ssize_t got = ::recv(m_handle, buffer, sizeof buffer, MSG_DONTWAIT);
        m_log.add(m_name + ":input:" + (got > 0 ? std::string(buffer, got) : std::string()));
        return onInput ? onInput() : 0;
    }
    int handle_output(ACE_HANDLE) override {
        m_log.add(m_name + ":output");
        return onOutput ? onOutput() : 0;
    }
    int handle_timeout(const ACE_Time_Value&, const void* arg) override {
        m_log.add(m_name + ":timeout:" + (arg ? static_cast<const char*>(arg) : ""));
        return onTimeout ? onTimeout() : 0;
    }
    int handle_close(ACE_HANDLE, ACE_Reactor_Mask mask) override {
        m_log.add(m_name + ":close:" + std::to_string(mask));
        return 0;
    }

    std::function<int()> onInput;
    std::function<int()> onOutput;
    std::function<int()> onTimeout;

private:
    std::string m_name;
    ACE_HANDLE m_handle;
    CallLog& m_log;
};

using nbx::testing::failure;

}  // namespace reactor_test
