#include "oodb_persistence/persistent_secured_object.h"

#include "security/security_exception.h"

void CPrstSecurity::checkCommit(const CPrstUserBase& object, const CAccessToken& token) {
    if (object.accessRights(token) & CAccessToken::RIGHT_WRITE) return;
    if (!object.modified() && !object.pendingWrite()) return;
    throw nbx::makeException<CSecurityException>(
        nbx::CThrowSite{nbx::typeName(&object), &object, __FILE__, __LINE__, NBX_MODULE_TAG,
                        "CPersistentSecuredObject::commit"},
        nbx::msg("Cannot commit record %1 of class %2.", object.oid(), object.className()),
        nbx::msg("Access denied."));
}

void CPrstSecurity::checkRemove(const CPrstUserBase& object, const CAccessToken& token) {
    if (object.accessRights(token) & CAccessToken::RIGHT_WRITE) return;
    throw nbx::makeException<CSecurityException>(
        nbx::CThrowSite{nbx::typeName(&object), &object, __FILE__, __LINE__, NBX_MODULE_TAG,
                        "CPersistentSecuredObject::remove"},
        nbx::msg("Cannot remove record %1 of class %2.", object.oid(), object.className()),
        nbx::msg("Access denied."));
}
