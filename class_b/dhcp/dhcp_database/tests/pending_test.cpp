// Pending bindings: written as text, never set from it.

#include "dhcp_database/pending.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_test_support.h"

using dhcptest::Outcome;
using dhcptest::outcome;

namespace {

class PendingTest : public ::testing::Test {
protected:
    // A stored pending record of T offered at the start of 2024.
    template <class T>
    std::unique_ptr<T> offer(const char* ipaddr, const char* relay, std::uint32_t pool) {
        auto pending = store.session.newObject<T>();
        pending->setOfferTime(nbx::CTimeT(1704067200));
        pending->setIPAddress(nbx::CIPAddress(ipaddr));
        pending->setRelay(nbx::CIPAddress(relay));
        pending->setSourcePool(pool);
        pending->commit(0, CFullAccessToken::instance());
        return pending;
    }

    dhcptest::CRecordStore store;
};

}  // namespace

TEST_F(PendingTest, IsWrittenWithItsKeysAndPoolByNameStoredAndReloaded) {
    auto address = offer<CPrstAddressPending>("10.0.0.9", "10.0.0.1", 1);
    // The commit stamped the modification time.
    EXPECT_NE(address->modTime().value(), 0);
    EXPECT_EQ(address->string(),
              "domains=\nipaddr=10.0.0.9\nmod_time=" + address->modTime().string() +
                  "\noffer_time=Mon Jan  1 00:00:00 2024\noid=1\n"
                  "relay=10.0.0.1\nsource_pool=pool-a\n");

    auto network = offer<CPrstNetworkPending>("2001:db8:5::", "2001:db8::1", 2);
    EXPECT_NE(network->string().find("\nsource_pool=net-a\n"), std::string::npos);
    EXPECT_NE(network->string().find("\nipaddr=2001:db8:5::\n"), std::string::npos);
    const CDBRecord& row = store.row("network_pending", network->oid());
    EXPECT_EQ(row.values.at("OFFER_TIME"), "1704067200");
    EXPECT_EQ(row.values.at("POOL_OID"), "2");
    EXPECT_EQ(row.values.at("META_CLASS"), "CPrstNetworkPending[simple]");
    auto found = store.session.find<CPrstNetworkPending>(0, network->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), network->string());
}

TEST_F(PendingTest, RefusesEveryText) {
    auto stored = offer<CPrstAddressPending>("10.0.0.9", "10.0.0.1", 1);
    const std::string written = stored->string();
    for (const std::string& text : {written, std::string("oid=4\n")}) {
        SCOPED_TRACE(text);
        for (const char* className : {"CPrstAddressPending", "CPrstNetworkPending"}) {
            auto pending = store.create<CPrstPending>(className);
            ASSERT_NE(pending, nullptr);
            const std::uint32_t oid = pending->oid();
            EXPECT_EQ(outcome([&] { pending->string(text); }),
                      (Outcome{"Cannot set a pending record from text. | This operation is not "
                               "allowed.",
                               "dhcp_database CPrstPending::_set"}));
            EXPECT_EQ(pending->oid(), oid);  // nothing of the text was applied
        }
    }
    EXPECT_EQ(stored->string(), written);
}
