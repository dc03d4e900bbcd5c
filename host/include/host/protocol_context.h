#pragma once
// One protocol instance of the host (IPv4 or IPv6) as a plug-in sees it.

#include <atomic>
#include <string>

#include "dhcp_plugin_api/dhcp_context.h"

namespace host {

class CProtocolContext : public CIDHCPContext {
public:
    // `hostContext` and `services` are not owned and outlive the context.
    CProtocolContext(CProtocolFamily family, const std::string& name, CIHostContext& hostContext,
                     CIHostServices& services);

    CProtocolFamily family() const override { return m_family; }
    const std::string& name() const override { return m_name; }
    CIHostContext& hostContext() override { return m_hostContext; }
    CIHostServices& services() override { return m_services; }
    // The instance's sync service closes once per start; the count tells the host it did.
    void close() override;

    int closeCount() const { return m_closeCount.load(); }

private:
    const CProtocolFamily m_family;
    const std::string m_name;
    CIHostContext& m_hostContext;
    CIHostServices& m_services;
    std::atomic<int> m_closeCount{0};
};

}  // namespace host
