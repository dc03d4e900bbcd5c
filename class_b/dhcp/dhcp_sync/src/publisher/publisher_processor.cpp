#include "publisher/publisher_processor.h"

#include <ctime>

#include "publisher/publisher_tls.h"
#include "resolver/resolver_task.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

}  // namespace

void CPublisherProcessor::execute(const std::string& directory, const std::string& name) {
    m_fileName = name;
    const std::string path = directory + "/" + name;
    if (m_owner->resumeFile != path) {
        m_owner->resumeFile = path;
        m_owner->resumeLine = 0;
    }
    nbx::CFileReader::execute(directory, name);
    // Every command answered: the log is done with, and so is its place.
    m_owner->resumeFile.clear();
    m_owner->resumeLine = 0;
}

void CPublisherProcessor::onCommand(const std::string& command, unsigned int line) {
    // Answered on an earlier connection.
    if (line <= m_owner->resumeLine) return;
    // Checked before each command rather than after the file: a long file against a live peer
    // must not keep stop() waiting.
    if (m_owner->stopping && m_owner->stopping->load()) {
        NBX_THROW(CExPublisherStopping, kModule, "CPublisherProcessor::onCommand",
                  nbx::msg("The dhcp sync publisher for server %1 is stopping.",
                           m_owner->client->target()),
                  nbx::CMessage());
    }
    CPeerMonitor::Answer answer = CPeerMonitor::Answer::kAcknowledged;
    try {
        const nbx::CStringMap& response = m_owner->client->commandResponse(command);
        // The client takes an answer without any result code for an acknowledgement; from a
        // peer that is garbage, and taking it would drop the record unapplied.
        if (!response.has("code")) {
            NBX_THROW(nbx::CException, kModule, "CPublisherProcessor::onCommand",
                      nbx::msg("Failed to send command '%1' to server %2.", command,
                               m_owner->client->target()),
                      nbx::msg("The remote server answered without a result code."));
        }
    } catch (CDHCPSyncOutdated& outdated) {
        // The peer kept its own object. The map is copied: the client's own map changes with
        // the next command.
        const nbx::CStringMap response(outdated.response());
        m_owner->resolver->conflict(m_owner->client->target(), response);
        answer = CPeerMonitor::Answer::kConflict;
    } catch (CDHCPSyncClientServerError& error) {
        // Retrying cannot help a record the peer finds wrong, and holding the file back would
        // block every later change to this peer; so the file goes on, but the operator gets
        // the record's place and the peer's reason.
        _rejected(error, line);
        answer = CPeerMonitor::Answer::kRejected;
    } catch (CDHCPSyncClientConnectFail&) {
        throw;  // the dispatch step reconnects
    } catch (nbx::CException&) {
        // A time-out, an answer too large or without a code, a failed write: where the
        // connection stands is unknown, and a late answer to this command would be taken for
        // the answer to the next. The file is tried again on a fresh connection.
        m_owner->client->disconnect();
        m_owner->connected = false;
        throw;
    }
    // Applied, kept by the peer or rejected: the peer answered.
    m_owner->resumeLine = line;
    ++m_owner->answered;
    m_owner->lastExchange = std::chrono::steady_clock::now();
    m_owner->monitor->answered(answer, static_cast<std::int64_t>(std::time(nullptr)));
}

void CPublisherProcessor::_rejected(CDHCPSyncClientServerError& error, unsigned int line) {
    error.setLineNumber(static_cast<std::int32_t>(line));
    error.setLogName(m_fileName);
    CIHostServices& services = *m_owner->services;
    // The peer's reason first, then where the record lies.
    nbx::CIExceptionFacade& facade = services.exceptionFacade();
    m_owner->failed(error.text());
    error.report(&facade);
    facade.flush();
    nbx::CMessage message = nbx::msg(
        "The dhcp sync publisher for server %1 encountered a semantic error when issuing the "
        "command ending at line number %2 from transaction log '%3'. Please review this command "
        "and fix the problem on the remote server. Synchronization will continue automatically "
        "when the remote server is capable of accepting the transaction.",
        m_owner->client->target(), error.lineNumber(), error.logName());
    message.setModule(kModule);
    services.logSink().log(nbx::SEVERITY_ERROR, message, nullptr);
}
