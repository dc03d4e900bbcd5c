#pragma once
// The persistence context shared by the objects of one session: the raw-ids flag (references
// written as decimal OIDs instead of names; off by default), the session and transaction through
// which references by name are looked up, the class registry (known text class names) and the
// host configuration, and the DHCP contexts' JSON-options flag.

#include <memory>

#include "oodb/db_engine.h"

namespace nbx {
class CConfig;
}
class CPrstDBSession;
class CIPrstAbstractFactory;

class CPrstContext {
public:
    bool rawIds() const { return m_rawIds; }
    void setRawIds(bool rawIds) { m_rawIds = rawIds; }

    CPrstDBSession* session() const { return m_session; }
    void setSession(CPrstDBSession* session) { m_session = session; }
    // Transaction of the lookups made while objects are converted (0: outside any).
    CDBTransactionHandle transaction() const { return m_transaction; }
    void setTransaction(CDBTransactionHandle transaction) { m_transaction = transaction; }

    const CIPrstAbstractFactory* registry() const { return m_registry; }
    void setRegistry(const CIPrstAbstractFactory* registry) { m_registry = registry; }

    // DHCP contexts: records carry their options as one JSON "options" value instead of option
    // lines appended to their text.
    bool jsonOptions() const { return m_jsonOptions; }
    void setJsonOptions(bool jsonOptions) { m_jsonOptions = jsonOptions; }

    const nbx::CConfig* config() const { return m_config; }
    void setConfig(const nbx::CConfig* config) { m_config = config; }

private:
    bool m_rawIds = false;
    bool m_jsonOptions = false;
    CPrstDBSession* m_session = nullptr;
    CDBTransactionHandle m_transaction = 0;
    const CIPrstAbstractFactory* m_registry = nullptr;
    const nbx::CConfig* m_config = nullptr;
};

using CPrstContextPtr = std::shared_ptr<CPrstContext>;
