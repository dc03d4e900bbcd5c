#pragma once
// One pointer per thread, keyed by the calling thread's id (currentThreadId), behind a mutex.
// The host controller keeps each thread's exception stack in one.
//
// The map owns what it holds: an inserted pointer is deleted by remove() and by the map's
// destruction. A thread reaches only its own entry (get, insert, remove), so the pointer that get
// returns stays valid after the lock is dropped for as long as that thread does not remove it.
// The owner of a thread that ended without removing its entry calls remove(threadId) after the
// join, as kernel thread ids are reused.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "standard/sync.h"
#include "standard/throw.h"

namespace nbx {

template <class P, class Mutex = CNRMutex>
class CMultiPtr;

template <class T, class Mutex>
class CMultiPtr<T*, Mutex> {
public:
    CMultiPtr() = default;
    CMultiPtr(const CMultiPtr&) = delete;
    CMultiPtr& operator=(const CMultiPtr&) = delete;
    ~CMultiPtr() { clear(); }

    // The calling thread's pointer.
    T* get() const {
        T* found = find();
        if (!found) {
            NBX_THROW(CException, "standard", "CMultiPtr::get",
                      msg("Failed to find in multi-pointer."), msg("No Thread Local Storage."));
        }
        return found;
    }

    // The calling thread's pointer, or null when it has none.
    T* find() const {
        const std::uint32_t id = currentThreadId();
        std::lock_guard<Mutex> guard(m_mutex);
        auto found = m_pointers.find(id);
        return found == m_pointers.end() ? nullptr : found->second;
    }

    // Adds the calling thread's pointer and takes ownership of it. On a throw the map has not
    // taken it and the caller still owns it.
    void insert(T* pointer) {
        const std::uint32_t id = currentThreadId();
        if (!pointer) {
            NBX_THROW(CException, "standard", "CMultiPtr::insert",
                      msg("Failed to insert multi-pointer for thread id %1.", id),
                      msg("Invalid pointer."));
        }
        std::lock_guard<Mutex> guard(m_mutex);
        if (!m_pointers.emplace(id, pointer).second) {
            NBX_THROW(CException, "standard", "CMultiPtr::insert",
                      msg("Failed to insert multi-pointer for thread id %1.", id),
                      msg("Thread Local Storage already exists."));
        }
    }

    // The calling thread's pointer; on its first use made by `create` (a callable returning an
    // owning T*) and inserted. `create` runs without the lock held, so it may use this map.
    template <class Factory>
    T* getOrCreate(Factory&& create) {
        if (T* found = find()) return found;
        std::unique_ptr<T> created(create());
        insert(created.get());
        return created.release();
    }
    T* getOrCreate() {
        return getOrCreate([] { return new T(); });
    }

    // Deletes the calling thread's pointer; false when it had none.
    bool remove() { return remove(currentThreadId()); }

    // Deletes the pointer of the thread with `threadId`, which must no longer use it.
    bool remove(std::uint32_t threadId) {
        T* pointer = nullptr;
        {
            std::lock_guard<Mutex> guard(m_mutex);
            auto found = m_pointers.find(threadId);
            if (found == m_pointers.end()) return false;
            pointer = found->second;
            m_pointers.erase(found);
        }
        delete pointer;  // outside the lock: its destructor may reach this map
        return true;
    }

    // Deletes every thread's pointer.
    void clear() {
        std::map<std::uint32_t, T*> taken;
        {
            std::lock_guard<Mutex> guard(m_mutex);
            taken.swap(m_pointers);
        }
        for (auto& entry : taken) delete entry.second;
    }

    std::size_t size() const {
        std::lock_guard<Mutex> guard(m_mutex);
        return m_pointers.size();
    }

private:
    mutable Mutex m_mutex;
    std::map<std::uint32_t, T*> m_pointers;
};

}  // namespace nbx
