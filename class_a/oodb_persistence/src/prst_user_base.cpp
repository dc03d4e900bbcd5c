#include "oodb_persistence/prst_user_base.h"

#include <algorithm>

#include <set>

#include "oodb_persistence/prst_attr_functor.h"
#include "oodb_persistence/prst_db_session.h"
#include "standard/time_t.h"

namespace {

constexpr const char* kExtractSite =
    "CPrstUserClassPrototype<USER_CLASS,USER_DERIVED>::_extractPersist";

}  // namespace

namespace prst {
void throwAttrType(const CPrstUserBase& owner, const std::string& name) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::attr",
                     nbx::msg("Cannot find persistent attribute '%1'.", name),
                     nbx::msg("The attribute of '%1' holds another type.", owner.className()));
}
}  // namespace prst

CPrstUserBase::CPrstUserBase(const CPrstClassDef& def, CPrstContextPtr context)
    : m_def(&def), m_context(context ? std::move(context) : std::make_shared<CPrstContext>()) {
    m_id.setTop({def.textClassName(), kNoKey});
    _checkPersistence();
    _postConstruction();
}

CPrstUserBase::CPrstUserBase(const CPrstUserBase& other)
    : CIDBPersistentClass(other),
      m_def(other.m_def),
      m_context(other.m_context),
      m_id(other.m_id),
      m_pendingWrite(other.m_pendingWrite) {
    _copyAttributes(other);
}

CPrstUserBase& CPrstUserBase::operator=(const CPrstUserBase& other) {
    if (this != &other) {
        m_def = other.m_def;
        m_context = other.m_context;
        m_id = other.m_id;
        m_pendingWrite = other.m_pendingWrite;
        _copyAttributes(other);
    }
    return *this;
}

CPrstUserBase::~CPrstUserBase() {}

void CPrstUserBase::_copyAttributes(const CPrstUserBase& other) {
    std::map<std::string, std::unique_ptr<CIPrstAttr>> attrs;
    std::vector<CIPrstAttr*> order;
    for (const CIPrstAttr* attr : other.m_order) {
        std::unique_ptr<CIPrstAttr> copy = attr->clone();
        order.push_back(copy.get());
        attrs[attr->name()] = std::move(copy);
    }
    m_attrs.swap(attrs);
    m_order.swap(order);
}

void CPrstUserBase::_checkPersistence() const {
    auto fail = [this](nbx::CMessage reason) {
        throw nbx::makeException(
            NBX_SITE(NBX_MODULE_TAG, "CPrstUserBase::_checkPersistence"),
            nbx::msg("Unable to initialize persistent object of type '%1'.", m_def->className()),
            std::move(reason));
    };
    auto mismatch = [&]() {
        fail(
            nbx::msg("The definition of persistent class '%1' does not match its persistent "
                     "attributes.",
                     m_def->className()));
    };
    if (m_def->className().empty() || m_def->table().empty()) mismatch();
    std::set<std::pair<std::string, std::string>> columns;
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.name.empty() || !row.make) mismatch();
        if (!row.prototype.empty()) {
            if (!m_def->complex()) {
                fail(nbx::msg("Simple persistent class illegally refers to prototype '%2'.",
                              m_def->className(), row.prototype));
            }
            bool found = false;
            for (const std::string& prototype : m_def->prototypes())
                found |= prototype == row.prototype;
            if (!found) fail(nbx::msg("Unable to find required prototype '%1'.", row.prototype));
        }
        if (row.column.empty()) continue;
        if (!CPrstFieldType::known(row.type) || row.column == CPrstClassDef::kMetaColumn ||
            row.column == "PK" || !columns.insert({row.prototype, row.column}).second) {
            mismatch();
        }
    }
}

void CPrstUserBase::_postConstruction() {
    for (const CPrstFieldDef& row : m_def->fields()) registerAttr(row.make(row));
    for (const std::string& prototype : m_def->prototypes()) m_id.set({prototype, oid()});
}

void CPrstUserBase::registerAttr(std::unique_ptr<CIPrstAttr> attr) {
    if (!attr) return;
    if (m_attrs.count(attr->name())) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::registerAttr",
                  nbx::msg("Cannot register attribute '%1' in object of type '%2'.", attr->name(),
                           m_def->className()),
                  nbx::msg("Attribute is already registered."));
    }
    m_order.push_back(attr.get());
    m_attrs[attr->name()] = std::move(attr);
}

CIPrstAttr& CPrstUserBase::attr(const std::string& name) {
    return const_cast<CIPrstAttr&>(static_cast<const CPrstUserBase*>(this)->attr(name));
}

const CIPrstAttr& CPrstUserBase::attr(const std::string& name) const {
    auto found = m_attrs.find(name);
    if (found == m_attrs.end()) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::attr",
                  nbx::msg("Cannot find persistent attribute '%1'.", name),
                  nbx::msg("No such attribute."));
    }
    return *found->second;
}

