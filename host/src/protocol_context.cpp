#include "host/protocol_context.h"

namespace host {

CProtocolContext::CProtocolContext(CProtocolFamily family, const std::string& name,
                                   CIHostContext& hostContext, CIHostServices& services)
    : m_family(family), m_name(name), m_hostContext(hostContext), m_services(services) {}

void CProtocolContext::close() {
    ++m_closeCount;
}

}  // namespace host
