// Pending bindings: written as text, never set from it.

#include "dhcp_database/pending.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_store.h"

using rectest::failure;
using rectest::Failure;

namespace {

class PendingTest : public ::testing::Test {
protected:
    PendingTest() {
        store.add<rectest::CTestAddressPool>("pool-a");
        store.add<rectest::CTestNetworkPool>("net-0");
        store.add<rectest::CTestNetworkPool>("net-a");
    }
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

    rectest::CRecordStore store;
};

}  // namespace

TEST_F(PendingTest, IsWrittenWithItsKeysAndPoolByName) {
    auto address = offer<CPrstAddressPending>("10.0.0.9", "10.0.0.1", 1);
    // The commit stamped the modification time.
    EXPECT_EQ(address->string(),
              "domains=\n"
              "ipaddr=10.0.0.9\n"
              "mod_time=" +
                  address->modTime().string() +
                  "\n"
                  "offer_time=Mon Jan  1 00:00:00 2024\n"
                  "oid=1\n"
                  "relay=10.0.0.1\n"
                  "source_pool=pool-a\n");
    EXPECT_NE(address->modTime().value(), 0);

    auto network = offer<CPrstNetworkPending>("2001:db8:5::", "2001:db8::1", 2);
    EXPECT_NE(network->string().find("\nsource_pool=net-a\n"), std::string::npos);
    EXPECT_NE(network->string().find("\nipaddr=2001:db8:5::\n"), std::string::npos);
}

TEST_F(PendingTest, RefusesEveryText) {
    auto stored = offer<CPrstAddressPending>("10.0.0.9", "10.0.0.1", 1);
    const std::string written = stored->string();
    const std::string texts[] = {"", written, "oid=4\n", "ipaddr=10.0.0.1\nrelay=10.0.0.2\n"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        for (const char* className : {"CPrstAddressPending", "CPrstNetworkPending"}) {
            auto pending = store.create<CPrstPending>(className);
            ASSERT_NE(pending, nullptr);
            const std::uint32_t oid = pending->oid();
            EXPECT_EQ(failure([&] { pending->string(text); }),
                      (Failure{"Cannot set a pending record from text. | This operation is not "
                               "allowed.",
                               "dhcp_database CPrstPending::_set"}));
            EXPECT_EQ(pending->oid(), oid);  // nothing of the text was applied
        }
    }
    EXPECT_EQ(stored->string(), written);
}

TEST_F(PendingTest, IsStoredAndReloaded) {
    auto pending = offer<CPrstNetworkPending>("2001:db8:5::", "2001:db8::1", 2);
    const CDBRecord& row = store.engine.memory().rows("network_pending").at(pending->oid());
    EXPECT_EQ(row.values.at("OFFER_TIME"), "1704067200");
    EXPECT_EQ(row.values.at("POOL_OID"), "2");
    EXPECT_EQ(row.values.at("META_CLASS"), "CPrstNetworkPending[simple]");
    auto found = store.session.find<CPrstNetworkPending>(0, pending->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), pending->string());
}
