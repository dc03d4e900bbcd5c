#pragma once
// The outcomes of a sync command that the publisher tells apart by type.

#include <cstdint>
#include <string>

#include "standard/exception.h"
#include "standard/string_map.h"

// The connection cannot be made, or the peer closed it during a command.
NBX_DECLARE_EXCEPTION(CDHCPSyncClientConnectFail, nbx::CException);

// The remote server answered "nak". The transaction-log position is filled in by whoever knows it.
class CDHCPSyncClientServerError : public nbx::CException {
public:
    CDHCPSyncClientServerError() = default;
    explicit CDHCPSyncClientServerError(const nbx::CException& other) : nbx::CException(other) {}
    CDHCPSyncClientServerError* clone() const override {
        return new CDHCPSyncClientServerError(*this);
    }

    std::int32_t lineNumber() const { return m_lineNumber; }
    void setLineNumber(std::int32_t line) { m_lineNumber = line; }
    const std::string& logName() const { return m_logName; }
    void setLogName(const std::string& name) { m_logName = name; }

private:
    std::int32_t m_lineNumber = 0;
    std::string m_logName;
};

// The remote server acknowledged with a message: the change is outdated there. Carries the
// fields of the response's last block.
class CDHCPSyncOutdated : public nbx::CException {
public:
    CDHCPSyncOutdated() = default;
    explicit CDHCPSyncOutdated(const nbx::CException& other) : nbx::CException(other) {}
    CDHCPSyncOutdated* clone() const override { return new CDHCPSyncOutdated(*this); }

    const nbx::CStringMap& response() const { return m_response; }
    void setResponse(const nbx::CStringMap& response) { m_response = response; }

private:
    nbx::CStringMap m_response;
};
