// A peer's class filter and the object ids of bus events.

#include "receiver/sync_target.h"

#include <gtest/gtest.h>

#include "receiver/receiver_processor.h"

namespace {

CSyncTarget targetWithClasses(const std::string& classes) {
    return CSyncTarget(nbx::CStringMap("classes=" + classes + "\ntarget=t\n", "\n"));
}

}  // namespace

TEST(SyncTarget, ClassFilterTakesIncludedTopicsAndNeverExcludedOnes) {
    const struct {
        const char* classes;
        const char* topic;
        bool accepted;
    } cases[] = {
        {"", "rule", false},
        {"*", "rule", true},
        {"all", "address_pool", true},
        {"*, !option", "option", false},
        {"*, !option", "policy", true},
        {" rule ,\tpolicy ,vendor_class", "rule", true},
        {" rule ,\tpolicy ,vendor_class", "policy", true},
        {" rule ,\tpolicy ,vendor_class", "option", false},
        {"*,!!x", "x", false},
        {"rule,,", "rule", true},
        {"Rule", "rule", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("classes '") + c.classes + "', topic " + c.topic);
        EXPECT_EQ(accepts(targetWithClasses(c.classes), c.topic), c.accepted);
    }
}

TEST(SyncTarget, AbsentKeysTakeTheirDefaults) {
    const CSyncTarget bare(nbx::CStringMap("target=10.0.0.2:7000\n", "\n"));
    EXPECT_EQ(bare.logdir, "10.0.0.2:7000");
    EXPECT_TRUE(bare.enabled);
    EXPECT_EQ(bare.oid, -1);
    EXPECT_FALSE(CSyncTarget(nbx::CStringMap("enabled=false\n", "\n")).enabled);
}

TEST(SyncTarget, EventObjectIdsTakeAnyBaseAsSigned32Bits) {
    const struct {
        const char* text;
        std::int32_t oid;
    } cases[] = {{"26", 26}, {"0x1A", 26},       {"032", 26},
                 {"-1", -1}, {"4294967295", -1}, {"0x80000000", INT32_MIN},
                 {"junk", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CReceiverProcessor::oidOf(c.text), c.oid);
    }
}
