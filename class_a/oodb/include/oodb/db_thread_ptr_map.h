#pragma once
// One owned pointer per thread, keyed by the calling thread's kernel id, behind a mutex: where
// the database facades keep each thread's facade. It has the get/find/insert/remove semantics
// and the messages of the framework's per-thread multi-pointer, which is to take its place.
//
// A thread reaches only its own entry, so the pointer that get returns stays valid after the
// lock is dropped for as long as that thread does not remove it.

#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "standard/throw.h"

// Kernel id of the calling thread (unique among live threads; may be reused after one ended).
inline std::uint32_t dbCurrentThreadId() {
    return static_cast<std::uint32_t>(::gettid());
}

template <class P>
class CDBThreadPtrMap;

template <class T>
class CDBThreadPtrMap<T*> {
public:
    CDBThreadPtrMap() = default;
    CDBThreadPtrMap(const CDBThreadPtrMap&) = delete;
    CDBThreadPtrMap& operator=(const CDBThreadPtrMap&) = delete;
    ~CDBThreadPtrMap() { clear(); }

    // The calling thread's pointer; "Failed to find in multi-pointer." / "No Thread Local
    // Storage." when it has none.
    T* get() const {
        T* found = find();
        if (!found) {
            NBX_THROW(nbx::CException, "oodb", "CMultiPtr::get",
                      nbx::msg("Failed to find in multi-pointer."),
                      nbx::msg("No Thread Local Storage."));
        }
        return found;
    }

    // The calling thread's pointer, or null.
    T* find() const {
        const std::uint32_t id = dbCurrentThreadId();
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_pointers.find(id);
        return found == m_pointers.end() ? nullptr : found->second;
    }

    // Adds the calling thread's pointer and takes ownership of it; on a throw the caller still
    // owns it. "Failed to insert multi-pointer for thread id %1." / "Thread Local Storage
    // already exists." for a second entry of one thread.
    void insert(T* pointer) {
        const std::uint32_t id = dbCurrentThreadId();
        if (!pointer) {
            NBX_THROW(nbx::CException, "oodb", "CMultiPtr::insert",
                      nbx::msg("Failed to insert multi-pointer for thread id %1.", id),
                      nbx::msg("Invalid pointer."));
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_pointers.emplace(id, pointer).second) {
            NBX_THROW(nbx::CException, "oodb", "CMultiPtr::insert",
                      nbx::msg("Failed to insert multi-pointer for thread id %1.", id),
                      nbx::msg("Thread Local Storage already exists."));
        }
    }

    // Deletes the calling thread's pointer; false when it had none.
    bool remove() {
        T* pointer = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            auto found = m_pointers.find(dbCurrentThreadId());
            if (found == m_pointers.end()) return false;
            pointer = found->second;
            m_pointers.erase(found);
        }
        delete pointer;  // outside the lock: its destructor may reach this map
        return true;
    }

    void clear() {
        std::map<std::uint32_t, T*> taken;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            taken.swap(m_pointers);
        }
        for (auto& entry : taken) delete entry.second;
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_pointers.size();
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::uint32_t, T*> m_pointers;
};
