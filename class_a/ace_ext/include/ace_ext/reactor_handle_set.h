#pragma once
// The handles a reactor waits on: one ACE_Handle_Set per mask (read 1, write 2, exception 4),
// the order in which the handles were registered, and which of them are suspended.
//
// The order is the dispatch order: ready handles are served in registration-index order. Only
// the three masks above exist here; the registration policy maps ACE's accept and connect masks
// onto them before they arrive.

#include <ace/Event_Handler.h>
#include <ace/Handle_Set.h>
#include <poll.h>

#include <cstddef>
#include <vector>

#include "standard/sync.h"

class CReactorHandleSet : public nbx::CLockable {
public:
    // Highest handle value + 1 that an ACE_Handle_Set can hold.
    static constexpr ACE_HANDLE kMaxHandle = ACE_Handle_Set::MAXSIZE;

    // Applies `mask` to the handle's bits by `ops` (ACE_Reactor::GET_MASK, SET_MASK, ADD_MASK,
    // CLR_MASK) and returns the mask the handle had before. A mask with any bit besides read,
    // write and exception throws "Failed to apply reactor mask." ("Invalid mask.").
    ACE_Reactor_Mask applyMask(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops);
    ACE_Reactor_Mask mask(ACE_HANDLE handle) const;

    // Appends the handle to the registration order (no masks yet); false when present already.
    bool addEventHandle(ACE_HANDLE handle);
    // Drops the handle and its masks; an absent handle throws "Failed to delete reactor event
    // handle." ("No such handle.").
    void deleteEventHandle(ACE_HANDLE handle);
    bool contains(ACE_HANDLE handle) const { return _find(handle) != m_order.end(); }
    // False when the handle is absent.
    bool suspend(ACE_HANDLE handle, bool suspended);
    bool isSuspended(ACE_HANDLE handle) const;

    // Appends a poll entry for every registered, unsuspended handle with a bit of `masks`, in
    // registration order. `masks` must be a non-empty combination of read, write and exception
    // ("Failed to get reactor wait objects.", "Invalid mask." otherwise).
    void getWaitObjects(std::vector<pollfd>& objects,
                        ACE_Reactor_Mask masks = ACE_Event_Handler::RWE_MASK) const;

    // Handles in registration order.
    std::vector<ACE_HANDLE> handles() const;
    std::size_t size() const { return m_order.size(); }
    void clear();

private:
    struct Slot {
        ACE_HANDLE handle;
        bool suspended;
    };

    std::vector<Slot>::const_iterator _find(ACE_HANDLE handle) const;
    std::vector<Slot>::iterator _find(ACE_HANDLE handle);
    void _deleteEventHandle(ACE_HANDLE handle);

    ACE_Handle_Set m_read;
    ACE_Handle_Set m_write;
    ACE_Handle_Set m_except;
    std::vector<Slot> m_order;
};
