#pragma once
// The persistence machinery shared by every persistent class:
//
//   nbx::CObject -> CISecuredObject -> CIDBPersistentClass -> CPrstUserBase
//     -> CIPersistentObject<T> -> CFirstClassObject<T> -> CPersistentSecuredObject<T> -> record
//
// CPrstUserBase builds the object's attributes from its class declaration (CPrstClassDef),
// holds its id and context, writes and reads its text form and turns it into database records
// (clones, one per prototype) and back.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oodb/db_engine.h"
#include "oodb_persistence/prst_attr.h"
#include "oodb_persistence/prst_class_def.h"
#include "oodb_persistence/prst_context.h"
#include "oodb_persistence/prst_id.h"
#include "oodb_persistence/prst_meta_entry.h"
#include "security/access_token.h"
#include "standard/message.h"
#include "standard/string_map.h"
#include "standard/throw.h"

class CPrstDBProxy;

// An object mapped onto database records.
class CIDBPersistentClass : public CISecuredObject {
public:
    // The object's records, the top-level one first.
    virtual std::vector<CDBRecord> _clones() const = 0;
    // Sets the object from its records, the top-level one first.
    virtual void _extractClones(const std::vector<CDBRecord>& clones) = 0;
};

class CPrstUserBase : public CIDBPersistentClass {
public:
    // Builds the attributes of `def`. Without a context the object gets one of its own.
    explicit CPrstUserBase(const CPrstClassDef& def, CPrstContextPtr context = nullptr);
    CPrstUserBase(const CPrstUserBase& other);
    CPrstUserBase& operator=(const CPrstUserBase& other);
    ~CPrstUserBase() override;

    const CPrstClassDef& classDef() const { return *m_def; }
    std::string className() const override { return m_def->className(); }
    const std::string& textClassName() const { return m_def->textClassName(); }

    // --- attributes
    // Throws "Cannot register attribute '%1' in object of type '%2'." / "Attribute is already
    // registered." for a second attribute of one name.
    void registerAttr(std::unique_ptr<CIPrstAttr> attr);
    // Throws "Cannot find persistent attribute '%1'." / "No such attribute.".
    CIPrstAttr& attr(const std::string& name);
    const CIPrstAttr& attr(const std::string& name) const;
    bool hasAttr(const std::string& name) const { return m_attrs.count(name) != 0; }
    // The typed attribute; an attribute of another type throws "Cannot find persistent
    // attribute '%1'." / "The attribute holds another type.".
    template <class A>
    A& attrAs(const std::string& name);
    template <class A>
    const A& attrAs(const std::string& name) const;
    template <class T>
    const T& get(const std::string& name) const {
        return attrAs<CPrstAttr<T>>(name).value();
    }
    template <class T>
    void put(const std::string& name, const T& value) {
        attrAs<CPrstAttr<T>>(name).set(value);
    }
    // Attributes in declaration (then registration) order.
    const std::vector<CIPrstAttr*>& attributes() const { return m_order; }
    bool modified() const;
    void clearModified();

    // --- id and meta-class entry
    std::uint32_t oid() const { return m_id.top().id; }
    void setOID(std::uint32_t oid);
    const CPrstID& id() const { return m_id; }
    CPrstMetaEntry metaEntry() const { return {m_def->className(), m_def->complex()}; }
    // Set for an object that has not been stored yet (or was removed): a commit must write it
    // even when no attribute changed.
    bool pendingWrite() const { return m_pendingWrite; }
    void setPendingWrite(bool pending) { m_pendingWrite = pending; }
    virtual bool isFirstClass() const { return false; }

    // First-class operations for a caller that knows the object only by this base (a console
    // that serves every class). `stampModTime` false keeps the object's "mod_time" as it is: a
    // replicated object carries the time of the change on its origin.
    void commitObject(CDBTransactionHandle tx, bool stampModTime = true) {
        _commit(tx, stampModTime);
    }
    void removeObject(CDBTransactionHandle tx) { _remove(tx); }

    // --- context
    CPrstContext& context() const { return *m_context; }
    const CPrstContextPtr& contextPtr() const { return m_context; }
    void setContext(CPrstContextPtr context);

    // --- text form
    // The keys of the declaration in a case-sensitive map, written in key order.
    std::string string() const override;
    // Parses with separator "\n", no quote character, case-sensitive keys, then _set.
    bool string(const std::string& text) override;
    // "oid" first (first-class objects), then _preDeserialize, then every row in declaration
    // order: a missing required key throws, a present key is applied, an absent one is left
    // alone; then _postDeserialize. Unknown keys are ignored. Every failure of the rows names
    // the class's module and site.
    virtual void _set(const nbx::CStringMap& map);
    virtual void _preDeserialize(const nbx::CStringMap&) {}
    virtual void _postDeserialize(const nbx::CStringMap&) {}
    // Fills `map` with the object's keys ("oid" for a first-class object).
    virtual void _write(nbx::CStringMap& map) const;

