#pragma once
// What the console server hands each command to.

#include <cstdint>
#include <string>
#include <vector>

#include "standard/exception.h"
#include "standard/string_map.h"

namespace host {

// Thrown by a handler to end the connection without an answer, as a server that goes away in
// the middle of a command does.
NBX_DECLARE_EXCEPTION(CExConsoleHangUp, nbx::CException);

// The state of one console connection, touched only by that connection's thread.
class CConsoleSession {
public:
    CConsoleSession(std::uint64_t id, const std::string& peer) : m_id(id), m_peer(peer) {}

    // Unique among the connections of one server, counting from 1.
    std::uint64_t id() const { return m_id; }
    // The client's address text.
    const std::string& peer() const { return m_peer; }
    // The protocol family text set by "set_context=" ("4" or "6"); empty until then.
    const std::string& context() const { return m_context; }
    void setContext(const std::string& context) { m_context = context; }
    // Commands received on this connection so far, the one being handled included.
    std::size_t commandCount() const { return m_commandCount; }
    void countCommand() { ++m_commandCount; }

private:
    std::uint64_t m_id;
    std::string m_peer;
    std::string m_context;
    std::size_t m_commandCount = 0;
};

// Answers console commands. The server asks its handlers in the order they were added; the
// first that takes a command answers it. Handlers are called from the threads of all
// connections at once and must be thread-safe.
class CIConsoleCommandHandler {
public:
    virtual ~CIConsoleCommandHandler() = default;
    // Fills `blocks` with the response blocks and returns true, or returns false (leaving
    // `blocks` alone) when the command is not this handler's.
    virtual bool handle(CConsoleSession& session, const std::string& command,
                        std::vector<nbx::CStringMap>& blocks) = 0;
    // The connection ends; called on its thread, which may give back what it holds.
    virtual void onClose(CConsoleSession&) {}
};

}  // namespace host
