#pragma once
// What the record tests share: the failure of a call as text, stand-ins for the classes that
// bindings refer to by name (pools and accounts live in other modules), and a store on the
// in-memory engine with every record class of this module registered.

#include <cstdint>
#include <memory>
#include <string>

#include "../../../../class_a/oodb_persistence/tests/memory_engine.h"
#include "dhcp_database/address_binding.h"
#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/pending.h"
#include "dhcp_database/pkt.h"
#include "oodb_persistence/prst_db_session.h"

namespace rectest {

struct Failure {
    std::string text;   // "message | reason"
    std::string where;  // "module function"
};

inline bool operator==(const Failure& a, const Failure& b) {
    return a.text == b.text && a.where == b.where;
}

template <class F>
Failure failure(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return {e.message().text() + " | " + e.reason().text(), e.module() + " " + e.function()};
    }
    return {"<no exception>", ""};
}

// The text without the line of `key` (every line ends in "\n").
inline std::string without(const std::string& text, const std::string& key) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start + 1);
        if (line.compare(0, key.size() + 1, key + "=") != 0) out += line;
        start = end + 1;
    }
    return out;
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

// A session on the in-memory engine over a registry of this module's record classes (both
// families) and the stand-ins.
class CRecordStore {
public:
    CRecordStore() {
        registry.registerClass<CPrstAddressBinding4>();
        registry.registerClass<CPrstAddressBinding6>();
        registry.registerClass<CPrstNetworkBinding>();
        registry.registerClass<CPrstNetworkBinding6>();
        registry.registerClass<CPrstAddressPending>();
        registry.registerClass<CPrstNetworkPending>();
        registry.registerClass<CPrstFAddressBinding4>();
        registry.registerClass<CPrstFAddressBinding6>();
        registry.registerClass<CPrstFNetworkBinding>();
        registry.registerClass<CPrstFNetworkBinding6>();
        registry.registerClass<CPrstFailoverPeer>();
        registry.registerClass<CPrstPkt>();
        registry.registerClass<CTestAddressPool>();
        registry.registerClass<CTestNetworkPool>();
        registry.registerClass<CTestAccount>();
        session.open([this](const std::string& name) { return engine.lookup(name); });
    }

    // A new T bound to the session's context.
    template <class T>
    std::unique_ptr<T> make() const {
        auto object = std::make_unique<T>();
        object->setContext(session.context());
        return object;
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

    memdb::CMemoryEngine engine;
    CIPrstAbstractFactory registry;
    CPrstDBSession session{registry};
};

}  // namespace rectest