    // --- security
    std::uint32_t securedId() const override { return oid(); }
    std::string securedClassName() const override { return textClassName(); }

    // --- records
    std::vector<CDBRecord> _clones() const override;
    void _extractClones(const std::vector<CDBRecord>& clones) override;

    // Throws E with the class's failure text (or `text`), `reason`, the class's module and site.
    // `file` and `line` are left to their defaults: they name the caller, so that the record
    // points at the rule that failed rather than at this helper.
    template <class E = nbx::CException>
    [[noreturn]] void _fail(nbx::CMessage reason, const std::string& text = std::string(),
                            const char* file = __builtin_FILE(),
                            std::uint32_t line = __builtin_LINE()) const {
        throw nbx::makeException<E>(_site(nullptr, file, line),
                                    nbx::CMessage(text.empty() ? m_def->failureText() : text),
                                    std::move(reason));
    }
    // Throws E with a message of its own (one with arguments), `reason`, the class's module and
    // `function` as the site (the class's site when empty): for rules that have their own
    // texts or are reported under a function of their own.
    // `file` and `line` name the caller, as for _fail.
    template <class E = nbx::CException>
    [[noreturn]] void _failWith(nbx::CMessage message, nbx::CMessage reason,
                                const std::string& function = std::string(),
                                const char* file = __builtin_FILE(),
                                std::uint32_t line = __builtin_LINE()) const {
        throw nbx::makeException<E>(
            _site(function.empty() ? nullptr : function.c_str(), file, line), std::move(message),
            std::move(reason));
    }

    // One of the object's records on its own, named by its prototype (the top-level one by its
    // table or text class name): written, undone or reread, the object taking the reread
    // values. "Cannot refresh, rollback or commit a clone." / "Unable to find prototype '%1'."
    // for a prototype the object has no record in.
    enum class CCloneOp { kRefresh, kRollback, kCommit };
    void _callClone(CDBTransactionHandle tx, const std::string& prototype, CCloneOp operation);

protected:
    // Tests the declaration against the attributes and prototypes: "Unable to initialize
    // persistent object of type '%1'." with the reason "The definition of persistent class
    // '%1' does not match its persistent attributes.", "Unable to find required prototype
    // '%1'." or "Simple persistent class illegally refers to prototype '%2'.".
    void _checkPersistence() const;

    // First-class operations through the session of the context (CFirstClassObject).
    void _commit(CDBTransactionHandle tx, bool stampModTime = true);
    void _refresh(CDBTransactionHandle tx);
    void _rollback(CDBTransactionHandle tx);
    void _remove(CDBTransactionHandle tx);
    CPrstDBProxy& _proxy() const;

    // Puts the meta-class entry into the top-level record and keys every further record by the
    // object's id in its prototype. "Failed to find clone '%1.%2' when initializating foreign
    // keys for meta-class entry." / "No such clone." when the object has no id there.
    void _updateMetaEntry(std::vector<CDBRecord>& clones) const;

private:
    nbx::CThrowSite _site(const char* function, const char* file, std::uint32_t line) const;
    void _postConstruction();
    void _copyAttributes(const CPrstUserBase& other);
    void _reload(CDBTransactionHandle tx, bool rollback);

    const CPrstClassDef* m_def;
    CPrstContextPtr m_context;
    std::map<std::string, std::unique_ptr<CIPrstAttr>> m_attrs;
    std::vector<CIPrstAttr*> m_order;
    CPrstID m_id;
    bool m_pendingWrite = true;
};

namespace prst {
[[noreturn]] void throwAttrType(const CPrstUserBase& owner, const std::string& name);
}

template <class A>
A& CPrstUserBase::attrAs(const std::string& name) {
    A* typed = dynamic_cast<A*>(&attr(name));
    if (!typed) prst::throwAttrType(*this, name);
    return *typed;
}

template <class A>
const A& CPrstUserBase::attrAs(const std::string& name) const {
    const A* typed = dynamic_cast<const A*>(&attr(name));
    if (!typed) prst::throwAttrType(*this, name);
    return *typed;
}

using CPrstObjectPtr = std::unique_ptr<CPrstUserBase>;
using CPrstObjectList = std::vector<CPrstObjectPtr>;
