#pragma once
// The host's own view of its configuration objects in one protocol family: the record classes
// of the family on a session of the host's database, looked up by topic (text class name), OID
// or unique name, and the checks that the console makes before anything is stored.
//
// Both families use one database: a class without family variants (a policy, an account) is
// one set of objects seen from both; a class with variants (address pools, bindings) is seen
// by each family for its own variant only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/interface_registry.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "standard/string_map.h"

namespace host {

class CHostStore {
public:
    // Opens a session of the engine that `interfaces` offers as "CIDBFacadeFactory" with the
    // record classes of `family` (4 or 6).
    CHostStore(int family, CInterfaceRegistry& interfaces);
    ~CHostStore();
    CHostStore(const CHostStore&) = delete;
    CHostStore& operator=(const CHostStore&) = delete;

    // The topics an administrator and a peer may change: the replicated classes and
    // "replicate_peer".
    static bool serves(const std::string& topic);

    int family() const { return m_family; }
    // The calling thread's connection.
    CIDBConnection& connection() const { return m_session->connection(); }
    // Gives the calling thread's connection back (a console connection that ends).
    void releaseThread() const { m_session->releaseThread(); }

    // Throws "Unknown topic '%1'." for a topic that is not served.
    CPrstObjectPtr create(const std::string& topic) const;
    // The object, or null.
    CPrstObjectPtr find(const std::string& topic, std::uint32_t oid,
                        CDBTransactionHandle tx = 0) const;
    // The object of `topic` whose "name" is `name`, or null (also for a class without names).
    CPrstObjectPtr findByName(const std::string& topic, const std::string& name,
                              CDBTransactionHandle tx = 0) const;
    // Every object of `topic`, in increasing OID order.
    CPrstObjectList list(const std::string& topic) const;
    // At most `limit` objects of `topic` whose OID is greater than `after`, in increasing OID
    // order; `more` tells whether any is left after the last one. Reads one page only.
    CPrstObjectList page(const std::string& topic, std::uint32_t after, std::uint32_t limit,
                         bool& more) const;

    // Refuses an object whose name another object of its topic holds ("The name '%1' is taken
    // by %2 %3.") or whose references name objects that do not exist ("The %1 '%2' named by
    // key '%3' does not exist."), and a replication peer whose log directory would leave the
    // spool folder or is another peer's.
    void check(const CPrstUserBase& object, CDBTransactionHandle tx = 0) const;

private:
    CPrstDBProxy& _proxy(const std::string& topic) const;
    const CIPrstFactory& _factory(const std::string& topic) const;
    void _checkPeer(const CPrstUserBase& peer, const nbx::CStringMap& text,
                    CDBTransactionHandle tx) const;
    // The condition that selects the family's own class of `topic`.
    std::string _ownClass(const std::string& topic) const;

    int m_family;
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<CPrstDBSession> m_session;
};

}  // namespace host