bool CPrstUserBase::modified() const {
    for (const CIPrstAttr* attr : m_order) {
        if (attr->modified()) return true;
    }
    return false;
}

void CPrstUserBase::clearModified() {
    for (CIPrstAttr* attr : m_order) attr->setModified(false);
}

void CPrstUserBase::setOID(std::uint32_t oid) {
    m_id.top() = {m_def->textClassName(), oid};
    for (const std::string& prototype : m_def->prototypes()) m_id.set({prototype, oid});
}

void CPrstUserBase::setContext(CPrstContextPtr context) {
    m_context = context ? std::move(context) : std::make_shared<CPrstContext>();
}

nbx::CThrowSite CPrstUserBase::_site(const char* function, const char* file,
                                     std::uint32_t line) const {
    return nbx::CThrowSite{nbx::typeName(this),
                           this,
                           file,
                           line,
                           m_def->moduleName().c_str(),
                           function ? function : m_def->siteName().c_str()};
}

// --- text form ---------------------------------------------------------------------------------

std::string CPrstUserBase::string() const {
    nbx::CStringMap map(false);
    _write(map);
    return map.string();
}

bool CPrstUserBase::string(const std::string& text) {
    nbx::CStringMap map(text, "\n", 0, false);
    _set(map);
    return true;
}

void CPrstUserBase::_write(nbx::CStringMap& map) const {
    if (isFirstClass()) map.setULong("oid", oid());
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.key.empty()) continue;
        if (row.writer) {
            row.writer(*this, map, row);
        } else {
            map.set(row.key, attr(row.name).text(*this));
        }
    }
}

void CPrstUserBase::_set(const nbx::CStringMap& map) {
    std::string value;
    if (isFirstClass() && map.get("oid", value)) {
        std::uint32_t oid = 0;
        try {
            oid = prst::toULong(value);
        } catch (nbx::CException&) {
            _fail(nbx::msg("Invalid value '%1' for key '%2'.", value, "oid"));
        }
        setOID(oid);
    }
    _preDeserialize(map);
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.key.empty()) continue;
        bool present = map.get(row.key, value);
        if (!present && row.required) {
            _fail(row.missingReason.empty() ? nbx::msg("Missing '%1' key.", row.key)
                                            : nbx::CMessage(row.missingReason),
                  row.missingText);
        }
        if (!present && row.hasAbsentText) {
            value = row.absentText;
            present = true;
        }
        if (row.reader) {
            row.reader(*this, map, row);
            continue;
        }
        CIPrstAttr& target = attr(row.name);
        if (!present || !target.readable()) continue;
        if (target.explainsFailures()) {
            // The value's own text and reason stand; the record's module and site replace the
            // value class's, so that every failure of a record's reader names the record.
            try {
                target.setText(*this, value);
            } catch (nbx::CException& e) {
                nbx::CException resited(e);
                resited.setClassName(nbx::typeName(this));
                resited.setModule(m_def->moduleName());
                resited.setFunction(m_def->siteName());
                resited.setObject(this);
                throw resited;
            }
            continue;
        }
        try {
            target.setText(*this, value);
        } catch (nbx::CException&) {
            _fail(nbx::msg("Invalid value '%1' for key '%2'.", value, row.key));
        }
    }
    _postDeserialize(map);
}

// --- records -----------------------------------------------------------------------------------

void CPrstUserBase::_updateMetaEntry(std::vector<CDBRecord>& clones) const {
    clones.front().values[CPrstClassDef::kMetaColumn] = metaEntry().string();
    const auto& ids = m_id.others();
    for (std::size_t i = 1; i < clones.size(); ++i) {
        auto found = ids.find(clones[i].table);
        if (found == ids.end()) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::_updateMetaEntry",
                      nbx::msg("Failed to find clone '%1.%2' when initializating foreign keys "
                               "for meta-class entry.",
                               m_def->className(), clones[i].table),
                      nbx::msg("No such clone."));
        }
        clones[i].pk = found->second.id;
    }
}

std::vector<CDBRecord> CPrstUserBase::_clones() const {
    std::vector<CDBRecord> clones{CDBRecord{m_def->table(), oid(), {}}};
    for (const std::string& prototype : m_def->prototypes()) {
        clones.push_back(CDBRecord{prototype, kNoKey, {}});
    }
    _updateMetaEntry(clones);
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.column.empty()) continue;
        for (CDBRecord& clone : clones) {
            if (clone.table == (row.prototype.empty() ? m_def->table() : row.prototype)) {
                clone.values[row.column] = CPrstAttrFunctor::convertTo(*this, row.name);
            }
        }
    }
    return clones;
}

