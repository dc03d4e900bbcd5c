#include "ace_ext/reactor_notify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ace_ext/general_reactor.h"
#include "reactor_test_support.h"

using reactor_test::CallLog;
using reactor_test::failure;
using reactor_test::RecordingHandler;
using reactor_test::SocketPair;

namespace {

// Opens the protected reading side, as a command queue's notifier uses it.
class ProbeNotify : public CReactorNotify {
public:
    using CReactorNotify::_peek;
    using CReactorNotify::_readData;
    using CReactorNotify::_tryRead;
    using CReactorNotify::reactorImpl;
};

void* pointerFor(std::uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

class ReactorNotifyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(reactor.open(0), 0); }
    int step(int milliseconds) {
        ACE_Time_Value wait(0, milliseconds * 1000);
        return reactor.handle_events(&wait);
    }

    CallLog log;
    CSTGeneralReactor reactor;
};

TEST_F(ReactorNotifyTest, AFullPipeOverflowsAndTakesNotificationsAgainOnceDrained) {
    ProbeNotify notifier;
    notifier.open(&reactor);
    std::uintptr_t sent = 0;
    bool overflowed = false;
    while (!overflowed && sent < 1000000) {
        try {
            notifier.notify(pointerFor(sent + 1));
            ++sent;
        } catch (CExNotifyFull& e) {
            overflowed = true;
            EXPECT_EQ(nbx::testing::describe(e).text(),
                      "Failed to accept reactor notification. | Notification pipe overflow.");
        }
    }
    ASSERT_TRUE(overflowed);
    ASSERT_GT(sent, 0u);
    std::vector<void*> taken;
    EXPECT_EQ(notifier.drain([&](void* p) { taken.push_back(p); }), sent);
    // Every notification arrived, in order.
    ASSERT_EQ(taken.size(), sent);
    for (std::uintptr_t i = 0; i < sent; ++i) ASSERT_EQ(taken[i], pointerFor(i + 1));

    notifier.notify(pointerFor(7));
    taken.clear();
    EXPECT_EQ(notifier.drain([&](void* p) { taken.push_back(p); }), 1u);
    EXPECT_EQ(taken, std::vector<void*>({pointerFor(7)}));
}

TEST_F(ReactorNotifyTest, BaseNotifierTakesNullAndRefusesAPointer) {
    SocketPair p;
    RecordingHandler h("h", p.local, log);
    ASSERT_EQ(reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    CReactorNotify notifier;
    notifier.open(&reactor);
    notifier.notify(nullptr);  // wakes the loop and dispatches nothing else
    EXPECT_EQ(step(5000), 1);
    EXPECT_TRUE(log.entries().empty());
    EXPECT_EQ(step(20), 0);  // the wake-up was taken
    reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);

    int command = 0;
    notifier.notify(&command);
    const auto e = failure([&] { step(5000); });
    EXPECT_EQ(e.text(),
              "Error reading a reactor notification pipe. | Specialized data received "
              "out of context.");
    EXPECT_EQ(e.function, "CReactorNotify::handle_input");
    EXPECT_EQ(e.module, "ace_ext");
    EXPECT_EQ(step(20), 0);  // taken: the loop does not see it again
}

TEST_F(ReactorNotifyTest, PeekLeavesThePointerAndReadTakesIt) {
    ProbeNotify notifier;
    notifier.open(&reactor);
    void* seen = nullptr;
    EXPECT_FALSE(notifier._peek(seen));
    notifier.notify(pointerFor(1));
    notifier.notify(pointerFor(2));
    ASSERT_TRUE(notifier._peek(seen));
    ASSERT_TRUE(notifier._peek(seen));
    EXPECT_EQ(seen, pointerFor(1));
    EXPECT_EQ(notifier._readData(), pointerFor(1));
    EXPECT_TRUE(notifier._tryRead(seen));
    EXPECT_EQ(seen, pointerFor(2));
    EXPECT_FALSE(notifier._tryRead(seen));
    const auto e = failure([&] { notifier._readData(); });
    EXPECT_EQ(e.text(), "Failed to receive reactor notification. | No data available.");
    EXPECT_EQ(e.function, "CReactorNotify::_readData");
}

TEST_F(ReactorNotifyTest, ReopenedClosedOrDestroyedNotifierLeavesNoPipeBehind) {
    auto notifier = std::make_unique<CReactorNotify>();
    notifier->open(&reactor);
    notifier->open(&reactor);  // replaces the pipe
    notifier->notify(nullptr);
    EXPECT_EQ(step(5000), 1);
    // No registration with a closed descriptor (or a dangling handler) is left behind.
    EXPECT_EQ(step(20), 0);
    notifier->close();
    EXPECT_EQ(step(20), 0);
    notifier->open(&reactor);
    notifier.reset();
    EXPECT_EQ(step(20), 0);
    SocketPair p;
    RecordingHandler h("h", p.local, log);
    ASSERT_EQ(reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    p.send("after");
    EXPECT_EQ(step(5000), 1);
    EXPECT_EQ(log.entries(), std::vector<std::string>({"h:input:after"}));
    reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
}

TEST_F(ReactorNotifyTest, ClosedReactorLetsThePipeBeDrained) {
    ProbeNotify notifier;
    {
        CSTGeneralReactor other;
        ASSERT_EQ(other.open(0), 0);
        notifier.open(&other);
        notifier.notify(pointerFor(5));
    }
    // The reactor is gone: notifications are refused, yet what was in the pipe can still be
    // taken and disposed of.
    EXPECT_EQ(notifier.reactorImpl(), nullptr);
    const auto e = failure<CExNotifyFull>([&] { notifier.notify(nullptr); });
    EXPECT_EQ(e.text(), "Failed to accept reactor notification. | The reactor does not exist.");
    EXPECT_EQ(e.function, "CReactorNotify::notify");
    std::vector<void*> taken;
    EXPECT_EQ(notifier.drain([&](void* p) { taken.push_back(p); }), 1u);
    EXPECT_EQ(taken, std::vector<void*>({pointerFor(5)}));
    notifier.close();  // does not reach into the destroyed reactor
    void* stale = nullptr;
    EXPECT_FALSE(notifier._tryRead(stale));  // no pipe left to read from
}

TEST_F(ReactorNotifyTest, RefusedRegistrationIsReported) {
    CReactorNotify notifier;
    reactor.close();
    const auto e = failure([&] { notifier.open(&reactor); });
    EXPECT_EQ(e.message, "Failed to register a notification pipe.");
    EXPECT_EQ(e.function, "CReactorNotify::open");
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(ESHUTDOWN));
    EXPECT_TRUE(notifier.isClosed());
}

}  // namespace
