// The failover records: failover bindings of both kinds and families, and the failover peer.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "record_store.h"

using rectest::failure;
using rectest::Failure;
using rectest::without;

namespace {

const char* const kFAddress4Input =
    "oid=51\nclient_id=01-02\nsource_pool=pool-a\nipaddr=10.0.0.7\nrelay=10.0.0.1\n"
    "session_id=7\nstate=active\nrequest=none\nupdate_status=pending\nfixed=false\n"
    "protocol=dhcpv4\nunderlying_oid=41\ntid_type=1\ntid=t-7\n"
    "acked_potential_exp_time=1704110400\nsent_potential_exp_time=1704110400\n"
    "desired_lease_exp_time=1704108600\nlease_exp_time=1704106800\n"
    "recv_potential_exp_time=0\nclient_last_trans_time=1704103200\n"
    "start_time_of_state=1704067200\nmod_time=Tue Jan  2 08:30:00 2024\ndomains=root:1\n"
    "option-routers=10.0.0.1\n";

const char* const kFAddress4Written =
    "acked_potential_exp_time=1704110400\n"
    "client_id=01-02\n"
    "client_last_trans_time=1704103200\n"
    "desired_lease_exp_time=1704108600\n"
    "domains=root:1\n"
    "fixed=false\n"
    "ipaddr=10.0.0.7\n"
    "lease_exp_time=1704106800\n"
    "mod_time=Tue Jan  2 08:30:00 2024\n"
    "oid=51\n"
    "protocol=dhcpv4\n"
    "recv_potential_exp_time=0\n"
    "relay=10.0.0.1\n"
    "request=none\n"
    "sent_potential_exp_time=1704110400\n"
    "session_id=7\n"
    "source_pool=pool-a\n"
    "start_time_of_state=1704067200\n"
    "state=active\n"
    "tid=t-7\n"
    "tid_type=1\n"
    "underlying_oid=41\n"
    "update_status=pending\n"
    "option-routers=10.0.0.1\n";

// A failover network binding with the least it needs: the state keys come out at their
// defaults.
const char* const kFNetwork6Input =
    "prefix_len=48\nduid=00-03\niatype=25\niaid=9\nsource_pool=net-a\nipaddr=2001:db8:1::\n"
    "giaddr=2001:db8::1\nstate=recover\nlease_exp_time=-1\n";

const char* const kFNetwork6Written =
    "acked_potential_exp_time=0\n"
    "client_last_trans_time=0\n"
    "desired_lease_exp_time=0\n"
    "domains=\n"
    "duid=00-03\n"
    "fixed=true\n"
    "iaid=9\n"
    "iatype=25\n"
    "ipaddr=2001:db8:1::\n"
    "lease_exp_time=-1\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "oid=-1\n"
    "prefix_len=48\n"
    "protocol=dhcpv4\n"
    "recv_potential_exp_time=0\n"
    "relay=2001:db8::1\n"
    "request=\n"
    "sent_potential_exp_time=0\n"
    "session_id=0\n"
    "source_pool=net-a\n"
    "start_time_of_state=0\n"
    "state=recover\n"
    "tid=\n"
    "tid_type=0\n"
    "underlying_oid=0\n"
    "update_status=\n";

const char* const kPeerInput =
    "target=10.0.0.2:647\nrole=primary\nsession_id=7\ndescription=Site B\nenabled=false\n"
    "mclt=3600\npartner_down_disconnect_timeout=60\n"
    "partner_down_initial_connect_attempts=3\nbackup_percentage=10\noid=5\n"
    "mod_time=Tue Jan  2 08:30:00 2024\ndomains=root:1\n";

const char* const kPeerWritten =
    "backup_percentage=10\n"
    "description=Site B\n"
    "domains=root:1\n"
    "enabled=false\n"
    "mclt=3600\n"
    "mod_time=Tue Jan  2 08:30:00 2024\n"
    "oid=5\n"
    "partner_down_disconnect_timeout=60\n"
    "partner_down_initial_connect_attempts=3\n"
    "role=primary\n"
    "session_id=7\n"
    "target=10.0.0.2:647\n";

class FailoverTest : public ::testing::Test {
protected:
    FailoverTest() {
        store.add<rectest::CTestAddressPool>("pool-a");
        store.add<rectest::CTestNetworkPool>("net-a");
    }
    std::unique_ptr<CPrstFBinding> binding(const std::string& className) {
        return store.create<CPrstFBinding>(className);
    }
    Failure read(const std::string& className, const std::string& text) {
        auto record = binding(className);
        return failure([&] { record->string(text); });
    }