void CPrstUserBase::_extractClones(const std::vector<CDBRecord>& clones) {
    std::vector<std::string> expected{m_def->table()};
    expected.insert(expected.end(), m_def->prototypes().begin(), m_def->prototypes().end());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i >= clones.size()) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::_postConstruction",
                      nbx::msg("Failed to create enough clones to instantiate an object of type "
                               "'%1'.",
                               m_def->className()),
                      nbx::msg("This object requires prototype clones for '%1'.", expected[i]));
        }
        if (clones[i].table != expected[i]) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, kExtractSite,
                      nbx::msg("Cannot extract next clones."),
                      nbx::msg("Clone inherits prototype '%1', should inherit '%2'.",
                               clones[i].table, expected[i]));
        }
    }
    // Set a copy first, so that a bad stored value leaves the object as it was.
    CPrstUserBase staged(*this);
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.column.empty()) continue;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] != (row.prototype.empty() ? m_def->table() : row.prototype)) continue;
            auto found = clones[i].values.find(row.column);
            if (found != clones[i].values.end()) {
                CPrstAttrFunctor::convertFrom(staged, row.name, found->second);
            }
        }
    }
    m_attrs.swap(staged.m_attrs);
    m_order.swap(staged.m_order);
    setOID(clones[0].pk);
    for (std::size_t i = 1; i < expected.size(); ++i) m_id.set({expected[i], clones[i].pk});
    clearModified();
    m_pendingWrite = false;
}

// --- first-class operations --------------------------------------------------------------------

CPrstDBProxy& CPrstUserBase::_proxy() const {
    CPrstDBSession* session = m_context->session();
    if (!session) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBSession::operator[]",
                  nbx::msg("Cannot find a database proxy for prototype '%1'.", textClassName()),
                  nbx::msg("No such proxy."));
    }
    return (*session)[textClassName()];
}

void CPrstUserBase::_commit(CDBTransactionHandle tx, bool stampModTime) {
    if (!modified() && !m_pendingWrite) return;
    CPrstDBProxy& proxy = _proxy();
    if (oid() == kNoKey) setOID(proxy.nextKey());
    if (stampModTime && hasAttr(CPrstClassDef::kModTime))
        put<nbx::CTimeT>(CPrstClassDef::kModTime, nbx::CTimeT::now());
    std::vector<CDBRecord> clones = _clones();
    proxy.commit(tx, clones.front());
    if (m_pendingWrite) {
        // Not stored yet: its records in the further prototypes are new as well.
        proxy.createTraverse(tx, {clones.begin() + 1, clones.end()});
    } else {
        for (std::size_t i = 1; i < clones.size(); ++i) proxy.commit(tx, clones[i]);
    }
    clearModified();
    m_pendingWrite = false;
}

void CPrstUserBase::_reload(CDBTransactionHandle tx, bool rollback) {
    CPrstDBProxy& proxy = _proxy();
    std::vector<CDBRecord> clones = _clones();
    for (CDBRecord& clone : clones) {
        if (rollback) {
            proxy.rollback(tx, clone);
        } else {
            proxy.refresh(tx, clone);
        }
    }
    _extractClones(clones);
}

void CPrstUserBase::_callClone(CDBTransactionHandle tx, const std::string& prototype,
                               CCloneOp operation) {
    const bool top = prototype == m_def->table() || prototype == m_def->textClassName();
    const std::string table = top ? m_def->table() : prototype;
    std::vector<CDBRecord> clones = _clones();
    auto clone = std::find_if(clones.begin(), clones.end(),
                              [&](const CDBRecord& record) { return record.table == table; });
    if (prototype.empty() || clone == clones.end()) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstUserBase::_callClone",
                  nbx::msg("Cannot refresh, rollback or commit a clone."),
                  nbx::msg("Unable to find prototype '%1'.", prototype));
    }
    CPrstDBProxy& proxy = _proxy();
    if (operation == CCloneOp::kCommit) {
        proxy.commit(tx, *clone);
    } else if (operation == CCloneOp::kRollback) {
        proxy.rollback(tx, *clone);
    } else {
        proxy.refresh(tx, *clone);
    }
    // The record's attributes now agree with the database; the others keep their state.
    CPrstUserBase staged(*this);
    for (const CPrstFieldDef& row : m_def->fields()) {
        if (row.column.empty() || (row.prototype.empty() ? m_def->table() : row.prototype) != table)
            continue;
        if (operation != CCloneOp::kCommit) {
            auto found = clone->values.find(row.column);
            if (found != clone->values.end())
                CPrstAttrFunctor::convertFrom(staged, row.name, found->second);
        }
        staged.attr(row.name).setModified(false);
    }
    m_attrs.swap(staged.m_attrs);
    m_order.swap(staged.m_order);
}

void CPrstUserBase::_refresh(CDBTransactionHandle tx) {
    _reload(tx, false);
}

void CPrstUserBase::_rollback(CDBTransactionHandle tx) {
    _reload(tx, true);
}

void CPrstUserBase::_remove(CDBTransactionHandle tx) {
    CPrstDBProxy& proxy = _proxy();
    for (const CDBRecord& clone : _clones()) proxy.remove(tx, clone);
    m_pendingWrite = true;
}
