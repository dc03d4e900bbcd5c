#include "extended/config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extended/config_names.h"
#include "standard/general_ptr.h"
#include "testing/failure.h"

using nbx::CConfig;
using nbx::CNumberConversionException;

TEST(ConfigReads, AbsentOrEmptyValuesGiveTheDefaultPresentOnesAreDecimal) {
    CConfig config(
        "a=\nb=   \nc=\t\nu=4294967295\ns=65535\nl=-2147483648\nb2=No\nt=text with = sign", "\n", 0,
        true);
    for (const char* key : {"a", "b", "c", "absent"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(config.getULong(key, 5), 5u);
        EXPECT_EQ(config.getUShort(key, 67), 67);
        EXPECT_EQ(config.getLong(key, -3), -3);
        EXPECT_TRUE(config.getBool(key, true));
        EXPECT_FALSE(config.getBool(key, false));
    }
    // A string read takes a present value as it stands.
    EXPECT_EQ(config.getString("a", "default"), "");
    EXPECT_EQ(config.getString("absent", "default"), "default");
    EXPECT_EQ(config.getString("t", ""), "text with = sign");
    EXPECT_EQ(config.getULong("u", 0), 4294967295u);
    EXPECT_EQ(config.getUShort("s", 0), 65535);
    EXPECT_EQ(config.getLong("l", 0), INT32_MIN);
    EXPECT_FALSE(config.getBool("b2", true));
}

TEST(ConfigReads, BadNumbersAndWordsAreRefusedWithTheReadersSite) {
    CConfig config("sync.interval=five\nneg=-1\nbig=65536\nhuge=2147483648\nflag=maybe", "\n", 0,
                   true);
    const auto number = [](const char* value, const char* key, const char* reason) {
        return std::string("Cannot convert value '") + value + "' of key '" + key +
               "' to a number. | " + reason;
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { config.getULong("sync.interval", 5); },
         number("five", "sync.interval", "Invalid number. | CConfig::getULong")},
        // A negative interval is a mistake in a configuration, not a wrapped unsigned value.
        {[&] { config.getULong("neg", 5); },
         number("-1", "neg", "Number out of range. | CConfig::getULong")},
        {[&] { config.getUShort("big", 1); },
         number("65536", "big", "Number out of range. | CConfig::getUShort")},
        {[&] { config.getLong("huge", 1); },
         number("2147483648", "huge", "Number out of range. | CConfig::getLong")},
        {[&] { config.getBool("flag", true); },
         "Cannot convert value 'maybe' of key 'flag' to a boolean. | Invalid boolean. | "
         "CConfig::getBool"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const nbx::testing::Failure f = nbx::testing::failure<CNumberConversionException>(c.first);
        EXPECT_EQ(f.text() + " | " + f.function, c.second);
        EXPECT_EQ(f.module, "extended");
    }
}

TEST(ConfigReads, CaseFlagDecidesHowKeysMatchAndEachFamilyReadsItsOwnKey) {
    const std::string text = "IPv4.DHCPv4.Sync.Interval=30";
    EXPECT_EQ(CConfig(text, "\n", 0, true).getULong("ipv4.dhcpv4.sync.interval", 5), 30u);
    EXPECT_EQ(CConfig(text, "\n", 0, false).getULong("ipv4.dhcpv4.sync.interval", 5), 5u);

    CConfig config(true);
    config.set(nbx::familyKey(4, "sync.interval"), "10");
    EXPECT_EQ(config.getULong(nbx::familyKey(6, "sync.interval"), 5), 5u);
    config.set(nbx::familyKey(6, "sync.interval"), "20");
    EXPECT_EQ(config.getULong(nbx::familyKey(6, "sync.interval"), 5), 20u);
    EXPECT_EQ(config.getULong(nbx::familyKey(4, "sync.interval"), 5), 10u);
}

// ---------------------------------------------------------------------------------------------
// The host holds the configuration through a method-locking pointer: a call through it waits for
// the call of another thread to finish.

namespace {

// Reading an absent key asks missingValue, inside the locked call. For the key "block" it waits
// until the test lets it go.
class BlockingConfig : public CConfig {
public:
    BlockingConfig() : CConfig(true) {}

    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> guard(m_eventsMutex);
        return m_events;
    }
    std::future<void> entered() { return m_entered.get_future(); }
    void release() { m_release.set_value(); }

protected:
    std::string missingValue(const std::string& key) const override {
        if (key == "block") {
            _event("hold-begin");
            m_entered.set_value();
            m_releaseFuture.wait();
            _event("hold-end");
            return "held";
        }
        _event("read:" + key);
        return "";
    }

private:
    void _event(const std::string& event) const {
        std::lock_guard<std::mutex> guard(m_eventsMutex);
        m_events.push_back(event);
    }

    mutable std::mutex m_eventsMutex;
    mutable std::vector<std::string> m_events;
    mutable std::promise<void> m_entered;
    std::promise<void> m_release;
    std::shared_future<void> m_releaseFuture{m_release.get_future().share()};
};

using ConfigPtr = nbx::CGeneralPtr<CConfig, nbx::CMTNotOwnerPolicy, nbx::CMethodLockPolicy>;

}  // namespace

TEST(ConfigLocking, CallsThroughTheLockingPointerAreSerialised) {
    BlockingConfig config;
    ConfigPtr pointer(&config);
    std::future<void> entered = config.entered();

    std::string heldValue;
    std::thread first([&] { heldValue = pointer->get("block"); });
    entered.wait();
    // The first call holds the object's lock for as long as it runs.
    EXPECT_FALSE(config.objectMutex().try_lock());

    std::promise<void> secondStarted;
    std::string secondValue = "unset";
    std::thread second([&, copy = pointer]() mutable {
        secondStarted.set_value();
        secondValue = copy->get("other");
    });
    secondStarted.get_future().wait();
    // Give an unserialised call every chance to run now.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(config.events(), (std::vector<std::string>{"hold-begin"}));

    config.release();
    first.join();
    second.join();
    EXPECT_EQ(config.events(), (std::vector<std::string>{"hold-begin", "hold-end", "read:other"}));
    EXPECT_EQ(heldValue, "held");
    EXPECT_EQ(secondValue, "");
    // Both calls are over: the lock is free again.
    ASSERT_TRUE(config.objectMutex().try_lock());
    config.objectMutex().unlock();
}

TEST(ConfigLocking, NotOwningPointerLeavesTheConfigurationAlive) {
    CConfig config(true);
    {
        ConfigPtr pointer(&config);
        pointer->set("system.index", "3");
        ConfigPtr copy(pointer);
        EXPECT_EQ(copy->getULong("SYSTEM.INDEX", 0), 3u);
    }
    // Still usable after every pointer is gone (ASan would flag a delete).
    EXPECT_EQ(config.getString("system.index", ""), "3");
}
