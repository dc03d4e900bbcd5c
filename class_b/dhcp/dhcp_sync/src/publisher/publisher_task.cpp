#include "publisher/publisher_task.h"

#include <ace/Time_Value.h>

#include <algorithm>
#include <ctime>

#include "extended/config_names.h"
#include "publisher/publisher_tls.h"
#include "resolver/resolver_task.h"
#include "standard/stat.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr const char* kConnectTimerName = "cmd-sync-publisher-connect-timer";
constexpr const char* kDispatchTimerName = "cmd-sync-publisher-dispatch-timer";

// How the console client tells that the peer refused the credentials: it closes the connection
// (or stays silent) instead of greeting.
bool loginRefused(const nbx::CException& failure) {
    return failure.message().format() == "Failed to login to remote server.";
}

}  // namespace

CPublisherTask::CPublisherTask(CResolverTask* resolver, const CProtocolFamily& family,
                               const std::string& target, const std::string& spoolDirectory,
                               const std::string& user, const std::string& password, bool enabled,
                               CIHostServices* services)
    : CCommandQueueTask<CSTGeneralReactor>(services, resolver->instanceName() + "-sync-publisher",
                                           1),
      m_state(new CPublisherTLS(services, resolver, family, target, spoolDirectory, user, password,
                                enabled, &m_stop)) {}

CPublisherTask::~CPublisherTask() {
    // The loop runs this class's handlers: it must end before the state goes.
    stop();
}

const std::string& CPublisherTask::target() const {
    return m_state->client->target();
}

const std::string& CPublisherTask::spoolDirectory() const {
    return m_state->spoolDirectory;
}

std::uint32_t CPublisherTask::retryDelay() const {
    return m_state->retryDelay;
}

std::shared_ptr<const CPeerMonitor> CPublisherTask::monitor() const {
    return m_state->monitor;
}

std::int32_t CPublisherTask::init() {
    try {
        _readSettings();
        _scan();
        const std::int32_t result = CCommandQueueTask<CSTGeneralReactor>::init();
        if (m_state->client->isEnabled()) {
            _scheduleConnectTimer(0);
        } else {
            _log(nbx::SEVERITY_AUDIT,
                 nbx::msg("The dhcp sync publisher for server %1 is disabled and will not start.",
                          target()));
            _scheduleDispatchTimer(0);
        }
        return result;
    } catch (nbx::CException& failure) {
        _report(failure);
        return 10;
    }
}

std::int32_t CPublisherTask::svcLoop() {
    _log(nbx::SEVERITY_DEBUG,
         nbx::msg("The dhcp sync publisher for server %1 is running.", target()));
    handleEvents(nullptr);
    // The timer still pending must not fire into a task that is being taken down.
    m_reactor->cancel_timer(this, 1);
    _log(nbx::SEVERITY_DEBUG, nbx::msg("The dhcp sync publisher for server %1 exited.", target()));
    return status();
}

int CPublisherTask::handle_timeout(const ACE_Time_Value&, const void* argument) {
    // A stop that came while the timer was due: no new connection, no new file.
    if (stopRequested()) return 0;
    switch (reinterpret_cast<std::uintptr_t>(argument)) {
        case kConnectTimer:
            _reconnect();
            break;
        case kDispatchTimer:
            _dispatch();
            break;
        default:
            break;
    }
    return 0;
}

void CPublisherTask::unregisterThread() {
    CCommandQueueTask<CSTGeneralReactor>::unregisterThread();
    m_state->services->releaseThread();
}

void CPublisherTask::_reconnect() {
    CPublisherTLS& state = *m_state;
    try {
        try {
            state.client->connect();
            state.connected = true;
            state.answered = 0;
            state.lastExchange = std::chrono::steady_clock::now();
            if (state.everConnected) state.monitor->reconnected();
            state.everConnected = true;
            state.setState(state.backlog.totals().logs == 0 ? CPublisherTLS::kIdle
                                                            : CPublisherTLS::kReplaying);
            _scheduleDispatchTimer(0);
            _log(nbx::SEVERITY_AUDIT,
                 nbx::msg("Synchronization initiated with server '%1'.", target()));
        } catch (nbx::CException& cause) {
            // Each attempt starts from a closed connection.
            state.client->disconnect();
            state.connected = false;
            state.shown.state =
                loginRefused(cause) ? CPublisherTLS::kLoginRefused : CPublisherTLS::kUnreachable;
            state.failed(cause.text());
            cause.report(&m_controller->exceptionFacade());
            NBX_THROW(nbx::CException, kModule, "CPublisherTask::_reconnect",
                      nbx::msg("Failed to initiate synchronization with server '%1'.", target()),
                      nbx::msg("Cannot connect to server."));
        }
    } catch (nbx::CException& failure) {
        _report(failure);
        // The backlog grows while the peer is away: the status shows it.
        _scan();
        _scheduleConnectTimer(state.retryDelay);
    }
}

