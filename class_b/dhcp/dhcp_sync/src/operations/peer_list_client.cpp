#include "operations/peer_list_client.h"

#include <ace/Time_Value.h>

#include <exception>

CPeerListClient::CPeerListClient(const CProtocolFamily& family, const std::string& target,
                                 const std::string& user, const std::string& password)
    : CDHCPSyncClient(family, target, true) {
    setUser(user);
    setPassword(password);
    setIoTimeout(ACE_Time_Value(kListSeconds));
}

void CPeerListClient::list(const std::string& topic, const BlockSink& sink) {
    m_sink = &sink;
    m_sinkFailure = nullptr;
    try {
        commandResponse("list " + topic);
    } catch (...) {
        m_sink = nullptr;
        throw;
    }
    m_sink = nullptr;
    if (m_sinkFailure) std::rethrow_exception(m_sinkFailure);
}

void CPeerListClient::onResponseBlock(const std::string& block) {
    nbx::CStringMap fields(block, "\n");
    // The closing block carries the code; every other block of a list is one object.
    if (!m_sink || fields.has("code")) {
        CDHCPSyncClient::onResponseBlock(block);
        return;
    }
    // The rest of the answer must still be read off the connection: keep the first failure.
    if (m_sinkFailure) return;
    try {
        (*m_sink)(fields);
    } catch (...) {
        m_sinkFailure = std::current_exception();
    }
}
