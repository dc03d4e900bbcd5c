#include "oodb_persistence/prst_user_class_ptr.h"

#include "oodb_persistence/prst_ref_attr.h"

void CSecurityStrategy::_readThrow(const CPrstUserBase& object) const {
    if (!m_enforce) return;
    if (m_token && (object.accessRights(*m_token) & CAccessToken::RIGHT_READ)) return;
    NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CSecurityStrategy::_readThrow",
              nbx::msg("Unable to read object %1 of type %2.", object.oid(), object.className()),
              nbx::msg("Access denied"));
}

namespace prst {

void throwDereference(const std::string& className) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CPrstUserClassPtr::_createIf",
                     nbx::msg("Cannot dereference persistent object of type '%1'.", className),
                     nbx::msg("No such object."));
}

void throwForeignKeyPrototype(const std::string& input, const std::string& expected) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CPrstRefAttr::CPrstRefAttr",
                     nbx::msg("Input id prototype '%1' does not match foreign key prototype '%2'.",
                              input, expected),
                     nbx::msg("Cannot update from foreign key."));
}

}  // namespace prst
