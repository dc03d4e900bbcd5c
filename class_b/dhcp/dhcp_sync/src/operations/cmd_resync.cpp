#include "operations/cmd_resync.h"

#include <exception>

#include "operations/resync_writer.h"
#include "receiver/receiver_tls.h"
#include "standard/throw.h"

CCmdResync::CCmdResync(const std::string& target, CReceiverTLS* state)
    : CAsyncCommand(kName), m_target(target), m_state(state) {}

void CCmdResync::execute(std::uint32_t) {
    Outcome outcome;
    try {
        outcome.written = CResyncWriter(*m_state).write(m_target);
    } catch (nbx::CException& failure) {
        m_state->rollbackTransaction();
        outcome.failure = failure;
    } catch (std::exception& failure) {
        m_state->rollbackTransaction();
        outcome.failure = nbx::makeException<nbx::CException>(
            NBX_SITE(NBX_MODULE_TAG, "CCmdResync::execute"),
            nbx::msg("Cannot resync '%1'.", m_target), nbx::msg("%1", failure.what()));
    }
    m_result.set_value(std::move(outcome));
}
