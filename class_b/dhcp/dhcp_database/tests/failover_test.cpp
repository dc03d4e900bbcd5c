// The failover records (failover bindings of both kinds and families, the failover peer) and the
// historical packet.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::thrown;

namespace {

// Written as read; every key given.
const char* const kFAddress4 =
    "acked_potential_exp_time=1704110400\nclient_id=01-02\n"
    "client_last_trans_time=1704103200\ndesired_lease_exp_time=1704108600\ndomains=root:1\n"
    "fixed=false\nipaddr=10.0.0.7\nlease_exp_time=1704106800\n"
    "mod_time=Tue Jan  2 08:30:00 2024\noid=51\nprotocol=dhcpv4\nrecv_potential_exp_time=0\n"
    "relay=10.0.0.1\nrequest=none\nsent_potential_exp_time=1704110400\nsession_id=7\n"
    "source_pool=pool-a\nstart_time_of_state=1704067200\nstate=active\ntid=t-7\ntid_type=1\n"
    "underlying_oid=41\nupdate_status=pending\noption-routers=10.0.0.1\n";

// The least a failover network binding needs: the state keys come out at their defaults.
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

const char* const kPeer =
    "backup_percentage=10\ndescription=Site B\ndomains=root:1\nenabled=false\nmclt=3600\n"
    "mod_time=Tue Jan  2 08:30:00 2024\noid=5\npartner_down_disconnect_timeout=60\n"
    "partner_down_initial_connect_attempts=3\nrole=primary\nsession_id=7\n"
    "target=10.0.0.2:647\n";

const char* const kPkt =
    "circuit_id=eth0/1\ndomains=root:1\nmod_time=Tue Jan  2 08:30:00 2024\noid=61\n"
    "pkt=02-01-06-00-A1-B2\npkt_type=DHCPACK\nprimary_id=00:0c:29:ab:cd:ef\n"
    "remote_id=agent-7\nsecondary_id=01-00-0C-29-AB-CD-EF\nsubscriber_id=sub-42\n"
    "option-routers=10.0.0.1\n";

// The packet is read in any case and written in upper case.
const std::string kPktInput = dhcptest::edited(kPkt, "pkt=02-01-06-00-a1-b2");

class FailoverTest : public ::testing::Test {
protected:
    // What reading `text` into a new object of the class threw.
    std::string read(const std::string& className, const std::string& text) {
        CPrstObjectPtr record = store.registry.create(className, store.context());
        return thrown([&] { record->string(text); });
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
        {"CPrstFAddressBinding4", kFAddress4, kFAddress4},
        {"CPrstFAddressBinding6",
         "client_id=00-01\niatype=3\niaid=2\nsource_pool=pool-a\nipaddr=2001:db8::7\n"
         "relay=2001:db8::1\nstate=normal\noption-preference=5\n",
         nullptr},
        {"CPrstFNetworkBinding",
         "prefix_len=30\nclient_id=07\nsource_pool=net-a\nipaddr=10.2.0.0\nrelay=10.0.0.1\n"
         "-option-routers=\n",
         nullptr},
        {"CPrstFNetworkBinding6", kFNetwork6Input, kFNetwork6Written},
        {"CPrstFailoverPeer", kPeer, kPeer},
        {"CPrstPkt", kPktInput.c_str(), kPkt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        const std::string written =
            dhcptest::roundTrip(store.registry, store.context(), c.className, c.input);
        if (c.written) {
            EXPECT_EQ(written, c.written);
        }
        CPrstObjectPtr object = store.registry.create(c.className, store.context());
        object->string(c.input);
        dhcptest::stored(store.engine, store.session, *object);
    }
    const CDBRecord& row = store.row("failover_address_binding", 1);
    EXPECT_EQ(row.values.at("STATE"), "active");
    EXPECT_EQ(row.values.at("LEASE_EXP_TIME"), "1704106800");
    EXPECT_EQ(row.values.at("POOL_OID"), "1");
    EXPECT_EQ(store.row("failover_peer", 1).values.at("ENABLED"), "0");
    EXPECT_EQ(store.row("historical_packet", 1).values.at("PKT"), "02-01-06-00-A1-B2");
    EXPECT_EQ(store.row("historical_packet", 1).values.at("PRIMARY_ID"), "00:0c:29:ab:cd:ef");

    auto network = store.create<CPrstFBinding>("CPrstFNetworkBinding6");
    network->string(kFNetwork6Input);
    EXPECT_EQ(network->time("lease_exp_time"), 0xFFFFFFFFu);
}

TEST_F(FailoverTest, MissingKeysAndBadValuesGiveTheirReasonAndSite) {
    const std::string binding = "Failed to set a binding record from text. | ";
    const std::string at = " @ dhcp_database CPrstFBinding::_set";
    const std::string peer = "Unable to set failover peer object. | ";
    const std::string peerAt = " @ dhcp_database CPrstFailoverPeer::_set";
    const std::string pkt = "Failed to set a packet record from text. | ";
    const std::string pktAt = " @ dhcp_database CPrstPkt::_set";
    const struct {
        const char* className;
        std::string text;
        std::string expected;
    } cases[] = {
        {"CPrstFAddressBinding4", edited(kFAddress4, "-source_pool"),
         binding + "Missing 'source_pool' key." + at},
        {"CPrstFNetworkBinding6", edited(kFNetwork6Input, "-giaddr"),
         binding + "Missing 'relay' key." + at},
        {"CPrstFNetworkBinding6", edited(kFNetwork6Input, "-prefix_len"),
         binding +
             "Missing 'prefix_len' key. @ dhcp_database CPrstFNetworkBinding::_preDeserialize"},
        // Times are numbers here, unlike a binding's lease.
        {"CPrstFAddressBinding4", edited(kFAddress4, "lease_exp_time=Mon Jan  1 10:00:00 2024"),
         binding + "Invalid value 'Mon Jan  1 10:00:00 2024' for key 'lease_exp_time'." + at},
        {"CPrstFailoverPeer", edited(kPeer, "-session_id"),
         peer + "Missing session ID number" + peerAt},
        {"CPrstFailoverPeer", edited(kPeer, "-role"), peer + "Missing failover role" + peerAt},
        {"CPrstFailoverPeer", edited(kPeer, "-target"), peer + "Missing target value" + peerAt},
        {"CPrstFailoverPeer", edited(kPeer, "mclt=1h"),
         peer + "Invalid value '1h' for key 'mclt'." + peerAt},
        {"CPrstPkt", edited(kPkt, "-pkt"), pkt + "Missing 'pkt' key." + pktAt},
        {"CPrstPkt", edited(kPkt, "-primary_id;-secondary_id"),
         pkt + "Missing 'primary_id' or 'secondary_id' key." + pktAt},
        {"CPrstPkt", edited(kPkt, "-primary_id"), "<no exception>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.className, c.text), c.expected);
    }
    // The state keys are kept as given.
    auto record = store.create<CPrstFBinding>("CPrstFAddressBinding4");
    record->string(edited(kFAddress4, "state=communications-interrupted"));
    EXPECT_NE(record->string().find("\nstate=communications-interrupted\n"), std::string::npos);
}

TEST(FailoverPeer, TheLeastRecordAndItsDefaults) {
    CPrstFailoverPeer least;
    least.string("session_id=1\nrole=secondary\ntarget=peer\n");
    EXPECT_TRUE(least.enabled());
    EXPECT_EQ(least.string(),
              "backup_percentage=0\ndescription=\ndomains=\nenabled=true\nmclt=0\n"
              "mod_time=Thu Jan  1 00:00:00 1970\noid=-1\npartner_down_disconnect_timeout=0\n"
              "partner_down_initial_connect_attempts=0\nrole=secondary\nsession_id=1\n"
              "target=peer\n");
}

TEST_F(FailoverTest, ThePacketIsHexadecimalPairsJoinedByDashes) {
    const std::pair<const char*, const char*> cases[] = {
        {"0a-1b-ff", "0A-1B-FF"},
        {"0A:1B:FF", "0A-1B-FF"},  // any one-character separator reads alike
        {"0A-ZZ", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        auto record = store.create<CPrstPkt>("CPrstPkt");
        const std::string text = edited(kPkt, std::string("pkt=") + c.first);
        if (!c.second) {
            EXPECT_EQ(thrown([&] { record->string(text); }),
                      "Cannot convert character to nybble. | Invalid hexadecimal character. @ "
                      "dhcp_database CPrstPkt::_set");
            continue;
        }
        record->string(text);
        EXPECT_NE(record->string().find(std::string("\npkt=") + c.second + "\n"),
                  std::string::npos);
    }
}

TEST_F(FailoverTest, APacketValueThatCannotBeWrittenEndsTheTextThere) {
    // A modification time past the year 9999 has no text. The packet gives the text written
    // before it, with its options in either form; a binding passes the failure on.
    const nbx::CTimeT unwritable(nbx::CTimeT::kInfinite - 1);
    auto record = store.create<CPrstPkt>("CPrstPkt");
    record->string(kPktInput);
    record->put<nbx::CTimeT>("mod_time", unwritable);
    EXPECT_EQ(record->string(), "oid=61\noption-routers=10.0.0.1\n");
    store.context()->setJsonOptions(true);
    EXPECT_EQ(record->string(), "oid=61\noptions=[[\"option-routers\",\"10.0.0.1\"]]\n");

    auto binding = store.create<CPrstAddressBinding4>("CPrstAddressBinding4");
    binding->put<nbx::CTimeT>("mod_time", unwritable);
    EXPECT_EQ(thrown([&] { binding->string(); }, false),
              "Cannot display time string. | Invalid time.");
}