void CPublisherTask::_dispatch() {
    CPublisherTLS& state = *m_state;
    if (!state.client->isEnabled()) {
        _scan();
        _scheduleDispatchTimer(state.retryDelay);
        return;
    }
    if (!state.connected) {
        // A failed command closed the connection (after the retry delay that brought us here).
        _scheduleConnectTimer(0);
        return;
    }
    std::uint32_t delay = 0;
    try {
        // A long replay still looks at the spool now and then: the logs closed meanwhile are
        // part of the backlog.
        const bool scanDue = std::chrono::steady_clock::now() - state.lastScan >=
                             std::chrono::seconds(state.retryDelay);
        if (state.files.empty() || scanDue) _refreshFiles();
        if (state.files.empty()) {
            state.setState(CPublisherTLS::kIdle);
            if (!_heartbeat(delay)) return;
        } else {
            state.setState(CPublisherTLS::kReplaying);
            const nbx::CDirEnt entry = state.files.front();
            if (!nbx::CStat::exists(entry.fullPath())) {
                state.files.pop_front();
                _log(nbx::SEVERITY_WARNING,
                     nbx::msg("The dhcp sync publisher file '%1' disappeared.", entry.fullPath()));
            } else {
                state.processor.execute(state.spoolDirectory, entry.fileName());
                state.files.pop_front();
                // A file that cannot be deleted is found again and sent again; the peer takes
                // repeated records.
                nbx::CStat::remove(entry.fullPath());
                state.backlog.remove(entry.fullPath());
                _showBacklog();
                _log(nbx::SEVERITY_DEBUG,
                     nbx::msg("The dhcp sync publisher for server %1 has processed file '%2'.",
                              target(), entry.fileName()));
            }
        }
    } catch (CExPublisherStopping&) {
        // The file stays first; the loop ends after this handler.
        return;
    } catch (CDHCPSyncClientConnectFail& failure) {
        // The file stays first and goes on after its last answered command on the new connection:
        // at once after a connection that got somewhere, else after the retry delay, so that
        // a peer that drops every connection at its first command is not hammered (nor the
        // log filled).
        state.client->disconnect();
        state.connected = false;
        state.shown.state = CPublisherTLS::kUnreachable;
        state.failed(failure.text());
        _report(failure);
        if (state.answered == 0) {
            _log(nbx::SEVERITY_WARNING,
                 nbx::msg("Server %1 closed the connection before it answered a command; the "
                          "next attempt is in %2 second(s).",
                          target(), state.retryDelay));
        }
        _scheduleConnectTimer(state.answered == 0 ? state.retryDelay : 0);
        return;
    } catch (nbx::CException& failure) {
        // A failed exchange has closed the connection; a file that cannot be read has not.
        if (!state.connected) state.shown.state = CPublisherTLS::kUnreachable;
        state.failed(failure.text());
        _report(failure);
        delay = state.retryDelay;
    }
    _scheduleDispatchTimer(delay);
}

bool CPublisherTask::_heartbeat(std::uint32_t& delay) {
    CPublisherTLS& state = *m_state;
    delay = state.retryDelay;
    if (state.heartbeat == 0) return true;
    const auto now = std::chrono::steady_clock::now();
    const auto silent =
        std::chrono::duration_cast<std::chrono::seconds>(now - state.lastExchange).count();
    if (silent < static_cast<long long>(state.heartbeat)) {
        // The next look comes no later than the probe is due.
        const auto left = static_cast<std::uint32_t>(state.heartbeat - silent);
        delay = std::min(delay, std::max<std::uint32_t>(left, 1));
        return true;
    }
    try {
        state.client->commandResponse("set_context=" + state.family.string());
    } catch (CDHCPSyncOutdated&) {
        // Any judged answer shows the peer is there.
    } catch (CDHCPSyncClientServerError&) {
    } catch (nbx::CException& failure) {
        // The lost-connection path: the peer is marked away now, not when a change needs it.
        state.client->disconnect();
        state.connected = false;
        state.shown.state = CPublisherTLS::kUnreachable;
        state.failed(failure.text());
        _report(failure);
        _log(nbx::SEVERITY_WARNING,
             nbx::msg("Server %1 did not answer the heartbeat; the next attempt is in %2 "
                      "second(s).",
                      target(), state.retryDelay));
        _scheduleConnectTimer(state.retryDelay);
        return false;
    }
    state.lastExchange = std::chrono::steady_clock::now();
    delay = std::min(state.retryDelay, state.heartbeat);
    return true;
}