    rectest::CRecordStore store;
};

class FailoverOptionModeTest : public FailoverTest, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_F(FailoverTest, FullRecordsHaveTheirExactText) {
    auto address = binding("CPrstFAddressBinding4");
    address->string(kFAddress4Input);
    EXPECT_EQ(address->string(), kFAddress4Written);
    EXPECT_EQ(address->state(), "active");
    EXPECT_EQ(address->underlyingOID(), 41u);
    EXPECT_EQ(address->time("lease_exp_time"), 1704106800u);

    auto network = binding("CPrstFNetworkBinding6");
    network->string(kFNetwork6Input);
    EXPECT_EQ(network->string(), kFNetwork6Written);
    EXPECT_EQ(network->time("lease_exp_time"), 0xFFFFFFFFu);
}

TEST_P(FailoverOptionModeTest, TextRoundTripsThroughANewObject) {
    const bool json = GetParam();
    struct Case {
        const char* className;
        const char* input;
    } cases[] = {
        {"CPrstFAddressBinding4", kFAddress4Input},
        {"CPrstFAddressBinding6",
         "client_id=00-01\niatype=3\niaid=2\nsource_pool=pool-a\nipaddr=2001:db8::7\n"
         "relay=2001:db8::1\nstate=normal\noption-preference=5\n"},
        {"CPrstFNetworkBinding",
         "prefix_len=30\nclient_id=07\nsource_pool=net-a\nipaddr=10.2.0.0\nrelay=10.0.0.1\n"
         "-option-routers=\n"},
        {"CPrstFNetworkBinding6", kFNetwork6Input},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + (json ? " json" : " lines"));
        store.context()->setJsonOptions(false);
        auto original = binding(c.className);
        original->string(c.input);
        store.context()->setJsonOptions(json);
        const std::string text = original->string();
        auto copy = binding(c.className);
        copy->string(text);
        EXPECT_EQ(copy->string(), text);
        EXPECT_TRUE(copy->options() == original->options());
        EXPECT_EQ(text.find("\noptions=[") != std::string::npos, json);
    }
}

INSTANTIATE_TEST_SUITE_P(BothOptionModes, FailoverOptionModeTest, ::testing::Bool());

