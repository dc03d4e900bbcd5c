#pragma once
// A signed 32-bit counter that any thread may change.

#include <atomic>
#include <cstdint>

namespace nbx {

class CAtomicLong {
public:
    explicit CAtomicLong(std::int32_t value = 0) : m_value(value) {}
    CAtomicLong(const CAtomicLong&) = delete;
    CAtomicLong& operator=(const CAtomicLong&) = delete;

    // Both return the new value.
    std::int32_t increment() { return m_value.fetch_add(1) + 1; }
    std::int32_t decrement() { return m_value.fetch_sub(1) - 1; }
    // Returns the old value.
    std::int32_t exchange(std::int32_t value) { return m_value.exchange(value); }
    std::int32_t value() const { return m_value.load(); }
    operator std::int32_t() const { return m_value.load(); }

private:
    std::atomic<std::int32_t> m_value;
};

}  // namespace nbx
