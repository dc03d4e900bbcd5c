#pragma once
// A resync asked for by another thread, run on the receiver's thread (which owns the spools);
// the asker waits on the future.

#include <future>
#include <optional>
#include <string>

#include "dhcp_plugin_api/sync_operations.h"
#include "extended/async_command.h"
#include "standard/exception.h"

class CReceiverTLS;

class CCmdResync : public CAsyncCommand {
public:
    static constexpr const char* kName = "cmd-sync-receiver-resync";

    // `state` is the receiving task's and is not owned.
    CCmdResync(const std::string& target, CReceiverTLS* state);

    // What the asker gets: the counts, or a copy of the failure. The failure travels as a copy
    // of its own, not as the thrown object: an exception object shared between two threads is
    // released by whichever lets go last, out of the sanitizer's sight and the asker's control.
    struct Outcome {
        CSyncResyncResult written;
        std::optional<nbx::CException> failure;
    };

    std::future<Outcome> result() { return m_result.get_future(); }
    // Every failure goes to the future; nothing passes on to the task's loop.
    void execute(std::uint32_t threadIndex) override;
    void complete() override {}

private:
    std::string m_target;
    CReceiverTLS* m_state;  // not owned
    std::promise<Outcome> m_result;
};
