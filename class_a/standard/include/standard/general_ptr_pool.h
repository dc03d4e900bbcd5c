#pragma once
// A bounded pool of smart pointers of one type (P is a CGeneralPtr instantiation).
//
// acquire() hands out a pooled pointer or, while fewer than the maximum exist, a new one;
// release() takes it back for reuse. The pool counts every pointee it made and has not lost:
// those handed out plus those waiting in the pool never exceed the maximum. A pointer released
// while other copies of it are still alive is not reused (that would share it between two
// users): the pool forgets it and the remaining copies own it.

#include <cstddef>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "standard/general_ptr.h"
#include "standard/sync.h"
#include "standard/throw.h"

namespace nbx {

template <class P, class Mutex = CNRMutex>
class CGeneralPtrPool {
public:
    using element_type = typename P::element_type;
    // Makes a new pointee (owning raw pointer).
    using Factory = std::function<element_type*()>;

    explicit CGeneralPtrPool(
        std::size_t maxSize, Factory factory = [] { return new element_type(); })
        : m_maxSize(maxSize), m_factory(std::move(factory)) {
        if (m_maxSize == 0) {
            NBX_THROW(CGeneralPtrPoolSizeException, NBX_MODULE_TAG,
                      "CGeneralPtrPool::CGeneralPtrPool", msg("Cannot create pointer pool."),
                      msg("Invalid pool size."));
        }
        if (!m_factory) {
            NBX_THROW(CException, NBX_MODULE_TAG, "CGeneralPtrPool::CGeneralPtrPool",
                      msg("Cannot create pointer pool."), msg("Invalid pointer."));
        }
    }
    CGeneralPtrPool(const CGeneralPtrPool&) = delete;
    CGeneralPtrPool& operator=(const CGeneralPtrPool&) = delete;

    P acquire() {
        std::lock_guard<Mutex> guard(m_mutex);
        if (!m_free.empty()) {
            P pointer = m_free.back();
            m_free.pop_back();
            m_inUse.insert(pointer.get());
            return pointer;
        }
        if (m_inUse.size() >= m_maxSize) {
            NBX_THROW(CGeneralPtrPoolSizeException, NBX_MODULE_TAG, "CGeneralPtrPool::acquire",
                      msg("Cannot allocate from pointer pool."), msg("Pool size exceeded."));
        }
        P pointer(m_factory());
        if (!pointer) {
            NBX_THROW(CException, NBX_MODULE_TAG, "CGeneralPtrPool::acquire",
                      msg("Cannot allocate from pointer pool."), msg("Invalid pointer."));
        }
        m_inUse.insert(pointer.get());
        return pointer;
    }

    // Gives a pointer from acquire() back and empties the caller's copy. An empty pointer is
    // ignored; one the pool did not hand out (or got back already) throws and is left as it is.
    void release(P& pointer) {
        if (!pointer) return;
        std::lock_guard<Mutex> guard(m_mutex);
        auto found = m_inUse.find(pointer.get());
        if (found == m_inUse.end()) {
            NBX_THROW(CException, NBX_MODULE_TAG, "CGeneralPtrPool::release",
                      msg("Cannot return pointer to pointer pool."),
                      msg("Pointer is not from this pool."));
        }
        m_inUse.erase(found);
        if (pointer.useCount() <= 1) m_free.push_back(pointer);
        pointer.reset();
    }

    std::size_t maxSize() const { return m_maxSize; }
    // Pointers handed out and not yet released.
    std::size_t inUse() const {
        std::lock_guard<Mutex> guard(m_mutex);
        return m_inUse.size();
    }
    // Pointers waiting in the pool.
    std::size_t available() const {
        std::lock_guard<Mutex> guard(m_mutex);
        return m_free.size();
    }

private:
    const std::size_t m_maxSize;
    Factory m_factory;
    mutable Mutex m_mutex;
    std::vector<P> m_free;
    std::unordered_set<const element_type*> m_inUse;
};

}  // namespace nbx
