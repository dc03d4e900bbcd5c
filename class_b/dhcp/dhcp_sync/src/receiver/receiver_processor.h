#pragma once
// Turns one system-bus event about a configuration object into one transaction-log record, which
// the receiver state then appends to the spool of every peer that wants it.
//
// A record is the header "sync_<topic>", the event entries "_event_operation", "_event_time"
// and "_oid", for "add" and "modify" the object's text form as the database holds it now, and
// an empty line.

#include <cstdint>
#include <string>

#include "dhcp_plugin_api/system_bus.h"

class CReceiverTLS;

class CReceiverProcessor {
public:
    struct Record {
        std::string text;
        std::string topic;
    };

    explicit CReceiverProcessor(CReceiverTLS* state) : m_state(state) {}

    // The record of an event of any topic but "config" and "replicate_peer", read inside the
    // caller's transaction; false when the event is not replicated.
    bool process(const CAppEventPtr& event, Record& record);
    // "address_lease" and "network_lease": "obtain" becomes an "add" and "renew" a "modify" of
    // the binding; the other lease events are not replicated.
    bool processLease(const CAppEventPtr& event, Record& record);
    // The text form of the object into `text`. False, with a debug note in the log, for a topic
    // that is not replicated; an object that cannot be read throws.
    bool serialize(const std::string& topic, std::int32_t oid, std::string& text);

    // An event's object id: decimal, "0x" hexadecimal or "0" octal, as signed 32 bits.
    static std::int32_t oidOf(const std::string& text);
    // The record without its object text; `eventTime` as CTimeT::dateUTC writes it.
    static std::string header(const std::string& topic, const std::string& operation,
                              const std::string& eventTime, std::int32_t oid);

private:
    CReceiverTLS* m_state;  // not owned
};
