#include "receiver/receiver_task.h"

#include <ace/Time_Value.h>

#include <chrono>
#include <future>

#include "operations/cmd_resync.h"
#include "operations/sync_operations.h"
#include "receiver/cmd_replication_peer.h"
#include "receiver/receiver_tls.h"
#include "resolver/resolver_task.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr const char* kDispatchTimerName = "cmd-sync-receiver-dispatch-timer";

}  // namespace

CReceiverTask::CReceiverTask(CIDHCPContext& context, CIReplicationNotifier* notifier)
    : CCommandQueueTask<CSTGeneralReactor>(&context.services(), context.name() + "-sync-receiver",
                                           1),
      m_context(context),
      m_state(new CReceiverTLS(this, context, [this] { return stopRequested(); })),
      m_resolver(
          new CResolverTask(context, context.services().resolverDirectory(), context.family())),
      m_notifier(notifier),
      m_operations(new CSyncOperations(*this)) {}

CReceiverTask::~CReceiverTask() {
    // The loop uses the state: it ends first. The publishers need the resolver until the state
    // has stopped them.
    stop();
    m_state.reset();
    m_resolver.reset();
}

std::uint32_t CReceiverTask::syncInterval() const {
    return m_state->interval();
}

CIDHCPSyncOperations& CReceiverTask::operations() {
    return *m_operations;
}

CSyncResyncResult CReceiverTask::resync(const std::string& target) {
    const auto notRunning = [&] {
        NBX_THROW(nbx::CException, kModule, "CReceiverTask::resync",
                  nbx::msg("Cannot resync '%1'.", target),
                  nbx::msg("The sync receiver of %1 is not running.", m_context.name()));
    };
    if (!isRunning() || stopRequested()) notRunning();
    auto* command = new CCmdResync(target, m_state.get());
    std::future<CCmdResync::Outcome> result = command->result();
    // A full queue throws CExQueueFull from here: nothing was queued.
    sendCommand(CAsyncCommandPtr(command));
    // A resync of many objects takes its time; a receiver that stops never runs a queued one.
    while (result.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
        if (!isRunning()) notRunning();
    }
    CCmdResync::Outcome outcome;
    try {
        outcome = result.get();
    } catch (const std::future_error&) {
        notRunning();  // dropped unrun with the queue of a receiver that stopped
    }
    if (outcome.failure) throw *outcome.failure;
    return outcome.written;
}

void CReceiverTask::postReplicationPeer(const CAppEventPtr& event) {
    sendCommand(CAsyncCommandPtr(new CCmdReplicationPeer(event, m_state.get())));
}

std::int32_t CReceiverTask::init() {
    return _init();
}

std::int32_t CReceiverTask::_init() {
    std::int32_t result = 10;
    try {
        std::int32_t started = -1;
        try {
            started = m_resolver->run();
        } catch (nbx::CException& failure) {
            _report(failure);
        }
        if (started != 0) {
            NBX_THROW(nbx::CException, kModule, "CReceiverTask::_init",
                      nbx::msg("Failed to start the sync module conflict resolver."),
                      nbx::msg("The task failed to run."));
        }
        m_state->open(m_resolver.get(), m_notifier);
        result = CCommandQueueTask<CSTGeneralReactor>::init();
        if (result == 0) _scheduleDispatchTimer();
    } catch (nbx::CException& failure) {
        _report(failure);
        result = 10;
    }
    if (result != 0) {
        // The loop never runs: undo here what the thread body would undo at its end.
        m_state->close();
        m_resolver->stop();
    }
    return result;
}

std::int32_t CReceiverTask::svcLoop() {
    nbx::CILogSink& log = m_context.services().logSink();
    log.log(nbx::SEVERITY_DEBUG, nbx::CMessage("The dhcp sync receiver is running.", kModule));
    handleEvents(nullptr);
    m_reactor->cancel_timer(this, 1);
    m_state->close();
    m_resolver->stop();
    log.log(nbx::SEVERITY_DEBUG, nbx::CMessage("The dhcp sync receiver has exited.", kModule));
    return status();
}

int CReceiverTask::handle_timeout(const ACE_Time_Value&, const void*) {
    if (stopRequested()) return 0;
    m_state->dispatch();
    _scheduleDispatchTimer();
    return 0;
}

void CReceiverTask::unregisterThread() {
    CCommandQueueTask<CSTGeneralReactor>::unregisterThread();
    m_context.services().releaseThread();
}

void CReceiverTask::_scheduleDispatchTimer() {
    const ACE_Time_Value delay(static_cast<time_t>(m_state->interval()));
    try {
        postScheduleTimer(kDispatchTimerName, delay, 0);
    } catch (CExQueueFull& full) {
        // Only the task's own thread arms this timer, so it may arm it directly: without it
        // the working logs would never be closed again.
        _report(full);
        m_reactor->schedule_timer(this, nullptr, delay);
    }
}
