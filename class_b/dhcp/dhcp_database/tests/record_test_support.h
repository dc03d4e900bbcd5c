#pragma once
// Helpers of the record tests: a DHCP registry of one protocol family, the round trip and the
// store of a record, and a store on the in-memory engine with stand-ins for the classes that
// bindings refer to by name (pools and accounts).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "dhcp_database/address_binding.h"
#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/pending.h"
#include "dhcp_database/pkt.h"
#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_db_session.h"
#include "testing/memory_engine.h"
#include "testing/record_text.h"

namespace dhcptest {

using nbx::testing::edited;
using nbx::testing::thrown;

// The classes of a DHCP server of one protocol family and a session on the in-memory engine.
class CDHCPRegistry {
public:
    explicit CDHCPRegistry(unsigned family) {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&registry, &m_catalog, {}, family});
        context->setRegistry(&registry);
        session.open([this](const std::string& name) { return engine.lookup(name); });
    }
    // A new object of the text class name, or of the class name, bound to the context.
    CPrstObjectPtr create(const std::string& textClassName) const {
        return registry.createByTextName(textClassName, context);
    }
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
};

// A session on the in-memory engine over a registry of the binding, pending, failover and
// packet classes (both families) and the stand-ins, with the named records (OIDs in order)
//   address pools pool-a, pool-b; network pools net-0, net-a; accounts zed, acct-1.
class CRecordStore {
public:
    CRecordStore() {
        registerClasses<CPrstAddressBinding4, CPrstAddressBinding6, CPrstNetworkBinding,
                        CPrstNetworkBinding6, CPrstAddressPending, CPrstNetworkPending,
                        CPrstFAddressBinding4, CPrstFAddressBinding6, CPrstFNetworkBinding,
                        CPrstFNetworkBinding6, CPrstFailoverPeer, CPrstPkt, CTestNamed<0>,
                        CTestNamed<1>, CTestNamed<2>>();
        session.open([this](const std::string& name) { return engine.lookup(name); });
        for (int n = 0; n < 6; ++n) {
            CPrstObjectPtr named = registry.create(kNamedClasses[n / 2].className, context());
            named->string(std::string("name=") + kNames[n] + "\n");
            named->commitObject(0);
        }
    }

    // A new object of the registered class `className`, as T.
    template <class T>
    std::unique_ptr<T> create(const std::string& className) const {
        return std::unique_ptr<T>(
            dynamic_cast<T*>(registry.create(className, session.context()).release()));
    }
    const CPrstContextPtr& context() const { return session.context(); }
    const CDBRecord& row(const std::string& table, std::uint32_t oid) {
        return engine.memory().rows(table).at(oid);
    }

    memdb::CMemoryEngine engine;
    CIPrstAbstractFactory registry;
    CPrstDBSession session{registry};

private:
    static constexpr const char* kNames[] = {"pool-a", "pool-b", "net-0", "net-a", "zed", "acct-1"};
    template <class... T>
    void registerClasses() {
        (registry.registerClass<T>(), ...);
    }
};

}  // namespace dhcptest
