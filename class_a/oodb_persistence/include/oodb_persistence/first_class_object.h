#pragma once
// The typed layers of a persistent object. T declares itself with
//   static const CPrstClassDef& classDef();
//
// CIPersistentObject<T>  a simple typed object (lives inside another, no id of its own)
// CFirstClassObject<T>   an object with its own OID that is committed, refreshed, rolled back
//                        and removed by itself, through the session of its context

#include "oodb_persistence/prst_user_base.h"

template <class T>
class CIPersistentObject : public CPrstUserBase {
public:
    explicit CIPersistentObject(CPrstContextPtr context = nullptr)
        : CPrstUserBase(T::classDef(), std::move(context)) {}
    // For variants (address families) that share T's code and rules but each declare their own
    // class: the variant passes its declaration.
    explicit CIPersistentObject(const CPrstClassDef& def, CPrstContextPtr context = nullptr)
        : CPrstUserBase(def, std::move(context)) {}
};

template <class T>
class CFirstClassObject : public CIPersistentObject<T> {
public:
    using CIPersistentObject<T>::CIPersistentObject;
    bool isFirstClass() const override { return true; }

    // Writes the object within `tx` when it changed or was never stored: a modified object
    // that keeps a modification time gets the current time; a new one without an OID draws
    // one from its table's sequence. A failure leaves the object modified and `tx` to the
    // caller to roll back.
    void commit(CDBTransactionHandle tx) { this->_commit(tx); }
    // Reads the object's records again; throws when they are gone.
    void refresh(CDBTransactionHandle tx) { this->_refresh(tx); }
    // Drops the changes made since the last load or commit by reading the records again.
    void rollback(CDBTransactionHandle tx) { this->_rollback(tx); }
    // Deletes the object's records; the object becomes a new, unstored one.
    void remove(CDBTransactionHandle tx) { this->_remove(tx); }
};
