// Address and network bindings of both families: text form, required keys, address families,
// the lease, defaults, references by name and storage.

#include "dhcp_database/binding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/address_binding.h"
#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/network_binding.h"
#include "record_store.h"

using rectest::failure;
using rectest::Failure;
using rectest::without;

namespace {

// One full record of each binding class: the text it is read from (keys in no order, the
// options as lines) and the text it writes.
struct FullRecord {
    const char* className;
    const char* input;
    const char* written;
};

const FullRecord kFullRecords[] = {
    {"CPrstAddressBinding4",
     "oid=41\nipaddr=10.0.0.5\nrelay=10.0.0.1\nclient_id=01-00-0c-29-ab-cd-ef\n"
     "mod_time=Tue Jan  2 08:30:00 2024\nfixed=false\ntid_type=2\ntid=host-5\nprotocol=bootp\n"
     "source_pool=pool-b\nsource_account=acct-1\npolicies=gold,silver\ndomains=root:1\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\nlease_duration=Thu Jan  1 01:00:00 1970\n"
     "option-routers=10.0.0.1\n",
     "client_id=01-00-0C-29-AB-CD-EF\n"
     "domains=root:1\n"
     "fixed=false\n"
     "ipaddr=10.0.0.5\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=Thu Jan  1 01:00:00 1970\n"
     "lease_expire=Mon Jan  1 11:00:00 2024\n"
     "mod_time=Tue Jan  2 08:30:00 2024\n"
     "oid=41\n"
     "policies=gold,silver\n"
     "protocol=bootp\n"
     "relay=10.0.0.1\n"
     "source_account=acct-1\n"
     "source_pool=pool-b\n"
     "tid=host-5\n"
     "tid_type=2\n"
     "option-routers=10.0.0.1\n"},
    {"CPrstAddressBinding6",
     "oid=42\nduid=00-01-00-01-2A-3B-4C-5D\niatype=3\niaid=-1\nipaddr=2001:db8::5\n"
     "relay=2001:db8::1\nsource_pool=pool-a\nlease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=infinite\nmod_time=Tue Jan  2 08:30:00 2024\n"
     "option-dns-servers=2001:db8::53\n",
     "client_id=00-01-00-01-2A-3B-4C-5D\n"
     "domains=\n"
     "fixed=true\n"
     "iaid=-1\n"
     "iatype=3\n"
     "ipaddr=2001:db8::5\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=infinite\n"
     "lease_expire=infinite\n"
     "mod_time=Tue Jan  2 08:30:00 2024\n"
     "oid=42\n"
     "policies=\n"
     "protocol=dhcpv4\n"
     "relay=2001:db8::1\n"
     "source_account=\n"
     "source_pool=pool-a\n"
     "tid=\n"
     "tid_type=0\n"
     "option-dns-servers=2001:db8::53\n"},
    {"CPrstNetworkBinding",
     "oid=43\nprefix_len=24\nclient_id=01\nipaddr=10.1.0.0\ngiaddr=10.0.0.1\n"
     "source_pool=net-a\nsource_account=zed\nlease_commit=Thu Jan  1 00:00:00 1970\n"
     "lease_duration=Sat Jan  3 00:00:00 1970\nmod_time=Tue Jan  2 08:30:00 2024\n"
     "-option-domain-name=\n",
     "client_id=01\n"
     "domains=\n"
     "fixed=true\n"
     "ipaddr=10.1.0.0\n"
     "lease_commit=Thu Jan  1 00:00:00 1970\n"
     "lease_duration=Sat Jan  3 00:00:00 1970\n"
     "lease_expire=Sat Jan  3 00:00:00 1970\n"
     "mod_time=Tue Jan  2 08:30:00 2024\n"
     "oid=43\n"
     "policies=\n"
     "prefix_len=24\n"
     "protocol=dhcpv4\n"
     "relay=10.0.0.1\n"
     "source_account=zed\n"
     "source_pool=net-a\n"
     "tid=\n"
     "tid_type=0\n"
     "-option-domain-name=\n"},
    {"CPrstNetworkBinding6",
     "oid=44\nprefix_len=56\nclient_id=00-03-00-01\niatype=25\niaid=7\n"
     "ipaddr=2001:db8:100::\nrelay=2001:db8::1\nsource_pool=net-a\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\nlease_duration=Fri Jan  2 00:00:00 1970\n"
     "mod_time=Tue Jan  2 08:30:00 2024\noption-preference=10\n",
     "domains=\n"
     "duid=00-03-00-01\n"
     "fixed=true\n"
     "iaid=7\n"
     "iatype=25\n"
     "ipaddr=2001:db8:100::\n"
     "lease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=Fri Jan  2 00:00:00 1970\n"
     "lease_expire=Tue Jan  2 10:00:00 2024\n"
     "mod_time=Tue Jan  2 08:30:00 2024\n"
     "oid=44\n"
     "policies=\n"
     "prefix_len=56\n"
     "protocol=dhcpv4\n"
     "relay=2001:db8::1\n"
     "source_account=\n"
     "source_pool=net-a\n"
     "tid=\n"
     "tid_type=0\n"
     "option-preference=10\n"},
};

// The least text each class accepts.
struct MinimalRecord {
    const char* className;
    const char* text;
};

const MinimalRecord kMinimal[] = {
    {"CPrstAddressBinding4",
     "client_id=01\nipaddr=10.0.0.5\nrelay=10.0.0.1\nlease_duration=infinite\n"},
    {"CPrstAddressBinding6",
     "client_id=00-01\niatype=3\niaid=1\nipaddr=2001:db8::5\nrelay=2001:db8::1\n"
     "lease_duration=infinite\n"},
    {"CPrstNetworkBinding",
     "prefix_len=24\nclient_id=01\nipaddr=10.1.0.0\nrelay=10.0.0.1\nlease_duration=infinite\n"},
    {"CPrstNetworkBinding6",
     "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
     "relay=2001:db8::1\nlease_duration=infinite\n"},
};

std::string minimal(const std::string& className) {
    for (const MinimalRecord& record : kMinimal) {
        if (className == record.className) return record.text;
    }
    return std::string();
}

class BindingTest : public ::testing::Test {
protected:
    BindingTest() {
        store.add<rectest::CTestAddressPool>("pool-a");
        store.add<rectest::CTestAddressPool>("pool-b");
        store.add<rectest::CTestNetworkPool>("net-a");
        store.add<rectest::CTestAccount>("zed");
        store.add<rectest::CTestAccount>("acct-1");
    }
    std::unique_ptr<CPrstBinding> binding(const std::string& className) {
        return store.create<CPrstBinding>(className);
    }
    // The failure of reading `text` into a new binding of the class.
    Failure read(const std::string& className, const std::string& text) {
        auto record = binding(className);
        return failure([&] { record->string(text); });
    }

