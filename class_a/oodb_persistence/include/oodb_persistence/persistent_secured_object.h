#pragma once
// A first-class object whose writes are checked against the caller's access token.

#include "oodb_persistence/first_class_object.h"
#include "security/access_token.h"

// The checks of CPersistentSecuredObject, out of line.
class CPrstSecurity {
public:
    // Throws CSecurityException "Cannot commit record %1 of class %2." / "Access denied." at
    // "CPersistentSecuredObject::commit" when the token lacks the write right and the object
    // is modified or pending a write. An unchanged object passes without the right.
    static void checkCommit(const CPrstUserBase& object, const CAccessToken& token);
    // Removing is a write: without the right it throws "Cannot remove record %1 of class
    // %2." / "Access denied." at "CPersistentSecuredObject::remove".
    static void checkRemove(const CPrstUserBase& object, const CAccessToken& token);
};

template <class T>
class CPersistentSecuredObject : public CFirstClassObject<T> {
public:
    using CFirstClassObject<T>::CFirstClassObject;

    void commit(CDBTransactionHandle tx, const CAccessToken& token) {
        CPrstSecurity::checkCommit(*this, token);
        _updateSecurity(tx);
        CFirstClassObject<T>::commit(tx);
    }
    void remove(CDBTransactionHandle tx, const CAccessToken& token) {
        CPrstSecurity::checkRemove(*this, token);
        CFirstClassObject<T>::remove(tx);
    }

protected:
    // Brings the object's domain memberships and access-control entries up to date before its
    // records are written. Memberships travel with the record itself here, so by default there
    // is nothing more to do.
    virtual void _updateSecurity(CDBTransactionHandle) {}
};
