// Address and network bindings of both families, and the pending bindings.

#include "dhcp_database/binding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::thrown;

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr const char* kFailed = "Failed to set a binding record from text. | ";

// One full record of each binding class as it is written, and the input it is read from: the
// written text without the derived expiry, with lower-case digits or the other key of an alias.
const std::pair<const char*, const char*> kFullRecords[] = {
    {"CPrstAddressBinding4",
     "client_id=01-00-0C-29-AB-CD-EF\ndomains=root:1\nfixed=false\nipaddr=10.0.0.5\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\nlease_duration=Thu Jan  1 01:00:00 1970\n"
     "lease_expire=Mon Jan  1 11:00:00 2024\nmod_time=Tue Jan  2 08:30:00 2024\noid=41\n"
     "policies=gold,silver\nprotocol=bootp\nrelay=10.0.0.1\nsource_account=acct-1\n"
     "source_pool=pool-b\ntid=host-5\ntid_type=2\noption-routers=10.0.0.1\n"},
    {"CPrstAddressBinding6",
     "client_id=00-01-00-01-2A-3B-4C-5D\ndomains=\nfixed=true\niaid=-1\niatype=3\n"
     "ipaddr=2001:db8::5\nlease_commit=Mon Jan  1 10:00:00 2024\nlease_duration=infinite\n"
     "lease_expire=infinite\nmod_time=Tue Jan  2 08:30:00 2024\noid=42\npolicies=\n"
     "protocol=dhcpv4\nrelay=2001:db8::1\nsource_account=\nsource_pool=pool-a\ntid=\n"
     "tid_type=0\noption-dns-servers=2001:db8::53\n"},
    {"CPrstNetworkBinding",
     "client_id=01\ndomains=\nfixed=true\nipaddr=10.1.0.0\n"
     "lease_commit=Thu Jan  1 00:00:00 1970\nlease_duration=Sat Jan  3 00:00:00 1970\n"
     "lease_expire=Sat Jan  3 00:00:00 1970\nmod_time=Tue Jan  2 08:30:00 2024\noid=43\n"
     "policies=\nprefix_len=24\nprotocol=dhcpv4\nrelay=10.0.0.1\nsource_account=zed\n"
     "source_pool=net-a\ntid=\ntid_type=0\n-option-domain-name=\n"},
    {"CPrstNetworkBinding6",
     "domains=\nduid=00-03-00-01\nfixed=true\niaid=7\niatype=25\nipaddr=2001:db8:100::\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\nlease_duration=Fri Jan  2 00:00:00 1970\n"
     "lease_expire=Tue Jan  2 10:00:00 2024\nmod_time=Tue Jan  2 08:30:00 2024\noid=44\n"
     "policies=\nprefix_len=56\nprotocol=dhcpv4\nrelay=2001:db8::1\nsource_account=\n"
     "source_pool=net-a\ntid=\ntid_type=0\noption-preference=10\n"},
};
const char* const kInputChanges[] = {
    "-lease_expire;client_id=01-00-0c-29-ab-cd-ef",
    "-lease_expire;-client_id;duid=00-01-00-01-2A-3B-4C-5D",
    "-lease_expire;-relay;giaddr=10.0.0.1",
    "-lease_expire;-duid;client_id=00-03-00-01",
};

// The least text each class accepts.
std::string minimal(const std::string& className) {
    if (className == "CPrstAddressBinding4")
        return "client_id=01\nipaddr=10.0.0.5\nrelay=10.0.0.1\nlease_duration=infinite\n";
    if (className == "CPrstAddressBinding6")
        return "client_id=00-01\niatype=3\niaid=1\nipaddr=2001:db8::5\nrelay=2001:db8::1\n"
               "lease_duration=infinite\n";
    if (className == "CPrstNetworkBinding")
        return "prefix_len=24\nclient_id=01\nipaddr=10.1.0.0\nrelay=10.0.0.1\n"
               "lease_duration=infinite\n";
    return "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
           "relay=2001:db8::1\nlease_duration=infinite\n";
}

class BindingTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstBinding> binding(const std::string& className) {
        return store.create<CPrstBinding>(className);
    }
    // What reading `text` into a new binding of the class threw.
    std::string read(const std::string& className, const std::string& text, bool site = true) {
        auto record = binding(className);
        return thrown([&] { record->string(text); }, site);
    }

    dhcptest::CRecordStore store;
};

}  // namespace

