#pragma once
// The database proxy of one prototype (text class name): builds objects from the records of its
// table, selects, counts, finds by OID, runs precompiled statements, writes, rereads and removes
// records. Every failure throws nbx::CException with module "oodb_persistence"; no object is
// handed out half built.
//
// Selections come in two kinds. A plain selection (_select) reads the top-level records and,
// object by object as _selectNext hands them out, each object's records in the further
// prototypes. A traverse (_selectTraverse) reads the further prototypes' records of all the
// selected objects at once, one select per prototype: for complex classes it costs a few
// selects instead of one per object and prototype.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "oodb/db_engine.h"
#include "oodb_persistence/prst_user_base.h"
#include "standard/string_map.h"

class CPrstDBSession;
class CIPrstFactory;

// A selection in progress: the top-level records of one select (with, for a traverse, the
// further prototypes' records read alongside), handed out as objects by _selectNext.
class CPrstDBSelection {
public:
    std::size_t size() const { return m_records.size(); }
    bool atEnd() const { return m_next >= m_records.size(); }
    bool traversed() const { return m_traversed; }

private:
    friend class CPrstDBProxy;

    CDBRecordList m_records;
    std::size_t m_next = 0;
    bool m_traversed = false;
    // Further prototype -> key -> record (a traverse only).
    std::map<std::string, std::map<std::uint32_t, CDBRecord>> m_nested;
};

class CPrstDBProxy {
public:
    // Name of the generic precompiled statement that finds a record by OID (argument "OID").
    static constexpr const char* kOIDStatement = "generic.oid";
    // Column of a counting statement's single row.
    static constexpr const char* kCountColumn = "COUNT";

    CPrstDBProxy(CPrstDBSession& session, const CIPrstFactory& factory);
    virtual ~CPrstDBProxy() = default;
    CPrstDBProxy(const CPrstDBProxy&) = delete;
    CPrstDBProxy& operator=(const CPrstDBProxy&) = delete;

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

    // Selections. _select: "Cannot execute select in table '%1'."; _selectTraverse: "Cannot
    // execute select traverse from table '%1'."; _selectNext (null at the end): "Cannot select
    // next in table '%1'."; each with "The operation failed.".
    CPrstDBSelection _select(CDBTransactionHandle tx, const std::string& where = std::string(),
                             std::uint32_t key = kNoKey, std::uint32_t limit = 0) const;
    CPrstDBSelection _selectTraverse(CDBTransactionHandle tx,
                                     const std::string& where = std::string(),
                                     std::uint32_t key = kNoKey, std::uint32_t limit = 0) const;
    CPrstObjectPtr _selectNext(CDBTransactionHandle tx, CPrstDBSelection& selection) const;
    // Counts. _selectCount, of the matching top-level records: "Cannot select in table '%1'.";
    // _selectCountTraverse, of the matching objects that have a record in every further
    // prototype: "Cannot select traverse count in table '%1'.".
    std::uint32_t _selectCount(CDBTransactionHandle tx, const std::string& where = std::string(),
                               std::uint32_t key = kNoKey) const;
    std::uint32_t _selectCountTraverse(CDBTransactionHandle tx,
                                       const std::string& where = std::string(),
                                       std::uint32_t key = kNoKey) const;
    // The number in the "COUNT" column of a counting statement's single row. "Cannot retrieve
    // number of rows in table '%1'." / "The operation failed." for anything else.
    std::uint32_t _getCountResult(const CDBRecordList& rows) const;

    // Every object that matches, in key order (a traverse).
    CPrstObjectList select(CDBTransactionHandle tx, const std::string& where = std::string(),
                           std::uint32_t key = kNoKey, std::uint32_t limit = 0) const;
    std::uint32_t count(CDBTransactionHandle tx, const std::string& where = std::string(),
                        std::uint32_t key = kNoKey) const {
        return _selectCount(tx, where, key);
    }

