#pragma once
// The database proxy of one prototype (text class name): builds objects from the records of its
// table, selects, counts, finds by OID, writes, rereads and removes records. Every failure
// throws nbx::CException with module "oodb_persistence"; no object is handed out half built.

#include <cstdint>
#include <string>

#include "oodb/db_engine.h"
#include "oodb_persistence/prst_user_base.h"
#include "standard/string_map.h"

class CPrstDBSession;
class CIPrstFactory;

class CPrstDBProxy {
public:
    // Name of the generic precompiled statement that finds a record by OID (argument "OID").
    static constexpr const char* kOIDStatement = "generic.oid";

    CPrstDBProxy(CPrstDBSession& session, const CIPrstFactory& factory);

    const std::string& prototype() const;
    const std::string& table() const;
    const CIPrstFactory& factory() const { return m_factory; }

    // The caller's condition with the key: "T.PK = <key>" for a key, "T.PK >= 0" for none
    // (kNoKey), joined to a non-empty condition with " AND ".
    static std::string condition(const std::string& where, std::uint32_t key);
    // A column-equality condition "T.<column> = '<value>'" (quotes doubled).
    static std::string equals(const std::string& column, const std::string& value);

    // A new, unstored object (of the proxy's class, or of `factory`'s for a class that shares
    // the table) with an OID drawn from the table's sequence.
    CPrstObjectPtr newObject(const CIPrstFactory* factory = nullptr) const;
    // The object whose top-level record has the key. A failing select throws "Cannot create a
    // clone from an existing database record." / "Unable to find record with primary key %1 in
    // table '%2'."; any count but one "Cannot create persistent object instance." / "Database
    // inconsistency with %1 matches for <%2,%3>.".
    CPrstObjectPtr create(CDBTransactionHandle tx, std::uint32_t key) const;
    // The objects whose records match (all for an empty condition), in key order.
    CPrstObjectList select(CDBTransactionHandle tx, const std::string& where = std::string(),
                           std::uint32_t key = kNoKey, std::uint32_t limit = 0) const;
    std::uint32_t count(CDBTransactionHandle tx, const std::string& where = std::string(),
                        std::uint32_t key = kNoKey) const;
    // The objects a precompiled statement selects.
    CPrstObjectList fastSelect(CDBTransactionHandle tx, const std::string& statement,
                               const nbx::CStringMap& arguments, std::uint32_t limit = 0) const;
    // The object with the OID through "generic.oid", or null.
    CPrstObjectPtr findByOID(CDBTransactionHandle tx, std::uint32_t oid) const;

    // One clone: write, undo (reread) and reread.
    void commit(CDBTransactionHandle tx, const CDBRecord& clone) const;
    void rollback(CDBTransactionHandle tx, CDBRecord& clone) const;
    void refresh(CDBTransactionHandle tx, CDBRecord& clone) const;
    void remove(CDBTransactionHandle tx, const CDBRecord& clone) const;
    // CPrstTableSeqNr: the next value of the table's sequence.
    std::uint32_t nextKey() const;

    // Builds the object of a top-level record: its class from the meta-class entry, its
    // further clones read by key.
    CPrstObjectPtr _extractPersist(CDBTransactionHandle tx, const CDBRecord& top) const;

private:
    // The single record of `table` with `key`, or the failure (message, reason) given.
    CDBRecord _reread(CDBTransactionHandle tx, const CDBRecord& clone, const char* function,
                      const char* message, const char* reason) const;

    CPrstDBSession& m_session;
    const CIPrstFactory& m_factory;
};