TEST_F(BindingTest, FullRecordsHaveTheirExactTextRoundTripAndAreStoredAndReloaded) {
    for (std::size_t i = 0; i < std::size(kFullRecords); ++i) {
        const auto& [className, written] = kFullRecords[i];
        SCOPED_TRACE(className);
        const std::string input = edited(written, kInputChanges[i]);
        EXPECT_EQ(dhcptest::roundTrip(store.registry, store.context(), className, input), written);
        auto record = binding(className);
        record->string(input);
        dhcptest::stored(store.engine, store.session, *record);
    }
    const CDBRecord& row = store.row("address_binding", 1);
    EXPECT_EQ(row.values.at("POOL_OID"), "2");
    EXPECT_EQ(row.values.at("ACCOUNT_OID"), "2");
    EXPECT_EQ(row.values.at("LEASE_EXPIRE"), "1704106800");
    EXPECT_EQ(row.values.at("OPTIONS"), "[[\"option-routers\",\"10.0.0.1\"]]");
    EXPECT_EQ(store.row("address_binding", 2).values.at("LEASE_EXPIRE"), "9223372036854775807");
    auto six = binding("CPrstAddressBinding6");
    six->string(kFullRecords[1].second);
    EXPECT_EQ(six->iaid(), 0xFFFFFFFFu);
    EXPECT_EQ(six->family(), 6u);
}

TEST_F(BindingTest, MissingKeysAndAddressesOfTheWrongFamilyGiveTheirReasonAndSite) {
    const char *kAB4 = "CPrstAddressBinding4", *kAB6 = "CPrstAddressBinding6",
               *kNB = "CPrstNetworkBinding", *kNB6 = "CPrstNetworkBinding6";
    const char* kSet = "CPrstBinding::_set";
    const char* wrongIP = "Incorrect ip address type for key 'ipaddr'.";
    const char* wrongRelay = "Incorrect ip address type for key 'relay' (giaddr).";
    struct Case {
        const char* className;
        const char* changes;  // to the least text, see edited()
        const char* reason;   // null: accepted
        const char* site;
    } cases[] = {
        {kAB4, "-client_id", "Missing 'client_id' key.", "CPrstAddressBinding4::_preDeserialize"},
        {kAB4, "-relay", "Missing 'relay' key.", kSet},
        {kAB6, "-iaid", "Missing 'iaid' key.", "CPrstAddressBinding6::_preDeserialize"},
        {kNB6, "-duid", "Missing 'duid' key.", "CPrstNetworkBinding6::_preDeserialize"},
        // The key read first is missed first.
        {kNB6, "-ipaddr;-prefix_len", "Missing 'prefix_len' key.",
         "CPrstNetworkBinding::_preDeserialize"},
        {kAB4, "-lease_duration;-relay;-ipaddr", "Missing 'ipaddr' key.", kSet},
        // Addresses are of the binding's family.
        {kAB4, "ipaddr=2001:db8::5", wrongIP, kSet},
        {kAB4, "relay=2001:db8::1", wrongRelay, kSet},
        {kAB4, "ipaddr=10.0.0", "Invalid value '10.0.0' for key 'ipaddr'.", kSet},
        // Prefix lengths stay within the family's address.
        {kNB, "prefix_len=33", "Invalid value '33' for key 'prefix_len'.",
         "CPrstNetworkBinding::_preDeserialize"},
        {kNB6, "prefix_len=128", nullptr, nullptr},
        {kAB4, "fixed=maybe", "Invalid value 'maybe' for key 'fixed'.", kSet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.changes);
        EXPECT_EQ(read(c.className, edited(minimal(c.className), c.changes)),
                  c.reason ? std::string(kFailed) + c.reason + " @ dhcp_database " + c.site
                           : "<no exception>");
    }
}

// Either key of an alias read alone is the full records' input; given both, the own key wins.
TEST_F(BindingTest, WithBothKeysOfAnAliasTheClassesOwnWins) {
    auto address = binding("CPrstAddressBinding6");
    address->string(minimal("CPrstAddressBinding6") + "duid=FF\n");
    EXPECT_EQ(address->clientId().string(), "00-01");
    auto record = binding("CPrstAddressBinding4");
    record->string(minimal("CPrstAddressBinding4") + "giaddr=10.9.9.9\n");
    EXPECT_EQ(record->relay().string(), "10.0.0.1");
}

