#include "receiver/receiver_processor.h"

#include <cstdlib>

#include "dhcp_database/replicated_topics.h"
#include "receiver/receiver_tls.h"
#include "standard/string_map.h"
#include "standard/throw.h"

std::int32_t CReceiverProcessor::oidOf(const std::string& text) {
    // OIDs are unsigned 32-bit numbers written as signed ones: both forms map to one value.
    const long long value = std::strtoll(text.c_str(), nullptr, 0);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::string CReceiverProcessor::header(const std::string& topic, const std::string& operation,
                                       const std::string& eventTime, std::int32_t oid) {
    nbx::CStringMap entries;
    entries.set("_event_operation", operation);
    entries.set("_event_time", eventTime);
    entries.setLong("_oid", oid);
    return "sync_" + topic + "\n" + entries.string();
}

bool CReceiverProcessor::process(const CAppEventPtr& event, Record& record) {
    const CAppEvent& change = *event.get();
    const std::string& topic = change.topic();
    if (topic == "address_lease" || topic == "network_lease") return processLease(event, record);
    const std::int32_t oid = oidOf(change.oid());
    record.text = header(topic, change.type(), change.time().dateUTC(), oid);
    record.topic = topic;
    if (change.type() != "del") {
        std::string object;
        if (!serialize(topic, oid, object)) return false;
        record.text += object;
    }
    return true;
}

bool CReceiverProcessor::processLease(const CAppEventPtr& event, Record& record) {
    const CAppEvent& lease = *event.get();
    std::string operation;
    if (lease.type() == "obtain") {
        operation = "add";
    } else if (lease.type() == "renew") {
        operation = "modify";
    } else {
        return false;
    }
    const std::string topic =
        lease.topic() == "address_lease" ? "address_binding" : "network_binding";
    const std::int32_t oid = oidOf(lease.oid());
    std::string object;
    if (!serialize(topic, oid, object)) return false;
    record.text = header(topic, operation, lease.time().dateUTC(), oid) + object;
    record.topic = topic;
    return true;
}

bool CReceiverProcessor::serialize(const std::string& topic, std::int32_t oid, std::string& text) {
    if (!isReplicatedTopic(topic)) {
        m_state->log(nbx::SEVERITY_DEBUG,
                     nbx::msg("The sync module receiver is not configured to process objects of "
                              "type '%1'. This object is being discarded.",
                              topic));
        return false;
    }
    // The proxy of the topic builds the object of whichever registered class the stored
    // record names (the family's variant of a pool or a binding).
    CPrstObjectPtr object = m_state->session()[topic].findByOID(m_state->transaction(),
                                                                static_cast<std::uint32_t>(oid));
    if (!object) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CReceiverProcessor::serialize",
                  nbx::msg("Cannot read object %1 of type '%2'.", oid, topic),
                  nbx::msg("No such object."));
    }
    text = object->string();
    return true;
}
