// The failover records: failover bindings of both kinds and families, and the failover peer.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::Outcome;
using dhcptest::outcome;

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
    "acked_potential_exp_time=1704110400\nclient_id=01-02\n"
    "client_last_trans_time=1704103200\ndesired_lease_exp_time=1704108600\ndomains=root:1\n"
    "fixed=false\nipaddr=10.0.0.7\nlease_exp_time=1704106800\n"
    "mod_time=Tue Jan  2 08:30:00 2024\noid=51\nprotocol=dhcpv4\nrecv_potential_exp_time=0\n"
    "relay=10.0.0.1\nrequest=none\nsent_potential_exp_time=1704110400\nsession_id=7\n"
    "source_pool=pool-a\nstart_time_of_state=1704067200\nstate=active\ntid=t-7\ntid_type=1\n"
    "underlying_oid=41\nupdate_status=pending\noption-routers=10.0.0.1\n";

// A failover network binding with the least it needs: the state keys come out at their
// defaults.
const char* const kFNetwork6Input =
    "prefix_len=48\nduid=00-03\niatype=25\niaid=9\nsource_pool=net-a\nipaddr=2001:db8:1::\n"
    "giaddr=2001:db8::1\nstate=recover\nlease_exp_time=-1\n";

const char* const kFNetwork6Written =
    "acked_potential_exp_time=0\nclient_last_trans_time=0\ndesired_lease_exp_time=0\n"
    "domains=\nduid=00-03\nfixed=true\niaid=9\niatype=25\nipaddr=2001:db8:1::\n"
    "lease_exp_time=-1\nmod_time=Thu Jan  1 00:00:00 1970\noid=-1\nprefix_len=48\n"
    "protocol=dhcpv4\nrecv_potential_exp_time=0\nrelay=2001:db8::1\nrequest=\n"
    "sent_potential_exp_time=0\nsession_id=0\nsource_pool=net-a\nstart_time_of_state=0\n"
    "state=recover\ntid=\ntid_type=0\nunderlying_oid=0\nupdate_status=\n";

const char* const kPeerInput =
    "target=10.0.0.2:647\nrole=primary\nsession_id=7\ndescription=Site B\nenabled=false\n"
    "mclt=3600\npartner_down_disconnect_timeout=60\n"
    "partner_down_initial_connect_attempts=3\nbackup_percentage=10\noid=5\n"
    "mod_time=Tue Jan  2 08:30:00 2024\ndomains=root:1\n";

const char* const kPeerWritten =
    "backup_percentage=10\ndescription=Site B\ndomains=root:1\nenabled=false\nmclt=3600\n"
    "mod_time=Tue Jan  2 08:30:00 2024\noid=5\npartner_down_disconnect_timeout=60\n"
    "partner_down_initial_connect_attempts=3\nrole=primary\nsession_id=7\n"
    "target=10.0.0.2:647\n";

class FailoverTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstFBinding> binding(const std::string& className) {
        return store.create<CPrstFBinding>(className);
    }
    // What reading the base text of the class, edited, gave.
    Outcome read(const std::string& className, const std::string& changes) {
        const char* base = className == "CPrstFAddressBinding4" ? kFAddress4Input : kFNetwork6Input;
        auto record = binding(className);
        return outcome([&] { record->string(edited(base, changes)); });
    }

    dhcptest::CRecordStore store;
};

}  // namespace