TEST_F(FailoverTest, MissingRequiredKeysGiveTheirReasonAndSite) {
    struct Case {
        const char* className;
        const char* removed;
        const char* reason;
        const char* site;
    } cases[] = {
        {"CPrstFAddressBinding4", "source_pool", "Missing 'source_pool' key.",
         "CPrstFBinding::_set"},
        {"CPrstFAddressBinding4", "ipaddr", "Missing 'ipaddr' key.", "CPrstFBinding::_set"},
        {"CPrstFAddressBinding4", "relay", "Missing 'relay' key.", "CPrstFBinding::_set"},
        {"CPrstFAddressBinding4", "client_id", "Missing 'client_id' key.",
         "CPrstFAddressBinding4::_preDeserialize"},
        {"CPrstFNetworkBinding6", "giaddr", "Missing 'relay' key.", "CPrstFBinding::_set"},
        {"CPrstFNetworkBinding6", "prefix_len", "Missing 'prefix_len' key.",
         "CPrstFNetworkBinding::_preDeserialize"},
        {"CPrstFNetworkBinding6", "duid", "Missing 'duid' key.",
         "CPrstFNetworkBinding6::_preDeserialize"},
        {"CPrstFNetworkBinding6", "iatype", "Missing 'iatype' key.",
         "CPrstFNetworkBinding6::_preDeserialize"},
        {"CPrstFNetworkBinding6", "source_pool", "Missing 'source_pool' key.",
         "CPrstFBinding::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " without " + c.removed);
        const std::string full =
            std::string(c.className) == "CPrstFAddressBinding4" ? kFAddress4Input : kFNetwork6Input;
        EXPECT_EQ(read(c.className, without(full, c.removed)),
                  (Failure{std::string("Failed to set a binding record from text. | ") + c.reason,
                           std::string("dhcp_database ") + c.site}));
    }
}

TEST_F(FailoverTest, AddressChecksAndStateValuesAreThoseOfTheBindings) {
    struct Case {
        const char* className;
        const char* key;
        const char* value;
        const char* reason;
    } cases[] = {
        {"CPrstFAddressBinding4", "ipaddr", "2001:db8::7",
         "Incorrect ip address type for key 'ipaddr'."},
        {"CPrstFAddressBinding4", "relay", "::1",
         "Incorrect ip address type for key 'relay' (giaddr)."},
        {"CPrstFNetworkBinding6", "ipaddr", "10.2.0.0",
         "Incorrect ip address type for key 'ipaddr'."},
        {"CPrstFAddressBinding4", "session_id", "seven",
         "Invalid value 'seven' for key 'session_id'."},
        {"CPrstFAddressBinding4", "lease_exp_time", "Mon Jan  1 10:00:00 2024",
         "Invalid value 'Mon Jan  1 10:00:00 2024' for key 'lease_exp_time'."},
        {"CPrstFAddressBinding4", "underlying_oid", "4294967296",
         "Invalid value '4294967296' for key 'underlying_oid'."},
        {"CPrstFAddressBinding4", "source_pool", "pool-z", "No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.key + "=" + c.value);
        const std::string full =
            std::string(c.className) == "CPrstFAddressBinding4" ? kFAddress4Input : kFNetwork6Input;
        Failure f = read(c.className, without(full, c.key) + c.key + "=" + c.value + "\n");
        EXPECT_EQ(f.text.substr(f.text.find(" | ") + 3), c.reason);
        EXPECT_EQ(f.where, "dhcp_database CPrstFBinding::_set");
    }
    // The state keys are kept as given.
    auto record = binding("CPrstFAddressBinding4");
    record->string(without(kFAddress4Input, "state") + "state=communications-interrupted\n");
    EXPECT_NE(record->string().find("\nstate=communications-interrupted\n"), std::string::npos);
}

TEST_F(FailoverTest, BindingsAreStoredAndReloaded) {
    auto record = store.session.newObject<CPrstFAddressBinding4>();
    record->string(without(kFAddress4Input, "oid"));
    record->commit(0, CFullAccessToken::instance());
    const CDBRecord& row = store.engine.memory().rows("failover_address_binding").at(record->oid());
    EXPECT_EQ(row.values.at("STATE"), "active");
    EXPECT_EQ(row.values.at("LEASE_EXP_TIME"), "1704106800");
    EXPECT_EQ(row.values.at("POOL_OID"), "1");
    auto found = store.session.find<CPrstFAddressBinding4>(0, record->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), record->string());
}

// --- the failover peer -------------------------------------------------------------------------

TEST(FailoverPeer, FullRecordHasItsExactTextAndRoundTrips) {
    CPrstFailoverPeer peer;
    peer.string(kPeerInput);
    EXPECT_EQ(peer.string(), kPeerWritten);
    EXPECT_EQ(peer.sessionId(), 7u);
    EXPECT_FALSE(peer.enabled());
    CPrstFailoverPeer copy;
    copy.string(peer.string());
    EXPECT_EQ(copy.string(), kPeerWritten);

    CPrstFailoverPeer least;
    least.string("session_id=1\nrole=secondary\ntarget=peer\n");
    EXPECT_TRUE(least.enabled());
    EXPECT_EQ(least.string(),
              "backup_percentage=0\ndescription=\ndomains=\nenabled=true\nmclt=0\n"
              "mod_time=Thu Jan  1 00:00:00 1970\noid=-1\npartner_down_disconnect_timeout=0\n"
              "partner_down_initial_connect_attempts=0\nrole=secondary\nsession_id=1\n"
              "target=peer\n");
}

TEST(FailoverPeer, RequiredKeysAndBadValuesGiveTheirReasons) {
    struct Case {
        std::string text;
        const char* reason;
    } cases[] = {
        {without(kPeerInput, "session_id"), "Missing session ID number"},
        {without(kPeerInput, "role"), "Missing failover role"},
        {without(kPeerInput, "target"), "Missing target value"},
        {"", "Missing session ID number"},
        {without(kPeerInput, "mclt") + "mclt=1h\n", "Invalid value '1h' for key 'mclt'."},
        {without(kPeerInput, "enabled") + "enabled=perhaps\n",
         "Invalid value 'perhaps' for key 'enabled'."},
        {without(kPeerInput, "domains") + "domains=root\n", "Invalid format 'root'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstFailoverPeer peer;
        Failure f = failure([&] { peer.string(c.text); });
        EXPECT_EQ(f.text.substr(f.text.find(" | ") + 3), c.reason);
        EXPECT_EQ(f.where, "dhcp_database CPrstFailoverPeer::_set");
        if (std::string(c.reason) != "Invalid format 'root'.") {
            EXPECT_EQ(f.text.substr(0, f.text.find(" | ")), "Unable to set failover peer object.");
        }
    }
}

TEST(FailoverPeer, IsStoredAndReloaded) {
    rectest::CRecordStore store;
    auto peer = store.session.newObject<CPrstFailoverPeer>();
    peer->string(without(kPeerInput, "oid"));
    peer->commit(0, CFullAccessToken::instance());
    const CDBRecord& row = store.engine.memory().rows("failover_peer").at(peer->oid());
    EXPECT_EQ(row.values.at("ROLE"), "primary");
    EXPECT_EQ(row.values.at("ENABLED"), "0");
    auto found = store.session.find<CPrstFailoverPeer>(0, peer->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), peer->string());
}
