#include "ace_ext/reactor_handle_set.h"

#include <ace/Reactor.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reactor_test_support.h"

using reactor_test::failure;

namespace {

constexpr ACE_Reactor_Mask kRead = ACE_Event_Handler::READ_MASK;
constexpr ACE_Reactor_Mask kWrite = ACE_Event_Handler::WRITE_MASK;
constexpr ACE_Reactor_Mask kExcept = ACE_Event_Handler::EXCEPT_MASK;

std::string describe(const std::vector<pollfd>& objects) {
    std::string text;
    for (const pollfd& object : objects) {
        text += std::to_string(object.fd) + ":";
        if (object.events & POLLIN) text += "r";
        if (object.events & POLLOUT) text += "w";
        if (object.events & POLLPRI) text += "e";
        text += " ";
    }
    return text;
}

TEST(ReactorHandleSet, ApplyMaskTakesOnlyReadWriteAndException) {
    CReactorHandleSet set;
    set.addEventHandle(7);
    EXPECT_EQ(set.applyMask(7, kRead | kWrite, ACE_Reactor::ADD_MASK), 0u);
    const auto e =
        failure([&] { set.applyMask(7, ACE_Event_Handler::ACCEPT_MASK, ACE_Reactor::ADD_MASK); });
    EXPECT_EQ(e.text(), "Failed to apply reactor mask. | Invalid mask.");
    EXPECT_EQ(e.module, "ace_ext");
    EXPECT_EQ(set.mask(7), kRead | kWrite);  // unchanged
    // Each operation returns the mask from before it.
    EXPECT_EQ(set.applyMask(7, kExcept, ACE_Reactor::SET_MASK), kRead | kWrite);
    EXPECT_EQ(set.applyMask(7, kRead, ACE_Reactor::ADD_MASK), kExcept);
    EXPECT_EQ(set.applyMask(7, kExcept, ACE_Reactor::CLR_MASK), kRead | kExcept);
    EXPECT_EQ(set.applyMask(7, 0, ACE_Reactor::GET_MASK), kRead);
}

TEST(ReactorHandleSet, WaitObjectsFollowRegistrationOrderAndMasks) {
    CReactorHandleSet set;
    for (ACE_HANDLE handle : {9, 4, 6, 5}) ASSERT_TRUE(set.addEventHandle(handle));
    EXPECT_FALSE(set.addEventHandle(4));                              // present already
    EXPECT_FALSE(set.addEventHandle(CReactorHandleSet::kMaxHandle));  // no set can hold it
    set.applyMask(9, kRead, ACE_Reactor::ADD_MASK);
    set.applyMask(4, kWrite | kExcept, ACE_Reactor::ADD_MASK);
    set.applyMask(6, kRead | kWrite, ACE_Reactor::ADD_MASK);
    // 5 has no mask: nothing to wait for.
    std::vector<pollfd> objects;
    set.getWaitObjects(objects);
    EXPECT_EQ(describe(objects), "9:r 4:we 6:rw ");
    objects.clear();
    set.getWaitObjects(objects, kWrite);
    EXPECT_EQ(describe(objects), "4:w 6:w ");

    ASSERT_TRUE(set.suspend(4, true));
    objects.clear();
    set.getWaitObjects(objects);
    EXPECT_EQ(describe(objects), "9:r 6:rw ");
    EXPECT_FALSE(set.suspend(8, true));

    set.deleteEventHandle(9);
    set.addEventHandle(9);
    set.applyMask(9, kRead, ACE_Reactor::ADD_MASK);
    ASSERT_TRUE(set.suspend(4, false));
    objects.clear();
    set.getWaitObjects(objects);
    EXPECT_EQ(describe(objects), "4:we 6:rw 9:r ");

    const auto e = failure([&] { set.getWaitObjects(objects, 0); });
    EXPECT_EQ(e.text(), "Failed to get reactor wait objects. | Invalid mask.");
    EXPECT_EQ(e.function, "CReactorHandleSet::getWaitObjects");
}

}  // namespace
