#pragma once
// What the DHCP records that carry options (pools, bindings, packets) share.
//
// The options are an attribute like any other in the database (column "OPTIONS", the store's
// JSON text), but not in the record's text: there they are either one "options" entry holding
// the JSON text (when the context's JSON-options flag is set) or the store's own lines appended
// after the record's map, entries whose keys begin with "option" or "-option". Reading takes
// the same form back; the other one is ignored.

#include <string>

#include "dhcp_base/dhcp_option_store.h"
#include "oodb_persistence/persistent_secured_object.h"
#include "oodb_persistence/prst_class_def.h"
#include "standard/object.h"

// The option store as a persistent value: its text form is the JSON form.
class CPrstDHCPOptions : public nbx::CObject {
public:
    CPrstDHCPOptions() = default;
    explicit CPrstDHCPOptions(const CDHCPOptionStore& store) : m_store(store) {}
    std::string string() const override { return m_store.json(); }
    bool string(const std::string& text) override {
        m_store.setJson(text.empty() ? "[]" : text);
        return true;
    }
    const CDHCPOptionStore& store() const { return m_store; }
    bool operator==(const CPrstDHCPOptions& other) const { return m_store == other.m_store; }

private:
    CDHCPOptionStore m_store;
};

namespace prst {
// The options row: stored in "OPTIONS", kept out of the generic text keys.
CPrstFieldDef dhcpOptions();
// The lines of every entry of `map` whose key is an option key, in the map's order.
std::string optionLines(const nbx::CStringMap& map);
}  // namespace prst

template <class T>
class CPrstDHCPOptionsRecord : public CPersistentSecuredObject<T> {
public:
    using CPersistentSecuredObject<T>::CPersistentSecuredObject;

    const CDHCPOptionStore& options() const {
        return this->template get<CPrstDHCPOptions>("options").store();
    }
    void setOptions(const CDHCPOptionStore& store) {
        this->template put<CPrstDHCPOptions>("options", CPrstDHCPOptions(store));
    }

    std::string string() const override {
        std::string text = CPersistentSecuredObject<T>::string();
        if (!this->context().jsonOptions()) text += options().lines();
        return text;
    }
    using CPersistentSecuredObject<T>::string;

    void _write(nbx::CStringMap& map) const override {
        CPersistentSecuredObject<T>::_write(map);
        if (this->context().jsonOptions()) map.set("options", options().json());
    }

    void _postDeserialize(const nbx::CStringMap& map) override {
        CPersistentSecuredObject<T>::_postDeserialize(map);
        CDHCPOptionStore store;
        try {
            if (this->context().jsonOptions()) {
                std::string json;
                if (!map.get("options", json)) return;
                store.setJson(json);
            } else {
                store.setLines(prst::optionLines(map));
            }
        } catch (nbx::CException& e) {
            this->_fail(e.reason());
        }
        setOptions(store);
    }
};
