#pragma once
// A persistent pointer: holds the id of a REF_CLASS object and loads it through the session of
// its context on first use, then applies its read-access strategy.

#include <cstdint>
#include <memory>
#include <string>

#include "oodb_persistence/prst_context.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_id.h"
#include "oodb_persistence/prst_user_base.h"
#include "security/access_token.h"

// Read access on dereference: allowed when the token holds the read right or when the strategy
// does not enforce security; else "Unable to read object %1 of type %2." / "Access denied".
class CSecurityStrategy {
public:
    CSecurityStrategy() = default;
    CSecurityStrategy(const CAccessToken* token, bool enforce)
        : m_token(token), m_enforce(enforce) {}
    void _readThrow(const CPrstUserBase& object) const;

private:
    const CAccessToken* m_token = nullptr;
    bool m_enforce = false;
};

namespace prst {
[[noreturn]] void throwDereference(const std::string& className);
}

template <class REF_CLASS, class RGP = CSecurityStrategy>
class CPrstUserClassPtr {
public:
    CPrstUserClassPtr() = default;
    CPrstUserClassPtr(CPrstContextPtr context, std::uint32_t oid, RGP strategy = RGP())
        : m_context(std::move(context)),
          m_id(CPrstSimpleID{REF_CLASS::classDef().textClassName(), oid}),
          m_strategy(strategy) {}

    const CPrstID& id() const { return m_id; }
    bool loaded() const { return m_object != nullptr; }

    REF_CLASS& operator*() { return *_createIf(); }
    REF_CLASS* operator->() { return _createIf(); }

    // The object, loaded when first needed. An id of 0xFFFFFFFF throws "Cannot dereference
    // persistent object of type '%1'." / "No such object."; any other id is loaded through the
    // proxy of the class (its failures pass through).
    REF_CLASS* _createIf() {
        if (!m_object) {
            if (m_id.top().id == kNoKey || !m_context || !m_context->session()) {
                prst::throwDereference(REF_CLASS::classDef().className());
            }
            CPrstDBSession& session = *m_context->session();
            CPrstObjectPtr object = session[REF_CLASS::classDef().textClassName()].create(
                m_context->transaction(), m_id.top().id);
            REF_CLASS* typed = dynamic_cast<REF_CLASS*>(object.get());
            if (!typed) prst::throwDereference(REF_CLASS::classDef().className());
            object.release();
            m_object.reset(typed);
        }
        m_strategy._readThrow(*m_object);
        return m_object.get();
    }

private:
    CPrstContextPtr m_context;
    CPrstID m_id;
    RGP m_strategy;
    std::shared_ptr<REF_CLASS> m_object;
};
