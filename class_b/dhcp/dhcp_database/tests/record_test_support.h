#pragma once
// Helpers of the record tests: failures as "message | reason" with their sites, texts derived
// from a base text, a DHCP registry of one protocol family, and a store on the in-memory engine
// with stand-ins for the classes that bindings refer to by name (pools and accounts).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "dhcp_database/address_binding.h"
#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/pending.h"
#include "dhcp_database/pkt.h"
#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_db_session.h"
#include "standard/string_map.h"
#include "testing/failure.h"
#include "testing/memory_engine.h"

namespace dhcptest {

// What a call gave: "message | reason" of its exception (or "<no exception>") and the site,
// "module function".
struct Outcome {
    std::string text;
    std::string site;
    bool operator==(const Outcome& o) const { return text == o.text && site == o.site; }
};

template <class F>
Outcome outcome(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure(std::forward<F>(call));
    if (!f.thrown) return {"<no exception>", ""};
    return {f.text(), f.module + " " + f.function};
}

// `base` with `changes` applied, written in key order: entries separated by ';', "key=value"
// sets a key, "-key" removes one.
inline std::string edited(const std::string& base, const std::string& changes) {
    nbx::CStringMap map(base, "\n", 0, false);
    for (std::size_t at = 0, end = 0; at < changes.size(); at = end + 1) {
        end = std::min(changes.find(';', at), changes.size());
        const std::string entry = changes.substr(at, end - at);
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            map.erase(entry.substr(1));
        } else {
            map.set(entry.substr(0, equals), entry.substr(equals + 1));
        }
    }
    return map.string();
}

// The classes of a DHCP server of one protocol family, a context whose objects use them and a
// session on the in-memory engine.
class CDHCPRegistry {
public:
    explicit CDHCPRegistry(unsigned family) {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&registry, &m_catalog, {}, family});
        context->setRegistry(&registry);
        session.open([this](const std::string& name) { return engine.lookup(name); });
    }
    // A new object of the text class name, bound to the context.
    CPrstObjectPtr create(const std::string& textClassName) const {
        return registry.createByTextName(textClassName, context);
    }
    // A new object of the class name (the pool marks have no text class name of their own).
    CPrstObjectPtr createClass(const std::string& className) const {
        return registry.create(className, context);
    }

    CIPrstAbstractFactory registry;
    CPrstContextPtr context = std::make_shared<CPrstContext>();
    memdb::CMemoryEngine engine;
    CPrstDBSession session{registry, context};

private:
    CPrstClassCatalog m_catalog;
};

// The text of a new object of `className` that read `text`; written again with the options as
// JSON, that text must read back to itself.
inline std::string roundTrip(const CIPrstAbstractFactory& registry, const CPrstContextPtr& context,
                             const std::string& className, const std::string& text) {
    CPrstObjectPtr original = registry.create(className, context);
    original->string(text);
    context->setJsonOptions(true);
    CPrstObjectPtr copy = registry.create(className, context);
    copy->string(original->string());
    EXPECT_EQ(copy->string(), original->string()) << className;
    context->setJsonOptions(false);
    return original->string();
}

// The row of `object` once committed (with a fresh OID) and read back as the same text.
inline const CDBRecord& stored(memdb::CMemoryEngine& engine, CPrstDBSession& session,
                               CPrstUserBase& object) {
    object.setOID(kNoKey);
    object.commitObject(0);
    const CDBRecord& row = engine.memory().rows(object.classDef().table()).at(object.oid());
    EXPECT_EQ(row.values.at("META_CLASS"), object.className() + "[simple]");
    CPrstObjectPtr found = session[object.textClassName()].findByOID(0, object.oid());
    EXPECT_TRUE(found && found->className() == object.className() &&
                found->string() == object.string())
        << object.string();
    return row;
}

// A named record of a referenced class: the least that a reference by name needs.
struct CNamedClass {
    const char* className;
    const char* textClassName;
};
constexpr CNamedClass kNamedClasses[] = {
    {"CTestAddressPool", "address_pool"},
    {"CTestNetworkPool", "network_pool"},
    {"CTestAccount", "account"},
};

template <int N>
class CTestNamed : public CPersistentSecuredObject<CTestNamed<N>> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef(kNamedClasses[N].className, kNamedClasses[N].textClassName,
                          std::string("test_") + kNamedClasses[N].textClassName)
                .field(prst::value<std::string>("name", "NAME").require());
        return def;
    }
    void setName(const std::string& name) { this->template put<std::string>("name", name); }
};
using CTestAddressPool = CTestNamed<0>;
using CTestNetworkPool = CTestNamed<1>;
using CTestAccount = CTestNamed<2>;

// A session on the in-memory engine over a registry of the binding, pending, failover and
// packet classes (both families) and the stand-ins, with the named records (OIDs in order)
//   address pools pool-a, pool-b; network pools net-0, net-a; accounts zed, acct-1.
class CRecordStore {
public:
    CRecordStore() {
        registerClasses<CPrstAddressBinding4, CPrstAddressBinding6, CPrstNetworkBinding,
                        CPrstNetworkBinding6, CPrstAddressPending, CPrstNetworkPending,
                        CPrstFAddressBinding4, CPrstFAddressBinding6, CPrstFNetworkBinding,
                        CPrstFNetworkBinding6, CPrstFailoverPeer, CPrstPkt, CTestAddressPool,
                        CTestNetworkPool, CTestAccount>();
        session.open([this](const std::string& name) { return engine.lookup(name); });
        for (const char* name : {"pool-a", "pool-b"}) add<CTestAddressPool>(name);
        for (const char* name : {"net-0", "net-a"}) add<CTestNetworkPool>(name);
        for (const char* name : {"zed", "acct-1"}) add<CTestAccount>(name);
    }

    // A new object of the registered class `className`, as T.
    template <class T>
    std::unique_ptr<T> create(const std::string& className) const {
        CPrstObjectPtr object = registry.create(className, session.context());
        T* typed = dynamic_cast<T*>(object.get());
        if (typed) object.release();
        return std::unique_ptr<T>(typed);
    }

    // Stores a named record of a stand-in class and returns its OID.
    template <class T>
    std::uint32_t add(const std::string& name) {
        auto object = session.newObject<T>();
        object->setName(name);
        object->commit(0, CFullAccessToken::instance());
        return object->oid();
    }

    const CPrstContextPtr& context() const { return session.context(); }
    const CDBRecord& row(const std::string& table, std::uint32_t oid) {
        return engine.memory().rows(table).at(oid);
    }

    memdb::CMemoryEngine engine;
    CIPrstAbstractFactory registry;
    CPrstDBSession session{registry};

private:
    template <class... T>
    void registerClasses() {
        (registry.registerClass<T>(), ...);
    }
};

}  // namespace dhcptest
