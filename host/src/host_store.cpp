#include "host/host_store.h"

#include <algorithm>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicated_topics.h"
#include "host/console_command.h"
#include "standard/string_map.h"
#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

// Keys whose values name other objects: comma-separated names, each optionally followed by
// ":<id>" (a domain membership).
struct Reference {
    const char* key;
    const char* topic;
};
const Reference kReferences[] = {
    {"policies", "policy"},
    {"domains", "domain"},
};

std::vector<std::string> names(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(start, end - start);
        item = item.substr(0, item.find(':'));
        const std::size_t first = item.find_first_not_of(" \t");
        const std::size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos) out.push_back(item.substr(first, last - first + 1));
        start = end + 1;
    }
    return out;
}

}  // namespace

CHostStore::CHostStore(int family, CInterfaceRegistry& interfaces) : m_family(family) {
    addDHCPClasses(m_catalog);
    CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, static_cast<unsigned>(family)});
    m_session = std::make_unique<CPrstDBSession>(m_registry);
    m_session->open([&interfaces](const std::string& name) { return interfaces.find(name); });
}

CHostStore::~CHostStore() {
    if (m_session->isOpen()) m_session->close();
}

bool CHostStore::serves(const std::string& topic) {
    // Peer records are the host's own; the administrator keeps them through the console too.
    return isReplicatedTopic(topic) || topic == "replicate_peer";
}

CPrstDBProxy& CHostStore::_proxy(const std::string& topic) const {
    if (!serves(topic)) {
        NBX_THROW(nbx::CException, kModule, "CHostStore::create",
                  nbx::msg("Unknown topic '%1'.", topic), nbx::msg("No such class."));
    }
    return (*m_session)[topic];
}

CPrstObjectPtr CHostStore::create(const std::string& topic) const {
    _proxy(topic);
    // Without a key yet: the commit draws one, inside its transaction, for a new object of this
    // host; an object from a peer keeps its own.
    return _factory(topic).create(m_session->context());
}

const CIPrstFactory& CHostStore::_factory(const std::string& topic) const {
    return *m_registry.findByTextName(topic);
}

std::string CHostStore::_ownClass(const std::string& topic) const {
    // Both families share the tables; a class with family variants (address pools, bindings)
    // keeps its objects apart by the class named in each row.
    const CPrstClassDef& def = _factory(topic).classDef();
    return CPrstDBProxy::equals(CPrstClassDef::kMetaColumn,
                                CPrstMetaEntry{def.className(), def.complex()}.string());
}

CPrstObjectPtr CHostStore::find(const std::string& topic, std::uint32_t oid,
                                CDBTransactionHandle tx) const {
    CPrstObjectList found =
        _proxy(topic).select(tx, _ownClass(topic) + " AND T.PK = " + std::to_string(oid));
    return found.empty() ? nullptr : std::move(found.front());
}

CPrstObjectPtr CHostStore::findByName(const std::string& topic, const std::string& name,
                                      CDBTransactionHandle tx) const {
    CPrstDBProxy& proxy = _proxy(topic);
    const CPrstFieldDef* row = _factory(topic).classDef().byKey("name");
    if (!row || row->column.empty()) return nullptr;
    CPrstObjectList found = proxy.select(
        tx, _ownClass(topic) + " AND " + CPrstDBProxy::equals(row->column, name), kNoKey, 1);
    return found.empty() ? nullptr : std::move(found.front());
}

CPrstObjectList CHostStore::list(const std::string& topic) const {
    return _proxy(topic).select(0, _ownClass(topic));
}

CPrstObjectList CHostStore::page(const std::string& topic, std::uint32_t after, std::uint32_t limit,
                                 bool& more) const {
    // One row past the page tells whether another page follows, without counting the rest.
    limit = std::max<std::uint32_t>(1, std::min<std::uint32_t>(limit, kNoKey - 1));
    CPrstObjectList found = _proxy(topic).select(
        0, _ownClass(topic) + " AND T.PK > " + std::to_string(after), kNoKey, limit + 1);
    more = found.size() > limit;
    if (more) found.pop_back();
    return found;
}

void CHostStore::check(const CPrstUserBase& object, CDBTransactionHandle tx) const {
    const std::string& topic = object.textClassName();
    nbx::CStringMap text(object.string(), "\n", 0, false);
    if (object.classDef().byKey("name")) {
        const std::string name = text.get("name");
        CPrstObjectPtr holder = name.empty() ? nullptr : findByName(topic, name, tx);
        if (holder && holder->oid() != object.oid()) {
            NBX_THROW(
                nbx::CException, kModule, "CHostStore::check",
                nbx::msg("Cannot store %1 '%2'.", topic, name),
                nbx::msg("The name '%1' is taken by %2 %3.", name, topic, oidText(holder->oid())));
        }
    }
    if (topic == "replicate_peer") _checkPeer(object, text, tx);
    for (const Reference& reference : kReferences) {
        if (!object.classDef().byKey(reference.key)) continue;
        for (const std::string& name : names(text.get(reference.key))) {
            if (findByName(reference.topic, name, tx)) continue;
            NBX_THROW(nbx::CException, kModule, "CHostStore::check",
                      nbx::msg("Cannot store %1 '%2'.", topic, text.get("name")),
                      nbx::msg("The %1 '%2' named by key '%3' does not exist.", reference.topic,
                               name, reference.key));
        }
    }
}

void CHostStore::_checkPeer(const CPrstUserBase& peer, const nbx::CStringMap& text,
                            CDBTransactionHandle tx) const {
    // The spool of a peer is one folder inside the spool base directory, and its own.
    const std::string logdir = text.get("logdir");
    if (logdir.empty() || logdir == "." || logdir == ".." ||
        logdir.find('/') != std::string::npos) {
        NBX_THROW(nbx::CException, kModule, "CHostStore::check",
                  nbx::msg("Cannot store replicate_peer '%1'.", text.get("target")),
                  nbx::msg("The log directory '%1' must name one folder inside the spool folder.",
                           logdir));
    }
    for (const CPrstObjectPtr& other : _proxy("replicate_peer").select(tx)) {
        if (other->oid() == peer.oid()) continue;
        if (nbx::CStringMap(other->string(), "\n").get("logdir") != logdir) continue;
        NBX_THROW(nbx::CException, kModule, "CHostStore::check",
                  nbx::msg("Cannot store replicate_peer '%1'.", text.get("target")),
                  nbx::msg("The log directory '%1' is used by replication peer %2.", logdir,
                           oidText(other->oid())));
    }
}

}  // namespace host
