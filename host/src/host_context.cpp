#include "host/host_context.h"

#include <utility>

namespace host {

CHostContext::CHostContext(nbx::CILogSink& log, CIDHCPFeatureSetPtr features)
    : m_log(log), m_features(std::move(features)) {}

}  // namespace host
