#include "receiver/receiver_subscriber.h"

#include <exception>

#include "receiver/receiver_tls.h"
#include "standard/throw.h"

CReceiverSubscriber::CReceiverSubscriber(CIHostContext* hostContext, CICommandQueueTask* queue,
                                         CReceiverTLS* state)
    : CISystemBusSubscriber(hostContext, queue, std::string()),
      m_state(state),
      m_processor(state) {}

void CReceiverSubscriber::onEvent(const CAppEventPtr& event) {
    if (event.isNull()) return;
    const std::string& topic = event.get()->topic();
    if (topic == "replicate_peer") {
        m_state->handlePeerEvent(event, true);
        return;
    }
    try {
        if (topic == "config") {
            m_state->reloadConfiguration();
            return;
        }
        // The object is read in a transaction that ends before the spools are written: a
        // write that waits for disk space must not keep the database locked meanwhile.
        CReceiverProcessor::Record record;
        m_state->beginTransaction();
        const bool replicated = m_processor.process(event, record);
        m_state->commitTransaction();
        if (replicated) m_state->write(record.text, record.topic);
    } catch (CExSpoolUnwritten&) {
        // Not handled: the delivery fails, so the host keeps the event for its next start.
        throw;
    } catch (nbx::CException& failure) {
        m_state->rollbackTransaction();
        if (topic != "config") m_state->dropped();
        m_state->report(failure);
    } catch (const std::exception& failure) {
        // The bus delivers on the receiver's thread: nothing may end that thread.
        m_state->rollbackTransaction();
        if (topic != "config") m_state->dropped();
        nbx::CException wrapped = nbx::makeException(
            NBX_SITE(NBX_MODULE_TAG, "CReceiverSubscriber::onEvent"),
            nbx::msg("Failed to process the '%1' event of object %2 of type '%3'.",
                     event.get()->type(), event.get()->oid(), topic),
            nbx::msg("%1", failure.what()));
        m_state->report(wrapped);
    }
}
