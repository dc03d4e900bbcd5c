#include "oodb/db_abstract_factory_proxy.h"

#include "standard/throw.h"

namespace {

[[noreturn]] void fail(const char* text, const std::string& name) {
    NBX_THROW_STATIC(nbx::CException, "oodb", "CDBAbstractFactoryProxy::create",
                     nbx::msg(text, name), nbx::msg("Database implementation not initialized."));
}

}  // namespace

CIDBConnection& CDBAbstractFactoryProxy::create(const std::string& name) const {
    auto found = m_databases.find(name);
    if (found == m_databases.end() || !found->second) {
        fail("Unable to find a database implementation for '%1'.", name);
    }
    CIDBFacadeFactory& database = *found->second;
    if (!database.isOpen())
        fail("Unable to find a factory using database implementation '%1'.", name);
    try {
        return database.connection();
    } catch (nbx::CException&) {
        fail("Unable to create a visitor instance for database implementation '%1'.", name);
    }
}
