#include "resolver/resolver_task.h"

#include <ace/Thread.h>
#include <ace/Time_Value.h>

#include "extended/config_names.h"
#include "standard/stat.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr std::uintptr_t kResolverTimer = 2;

std::string conflictLogName(const CProtocolFamily& family) {
    return "conflicts." + family.string() + ".log";
}

}  // namespace

CResolverTask::CResolverTask(CIDHCPContext& context, const std::string& directory,
                             const CProtocolFamily& family)
    : CCommandQueueTask<CSTGeneralReactor>(&context.services(), context.name() + "-sync-resolver",
                                           1),
      m_state(new CResolverTLS(&context.services())),
      m_log(new CLockableVersionedFileStream(this, directory, conflictLogName(family),
                                             conflictLogName(family))),
      m_instanceName(context.name()),
      m_family(family) {}

CResolverTask::~CResolverTask() {
    // The loop runs this class's timer handler: it must end before the state goes.
    stop();
}

std::string CResolverTask::logPath() const {
    return m_log->workingPath();
}

void CResolverTask::conflict(const std::string& target, const nbx::CStringMap& response) {
    // Written out by hand so that the record does not depend on the separator the map was
    // parsed with.
    std::string entries;
    for (const auto& entry : response) entries += entry.first + "=" + entry.second + "\n";
    const std::string record = "_target=" + target + "\n" + entries + "\n\n";
    {
        // One lock for the whole record, so that two publishers' records never interleave; the
        // stream hands each record to the system before the lock goes.
        CConflictLogPtr::Proxy log = m_log.operator->();
        if (!log->isOpen()) _makeDirectory(m_log.get()->versionStat().directory());
        log->write(record);
    }
    nbx::CMessage message = nbx::msg("Conflict on server %1 with object %2.", target, entries);
    message.setModule(kModule);
    m_state->services->logSink().log(nbx::SEVERITY_ERROR, message, nullptr);
}

std::int32_t CResolverTask::init() {
    try {
        _readInterval();
        const std::int32_t result = CCommandQueueTask<CSTGeneralReactor>::init();
        // The single-threaded reactor takes timers from the thread that runs its loop.
        m_reactor->owner(ACE_Thread::self());
        _scheduleTimer(0);
        return result;
    } catch (nbx::CException& failure) {
        _report(failure);
        m_state->services->releaseThread();
        return 10;
    }
}

std::int32_t CResolverTask::svcLoop() {
    _log(nbx::SEVERITY_DEBUG, nbx::msg("The dhcp sync resolver is running."));
    handleEvents(nullptr);
    m_reactor->cancel_timer(this, 1);
    _log(nbx::SEVERITY_DEBUG, nbx::msg("The dhcp sync resolver has exited."));
    m_state->services->releaseThread();
    return status();
}

int CResolverTask::handle_timeout(const ACE_Time_Value&, const void*) {
    _scheduleTimer(m_state->interval);
    return 0;
}

void CResolverTask::_scheduleTimer(std::uint32_t delaySeconds) {
    const long id = m_reactor->schedule_timer(this, reinterpret_cast<const void*>(kResolverTimer),
                                              ACE_Time_Value(delaySeconds, 0));
    if (id < 0) _log(nbx::SEVERITY_ERROR, nbx::msg("Failed to schedule a resolver timer."));
}

void CResolverTask::_readInterval() {
    std::shared_ptr<const nbx::CConfig> config = m_state->services->config();
    if (!config) return;
    m_state->interval =
        config->getULong(nbx::familyKey(static_cast<unsigned>(m_family.number()), "sync.interval"),
                         m_state->interval);
    // A zero interval would re-arm the timer without pause.
    if (m_state->interval == 0) m_state->interval = 1;
}

void CResolverTask::_makeDirectory(const std::string& directory) {
    if (const int error = nbx::CStat::makeDirectory(directory, true)) {
        NBX_THROW_STATIC_CODE(nbx::CException, kModule, "CResolverTask::conflict",
                              nbx::msg("Cannot create directory '%1'.", directory), nbx::CMessage(),
                              static_cast<std::uint32_t>(error));
    }
}

void CResolverTask::_log(std::uint32_t level, nbx::CMessage message) {
    message.setModule(kModule);
    m_state->services->logSink().log(level, message, nullptr);
}
