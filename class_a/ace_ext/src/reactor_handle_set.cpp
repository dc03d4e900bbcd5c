#include "ace_ext/reactor_handle_set.h"

#include <ace/Reactor.h>

#include <algorithm>

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "ace_ext";
constexpr ACE_Reactor_Mask kRWE = ACE_Event_Handler::RWE_MASK;

bool inRange(ACE_HANDLE handle) {
    return handle >= 0 && handle < CReactorHandleSet::kMaxHandle;
}

}  // namespace

ACE_Reactor_Mask CReactorHandleSet::mask(ACE_HANDLE handle) const {
    ACE_Reactor_Mask result = ACE_Event_Handler::NULL_MASK;
    if (!inRange(handle)) return result;
    if (m_read.is_set(handle)) result |= ACE_Event_Handler::READ_MASK;
    if (m_write.is_set(handle)) result |= ACE_Event_Handler::WRITE_MASK;
    if (m_except.is_set(handle)) result |= ACE_Event_Handler::EXCEPT_MASK;
    return result;
}

ACE_Reactor_Mask CReactorHandleSet::applyMask(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops) {
    bool knownOps = ops == ACE_Reactor::GET_MASK || ops == ACE_Reactor::SET_MASK ||
                    ops == ACE_Reactor::ADD_MASK || ops == ACE_Reactor::CLR_MASK;
    if ((ops != ACE_Reactor::GET_MASK && (mask & ~kRWE) != 0) || !knownOps) {
        NBX_THROW(nbx::CException, kModule, "CReactorHandleSet::applyMask",
                  nbx::msg("Failed to apply reactor mask."), nbx::msg("Invalid mask."));
    }
    if (!inRange(handle)) return ACE_Event_Handler::NULL_MASK;  // no set can hold it
    ACE_Reactor_Mask before = this->mask(handle);
    ACE_Reactor_Mask after = before;
    switch (ops) {
        case ACE_Reactor::SET_MASK:
            after = mask;
            break;
        case ACE_Reactor::ADD_MASK:
            after = before | mask;
            break;
        case ACE_Reactor::CLR_MASK:
            after = before & ~mask;
            break;
        default:
            return before;
    }
    struct {
        ACE_Handle_Set& set;
        ACE_Reactor_Mask bit;
    } const sets[] = {{m_read, ACE_Event_Handler::READ_MASK},
                      {m_write, ACE_Event_Handler::WRITE_MASK},
                      {m_except, ACE_Event_Handler::EXCEPT_MASK}};
    for (const auto& entry : sets) {
        if (after & entry.bit) {
            entry.set.set_bit(handle);
        } else {
            entry.set.clr_bit(handle);
        }
    }
    return before;
}

std::vector<CReactorHandleSet::Slot>::const_iterator CReactorHandleSet::_find(
    ACE_HANDLE handle) const {
    return std::find_if(m_order.begin(), m_order.end(),
                        [handle](const Slot& slot) { return slot.handle == handle; });
}

std::vector<CReactorHandleSet::Slot>::iterator CReactorHandleSet::_find(ACE_HANDLE handle) {
    return std::find_if(m_order.begin(), m_order.end(),
                        [handle](const Slot& slot) { return slot.handle == handle; });
}

bool CReactorHandleSet::addEventHandle(ACE_HANDLE handle) {
    if (!inRange(handle) || contains(handle)) return false;
    m_order.push_back({handle, false});
    return true;
}

void CReactorHandleSet::deleteEventHandle(ACE_HANDLE handle) {
    _deleteEventHandle(handle);
}

void CReactorHandleSet::_deleteEventHandle(ACE_HANDLE handle) {
    auto slot = _find(handle);
    if (slot == m_order.end()) {
        NBX_THROW(nbx::CException, kModule, "CReactorHandleSet::_deleteEventHandle",
                  nbx::msg("Failed to delete reactor event handle."), nbx::msg("No such handle."));
    }
    m_order.erase(slot);
    m_read.clr_bit(handle);
    m_write.clr_bit(handle);
    m_except.clr_bit(handle);
}

bool CReactorHandleSet::suspend(ACE_HANDLE handle, bool suspended) {
    auto slot = _find(handle);
    if (slot == m_order.end()) return false;
    slot->suspended = suspended;
    return true;
}

bool CReactorHandleSet::isSuspended(ACE_HANDLE handle) const {
    auto slot = _find(handle);
    return slot != m_order.end() && slot->suspended;
}

void CReactorHandleSet::getWaitObjects(std::vector<pollfd>& objects, ACE_Reactor_Mask masks) const {
    if (masks == 0 || (masks & ~kRWE) != 0) {
        NBX_THROW(nbx::CException, kModule, "CReactorHandleSet::getWaitObjects",
                  nbx::msg("Failed to get reactor wait objects."), nbx::msg("Invalid mask."));
    }
    for (const Slot& slot : m_order) {
        if (slot.suspended) continue;
        ACE_Reactor_Mask wanted = mask(slot.handle) & masks;
        if (wanted == 0) continue;
        short events = 0;
        if (wanted & ACE_Event_Handler::READ_MASK) events |= POLLIN;
        if (wanted & ACE_Event_Handler::WRITE_MASK) events |= POLLOUT;
        if (wanted & ACE_Event_Handler::EXCEPT_MASK) events |= POLLPRI;
        objects.push_back({slot.handle, events, 0});
    }
}

std::vector<ACE_HANDLE> CReactorHandleSet::handles() const {
    std::vector<ACE_HANDLE> result;
    result.reserve(m_order.size());
    for (const Slot& slot : m_order) result.push_back(slot.handle);
    return result;
}

void CReactorHandleSet::clear() {
    m_order.clear();
    m_read.reset();
    m_write.reset();
    m_except.reset();
}