    rectest::CRecordStore store;
};

class BindingOptionModeTest : public BindingTest, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_F(BindingTest, FullRecordsHaveTheirExactText) {
    for (const FullRecord& full : kFullRecords) {
        SCOPED_TRACE(full.className);
        auto record = binding(full.className);
        ASSERT_NE(record, nullptr);
        record->string(full.input);
        EXPECT_EQ(record->string(), full.written);
    }
}

TEST_F(BindingTest, AccessorsSeeWhatTheTextSet) {
    auto record = binding("CPrstAddressBinding4");
    record->string(kFullRecords[0].input);
    EXPECT_EQ(record->oid(), 41u);
    EXPECT_EQ(record->sourcePool(), 2u);     // pool-b
    EXPECT_EQ(record->sourceAccount(), 2u);  // acct-1
    EXPECT_EQ(record->leaseDuration().value(), 3600);
    EXPECT_EQ(record->leaseExpire().value() - record->leaseCommit().value(), 3600);
    EXPECT_EQ(record->clientId().size(), 7u);
    EXPECT_EQ(record->options().size(), 1u);

    auto six = binding("CPrstAddressBinding6");
    six->string(kFullRecords[1].input);
    EXPECT_EQ(six->iaid(), 0xFFFFFFFFu);
    EXPECT_EQ(six->iaType(), 3u);
    EXPECT_EQ(six->family(), 6u);
    EXPECT_TRUE(six->leaseExpire().isInfinite());
}

TEST_P(BindingOptionModeTest, TextRoundTripsThroughANewObject) {
    const bool json = GetParam();
    for (const FullRecord& full : kFullRecords) {
        SCOPED_TRACE(std::string(full.className) + (json ? " json" : " lines"));
        auto original = binding(full.className);
        original->string(full.input);
        store.context()->setJsonOptions(json);
        const std::string text = original->string();
        EXPECT_EQ(text.find("options=") != std::string::npos, json);
        const bool optionLines = text.find("\noption-") != std::string::npos ||
                                 text.find("\n-option-") != std::string::npos;
        EXPECT_EQ(optionLines, !json);

        auto copy = binding(full.className);
        copy->string(text);
        EXPECT_EQ(copy->string(), text);
        EXPECT_TRUE(copy->options() == original->options());
        store.context()->setJsonOptions(false);
        EXPECT_EQ(copy->string(), full.written);
    }
}

INSTANTIATE_TEST_SUITE_P(BothOptionModes, BindingOptionModeTest, ::testing::Bool());

TEST_F(BindingTest, MissingRequiredKeysGiveTheirReasonAndSite) {
    struct Case {
        const char* className;
        const char* removed;  // keys removed from the least text, blank-separated
        const char* reason;
        const char* site;
    } cases[] = {
        {"CPrstAddressBinding4", "client_id", "Missing 'client_id' key.",
         "CPrstAddressBinding4::_preDeserialize"},
        {"CPrstAddressBinding4", "ipaddr", "Missing 'ipaddr' key.", "CPrstBinding::_set"},
        {"CPrstAddressBinding4", "relay", "Missing 'relay' key.", "CPrstBinding::_set"},
        {"CPrstAddressBinding4", "lease_duration", "Missing 'lease_duration' key.",
         "CPrstBinding::_set"},
        {"CPrstAddressBinding6", "client_id", "Missing 'client_id' key.",
         "CPrstAddressBinding6::_preDeserialize"},
        {"CPrstAddressBinding6", "iatype", "Missing 'iatype' key.",
         "CPrstAddressBinding6::_preDeserialize"},
        {"CPrstAddressBinding6", "iaid", "Missing 'iaid' key.",
         "CPrstAddressBinding6::_preDeserialize"},
        {"CPrstAddressBinding6", "lease_duration", "Missing 'lease_duration' key.",
         "CPrstBinding::_set"},
        {"CPrstNetworkBinding", "prefix_len", "Missing 'prefix_len' key.",
         "CPrstNetworkBinding::_preDeserialize"},
        {"CPrstNetworkBinding", "client_id", "Missing 'client_id' key.",
         "CPrstNetworkBinding::_preDeserialize"},
        {"CPrstNetworkBinding", "relay", "Missing 'relay' key.", "CPrstBinding::_set"},
        {"CPrstNetworkBinding6", "prefix_len", "Missing 'prefix_len' key.",
         "CPrstNetworkBinding::_preDeserialize"},
        {"CPrstNetworkBinding6", "duid", "Missing 'duid' key.",
         "CPrstNetworkBinding6::_preDeserialize"},
        {"CPrstNetworkBinding6", "iaid", "Missing 'iaid' key.",
         "CPrstNetworkBinding6::_preDeserialize"},
        {"CPrstNetworkBinding6", "ipaddr", "Missing 'ipaddr' key.", "CPrstBinding::_set"},
        // The key read first is missed first.
        {"CPrstNetworkBinding6", "ipaddr prefix_len", "Missing 'prefix_len' key.",
         "CPrstNetworkBinding::_preDeserialize"},
        {"CPrstAddressBinding4", "lease_duration relay ipaddr", "Missing 'ipaddr' key.",
         "CPrstBinding::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " without " + c.removed);
        std::string text = minimal(c.className);
        std::string removed = c.removed;
        for (std::size_t at = 0; at != std::string::npos;) {
            std::size_t blank = removed.find(' ', at);
            text =
                without(text, removed.substr(at, blank == std::string::npos ? blank : blank - at));
            at = blank == std::string::npos ? blank : blank + 1;
        }
        EXPECT_EQ(read(c.className, text),
                  (Failure{std::string("Failed to set a binding record from text. | ") + c.reason,
                           std::string("dhcp_database ") + c.site}));
    }
}

TEST_F(BindingTest, TheIdentifierAliasesStandInForEachOther) {
    // IPv6 address bindings read "duid" when "client_id" is missing, network bindings the
    // other way round; each writes its own key.
    auto address = binding("CPrstAddressBinding6");
    address->string(without(minimal("CPrstAddressBinding6"), "client_id") + "duid=0A-0B\n");
    EXPECT_EQ(address->clientId().string(), "0A-0B");
    EXPECT_EQ(address->string().find("client_id=0A-0B\n"), 0u);

    auto network = binding("CPrstNetworkBinding6");
    network->string(without(minimal("CPrstNetworkBinding6"), "duid") + "client_id=0C\n");
    EXPECT_NE(network->string().find("\nduid=0C\n"), std::string::npos);
    EXPECT_EQ(network->string().find("client_id"), std::string::npos);

    // With both, the class's own key wins.
    address->string(minimal("CPrstAddressBinding6") + "duid=FF\n");
    EXPECT_EQ(address->clientId().string(), "00-01");
}

TEST_F(BindingTest, GiaddrStandsInForAMissingRelay) {
    auto record = binding("CPrstAddressBinding4");
    record->string(without(minimal("CPrstAddressBinding4"), "relay") + "giaddr=10.9.9.9\n");
    EXPECT_EQ(record->relay().string(), "10.9.9.9");
    const std::string text = record->string();
    EXPECT_NE(text.find("\nrelay=10.9.9.9\n"), std::string::npos);
    EXPECT_EQ(text.find("giaddr"), std::string::npos);

    // "relay" wins over "giaddr".
    record->string(minimal("CPrstAddressBinding4") + "giaddr=10.9.9.9\n");
    EXPECT_EQ(record->relay().string(), "10.0.0.1");

    EXPECT_EQ(read("CPrstAddressBinding4", without(minimal("CPrstAddressBinding4"), "relay")).text,
              "Failed to set a binding record from text. | Missing 'relay' key.");
}

TEST_F(BindingTest, AddressesMustBeOfTheBindingsFamily) {
    const std::string wrongIP =
        "Failed to set a binding record from text. | Incorrect ip address type for key 'ipaddr'.";
    const std::string wrongRelay =
        "Failed to set a binding record from text. | Incorrect ip address type for key 'relay' "
        "(giaddr).";
    struct Case {
        const char* className;
        const char* replaced;  // key
        const char* value;
        std::string expected;
    } cases[] = {
        {"CPrstAddressBinding4", "ipaddr", "2001:db8::5", wrongIP},
        {"CPrstAddressBinding4", "relay", "2001:db8::1", wrongRelay},
        {"CPrstAddressBinding4", "relay", "", wrongRelay},
        {"CPrstAddressBinding4", "ipaddr", "", wrongIP},
        {"CPrstAddressBinding6", "ipaddr", "10.0.0.5", wrongIP},
        {"CPrstAddressBinding6", "relay", "10.0.0.1", wrongRelay},
        {"CPrstNetworkBinding", "relay", "::1", wrongRelay},
        {"CPrstNetworkBinding6", "ipaddr", "10.1.0.0", wrongIP},
        {"CPrstAddressBinding4", "ipaddr", "10.0.0",
         "Failed to set a binding record from text. | Invalid value '10.0.0' for key 'ipaddr'."},
        {"CPrstAddressBinding6", "relay", "2001:db8:::1",
         "Failed to set a binding record from text. | Invalid value '2001:db8:::1' for key "
         "'relay'."},
        // Prefix lengths stay within the family's address.
        {"CPrstNetworkBinding", "prefix_len", "33",
         "Failed to set a binding record from text. | Invalid value '33' for key 'prefix_len'."},
        {"CPrstNetworkBinding6", "prefix_len", "129",
         "Failed to set a binding record from text. | Invalid value '129' for key "
         "'prefix_len'."},
        {"CPrstNetworkBinding6", "prefix_len", "-1",
         "Failed to set a binding record from text. | Invalid value '-1' for key 'prefix_len'."},
        {"CPrstNetworkBinding6", "prefix_len", "128", "<no exception>"},
        {"CPrstNetworkBinding", "prefix_len", "32", "<no exception>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.replaced + "=" + c.value);
        const std::string text =
            without(minimal(c.className), c.replaced) + c.replaced + "=" + c.value + "\n";
        EXPECT_EQ(read(c.className, text).text, c.expected);
    }
    // A giaddr of the wrong family is refused as the relay.
    EXPECT_EQ(read("CPrstAddressBinding4",
                   without(minimal("CPrstAddressBinding4"), "relay") + "giaddr=::1\n")
                  .text,
              wrongRelay);
    EXPECT_EQ(read("CPrstAddressBinding4", "client_id=01\nipaddr=::1\n").where,
              "dhcp_database CPrstBinding::_set");
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
        {false, "Mon Jan  1 10:00:00 2024", "Thu Jan  1 00:00:00 1970", "Thu Jan  1 00:00:00 1970",
         "Mon Jan  1 10:00:00 2024"},
        {false, "Mon Jan  1 10:00:00 2024", "3600", nullptr, nullptr},
        {false, "Mon Jan  1 10:00:00 2024", "Wed Dec 31 23:59:59 1969", nullptr, nullptr},
        {false, "Fri Dec 31 00:00:00 9999", "Fri Jan  2 00:00:00 1970", nullptr, nullptr},
        {false, "infinite", "Fri Jan  2 00:00:00 1970", nullptr, nullptr},
        {false, "infinite", "infinite", "infinite", "infinite"},
        {true, "Mon Jan  1 10:00:00 2024", "3600", "3600", "Mon Jan  1 11:00:00 2024"},
        {true, "Mon Jan  1 10:00:00 2024", " 0", "0", "Mon Jan  1 10:00:00 2024"},
        {true, "Mon Jan  1 10:00:00 2024", "infinite", "infinite", "infinite"},
        {true, "Mon Jan  1 10:00:00 2024", "Thu Jan  1 01:00:00 1970", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "-5", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "9223372036854775807", nullptr, nullptr},
        {true, "Mon Jan  1 10:00:00 2024", "99999999999999", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rawIds ? "raw " : "") + c.commit + " + " + c.duration);
        store.context()->setRawIds(c.rawIds);
        auto record = binding("CPrstAddressBinding4");
        const std::string text = without(minimal("CPrstAddressBinding4"), "lease_duration") +
                                 "lease_commit=" + c.commit + "\nlease_duration=" + c.duration +
                                 "\n";
        Failure f = failure([&] { record->string(text); });
        if (!c.writtenDuration) {
            EXPECT_EQ(f.text, std::string("Failed to set a binding record from text. | Invalid "
                                          "value '") +
                                  c.duration + "' for key 'lease_duration'.");
            continue;
        }
        ASSERT_EQ(f.text, "<no exception>");
        const std::string written = record->string();
        EXPECT_NE(written.find(std::string("\nlease_duration=") + c.writtenDuration + "\n"),
                  std::string::npos)
            << written;
        EXPECT_NE(written.find(std::string("\nlease_expire=") + c.writtenExpire + "\n"),
                  std::string::npos)
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
    EXPECT_EQ(record->tidType(), 9u);
    EXPECT_EQ(record->protocol(), "bootp");

    // The same record set again from a text without them is back at the defaults.
    record->string(minimal("CPrstNetworkBinding6"));
    EXPECT_TRUE(record->fixed());
    EXPECT_EQ(record->tidType(), 0u);
    EXPECT_EQ(record->protocol(), "dhcpv4");
    const std::string text = record->string();
    for (const char* entry : {"\nfixed=true\n", "\ntid_type=0\n", "\nprotocol=dhcpv4\n"}) {
        EXPECT_NE(text.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(read("CPrstAddressBinding4", minimal("CPrstAddressBinding4") + "fixed=maybe\n").text,
              "Failed to set a binding record from text. | Invalid value 'maybe' for key 'fixed'.");
}

TEST_F(BindingTest, PoolsAndAccountsAreReferredToByName) {
    struct Case {
        const char* className;
        const char* key;
        const char* value;
        std::uint32_t oid;  // kNoKey with a failure
        const char* failure;
    } cases[] = {
        {"CPrstAddressBinding4", "source_pool", "pool-a", 1, nullptr},
        {"CPrstAddressBinding6", "source_pool", "pool-b", 2, nullptr},
        {"CPrstNetworkBinding", "source_pool", "net-a", 1, nullptr},
        {"CPrstAddressBinding4", "source_account", "acct-1", 2, nullptr},
        {"CPrstAddressBinding4", "source_pool", "", kNoKey, nullptr},
        {"CPrstAddressBinding4", "source_pool", "7", 7, nullptr},  // a pool since gone
        {"CPrstAddressBinding4", "source_pool", "net-a", kNoKey,
         "Cannot find OID of record net-a of type CTestAddressPool. | No such record."},
        {"CPrstNetworkBinding6", "source_pool", "pool-a", kNoKey,
         "Cannot find OID of record pool-a of type CTestNetworkPool. | No such record."},
        {"CPrstAddressBinding4", "source_account", "nobody", kNoKey,
         "Cannot find OID of record nobody of type CTestAccount. | No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " " + c.key + "=" + c.value);
        auto record = binding(c.className);
        const std::string text = minimal(c.className) + c.key + "=" + c.value + "\n";
        Failure f = failure([&] { record->string(text); });
        if (c.failure) {
            EXPECT_EQ(f, (Failure{c.failure, "dhcp_database CPrstBinding::_set"}));
            continue;
        }
        ASSERT_EQ(f.text, "<no exception>");
        const std::uint32_t oid =
            std::string(c.key) == "source_pool" ? record->sourcePool() : record->sourceAccount();
        EXPECT_EQ(oid, c.oid);
        EXPECT_NE(record->string().find(std::string("\n") + c.key + "=" + c.value + "\n"),
                  std::string::npos);
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
    EXPECT_NE(text.find("\nsource_pool=2\n"), std::string::npos);
    EXPECT_NE(text.find("\nsource_account=-1\n"), std::string::npos);
    EXPECT_EQ(
        read("CPrstAddressBinding4", minimal("CPrstAddressBinding4") + "source_pool=pool-a\n").text,
        "Cannot find OID of record pool-a of type CTestAddressPool. | No such record.");
    EXPECT_TRUE(store.engine.memory().log.empty());
}

TEST(BindingReferences, AClassTheRegistryLacksPassesOnlyNumbers) {
    // No pool class in the registry: a number stands for itself, a name cannot be resolved and
    // the message names the text class.
    auto context = std::make_shared<CPrstContext>();
    CIPrstAbstractFactory registry;
    registry.registerClass<CPrstAddressBinding4>();
    context->setRegistry(&registry);
    CPrstAddressBinding4 record;
    record.setContext(context);
    record.string(minimal("CPrstAddressBinding4") + "source_pool=12\n");
    EXPECT_EQ(record.sourcePool(), 12u);
    EXPECT_NE(record.string().find("\nsource_pool=12\n"), std::string::npos);
    EXPECT_EQ(failure([&] {
                  record.string(minimal("CPrstAddressBinding4") + "source_pool=pool-a\n");
              }).text,
              "Cannot find OID of record pool-a of type address_pool. | No such record.");
}

TEST_F(BindingTest, IsStoredAndReloaded) {
    for (const FullRecord& full : kFullRecords) {
        SCOPED_TRACE(full.className);
        auto record = binding(full.className);
        record->string(full.input);
        record->setOID(kNoKey);  // drawn from the table
        record->commit(0, CFullAccessToken::instance());
        const std::string& table = record->classDef().table();
        const CDBRecord& row = store.engine.memory().rows(table).at(record->oid());
        EXPECT_EQ(row.values.at("META_CLASS"), std::string(full.className) + "[simple]");

        CPrstObjectPtr found = store.session[record->textClassName()].findByOID(0, record->oid());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->className(), full.className);
        EXPECT_EQ(found->string(), record->string());
    }
    const CDBRecord& row = store.engine.memory().rows("address_binding").at(1);
    EXPECT_EQ(row.values.at("POOL_OID"), "2");
    EXPECT_EQ(row.values.at("ACCOUNT_OID"), "2");
    EXPECT_EQ(row.values.at("LEASE_EXPIRE"), "1704106800");
    EXPECT_EQ(row.values.at("BOOT_PROTO"), "bootp");
    EXPECT_EQ(row.values.at("OPTIONS"), "[[\"option-routers\",\"10.0.0.1\"]]");
    EXPECT_EQ(store.engine.memory().rows("address_binding").at(2).values.at("LEASE_EXPIRE"),
              "9223372036854775807");
}

TEST(BindingCatalog, TheFamilyPicksTheRegisteredClassAndItsColumns) {
    struct Case {
        unsigned family;
        const char* addressClass;
        const char* networkClass;
        const char* failoverAddressClass;
        const char* failoverNetworkClass;
        const char* addressColumns;
    } cases[] = {
        {4, "CPrstAddressBinding4", "CPrstNetworkBinding", "CPrstFAddressBinding4",
         "CPrstFNetworkBinding",
         "ACCOUNT_OID=[__DB_TYPE_LONG__]\nBINDINGS_COUNT=[__DB_TYPE_ULONG__]\n"
         "BOOT_PROTO=[__DB_TYPE_BOOT_PROTO__]\nCLIENT_ID=[__DB_TYPE_HEX_STORE__]\n"
         "DOMAINS=[__DB_TYPE_STRING__]\nFIXED=[__DB_TYPE_BOOL__]\n"
         "IPADDR=[__DB_TYPE_IP_ADDRESS__]\nLEASE_COMMIT=[__DB_TYPE_TIME_STAMP__]\n"
         "LEASE_EXPIRE=[__DB_TYPE_TIME_STAMP__]\nMETA_CLASS=[__DB_TYPE_STRING__]\n"
         "MOD_TIME=[__DB_TYPE_TIME_STAMP__]\nOPTIONS=[__DB_TYPE_COBJECT__]\n"
         "POLICIES=[__DB_TYPE_STRING__]\nPOOL_OID=[__DB_TYPE_LONG__]\n"
         "RELAY=[__DB_TYPE_IP_ADDRESS__]\nTID=[__DB_TYPE_STRING__]\n"
         "TID_COUNT=[__DB_TYPE_ULONG__]\nTID_TYPE=[__DB_TYPE_UINT32__]\n"},
        {6, "CPrstAddressBinding6", "CPrstNetworkBinding6", "CPrstFAddressBinding6",
         "CPrstFNetworkBinding6",
         "ACCOUNT_OID=[__DB_TYPE_LONG__]\nBINDINGS_COUNT=[__DB_TYPE_ULONG__]\n"
         "BOOT_PROTO=[__DB_TYPE_BOOT_PROTO__]\nCLIENT_ID=[__DB_TYPE_HEX_STORE__]\n"
         "DOMAINS=[__DB_TYPE_STRING__]\nFIXED=[__DB_TYPE_BOOL__]\nIAID=[__DB_TYPE_UINT32__]\n"
         "IATYPE=[__DB_TYPE_USHORT__]\nIPADDR=[__DB_TYPE_IP_ADDRESS__]\n"
         "LEASE_COMMIT=[__DB_TYPE_TIME_STAMP__]\nLEASE_EXPIRE=[__DB_TYPE_TIME_STAMP__]\n"
         "META_CLASS=[__DB_TYPE_STRING__]\nMOD_TIME=[__DB_TYPE_TIME_STAMP__]\n"
         "OPTIONS=[__DB_TYPE_COBJECT__]\nPOLICIES=[__DB_TYPE_STRING__]\n"
         "POOL_OID=[__DB_TYPE_LONG__]\nRELAY=[__DB_TYPE_IP_ADDRESS__]\n"
         "TID=[__DB_TYPE_STRING__]\nTID_COUNT=[__DB_TYPE_ULONG__]\n"
         "TID_TYPE=[__DB_TYPE_UINT32__]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        CPrstClassCatalog catalog;
        addDHCPClasses(catalog);
        CIPrstAbstractFactory registry;
        CPrstDHCPInitializer().init({&registry, &catalog, {}, c.family});
        EXPECT_EQ(registry.createByTextName("address_binding", nullptr)->className(),
                  c.addressClass);
        EXPECT_EQ(registry.createByTextName("network_binding", nullptr)->className(),
                  c.networkClass);
        EXPECT_EQ(registry.createByTextName("failover_address_binding", nullptr)->className(),
                  c.failoverAddressClass);
        EXPECT_EQ(registry.createByTextName("failover_network_binding", nullptr)->className(),
                  c.failoverNetworkClass);
        EXPECT_NE(dynamic_cast<CPrstAddressBinding*>(
                      registry.createByTextName("address_binding", nullptr).get()),
                  nullptr);

        // This module's classes register in the initializer's order.
        std::string order;
        for (const CIPrstFactory* factory : registry.factories()) {
            if (factory->classDef().moduleName() == "dhcp_database") {
                order += factory->className() + " ";
            }
        }
        const std::string pool = c.family == 6 ? "CPrstAddressPool6" : "CPrstAddressPool4";
        EXPECT_EQ(order, "CPrstPkt CPolicyRecord CPrstOptionAttributes CPrstVendorAttributes " +
                             pool + " CPrstNetworkPool " + c.addressClass + " " + c.networkClass +
                             " CPrstAddressPending CPrstNetworkPending CPrstRule "
                             "CPrstReplicatePeer CPrstFailoverPeer CPrstAPoolMark CPrstNPoolMark " +
                             c.failoverAddressClass + " " + c.failoverNetworkClass + " ");

        memdb::CMemoryEngine engine;
        CPrstDBSession session(registry);
        session.open([&](const std::string& name) { return engine.lookup(name); });
        bool seen = false;
        for (const CDBTableDef& table : engine.opened) {
            if (table.name != "address_binding") continue;
            EXPECT_EQ(table.columns.string(), c.addressColumns);
            seen = true;
        }
        EXPECT_TRUE(seen);
    }
}
