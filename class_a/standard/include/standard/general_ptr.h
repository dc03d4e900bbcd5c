#pragma once
// Policy-based smart pointer.
//
//   CGeneralPtr<T, OwnerPolicy, MethodLockPolicy, ObjectLockPolicy, CopyPolicy, LockProxy>
//
// OwnerPolicy       who owns the pointee and how the count is held:
//                   CMTOwnerPolicy (shared, count guarded by a mutex), CSTOwnerPolicy (shared,
//                   one thread), CSTInvasiveOwnerPolicy (count held by the pointee),
//                   CMTNotOwnerPolicy / CSTNotOwnerPolicy (never delete),
//                   CSTRefCountNotOwnerPolicy (counts, never deletes).
// MethodLockPolicy  CNoMethodLockPolicy, CMethodLockPolicy (every call through -> holds the
//                   pointee's mutex until the end of the full expression),
//                   CSecuredNoMethodLockPolicy (no lock, calls pass the security context).
// ObjectLockPolicy  CNoObjectLockPolicy, CObjectLockPolicy (lockObject()/unlockObject()).
// CopyPolicy        CConstructorDeepCopyPolicy (deepCopy() through the copy constructor).
// LockProxy         CLockProxy / CSecuredLockProxy: what -> returns.
//
// Pointees that use CMethodLockPolicy or CObjectLockPolicy derive from nbx::CLockable; pointees
// of CSTInvasiveOwnerPolicy derive from nbx::CRefCounted.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <utility>

#include "standard/sync.h"
#include "standard/throw.h"

#ifndef NBX_MODULE_TAG
#define NBX_MODULE_TAG "standard"
#endif

namespace nbx {

// ---------------------------------------------------------------------------------------------
// Owner policies. Each keeps the pointee and whatever count it needs; `adopt` takes a fresh raw
// pointer, `share` joins another pointer's ownership, `release` gives ours up.

// Count block of the locked ownership policies: allocated when the pointee is not null.
struct CLockedCountBlock {
    std::int32_t count = 1;
    CNRMutex mutex;
};

template <class T, int Owns>
class CLockedOwnershipPolicy {
public:
    virtual ~CLockedOwnershipPolicy() = default;
    CLockedCountBlock* countBlock() const { return m_block; }
    std::int32_t useCount() const {
        if (!m_block) return 0;
        std::lock_guard<CNRMutex> guard(m_block->mutex);
        return m_block->count;
    }

protected:
    void adopt(T* pointee) {
        m_pointee = pointee;
        m_block = pointee ? new CLockedCountBlock : nullptr;
    }
    void share(T* pointee, CLockedCountBlock* block) {
        m_pointee = pointee;
        m_block = block;
        if (m_block) {
            std::lock_guard<CNRMutex> guard(m_block->mutex);
            ++m_block->count;
        }
    }
    void release() {
        if (m_pointee || m_block) {
            std::int32_t left = 0;
            if (m_block) {
                m_block->mutex.lock();
                left = --m_block->count;
                m_block->mutex.unlock();
            }
            if (left == 0) {
                delete m_block;
                if (Owns) delete m_pointee;
            }
        }
        m_pointee = nullptr;
        m_block = nullptr;
    }

private:
    T* m_pointee = nullptr;
    CLockedCountBlock* m_block = nullptr;
};

template <class T>
class CMTOwnerPolicy : public CLockedOwnershipPolicy<T, 1> {};
template <class T>
class CMTNotOwnerPolicy : public CLockedOwnershipPolicy<T, 0> {};

// Single-threaded counting policies: the count needs no lock.
struct CPlainCountBlock {
    std::int32_t count = 1;
};

template <class T, bool Owns>
class CPlainOwnershipPolicy {
public:
    virtual ~CPlainOwnershipPolicy() = default;
    CPlainCountBlock* countBlock() const { return m_block; }
    std::int32_t useCount() const { return m_block ? m_block->count : 0; }

protected:
    void adopt(T* pointee) {
        m_pointee = pointee;
        m_block = pointee ? new CPlainCountBlock : nullptr;
    }
    void share(T* pointee, CPlainCountBlock* block) {
        m_pointee = pointee;
        m_block = block;
        if (m_block) ++m_block->count;
    }
    void release() {
        if (m_block && --m_block->count == 0) {
            delete m_block;
            if (Owns) delete m_pointee;
        }
        m_pointee = nullptr;
        m_block = nullptr;
    }

private:
    T* m_pointee = nullptr;
    CPlainCountBlock* m_block = nullptr;
};

template <class T>
class CSTOwnerPolicy : public CPlainOwnershipPolicy<T, true> {};
template <class T>
class CSTRefCountNotOwnerPolicy : public CPlainOwnershipPolicy<T, false> {};

// No ownership and no count at all.
template <class T>
class CSTNotOwnerPolicy {
public:
    virtual ~CSTNotOwnerPolicy() = default;
    void* countBlock() const { return nullptr; }
    std::int32_t useCount() const { return 0; }

protected:
    void adopt(T* pointee) { m_pointee = pointee; }
    void share(T* pointee, void*) { m_pointee = pointee; }
    void release() { m_pointee = nullptr; }

private:
    T* m_pointee = nullptr;
};

// Count held by the pointee itself (single thread).
class CRefCounted {
public:
    CRefCounted() = default;
    CRefCounted(const CRefCounted&) {}
    CRefCounted& operator=(const CRefCounted&) { return *this; }
    virtual ~CRefCounted() = default;
    std::int32_t addReference() { return ++m_references; }
    std::int32_t removeReference() { return --m_references; }
    std::int32_t references() const { return m_references; }

private:
    std::int32_t m_references = 0;
};

template <class T>
class CSTInvasiveOwnerPolicy {
public:
    virtual ~CSTInvasiveOwnerPolicy() = default;
    void* countBlock() const { return nullptr; }
    std::int32_t useCount() const { return m_pointee ? m_pointee->references() : 0; }

protected:
    void adopt(T* pointee) {
        m_pointee = pointee;
        if (m_pointee) m_pointee->addReference();
    }
    void share(T* pointee, void*) { adopt(pointee); }
    void release() {
        if (m_pointee && m_pointee->removeReference() == 0) delete m_pointee;
        m_pointee = nullptr;
    }

private:
    T* m_pointee = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Method lock policies and the proxies that a dereference returns.

// The context through which a secured pointer's calls pass. `access` returns the object the
// caller may use (normally the pointee itself) or throws when the caller has no right.
class CISecurityContext {
public:
    virtual ~CISecurityContext() = default;
    virtual void* access(void* pointee, bool forWrite) = 0;
};

template <class T>
class CNoMethodLockPolicy {
public:
    virtual ~CNoMethodLockPolicy() = default;
    struct Guard {
        explicit Guard(const T*) {}
    };
};

template <class T>
class CMethodLockPolicy {
public:
    virtual ~CMethodLockPolicy() = default;
    // Holds the pointee's mutex for the life of the proxy.
    class Guard {
    public:
        explicit Guard(const T* pointee) : m_mutex(&pointee->objectMutex()) { m_mutex->lock(); }
        Guard(Guard&& other) noexcept : m_mutex(other.m_mutex) { other.m_mutex = nullptr; }
        Guard(const Guard&) = delete;
        ~Guard() {
            if (m_mutex) m_mutex->unlock();
        }