TEST_F(BindingTest, LeaseDurationIsInfiniteATimeOrUnderRawIdsANumber) {
    struct Case {
        bool rawIds;
        const char* commit;
        const char* duration;
        const char* writtenDuration;  // null: refused
        const char* writtenExpire;
    } cases[] = {
        {false, "Mon Jan  1 10:00:00 2024", "infinite", "infinite", "infinite"},
        {false, "Mon Jan  1 10:00:00 2024", "infinity", "infinite", "infinite"},
        {false, "Mon Jan  1 10:00:00 2024", "Thu Jan  1 00:00:30 1970", "Thu Jan  1 00:00:30 1970",
         "Mon Jan  1 10:00:30 2024"},
        {false, "Mon Jan  1 10:00:00 2024", "3600", nullptr, nullptr},
        {false, "Mon Jan  1 10:00:00 2024", "Wed Dec 31 23:59:59 1969", nullptr, nullptr},
        {false, "Fri Dec 31 00:00:00 9999", "Fri Jan  2 00:00:00 1970", nullptr, nullptr},
        {false, "infinite", "Fri Jan  2 00:00:00 1970", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "3600", "3600", "Mon Jan  1 11:00:00 2024"},
        {true, "Mon Jan  1 10:00:00 2024", "Thu Jan  1 01:00:00 1970", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "-5", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "99999999999999", nullptr, nullptr},
        // An expiry that would read as the infinite one.
        {true, "Thu Jan  1 00:00:01 1970", "9223372036854775806", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rawIds ? "raw " : "") + c.commit + " + " + c.duration);
        store.context()->setRawIds(c.rawIds);
        auto record = binding("CPrstAddressBinding4");
        const std::string text =
            edited(minimal("CPrstAddressBinding4"),
                   std::string("lease_commit=") + c.commit + ";lease_duration=" + c.duration);
        const std::string f = thrown([&] { record->string(text); }, false);
        if (!c.writtenDuration) {
            EXPECT_EQ(f, kFailed + ("Invalid value '" + std::string(c.duration)) +
                             "' for key 'lease_duration'.");
            continue;
        }
        ASSERT_EQ(f, "<no exception>");
        const std::string written = record->string();
        EXPECT_NE(written.find(std::string("\nlease_duration=") + c.writtenDuration + "\n"), npos)
            << written;
        EXPECT_NE(written.find(std::string("\nlease_expire=") + c.writtenExpire + "\n"), npos)
            << written;
        auto copy = binding("CPrstAddressBinding4");
        copy->string(written);
        EXPECT_EQ(copy->string(), written);
    }
}

TEST_F(BindingTest, ATextWithoutFixedTidTypeOrProtocolGivesTheirDefaults) {
    auto record = binding("CPrstNetworkBinding6");
    record->string(minimal("CPrstNetworkBinding6") + "fixed=no\ntid_type=9\nprotocol=bootp\n");
    EXPECT_FALSE(record->fixed());
    // The same record set again from a text without them is back at the defaults.
    record->string(minimal("CPrstNetworkBinding6"));
    const std::string text = record->string();
    for (const char* entry : {"\nfixed=true\n", "\ntid_type=0\n", "\nprotocol=dhcpv4\n"}) {
        EXPECT_NE(text.find(entry), npos) << entry;
    }
}

TEST_F(BindingTest, PoolsAndAccountsAreReferredToByName) {
    struct Case {
        const char* className;
        const char* key;
        const char* value;
        std::uint32_t oid;    // kNoKey with a failure
        const char* failure;  // the record and class named
    } cases[] = {
        {"CPrstAddressBinding4", "source_pool", "pool-a", 1, nullptr},
        {"CPrstNetworkBinding", "source_pool", "net-a", 2, nullptr},
        {"CPrstAddressBinding4", "source_account", "acct-1", 2, nullptr},
        {"CPrstAddressBinding4", "source_pool", "", kNoKey, nullptr},
        {"CPrstAddressBinding4", "source_pool", "7", 7, nullptr},  // a pool since gone
        {"CPrstAddressBinding4", "source_pool", "net-a", kNoKey, "net-a of type CTestAddressPool"},
        {"CPrstAddressBinding4", "source_account", "nobody", kNoKey, "nobody of type CTestAccount"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.key + "=" + c.value);
        auto record = binding(c.className);
        const std::string text = minimal(c.className) + c.key + "=" + c.value + "\n";
        const std::string f = thrown([&] { record->string(text); });
        if (c.failure) {
            EXPECT_EQ(f, std::string("Cannot find OID of record ") + c.failure +
                             ". | No such record. @ dhcp_database CPrstBinding::_set");
            continue;
        }
        ASSERT_EQ(f, "<no exception>");
        const bool pool = std::string(c.key) == "source_pool";
        EXPECT_EQ(pool ? record->sourcePool() : record->sourceAccount(), c.oid);
        EXPECT_NE(record->string().find(std::string("\n") + c.key + "=" + c.value + "\n"), npos);
    }
}

