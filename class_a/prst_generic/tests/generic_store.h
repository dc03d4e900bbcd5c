#pragma once
// The generic classes registered as the initializer lists them, a session on the in-memory
// engine and the records that references resolve to:
//   domains root (OID 1), lab (2); roles operators (1, "lab:read,lab:write"), viewers (2,
//   "root:read"); accounts desk-1 (device account 1, acl lab), alice (user account 1, acl
//   operators).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oodb_persistence/prst_db_session.h"
#include "prst_generic/device_account.h"
#include "prst_generic/domain.h"
#include "prst_generic/generic_catalog.h"
#include "prst_generic/role.h"
#include "prst_generic/user_account.h"
#include "testing/memory_engine.h"
#include "testing/record_text.h"

namespace generictest {

using nbx::testing::edited;
using nbx::testing::thrown;

class GenericStore : public ::testing::Test {
protected:
    GenericStore() {
        addGenericClasses(catalog);
        CPrstGenericInitializer().init({&registry, &catalog, {}, 4});
        session.open([this](const std::string& name) { return engine.lookup(name); });
        seed<CPrstDomain>("name=root\n");
        seed<CPrstDomain>("name=lab\n");
        seed<CPrstRole>("name=operators\ncapabilities=lab:read,lab:write\n");
        seed<CPrstRole>("name=viewers\ncapabilities=root:read\n");
        seed<CPrstDeviceAccount>("name=desk-1\nclass=modem\nacl=lab\n");
        seed<CPrstUserAccount>("name=alice\nacl=operators\n");
    }

    // A new, unstored object of the text class, bound to the session's context.
    CPrstObjectPtr make(const std::string& textClassName) {
        return registry.createByTextName(textClassName, session.context());
    }
    template <class T>
    std::unique_ptr<T> make() {
        auto object = std::make_unique<T>();
        object->setContext(session.context());
        return object;
    }
    template <class T>
    std::uint32_t seed(const std::string& text) {
        std::unique_ptr<T> object = session.newObject<T>();
        object->string(text);
        object->commit(0, CFullAccessToken::instance());
        return object->oid();
    }
    const CDBRecord& row(const std::string& table, std::uint32_t oid) {
        return engine.memory().rows(table).at(oid);
    }

    CPrstClassCatalog catalog;
    CIPrstAbstractFactory registry;
    memdb::CMemoryEngine engine;
    CPrstDBSession session{registry};
};

}  // namespace generictest
