#pragma once
// What the host gives every plug-in it loads: its log sink and its feature set.

#include "dhcp_plugin_api/host_context.h"

namespace host {

class CHostContext : public CIHostContext {
public:
    // `log` is not owned and outlives every plug-in that holds the context.
    CHostContext(nbx::CILogSink& log, CIDHCPFeatureSetPtr features);

    nbx::CILogSink& logSink() override { return m_log; }
    CIDHCPFeatureSetPtr featureSet() override { return m_features; }

private:
    nbx::CILogSink& m_log;
    const CIDHCPFeatureSetPtr m_features;
};

}  // namespace host