    // Precompiled statements, opened on first use (_openIfReq). fastSelect: the objects the
    // statement selects ("Cannot fast select in table '%1'."). fastDerived: the named column of
    // the statement's first row, empty when there is no row or the value is NULL ("Cannot
    // derive column value in table '%1'."). fastCount: the statement's "COUNT" (see
    // _getCountResult). Each with "The operation failed.".
    CPrstObjectList fastSelect(CDBTransactionHandle tx, const std::string& statement,
                               const nbx::CStringMap& arguments, std::uint32_t limit = 0) const;
    std::optional<std::string> fastDerived(CDBTransactionHandle tx, const std::string& statement,
                                           const nbx::CStringMap& arguments,
                                           const std::string& column) const;
    std::uint32_t fastCount(CDBTransactionHandle tx, const std::string& statement,
                            const nbx::CStringMap& arguments) const;
    // The object with the OID through "generic.oid", or null.
    CPrstObjectPtr findByOID(CDBTransactionHandle tx, std::uint32_t oid) const;

    // One clone: write, undo (reread) and reread.
    void commit(CDBTransactionHandle tx, const CDBRecord& clone) const;
    void rollback(CDBTransactionHandle tx, CDBRecord& clone) const;
    void refresh(CDBTransactionHandle tx, CDBRecord& clone) const;
    void remove(CDBTransactionHandle tx, const CDBRecord& clone) const;
    // The first records of a new object in its further prototypes. "Cannot create new database
    // records." / "Unable to create a new nested record in table '%1'.".
    void createTraverse(CDBTransactionHandle tx, const std::vector<CDBRecord>& nested) const;
    // CPrstTableSeqNr: the next value of the table's sequence.
    std::uint32_t nextKey() const;

    // Builds the object of a top-level record: its class from the meta-class entry, its
    // further clones read by key.
    CPrstObjectPtr _extractPersist(CDBTransactionHandle tx, const CDBRecord& top) const;

protected:
    // Makes sure the statement can run on the table before it first does; throws when it
    // cannot. The plain proxy leaves that to the engine.
    virtual void _openIfReq(const std::string& statement) const { (void)statement; }

    CPrstDBSession& m_session;

private:
    // Runs a precompiled statement; failures other than _openIfReq's throw `message`.
    CDBRecordList _run(CDBTransactionHandle tx, const std::string& statement,
                       const nbx::CStringMap& arguments, std::uint32_t limit, const char* function,
                       const char* message) const;
    // The class of a top-level record (its meta-class entry may name a class sharing the table).
    const CIPrstFactory& _factoryOf(const CDBRecord& top) const;
    // Builds the object from the top record and its further clones (found by `nested`).
    CPrstObjectPtr _build(const CDBRecord& top, const CIPrstFactory& factory,
                          const std::vector<CDBRecord>& further) const;
    // The single record of `table` with `key`, or the failure (message, reason) given.
    CDBRecord _reread(CDBTransactionHandle tx, const CDBRecord& clone, const char* function,
                      const char* message, const char* reason) const;

    const CIPrstFactory& m_factory;
};

// The default proxy: compiles each precompiled statement for its table when first needed and
// remembers the outcome, so that a statement that cannot work fails the same way each time
// without reaching the engine again.
class CPrstDefDBProxy : public CPrstDBProxy {
public:
    using CPrstDBProxy::CPrstDBProxy;

protected:
    // A statement that does not apply to the table: "Unable to open precompiled statement." /
    // "Statement %1 in table %2 is illegal.". One that did not compile: the first time
    // "Precompiled statement %1, deemed unusable." (or "Generic precompiled statement <%1,%2>,
    // deemed unusable.") / "Error when compiled: %1" with the engine's reason; afterwards
    // "Unable to open precompiled statement '%1'." (or "Unable to open generic precompiled
    // statement <%1,%2>.") / "Statement didn't compile.".
    void _openIfReq(const std::string& statement) const override;

private:
    mutable std::mutex m_mutex;
    mutable std::map<std::string, CDBStatementState> m_opened;
};
