#pragma once
// A console session to a replication peer that reads a whole "list <topic>" answer block by
// block: each object's block goes to the caller as it arrives, so that no list is ever held
// whole. Logs in with the peer record's credentials and sends "set_context=<family>" first.

#include <cstdint>
#include <functional>
#include <string>

#include "dhcp_sync/sync_client.h"

class CPeerListClient : public CDHCPSyncClient {
public:
    // The longest a whole list answer may take to arrive.
    static constexpr std::int32_t kListSeconds = 300;

    using BlockSink = std::function<void(const nbx::CStringMap& object)>;

    CPeerListClient(const CProtocolFamily& family, const std::string& target,
                    const std::string& user, const std::string& password);

    // Sends "list <topic>" and hands every object block to `sink`, in the order the peer
    // sent them. Throws as commandResponse does (a "nak", a lost connection); an exception from
    // `sink` passes on once the answer has been read.
    void list(const std::string& topic, const BlockSink& sink);

    void onResponseBlock(const std::string& block) override;

private:
    const BlockSink* m_sink = nullptr;
    std::exception_ptr m_sinkFailure;
};