    private:
        std::recursive_mutex* m_mutex;
    };
};

template <class T>
class CSecuredNoMethodLockPolicy {
public:
    virtual ~CSecuredNoMethodLockPolicy() = default;
    struct Guard {
        explicit Guard(const T*) {}
    };
    void setSecurityContext(CISecurityContext* context) { m_context = context; }
    CISecurityContext* securityContext() const { return m_context; }

private:
    CISecurityContext* m_context = nullptr;
};

template <class T, class MethodLockPolicy>
class CLockProxy {
public:
    CLockProxy(T* pointee, const MethodLockPolicy&) : m_pointee(pointee), m_guard(pointee) {}
    CLockProxy(CLockProxy&&) = default;
    T* operator->() const { return m_pointee; }
    T& operator*() const { return *m_pointee; }

private:
    T* m_pointee;
    typename MethodLockPolicy::Guard m_guard;
};

template <class T, class MethodLockPolicy>
class CSecuredLockProxy {
public:
    CSecuredLockProxy(T* pointee, const MethodLockPolicy& policy)
        : m_pointee(pointee), m_context(policy.securityContext()) {}
    T* operator->() const { return _access(!std::is_const<T>::value); }
    T& operator*() const { return *_access(!std::is_const<T>::value); }

private:
    T* _access(bool forWrite) const {
        if (!m_context) return m_pointee;
        using Plain = typename std::remove_const<T>::type;
        return static_cast<T*>(m_context->access(const_cast<Plain*>(m_pointee), forWrite));
    }
    T* m_pointee;
    CISecurityContext* m_context;
};

// ---------------------------------------------------------------------------------------------
// Object lock and copy policies.

template <class T>
class CNoObjectLockPolicy {
public:
    virtual ~CNoObjectLockPolicy() = default;
};

template <class T>
class CObjectLockPolicy {
public:
    virtual ~CObjectLockPolicy() = default;
};

template <class T>
class CConstructorDeepCopyPolicy {
public:
    virtual ~CConstructorDeepCopyPolicy() = default;
};

// ---------------------------------------------------------------------------------------------

template <class T, template <class> class OwnerPolicy = CMTOwnerPolicy,
          template <class> class MethodLockPolicy = CNoMethodLockPolicy,
          template <class> class ObjectLockPolicy = CNoObjectLockPolicy,
          template <class> class CopyPolicy = CConstructorDeepCopyPolicy,
          template <class, class> class LockProxy = CLockProxy>
class CGeneralPtr : public OwnerPolicy<T>,
                    public MethodLockPolicy<T>,
                    public ObjectLockPolicy<T>,
                    public CopyPolicy<T> {
    using Owner = OwnerPolicy<T>;
    template <class U, template <class> class, template <class> class, template <class> class,
              template <class> class, template <class, class> class>
    friend class CGeneralPtr;

public:
    using element_type = T;
    using Proxy = LockProxy<T, MethodLockPolicy<T>>;
    using ConstProxy = LockProxy<const T, MethodLockPolicy<T>>;

    CGeneralPtr() = default;
    explicit CGeneralPtr(T* pointee) {
        Owner::adopt(pointee);
        m_pointee = pointee;
    }
    CGeneralPtr(const CGeneralPtr& other)
        : Owner(), MethodLockPolicy<T>(other), ObjectLockPolicy<T>(), CopyPolicy<T>() {
        Owner::share(other.m_pointee, other.countBlock());
        m_pointee = other.m_pointee;
    }
    // Shares ownership with a pointer to a derived class.
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value &&
                                                !std::is_same<U, T>::value>>
    CGeneralPtr(const CGeneralPtr<U, OwnerPolicy, MethodLockPolicy, ObjectLockPolicy, CopyPolicy,
                                  LockProxy>& other) {
        Owner::share(other.m_pointee, other.countBlock());
        m_pointee = other.m_pointee;
    }
    CGeneralPtr& operator=(const CGeneralPtr& other) {
        if (this != &other) {
            CGeneralPtr hold(other);  // keeps the new pointee alive while ours is released
            Owner::release();
            Owner::share(hold.m_pointee, hold.countBlock());
            m_pointee = hold.m_pointee;
            MethodLockPolicy<T>::operator=(other);
        }
        return *this;
    }
    virtual ~CGeneralPtr() { Owner::release(); }

    virtual Proxy operator->() {
        _checkNull("CGeneralPtr::operator->");
        return Proxy(m_pointee, *this);
    }
    virtual ConstProxy operator->() const {
        _checkNull("CGeneralPtr::operator->");
        return ConstProxy(m_pointee, *this);
    }
    // A reference to the pointee; calls that must be serialised go through ->.
    virtual T& operator*() const {
        _checkNull("CGeneralPtr::operator*");
        return *m_pointee;
    }

    T* get() const { return m_pointee; }
    bool isNull() const { return m_pointee == nullptr; }
    explicit operator bool() const { return m_pointee != nullptr; }
    void reset() {
        Owner::release();
        m_pointee = nullptr;
    }
    void reset(T* pointee) { *this = CGeneralPtr(pointee); }

    // Deep copy of the pointee through its copy constructor (CConstructorDeepCopyPolicy).
    CGeneralPtr deepCopy() const {
        return m_pointee ? CGeneralPtr(new T(*m_pointee)) : CGeneralPtr();
    }

    // Explicit whole-object lock (CObjectLockPolicy pointees derive from CLockable).
    void lockObject() const {
        _checkNull("CGeneralPtr::lockObject");
        m_pointee->objectMutex().lock();
    }
    void unlockObject() const { m_pointee->objectMutex().unlock(); }

    friend bool operator==(const CGeneralPtr& a, const CGeneralPtr& b) {
        return a.m_pointee == b.m_pointee;
    }
    friend bool operator!=(const CGeneralPtr& a, const CGeneralPtr& b) {
        return a.m_pointee != b.m_pointee;
    }

private:
    void _checkNull(const char* function) const {
        if (!m_pointee) {
            NBX_THROW(CException, NBX_MODULE_TAG, function, msg("Cannot dereference pointer."),
                      msg("Pointee is null."));
        }
    }

    T* m_pointee = nullptr;
};

}  // namespace nbx