void CPublisherTask::_scan() {
    CPublisherTLS& state = *m_state;
    std::list<nbx::CDirEnt> found;
    try {
        nbx::CStat::findFiles(state.spoolDirectory, state.logPattern(), found, true);
    } catch (nbx::CException&) {
        // A spool not made yet is an empty one.
        found.clear();
    }
    state.backlog.update(found);
    state.lastScan = std::chrono::steady_clock::now();
    _showBacklog();
}

void CPublisherTask::_showBacklog() {
    CPublisherTLS& state = *m_state;
    state.showBacklog();
    const std::uint64_t records = state.shown.backlogRecords;
    const std::uint64_t age = state.shown.oldestAgeSeconds;
    switch (state.alarm.update(records, age)) {
        case CBacklogAlarm::Change::kRaised:
            _log(nbx::SEVERITY_WARNING,
                 nbx::msg("The replication backlog of server %1 is over its limit: %2 record(s) "
                          "waiting (limit %3), the oldest %4 second(s) old (limit %5).",
                          target(), records, state.alarm.recordLimit(), age,
                          state.alarm.secondLimit()));
            break;
        case CBacklogAlarm::Change::kCleared:
            _log(nbx::SEVERITY_INFO,
                 nbx::msg("The replication backlog of server %1 is back under its limits: %2 "
                          "record(s) waiting, the oldest %3 second(s) old.",
                          target(), records, age));
            break;
        case CBacklogAlarm::Change::kNone:
            break;
    }
}

void CPublisherTask::_refreshFiles() {
    CPublisherTLS& state = *m_state;
    state.files.clear();
    std::list<nbx::CDirEnt> found;
    nbx::CStat::findFiles(state.spoolDirectory, state.logPattern(), found, true);
    // The zero-padded version numbers make the byte order of the paths the closing order.
    found.sort(
        [](const nbx::CDirEnt& a, const nbx::CDirEnt& b) { return a.fullPath() < b.fullPath(); });
    state.backlog.update(found);
    state.lastScan = std::chrono::steady_clock::now();
    state.files.splice(state.files.end(), found);
    _showBacklog();
}

void CPublisherTask::_readSettings() {
    CPublisherTLS& state = *m_state;
    std::shared_ptr<const nbx::CConfig> config = state.services->config();
    if (!config) return;
    const unsigned family = static_cast<unsigned>(state.family.number());
    state.retryDelay = config->getULong(nbx::familyKey(family, "sync.interval"), state.retryDelay);
    // A zero delay would list the spool and retry the peer without pause.
    if (state.retryDelay == 0) state.retryDelay = 1;
    state.heartbeat =
        config->getULong(nbx::familyKey(family, "heartbeat.interval"), state.heartbeat);
    state.alarm.setLimits(config->getULong(nbx::familyKey(family, "sync.backlog_warn_records"),
                                           static_cast<std::uint32_t>(state.alarm.recordLimit())),
                          config->getULong(nbx::familyKey(family, "sync.backlog_warn_seconds"),
                                           static_cast<std::uint32_t>(state.alarm.secondLimit())));
    // A zero time-out would wait on a silent peer without limit, and so would a stop.
    const std::uint32_t seconds = config->getULong(nbx::familyKey(family, "sync.timeout"), 0);
    if (seconds == 0) return;
    const ACE_Time_Value timeout(static_cast<time_t>(seconds), 0);
    state.client->setHandshakeTimeout(timeout);
    state.client->setIoTimeout(timeout);
}

void CPublisherTask::_scheduleConnectTimer(std::uint32_t delaySeconds) {
    postScheduleTimer(kConnectTimerName, ACE_Time_Value(delaySeconds, 0), kConnectTimer);
}

void CPublisherTask::_scheduleDispatchTimer(std::uint32_t delaySeconds) {
    postScheduleTimer(kDispatchTimerName, ACE_Time_Value(delaySeconds, 0), kDispatchTimer);
}

void CPublisherTask::_log(std::uint32_t level, nbx::CMessage message) {
    message.setModule(kModule);
    m_state->services->logSink().log(level, message, nullptr);
}
