#include "operations/cmd_resync.h"

#include <exception>

#include "operations/resync_writer.h"
#include "receiver/receiver_tls.h"

CCmdResync::CCmdResync(const std::string& target, CReceiverTLS* state)
    : CAsyncCommand(kName), m_target(target), m_state(state) {}

void CCmdResync::execute(std::uint32_t) {
    try {
        m_result.set_value(CResyncWriter(*m_state).write(m_target));
    } catch (...) {
        m_state->rollbackTransaction();
        m_result.set_exception(std::current_exception());
    }
}
