#pragma once
// A resync asked for by another thread, run on the receiver's thread (which owns the spools);
// the asker waits on the future.

#include <future>
#include <string>

#include "dhcp_plugin_api/sync_operations.h"
#include "extended/async_command.h"

class CReceiverTLS;

class CCmdResync : public CAsyncCommand {
public:
    static constexpr const char* kName = "cmd-sync-receiver-resync";

    // `state` is the receiving task's and is not owned.
    CCmdResync(const std::string& target, CReceiverTLS* state);

    std::future<CSyncResyncResult> result() { return m_result.get_future(); }
    // Every failure goes to the future; nothing passes on to the task's loop.
    void execute(std::uint32_t threadIndex) override;
    void complete() override {}

private:
    std::string m_target;
    CReceiverTLS* m_state;  // not owned
    std::promise<CSyncResyncResult> m_result;
};