TEST_F(BindingTest, RawIdsCarryReferencesAsNumbersWithoutLookups) {
    store.context()->setRawIds(true);
    store.engine.memory().log.clear();
    auto record = binding("CPrstAddressBinding4");
    record->string(minimal("CPrstAddressBinding4") + "source_pool=2\nsource_account=-1\n");
    EXPECT_EQ(record->sourcePool(), 2u);
    EXPECT_EQ(record->sourceAccount(), kNoKey);
    const std::string text = record->string();
    EXPECT_NE(text.find("\nsource_account=-1\nsource_pool=2\n"), npos);
    EXPECT_EQ(read("CPrstAddressBinding4", minimal("CPrstAddressBinding4") + "source_pool=pool-a\n",
                   false),
              "Cannot find OID of record pool-a of type CTestAddressPool. | No such record.");
    EXPECT_TRUE(store.engine.memory().log.empty());
}

TEST(BindingReferences, AClassTheRegistryLacksPassesOnlyNumbers) {
    // No pool class in the registry: numbers pass, the message names the text class.
    auto context = std::make_shared<CPrstContext>();
    CIPrstAbstractFactory registry;
    registry.registerClass<CPrstAddressBinding4>();
    context->setRegistry(&registry);
    CPrstAddressBinding4 record;
    record.setContext(context);
    record.string(minimal("CPrstAddressBinding4") + "source_pool=12\n");
    EXPECT_NE(record.string().find("\nsource_pool=12\n"), npos);
    EXPECT_EQ(
        thrown([&] { record.string(minimal("CPrstAddressBinding4") + "source_pool=pool-a\n"); },
               false),
        "Cannot find OID of record pool-a of type address_pool. | No such record.");
}

TEST(BindingCatalog, TheFamilyPicksTheFailoverClassesAndTheColumns) {
    struct Case {
        unsigned family;
        std::string failoverAddress, failoverNetwork;
        const char* iaColumns;  // IAID and IATYPE
    } cases[] = {
        {4, "CPrstFAddressBinding4", "CPrstFNetworkBinding", ""},
        {6, "CPrstFAddressBinding6", "CPrstFNetworkBinding6",
         "[__DB_TYPE_UINT32__][__DB_TYPE_USHORT__]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        dhcptest::CDHCPRegistry server(c.family);
        EXPECT_EQ(server.create("failover_address_binding")->className(), c.failoverAddress);
        EXPECT_EQ(server.create("failover_network_binding")->className(), c.failoverNetwork);
        CDBTypeStringMap columns;
        for (const CDBTableDef& table : server.engine.opened) {
            if (table.name == "address_binding") columns = table.columns;
        }
        EXPECT_EQ(columns.get("CLIENT_ID"), "[__DB_TYPE_HEX_STORE__]");
        EXPECT_EQ(columns.get("IAID") + columns.get("IATYPE"), c.iaColumns);
    }
}

TEST_F(BindingTest, PendingBindingsAreWrittenAndStoredButNeverSetFromText) {
    auto offer = [this](auto pending, const char* ipaddr, const char* relay, std::uint32_t pool) {
        pending->setOfferTime(nbx::CTimeT(1704067200));
        pending->setIPAddress(nbx::CIPAddress(ipaddr));
        pending->setRelay(nbx::CIPAddress(relay));
        pending->setSourcePool(pool);
        pending->commit(0, CFullAccessToken::instance());
        EXPECT_NE(pending->modTime().value(), 0);  // stamped by the commit
        return pending;
    };
    auto address = offer(store.session.newObject<CPrstAddressPending>(), "10.0.0.9", "10.0.0.1", 1);
    const std::string written = address->string();
    EXPECT_EQ(written, "domains=\nipaddr=10.0.0.9\nmod_time=" + address->modTime().string() +
                           "\noffer_time=Mon Jan  1 00:00:00 2024\noid=1\nrelay=10.0.0.1\n"
                           "source_pool=pool-a\n");
    auto network =
        offer(store.session.newObject<CPrstNetworkPending>(), "2001:db8:5::", "2001:db8::1", 2);
    EXPECT_NE(network->string().find("\nrelay=2001:db8::1\nsource_pool=net-a\n"), npos);
    const CDBRecord& row = store.row("network_pending", network->oid());
    EXPECT_EQ(row.values.at("OFFER_TIME"), "1704067200");
    EXPECT_EQ(row.values.at("POOL_OID"), "2");
    EXPECT_EQ(row.values.at("META_CLASS"), "CPrstNetworkPending[simple]");
    auto found = store.session.find<CPrstNetworkPending>(0, network->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(thrown([&] { found->string(written); }),
              "Cannot set a pending record from text. | This operation is not allowed. @ "
              "dhcp_database CPrstPending::_set");
    EXPECT_EQ(found->string(), network->string());  // as stored: nothing of the text applied
}
