#pragma once
// The features this host runs. The host has no licence file: what it runs is configured.

#include "dhcp_plugin_api/host_context.h"

namespace host {

class CFeatureSet : public CIDHCPFeatureSet {
public:
    explicit CFeatureSet(bool syncEnabled) : m_syncEnabled(syncEnabled) {}

    bool syncEnabled() const override;

private:
    const bool m_syncEnabled;
};

}  // namespace host
