#include "operations/peer_list_client.h"

#include <ace/Time_Value.h>

#include <exception>

#include "standard/decimal.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

}  // namespace

CPeerListClient::CPeerListClient(const CProtocolFamily& family, const std::string& target,
                                 const std::string& user, const std::string& password)
    : CDHCPSyncClient(family, target, true) {
    setUser(user);
    setPassword(password);
    setIoTimeout(ACE_Time_Value(kListSeconds));
}

void CPeerListClient::list(const std::string& topic, std::uint32_t pageSize,
                           const BlockSink& sink) {
    const std::string limit = "limit=" + std::to_string(pageSize == 0 ? 1 : pageSize);
    bool first = true;
    std::uint32_t after = 0;
    for (;;) {
        const std::string command =
            "list " + topic + "\n" +
            (first ? "" : "after=" + std::to_string(static_cast<std::int32_t>(after)) + "\n") +
            limit;
        m_sink = &sink;
        m_sinkFailure = nullptr;
        m_lastOid.clear();
        std::string more;
        try {
            commandResponse(command).get("more", more);
        } catch (...) {
            m_sink = nullptr;
            throw;
        }
        m_sink = nullptr;
        if (m_sinkFailure) std::rethrow_exception(m_sinkFailure);
        // A peer that does not page answers the whole class at once, without "more".
        if (more != "yes") return;
        // Each page must end past the one before, or the listing would never end.
        std::uint32_t last = 0;
        if (!nbx::readOid(m_lastOid, last) || (!first && last <= after)) {
            NBX_THROW(nbx::CException, kModule, "CPeerListClient::list",
                      nbx::msg("Cannot list the objects of type '%1' on %2.", topic, target()),
                      nbx::msg("The peer says more objects follow, but its page ends at no "
                               "oid past %1.",
                               first ? std::string("the start")
                                     : std::to_string(static_cast<std::int32_t>(after))));
        }
        first = false;
        after = last;
    }
}

void CPeerListClient::onResponseBlock(const std::string& block) {
    nbx::CStringMap fields(block, "\n");
    // The closing block carries the code; every other block of a list is one object.
    if (!m_sink || fields.has("code")) {
        CDHCPSyncClient::onResponseBlock(block);
        return;
    }
    m_lastOid = fields.get("oid");
    // The rest of the answer must still be read off the connection: keep the first failure.
    if (m_sinkFailure) return;
    try {
        (*m_sink)(fields);
    } catch (...) {
        m_sinkFailure = std::current_exception();
    }
}
