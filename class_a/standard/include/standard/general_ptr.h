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

// A count block for a fresh pointee; an owning policy deletes the pointee when the block cannot
// be had, as the pointee would otherwise leak.
template <class Block, bool Owns, class T>
Block* newCountBlock(T* pointee) {
    try {
        return new Block;
    } catch (...) {
        if (Owns) delete pointee;
        throw;
    }
}

// Count block of the locked ownership policies: allocated when the pointee is not null.
struct CLockedCountBlock {
    std::int32_t count = 1;
    CNRMutex mutex;
};

template <class T, int Owns>
class CLockedOwnershipPolicy {
public:
    static constexpr bool kOwnsPointee = Owns != 0;
    virtual ~CLockedOwnershipPolicy() = default;
    CLockedCountBlock* countBlock() const { return m_block; }
    std::int32_t useCount() const {
        if (!m_block) return 0;
        std::lock_guard<CNRMutex> guard(m_block->mutex);
        return m_block->count;
    }

protected:
    void adopt(T* pointee) {
        m_block = pointee ? newCountBlock<CLockedCountBlock, Owns != 0>(pointee) : nullptr;
        m_pointee = pointee;
    }
    void share(T* pointee, CLockedCountBlock* block) {
        m_pointee = pointee;
        m_block = block;
        if (m_block) {
            std::lock_guard<CNRMutex> guard(m_block->mutex);
            ++m_block->count;
        }
    }
    // Forgets the pointee before deleting it, so that a destructor that reaches this pointer
    // again finds it empty.
    void release() {
        T* pointee = m_pointee;
        CLockedCountBlock* block = m_block;
        m_pointee = nullptr;
        m_block = nullptr;
        if (!block) return;
        std::int32_t left = 0;
        {
            std::lock_guard<CNRMutex> guard(block->mutex);
            left = --block->count;
        }
        if (left == 0) {
            delete block;
            if (Owns) delete pointee;
        }
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
    // Out of line: once inlined, the compiler cannot tell that a block freed on one path is not
    // the one counted later, and warns of a use after free.
    [[gnu::noinline]] static void destroy(CPlainCountBlock* block) { delete block; }
};

template <class T, bool Owns>
class CPlainOwnershipPolicy {
public:
    static constexpr bool kOwnsPointee = Owns;
    virtual ~CPlainOwnershipPolicy() = default;
    CPlainCountBlock* countBlock() const { return m_block; }
    std::int32_t useCount() const { return m_block ? m_block->count : 0; }

protected:
    void adopt(T* pointee) {
        m_block = pointee ? newCountBlock<CPlainCountBlock, Owns>(pointee) : nullptr;
        m_pointee = pointee;
    }
    void share(T* pointee, CPlainCountBlock* block) {
        m_pointee = pointee;
        m_block = block;
        if (m_block) ++m_block->count;
    }
    void release() {
        T* pointee = m_pointee;
        CPlainCountBlock* block = m_block;
        m_pointee = nullptr;
        m_block = nullptr;
        if (block && --block->count == 0) {
            CPlainCountBlock::destroy(block);
            if (Owns) delete pointee;
        }
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
    static constexpr bool kOwnsPointee = false;
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
    static constexpr bool kOwnsPointee = true;
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
        T* pointee = m_pointee;
        m_pointee = nullptr;
        if (pointee && pointee->removeReference() == 0) delete pointee;
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
    CNoMethodLockPolicy() = default;
    template <class U>
    CNoMethodLockPolicy(const CNoMethodLockPolicy<U>&) {}
    virtual ~CNoMethodLockPolicy() = default;
    struct Guard {
        explicit Guard(const T*) {}
    };
};

template <class T>
class CMethodLockPolicy {
public:
    CMethodLockPolicy() = default;
    template <class U>
    CMethodLockPolicy(const CMethodLockPolicy<U>&) {}
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
    CSecuredNoMethodLockPolicy() = default;
    // A pointer converted to a base class keeps the caller's context.
    template <class U>
    CSecuredNoMethodLockPolicy(const CSecuredNoMethodLockPolicy<U>& other)
        : m_context(other.securityContext()) {}
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
                                  LockProxy>& other)
        : Owner(),
          MethodLockPolicy<T>(static_cast<const MethodLockPolicy<U>&>(other)),
          ObjectLockPolicy<T>(),
          CopyPolicy<T>() {
        // The last owner may be this base pointer: it must delete the derived object whole.
        static_assert(!Owner::kOwnsPointee || std::has_virtual_destructor<T>::value,
                      "an owning pointer to a base class needs a virtual destructor");
        Owner::share(other.m_pointee, other.countBlock());
        m_pointee = other.m_pointee;
    }
    CGeneralPtr& operator=(const CGeneralPtr& other) {
        if (this != &other) {
            // `hold` keeps the new pointee alive while ours is released, and stands in for
            // `other`, which the release may destroy (when our pointee owns it).
            CGeneralPtr hold(other);
            m_pointee = nullptr;
            Owner::release();
            Owner::share(hold.m_pointee, hold.countBlock());
            m_pointee = hold.m_pointee;
            MethodLockPolicy<T>::operator=(hold);
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
    // The reference is obtained through the proxy, so a security context sees it; a method lock
    // is held only while it is obtained: calls that must be serialised go through ->.
    virtual T& operator*() {
        _checkNull("CGeneralPtr::operator*");
        return *Proxy(m_pointee, *this);
    }
    virtual const T& operator*() const {
        _checkNull("CGeneralPtr::operator*");
        return *ConstProxy(m_pointee, *this);
    }

    T* get() const { return m_pointee; }
    bool isNull() const { return m_pointee == nullptr; }
    explicit operator bool() const { return m_pointee != nullptr; }
    void reset() {
        m_pointee = nullptr;  // before the pointee goes, as its destructor may reach this pointer
        Owner::release();
    }
    // Takes a new pointee; the security context stays. Resetting to the pointee already held
    // does nothing (a second count for it would delete it twice).
    void reset(T* pointee) {
        if (pointee == m_pointee) return;
        CGeneralPtr fresh(pointee);
        m_pointee = nullptr;
        Owner::release();
        Owner::share(fresh.m_pointee, fresh.countBlock());
        m_pointee = fresh.m_pointee;
    }

    // Deep copy of the pointee through its copy constructor (CConstructorDeepCopyPolicy); the
    // copy keeps this pointer's security context.
    CGeneralPtr deepCopy() const {
        CGeneralPtr copy(m_pointee ? new T(*m_pointee) : nullptr);
        static_cast<MethodLockPolicy<T>&>(copy) = *this;
        return copy;
    }

    // Explicit whole-object lock (CObjectLockPolicy; the pointee derives from CLockable). While
    // one thread holds it, other threads' lockObject and method-locked calls wait.
    void lockObject() const {
        static_assert(std::is_same<ObjectLockPolicy<T>, CObjectLockPolicy<T>>::value,
                      "lockObject needs CObjectLockPolicy");
        _checkNull("CGeneralPtr::lockObject");
        m_pointee->objectMutex().lock();
    }
    void unlockObject() const {
        static_assert(std::is_same<ObjectLockPolicy<T>, CObjectLockPolicy<T>>::value,
                      "unlockObject needs CObjectLockPolicy");
        _checkNull("CGeneralPtr::unlockObject");
        m_pointee->objectMutex().unlock();
    }

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