TEST_F(FailoverTest, FullRecordsHaveTheirExactTextRoundTripAndAreStoredAndReloaded) {
    struct Case {
        const char* className;
        const char* input;
        const char* written;  // null: not compared
    } cases[] = {
        {"CPrstFAddressBinding4", kFAddress4Input, kFAddress4Written},
        {"CPrstFAddressBinding6",
         "client_id=00-01\niatype=3\niaid=2\nsource_pool=pool-a\nipaddr=2001:db8::7\n"
         "relay=2001:db8::1\nstate=normal\noption-preference=5\n",
         nullptr},
        {"CPrstFNetworkBinding",
         "prefix_len=30\nclient_id=07\nsource_pool=net-a\nipaddr=10.2.0.0\nrelay=10.0.0.1\n"
         "-option-routers=\n",
         nullptr},
        {"CPrstFNetworkBinding6", kFNetwork6Input, kFNetwork6Written},
        {"CPrstFailoverPeer", kPeerInput, kPeerWritten},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        const std::string written =
            dhcptest::roundTrip(store.registry, store.context(), c.className, c.input);
        if (c.written) EXPECT_EQ(written, c.written);
        CPrstObjectPtr object = store.registry.create(c.className, store.context());
        object->string(c.input);
        dhcptest::stored(store.engine, store.session, *object);
    }
    const CDBRecord& row = store.row("failover_address_binding", 1);
    EXPECT_EQ(row.values.at("STATE"), "active");
    EXPECT_EQ(row.values.at("LEASE_EXP_TIME"), "1704106800");
    EXPECT_EQ(row.values.at("POOL_OID"), "1");
    EXPECT_EQ(store.row("failover_peer", 1).values.at("ENABLED"), "0");

    auto address = binding("CPrstFAddressBinding4");
    address->string(kFAddress4Input);
    EXPECT_EQ(address->underlyingOID(), 41u);
    EXPECT_EQ(address->time("lease_exp_time"), 1704106800u);
    auto network = binding("CPrstFNetworkBinding6");
    network->string(kFNetwork6Input);
    EXPECT_EQ(network->time("lease_exp_time"), 0xFFFFFFFFu);
}

TEST_F(FailoverTest, MissingKeysAndBadValuesGiveTheirReasonAndSite) {
    struct Case {
        const char* className;
        const char* changes;  // to the class's text, see edited()
        const char* reason;
        const char* site = "CPrstFBinding::_set";
    } cases[] = {
        {"CPrstFAddressBinding4", "-source_pool", "Missing 'source_pool' key."},
        {"CPrstFNetworkBinding6", "-giaddr", "Missing 'relay' key."},
        {"CPrstFNetworkBinding6", "-prefix_len", "Missing 'prefix_len' key.",
         "CPrstFNetworkBinding::_preDeserialize"},
        // Times are numbers here, unlike a binding's lease.
        {"CPrstFAddressBinding4", "session_id=seven",
         "Invalid value 'seven' for key 'session_id'."},
        {"CPrstFAddressBinding4", "lease_exp_time=Mon Jan  1 10:00:00 2024",
         "Invalid value 'Mon Jan  1 10:00:00 2024' for key 'lease_exp_time'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.changes);
        EXPECT_EQ(read(c.className, c.changes),
                  (Outcome{std::string("Failed to set a binding record from text. | ") + c.reason,
                           std::string("dhcp_database ") + c.site}));
    }
    // The state keys are kept as given.
    auto record = binding("CPrstFAddressBinding4");
    record->string(edited(kFAddress4Input, "state=communications-interrupted"));
    EXPECT_NE(record->string().find("\nstate=communications-interrupted\n"), std::string::npos);
}

// --- the failover peer -------------------------------------------------------------------------

TEST(FailoverPeer, TheLeastRecordAndItsDefaults) {
    CPrstFailoverPeer peer;
    peer.string(kPeerInput);
    EXPECT_EQ(peer.sessionId(), 7u);
    EXPECT_FALSE(peer.enabled());
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
    const std::string failed = "Unable to set failover peer object. | ";
    const std::pair<std::string, std::string> cases[] = {
        {edited(kPeerInput, "-session_id"), failed + "Missing session ID number"},
        {edited(kPeerInput, "-role"), failed + "Missing failover role"},
        {edited(kPeerInput, "-target"), failed + "Missing target value"},
        {edited(kPeerInput, "mclt=1h"), failed + "Invalid value '1h' for key 'mclt'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        CPrstFailoverPeer peer;
        EXPECT_EQ(outcome([&] { peer.string(c.first); }),
                  (Outcome{c.second, "dhcp_database CPrstFailoverPeer::_set"}));
    }
}
