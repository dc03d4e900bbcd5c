#pragma once
// Helpers of the record tests: failures as "message | reason" and their sites, texts derived
// from a base text, and a DHCP registry of one protocol family.

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "dhcp_database/dhcp_catalog.h"
#include "oodb_persistence/prst_abstract_factory.h"
#include "standard/string_map.h"
#include "testing/failure.h"

namespace dhcptest {

// What a call gave: "message | reason" of its exception (or "<no exception>") and the site,
// "module function".
struct Outcome {
    std::string text;
    std::string site;
};

template <class F>
Outcome outcome(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure(std::forward<F>(call));
    if (!f.thrown) return {"<no exception>", ""};
    return {f.text(), f.module + " " + f.function};
}

// `base` with the keys of `set` replaced (or added) and those of `drop` removed, written in key
// order.
inline std::string edited(const std::string& base,
                          std::initializer_list<std::pair<const char*, const char*>> set,
                          std::initializer_list<const char*> drop = {}) {
    nbx::CStringMap map(base, "\n", 0, false);
    for (const char* key : drop) map.erase(key);
    for (const auto& entry : set) map.set(entry.first, entry.second);
    return map.string();
}

// The classes of a DHCP server of one protocol family, and a context whose objects use them.
class CDHCPRegistry {
public:
    explicit CDHCPRegistry(unsigned family) {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&registry, &m_catalog, {}, family});
        context->setRegistry(&registry);
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

private:
    CPrstClassCatalog m_catalog;
};

}  // namespace dhcptest
