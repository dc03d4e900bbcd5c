#pragma once
// A console session to a replication peer that reads a class a page at a time ("list <topic>"
// with "after" and "limit"), block by block: each object's block goes to the caller as it
// arrives, so that neither side ever holds more than a page. Logs in with the peer record's
// credentials and sends "set_context=<family>" first.

#include <cstdint>
#include <functional>
#include <string>

#include "dhcp_sync/sync_client.h"

class CPeerListClient : public CDHCPSyncClient {
public:
    // The longest one page may take to arrive. A page of a thousand objects is a few MiB; a
    // class of any size takes as many deadlines as it has pages.
    static constexpr std::int32_t kListSeconds = 60;

    using BlockSink = std::function<void(const nbx::CStringMap& object)>;

    CPeerListClient(const CProtocolFamily& family, const std::string& target,
                    const std::string& user, const std::string& password);

    // Asks for `topic` in pages of at most `pageSize` objects, each after the last OID of the
    // one before, until the peer answers "more=no" (or, not paging, no "more" at all), and
    // hands every object block to `sink` in the order the peer sent them. Throws as
    // commandResponse does (a "nak", a lost connection), and when the peer says there is more
    // but its page ends at no OID after the previous one; an exception from `sink` passes on
    // once its page has been read.
    void list(const std::string& topic, std::uint32_t pageSize, const BlockSink& sink);

    void onResponseBlock(const std::string& block) override;

private:
    const BlockSink* m_sink = nullptr;
    std::exception_ptr m_sinkFailure;
    std::string m_lastOid;  // of the page's last object block
};
