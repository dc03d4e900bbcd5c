#include "extended/async_command.h"

#include <mutex>

CAsyncCommand::CAsyncCommand(const std::string& name, const std::string& tag)
    : m_name(name), m_tag(tag) {}

CAsyncCommand::~CAsyncCommand() = default;

void CAsyncCommand::setTarget(std::uint32_t threadId) {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    m_targeted = true;
    m_target = threadId;
}

bool CAsyncCommand::isTargeted() const {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    return m_targeted;
}

std::uint32_t CAsyncCommand::target() const {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    return m_target;
}

bool CAsyncCommand::enterTransit() {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    if (m_hopBudget > 0) --m_hopBudget;
    if (++m_transitCount == 1) {
        m_inTransit = true;
        m_released.reset();
    }
    return m_hopBudget < 1;
}

void CAsyncCommand::leaveTransit() {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    if (m_transitCount > 0 && --m_transitCount == 0) m_released.signal();
}

bool CAsyncCommand::inTransit() const {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    return m_inTransit;
}

std::int32_t CAsyncCommand::transitCount() const {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    return m_transitCount;
}

std::uint32_t CAsyncCommand::hopBudget() const {
    std::lock_guard<nbx::CNRMutex> guard(m_lock);
    return m_hopBudget;
}
